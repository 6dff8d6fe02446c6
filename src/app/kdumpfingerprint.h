#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// What a dump file was when its report was queued: its size, its modification time and the
// SHA-256 of its bytes. A dump that no longer has all three is not the dump the user chose to
// send (a later crash may have written its own dump to the same path).
struct KDumpFingerprint
{
    qint64 size = -1;
    qint64 modifiedMs = 0; // milliseconds since the epoch
    QByteArray sha256; // 32 bytes

    bool isValid() const { return size >= 0 && sha256.size() == 32; }
    bool operator==(const KDumpFingerprint &other) const = default;

    // Of the regular file at path, read whole; a symbolic link is not followed. Nothing when there
    // is no regular file there or it cannot be read.
    static std::optional<KDumpFingerprint> of(const QString &path);
    // Whether path is still a regular file (not a symbolic link) of this size and time; reads
    // none of its bytes.
    bool matchesFileAt(const QString &path) const;
};
