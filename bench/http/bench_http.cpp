// Figures of the HTTP transport on loopback, printed as a plain table:
//   pacing   - a 100,000-byte body at the product's pace, against the floor of chunks x 100 ms
//   abort    - time from abort() to the end of post(), during an upload and during an answer wait
//   memory   - peak resident memory around one post of a 20 MB body (pacing period 0 here)
//   flood    - peak resident memory while a server streams 256 MB at the client, once as a header
//              that never ends and once as a body
// Usage: bench_http [pacing|abort|memory|flood]... (all four when none is named)

#include "http/knetworkreply.h"
#include "logging/loggingmanager.h"
#include "support/fullbackloglistener.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long peakRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Serves connections one after another: reads the request (counting, not keeping, the body),
// then answers "ok" and closes; with `answer` false it never answers and waits for the close.
class DiscardingServer : public QThread
{
public:
    explicit DiscardingServer(bool answer)
        : m_answer(answer)
    {
        start();
        while (m_port.load() == 0)
            QThread::msleep(1);
    }
    ~DiscardingServer() override
    {
        m_stop = true;
        wait();
    }
    quint16 port() const { return m_port.load(); }

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        m_port = server.serverPort();
        while (!m_stop) {
            if (!server.waitForNewConnection(20))
                continue;
            QTcpSocket *socket = server.nextPendingConnection();
            serve(socket);
            delete socket;
        }
    }

private:
    void serve(QTcpSocket *socket)
    {
        QByteArray head;
        qint64 bodyLeft = -1;
        while (socket->state() == QAbstractSocket::ConnectedState && bodyLeft != 0 && !m_stop) {
            if (!socket->waitForReadyRead(50) && socket->bytesAvailable() == 0)
                continue;
            const QByteArray bytes = socket->readAll();
            if (bodyLeft < 0) {
                head += bytes;
                const qsizetype end = head.indexOf("\r\n\r\n");
                if (end < 0)
                    continue;
                static const QRegularExpression rx(QStringLiteral("Content-Length: (\\d+)"));
                const auto match = rx.match(QString::fromLatin1(head.left(end)));
                bodyLeft = match.captured(1).toLongLong() - (head.size() - end - 4);
                head.clear();
                head.squeeze();
            } else {
                bodyLeft -= bytes.size();
            }
        }
        if (m_answer && socket->state() == QAbstractSocket::ConnectedState) {
            socket->write("HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok");
            socket->waitForBytesWritten(1000);
            socket->disconnectFromHost();
            if (socket->state() != QAbstractSocket::UnconnectedState)
                socket->waitForDisconnected(1000);
        } else if (!m_answer) {
            while (socket->state() == QAbstractSocket::ConnectedState && !m_stop)
                socket->waitForReadyRead(50), socket->readAll();
        }
    }

    bool m_answer;
    std::atomic<quint16> m_port { 0 };
    std::atomic<bool> m_stop { false };
};

// Answers every request with `head` followed by junk, as fast as the client takes it, until 256 MB
// have gone or the client has closed.
class FloodServer : public QThread
{
public:
    explicit FloodServer(QByteArray head)
        : m_head(std::move(head))
    {
        start();
        while (m_port.load() == 0)
            QThread::msleep(1);
    }
    ~FloodServer() override { wait(); }
    quint16 port() const { return m_port.load(); }
    qint64 sent() const { return m_sent.load(); }

protected:
    void run() override
    {
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);
        m_port = server.serverPort();
        if (!server.waitForNewConnection(60000))
            return;
        std::unique_ptr<QTcpSocket> socket(server.nextPendingConnection());
        QByteArray request;
        while (request.indexOf("\r\n\r\n") < 0 && socket->waitForReadyRead(5000))
            request += socket->readAll();
        const QByteArray junk(64 * 1024, 'j');
        socket->write(m_head);
        while (m_sent.load() < Flood && socket->state() == QAbstractSocket::ConnectedState) {
            socket->write(junk);
            if (!socket->waitForBytesWritten(5000))
                break;
            m_sent.fetch_add(junk.size());
        }
        socket->abort();
    }

public:
    static constexpr qint64 Flood = 256LL * 1024 * 1024;

private:
    QByteArray m_head;
    std::atomic<quint16> m_port { 0 };
    std::atomic<qint64> m_sent { 0 };
};

QUrl urlOf(const DiscardingServer &server)
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1/v2/api/execute.php?method=upload_feedback2")
                    .arg(server.port()));
}

void pacing()
{
    DiscardingServer server(true);
    const QByteArray body(100000, 'p');
    KNetworkReply reply(urlOf(server), QStringLiteral("bench"), body, nullptr);
    qint64 total = 0;
    QObject::connect(&reply, &KNetworkReply::uploadProgress,
        [&total](qint64, qint64 bytesTotal) { total = bytesTotal; });
    const auto start = Clock::now();
    const bool ok = reply.post(QStringLiteral("1.0.0"), 60000);
    const double elapsed = msSince(start);
    const qint64 chunks = (total + 818) / 819;
    const double floor = double(chunks) * 100.0;
    std::printf("%-34s %12s\n", "pacing: request bytes", QByteArray::number(total).constData());
    std::printf("%-34s %12lld\n", "pacing: chunks", static_cast<long long>(chunks));
    std::printf("%-34s %12.1f\n", "pacing: floor (ms)", floor);
    std::printf("%-34s %12.1f\n", "pacing: post took (ms)", elapsed);
    std::printf("%-34s %12.4f\n", "pacing: ratio to floor", elapsed / floor);
    std::printf("%-34s %12s\n", "pacing: post result", ok ? "true" : "false");
}

