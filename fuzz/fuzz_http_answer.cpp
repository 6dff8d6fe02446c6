// Acceptance of the web service's answer: status line, header, cookies and Content-Length, on the
// bytes a server sends before it closes the connection.
#include "http/knetworkreply.h"

#include <QByteArray>
#include <QNetworkCookieJar>
#include <QUrl>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

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
    return 0;
}
