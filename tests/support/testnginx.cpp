#include "support/testnginx.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

QString TestNginx::binary()
{
    const QString inPath = QStandardPaths::findExecutable(QStringLiteral("nginx"));
    if (!inPath.isEmpty())
        return inPath;
    return QStandardPaths::findExecutable(QStringLiteral("nginx"),
        { QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin") });
}

TestNginx::TestNginx(const QByteArray &maxBodySize)
    : m_maxBodySize(maxBodySize)
{ }

TestNginx::~TestNginx()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool TestNginx::start()
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
    const QByteArray config = "worker_processes 1;\n"
                              "pid "
        + dir + "/nginx.pid;\nerror_log " + dir
        + "/error.log;\n"
          "events { worker_connections 16; }\n"
          "http {\n"
          "    access_log "
        + dir + "/access.log;\n    client_body_temp_path " + dir + "/body;\n    proxy_temp_path "
        + dir + "/proxy;\n    fastcgi_temp_path " + dir + "/fastcgi;\n    uwsgi_temp_path " + dir
        + "/uwsgi;\n    scgi_temp_path " + dir + "/scgi;\n    client_max_body_size " + m_maxBodySize
        + ";\n"
          "    server {\n"
          "        listen 127.0.0.1:"
        + QByteArray::number(m_port)
        + ";\n"
          "        location / { return 200 \"ok\\n\"; }\n"
          "    }\n"
          "}\n";
    QFile file(m_dir.filePath(QStringLiteral("nginx.conf")));
    if (!file.open(QIODevice::WriteOnly) || file.write(config) != config.size()) {
        m_error = QStringLiteral("cannot write the configuration");
        return false;
    }
    file.close();

    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(binary(),
        { QStringLiteral("-p"), m_dir.path(), QStringLiteral("-e"),
            m_dir.filePath(QStringLiteral("error.log")), QStringLiteral("-c"), file.fileName(),
            QStringLiteral("-g"), QStringLiteral("daemon off; master_process off;") });
    if (!m_process.waitForStarted(10000)) {
        m_error = m_process.errorString();
        return false;
    }
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning) {
            QFile log(m_dir.filePath(QStringLiteral("error.log")));
            log.open(QIODevice::ReadOnly);
            m_error = QString::fromLocal8Bit(m_process.readAll() + log.readAll());
            return false;
        }
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, m_port);
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    m_error = QStringLiteral("nginx does not accept connections");
    return false;
}
