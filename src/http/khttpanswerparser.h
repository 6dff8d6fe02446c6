#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

// The values of an answer's header block (status line and header lines, without the blank line
// that ends it). Matching is byte-wise and case-sensitive, as the web service writes its headers.
struct KHttpAnswerHeader
{
    // A status line "HTTP/d.d <digits> <reason>" CR LF was found, anywhere in the block; the
    // first one counts. Without it the header is not accepted.
    bool hasStatusLine = false;
    QString httpVersion; // "1.1"; empty without a status line
    int statusCode = -1; // -1 without a status line; 0 when its digits are none or too many
    QString reasonPhrase; // up to the first CR LF after the code; may be empty

    // The value of every "Set-Cookie:" line that has a CR LF of its own (so not the block's last
    // line), in order, as written after the colon.
    QList<QByteArray> setCookies;

    // The digits after the first "Content-Length:" line (blanks before them skipped); empty when
    // there is no such line or it has no digits.
    QString contentLengthText;
    // contentLengthText as a number; -1 when there are no digits or they do not fit a qint64.
    qint64 contentLength = -1;
    // The digits do not fit a qint64: the answer is broken, not merely without a length.
    bool contentLengthOverflow = false;
};

// An answer as received before the server closed the connection.
struct KHttpAnswer
{
    // Where the header block ends (see KHttpAnswerParser::headerEnd); -1: no complete header.
    qsizetype headerEnd = -1;
    KHttpAnswerHeader header;
    // The bytes after the blank line; empty while the header is incomplete.
    QByteArray body;
    // The header was accepted and the body agrees with its Content-Length (any length when it
    // gives none).
    bool complete = false;
};

// A pure parser of the web service's answers: bytes in, values out; no socket, no lock, no log.
class KHttpAnswerParser
{
public:
    // The first CR LF CR LF that does not stand at the very start; -1 while there is none.
    static qsizetype headerEnd(QByteArrayView bytes);
    // The values of a header block (the answer's bytes before headerEnd()).
    static KHttpAnswerHeader parseHeader(QByteArrayView header);
    // Whether bodyBytes of body agree with the header's Content-Length.
    static bool bodyComplete(const KHttpAnswerHeader &header, qint64 bodyBytes);
    // The whole answer in one piece.
    static KHttpAnswer parse(const QByteArray &answer);
};
