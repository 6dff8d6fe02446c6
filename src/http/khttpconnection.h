#pragma once

#include "http/ktransportfailure.h"

#include <QAuthenticator>
#include <QList>
#include <QNetworkProxy>
#include <QObject>
#include <QSslError>

#include <atomic>
#include <memory>

class KAbortToken;
class QAbstractSocket;
class QUrl;

// The connection of one exchange: TCP to the URL's host and port (80, or 443 when the scheme is
// "https" in any case), then for https a TLS handshake that verifies the server's certificate
// against the system's authorities plus those in the PEM file named by VELMORA_EXTRA_CA_CERTS,
// host name included. A certificate that does not pass ends the connection before any byte of
// the request is written.
//
// Threads: the object and its socket belong to the thread that calls open(). The TCP connection
// is made by a short-lived helper thread with its own event loop, so that the wait for it (host
// lookup included) ends at once on abort; open() blocks until the helper is done and then owns the
// connected socket. The handshake and every later wait run in the calling thread, blocking, in
// slices that look at the abort token. proxyAuthenticationRequired is emitted in the helper
// thread (receivers connect directly); sslErrors in the calling thread.
//
// Proxy: KProxyChoice decides (the application's proxy, the environment's, the system's); the
// proxy in use is logged at INFO by host and port, never with credentials. A proxy that asks for
// credentials gets them through proxyAuthenticationRequired.
class KHttpConnection : public QObject
{
    Q_OBJECT

public:
    explicit KHttpConnection(KAbortToken &abort);
    ~KHttpConnection() override;

    // Connects (and for https finishes the handshake); false with failure() set when it cannot,
    // when connectMs pass without a TCP connection, when the handshake takes longer than
    // handshakeMs, or on abort. An object opens once.
    bool open(const QUrl &url, int connectMs, int handshakeMs);

    // The connected socket; null until open() succeeded.
    QAbstractSocket *socket() const { return m_socket.get(); }
    bool isTls() const { return m_tls; }
    // The peer ended its side: it closed the TCP connection, or, over TLS, sent close_notify (the
    // TLS socket then reports the remote closed while the TCP connection stays up).
    bool peerClosed() const;
    // What went wrong in open(); kind None after a successful open().
    KTransportFailure failure() const { return m_failure; }

    // Ends the connection: an orderly close (close_notify first over TLS).
    void close();

signals:
    void sslErrors(const QList<QSslError> &errors);
    void proxyAuthenticationRequired(const QNetworkProxy &proxy, QAuthenticator *authenticator);

private:
    bool connectTcp(const QString &host, quint16 port, int connectMs, const QNetworkProxy &proxy);
    bool handshake(const QString &host, int handshakeMs);
    bool fail(KTransportFailure::Kind kind, const QAbstractSocket *socket);

    KAbortToken &m_abort;
    std::unique_ptr<QAbstractSocket> m_socket;
    bool m_tls = false;
    KTransportFailure m_failure;
    // The socket reported that the remote closed; set from within this thread's waits.
    std::atomic<bool> m_remoteClosed { false };
};
