#include "app/userfiles.h"

#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {
// A trailing slash would make the system follow a symbolic link in the path's last place.
QString withoutTrailingSlash(const QString &path)
{
    QString clean = path;
    while (clean.size() > 1 && clean.endsWith(QLatin1Char('/')))
        clean.chop(1);
    return clean;
}

#ifndef Q_OS_WIN
QByteArray nativePath(const QString &path)
{
    return QFile::encodeName(withoutTrailingSlash(path));
}
#endif

#ifndef Q_OS_WIN
qint64 modifiedMs(const struct stat &info)
{
    return qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
}
#endif
} // namespace

UserPathKind userPathKind(const QString &path)
{
#ifdef Q_OS_WIN
    // The path as it is: a round trip through the 8-bit code page would lose what it lacks (a
    // Cyrillic user name in C:\Users\...).
    const QFileInfo info(withoutTrailingSlash(path));
    if (!info.exists() && !info.isSymLink())
        return UserPathKind::Missing;
    return info.isDir() && !info.isSymLink() ? UserPathKind::OwnFolder : UserPathKind::Other;
#else
    struct stat info;
    if (::lstat(nativePath(path).constData(), &info) != 0)
        return errno == ENOENT ? UserPathKind::Missing : UserPathKind::Other;
    return S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() ? UserPathKind::OwnFolder
                                                               : UserPathKind::Other;
#endif
}

bool makeOwnerOnly(const QString &folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return true;
#else
    const int fd
        = ::open(nativePath(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info;
    bool ok = ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid();
    if (ok && (info.st_mode & 07777) != 0700)
        ok = ::fchmod(fd, 0700) == 0;
    ::close(fd);
    return ok;
#endif
}

OpenResult openRegularFile(QFile &file, const QString &path, bool ownOnly, RegularFileStat *stat)
{
#ifdef Q_OS_WIN
    Q_UNUSED(ownOnly);
    const QFileInfo info(path);
    if (info.isSymLink())
        return OpenResult::Refused;
    if (!info.exists())
        return OpenResult::Missing;
    if (!info.isFile())
        return OpenResult::Refused;
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        return OpenResult::Failed;
    if (stat)
        *stat
            = { file.size(), file.fileTime(QFileDevice::FileModificationTime).toMSecsSinceEpoch() };
    return OpenResult::Opened;
#else
    // Not following a link, and not waiting on a named pipe put in the file's place.
    const int fd
        = ::open(nativePath(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return OpenResult::Missing;
        return errno == ELOOP ? OpenResult::Refused : OpenResult::Failed;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        ::close(fd);
        return OpenResult::Failed;
    }
    if (!S_ISREG(info.st_mode) || (ownOnly && info.st_uid != ::geteuid())) {
        ::close(fd);
        return OpenResult::Refused;
    }
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return OpenResult::Failed;
    }
    if (stat)
        *stat = { qint64(info.st_size), modifiedMs(info) };
    return OpenResult::Opened;
#endif
}

bool statRegularFile(const QString &path, RegularFileStat *stat)
{
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile())
        return false;
    *stat = { info.size(), info.lastModified().toMSecsSinceEpoch() };
    return true;
#else
    struct stat info;
    if (::lstat(nativePath(path).constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    *stat = { qint64(info.st_size), modifiedMs(info) };
    return true;
#endif
}
