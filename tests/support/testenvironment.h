#pragma once

#include "logging/loggingmanager.h"
#include "support/testlogcapture.h"
#include "support/testlogfile.h"
#include "support/testsupport.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>

#include <memory>

// The surroundings of a test, set up in one place and put back when the object goes: a temporary
// HOME and XDG_CONFIG_HOME (TemporaryHome), and on request the log file, a capture of the log,
// the settings store, trust in the committed test certificate authority and the API host.
// VELMORA_EXTRA_CA_CERTS and VELMORA_API_HOST get their earlier values back at the end.
class TestEnvironment
{
public:
    static constexpr char LogFileName[] = "qx.dumpreporter.velmora.log";

    TestEnvironment();
    ~TestEnvironment();
    TestEnvironment(const TestEnvironment &) = delete;
    TestEnvironment &operator=(const TestEnvironment &) = delete;

    // The program's log file (LogFileName in the cache folder), from `level` up.
    TestEnvironment &logToFile(VM::LogLevel level = VM::LogLevel::Trace);
    // Keeps every logged line in memory as well, from TRACE up (see log()).
    TestEnvironment &captureLog();
    // The settings store of this company and software.
    TestEnvironment &useSettings(int version, const QString &company, const QString &soft);
    // VELMORA_EXTRA_CA_CERTS names the committed test certificate authority.
    TestEnvironment &trustTestCa();
    // VELMORA_API_HOST, "127.0.0.1:PORT" of a test server.
    TestEnvironment &useApiHost(const QString &hostAndPort);

    QString path() const { return m_home.path(); }
    QString cachePath() const { return m_home.cachePath(); }
    QString logFilePath() const { return cachePath() + QLatin1String(LogFileName); }
    // A reader of the log file (see logToFile()), from its start.
    TestLogFile logFile() const { return TestLogFile(logFilePath()); }
    // The capture; captureLog() must have been called.
    TestLogCapture &log() const;
    // The environment for the built program run as a child process: this process's, with the
    // temporary home, its settings folder, the trusted authority and the API host as set here.
    QProcessEnvironment programEnvironment() const;

private:
    struct Saved
    {
        const char *name;
        bool set;
        QByteArray value;
    };
    TemporaryHome m_home;
    Saved m_savedCa;
    Saved m_savedHost;
    std::unique_ptr<TestLogCapture> m_log;
};
