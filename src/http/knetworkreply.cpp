#include "http/knetworkreply.h"

#include "http/kaborttoken.h"
#include "http/kanswerreader.h"
#include "http/khttpanswerparser.h"
#include "http/khttpconnection.h"
#include "http/kpacedwriter.h"
#include "http/kproxychoice.h"
#include "http/krawtrafficdump.h"
#include "http/krequestbody.h"
#include "logging/logging.h"

#include <QAbstractSocket>
#include <QAuthenticator>
#include <QEventLoop>
#include <QMutexLocker>
#include <QNetworkCookie>
#include <QNetworkCookieJar>

#include <optional>

QMutex KNetworkReply::cookieMutex;

namespace {

QMutex &defaultTimeoutsMutex()
{
    static QMutex mutex;
    return mutex;
}

KNetworkReply::Timeouts &defaultTimeoutsValue()
{
    static KNetworkReply::Timeouts timeouts;
    return timeouts;
}

int orPostTimeout(int value, int timeoutMs)
{
    return value < 0 ? timeoutMs : value;
}

} // namespace

// The state of one exchange. m_mutex guards every field that the accessors read; the rest is set
// by the constructor or touched only by the thread that runs post().
class KNetworkReplyPrivate
{
public:
    KNetworkReplyPrivate(KNetworkReply *q, const QUrl &url, const QString &referer,
        std::shared_ptr<KRequestBody> body, QNetworkCookieJar *cookieJar,
        const KNetworkReply::Timeouts &timeouts);

    bool exchange(const QString &clientVersion, int timeoutMs, qint64 &dumpMark);
    // The request's header block, up to and with its blank line.
    QString requestHead(const QString &clientVersion, qint64 bodySize) const;
    // The answer's header as the reader has it; false (failure recorded) when it is not
    // accepted.
    bool takeAnswerHeader(const KHttpConnection &connection, const KAnswerReader &reader);
    void takeBodyChunk(const QByteArray &chunk);
    // The server ended the answer: the traffic dump, and the body's size against its header.
    bool finishAnswer(const KAnswerReader &reader);
    // The server answered while the request was going out: its status, for the log.
    void readEarlyAnswer(const KAnswerReader &reader);
    // Whether the proxy asked again after the stored credentials were offered.
    bool proxyLoginRefused() const
    {
        QMutexLocker locker(&m_mutex);
        return m_proxyLoginRefused;
    }
    // Takes the header (answer up to end) and the body received with it (after the blank line);
    // false when the header has no status line.
    bool takeHeader(const QByteArray &answer, qsizetype end);
    // false (and a BrokenStream failure) when the body disagrees with the Content-Length.
    bool bodyComplete();
    KAnswerReader::Settings readerSettings(int silenceMs) const;

    // Records a failure and writes its log line; the one place where failures are logged.
    // Returns false, for the callers' convenience.
    bool fail(KTransportFailure failure, bool log = true);

    QUrl urlCopy() const
    {
        QMutexLocker locker(&m_mutex);
        return m_url;
    }

    KNetworkReply *const q;
    mutable QMutex m_mutex;
    const QUrl m_url;
    // Set once by the constructor and read only by post().
    const std::shared_ptr<KRequestBody> m_requestBody;
    QNetworkCookieJar *const m_cookieJar;
    const QString m_referer;

    QByteArray m_responseHeader;
    KHttpAnswerHeader m_header; // the values of m_responseHeader
    bool m_headerAccepted = false;
    qint64 m_bytesReceived = 0;
    KNetworkReply::Timeouts m_timeouts;
    KNetworkReply::ProxyCredentials m_proxyCredentials;
    // The stored proxy credentials went to the proxy in this exchange; it asked again after that.
    bool m_proxyLoginOffered = false;
    bool m_proxyLoginRefused = false;
    KTransportFailure m_failure;

    KAbortToken m_abort;
};

KNetworkReplyPrivate::KNetworkReplyPrivate(KNetworkReply *q, const QUrl &url,
    const QString &referer, std::shared_ptr<KRequestBody> body, QNetworkCookieJar *cookieJar,
    const KNetworkReply::Timeouts &timeouts)
    : q(q)
    , m_url(url)
    , m_requestBody(body ? std::move(body) : std::make_shared<KByteArrayBody>())
    , m_cookieJar(cookieJar)
    , m_referer(referer)
    , m_timeouts(timeouts)
{ }

