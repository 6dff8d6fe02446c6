#pragma once

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QSemaphore>
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

// A PEM file holding the test certificate authority, written once per process into a temporary
// folder; point VELMORA_EXTRA_CA_CERTS at it to trust the test servers.
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

    explicit TestConnection(QTcpSocket *socket);

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

    QByteArray received;
    QList<Arrival> arrivals;

private:
    void readAvailable();

    QTcpSocket *m_socket;
    qint64 m_startNs;
};

// A one-thread HTTP test server on 127.0.0.1 (a free port), plain or TLS. It runs in its own
// thread, since the code under test blocks the thread that calls it. Connections are served one
// after another by the handler; a TLS connection whose handshake fails never reaches it.
class TestHttpServer : public QThread
{
public:
    using Handler = std::function<void(TestConnection &)>;

    explicit TestHttpServer(Handler handler);
    TestHttpServer(Handler handler, TestIdentity identity);
    ~TestHttpServer() override;

    quint16 port() const { return m_port; }
    // "http://127.0.0.1:<port><pathAndQuery>", or "https://..." for a TLS server.
    QUrl url(const QString &pathAndQuery = QStringLiteral("/")) const;

    // What the handlers have seen so far, across connections; TLS connections that did not get
    // through the handshake are counted and their bytes are not included.
    QByteArray received() const;
    QList<TestConnection::Arrival> arrivals() const;
    int handledConnections() const;
    int failedHandshakes() const;
    // Blocks until `count` connections have been handled (or their handshakes failed).
    bool waitForConnections(int count, int timeoutMs = 5000) const;

protected:
    void run() override;

private:
    Handler m_handler;
    bool m_tls;
    TestIdentity m_identity;
    quint16 m_port = 0;
    QSemaphore m_listening;
    std::atomic<bool> m_stop { false };
    mutable QMutex m_mutex;
    QByteArray m_received;
    QList<TestConnection::Arrival> m_arrivals;
    std::atomic<int> m_handled { 0 };
    std::atomic<int> m_failedHandshakes { 0 };
};
