#pragma once

#include "http/ktransportfailure.h"

#include <QAuthenticator>
#include <QList>
#include <QNetworkProxy>
#include <QObject>
#include <QPointer>
#include <QSslError>
#include <QTimer>

#include <memory>

class KAbortToken;
class QAbstractSocket;
class QUrl;

// The connection of one exchange: TCP to the URL's host and port (80, or 443 when the scheme is
// "https" in any case), through the proxy KProxyChoice picks (an HTTP proxy's CONNECT tunnel
// included), then for https a TLS handshake that verifies the server's certificate against the
// system's authorities plus those in the PEM file named by VELMORA_EXTRA_CA_CERTS, host name
// included. A certificate that does not pass ends the connection before any byte of the request
// is written. The proxy in use is logged at INFO by host and port, never with credentials.
//
// Threads: the object, its socket and every signal belong to the thread that calls open(), which
// must run an event loop: nothing here waits. open() returns at once; opened() or failed() follows
// from the loop, exactly once. An abort of the token ends the opening at once with Aborted.
//
// Time-outs, each a timer: connectMs for the TCP connection (the proxy's tunnel included),
// handshakeMs for the whole handshake, and silenceMs for a handshake that hears nothing from the
// server: a server that takes the connection and never finishes the handshake fails as soon as it
// has been silent that long.
//
// Once open, the object tells its owner what the socket does: readable() when bytes of the answer
// wait on socket(), wrote() when bytes left one of the sockets that carry the connection (see
// drained()), ended() once when the peer ended its side (it closed the connection, or over TLS
// sent close_notify).
class KHttpConnection : public QObject
{
    Q_OBJECT

public:
    // The most bytes of an answer that each socket of the connection holds before the reader
    // takes them: a server that streams faster than the reader takes cannot make the sockets'
    // buffers grow without bound (the system's flow control holds the rest back).
    static constexpr qint64 readBufferBytes = 64 * 1024;

    explicit KHttpConnection(KAbortToken &abort);
    ~KHttpConnection() override;

    // Starts connecting; an object opens once.
    void open(const QUrl &url, int connectMs, int handshakeMs, int silenceMs);

    // The socket; null before open() and after a failed opening.
    QAbstractSocket *socket() const { return m_socket.get(); }
    bool isOpen() const { return m_open; }
    bool isTls() const { return m_tls; }
    // The peer ended its side (see ended()).
    bool peerClosed() const;
    // What went wrong while opening; kind None after opened().
    KTransportFailure failure() const { return m_failure; }

    // Every byte written to socket() has left the process: none waits in the socket, in its
    // encrypted stream, or in a socket beneath it (the tunnel's own socket when the connection
    // runs through an HTTP proxy). Then the bytes are with the system, on their way.
    bool drained() const;

    // Ends the connection: an orderly close (close_notify first over TLS).
    void close();

signals:
    void opened();
    void failed();
    void readable();
    void wrote();
    void ended();
    void sslErrors(const QList<QSslError> &errors);
    void proxyAuthenticationRequired(const QNetworkProxy &proxy, QAuthenticator *authenticator);

private:
    enum class Stage { Idle, Connecting, Handshaking, Open, Failed };

    void onConnected();
    void onEncrypted();
    void onSocketError();
    void onDisconnected();
    void onAbort();
    // Watches the sockets that carry the connection, once they all exist.
    void watchCarriers();
    void finishOpening();
    void failOpening(KTransportFailure::Kind kind, int socketError, const QString &detail);
    // The kind of a failure the socket reported while it connected.
    static KTransportFailure::Kind connectFailureKind(int socketError);

    KAbortToken &m_abort;
    std::unique_ptr<QAbstractSocket> m_socket;
    // The socket and those beneath it that hold outgoing bytes; all children of m_socket.
    QList<QPointer<QAbstractSocket>> m_carriers;
    Stage m_stage = Stage::Idle;
    bool m_tls = false;
    bool m_open = false;
    bool m_ended = false;
    QString m_host;
    int m_silenceMs = 0;
    int m_handshakeMs = 0;
    KTransportFailure m_failure;
    QTimer m_deadline; // the connection, then the whole handshake
    QTimer m_silence; // the handshake without a byte from the server
    struct AbortWake;
    std::unique_ptr<AbortWake> m_wake;
};
