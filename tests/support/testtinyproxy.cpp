#include "support/testtinyproxy.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

QString TestTinyproxy::binary()
{
    const QString inPath = QStandardPaths::findExecutable(QStringLiteral("tinyproxy"));
    if (!inPath.isEmpty())
        return inPath;
    return QStandardPaths::findExecutable(QStringLiteral("tinyproxy"),
        { QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin"),
            QStringLiteral("/usr/local/bin") });
}

TestTinyproxy::TestTinyproxy(
    const QByteArray &user, const QByteArray &password, quint16 connectPort)
    : m_user(user)
    , m_password(password)
    , m_connectPort(connectPort)
{ }

TestTinyproxy::~TestTinyproxy()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QByteArray TestTinyproxy::url() const
{
    return "http://127.0.0.1:" + QByteArray::number(m_port);
}

QString TestTinyproxy::log() const
{
    QFile file(m_dir.filePath(QStringLiteral("tinyproxy.log")));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(file.readAll());
}

int TestTinyproxy::connections() const
{
    return int(log().count(QStringLiteral("]: Connect (file descriptor")));
}

int TestTinyproxy::tunnelRequests() const
{
    return int(log().count(QStringLiteral("): CONNECT 127.0.0.1:%1 HTTP/").arg(m_connectPort)));
}

int TestTinyproxy::tunnels() const
{
    return int(log().count(QStringLiteral("]: Established connection to host \"127.0.0.1\"")));
}

bool TestTinyproxy::start()
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, 0)) {
            m_error = QStringLiteral("no free port");
            return false;
        }
        m_port = probe.serverPort();
    }
    const QByteArray dir = QFile::encodeName(m_dir.path());
    QByteArray config = "Port " + QByteArray::number(m_port)
        + "\n"
          "Listen 127.0.0.1\n"
          "Timeout 60\n"
          "MaxClients 20\n"
          "LogLevel Info\n"
          "LogFile \""
        + dir + "/tinyproxy.log\"\nPidFile \"" + dir + "/tinyproxy.pid\"\nConnectPort "
        + QByteArray::number(m_connectPort) + "\n";
    if (!m_user.isEmpty())
        config += "BasicAuth " + m_user + " " + m_password + "\n";
    QFile file(m_dir.filePath(QStringLiteral("tinyproxy.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size()) {
        m_error = QStringLiteral("cannot write the configuration");
        return false;
    }
    file.close();

    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(binary(), { QStringLiteral("-d"), QStringLiteral("-c"), file.fileName() });
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning) {
            m_error = QString::fromLocal8Bit(m_process.readAll()) + log();
            return false;
        }
        if (log().contains(QStringLiteral("Accepting connections")))
            return true;
        QThread::msleep(50);
    }
    m_error = QStringLiteral("tinyproxy does not accept connections");
    return false;
}
