#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A temporary HOME and XDG_CONFIG_HOME for the lifetime of the object, so that the cache folder,
// the log file and the settings store of a test never touch the real ones.
class TemporaryHome
{
public:
    TemporaryHome();
    ~TemporaryHome();
    QString path() const { return m_dir.path(); }
    QString cachePath() const { return m_dir.path() + QStringLiteral("/.Velmora/cache/"); }

private:
    QTemporaryDir m_dir;
    QByteArray m_oldHome;
    QByteArray m_oldConfig;
};

// Path of the devservice tool: DEVSERVICE_BIN, or the build's tools/devservice/devservice.
QString devserviceBinary();

// A loopback port on which nothing listens now (it was free a moment ago): for a connection that
// is refused, or for a server a test starts on it. 0 when none could be had.
quint16 unusedLoopbackPort();

// The reporter's help text, byte for byte as it reaches standard error.
inline const QByteArray reporterHelpText = "dumpreporter <options>\n"
                                           "Valid options:\n"
                                           "--dump=<value>, -d <value>\t[requred]\n"
                                           "\tPath to dump file\n"
                                           "--version=<value>, -v <value>\t[requred]\n"
                                           "\tVersion of the software which sends a report\n"
                                           "--company=<value>, -c <value>\t[requred]\n"
                                           "\tCompany ID\n"
                                           "--soft=<value>, -s <value>\t[requred]\n"
                                           "\tSoftware ID\n"
                                           "--restart=<value>, -r <value>\n"
                                           "\tCommand line that starts Velmora again when the "
                                           "reporter ends\n";