KNetworkReply::KNetworkReply(const QUrl &url, const QString &referer, const QByteArray &body,
    QNetworkCookieJar *cookieJar, const Timeouts &timeouts)
    : KNetworkReply(url, referer, std::make_shared<KByteArrayBody>(body), cookieJar, timeouts)
{ }

KNetworkReply::KNetworkReply(const QUrl &url, const QString &referer,
    std::shared_ptr<KRequestBody> body, QNetworkCookieJar *cookieJar, const Timeouts &timeouts)
    : QBuffer(static_cast<QObject *>(nullptr))
    , d(std::make_unique<KNetworkReplyPrivate>(
          this, url, referer, std::move(body), cookieJar, timeouts))
{ }

KNetworkReply::~KNetworkReply() = default;

// ---- accessors --------------------------------------------------------------------------------

int KNetworkReply::statusCode() const
{
    QMutexLocker locker(&d->m_mutex);
    return d->m_header.statusCode;
}

QString KNetworkReply::reasonPhrase() const
{
    QMutexLocker locker(&d->m_mutex);
    return d->m_header.reasonPhrase;
}

QString KNetworkReply::httpVersion() const
{
    QMutexLocker locker(&d->m_mutex);
    return d->m_header.httpVersion;
}

QUrl KNetworkReply::url() const
{
    return d->urlCopy();
}

QVariant KNetworkReply::header(int selector) const
{
    QMutexLocker locker(&d->m_mutex);
    if (selector != ContentLengthHeader || d->m_header.contentLengthText.isEmpty())
        return QVariant();
    return d->m_header.contentLengthText;
}

QByteArray KNetworkReply::responseHeader() const
{
    QMutexLocker locker(&d->m_mutex);
    return d->m_responseHeader;
}

qint64 KNetworkReply::contentLength() const
{
    QMutexLocker locker(&d->m_mutex);
    return d->m_headerAccepted ? d->m_header.contentLength : -1;
}

qint64 KNetworkReply::bytesReceived() const
{
    QMutexLocker locker(&d->m_mutex);
    return d->m_bytesReceived;
}

KTransportFailure KNetworkReply::failure() const
{
    QMutexLocker locker(&d->m_mutex);
    return d->m_failure;
}

KNetworkReply::Timeouts KNetworkReply::timeouts() const
{
    QMutexLocker locker(&d->m_mutex);
    return d->m_timeouts;
}

KNetworkReply::ProxyCredentials KNetworkReply::proxyCredentials() const
{
    QMutexLocker locker(&d->m_mutex);
    return d->m_proxyCredentials;
}

void KNetworkReply::setProxyCredentials(const ProxyCredentials &credentials)
{
    QMutexLocker locker(&d->m_mutex);
    d->m_proxyCredentials = credentials;
}

KNetworkReply::Timeouts KNetworkReply::defaultTimeouts()
{
    QMutexLocker locker(&defaultTimeoutsMutex());
    return defaultTimeoutsValue();
}

void KNetworkReply::setDefaultTimeouts(const Timeouts &timeouts)
{
    QMutexLocker locker(&defaultTimeoutsMutex());
    defaultTimeoutsValue() = timeouts;
}

bool KNetworkReply::rawDumpEnabled()
{
    return KRawTrafficDump::enabled();
}

void KNetworkReply::resetRawDumpForTesting(bool enabled)
{
    KRawTrafficDump::resetForTesting(enabled);
}

// ---- abort ------------------------------------------------------------------------------------

void KNetworkReply::abort()
{
    d->m_abort.abort();
}

bool KNetworkReply::isAborted() const
{
    return d->m_abort.isAborted();
}

// ---- failures ---------------------------------------------------------------------------------

