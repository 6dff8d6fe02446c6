#include "app/kreportqueue.h"

#include "logging/logging.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

#include <algorithm>

namespace {
const QString entrySuffix = QStringLiteral(".report");
const QString lockSuffix = QStringLiteral(".lock");
// An entry holds a path, a comment and a few numbers; anything much larger is not an entry.
constexpr qint64 maxEntrySize = 4 * 1024 * 1024;

QString entryKey(const QString &absolutePath)
{
    return QString::fromLatin1(
        QCryptographicHash::hash(absolutePath.toUtf8(), QCryptographicHash::Sha1).toHex());
}

bool olderFirst(const KPendingReport &a, const KPendingReport &b)
{
    if (a.queuedAt != b.queuedAt)
        return a.queuedAt < b.queuedAt;
    return a.dumpPath < b.dumpPath;
}
} // namespace

KReportQueue::KReportQueue(const QString &folder)
    : m_folder(QDir::cleanPath(folder) + QLatin1Char('/'))
{ }

QString KReportQueue::defaultFolder()
{
    // Nothing is made here: the queue's folder is made when the first entry is written, and only
    // inside the cache folder that start-up made.
    return QDir::fromNativeSeparators(QDir::homePath())
        + QStringLiteral("/.Velmora/cache/pending/");
}

QString KReportQueue::absoluteDumpPath(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString KReportQueue::entryPath(const QString &dumpPath) const
{
    return m_folder + entryKey(absoluteDumpPath(dumpPath)) + entrySuffix;
}

QString KReportQueue::lockPath(const QString &dumpPath) const
{
    return m_folder + entryKey(absoluteDumpPath(dumpPath)) + lockSuffix;
}

bool KReportQueue::ensureFolder() const
{
    const QFileDevice::Permissions ownerOnly
        = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    if (QFileInfo(m_folder).isDir())
        return true;
    if (!QDir().mkdir(m_folder, ownerOnly) && !QFileInfo(m_folder).isDir()) {
        LOG_WARN(QStringLiteral("Failed to create the folder of unsent reports: %1").arg(m_folder));
        return false;
    }
    // The creation mask may have taken bits away: the mode is set as meant.
    QFile::setPermissions(m_folder, ownerOnly);
    return true;
}

KReportQueue::ReadResult KReportQueue::read(const QString &file, KPendingReport &report) const
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return in.exists() ? ReadResult::Damaged : ReadResult::Missing;
    if (in.size() > maxEntrySize)
        return ReadResult::Damaged;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(in.read(maxEntrySize), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return ReadResult::Damaged;
    const QJsonObject object = document.object();
    const QJsonValue format = object.value(QLatin1String("format"));
    if (!format.isDouble() || format.toDouble() < 1)
        return ReadResult::Damaged;
    if (format.toDouble() > FormatVersion)
        return ReadResult::LaterFormat;

    const QJsonValue dump = object.value(QLatin1String("dump"));
    const QJsonValue comment = object.value(QLatin1String("comment"));
    const QJsonValue time = object.value(QLatin1String("time"));
    const QJsonValue version = object.value(QLatin1String("version"));
    const QJsonValue queued = object.value(QLatin1String("queued"));
    if (!dump.isString() || dump.toString().isEmpty() || !comment.isString() || !time.isString()
        || !version.isDouble() || !queued.isDouble())
        return ReadResult::Damaged;
    const QDateTime reportTime = QDateTime::fromString(time.toString(), Qt::ISODate);
    const double versionNumber = version.toDouble();
    if (!reportTime.isValid() || versionNumber < 0 || versionNumber > 0x7fffffff
        || versionNumber != double(int(versionNumber)))
        return ReadResult::Damaged;
    // The file's name is the key of its dump: an entry under another name is not this queue's.
    if (QFileInfo(file).fileName() != entryKey(dump.toString()) + entrySuffix)
        return ReadResult::Damaged;

    report.dumpPath = dump.toString();
    report.comment = comment.toString();
    report.reportTime = reportTime;
    report.version = int(versionNumber);
    report.queuedAt = qint64(queued.toDouble());
    return ReadResult::Ok;
}

QList<KPendingReport> KReportQueue::entries() const
{
    QList<KPendingReport> result;
    const QStringList names
        = QDir(m_folder).entryList({ QLatin1Char('*') + entrySuffix }, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const QString file = m_folder + name;
        KPendingReport report;
        switch (read(file, report)) {
        case ReadResult::Ok:
            result.append(report);
            break;
        case ReadResult::Missing: // removed meanwhile by another reporter
            break;
        case ReadResult::LaterFormat:
            LOG_WARN(QStringLiteral("Unsent report of a later format left alone: %1").arg(file));
            break;
        case ReadResult::Damaged:
            LOG_WARN(QStringLiteral("Damaged unsent report dropped: %1").arg(file));
            QFile::remove(file);
            break;
        }
    }
    std::sort(result.begin(), result.end(), olderFirst);
    return result;
}

std::optional<KPendingReport> KReportQueue::entry(const QString &dumpPath) const
{
    KPendingReport report;
    const QString file = entryPath(dumpPath);
    switch (read(file, report)) {
    case ReadResult::Ok:
        return report;
    case ReadResult::Damaged:
        LOG_WARN(QStringLiteral("Damaged unsent report dropped: %1").arg(file));
        QFile::remove(file);
        return std::nullopt;
    case ReadResult::Missing:
    case ReadResult::LaterFormat:
        break;
    }
    return std::nullopt;
}

bool KReportQueue::add(KPendingReport report) const
{
    report.dumpPath = absoluteDumpPath(report.dumpPath);
    if (!ensureFolder())
        return false;

    const QList<KPendingReport> existing = entries();
    qint64 latest = 0;
    bool replaces = false;
    for (const KPendingReport &other : existing) {
        latest = qMax(latest, other.queuedAt);
        replaces = replaces || other.dumpPath == report.dumpPath;
    }
    report.queuedAt = qMax(QDateTime::currentMSecsSinceEpoch(), latest + 1);

    QJsonObject object;
    object.insert(QLatin1String("format"), FormatVersion);
    object.insert(QLatin1String("dump"), report.dumpPath);
    object.insert(QLatin1String("comment"), report.comment);
    const QDateTime time
        = report.reportTime.isValid() ? report.reportTime : QDateTime::currentDateTime();
    object.insert(
        QLatin1String("time"), time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate));
    object.insert(QLatin1String("version"), report.version);
    object.insert(QLatin1String("queued"), double(report.queuedAt));

    const QString file = entryPath(report.dumpPath);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)
        || !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || out.write(QJsonDocument(object).toJson()) < 0 || !out.commit()) {
        LOG_WARN(QStringLiteral("Failed to keep the unsent report of %1 in %2")
                     .arg(report.dumpPath, file));
        return false;
    }
    if (!replaces)
        LOG_INFO(QStringLiteral("The report of %1 is kept until the service accepts it.")
                     .arg(report.dumpPath));

    // The oldest entries beyond the cap go; their dumps stay.
    QList<KPendingReport> others;
    for (const KPendingReport &other : existing) {
        if (other.dumpPath != report.dumpPath)
            others.append(other);
    }
    for (qsizetype i = 0; i < others.size() + 1 - MaxEntries; ++i) {
        LOG_INFO(QStringLiteral("Too many unsent reports: the oldest, of %1, is dropped.")
                     .arg(others.at(i).dumpPath));
        QFile::remove(entryPath(others.at(i).dumpPath));
    }
    return true;
}

