#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

// A server program from the system (nginx, tinyproxy, squid) run by a test as the current user on
// 127.0.0.1, on a free port, in the foreground, with its configuration, pid file and logs in a
// temporary folder of its own. The program ends with the object.
class TestExternalServer
{
public:
    TestExternalServer(const TestExternalServer &) = delete;
    TestExternalServer &operator=(const TestExternalServer &) = delete;

    // The program's path: from PATH, then from the system folders; empty when it is not installed.
    static QString findBinary(const QString &name);

    quint16 port() const { return m_port; }
    QString errorText() const { return m_error; }

protected:
    explicit TestExternalServer(const QString &name);
    ~TestExternalServer();

    // Picks a free loopback port for the server and writes its configuration file into the
    // folder (config() builds it from the folder and the port); false, with errorText(), when it
    // cannot.
    bool prepare(const QString &configName, const std::function<QByteArray()> &config);
    // Starts the program and waits until ready() holds; false, with the program's output and
    // logText() in errorText(), when it ends first or is not ready within 15 s.
    bool launch(const QStringList &arguments, const std::function<bool()> &ready,
        const std::function<QString()> &logText);
    // A file in the server's own folder.
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    QByteArray folder() const;
    QString configPath() const { return m_configPath; }
    void setErrorText(const QString &text) { m_error = text; }

private:
    QString m_name;
    QTemporaryDir m_dir;
    QString m_configPath;
    quint16 m_port = 0;
    QProcess m_process;
    QString m_error;
};
