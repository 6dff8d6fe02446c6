#include "support/testtinyproxy.h"

#include <QFile>

TestTinyproxy::TestTinyproxy(
    const QByteArray &user, const QByteArray &password, quint16 connectPort)
    : TestProxyServer(QStringLiteral("tinyproxy"), user, password, connectPort)
{ }

QString TestTinyproxy::log() const
{
    QFile file(filePath(QStringLiteral("tinyproxy.log")));
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
    const bool prepared = prepare(QStringLiteral("tinyproxy.conf"), [this] {
        const QByteArray dir = folder();
        QByteArray config = "Port " + QByteArray::number(port())
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
        return config;
    });
    if (!prepared)
        return false;
    return launch(
        { QStringLiteral("-d"), QStringLiteral("-c"), configPath() },
        [this] { return log().contains(QStringLiteral("Accepting connections")); },
        [this] { return log(); });
}
