#include "support/testexternalserver.h"

#include "support/testsupport.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QHostAddress>
#include <QStandardPaths>
#include <QThread>

QString TestExternalServer::findBinary(const QString &name)
{
    const QString inPath = QStandardPaths::findExecutable(name);
    if (!inPath.isEmpty())
        return inPath;
    return QStandardPaths::findExecutable(name,
        { QStringLiteral("/usr/sbin"), QStringLiteral("/usr/bin"),
            QStringLiteral("/usr/local/sbin"), QStringLiteral("/usr/local/bin") });
}

TestExternalServer::TestExternalServer(const QString &name)
    : m_name(name)
{ }

TestExternalServer::~TestExternalServer()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QByteArray TestExternalServer::folder() const
{
    return QFile::encodeName(m_dir.path());
}

bool TestExternalServer::prepare(
    const QString &configName, const std::function<QByteArray()> &config)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    m_port = unusedLoopbackPort();
    if (m_port == 0) {
        m_error = QStringLiteral("no free port");
        return false;
    }
    const QByteArray bytes = config();
    QFile file(m_dir.filePath(configName));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        m_error = QStringLiteral("cannot write the configuration");
        return false;
    }
    m_configPath = file.fileName();
    return true;
}

bool TestExternalServer::launch(const QStringList &arguments, const std::function<bool()> &ready,
    const std::function<QString()> &logText)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(findBinary(m_name), arguments);
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning) {
            m_error = QString::fromLocal8Bit(m_process.readAll()) + logText();
            return false;
        }
        if (ready())
            return true;
        QThread::msleep(50);
    }
    m_error = QStringLiteral("%1 does not accept connections").arg(m_name);
    return false;
}
