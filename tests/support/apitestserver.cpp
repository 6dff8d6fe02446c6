#include "support/apitestserver.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QProcess>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QUrl>
#include <QUrlQuery>

#include <utility>

namespace {

QByteArray headerValue(const QByteArray &header, const QByteArray &name)
{
    QByteArray joined;
    for (QByteArray line : header.split('\n')) {
        line = line.trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).toLower() == name.toLower())
            joined += (joined.isEmpty() ? "" : "; ") + line.mid(colon + 1).trimmed();
    }
    return joined;
}

} // namespace

ApiTestServer::ApiTestServer(const QString &certificateFolder)
    : m_certificateFolder(certificateFolder)
{
    m_default = result("1");
}

ApiTestServer::~ApiTestServer()
{
    quit();
    wait();
}

bool ApiTestServer::startListening()
{
    start();
    for (int i = 0; i < 1000; ++i) {
        {
            QMutexLocker lock(&m_mutex);
            if (m_listening)
                return true;
        }
        if (isFinished())
            return false;
        QThread::msleep(10);
    }
    return false;
}

QString ApiTestServer::hostAndPort() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

void ApiTestServer::script(const QList<Answer> &answers)
{
    QMutexLocker lock(&m_mutex);
    m_script = answers;
}

void ApiTestServer::setDefaultAnswer(const Answer &answer)
{
    QMutexLocker lock(&m_mutex);
    m_default = answer;
}

QList<ApiTestServer::Request> ApiTestServer::requests() const
{
    QMutexLocker lock(&m_mutex);
    return m_requests;
}

QStringList ApiTestServer::methods() const
{
    QStringList names;
    for (const Request &request : requests())
        names.append(request.method);
    return names;
}

void ApiTestServer::clear()
{
    QMutexLocker lock(&m_mutex);
    m_requests.clear();
    m_script.clear();
}

void ApiTestServer::holdAnswers()
{
    QMutexLocker lock(&m_mutex);
    m_holding = true;
}

void ApiTestServer::releaseAnswers()
{
    QObject *context = nullptr;
    {
        QMutexLocker lock(&m_mutex);
        if (!m_holding)
            return;
        m_holding = false;
        context = m_threadContext;
    }
    if (context)
        QMetaObject::invokeMethod(
            context, [this] { writeHeldAnswers(); }, Qt::QueuedConnection);
}

void ApiTestServer::writeHeldAnswers()
{
    const auto held = std::exchange(m_held, {});
    for (const auto &[socket, bytes] : held) {
        // The client may have given up and closed the connection meanwhile.
        if (!socket || socket->state() != QAbstractSocket::ConnectedState)
            continue;
        socket->write(bytes);
        socket->disconnectFromHost();
    }
}

ApiTestServer::Answer ApiTestServer::loginOk(const QByteArray &domain, const QByteArray &extra)
{
    static int session = 0;
    return Answer { 200,
        "login=\"1\"\ndeleted=\"0\"\nnew_user=\"0\"\ndomain=\"" + domain + "\"\n" + extra,
        "SESSION=s" + QByteArray::number(++session) + "; path=/" };
}

ApiTestServer::Answer ApiTestServer::loginRefused()
{
    return Answer { 200, "login=\"0\"\ndeleted=\"0\"\n", {} };
}

ApiTestServer::Answer ApiTestServer::authLost()
{
    return Answer { 200, "auth=\"0\"\nresult=\"0\"\n", {} };
}

ApiTestServer::Answer ApiTestServer::result(const QByteArray &value)
{
    return Answer { 200, "result=\"" + value + "\"\n", {} };
}

ApiTestServer::Answer ApiTestServer::status(int code)
{
    return Answer { code, "result=\"1\"\n", {} };
}

