#include "base/processvalues.h"

#include "base/fatalerrorhook.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QtDebug>

#include <atomic>

namespace {
std::atomic<int> g_versionNumber { -1 };

QMutex &loginMutex()
{
    static QMutex mutex;
    return mutex;
}
QString &loginCopy()
{
    static QString login;
    return login;
}
} // namespace

QString versionText(int version)
{
    return QStringLiteral("%1.%2.%3")
        .arg((version >> 16) & 255)
        .arg((version >> 8) & 255)
        .arg(version & 255);
}

int versionNumber()
{
    return g_versionNumber.load();
}

void setVersionNumber(int version)
{
    g_versionNumber.store(version);
}

namespace {
// Creates the folder and its missing parents, each of them with mode 0700 whatever the creation
// mask; folders that exist already keep their mode. True when the folder exists afterwards.
bool makeOwnerOnlyPath(const QString &path)
{
    const QFileDevice::Permissions ownerOnly
        = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    const QString clean = QDir::cleanPath(path);
    // Each missing folder from the top down; the ones that exist are left as they are.
    qsizetype next = clean.startsWith(QLatin1Char('/')) ? 1 : 0;
    while (next <= clean.size()) {
        qsizetype end = clean.indexOf(QLatin1Char('/'), next);
        if (end == -1)
            end = clean.size();
        const QString folder = clean.left(end);
        next = end + 1;
        if (folder.isEmpty() || QFileInfo(folder).isDir())
            continue;
        if (!QDir().mkdir(folder, ownerOnly) && !QFileInfo(folder).isDir())
            return false;
        // The creation mask may have taken bits away: the mode is set as meant.
        QFile::setPermissions(folder, ownerOnly);
    }
    return QFileInfo(clean).isDir();
}
} // namespace

QString cacheFolder()
{
    const QString home = QDir::fromNativeSeparators(QDir::homePath());
    const QString path = home + QStringLiteral("/.Velmora/cache/");
    if (QDir(path).exists() || makeOwnerOnlyPath(path))
        return path;

    // The box speaks the user's language; the line on standard error stays English.
    static const char text[] = QT_TRANSLATE_NOOP("FatalError",
        "Failed to create folder at: %1. Velmora cannot continue. "
        "Please check your permissions and restart the software");
    const QString message = QString::fromLatin1(text).arg(path);
    if (QCoreApplication::instance()) {
        callFatalErrorHook(QCoreApplication::translate("FatalError", text).arg(path));
        qCritical().noquote() << message;
        // Ends the running loop after the current event; the request is safe from any thread.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::exit(-1); }, Qt::QueuedConnection);
    } else {
        qCritical().noquote() << message;
    }
    return home + QLatin1Char('/');
}

QString currentLogin()
{
    QMutexLocker lock(&loginMutex());
    return loginCopy();
}

void setCurrentLogin(const QString &login)
{
    QMutexLocker lock(&loginMutex());
    loginCopy() = login;
}
