#pragma once

#include "http/krequestbody.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QFile>
#include <QList>
#include <QString>

#include <functional>

// A form body (see encodeFormFields) encoded piece by piece as the transport reads it. Values are
// either bytes in memory (shared, never copied) or the content of a file, which is read in small
// blocks while it is sent, so that nothing of the file is held beyond one block.
//
// Use: add the fields in the order in which they would be inserted into the parameters, then
// call measure() once: it reads each file through to compute the body's exact size and notes the
// file's size and the SHA-256 of its bytes. While the body is read, each file is read again and the
// digest recomputed; a file that changed since it was measured (other size, a read error, other
// bytes) makes read() fail before the last bytes of its field are handed out, so a request never
// completes with a body other than the one measured.
//
// A final check, when one is set, runs on every pass just before the body's last bytes are handed
// out (the transport reads them as its last chunk goes out): a text from it fails the read with
// that text, so the request fails before its last chunk.
//
// The bytes are exactly encodeFormFields() for the same fields with the files' contents as
// values.
class KFormBody : public KRequestBody
{
public:
    KFormBody();
    ~KFormBody() override;

    // A value held in memory; base64: its Base64 text, percent-encoded.
    void addValue(const QString &key, const QByteArray &value, bool base64 = false);
    // The content of the file at path, as Base64 text, percent-encoded.
    void addFile(const QString &key, const QString &path);

    // Reads every file once and fixes the body's size; false (errorString() tells why) when a
    // file cannot be opened or read. Fields added afterwards are not part of the body.
    bool measure();

    // Runs before the last bytes of each pass are handed out: an empty text lets them go.
    using FinalCheck = std::function<QString()>;
    void setFinalCheck(FinalCheck check) { m_finalCheck = std::move(check); }
    // The SHA-256 of the file of a field as measure() read it (every pass hands out exactly those
    // bytes); empty before measure() or for a field that is not a file.
    QByteArray fileDigest(const QString &key) const;

    // The body's size; 0 before measure().
    qint64 size() const override;
    qint64 read(char *out, qint64 max) override;
    bool rewind() override;

private:
    struct Field
    {
        QString key;
        QByteArray value; // a value in memory
        QString path; // a file, when not empty
        bool base64 = false;
        // Set by measure() for a file: its size and digest, and the field's encoded size.
        qint64 fileSize = 0;
        QByteArray digest;
        qint64 encodedSize = 0;
    };

    // Encodes the next piece of the body into m_piece; false on failure (also recorded in
    // m_failed). An empty piece at the end of the body.
    bool nextPiece();
    // The next block of the current field's value, encoded; false on failure.
    bool nextValueBlock(const Field &field);
    bool fail(const QString &text);
    // Encoded size of raw bytes of the field.
    static qint64 encodedSize(const Field &field, QByteArrayView raw);
    static char *encode(char *out, const Field &field, QByteArrayView raw);

    QList<Field> m_fields;
    QList<qsizetype> m_order; // indexes into m_fields, in body order
    bool m_measured = false;
    qint64 m_size = 0;
    FinalCheck m_finalCheck;

    // Reading state.
    qsizetype m_next = 0; // position in m_order of the field whose value is being encoded
    bool m_inValue = false; // false: the field's "&key=" comes next
    qint64 m_rawPosition = 0; // bytes of the current value encoded so far
    qint64 m_encodedPosition = 0; // encoded bytes of the current value handed to m_piece
    bool m_valueDone = false;
    QFile m_file;
    QCryptographicHash m_hash;
    QByteArray m_raw; // one block of a value
    QByteArray m_piece; // encoded bytes waiting to be handed out
    qsizetype m_pieceAt = 0;
    qint64 m_handedOut = 0; // bytes of this pass handed out
    bool m_failed = false;
};
