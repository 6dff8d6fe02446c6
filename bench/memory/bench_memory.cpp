// Peak resident memory while a dump file is uploaded through the real web client (sign-in, then
// upload_feedback2 with the dump streamed from its file, as the window sends it) to an HTTPS
// server on the loopback interface in this process. The server reads and discards the request as
// it comes, so it holds no copy of the upload. The pacing of the transport is switched off here
// (period 0), so the upload runs at loopback speed; the product keeps its period. Each content is
// written to a file on disk (in pieces, never whole in memory), then uploaded; the peak is reset
// before each upload.
//
// Usage: bench_memory [dump MiB = 64] [contents = random,zero,slash]
//   random: random bytes; zero: all zero bytes; slash: all 0xFF, whose Base64 is all "/" and so
//   takes three bytes a character in the form.
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

#include <algorithm>
#include <atomic>

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

// Writes size bytes of the content to path, one MiB at a time.
bool writeDump(const QString &path, qint64 size, const QString &content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QRandomGenerator generator(1);
    QByteArray piece(1 << 20, Qt::Uninitialized);
    for (qint64 written = 0; written < size;) {
        if (content == QStringLiteral("zero"))
            piece.fill('\0');
        else if (content == QStringLiteral("slash"))
            piece.fill('\xff');
        else
            generator.fillRange(reinterpret_cast<quint32 *>(piece.data()), piece.size() / 4);
        const qint64 n = std::min<qint64>(piece.size(), size - written);
        if (file.write(piece.constData(), n) != n)
            return false;
        written += n;
    }
    return true;
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
    const QStringList contents
        = args.value(2, QStringLiteral("random,zero,slash")).split(QLatin1Char(','));

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

    out << "upload of a " << mib(dumpSize) << " MiB dump file, streamed from disk\n\n";
    out << "content  code  form body MiB  baseline MiB  peak MiB  above baseline MiB  x dump\n";
    bool allOk = true;
    bool peakReset = true;
    QStringList figures;
    for (const QString &content : contents) {
        const QString path = home.filePath(QStringLiteral("crash-%1.dmp").arg(content));
        if (!writeDump(path, dumpSize, content))
            qFatal("cannot write the dump file");

        // Everything the run needs besides the upload is in place: this is the baseline.
        peakReset = resetPeak() && peakReset;
        const qint64 baseline = statusBytes("VmRSS");
        const int code = client.uploadFeedbackFile(QStringLiteral("memory benchmark"), path, true);
        const qint64 peak = statusBytes("VmHWM");
        QFile::remove(path);

        const double ratio = double(peak - baseline) / double(dumpSize);
        allOk = allOk && code == 0;
        out << content.leftJustified(7) << QString::number(code).rightJustified(6)
            << mib(server.lastBodySize()).rightJustified(15) << mib(baseline).rightJustified(14)
            << mib(peak).rightJustified(10) << mib(peak - baseline).rightJustified(20)
            << QString::number(ratio, 'f', 3).rightJustified(8) << "\n";
        figures << QStringLiteral("memory.%1_ratio %2").arg(content).arg(ratio, 0, 'f', 3);
        figures << QStringLiteral("memory.%1_ok %2")
                       .arg(content)
                       .arg(ratio <= 1.10 && code == 0 ? QStringLiteral("met")
                                                       : QStringLiteral("NOT met"));
    }
    out << "\npeak reset before each upload: "
        << (peakReset ? "yes" : "no (peaks include earlier work)") << "\n";
    out << "target: peak minus baseline at most 1.10 x dump for each content\n\n";
    for (const QString &figure : std::as_const(figures))
        out << figure << "\n";

    client.shutDown();
    server.quit();
    server.wait();
    return allOk ? 0 : 1;
}
