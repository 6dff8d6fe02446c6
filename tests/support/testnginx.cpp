#include "support/testnginx.h"

#include <QFile>
#include <QHostAddress>
#include <QTcpSocket>

TestNginx::TestNginx(const QByteArray &maxBodySize)
    : TestExternalServer(QStringLiteral("nginx"))
    , m_maxBodySize(maxBodySize)
{ }

bool TestNginx::start()
{
    const bool prepared = prepare(QStringLiteral("nginx.conf"), [this] {
        const QByteArray dir = folder();
        return "worker_processes 1;\n"
               "pid "
            + dir + "/nginx.pid;\nerror_log " + dir
            + "/error.log;\n"
              "events { worker_connections 16; }\n"
              "http {\n"
              "    access_log "
            + dir + "/access.log;\n    client_body_temp_path " + dir
            + "/body;\n    proxy_temp_path " + dir + "/proxy;\n    fastcgi_temp_path " + dir
            + "/fastcgi;\n    uwsgi_temp_path " + dir + "/uwsgi;\n    scgi_temp_path " + dir
            + "/scgi;\n    client_max_body_size " + m_maxBodySize
            + ";\n"
              "    server {\n"
              "        listen 127.0.0.1:"
            + QByteArray::number(port())
            + ";\n"
              "        location / { return 200 \"ok\\n\"; }\n"
              "    }\n"
              "}\n";
    });
    if (!prepared)
        return false;
    const QString errorLog = filePath(QStringLiteral("error.log"));
    return launch(
        { QStringLiteral("-p"), QString::fromLocal8Bit(folder()), QStringLiteral("-e"), errorLog,
            QStringLiteral("-c"), configPath(), QStringLiteral("-g"),
            QStringLiteral("daemon off; master_process off;") },
        [this] {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, port());
            return probe.waitForConnected(200);
        },
        [errorLog] {
            QFile log(errorLog);
            return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll())
                                                 : QString();
        });
}
