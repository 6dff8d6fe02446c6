#include "http/knetworkreply.h"

#include "http/krawtrafficdump.h"
#include "http/krequestbody.h"
#include "logging/logging.h"

#include <QAuthenticator>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QMutexLocker>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstring>

QMutex KNetworkReply::cookieMutex;

namespace {

// Longest stretch of any blocking wait before abort() is looked at again.
constexpr int AbortSliceMs = 25;

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

// Certificate authorities trusted in addition to the system's (staging, tests, the demo).
QList<QSslCertificate> extraCaCertificates()
{
    const QString path = qEnvironmentVariable("VELMORA_EXTRA_CA_CERTS");
    if (path.isEmpty())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QSslCertificate::fromData(file.readAll(), QSsl::Pem);
}

} // namespace

KNetworkReply::KNetworkReply(const QUrl &url, const QString &referer, const QByteArray &body,
    QNetworkCookieJar *cookieJar, const Timeouts &timeouts)
    : KNetworkReply(url, referer, std::make_shared<KByteArrayBody>(body), cookieJar, timeouts)
{ }

KNetworkReply::KNetworkReply(const QUrl &url, const QString &referer,
    std::shared_ptr<KRequestBody> body, QNetworkCookieJar *cookieJar, const Timeouts &timeouts)
    : QBuffer(static_cast<QObject *>(nullptr))
    , QMutex()
    , m_url(url)
    , m_requestBody(body ? std::move(body) : std::make_shared<KByteArrayBody>())
    , m_cookieJar(cookieJar)
    , m_referer(referer)
    , m_statusCode(-1)
    , m_contentLength(-1)
    , m_contentLengthOverflow(false)
    , m_bytesReceived(0)
    // Both lazy patterns need a CR LF after their line; "." also matches line breaks.
    , m_setCookieRx(QStringLiteral("\\r\\nSet-Cookie:(.*?)\\r\\n"),
          QRegularExpression::DotMatchesEverythingOption)
    , m_statusLineRx(QStringLiteral("HTTP/(\\d\\.\\d) (\\d*?) (.*?)\\r\\n"),
          QRegularExpression::DotMatchesEverythingOption)
    , m_contentLengthRx(QStringLiteral("\\r\\nContent-Length:\\s*(\\d*)\\s*"))
    , m_socket(nullptr)
    , m_timeouts(timeouts)
{ }

KNetworkReply::~KNetworkReply() = default;

// ---- accessors --------------------------------------------------------------------------------

int KNetworkReply::statusCode() const
{
    QMutexLocker locker(lockable());
    return m_statusCode;
}

QString KNetworkReply::reasonPhrase() const
{
    QMutexLocker locker(lockable());
    return m_reasonPhrase;
}

QString KNetworkReply::httpVersion() const
{
    QMutexLocker locker(lockable());
    return m_httpVersion;
}

QUrl KNetworkReply::url() const
{
    QMutexLocker locker(lockable());
    return m_url;
}

QVariant KNetworkReply::header(int selector) const
{
    QMutexLocker locker(lockable());
    if (selector != ContentLengthHeader)
        return QVariant();
    const QRegularExpressionMatch match
        = m_contentLengthRx.match(QString::fromLatin1(m_responseHeader));
    if (!match.hasMatch() || match.captured(1).isEmpty())
        return QVariant();
    return match.captured(1);
}

QByteArray KNetworkReply::responseHeader() const
{
    QMutexLocker locker(lockable());
    return m_responseHeader;
}

qint64 KNetworkReply::contentLength() const
{
    QMutexLocker locker(lockable());
    return m_contentLength;
}

qint64 KNetworkReply::bytesReceived() const
{
    QMutexLocker locker(lockable());
    return m_bytesReceived;
}

KNetworkReply::Timeouts KNetworkReply::timeouts() const
{
    QMutexLocker locker(lockable());
    return m_timeouts;
}

void KNetworkReply::setTimeouts(const Timeouts &timeouts)
{
    QMutexLocker locker(this);
    m_timeouts = timeouts;
}

KNetworkReply::ProxyCredentials KNetworkReply::proxyCredentials() const
{
    QMutexLocker locker(lockable());
    return m_proxyCredentials;
}

void KNetworkReply::setProxyCredentials(const ProxyCredentials &credentials)
{
    QMutexLocker locker(this);
    m_proxyCredentials = credentials;
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
    {
        std::lock_guard<std::mutex> guard(m_abortMutex);
        m_aborted.store(true);
    }
    m_abortCondition.notify_all();
}

