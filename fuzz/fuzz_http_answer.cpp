// Acceptance of the web service's answer: status line, header, cookies and Content-Length, on the
// bytes a server sends before it closes the connection. The byte-wise parser must find exactly
// what the header's patterns find (the patterns are the oracle here), and the reply must accept
// exactly what the parser calls complete.
#include "http/khttpanswerparser.h"
#include "http/knetworkreply.h"

#include <QByteArray>
#include <QNetworkCookieJar>
#include <QRegularExpression>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// The header block's values as the patterns give them, first match from the left; Set-Cookie
// matches may overlap (the search goes on one character after the start of the last).
void checkAgainstPatterns(const QByteArray &block)
{
    static const QRegularExpression setCookieRx(QStringLiteral("\\r\\nSet-Cookie:(.*?)\\r\\n"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression statusLineRx(
        QStringLiteral("HTTP/(\\d\\.\\d) (\\d*?) (.*?)\\r\\n"),
        QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression contentLengthRx(
        QStringLiteral("\\r\\nContent-Length:\\s*(\\d*)\\s*"));

    const KHttpAnswerHeader header = KHttpAnswerParser::parseHeader(block);
    const QString text = QString::fromLatin1(block);
    QList<QByteArray> cookies;
    for (qsizetype from = 0;;) {
        const QRegularExpressionMatch match = setCookieRx.match(text, from);
        if (!match.hasMatch())
            break;
        cookies.append(match.captured(1).toLatin1());
        from = match.capturedStart(0) + 1;
    }
    if (cookies != header.setCookies)
        std::abort();
    const QRegularExpressionMatch status = statusLineRx.match(text);
    if (status.hasMatch() != header.hasStatusLine)
        std::abort();
    if (status.hasMatch()) {
        bool ok = false;
        const int code = status.captured(2).toInt(&ok);
        if (status.captured(1) != header.httpVersion || (ok ? code : 0) != header.statusCode
            || status.captured(3) != header.reasonPhrase)
            std::abort();
    }
    const QRegularExpressionMatch length = contentLengthRx.match(text);
    if ((length.hasMatch() ? length.captured(1) : QString()) != header.contentLengthText)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray answer(reinterpret_cast<const char *>(data), qsizetype(size));
    QNetworkCookieJar jar;
    KNetworkReply reply(
        QUrl(QStringLiteral("https://api.example.test/v2/api/execute.php?method=login")),
        QStringLiteral("https://api.example.test/"), QByteArray(), &jar);
    const bool accepted = reply.acceptAnswer(answer);

    const QByteArray header = reply.responseHeader();
    const qint64 length = reply.contentLength();
    const QVariant lengthText = reply.header(KNetworkReply::ContentLengthHeader);
    if (header.size() > answer.size() || reply.bytesReceived() > answer.size())
        std::abort();
    if (lengthText.isValid() && lengthText.toString().isEmpty())
        std::abort();
    if (accepted) {
        // An accepted answer has a status line, and its body is exactly what followed the header
        // (as long as the Content-Length says, when it says anything).
        if (reply.statusCode() < 0 || reply.httpVersion().size() != 3)
            std::abort();
        if (length >= 0 && length != reply.bytesReceived())
            std::abort();
        const QByteArray body = reply.readAll();
        if (body.size() != reply.bytesReceived() || !answer.endsWith(body))
            std::abort();
        if (header.size() + 4 + body.size() != answer.size())
            std::abort();
    }
    if (length < -1)
        std::abort();

    const KHttpAnswer parsed = KHttpAnswerParser::parse(answer);
    if (parsed.headerEnd > 0) {
        checkAgainstPatterns(answer.left(parsed.headerEnd));
        // Within the limits, the reply accepts what the parser calls complete.
        if (parsed.headerEnd <= KNetworkReply::maxAnswerHeaderBytes && accepted != parsed.complete)
            std::abort();
    } else if (accepted) {
        std::abort();
    }
    return 0;
}
