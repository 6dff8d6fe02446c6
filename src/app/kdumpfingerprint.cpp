#include "app/kdumpfingerprint.h"

#include "app/userfiles.h"

#include <QCryptographicHash>
#include <QFile>

std::optional<KDumpFingerprint> KDumpFingerprint::of(const QString &path)
{
    QFile file;
    RegularFileStat stat;
    if (openRegularFile(file, path, false, &stat) != OpenResult::Opened)
        return std::nullopt;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    QByteArray block(256 * 1024, Qt::Uninitialized);
    qint64 size = 0;
    for (;;) {
        const qint64 n = file.read(block.data(), block.size());
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        hash.addData(QByteArrayView(block.constData(), n));
        size += n;
    }
    // Bytes that changed while they were read would make a fingerprint of no file at all.
    if (size != stat.size)
        return std::nullopt;
    KDumpFingerprint fingerprint;
    fingerprint.size = size;
    fingerprint.modifiedMs = stat.modifiedMs;
    fingerprint.sha256 = hash.result();
    return fingerprint;
}

bool KDumpFingerprint::matchesFileAt(const QString &path) const
{
    RegularFileStat stat;
    return statRegularFile(path, &stat) && stat.size == size && stat.modifiedMs == modifiedMs;
}
