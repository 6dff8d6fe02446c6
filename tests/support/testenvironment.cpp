#include "support/testenvironment.h"

#include "settings/ksettingsmanager.h"
#include "support/testhttpserver.h"

namespace {

void restore(const char *name, bool set, const QByteArray &value)
{
    if (set)
        qputenv(name, value);
    else
        qunsetenv(name);
}

} // namespace

TestEnvironment::TestEnvironment()
    : m_savedCa { "VELMORA_EXTRA_CA_CERTS", qEnvironmentVariableIsSet("VELMORA_EXTRA_CA_CERTS"),
        qgetenv("VELMORA_EXTRA_CA_CERTS") }
    , m_savedHost { "VELMORA_API_HOST", qEnvironmentVariableIsSet("VELMORA_API_HOST"),
        qgetenv("VELMORA_API_HOST") }
{ }

TestEnvironment::~TestEnvironment()
{
    m_log.reset();
    restore(m_savedCa.name, m_savedCa.set, m_savedCa.value);
    restore(m_savedHost.name, m_savedHost.set, m_savedHost.value);
}

TestEnvironment &TestEnvironment::logToFile(VM::LogLevel level)
{
    VM::LoggingManager::initializeLoggers(level, LogFileName);
    return *this;
}

TestEnvironment &TestEnvironment::captureLog()
{
    if (!m_log)
        m_log = std::make_unique<TestLogCapture>();
    return *this;
}

TestEnvironment &TestEnvironment::useSettings(
    int version, const QString &company, const QString &soft)
{
    VM::KSettingsManager::init(version, company, soft);
    return *this;
}

TestEnvironment &TestEnvironment::trustTestCa()
{
    qputenv("VELMORA_EXTRA_CA_CERTS", testCaPath().toLocal8Bit());
    return *this;
}

TestEnvironment &TestEnvironment::useApiHost(const QString &hostAndPort)
{
    qputenv("VELMORA_API_HOST", hostAndPort.toLatin1());
    return *this;
}

TestLogCapture &TestEnvironment::log() const
{
    if (!m_log)
        qFatal("TestEnvironment::log() without captureLog()");
    return *m_log;
}

QProcessEnvironment TestEnvironment::programEnvironment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), path() + QStringLiteral("/.config"));
    for (const char *name : { "VELMORA_EXTRA_CA_CERTS", "VELMORA_API_HOST" }) {
        if (qEnvironmentVariableIsSet(name))
            env.insert(QString::fromLatin1(name), qEnvironmentVariable(name));
        else
            env.remove(QString::fromLatin1(name));
    }
    return env;
}