bool KNetworkReplyPrivate::fail(KTransportFailure failure, bool log)
{
    // Whatever a wait saw last, an exchange that abort() ended counts as aborted.
    if (m_abort.isAborted())
        failure = KTransportFailure { KTransportFailure::Aborted, QString(), -1 };
    {
        QMutexLocker locker(&m_mutex);
        m_failure = failure;
    }
    if (!log)
        return false;
    const QString url = m_url.toString();
    switch (failure.kind) {
    case KTransportFailure::ConnectFailed:
    case KTransportFailure::ConnectTimeout:
    case KTransportFailure::ProxyAuthentication:
    case KTransportFailure::ProxyFailed:
        // A plain connection that cannot be made is left to the caller's own line.
        if (m_url.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) != 0)
            break;
        Q_FALLTHROUGH();
    case KTransportFailure::TlsHandshakeFailed:
    case KTransportFailure::CertificateUntrusted:
        LOG_TRACE(QStringLiteral("Got errror from a socket (%1): %2")
                      .arg(failure.socketError)
                      .arg(failure.detail));
        break;
    case KTransportFailure::BodySourceFailed:
        LOG_INFO(QStringLiteral("The request body cannot be read; url = %1 ; error = %2")
                     .arg(url, failure.detail));
        break;
    case KTransportFailure::AnsweredEarly:
        LOG_INFO(QStringLiteral(
            "The server answered before the request was complete; url = %1, status = %2")
                     .arg(url, failure.detail));
        break;
    case KTransportFailure::Silence:
        LOG_INFO(QStringLiteral("Socket timeout exceded. No data was given; url = %1, %2")
                     .arg(url, failure.detail));
        break;
    case KTransportFailure::ClosedBeforeHeader:
        LOG_INFO(QStringLiteral("Server returns empty data to request; url = %1 ; error = %2")
                     .arg(url, failure.detail));
        break;
    case KTransportFailure::InvalidHeader:
        LOG_INFO(QStringLiteral("Invalid headers in response; url = %1").arg(url));
        break;
    case KTransportFailure::BrokenStream:
        LOG_INFO(QStringLiteral("The server has broken the stream; url = %1").arg(url));
        break;
    case KTransportFailure::AnswerTooLarge:
        LOG_INFO(QStringLiteral("The answer is too large; url = %1").arg(url));
        break;
    case KTransportFailure::WriteFailed: // the caller's own line says that no answer came
    case KTransportFailure::Aborted: // whoever aborted knows
    case KTransportFailure::HttpStatus:
    case KTransportFailure::None:
        break;
    }
    return false;
}

// ---- post -------------------------------------------------------------------------------------

bool KNetworkReply::post(const QString &clientVersion, int timeoutMs)
{
    {
        QMutexLocker locker(&d->m_mutex);
        d->m_failure = KTransportFailure();
        d->m_headerAccepted = false;
        d->m_proxyLoginOffered = false;
        d->m_proxyLoginRefused = false;
    }
    qint64 dumpMark = -1;
    const bool ok = d->exchange(clientVersion, timeoutMs, dumpMark);
    // An aborted exchange takes its blocks back out of the raw traffic dump.
    if (!ok && isAborted())
        KRawTrafficDump::rollBack(dumpMark);
    return ok;
}

QString KNetworkReplyPrivate::requestHead(const QString &clientVersion, qint64 bodySize) const
{
    const QString target
        = m_url.path(QUrl::FullyEncoded) + QLatin1Char('?') + m_url.query(QUrl::FullyEncoded);
    QString head = QStringLiteral("POST %1 HTTP/1.0\r\n").arg(target);
    head += QStringLiteral("Host: %1\r\n").arg(m_url.host());
    if (bodySize > 0) {
        head += QStringLiteral("Content-Transfer-Encoding: 8bit\r\n");
        head += QStringLiteral("Content-Type: application/x-www-form-urlencoded\r\n");
    }
    head += QStringLiteral("Content-Length: %1\r\n").arg(bodySize);
    head += QStringLiteral("User-Agent: Velmora client/%1\r\n").arg(clientVersion);
    head += QStringLiteral("Referer: %1\r\n").arg(m_referer);
    head += QStringLiteral("Connection: close\r\n");
    if (m_cookieJar) {
        QMutexLocker cookieLocker(&KNetworkReply::cookieMutex);
        const QList<QNetworkCookie> cookies = m_cookieJar->cookiesForUrl(m_url);
        for (const QNetworkCookie &cookie : cookies) {
            head += QStringLiteral("Cookie: ")
                + QString::fromLatin1(cookie.toRawForm(QNetworkCookie::NameAndValueOnly))
                + QStringLiteral("\r\n");
        }
    }
    head += QStringLiteral("\r\n");
    return head;
}