void ApiTestServer::run()
{
    QFile certificateFile(m_certificateFolder + QStringLiteral("/server.pem"));
    QFile keyFile(m_certificateFolder + QStringLiteral("/server.key"));
    if (!certificateFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly))
        return;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificateChain(QSslCertificate::fromData(certificateFile.readAll()));
    configuration.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Ec));
    configuration.setPeerVerifyMode(QSslSocket::VerifyNone);

    QSslServer server;
    server.setSslConfiguration(configuration);
    if (!server.listen(QHostAddress::LocalHost, 0))
        return;
    m_port = server.serverPort();
    serve(&server);
    {
        QMutexLocker lock(&m_mutex);
        m_listening = true;
        m_threadContext = &server;
    }
    exec();
    QMutexLocker lock(&m_mutex);
    m_threadContext = nullptr;
}

void ApiTestServer::serve(QSslServer *server)
{
    connect(server, &QSslServer::pendingConnectionAvailable, server, [this, server] {
        while (server->hasPendingConnections()) {
            QTcpSocket *socket = server->nextPendingConnection();
            auto *buffer = new QByteArray;
            connect(socket, &QTcpSocket::disconnected, socket, [socket, buffer] {
                delete buffer;
                socket->deleteLater();
            });
            auto onData = [this, socket, buffer] {
                buffer->append(socket->readAll());
                const qsizetype end = buffer->indexOf("\r\n\r\n");
                if (end < 0)
                    return;
                const QByteArray header = buffer->left(end);
                const qint64 length = headerValue(header, "Content-Length").toLongLong();
                if (buffer->size() - end - 4 < length)
                    return;
                Request request;
                request.header = header;
                const QByteArray target = header.left(header.indexOf("\r\n")).split(' ').value(1);
                const QUrlQuery query(
                    QUrl(QStringLiteral("https://h") + QString::fromLatin1(target)));
                request.method = query.queryItemValue(QStringLiteral("method"));
                request.version = query.queryItemValue(QStringLiteral("ver"));
                request.cookies = headerValue(header, "Cookie");
                for (const QByteArray &pair : buffer->mid(end + 4, length).split('&')) {
                    if (pair.isEmpty())
                        continue;
                    const qsizetype eq = pair.indexOf('=');
                    request.parameters.insert(QString::fromLatin1(pair.left(eq)),
                        QByteArray::fromPercentEncoding(eq < 0 ? QByteArray() : pair.mid(eq + 1)));
                }
                Answer answer;
                bool hold = false;
                {
                    QMutexLocker lock(&m_mutex);
                    m_requests.append(request);
                    answer = m_script.isEmpty() ? m_default : m_script.takeFirst();
                    hold = m_holding;
                }
                buffer->clear();
                QByteArray bytes = "HTTP/1.0 " + QByteArray::number(answer.status) + " Status\r\n";
                if (!answer.setCookie.isEmpty())
                    bytes += "Set-Cookie: " + answer.setCookie + "\r\n";
                bytes += "Content-Length: " + QByteArray::number(answer.body.size()) + "\r\n";
                bytes += "Connection: close\r\n\r\n" + answer.body;
                if (hold) {
                    m_held.append({ QPointer<QTcpSocket>(socket), bytes });
                    return;
                }
                socket->write(bytes);
                socket->disconnectFromHost();
            };
            connect(socket, &QTcpSocket::readyRead, socket, onData);
            if (socket->bytesAvailable() > 0)
                onData();
        }
    });
}

QString devserviceBinary()
{
    const QString configured = qEnvironmentVariable("DEVSERVICE_BIN");
    if (!configured.isEmpty())
        return configured;
    return QDir::cleanPath(
        QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/devservice/devservice"));
}

bool makeTestCertificates(const QString &folder)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(devserviceBinary(), { QStringLiteral("--make-ca"), folder });
    if (!process.waitForFinished(60000) || process.exitCode() != 0) {
        qWarning("devservice --make-ca failed: %s", process.readAll().constData());
        return false;
    }
    return QFileInfo::exists(folder + QStringLiteral("/server.pem"));
}
