#include "support/testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QHostAddress>
#include <QSettings>
#include <QTcpServer>

TemporaryHome::TemporaryHome()
    : m_oldHome(qgetenv("HOME"))
    , m_oldConfig(qgetenv("XDG_CONFIG_HOME"))
{
    qputenv("HOME", m_dir.path().toLocal8Bit());
    const QString config = m_dir.path() + QStringLiteral("/.config");
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    // QSettings reads XDG_CONFIG_HOME once per process; point it at the new folder explicitly.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config);
}

TemporaryHome::~TemporaryHome()
{
    qputenv("HOME", m_oldHome);
    qputenv("XDG_CONFIG_HOME", m_oldConfig);
}

QString devserviceBinary()
{
    const QString configured = qEnvironmentVariable("DEVSERVICE_BIN");
    if (!configured.isEmpty())
        return configured;
    return QDir::cleanPath(
        QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/devservice/devservice"));
}

quint16 unusedLoopbackPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}