bool KNetworkReply::isAborted() const
{
    return m_aborted.load();
}

// ---- post -------------------------------------------------------------------------------------

bool KNetworkReply::post(const QString &clientVersion, int timeoutMs)
{
    qint64 dumpMark = -1;
    const bool ok = !isAborted() && exchange(clientVersion, timeoutMs, dumpMark);
    {
        QMutexLocker locker(this);
        m_socket = nullptr;
    }
    if (!ok && isAborted()) {
        // An aborted exchange takes its blocks back out of the raw traffic dump.
        KRawTrafficDump::rollBack(dumpMark);
        LOG_INFO(QStringLiteral("Request aborted; url = %1").arg(url().toString()));
    }
    return ok;
}

// The steps of post(); the socket lives as long as this call.
bool KNetworkReply::exchange(const QString &clientVersion, int timeoutMs, qint64 &dumpMark)
{
    {
        QMutexLocker locker(this);
        m_contentLength = -1;
        m_contentLengthOverflow = false;
    }
    const Timeouts timeouts = this->timeouts();
    // The body goes out from its first byte, also when this source served an earlier request.
    KRequestBody &body = *m_requestBody;
    if (!body.rewind()) {
        LOG_INFO(QStringLiteral("The request body cannot be read; url = %1 ; error = %2")
                     .arg(url().toString(), body.errorString()));
        return false;
    }
    const std::shared_ptr<QAbstractSocket> socket
        = connectToHost(orPostTimeout(timeouts.connectMs, timeoutMs));
    if (!socket || isAborted())
        return false;

    const bool dumping = rawDumpEnabled();
    dumpMark = KRawTrafficDump::mark();

    QString headerText;
    {
        QMutexLocker locker(this);
        const QString target
            = m_url.path(QUrl::FullyEncoded) + QLatin1Char('?') + m_url.query(QUrl::FullyEncoded);
        headerText = QStringLiteral("POST %1 HTTP/1.0\r\n").arg(target);
        headerText += QStringLiteral("Host: %1\r\n").arg(m_url.host());
        if (body.size() > 0) {
            headerText += QStringLiteral("Content-Transfer-Encoding: 8bit\r\n");
            headerText += QStringLiteral("Content-Type: application/x-www-form-urlencoded\r\n");
        }
        headerText += QStringLiteral("Content-Length: %1\r\n").arg(body.size());
        headerText += QStringLiteral("User-Agent: Velmora client/%1\r\n").arg(clientVersion);
        headerText += QStringLiteral("Referer: %1\r\n").arg(m_referer);
        headerText += QStringLiteral("Connection: close\r\n");
    }
    if (m_cookieJar) {
        QMutexLocker cookieLocker(&cookieMutex);
        QMutexLocker locker(this);
        const QList<QNetworkCookie> cookies = m_cookieJar->cookiesForUrl(m_url);
        for (const QNetworkCookie &cookie : cookies) {
            headerText += QStringLiteral("Cookie: ")
                + QString::fromLatin1(cookie.toRawForm(QNetworkCookie::NameAndValueOnly))
                + QStringLiteral("\r\n");
        }
    }
    headerText += QStringLiteral("\r\n");

    if (dumping) {
        QByteArray dumpHeader = headerText.toUtf8();
        dumpHeader.replace('\r', QByteArray());
        if (!KRawTrafficDump::writeRequest(dumpHeader, body)) {
            LOG_INFO(QStringLiteral("The request body cannot be read; url = %1 ; error = %2")
                         .arg(url().toString(), body.errorString()));
            return false;
        }
    }

    // The request bytes are the header as Latin-1 followed by the body unchanged; the body is read
    // from its source chunk by chunk as the chunks go out.
    const QByteArray head = headerText.toLatin1();
    if (!sendData(head, body, socket.get(), orPostTimeout(timeouts.writeMs, timeoutMs))
        || isAborted())
        return false;
    if (!download(socket.get(), orPostTimeout(timeouts.silenceMs, timeoutMs)) || isAborted())
        return false;
    socket->disconnectFromHost();
    return true;
}

// ---- connection -------------------------------------------------------------------------------

