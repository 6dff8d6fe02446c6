// Peak resident memory while a dump is uploaded through the real web client (sign-in, then
// upload_feedback2) to an HTTPS server on the loopback interface in this process. The server reads
// and discards the request as it comes, so it holds no copy of the upload. The pacing of the
// transport is switched off here (period 0), so the upload runs at loopback speed; the product
// keeps its period.
//
// Usage: bench_memory [dump MiB = 64] [content: random | zero | slash]
#include "http/knetworkreply.h"
#include "webclient/kwebclient.h"

#include <QCoreApplication>
#include <QFile>
#include <QRandomGenerator>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <atomic>
#include <sys/resource.h>

namespace {

// VmHWM / VmRSS of this process in bytes.
qint64 statusBytes(const char *field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// Resets the peak (VmHWM) to the present resident size; false when the kernel refuses.
bool resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
}

// Answers sign-ins and uploads; counts the body bytes it received and discards them.
class DiscardingServer : public QThread
{
public:
    quint16 port() const { return m_port.load(); }
    qint64 lastBodySize() const { return m_lastBody.load(); }

protected:
    void run() override
    {
        QFile certificate(QStringLiteral(VELMORA_BENCH_CERTS "/server.pem"));
        QFile key(QStringLiteral(VELMORA_BENCH_CERTS "/server.key"));
        if (!certificate.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly))
            qFatal("cannot read the test certificate");
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(QSslCertificate(certificate.readAll(), QSsl::Pem));
        configuration.setPrivateKey(QSslKey(key.readAll(), QSsl::Rsa, QSsl::Pem));
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        QSslServer server;
        server.setSslConfiguration(configuration);
        if (!server.listen(QHostAddress::LocalHost, 0))
            qFatal("cannot listen");
        QObject::connect(
            &server, &QSslServer::pendingConnectionAvailable, &server, [&server, this] {
                while (server.hasPendingConnections())
                    serve(server.nextPendingConnection());
            });
        m_port.store(server.serverPort());
        exec();
    }

private:
    struct State
    {
        QByteArray header;
        bool inBody = false;
        qint64 remaining = 0;
        qint64 bodySize = 0;
        bool upload = false;
    };

    void serve(QTcpSocket *socket)
    {
        auto state = std::make_shared<State>();
        QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        auto onData = [this, socket, state] {
            char chunk[65536];
            qint64 n;
            while ((n = socket->read(chunk, sizeof chunk)) > 0) {
                qint64 at = 0;
                if (!state->inBody) {
                    state->header.append(chunk, n);
                    const qsizetype end = state->header.indexOf("\r\n\r\n");
                    if (end < 0)
                        continue;
                    const qsizetype lengthAt = state->header.indexOf("Content-Length: ");
                    state->remaining
                        = state->header.mid(lengthAt + 16, 20).split('\r').value(0).toLongLong();
                    state->bodySize = state->remaining;
                    state->upload = state->header.contains("method=upload_feedback2");
                    state->inBody = true;
                    const qint64 inHeader = state->header.size() - (end + 4);
                    state->remaining -= inHeader;
                    at = n;
                }
                state->remaining -= n - at;
            }
            if (state->inBody && state->remaining <= 0) {
                state->inBody = false;
                m_lastBody.store(state->bodySize);
                const QByteArray body = state->upload
                    ? QByteArray("result=\"1\"\n")
                    : QByteArray("login=\"1\"\ndeleted=\"0\"\ndomain=\"acme.example\"\n");
                socket->write("HTTP/1.0 200 OK\r\nContent-Length: "
                    + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
                socket->disconnectFromHost();
            }
        };
        QObject::connect(socket, &QTcpSocket::readyRead, socket, onData);
        if (socket->bytesAvailable() > 0)
            onData();
    }

    std::atomic<quint16> m_port { 0 };
    std::atomic<qint64> m_lastBody { 0 };
};

QString mib(qint64 bytes)
{
    return QString::number(double(bytes) / (1 << 20), 'f', 1);
}

} // namespace

int main(int argc, char *argv[])
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    qputenv("VELMORA_EXTRA_CA_CERTS", VELMORA_BENCH_CERTS "/ca.pem");
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList args = app.arguments();
    const qint64 dumpSize = qint64(args.value(1, QStringLiteral("64")).toInt()) << 20;
    const QString content = args.value(2, QStringLiteral("random"));

    KNetworkReply::Timeouts timeouts = KNetworkReply::defaultTimeouts();
    timeouts.sendPeriodMs = 0;
    KNetworkReply::setDefaultTimeouts(timeouts);

    DiscardingServer server;
    server.start();
    while (server.port() == 0)
        QThread::msleep(5);
    qputenv("VELMORA_API_HOST", QByteArray("127.0.0.1:") + QByteArray::number(server.port()));

    KWebClient client(QStringLiteral("1.0.0"));
    QString company;
    bool newUser = false;
    if (client.login(QStringLiteral("bench"), QStringLiteral("secret"), company, newUser) != 1)
        qFatal("sign-in to the loopback server failed");

    // Everything the run needs besides the dump is in place: this is the baseline.
    const bool peakReset = resetPeak();
    const qint64 baseline = statusBytes("VmRSS");
    const qint64 baselinePeak = statusBytes("VmHWM");

    int code = -1;
    {
        QByteArray dump(dumpSize, Qt::Uninitialized);
        if (content == QStringLiteral("zero"))
            dump.fill('\0');
        else if (content == QStringLiteral("slash"))
            dump.fill('\xff'); // Base64 "////": every character escaped
        else
            QRandomGenerator(1).fillRange(
                reinterpret_cast<quint32 *>(dump.data()), dump.size() / 4);
        code = client.uploadFeedback(
            QStringLiteral("memory benchmark"), QByteArray(), QByteArray(), dump, true);
    }
    const qint64 peak = statusBytes("VmHWM");
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);

    out << "upload of a " << mib(dumpSize) << " MiB dump (" << content << "), code " << code
        << ", form body " << mib(server.lastBodySize()) << " MiB\n";
    out << "peak reset before the dump: " << (peakReset ? "yes" : "no (peak includes start-up)")
        << "\n\n";
    out << "measure                              MiB    x dump\n";
    const auto row = [&](const char *name, qint64 bytes) {
        out << QString::fromLatin1(name).leftJustified(34) << mib(bytes).rightJustified(8)
            << QString::number(double(bytes) / double(dumpSize), 'f', 2).rightJustified(10) << "\n";
    };
    row("baseline RSS before the dump", baseline);
    row("baseline peak (VmHWM)", baselinePeak);
    row("peak RSS (VmHWM)", peak);
    row("peak RSS (ru_maxrss)", qint64(usage.ru_maxrss) * 1024);
    row("peak minus baseline", peak - baseline);
    out << "\ntarget: peak minus baseline below 2.50 x dump: "
        << (double(peak - baseline) < 2.5 * double(dumpSize) ? "met" : "NOT met") << "\n";

    client.shutDown();
    server.quit();
    server.wait();
    return code == 0 ? 0 : 1;
}
