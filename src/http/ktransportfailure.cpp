#include "http/ktransportfailure.h"

QString KTransportFailure::kindName(Kind kind)
{
    switch (kind) {
    case None:
        return QStringLiteral("none");
    case ConnectFailed:
        return QStringLiteral("connect failed");
    case ConnectTimeout:
        return QStringLiteral("connect timed out");
    case TlsHandshakeFailed:
        return QStringLiteral("TLS handshake failed");
    case CertificateUntrusted:
        return QStringLiteral("certificate not trusted");
    case ProxyAuthentication:
        return QStringLiteral("proxy authentication");
    case ProxyFailed:
        return QStringLiteral("proxy failed");
    case BodySourceFailed:
        return QStringLiteral("body source failed");
    case WriteFailed:
        return QStringLiteral("write failed");
    case AnsweredEarly:
        return QStringLiteral("answered early");
    case Silence:
        return QStringLiteral("silence");
    case ClosedBeforeHeader:
        return QStringLiteral("closed before the header");
    case InvalidHeader:
        return QStringLiteral("invalid header");
    case BrokenStream:
        return QStringLiteral("broken stream");
    case AnswerTooLarge:
        return QStringLiteral("answer too large");
    case Aborted:
        return QStringLiteral("aborted");
    case HttpStatus:
        return QStringLiteral("HTTP status");
    }
    return QString();
}