// The TCP connection is made by a helper thread with its own event loop, so that the wait for it
// (host lookup included) ends at once on abort(); the calling thread blocks until the helper is
// done, then owns the connected socket. Everything after the connection (TLS handshake, sending,
// receiving) runs in the calling thread with blocking waits.
std::shared_ptr<QAbstractSocket> KNetworkReply::connectToHost(int timeoutMs)
{
    QUrl url;
    Timeouts timeouts;
    {
        QMutexLocker locker(this);
        url = m_url;
        timeouts = m_timeouts;
    }
    const QString host = url.host();
    const bool tls = url.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
    const quint16 port = quint16(url.port(tls ? 443 : 80));
    QThread *const caller = QThread::currentThread();

    QAbstractSocket *connected = nullptr;
    QString failure;
    int failureCode = 0;
    std::unique_ptr<QThread> helper(QThread::create([&] {
        std::unique_ptr<QAbstractSocket> socket;
        if (tls) {
            auto sslSocket = std::make_unique<QSslSocket>();
            QSslConfiguration configuration = sslSocket->sslConfiguration();
            configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
            configuration.addCaCertificates(extraCaCertificates());
            sslSocket->setSslConfiguration(configuration);
            socket = std::move(sslSocket);
        } else {
            socket = std::make_unique<QTcpSocket>();
        }
        // The reply outlives this thread: post() waits for it.
        connect(socket.get(), &QAbstractSocket::proxyAuthenticationRequired, this,
            &KNetworkReply::proxyAuthenticationRequired, Qt::DirectConnection);

        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        QTimer abortWatch;
        QObject::connect(&abortWatch, &QTimer::timeout, &loop, [this, &loop] {
            if (isAborted())
                loop.quit();
        });
        QObject::connect(socket.get(), &QAbstractSocket::connected, &loop, &QEventLoop::quit);
        QObject::connect(socket.get(), &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
        deadline.start(std::max(0, timeoutMs));
        abortWatch.start(AbortSliceMs);
        // Plain connection first; the TLS handshake is started by the calling thread.
        socket->connectToHost(host, port, QIODevice::ReadWrite);
        if (socket->state() != QAbstractSocket::ConnectedState) {
            if (QCoreApplication::instance())
                loop.exec();
            else // no application object, so no event loop: a plain blocking wait
                socket->waitForConnected(std::max(0, timeoutMs));
        }
        QObject::disconnect(socket.get(), nullptr, &loop, nullptr);

        if (socket->state() == QAbstractSocket::ConnectedState && !isAborted()) {
            socket->moveToThread(caller);
            connected = socket.release();
        } else {
            failureCode = int(socket->error());
            failure = socket->errorString();
            socket->abort();
        }
    }));
    helper->setObjectName(QStringLiteral("connection helper"));
    helper->start();
    helper->wait();
    helper.reset();
    if (!connected) {
        if (tls && !isAborted())
            LOG_TRACE(
                QStringLiteral("Got errror from a socket (%1): %2").arg(failureCode).arg(failure));
        return nullptr;
    }

    // The socket is a child of the reply when both live in this thread; the shared pointer owns
    // it in any case.
    std::shared_ptr<QAbstractSocket> socket(connected);
    if (thread() == caller)
        socket->setParent(this);
    m_remoteClosed.store(false);
    // Reported from within the waits of this thread. A TLS socket reports a received close_notify
    // this way and keeps the TCP connection, waiting for a close_notify of ours.
    connect(
        socket.get(), &QAbstractSocket::errorOccurred, this,
        [this](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                m_remoteClosed.store(true);
        },
        Qt::DirectConnection);

    if (tls) {
        auto *sslSocket = static_cast<QSslSocket *>(socket.get());
        // Forwarded as they come, in this thread; listeners choose their own connection type.
        connect(sslSocket, &QSslSocket::sslErrors, this, &KNetworkReply::sslErrors,
            Qt::DirectConnection);
        // The host name of the URL is the name the certificate must carry.
        sslSocket->setPeerVerifyName(host);
        sslSocket->startClientEncryption();
        QElapsedTimer handshake;
        handshake.start();
        while (!sslSocket->isEncrypted()) {
            if (isAborted())
                return nullptr;
            const qint64 left = timeouts.tlsHandshakeMs - handshake.elapsed();
            if (left <= 0 || sslSocket->state() != QAbstractSocket::ConnectedState) {
                LOG_TRACE(QStringLiteral("Got errror from a socket (%1): %2")
                              .arg(int(sslSocket->error()))
                              .arg(sslSocket->errorString()));
                return nullptr;
            }
            sslSocket->waitForEncrypted(int(std::min<qint64>(left, AbortSliceMs)));
        }
    }

    {
        QMutexLocker locker(this);
        m_socket = socket.get();
    }
    return socket;
}

void KNetworkReply::proxyAuthenticationRequired(
    const QNetworkProxy &proxy, QAuthenticator *authenticator)
{
    Q_UNUSED(proxy);
    const ProxyCredentials credentials = proxyCredentials();
    if (credentials.user.isEmpty()) {
        LOG_ERROR(QStringLiteral("KNetworkReply: proxy authentication required"));
        return;
    }
    authenticator->setUser(credentials.user);
    authenticator->setPassword(credentials.password);
}

// ---- waits ------------------------------------------------------------------------------------

bool KNetworkReply::waitReadable(QAbstractSocket *socket, int ms)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (isAborted())
            return false;
        const qint64 left = ms - timer.elapsed();
        if (left <= 0)
            return false;
        if (socket->waitForReadyRead(int(std::min<qint64>(left, AbortSliceMs))))
            return true;
        if (peerClosed(socket))
            return false;
    }
}

