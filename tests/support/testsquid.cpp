#include "support/testsquid.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <unistd.h>

QString TestSquid::credentialsHelper()
{
    const QString path = QStringLiteral("/usr/lib/squid/basic_ncsa_auth");
    return QFile::exists(path) ? path : QString();
}

bool TestSquid::installed()
{
    return !findBinary(QStringLiteral("squid")).isEmpty() && !credentialsHelper().isEmpty()
        && !findBinary(QStringLiteral("htpasswd")).isEmpty();
}

TestSquid::TestSquid(const QByteArray &user, const QByteArray &password, quint16 connectPort)
    : TestProxyServer(QStringLiteral("squid"), user, password, connectPort)
{ }

QString TestSquid::log() const
{
    QFile file(filePath(QStringLiteral("access.log")));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromLocal8Bit(file.readAll());
}

int TestSquid::connections() const
{
    return int(log().count(QLatin1Char('\n')));
}

int TestSquid::tunnelRequests() const
{
    return int(log().count(QStringLiteral(" CONNECT 127.0.0.1:%1 ").arg(m_connectPort)));
}

int TestSquid::tunnels() const
{
    static const QRegularExpression tunnel(QStringLiteral("TCP_TUNNEL/200 \\d+ CONNECT "));
    return int(log().count(tunnel));
}

bool TestSquid::start()
{
    const bool prepared = prepare(QStringLiteral("squid.conf"), [this] {
        const QByteArray dir = folder();
        QByteArray config = "http_port 127.0.0.1:" + QByteArray::number(port())
            + "\n"
              "visible_hostname localhost\n"
              "pid_filename "
            + dir + "/squid.pid\naccess_log stdio:" + dir + "/access.log squid\ncache_log " + dir
            + "/cache.log\ncoredump_dir " + dir
            + "\n"
              "cache_store_log none\n"
              "cache deny all\n"
              "cache_mem 8 MB\n"
              "netdb_filename none\n"
              "pinger_enable off\n"
              "shutdown_lifetime 0 seconds\n"
              "acl allowed_port port "
            + QByteArray::number(m_connectPort)
            + "\n"
              "acl CONNECT method CONNECT\n"
              "http_access deny CONNECT !allowed_port\n";
        if (::geteuid() == 0)
            config += "cache_effective_user proxy\n";
        if (m_user.isEmpty()) {
            config += "http_access allow localhost\n";
        } else {
            config += "auth_param basic program " + QFile::encodeName(credentialsHelper()) + " "
                + dir + "/passwd\nauth_param basic realm velmora-tests\n"
                + "acl authed proxy_auth REQUIRED\nhttp_access allow authed\n";
        }
        config += "http_access deny all\n";
        return config;
    });
    if (!prepared)
        return false;
    // squid drops to its own user when started as root: the folder must be open to it.
    QFile::setPermissions(QString::fromLocal8Bit(folder()),
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
            | QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther
            | QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup);
    if (!m_user.isEmpty()) {
        QProcess htpasswd;
        htpasswd.start(findBinary(QStringLiteral("htpasswd")),
            { QStringLiteral("-bcm"), filePath(QStringLiteral("passwd")), QString::fromUtf8(m_user),
                QString::fromUtf8(m_password) });
        if (!htpasswd.waitForFinished(10000) || htpasswd.exitCode() != 0) {
            setErrorText(QStringLiteral("htpasswd failed: ")
                + QString::fromLocal8Bit(htpasswd.readAllStandardError()));
            return false;
        }
        QFile::setPermissions(filePath(QStringLiteral("passwd")),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther
                | QFileDevice::ReadGroup);
    }
    return launch(
        { QStringLiteral("-N"), QStringLiteral("-f"), configPath() },
        [this] {
            QFile cache(filePath(QStringLiteral("cache.log")));
            return cache.open(QIODevice::ReadOnly)
                && cache.readAll().contains("Accepting HTTP Socket connections");
        },
        [this] {
            QFile cache(filePath(QStringLiteral("cache.log")));
            return cache.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(cache.readAll())
                                                   : QString();
        });
}
