#include "http/khttpconnection.h"

#include "http/kaborttoken.h"
#include "http/kproxychoice.h"
#include "logging/logging.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QNetworkProxyFactory>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>

namespace {

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

KHttpConnection::KHttpConnection(KAbortToken &abort)
    : m_abort(abort)
{ }

KHttpConnection::~KHttpConnection() = default;

bool KHttpConnection::peerClosed() const
{
    // error() alone does not keep it: every wait that runs out overwrites it.
    return !m_socket || m_socket->state() == QAbstractSocket::UnconnectedState
        || m_remoteClosed.load();
}

void KHttpConnection::close()
{
    if (m_socket)
        m_socket->disconnectFromHost();
}

bool KHttpConnection::fail(KTransportFailure::Kind kind, const QAbstractSocket *socket)
{
    if (m_abort.isAborted())
        kind = KTransportFailure::Aborted;
    m_failure.kind = kind;
    m_failure.socketError = socket ? int(socket->error()) : -1;
    m_failure.detail = socket ? socket->errorString() : QString();
    return false;
}

bool KHttpConnection::open(const QUrl &url, int connectMs, int handshakeMs)
{
    m_failure = KTransportFailure();
    const QString host = url.host();
    m_tls = url.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
    const quint16 port = quint16(url.port(m_tls ? 443 : 80));
    if (m_abort.isAborted())
        return fail(KTransportFailure::Aborted, nullptr);
    const QNetworkProxy proxy = KProxyChoice::forUrl(url);
    if (proxy.type() == QNetworkProxy::DefaultProxy) {
        const QList<QNetworkProxy> application = QNetworkProxyFactory::proxyForQuery(
            QNetworkProxyQuery(host, port, url.scheme().toLower(), QNetworkProxyQuery::TcpSocket));
        if (!application.isEmpty())
            LOG_INFO(QStringLiteral("Connecting to %1:%2 through the application's proxy %3")
                         .arg(host)
                         .arg(port)
                         .arg(KProxyChoice::describe(application.constFirst())));
    } else if (proxy.type() != QNetworkProxy::NoProxy) {
        LOG_INFO(QStringLiteral("Connecting to %1:%2 through the proxy %3")
                     .arg(host)
                     .arg(port)
                     .arg(KProxyChoice::describe(proxy)));
    }
    if (!connectTcp(host, port, connectMs, proxy))
        return false;

    m_remoteClosed.store(false);
    // Reported from within the waits of this thread. A TLS socket reports a received close_notify
    // this way and keeps the TCP connection, waiting for a close_notify of ours.
    connect(
        m_socket.get(), &QAbstractSocket::errorOccurred, this,
        [this](QAbstractSocket::SocketError error) {
            if (error == QAbstractSocket::RemoteHostClosedError)
                m_remoteClosed.store(true);
        },
        Qt::DirectConnection);
    if (!m_tls || handshake(host, handshakeMs))
        return true;
    m_socket.reset();
    return false;
}

bool KHttpConnection::connectTcp(
    const QString &host, quint16 port, int connectMs, const QNetworkProxy &proxy)
{
    QThread *const caller = QThread::currentThread();
    const bool tls = m_tls;
    QAbstractSocket *connected = nullptr;
    int failureCode = -1;
    QString failureText;
    bool timedOut = false;
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
        // An HTTP proxy tunnels the connection with CONNECT; the TLS handshake then runs through
        // the tunnel with the service itself.
        socket->setProxy(proxy);
        // This object outlives the helper: open() waits for it.
        connect(socket.get(), &QAbstractSocket::proxyAuthenticationRequired, this,
            &KHttpConnection::proxyAuthenticationRequired, Qt::DirectConnection);

        QEventLoop loop;
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, [&loop, &timedOut] {
            timedOut = true;
            loop.quit();
        });
        QTimer abortWatch;
        QObject::connect(&abortWatch, &QTimer::timeout, &loop, [this, &loop] {
            if (m_abort.isAborted())
                loop.quit();
        });
        QObject::connect(socket.get(), &QAbstractSocket::connected, &loop, &QEventLoop::quit);
        QObject::connect(socket.get(), &QAbstractSocket::errorOccurred, &loop, &QEventLoop::quit);
        deadline.start(std::max(0, connectMs));
        abortWatch.start(KAbortToken::sliceMs);
        // Plain connection first; the TLS handshake is started by the calling thread.
        socket->connectToHost(host, port, QIODevice::ReadWrite);
        if (socket->state() != QAbstractSocket::ConnectedState) {
            if (QCoreApplication::instance()) {
                loop.exec();
            } else { // no application object, so no event loop: a plain blocking wait
                socket->waitForConnected(std::max(0, connectMs));
                timedOut = socket->error() == QAbstractSocket::SocketTimeoutError;
            }
        }
        QObject::disconnect(socket.get(), nullptr, &loop, nullptr);

        if (socket->state() == QAbstractSocket::ConnectedState && !m_abort.isAborted()) {
            socket->moveToThread(caller);
            connected = socket.release();
        } else {
            failureCode = int(socket->error());
            failureText = socket->errorString();
            socket->abort();
        }
    }));
    // Named so that its log lines (a proxy asking for credentials) do not pass for another
    // thread's.
    helper->setObjectName(QStringLiteral("connection helper"));
    helper->start();
    helper->wait();
    helper.reset();
    if (!connected) {
        KTransportFailure::Kind kind = KTransportFailure::ConnectFailed;
        if (timedOut || failureCode == QAbstractSocket::SocketTimeoutError)
            kind = KTransportFailure::ConnectTimeout;
        else if (failureCode == QAbstractSocket::ProxyAuthenticationRequiredError)
            kind = KTransportFailure::ProxyAuthentication;
        else if (failureCode == QAbstractSocket::ProxyConnectionRefusedError
            || failureCode == QAbstractSocket::ProxyConnectionClosedError
            || failureCode == QAbstractSocket::ProxyConnectionTimeoutError
            || failureCode == QAbstractSocket::ProxyNotFoundError
            || failureCode == QAbstractSocket::ProxyProtocolError)
            kind = KTransportFailure::ProxyFailed;
        fail(kind, nullptr);
        m_failure.socketError = failureCode;
        m_failure.detail = failureText;
        return false;
    }
    m_socket.reset(connected);
    return true;
}

bool KHttpConnection::handshake(const QString &host, int handshakeMs)
{
    auto *sslSocket = static_cast<QSslSocket *>(m_socket.get());
    // Forwarded as they come, in this thread; listeners choose their own connection type.
    connect(
        sslSocket, &QSslSocket::sslErrors, this, &KHttpConnection::sslErrors, Qt::DirectConnection);
    // The host name of the URL is the name the certificate must carry.
    sslSocket->setPeerVerifyName(host);
    sslSocket->startClientEncryption();
    const QDeadlineTimer deadline(handshakeMs);
    while (!sslSocket->isEncrypted()) {
        if (m_abort.isAborted())
            return fail(KTransportFailure::Aborted, nullptr);
        if (deadline.hasExpired() || sslSocket->state() != QAbstractSocket::ConnectedState) {
            // Errors of verification mean the server is not the one it claims to be; anything
            // else broke the handshake itself.
            return fail(sslSocket->sslHandshakeErrors().isEmpty()
                    ? KTransportFailure::TlsHandshakeFailed
                    : KTransportFailure::CertificateUntrusted,
                sslSocket);
        }
        sslSocket->waitForEncrypted(
            int(std::min<qint64>(deadline.remainingTime(), KAbortToken::sliceMs)));
    }
    return true;
}