bool KNetworkReply::waitWritten(QAbstractSocket *socket, int ms)
{
    QElapsedTimer timer;
    timer.start();
    for (;;) {
        if (socket->bytesToWrite() == 0)
            return true;
        if (isAborted() || socket->state() != QAbstractSocket::ConnectedState)
            return false;
        const qint64 left = ms - timer.elapsed();
        if (left <= 0)
            return false;
        if (socket->waitForBytesWritten(int(std::min<qint64>(left, AbortSliceMs)))
            && socket->bytesToWrite() == 0)
            return true;
    }
}

bool KNetworkReply::sleepUntil(const QElapsedTimer &clock, qint64 deadlineNs)
{
    const qint64 leftNs = deadlineNs - clock.nsecsElapsed();
    if (leftNs <= 0)
        return !isAborted();
    std::unique_lock<std::mutex> guard(m_abortMutex);
    const auto until = std::chrono::steady_clock::now() + std::chrono::nanoseconds(leftNs);
    return !m_abortCondition.wait_until(guard, until, [this] { return m_aborted.load(); });
}

// ---- sending ----------------------------------------------------------------------------------

bool KNetworkReply::sendData(
    const QByteArray &head, KRequestBody &body, QAbstractSocket *socket, int timeoutMs)
{
    const qint64 total = head.size() + body.size();
    if (total == 0)
        return true;

    qint64 chunkSize;
    qint64 periodNs;
    {
        QMutexLocker locker(this);
        chunkSize = sendRateLimit * 100 / 1000;
        periodNs = qint64(m_timeouts.sendPeriodMs) * 1000000;
    }
    char chunk[sendRateLimit * 100 / 1000];

    // Each chunk starts a period; the next chunk starts when that period is over, counted from
    // the actual start, so chunks never come closer than the period and sleeping adds no drift.
    QElapsedTimer clock;
    clock.start();
    qint64 periodStartNs = 0;
    qint64 offset = 0;
    while (offset < total) {
        // The chunk may span the end of the header and the start of the body.
        const qint64 size = std::min(chunkSize, total - offset);
        const qint64 fromHead = std::clamp<qint64>(head.size() - offset, 0, size);
        if (fromHead > 0)
            std::memcpy(chunk, head.constData() + offset, size_t(fromHead));
        if (fromHead < size
            && !readBody(body, chunk + fromHead, size - fromHead, offset + size == total))
            return false;
        offset += size;

        const qint64 elapsedMs = (clock.nsecsElapsed() - periodStartNs) / 1000000;
        const int remainingMs = int(std::max<qint64>(0, timeoutMs - elapsedMs));
        if (!sendChunk(chunk, size, socket, remainingMs))
            return false;
        emit uploadProgress(offset, total);

        if (!sleepUntil(clock, periodStartNs + periodNs))
            return false;
        periodStartNs = clock.nsecsElapsed();
    }
    return true;
}

