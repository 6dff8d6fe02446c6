#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// nginx from the system, run by the test as the current user on 127.0.0.1 (a free port), plain
// HTTP, in the foreground and as a single process, with its configuration, pid, logs and
// temporary files in a folder of its own. Every location answers 200 "ok"; requests whose body is
// larger than the configured client_max_body_size get nginx's own 413 at once.
class TestNginx
{
public:
    // Path of the nginx binary; empty when it is not installed.
    static QString binary();

    explicit TestNginx(const QByteArray &maxBodySize = "1k");
    ~TestNginx();

    // Starts nginx and waits until it accepts connections; false (errorText() tells why) when it
    // cannot.
    bool start();
    quint16 port() const { return m_port; }
    QString errorText() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QByteArray m_maxBodySize;
    quint16 m_port = 0;
    QProcess m_process;
    QString m_error;
};
