#include "http/khttpconnection.h"

#include "http/kaborttoken.h"
#include "http/kproxychoice.h"
#include "logging/logging.h"

#include <QFile>
#include <QMetaObject>
#include <QNetworkProxyFactory>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTcpSocket>
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

void logProxy(const QUrl &url, const QString &host, quint16 port, const QNetworkProxy &proxy)
{
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
}

} // namespace

// The abort reaches the object through its own thread's loop.
struct KHttpConnection::AbortWake
{
    AbortWake(KAbortToken &token, KHttpConnection *connection)
        : wake(token, connection, [connection] { connection->onAbort(); })
    { }
    KAbortToken::Wake wake;
};

KHttpConnection::KHttpConnection(KAbortToken &abort)
    : m_abort(abort)
{
    m_deadline.setSingleShot(true);
    m_silence.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (m_stage == Stage::Connecting)
            failOpening(KTransportFailure::ConnectTimeout, QAbstractSocket::SocketTimeoutError,
                QStringLiteral("No connection within %1 ms").arg(m_deadline.interval()));
        else if (m_stage == Stage::Handshaking)
            failOpening(KTransportFailure::TlsHandshakeFailed, QAbstractSocket::SocketTimeoutError,
                QStringLiteral("The TLS handshake did not finish within %1 ms")
                    .arg(m_deadline.interval()));
    });
    connect(&m_silence, &QTimer::timeout, this, [this] {
        if (m_stage == Stage::Handshaking)
            failOpening(KTransportFailure::TlsHandshakeFailed, QAbstractSocket::SocketTimeoutError,
                QStringLiteral("The server sent nothing for %1 ms during the TLS handshake")
                    .arg(m_silenceMs));
    });
}

KHttpConnection::~KHttpConnection()
{
    m_wake.reset();
    if (m_socket) {
        // Nothing of the socket reaches this object any more, also not while it is torn down.
        disconnect(m_socket.get(), nullptr, this, nullptr);
        m_socket->abort();
    }
}

bool KHttpConnection::peerClosed() const
{
    return !m_socket || m_socket->state() == QAbstractSocket::UnconnectedState || m_ended;
}

bool KHttpConnection::drained() const
{
    for (const QPointer<QAbstractSocket> &carrier : m_carriers) {
        if (!carrier)
            continue;
        if (carrier->bytesToWrite() > 0)
            return false;
        if (const auto *tls = qobject_cast<const QSslSocket *>(carrier.data());
            tls && tls->encryptedBytesToWrite() > 0)
            return false;
    }
    return true;
}

void KHttpConnection::close()
{
    if (m_socket && m_open)
        m_socket->disconnectFromHost();
}

void KHttpConnection::open(const QUrl &url, int connectMs, int handshakeMs, int silenceMs)
{
    m_failure = KTransportFailure();
    m_host = url.host();
    m_tls = url.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) == 0;
    m_silenceMs = std::max(0, silenceMs);
    m_handshakeMs = std::max(0, handshakeMs);
    const quint16 port = quint16(url.port(m_tls ? 443 : 80));
    m_stage = Stage::Connecting;
    m_wake = std::make_unique<AbortWake>(m_abort, this);
    if (m_abort.isAborted()) {
        failOpening(KTransportFailure::Aborted, -1, QString());
        return;
    }
    const QNetworkProxy proxy = KProxyChoice::forUrl(url);
    logProxy(url, m_host, port, proxy);

    if (m_tls) {
        auto tls = std::make_unique<QSslSocket>();
        QSslConfiguration configuration = tls->sslConfiguration();
        configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
        configuration.addCaCertificates(extraCaCertificates());
        tls->setSslConfiguration(configuration);
        // The host name of the URL is the name the certificate must carry.
        tls->setPeerVerifyName(m_host);
        connect(tls.get(), &QSslSocket::encrypted, this, &KHttpConnection::onEncrypted);
        // Forwarded as they come; listeners choose their own connection type.
        connect(tls.get(), &QSslSocket::sslErrors, this, &KHttpConnection::sslErrors);
        m_socket = std::move(tls);
    } else {
        m_socket = std::make_unique<QTcpSocket>();
    }
    // An HTTP proxy tunnels the connection with CONNECT; the TLS handshake then runs through the
    // tunnel with the service itself.
    m_socket->setProxy(proxy);
    m_socket->setReadBufferSize(readBufferBytes);
    connect(m_socket.get(), &QAbstractSocket::proxyAuthenticationRequired, this,
        &KHttpConnection::proxyAuthenticationRequired);
    connect(m_socket.get(), &QAbstractSocket::connected, this, &KHttpConnection::onConnected);
    connect(m_socket.get(), &QAbstractSocket::errorOccurred, this, &KHttpConnection::onSocketError);
    connect(m_socket.get(), &QAbstractSocket::disconnected, this, &KHttpConnection::onDisconnected);
    connect(m_socket.get(), &QIODevice::readyRead, this, [this] {
        if (m_open)
            emit readable();
    });
    m_deadline.start(std::max(0, connectMs));
    // A plain connection first; the handshake starts once it stands.
    m_socket->connectToHost(m_host, port, QIODevice::ReadWrite);
}

void KHttpConnection::onConnected()
{
    if (m_stage != Stage::Connecting)
        return;
    if (!m_tls) {
        finishOpening();
        return;
    }
    m_stage = Stage::Handshaking;
    m_deadline.start(m_handshakeMs);
    watchCarriers();
    m_silence.start(m_silenceMs);
    static_cast<QSslSocket *>(m_socket.get())->startClientEncryption();
}