bool KNetworkReply::readBody(KRequestBody &body, char *out, qint64 size, bool last)
{
    QString failure;
    for (qint64 filled = 0; filled < size && failure.isEmpty();) {
        const qint64 n = body.read(out + filled, size - filled);
        if (n < 0)
            failure = body.errorString();
        else if (n == 0)
            failure = QStringLiteral("the body ended before its %1 bytes").arg(body.size());
        filled += std::max<qint64>(0, n);
    }
    // The last chunk goes out only when the body really ends with it.
    char beyond;
    if (failure.isEmpty() && last) {
        const qint64 n = body.read(&beyond, 1);
        if (n < 0)
            failure = body.errorString();
        else if (n > 0)
            failure = QStringLiteral("the body is longer than its %1 bytes").arg(body.size());
    }
    if (failure.isEmpty())
        return true;
    LOG_INFO(QStringLiteral("The request body cannot be read; url = %1 ; error = %2")
                 .arg(url().toString(), failure));
    return false;
}

bool KNetworkReply::sendChunk(
    const char *chunk, qint64 size, QAbstractSocket *socket, int remainingMs)
{
    if (socket->write(chunk, size) < size)
        return false;
    if (remainingMs < 1)
        return false;
    int writeWaitMs;
    {
        QMutexLocker locker(this);
        writeWaitMs = std::max(1, m_timeouts.writeWaitMs);
    }
    while (remainingMs > 0) {
        if (waitWritten(socket, std::min(writeWaitMs, remainingMs)))
            break;
        if (isAborted() || socket->state() != QAbstractSocket::ConnectedState)
            return false;
        remainingMs -= writeWaitMs;
    }
    return remainingMs > 0;
}

// ---- receiving --------------------------------------------------------------------------------

bool KNetworkReply::downloadChunk(QByteArray &out, QAbstractSocket *socket, int timeoutMs)
{
    int readWaitMs;
    {
        QMutexLocker locker(this);
        readWaitMs = std::max(1, m_timeouts.readWaitMs);
    }
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        if (socket->bytesAvailable() > 0)
            break;
        // A TLS record that carries no application data wakes the wait without any bytes.
        if (waitReadable(socket, readWaitMs) && socket->bytesAvailable() > 0)
            break;
        if (isAborted())
            return false;
        if (peerClosed(socket) && socket->bytesAvailable() == 0)
            return true;
    }
    const qint64 elapsed = timer.elapsed();
    // Data that came only after the time-out ran out counts as none, and so does a wait that
    // ended with nothing at all.
    if (elapsed > timeoutMs || socket->bytesAvailable() == 0) {
        LOG_INFO(QStringLiteral("Socket timeout exceded. No data was given; url = %1, timeout = "
                                "%2, elapsed = %3, state = %4, error = %5")
                     .arg(url().toString())
                     .arg(timeoutMs)
                     .arg(elapsed)
                     .arg(int(socket->state()))
                     .arg(socket->errorString()));
        return false;
    }
    out = socket->readAll();
    return true;
}

bool KNetworkReply::download(QAbstractSocket *socket, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    {
        QMutexLocker locker(this);
        m_responseHeader.clear();
        m_bytesReceived = 0;
    }
    const QString urlText = url().toString();
    const auto timeLeft
        = [&timer, timeoutMs] { return int(std::max<qint64>(0, timeoutMs - timer.elapsed())); };

    // Header phase: up to the end of the header.
    QByteArray accumulator;
    qsizetype end = -1;
    while (end < 0) {
        QByteArray chunk;
        if (!downloadChunk(chunk, socket, timeLeft()))
            return false;
        if (chunk.isEmpty()) {
            LOG_INFO(QStringLiteral("Server returns empty data to request; url = %1 ; error = %2")
                         .arg(urlText, socket->errorString()));
            KRawTrafficDump::writeNoData(urlText, socket->errorString());
            return false;
        }
        timer.restart();
        accumulator.append(chunk);
        end = headerEnd(accumulator);
        if (answerTooLarge(end < 0 ? accumulator.size() : end, 0))
            return false;
    }

    if (!takeHeader(accumulator, end)) {
        LOG_INFO(QStringLiteral("Invalid headers in response; url = %1").arg(urlText));
        KRawTrafficDump::writeInvalidHeader(urlText, socket->errorString(), responseHeader());
        return false;
    }
    accumulator.clear();
    if (answerTooLarge(0, bytesReceived()))
        return false;

    bool haveBody;
    {
        QMutexLocker locker(this);
        haveBody = !buffer().isEmpty();
        emit downloadProgress(m_bytesReceived, m_contentLength);
    }
    if (haveBody)
        emit readyRead();

    // Body phase: until the server closes the connection.
    for (;;) {
        QByteArray chunk;
        if (!downloadChunk(chunk, socket, timeLeft()))
            return false;
        if (chunk.isEmpty())
            break;
        if (answerTooLarge(0, bytesReceived() + chunk.size()))
            return false;
        {
            QMutexLocker locker(this);
            buffer().append(chunk);
        }
        timer.restart();
        {
            QMutexLocker locker(this);
            m_bytesReceived += chunk.size();
            emit downloadProgress(m_bytesReceived, m_contentLength);
        }
        emit readyRead();
    }

    {
        QMutexLocker locker(this);
        KRawTrafficDump::writeAnswer(urlText, m_responseHeader, buffer());
    }
    return bodyComplete();
}

