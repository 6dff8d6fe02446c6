#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QSemaphore>
#include <QSslConfiguration>
#include <QString>
#include <QThread>
#include <QUrl>

#include <atomic>
#include <functional>

class QTcpSocket;

// Test identities of the loopback TLS server. All are signed by the test certificate authority
// (testCaPath()) except SelfSigned; Server, Expired and SelfSigned name 127.0.0.1 and localhost,
// WrongHost names only other.invalid.
enum class TestIdentity { Server, Expired, WrongHost, SelfSigned };

// A folder holding the committed test certificates and keys (ca.pem, server.pem, server.key,
// expired.*, wronghost.*, selfsigned.*), written once per process into a temporary folder; the
// devservice tool takes it as its --certs folder.
QString testCertificateFolder();
// The test certificate authority in that folder; point VELMORA_EXTRA_CA_CERTS at it to trust the
// test servers.
QString testCaPath();

// One accepted connection, handed to the handler in the server's own thread. All calls block
// with bounded waits.
class TestConnection
{
public:
    struct Arrival
    {
        qint64 atNs; // since the connection was accepted (and, for TLS, encrypted)
        qint64 size;
    };

    // `stop` is the server's stop flag: waits end early once it is set. `arrived`, when given,
    // counts every byte read, as it is read.
    explicit TestConnection(QTcpSocket *socket, const std::atomic<bool> *stop = nullptr,
        std::atomic<qint64> *arrived = nullptr);

    // Reads a whole request: up to the blank line, then as many bytes as its Content-Length.
    // Returns what arrived, also when the client stopped early or the wait ran out.
    QByteArray readRequest(int timeoutMs = 5000);
    // Writes and waits until the bytes have left; false when the connection ended first.
    bool write(const QByteArray &bytes);
    // Writes one byte at a time, pausing between bytes.
    void writeByteByByte(const QByteArray &bytes, int pauseMs);
    // Closes the connection (the client sees the end of the answer).
    void close();
    // Keeps the connection open until the client closes it or the wait runs out.
    void waitForClientClose(int timeoutMs = 5000);
    void sleep(int ms);
    // Keeps reading while `condition` holds, the client keeps the connection open and the server
    // is not stopping; true when the connection is still open afterwards.
    bool waitWhile(const std::function<bool()> &condition);
    bool serverStopping() const { return m_stop && m_stop->load(); }

    QByteArray received;
    QList<Arrival> arrivals;

private:
    void readAvailable();

    QTcpSocket *m_socket;
    const std::atomic<bool> *m_stop;
    std::atomic<qint64> *m_arrived;
    qint64 m_startNs;
};

// An HTTP test server on 127.0.0.1 (a free port), plain or TLS. It runs in its own thread, since
// the code under test blocks the thread that calls it. By default connections are served one after
// another by the handler on that thread; with Connections::Concurrent each connection gets a
// thread of its own, for handlers that hold an answer back while other clients come. A TLS
// connection whose handshake fails never reaches the handler.
class TestHttpServer : public QThread
{
public:
    using Handler = std::function<void(TestConnection &)>;
    enum class Connections { OneAtATime, Concurrent };

    explicit TestHttpServer(Handler handler);
    TestHttpServer(
        Handler handler, TestIdentity identity, Connections connections = Connections::OneAtATime);
    ~TestHttpServer() override;

    quint16 port() const { return m_port; }
    // "127.0.0.1:<port>", the value for VELMORA_API_HOST.
    QString hostAndPort() const;
    // "http://127.0.0.1:<port><pathAndQuery>", or "https://..." for a TLS server.
    QUrl url(const QString &pathAndQuery = QStringLiteral("/")) const;

    // What the handlers have seen so far, across connections; TLS connections that did not get
    // through the handshake are counted and their bytes are not included.
    QByteArray received() const;
    QList<TestConnection::Arrival> arrivals() const;
    // Bytes the handlers have read so far, of connections still open too: how far a request
    // that is still arriving has come.
    qint64 bytesArrived() const { return m_arrived.load(); }
    int handledConnections() const;
    int failedHandshakes() const;
    // Blocks until `count` connections have been handled (or their handshakes failed).
    bool waitForConnections(int count, int timeoutMs = 5000) const;

protected:
    void run() override;

private:
    void serve(qintptr descriptor);

    Handler m_handler;
    bool m_tls;
    TestIdentity m_identity;
    Connections m_connections = Connections::OneAtATime;
    QSslConfiguration m_configuration;
    quint16 m_port = 0;
    QSemaphore m_listening;
    std::atomic<bool> m_stop { false };
    mutable QMutex m_mutex;
    QByteArray m_received;
    QList<TestConnection::Arrival> m_arrivals;
    std::atomic<qint64> m_arrived { 0 };
    std::atomic<int> m_handled { 0 };
    std::atomic<int> m_failedHandshakes { 0 };
};