QList<KPendingReport> KReportQueue::entriesToSend(const QString &exceptDump) const
{
    const QString except = exceptDump.isEmpty() ? QString() : absoluteDumpPath(exceptDump);
    QList<KPendingReport> result;
    for (const KPendingReport &report : entries()) {
        if (report.dumpPath == except)
            continue;
        if (!QFileInfo(report.dumpPath).isFile()) {
            LOG_INFO(QStringLiteral("The dump of an unsent report has gone; the report is "
                                    "dropped: %1")
                         .arg(report.dumpPath));
            remove(report.dumpPath);
            continue;
        }
        result.append(report);
    }
    return result;
}

int KReportQueue::waitingCount(const QString &exceptDump) const
{
    const QString except = exceptDump.isEmpty() ? QString() : absoluteDumpPath(exceptDump);
    int count = 0;
    for (const KPendingReport &report : entries()) {
        if (report.dumpPath != except && QFileInfo(report.dumpPath).isFile())
            ++count;
    }
    return count;
}

bool KReportQueue::remove(const QString &dumpPath) const
{
    const QString file = entryPath(dumpPath);
    return QFile::remove(file) || !QFileInfo::exists(file);
}

std::unique_ptr<QLockFile> KReportQueue::tryLock(const QString &dumpPath) const
{
    if (!ensureFolder())
        return nullptr;
    auto lock = std::make_unique<QLockFile>(lockPath(dumpPath));
    // A sending may take many minutes at the service's pace: only a holder that has died makes a
    // lock stale, never its age.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0))
        return nullptr;
    return lock;
}
