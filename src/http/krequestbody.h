#pragma once

#include <QByteArray>
#include <QString>

// The body of a request as the transport reads it: its exact size is known before the first byte
// goes out, and the bytes are handed out piece by piece as the writer asks for them, so a body
// never has to be held whole. A source can be read again from its first byte (rewind), so that
// one source serves a request and its re-send.
//
// Not thread-safe: one reader at a time.
class KRequestBody
{
public:
    virtual ~KRequestBody();

    // Number of bytes the body has, fixed for the life of the source.
    virtual qint64 size() const = 0;
    // Copies the next bytes of the body to out, at most max of them, and returns how many; 0 only
    // at the end of the body (or for max 0). -1 when the bytes cannot be given (errorString()
    // tells why); the source then keeps failing until it is rewound.
    virtual qint64 read(char *out, qint64 max) = 0;
    // Back to the first byte; false when that is not possible (errorString() tells why).
    virtual bool rewind() = 0;

    // Why the latest failed read() or rewind() failed; empty when nothing has failed yet.
    QString errorString() const { return m_errorString; }

protected:
    void setErrorString(const QString &text) { m_errorString = text; }

private:
    QString m_errorString;
};

// A body held in memory; shares the bytes it is given, never copies them.
class KByteArrayBody : public KRequestBody
{
public:
    explicit KByteArrayBody(const QByteArray &bytes = QByteArray());

    qint64 size() const override;
    qint64 read(char *out, qint64 max) override;
    bool rewind() override;

    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
    qint64 m_position = 0;
};