// The steps of post(), as a state machine on this thread's event loop: connect (and the proxy's
// tunnel, and the TLS handshake), write the paced request, read the header, then the body until
// the server ends the answer. Each step starts the next from its finished signal; the local loop
// runs until one of them ends the exchange. The pieces live as long as this call.
bool KNetworkReplyPrivate::exchange(const QString &clientVersion, int timeoutMs, qint64 &dumpMark)
{
    if (m_abort.isAborted())
        return fail({ KTransportFailure::Aborted, QString(), -1 });
    const KNetworkReply::Timeouts timeouts = q->timeouts();
    // The body goes out from its first byte, also when this source served an earlier request.
    KRequestBody &body = *m_requestBody;
    if (!body.rewind())
        return fail({ KTransportFailure::BodySourceFailed, body.errorString(), -1 });
    const int silenceMs = orPostTimeout(timeouts.silenceMs, timeoutMs);

    KHttpConnection connection(m_abort);
    // The reply outlives the connection: post() owns it.
    QObject::connect(&connection, &KHttpConnection::proxyAuthenticationRequired, q,
        &KNetworkReply::proxyAuthenticationRequired, Qt::DirectConnection);
    QObject::connect(&connection, &KHttpConnection::sslErrors, q, &KNetworkReply::sslErrors,
        Qt::DirectConnection);

    KPacedWriter::Settings pacing;
    pacing.chunkSize = KNetworkReply::sendChunkSize;
    pacing.periodMs = timeouts.sendPeriodMs;
    pacing.chunkTimeoutMs = orPostTimeout(timeouts.writeMs, timeoutMs);
    KPacedWriter writer(connection, m_abort, pacing);
    KAnswerReader reader(connection, m_abort, readerSettings(silenceMs));

    QEventLoop loop;
    std::optional<bool> result;
    const auto done = [&result, &loop](bool ok) {
        if (result)
            return;
        result = ok;
        loop.quit();
    };
    enum class Reading { Header, Body, EarlyAnswer } reading = Reading::Header;

    QObject::connect(&connection, &KHttpConnection::failed, &loop, [&] {
        KTransportFailure failure = connection.failure();
        if (failure.kind == KTransportFailure::ProxyAuthentication && proxyLoginRefused())
            failure.proxyLoginRefused = true;
        done(fail(failure));
    });
    QObject::connect(&connection, &KHttpConnection::opened, &loop, [&] {
        if (m_abort.isAborted()) {
            done(fail({ KTransportFailure::Aborted, QString(), -1 }));
            return;
        }
        emit q->connected();
        const bool dumping = KRawTrafficDump::enabled();
        dumpMark = KRawTrafficDump::mark();
        const QString headText = requestHead(clientVersion, body.size());
        if (dumping) {
            QByteArray dumpHeader = headText.toUtf8();
            dumpHeader.replace('\r', QByteArray());
            if (!KRawTrafficDump::writeRequest(dumpHeader, body)) {
                done(fail({ KTransportFailure::BodySourceFailed, body.errorString(), -1 }));
                return;
            }
        }
        // The request bytes are the header as Latin-1 followed by the body unchanged; the body is
        // read from its source chunk by chunk as the chunks go out.
        writer.start(headText.toLatin1(), body);
    });
    QObject::connect(&writer, &KPacedWriter::progress, &loop,
        [this](qint64 sent, qint64 total) { emit q->uploadProgress(sent, total); });
    QObject::connect(&writer, &KPacedWriter::finished, &loop, [&] {
        const KTransportFailure written = writer.failure();
        if (written.kind == KTransportFailure::AnsweredEarly) {
            reading = Reading::EarlyAnswer;
            reader.readHeader();
            return;
        }
        if (written.failed()) {
            done(fail(written));
            return;
        }
        {
            QMutexLocker locker(&m_mutex);
            m_responseHeader.clear();
            m_bytesReceived = 0;
        }
        reading = Reading::Header;
        reader.readHeader();
    });
    QObject::connect(&reader, &KAnswerReader::bodyChunk, &loop,
        [this](const QByteArray &chunk) { takeBodyChunk(chunk); });
    QObject::connect(&reader, &KAnswerReader::finished, &loop, [&] {
        switch (reading) {
        case Reading::EarlyAnswer:
            readEarlyAnswer(reader);
            done(false);
            return;
        case Reading::Header:
            if (!takeAnswerHeader(connection, reader)) {
                done(false);
                return;
            }
            reading = Reading::Body;
            reader.readBody(q->bytesReceived());
            return;
        case Reading::Body:
            done(finishAnswer(reader));
            return;
        }
    });

    connection.open(
        m_url, orPostTimeout(timeouts.connectMs, timeoutMs), timeouts.tlsHandshakeMs, silenceMs);
    if (!result)
        loop.exec();
    if (!result) {
        // The thread's event loops were told to end (QThread::quit()): the thread is going away,
        // and so is the exchange.
        m_abort.abort();
        return fail({ KTransportFailure::Aborted, QString(), -1 });
    }
    if (*result)
        connection.close();
    return *result;
}