void KHttpConnection::watchCarriers()
{
    // The socket and every socket beneath it: a TLS socket writes through a plain one, and a
    // connection through an HTTP proxy runs over the tunnel's own socket. A byte has left the
    // process when none of them holds it any more.
    m_carriers.clear();
    m_carriers.append(m_socket.get());
    const QList<QAbstractSocket *> beneath = m_socket->findChildren<QAbstractSocket *>();
    for (QAbstractSocket *carrier : beneath)
        m_carriers.append(carrier);
    for (const QPointer<QAbstractSocket> &carrier : std::as_const(m_carriers)) {
        carrier->setReadBufferSize(readBufferBytes);
        connect(carrier.data(), &QIODevice::bytesWritten, this, [this] {
            if (m_open)
                emit wrote();
        });
        if (carrier == m_socket.get())
            continue;
        // Bytes from the server reach the sockets beneath before the handshake consumes them.
        connect(carrier.data(), &QIODevice::readyRead, this, [this] {
            if (m_stage == Stage::Handshaking)
                m_silence.start(m_silenceMs);
        });
    }
    if (auto *tls = qobject_cast<QSslSocket *>(m_socket.get())) {
        connect(tls, &QSslSocket::encryptedBytesWritten, this, [this] {
            if (m_open)
                emit wrote();
        });
    }
}

void KHttpConnection::onEncrypted()
{
    if (m_stage == Stage::Handshaking)
        finishOpening();
}

void KHttpConnection::finishOpening()
{
    m_deadline.stop();
    m_silence.stop();
    m_wake.reset();
    if (m_carriers.isEmpty())
        watchCarriers();
    m_stage = Stage::Open;
    m_open = true;
    emit opened();
}

KTransportFailure::Kind KHttpConnection::connectFailureKind(int socketError)
{
    switch (socketError) {
    case QAbstractSocket::SocketTimeoutError:
        return KTransportFailure::ConnectTimeout;
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        return KTransportFailure::ProxyAuthentication;
    case QAbstractSocket::ProxyConnectionRefusedError:
    case QAbstractSocket::ProxyConnectionClosedError:
    case QAbstractSocket::ProxyConnectionTimeoutError:
    case QAbstractSocket::ProxyNotFoundError:
    case QAbstractSocket::ProxyProtocolError:
        return KTransportFailure::ProxyFailed;
    default:
        return KTransportFailure::ConnectFailed;
    }
}

void KHttpConnection::onSocketError()
{
    const QAbstractSocket::SocketError error = m_socket->error();
    switch (m_stage) {
    case Stage::Connecting:
        failOpening(connectFailureKind(error), error, m_socket->errorString());
        break;
    case Stage::Handshaking: {
        // Errors of verification mean the server is not the one it claims to be; anything else
        // broke the handshake itself.
        const auto *tls = static_cast<const QSslSocket *>(m_socket.get());
        failOpening(tls->sslHandshakeErrors().isEmpty() ? KTransportFailure::TlsHandshakeFailed
                                                        : KTransportFailure::CertificateUntrusted,
            error, m_socket->errorString());
        break;
    }
    case Stage::Open:
        // A TLS socket reports a received close_notify this way and keeps the TCP connection,
        // waiting for a close_notify of ours; anything else that ends the connection follows with
        // disconnected().
        if (error == QAbstractSocket::RemoteHostClosedError
            || m_socket->state() == QAbstractSocket::UnconnectedState)
            onDisconnected();
        break;
    case Stage::Idle:
    case Stage::Failed:
        break;
    }
}

void KHttpConnection::onDisconnected()
{
    if (m_stage == Stage::Connecting || m_stage == Stage::Handshaking) {
        // The error, when there is one, has been reported before; a close without one still ends
        // the opening.
        const QAbstractSocket::SocketError error = m_socket->error();
        failOpening(m_stage == Stage::Connecting ? connectFailureKind(error)
                                                 : KTransportFailure::TlsHandshakeFailed,
            error, m_socket->errorString());
        return;
    }
    if (m_stage != Stage::Open || m_ended)
        return;
    m_ended = true;
    emit ended();
}

void KHttpConnection::onAbort()
{
    if (m_stage == Stage::Connecting || m_stage == Stage::Handshaking)
        failOpening(KTransportFailure::Aborted, -1, QString());
}

void KHttpConnection::failOpening(
    KTransportFailure::Kind kind, int socketError, const QString &detail)
{
    if (m_stage == Stage::Failed || m_stage == Stage::Open)
        return;
    m_stage = Stage::Failed;
    m_deadline.stop();
    m_silence.stop();
    m_wake.reset();
    if (m_abort.isAborted())
        m_failure = { KTransportFailure::Aborted, QString(), -1 };
    else
        m_failure = { kind, detail, socketError };
    if (m_socket) {
        // Possibly from within one of the socket's own signals: it is stopped here and deleted
        // with this object, never in the middle of its signal.
        disconnect(m_socket.get(), nullptr, this, nullptr);
        m_socket->abort();
        m_socket.release()->deleteLater();
    }
    m_carriers.clear();
    // Always from the loop, also when the opening fails before it began.
    QMetaObject::invokeMethod(this, &KHttpConnection::failed, Qt::QueuedConnection);
}