void abortLatency()
{
    struct Case
    {
        const char *name;
        int bodySize;
        bool answer;
    };
    const Case cases[] = { { "abort: while connecting (ms)", 0, false },
        { "abort: during upload (ms)", 200000, true },
        { "abort: awaiting answer (ms)", 100, false } };
    for (const Case &c : cases) {
        double worst = 0;
        double sum = 0;
        const int rounds = 5;
        for (int i = 0; i < rounds; ++i) {
            DiscardingServer server(c.answer);
            FullBacklogListener listener;
            QUrl url = urlOf(server);
            if (c.bodySize == 0)
                url.setPort(listener.port());
            KNetworkReply reply(url, QStringLiteral("bench"), QByteArray(c.bodySize, 'a'), nullptr);
            std::atomic<long long> abortedAtNs { 0 };
            std::thread aborter([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(250 + 37 * i));
                abortedAtNs = Clock::now().time_since_epoch().count();
                reply.abort();
            });
            reply.post(QStringLiteral("1.0.0"), 60000);
            const long long endNs = Clock::now().time_since_epoch().count();
            aborter.join();
            const double latency = double(endNs - abortedAtNs.load()) / 1e6;
            worst = std::max(worst, latency);
            sum += latency;
        }
        std::printf("%-34s %8.2f avg %8.2f max\n", c.name, sum / rounds, worst);
    }
}

void memory()
{
    const qint64 size = 20 * 1024 * 1024;
    DiscardingServer server(true);
    KNetworkReply::Timeouts unpaced;
    unpaced.sendPeriodMs = 0;
    {
        // One small post first, so that one-time set-up (threads, buffers) is not counted.
        KNetworkReply warmUp(
            urlOf(server), QStringLiteral("bench"), QByteArray(1000, 'w'), nullptr, unpaced);
        warmUp.post(QStringLiteral("1.0.0"), 60000);
    }
    const long before = peakRssKb();
    QByteArray body(size, 'm');
    const long withBody = peakRssKb();
    bool ok = false;
    const auto start = Clock::now();
    {
        KNetworkReply reply(urlOf(server), QStringLiteral("bench"), body, nullptr, unpaced);
        ok = reply.post(QStringLiteral("1.0.0"), 60000);
    }
    const double elapsed = msSince(start);
    const long after = peakRssKb();
    std::printf("%-34s %12lld\n", "memory: body bytes", static_cast<long long>(size));
    std::printf("%-34s %12ld\n", "memory: peak RSS before body (KB)", before);
    std::printf("%-34s %12ld\n", "memory: peak RSS with body (KB)", withBody);
    std::printf("%-34s %12ld\n", "memory: peak RSS after post (KB)", after);
    std::printf("%-34s %12ld\n", "memory: added by post (KB)", after - withBody);
    std::printf("%-34s %12.1f\n", "memory: unpaced post took (ms)", elapsed);
    std::printf("%-34s %12s\n", "memory: post result", ok ? "true" : "false");
}

void flood()
{
    struct Case
    {
        const char *name;
        QByteArray head;
    };
    const Case cases[] = { { "flood: endless header", "HTTP/1.0 200 OK\r\nX-Junk: " },
        { "flood: endless body", "HTTP/1.0 200 OK\r\nServer: x\r\n\r\n" } };
    std::printf("%-34s %12ld\n", "flood: peak RSS before (KB)", peakRssKb());
    for (const Case &c : cases) {
        FloodServer server(c.head);
        const QUrl url(QStringLiteral("http://127.0.0.1:%1/v2/api/execute.php?method=login")
                           .arg(server.port()));
        KNetworkReply reply(url, QStringLiteral("bench"), QByteArray("a=1"), nullptr);
        const bool ok = reply.post(QStringLiteral("1.0.0"), 60000);
        server.wait();
        std::printf("%-34s %12s\n", (QByteArray(c.name) + ": post result").constData(),
            ok ? "true" : "false");
        std::printf("%-34s %12lld\n", (QByteArray(c.name) + ": server sent (KB)").constData(),
            static_cast<long long>(server.sent() / 1024));
        std::printf(
            "%-34s %12ld\n", (QByteArray(c.name) + ": peak RSS (KB)").constData(), peakRssKb());
    }
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    VM::LoggingManager::initializeLoggers(VM::LogLevel::Info, "bench_http.log");
    QCoreApplication app(argc, argv);
    QStringList what = app.arguments().mid(1);
    if (what.isEmpty())
        what = { QStringLiteral("memory"), QStringLiteral("pacing"), QStringLiteral("abort"),
            QStringLiteral("flood") };
    std::printf("%-34s %12s\n", "figure", "value");
    for (const QString &name : what) {
        if (name == QLatin1String("pacing"))
            pacing();
        else if (name == QLatin1String("abort"))
            abortLatency();
        else if (name == QLatin1String("memory"))
            memory();
        else if (name == QLatin1String("flood"))
            flood();
    }
    return 0;
}