KAnswerReader::Settings KNetworkReplyPrivate::readerSettings(int silenceMs) const
{
    KAnswerReader::Settings settings;
    settings.silenceMs = silenceMs;
    settings.maxHeaderBytes = KNetworkReply::maxAnswerHeaderBytes;
    settings.maxBodyBytes = KNetworkReply::maxAnswerBodyBytes;
    return settings;
}

void KNetworkReplyPrivate::readEarlyAnswer(const KAnswerReader &reader)
{
    // Only the status line is of interest: the request was not taken whatever the answer says,
    // so nothing of it is accepted (no cookie, no body) and the server's close is not awaited.
    const QByteArray &bytes = reader.bytes();
    const qsizetype end = reader.headerEnd();
    // With the CR LF of its last line, so that an answer of a status line alone names its status.
    const KHttpAnswerHeader header = KHttpAnswerParser::parseHeader(
        end < 0 ? QByteArrayView(bytes) : QByteArrayView(bytes).first(end + 2));
    KTransportFailure failure;
    failure.kind = KTransportFailure::AnsweredEarly;
    failure.detail = header.hasStatusLine
        ? QStringLiteral("%1 %2").arg(header.statusCode).arg(header.reasonPhrase)
        : QStringLiteral("unknown");
    fail(failure);
}

bool KNetworkReplyPrivate::takeAnswerHeader(
    const KHttpConnection &connection, const KAnswerReader &reader)
{
    const QString urlText = m_url.toString();
    const KTransportFailure failure = reader.failure();
    if (failure.kind == KTransportFailure::ClosedBeforeHeader && !m_abort.isAborted())
        KRawTrafficDump::writeNoData(urlText, connection.socket()->errorString());
    if (failure.failed())
        return fail(failure);

    if (!takeHeader(reader.bytes(), reader.headerEnd())) {
        fail({ KTransportFailure::InvalidHeader, QStringLiteral("no status line"), -1 });
        KRawTrafficDump::writeInvalidHeader(
            urlText, connection.socket()->errorString(), q->responseHeader());
        return false;
    }
    qint64 contentLength;
    qint64 received;
    {
        QMutexLocker locker(&m_mutex);
        contentLength = m_header.contentLength;
        received = m_bytesReceived;
    }
    // A body too large already with the header fails before anyone hears of it (the body step
    // refuses it at once).
    if (reader.tooLarge(0, received))
        return true;
    emit q->downloadProgress(received, contentLength);
    if (received > 0)
        emit q->readyRead();
    return true;
}

void KNetworkReplyPrivate::takeBodyChunk(const QByteArray &chunk)
{
    qint64 total;
    qint64 contentLength;
    {
        QMutexLocker locker(&m_mutex);
        q->buffer().append(chunk);
        m_bytesReceived += chunk.size();
        total = m_bytesReceived;
        contentLength = m_header.contentLength;
    }
    emit q->downloadProgress(total, contentLength);
    emit q->readyRead();
}