// ---- answer header ----------------------------------------------------------------------------

qsizetype KNetworkReply::headerEnd(const QByteArray &answer)
{
    const qsizetype end = answer.indexOf("\r\n\r\n");
    return end == 0 ? answer.indexOf("\r\n\r\n", 1) : end;
}

bool KNetworkReply::acceptAnswer(const QByteArray &answer)
{
    const qsizetype end = headerEnd(answer);
    if (answerTooLarge(end < 0 ? answer.size() : end, end < 0 ? 0 : answer.size() - end - 4))
        return false;
    return end > 0 && takeHeader(answer, end) && bodyComplete();
}

bool KNetworkReply::answerTooLarge(qint64 headerBytes, qint64 bodyBytes)
{
    if (headerBytes <= maxAnswerHeaderBytes && bodyBytes <= maxAnswerBodyBytes)
        return false;
    LOG_INFO(QStringLiteral("The answer is too large; url = %1").arg(url().toString()));
    return true;
}

bool KNetworkReply::peerClosed(const QAbstractSocket *socket) const
{
    // error() alone does not keep it: every wait that runs out overwrites it.
    return socket->state() == QAbstractSocket::UnconnectedState || m_remoteClosed.load();
}

bool KNetworkReply::takeHeader(const QByteArray &answer, qsizetype end)
{
    {
        QMutexLocker locker(this);
        m_responseHeader = answer.left(end);
    }
    if (!acceptHeader())
        return false;
    QMutexLocker locker(this);
    m_contentLength = contentLengthFromHeader();
    buffer() = answer.mid(end + 4);
    m_bytesReceived = buffer().size();
    return true;
}

bool KNetworkReply::acceptHeader()
{
    {
        QMutexLocker locker(this);
        // From here on the caller can read the body from its first byte.
        open(QIODevice::ReadOnly);
    }
    if (m_cookieJar) {
        QMutexLocker cookieLocker(&cookieMutex);
        QMutexLocker locker(this);
        const QString text = QString::fromLatin1(m_responseHeader);
        qsizetype from = 0;
        for (;;) {
            const QRegularExpressionMatch match = m_setCookieRx.match(text, from);
            if (!match.hasMatch())
                break;
            const QList<QNetworkCookie> cookies
                = QNetworkCookie::parseCookies(match.captured(1).toLatin1());
            m_cookieJar->setCookiesFromUrl(cookies, m_url);
            from = match.capturedStart(0) + 1;
        }
    }
    QMutexLocker locker(this);
    const QRegularExpressionMatch match
        = m_statusLineRx.match(QString::fromLatin1(m_responseHeader));
    if (!match.hasMatch())
        return false;
    m_httpVersion = match.captured(1);
    bool ok = false;
    const int code = match.captured(2).toInt(&ok);
    m_statusCode = ok ? code : 0;
    m_reasonPhrase = match.captured(3);
    return true;
}

// Called with the object's lock held.
qint64 KNetworkReply::contentLengthFromHeader()
{
    const QRegularExpressionMatch match
        = m_contentLengthRx.match(QString::fromLatin1(m_responseHeader));
    if (!match.hasMatch())
        return -1;
    bool ok = false;
    const QString digits = match.captured(1);
    const qint64 length = digits.toLongLong(&ok);
    // Digits that do not fit are a broken answer, not a missing length.
    m_contentLengthOverflow = !digits.isEmpty() && !ok;
    return ok ? length : -1;
}

bool KNetworkReply::bodyComplete()
{
    QMutexLocker locker(this);
    if (m_contentLengthOverflow || (m_contentLength >= 0 && m_contentLength != m_bytesReceived)) {
        LOG_INFO(
            QStringLiteral("The server has broken the stream; url = %1").arg(m_url.toString()));
        return false;
    }
    return true;
}
