#pragma once

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
