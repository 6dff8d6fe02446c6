#pragma once

#include <QString>

class QFile;

// Files and folders as the queue of unsent reports needs them: of the user alone, and never
// reached through a symbolic link. The POSIX calls stay here. On Windows a user's profile is
// closed to other users by its access control lists, which the queue relies on there: ownership
// is not checked and modes are not set; symbolic links are still refused.

// What lies at a path, the last part of it not followed when it is a symbolic link.
enum class UserPathKind {
    Missing, // nothing at all
    OwnFolder, // a folder of the user
    Other, // a symbolic link, a file, or a folder of another user
};
UserPathKind userPathKind(const QString &path);

// Gives an own folder the mode 0700 when it has another one; false when that failed.
bool makeOwnerOnly(const QString &folder);

// A regular file's size and modification time (milliseconds since the epoch).
struct RegularFileStat
{
    qint64 size = -1;
    qint64 modifiedMs = 0;
};

enum class OpenResult {
    Opened,
    Missing, // nothing at the path
    Refused, // a symbolic link, not a regular file, or (ownOnly) not the user's
    Failed, // a regular file that could not be opened
};
// Opens the file at path for reading when it is a regular file and not a symbolic link, and, with
// ownOnly, the user's own; stat receives its size and modification time as opened.
OpenResult openRegularFile(
    QFile &file, const QString &path, bool ownOnly, RegularFileStat *stat = nullptr);

// The size and modification time of the regular file at path, a symbolic link not followed;
// false when there is none.
bool statRegularFile(const QString &path, RegularFileStat *stat);