bool KNetworkReplyPrivate::finishAnswer(const KAnswerReader &reader)
{
    const KTransportFailure failure = reader.failure();
    if (failure.failed())
        return fail(failure);
    if (m_abort.isAborted())
        return fail({ KTransportFailure::Aborted, QString(), -1 });
    {
        QMutexLocker locker(&m_mutex);
        KRawTrafficDump::writeAnswer(m_url.toString(), m_responseHeader, q->buffer());
    }
    return bodyComplete();
}

// ---- answer header ----------------------------------------------------------------------------

qsizetype KNetworkReply::headerEnd(const QByteArray &answer)
{
    return KHttpAnswerParser::headerEnd(answer);
}

bool KNetworkReply::acceptAnswer(const QByteArray &answer)
{
    {
        QMutexLocker locker(&d->m_mutex);
        d->m_failure = KTransportFailure();
    }
    const qsizetype end = headerEnd(answer);
    const qint64 headerBytes = end < 0 ? answer.size() : end;
    const qint64 bodyBytes = end < 0 ? 0 : answer.size() - end - 4;
    if (headerBytes > maxAnswerHeaderBytes || bodyBytes > maxAnswerBodyBytes)
        return d->fail({ KTransportFailure::AnswerTooLarge, QString(), -1 });
    if (end <= 0)
        return d->fail({ KTransportFailure::ClosedBeforeHeader, QString(), -1 }, false);
    if (!d->takeHeader(answer, end))
        return d->fail(
            { KTransportFailure::InvalidHeader, QStringLiteral("no status line"), -1 }, false);
    return d->bodyComplete();
}

bool KNetworkReplyPrivate::takeHeader(const QByteArray &answer, qsizetype end)
{
    const QByteArray block = answer.left(end);
    const KHttpAnswerHeader header = KHttpAnswerParser::parseHeader(block);
    {
        QMutexLocker locker(&m_mutex);
        m_responseHeader = block;
        // From here on the caller can read the body from its first byte.
        q->open(QIODevice::ReadOnly);
    }
    // The cookies of every header that got this far reach the jar, also of one without a status
    // line.
    if (m_cookieJar) {
        QMutexLocker cookieLocker(&KNetworkReply::cookieMutex);
        for (const QByteArray &line : header.setCookies)
            m_cookieJar->setCookiesFromUrl(QNetworkCookie::parseCookies(line), m_url);
    }
    QMutexLocker locker(&m_mutex);
    // The header lines are kept for header() whether or not the status line is there.
    m_header = header;
    if (!header.hasStatusLine)
        return false;
    m_headerAccepted = true;
    q->buffer() = answer.mid(end + 4);
    m_bytesReceived = q->buffer().size();
    return true;
}

bool KNetworkReplyPrivate::bodyComplete()
{
    KHttpAnswerHeader header;
    qint64 received;
    {
        QMutexLocker locker(&m_mutex);
        header = m_header;
        received = m_bytesReceived;
    }
    if (KHttpAnswerParser::bodyComplete(header, received))
        return true;
    return fail({ KTransportFailure::BrokenStream,
        header.contentLengthOverflow
            ? QStringLiteral("Content-Length %1 does not fit").arg(header.contentLengthText)
            : QStringLiteral("%1 body bytes of %2").arg(received).arg(header.contentLength),
        -1 });
}

// ---- proxy ------------------------------------------------------------------------------------

void KNetworkReply::proxyAuthenticationRequired(
    const QNetworkProxy &proxy, QAuthenticator *authenticator)
{
    const ProxyCredentials credentials = proxyCredentials();
    if (credentials.user.isEmpty()) {
        LOG_ERROR(QStringLiteral("KNetworkReply: proxy authentication required"));
        return;
    }
    {
        QMutexLocker locker(&d->m_mutex);
        if (d->m_proxyLoginOffered) {
            // The proxy asks again after it had the stored login: it refused it. Offering it
            // again would only make it ask again, without end; the connection fails instead.
            d->m_proxyLoginRefused = true;
        } else {
            d->m_proxyLoginOffered = true;
        }
    }
    if (d->proxyLoginRefused()) {
        LOG_ERROR(QStringLiteral("KNetworkReply: the proxy %1 refused the stored proxy login")
                      .arg(KProxyChoice::describe(proxy)));
        return;
    }
    authenticator->setUser(credentials.user);
    authenticator->setPassword(credentials.password);
}
