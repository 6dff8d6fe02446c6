#include "support/testhttpserver.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslSocket>
#include <QTcpServer>
#include <QTemporaryDir>

#include <chrono>
#include <list>
#include <memory>
#include <thread>

static void initTestCertificates()
{
    Q_INIT_RESOURCE(testcerts);
}

namespace {

QByteArray resource(const QString &name)
{
    initTestCertificates();
    QFile file(QStringLiteral(":/testcerts/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("test certificate %s missing", qPrintable(name));
    return file.readAll();
}

QString identityName(TestIdentity identity)
{
    switch (identity) {
    case TestIdentity::Server:
        return QStringLiteral("server");
    case TestIdentity::Expired:
        return QStringLiteral("expired");
    case TestIdentity::WrongHost:
        return QStringLiteral("wronghost");
    case TestIdentity::SelfSigned:
        return QStringLiteral("selfsigned");
    }
    return QString();
}

// Accepted descriptors are kept, so that a TLS socket can take them over.
class DescriptorServer : public QTcpServer
{
public:
    QList<qintptr> pending;

protected:
    void incomingConnection(qintptr descriptor) override { pending.append(descriptor); }
};

qint64 steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
        std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

QString testCertificateFolder()
{
    static QTemporaryDir dir;
    static const QString path = [] {
        initTestCertificates();
        const QDir resources(QStringLiteral(":/testcerts"));
        for (const QString &name : resources.entryList(QDir::Files)) {
            QFile out(dir.filePath(name));
            if (!out.open(QIODevice::WriteOnly) || out.write(resource(name)) <= 0)
                qFatal("cannot write the test certificate %s", qPrintable(name));
        }
        return dir.path();
    }();
    return path;
}

QString testCaPath()
{
    return testCertificateFolder() + QStringLiteral("/ca.pem");
}

// ---- TestConnection ---------------------------------------------------------------------------

TestConnection::TestConnection(
    QTcpSocket *socket, const std::atomic<bool> *stop, std::atomic<qint64> *arrived)
    : m_socket(socket)
    , m_stop(stop)
    , m_arrived(arrived)
{
    m_startNs = steadyNs();
}

void TestConnection::readAvailable()
{
    const QByteArray bytes = m_socket->readAll();
    if (bytes.isEmpty())
        return;
    arrivals.append({ steadyNs() - m_startNs, bytes.size() });
    received.append(bytes);
    if (m_arrived)
        m_arrived->fetch_add(bytes.size());
}

QByteArray TestConnection::readRequest(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    const int start = int(received.size());
    qsizetype expected = -1;
    for (;;) {
        readAvailable();
        const QByteArray request = received.mid(start);
        const qsizetype headerEnd = request.indexOf("\r\n\r\n");
        if (headerEnd >= 0 && expected < 0) {
            static const QRegularExpression lengthRx(QStringLiteral("\r\nContent-Length: (\\d+)"));
            const auto match = lengthRx.match(QString::fromLatin1(request.left(headerEnd)));
            expected = headerEnd + 4 + (match.hasMatch() ? match.captured(1).toLongLong() : 0);
        }
        if (expected >= 0 && request.size() >= expected)
            return request;
        if (deadline.hasExpired() || m_socket->state() != QAbstractSocket::ConnectedState
            || serverStopping())
            return request;
        m_socket->waitForReadyRead(
            int(qMin<qint64>(50, qMax<qint64>(1, deadline.remainingTime()))));
    }
}

bool TestConnection::write(const QByteArray &bytes)
{
    if (m_socket->write(bytes) != bytes.size())
        return false;
    while (m_socket->bytesToWrite() > 0 && m_socket->state() == QAbstractSocket::ConnectedState)
        m_socket->waitForBytesWritten(1000);
    return m_socket->bytesToWrite() == 0 && m_socket->state() == QAbstractSocket::ConnectedState;
}

void TestConnection::writeByteByByte(const QByteArray &bytes, int pauseMs)
{
    for (char byte : bytes) {
        write(QByteArray(1, byte));
        sleep(pauseMs);
    }
}

void TestConnection::close()
{
    readAvailable();
    m_socket->disconnectFromHost();
    if (m_socket->state() != QAbstractSocket::UnconnectedState)
        m_socket->waitForDisconnected(2000);
}

void TestConnection::waitForClientClose(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired() && m_socket->state() == QAbstractSocket::ConnectedState
        && !serverStopping()) {
        m_socket->waitForReadyRead(50);
        readAvailable();
    }
}

bool TestConnection::waitWhile(const std::function<bool()> &condition)
{
    while (
        condition() && m_socket->state() == QAbstractSocket::ConnectedState && !serverStopping()) {
        m_socket->waitForReadyRead(20);
        readAvailable();
    }
    return m_socket->state() == QAbstractSocket::ConnectedState;
}

void TestConnection::sleep(int ms)
{
    QThread::msleep(ulong(ms));
}

// ---- TestHttpServer ---------------------------------------------------------------------------

TestHttpServer::TestHttpServer(Handler handler)
    : m_handler(std::move(handler))
    , m_tls(false)
    , m_identity(TestIdentity::Server)
{
    start();
    m_listening.acquire();
}

TestHttpServer::TestHttpServer(Handler handler, TestIdentity identity, Connections connections)
    : m_handler(std::move(handler))
    , m_tls(true)
    , m_identity(identity)
    , m_connections(connections)
{
    start();
    m_listening.acquire();
}

TestHttpServer::~TestHttpServer()
{
    m_stop.store(true);
    wait();
}

QUrl TestHttpServer::url(const QString &pathAndQuery) const
{
    return QUrl(QStringLiteral("%1://127.0.0.1:%2%3")
                    .arg(m_tls ? QStringLiteral("https") : QStringLiteral("http"))
                    .arg(m_port)
                    .arg(pathAndQuery));
}

QString TestHttpServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QByteArray TestHttpServer::received() const
{
    QMutexLocker locker(&m_mutex);
    return m_received;
}

QList<TestConnection::Arrival> TestHttpServer::arrivals() const
{
    QMutexLocker locker(&m_mutex);
    return m_arrivals;
}

int TestHttpServer::handledConnections() const
{
    return m_handled.load();
}

int TestHttpServer::failedHandshakes() const
{
    return m_failedHandshakes.load();
}

bool TestHttpServer::waitForConnections(int count, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_handled.load() + m_failedHandshakes.load() < count) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

void TestHttpServer::run()
{
    DescriptorServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        qFatal("test server cannot listen");
    m_port = server.serverPort();

    if (m_tls) {
        const QString name = identityName(m_identity);
        m_configuration = QSslConfiguration::defaultConfiguration();
        m_configuration.setLocalCertificate(
            QSslCertificate(resource(name + QStringLiteral(".pem")), QSsl::Pem));
        m_configuration.setPrivateKey(
            QSslKey(resource(name + QStringLiteral(".key")), QSsl::Rsa, QSsl::Pem));
        m_configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
    }
    m_listening.release();

    std::list<std::thread> workers;
    while (!m_stop.load()) {
        if (server.pending.isEmpty()) {
            server.waitForNewConnection(20);
            continue;
        }
        const qintptr descriptor = server.pending.takeFirst();
        if (m_connections == Connections::Concurrent)
            workers.emplace_back([this, descriptor] { serve(descriptor); });
        else
            serve(descriptor);
    }
    for (std::thread &worker : workers)
        worker.join();
}

void TestHttpServer::serve(qintptr descriptor)
{
    std::unique_ptr<QTcpSocket> socket;
    if (m_tls) {
        auto tls = std::make_unique<QSslSocket>();
        tls->setSslConfiguration(m_configuration);
        tls->setSocketDescriptor(descriptor);
        tls->startServerEncryption();
        if (!tls->waitForEncrypted(5000)) {
            m_failedHandshakes.fetch_add(1);
            return;
        }
        socket = std::move(tls);
    } else {
        socket = std::make_unique<QTcpSocket>();
        socket->setSocketDescriptor(descriptor);
    }
    TestConnection connection(socket.get(), &m_stop, &m_arrived);
    if (m_handler)
        m_handler(connection);
    {
        QMutexLocker locker(&m_mutex);
        m_received.append(connection.received);
        m_arrivals.append(connection.arrivals);
    }
    socket->abort();
    m_handled.fetch_add(1);
}
