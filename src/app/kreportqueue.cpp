#include "app/kreportqueue.h"

#include "app/userfiles.h"
#include "logging/logging.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QMutex>
#include <QSaveFile>
#include <QSysInfo>

#include <algorithm>
#include <cmath>

namespace {
const QString entrySuffix = QStringLiteral(".report");
const QString lockSuffix = QStringLiteral(".lock");
// An entry holds a path, a comment and a few numbers; anything much larger is not an entry.
constexpr qint64 maxEntrySize = 4 * 1024 * 1024;
// The last millisecond of the year 9999: no time in an entry lies beyond it.
constexpr double maxTimeMs = 253402300799999.0;
// Sizes up to 2^53 bytes are exact in a JSON number.
constexpr double maxFileSize = 9007199254740992.0;
constexpr qint64 msPerDay = 24 * 60 * 60 * 1000;

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

// A whole number from min to max; anything else makes the entry damaged.
bool wholeNumber(const QJsonValue &value, double min, double max, qint64 *out)
{
    if (!value.isDouble())
        return false;
    const double number = value.toDouble();
    if (!(number >= min && number <= max) || number != std::floor(number))
        return false;
    *out = qint64(number);
    return true;
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

bool KReportQueue::secureFolder() const
{
    switch (userPathKind(m_folder)) {
    case UserPathKind::Missing:
        return true;
    case UserPathKind::OwnFolder:
        if (!makeOwnerOnly(m_folder))
            LOG_WARN(QStringLiteral("The folder of unsent reports could not be closed to other "
                                    "users: %1")
                         .arg(m_folder));
        return true;
    case UserPathKind::Other:
        break;
    }
    LOG_ERROR(QStringLiteral("The folder of unsent reports does not belong to this user; the "
                             "queue is not used: %1")
                  .arg(m_folder));
    return false;
}

bool KReportQueue::isUsable() const
{
    return userPathKind(m_folder) != UserPathKind::Other;
}

bool KReportQueue::ensureFolder() const
{
    switch (userPathKind(m_folder)) {
    case UserPathKind::OwnFolder:
        return makeOwnerOnly(m_folder);
    case UserPathKind::Other:
        return false;
    case UserPathKind::Missing:
        break;
    }
    const QFileDevice::Permissions ownerOnly
        = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner;
    if (!QDir().mkdir(m_folder, ownerOnly) && userPathKind(m_folder) != UserPathKind::OwnFolder) {
        LOG_WARN(QStringLiteral("Failed to create the folder of unsent reports: %1").arg(m_folder));
        return false;
    }
    // The creation mask may have taken bits away, and another reporter may have made it
    // meanwhile: the mode is set as meant.
    return userPathKind(m_folder) == UserPathKind::OwnFolder && makeOwnerOnly(m_folder);
}

KReportQueue::ReadResult KReportQueue::read(const QString &file, KPendingReport &report) const
{
    QFile in;
    switch (openRegularFile(in, file, true)) {
    case OpenResult::Opened:
        break;
    case OpenResult::Missing:
        return ReadResult::Missing;
    case OpenResult::Refused:
        return ReadResult::NotOwn;
    case OpenResult::Failed:
        return ReadResult::Damaged;
    }
    if (in.size() > maxEntrySize)
        return ReadResult::Damaged;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(in.read(maxEntrySize), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return ReadResult::Damaged;
    const QJsonObject object = document.object();
    qint64 format = 0;
    if (!wholeNumber(object.value(QLatin1String("format")), 1, 1e9, &format))
        return ReadResult::Damaged;
    if (format > FormatVersion)
        return ReadResult::LaterFormat;

    const QJsonValue dump = object.value(QLatin1String("dump"));
    const QJsonValue comment = object.value(QLatin1String("comment"));
    const QJsonValue time = object.value(QLatin1String("time"));
    qint64 version = 0;
    qint64 queued = 0;
    if (!dump.isString() || dump.toString().isEmpty() || !comment.isString() || !time.isString()
        || !wholeNumber(object.value(QLatin1String("version")), 0, 0x7fffffff, &version)
        || !wholeNumber(object.value(QLatin1String("queued")), 0, maxTimeMs, &queued))
        return ReadResult::Damaged;
    const QDateTime reportTime = QDateTime::fromString(time.toString(), Qt::ISODate);
    if (!reportTime.isValid())
        return ReadResult::Damaged;
    // The file's name is the key of its dump: an entry under another name is not this queue's.
    if (QFileInfo(file).fileName() != entryKey(dump.toString()) + entrySuffix)
        return ReadResult::Damaged;

    KDumpFingerprint fingerprint;
    qint64 attempts = 0;
    if (format >= 2) {
        const QByteArray sha256
            = QByteArray::fromHex(object.value(QLatin1String("sha256")).toString().toLatin1());
        if (!wholeNumber(object.value(QLatin1String("size")), 1, maxFileSize, &fingerprint.size)
            || !wholeNumber(object.value(QLatin1String("modified")), -maxTimeMs, maxTimeMs,
                &fingerprint.modifiedMs)
            || sha256.size() != 32
            || object.value(QLatin1String("sha256")).toString() != QLatin1String(sha256.toHex())
            || !wholeNumber(object.value(QLatin1String("attempts")), 0, MaxAttempts - 1, &attempts))
            return ReadResult::Damaged;
        fingerprint.sha256 = sha256;
    }

    report.dumpPath = dump.toString();
    report.comment = comment.toString();
    report.reportTime = reportTime;
    report.version = int(version);
    report.queuedAt = queued;
    report.dump = fingerprint;
    report.attempts = int(attempts);
    return ReadResult::Ok;
}

bool KReportQueue::write(const KPendingReport &report) const
{
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
    object.insert(QLatin1String("size"), double(report.dump.size));
    object.insert(QLatin1String("modified"), double(report.dump.modifiedMs));
    object.insert(QLatin1String("sha256"), QString::fromLatin1(report.dump.sha256.toHex()));
    object.insert(QLatin1String("attempts"), report.attempts);

    const QString file = entryPath(report.dumpPath);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)
        || !out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)
        || out.write(QJsonDocument(object).toJson()) < 0 || !out.commit()) {
        LOG_WARN(QStringLiteral("Failed to keep the unsent report of %1 in %2")
                     .arg(report.dumpPath, file));
        return false;
    }
    return true;
}

QList<KPendingReport> KReportQueue::entries() const
{
    QList<KPendingReport> result;
    if (!isUsable())
        return result;
    const QStringList names = QDir(m_folder).entryList(
        { QLatin1Char('*') + entrySuffix }, QDir::Files | QDir::Hidden | QDir::System);
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
        case ReadResult::NotOwn:
            LOG_WARN(QStringLiteral("An unsent report that is not a file of this user is left "
                                    "alone: %1")
                         .arg(file));
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
    if (!isUsable())
        return std::nullopt;
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
    case ReadResult::NotOwn:
        break;
    }
    return std::nullopt;
}

KReportQueue::Verdict KReportQueue::verdictOf(const KPendingReport &report, qint64 now)
{
    if (!QFileInfo(report.dumpPath).isFile())
        return Verdict::Dead;
    if (!report.dump.isValid())
        return Verdict::Unverifiable;
    if (now - report.queuedAt > MaxAgeDays * msPerDay)
        return Verdict::Aged;
    return Verdict::Live;
}

void KReportQueue::prune(QList<KPendingReport> &reports, const QString &keepDump) const
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    for (auto it = reports.begin(); it != reports.end();) {
        if (it->dumpPath == keepDump || verdictOf(*it, now) == Verdict::Live) {
            ++it;
            continue;
        }
        // Under the entry's lock, read again: a reporter that sends it decides for itself, and a
        // window may have just written it anew.
        const std::unique_ptr<QLockFile> lock = tryLock(it->dumpPath);
        if (!lock) {
            ++it;
            continue;
        }
        const std::optional<KPendingReport> current = entry(it->dumpPath);
        const Verdict verdict = current ? verdictOf(*current, now) : Verdict::Live;
        if (!current || verdict == Verdict::Live) {
            if (current)
                *it++ = *current;
            else
                it = reports.erase(it);
            continue;
        }
        switch (verdict) {
        case Verdict::Dead:
            LOG_INFO(QStringLiteral("The dump of an unsent report has gone; the report is "
                                    "dropped: %1")
                         .arg(current->dumpPath));
            break;
        case Verdict::Aged:
            LOG_WARN(QStringLiteral("An unsent report older than %1 days is dropped; its dump "
                                    "stays: %2")
                         .arg(MaxAgeDays)
                         .arg(current->dumpPath));
            break;
        case Verdict::Unverifiable:
            LOG_WARN(QStringLiteral("An unsent report without the fingerprint of its dump is "
                                    "dropped; the dump is kept: %1")
                         .arg(current->dumpPath));
            break;
        case Verdict::Live:
            break;
        }
        remove(current->dumpPath);
        it = reports.erase(it);
    }
}

bool KReportQueue::add(KPendingReport report) const
{
    report.dumpPath = absoluteDumpPath(report.dumpPath);
    if (!ensureFolder())
        return false;
    if (!report.dump.isValid()) {
        const std::optional<KDumpFingerprint> fingerprint = KDumpFingerprint::of(report.dumpPath);
        if (!fingerprint) {
            LOG_WARN(QStringLiteral("The dump %1 is not a file that can be read; its report is "
                                    "not kept.")
                         .arg(report.dumpPath));
            return false;
        }
        report.dump = *fingerprint;
    }

    // What would never be sent goes first, so that it takes no live report's place.
    QList<KPendingReport> existing = entries();
    prune(existing, report.dumpPath);
    qint64 latest = 0;
    bool replaces = false;
    for (const KPendingReport &other : existing) {
        latest = qMax(latest, other.queuedAt);
        if (other.dumpPath == report.dumpPath) {
            replaces = true;
            // The same dump queued again: the attempts already made still count.
            if (other.dump == report.dump)
                report.attempts = qMax(report.attempts, other.attempts);
        }
    }
    report.queuedAt = qMax(QDateTime::currentMSecsSinceEpoch(), latest + 1);
    if (!write(report))
        return false;
    if (!replaces)
        LOG_INFO(QStringLiteral("The report of %1 is kept until the service accepts it.")
                     .arg(report.dumpPath));

    // The oldest live entries beyond the cap go; their dumps stay. One being sent is passed over.
    QList<KPendingReport> others;
    for (const KPendingReport &other : existing) {
        if (other.dumpPath != report.dumpPath)
            others.append(other);
    }
    qsizetype excess = others.size() + 1 - MaxEntries;
    for (qsizetype i = 0; i < others.size() && excess > 0; ++i) {
        const std::unique_ptr<QLockFile> lock = tryLock(others.at(i).dumpPath);
        if (!lock)
            continue;
        LOG_WARN(QStringLiteral("Too many unsent reports: the oldest, of %1, is dropped.")
                     .arg(others.at(i).dumpPath));
        remove(others.at(i).dumpPath);
        --excess;
    }
    return true;
}

bool KReportQueue::update(const KPendingReport &report) const
{
    return ensureFolder() && write(report);
}

QList<KPendingReport> KReportQueue::entriesToSend(const QString &exceptDump) const
{
    const QString except = exceptDump.isEmpty() ? QString() : absoluteDumpPath(exceptDump);
    QList<KPendingReport> result = entries();
    prune(result, except);
    result.removeIf([&except](const KPendingReport &report) { return report.dumpPath == except; });
    return result;
}

int KReportQueue::waitingCount(const QString &exceptDump) const
{
    const QString except = exceptDump.isEmpty() ? QString() : absoluteDumpPath(exceptDump);
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    int count = 0;
    for (const KPendingReport &report : entries()) {
        if (report.dumpPath != except && verdictOf(report, now) == Verdict::Live)
            ++count;
    }
    return count;
}

bool KReportQueue::remove(const QString &dumpPath) const
{
    const QString file = entryPath(dumpPath);
    return QFile::remove(file) || !QFileInfo::exists(file);
}

int KReportQueue::remainingCount() const
{
    switch (userPathKind(m_folder)) {
    case UserPathKind::Missing:
        return 0;
    case UserPathKind::Other:
        return -1;
    case UserPathKind::OwnFolder:
        break;
    }
    return int(QDir(m_folder)
                   .entryList({ QLatin1Char('*') + entrySuffix },
                       QDir::Files | QDir::Hidden | QDir::System)
                   .size());
}

std::unique_ptr<QLockFile> KReportQueue::tryLock(const QString &dumpPath, bool *heldByAnother) const
{
    if (heldByAnother)
        *heldByAnother = false;
    if (!ensureFolder())
        return nullptr;
    auto lock = std::make_unique<QLockFile>(lockPath(dumpPath));
    // A sending may take many minutes at the service's pace: only a holder that has died makes a
    // lock stale, never its age.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (heldByAnother)
            *heldByAnother = lock->error() == QLockFile::LockFailedError;
        return nullptr;
    }
    return lock;
}

namespace {
// The host name a lock file records, as QLockFile writes it: on Windows the computer's name from
// the environment (no name resolution), elsewhere the machine's host name.
QString lockHostName()
{
#ifdef Q_OS_WIN
    return qEnvironmentVariable("COMPUTERNAME");
#else
    return QSysInfo::machineHostName();
#endif
}
} // namespace

bool KReportQueue::stillHolds(const QLockFile &lock)
{
    qint64 pid = 0;
    QString host;
    QString application;
    return lock.isLocked() && lock.getLockInfo(&pid, &host, &application)
        && pid == QCoreApplication::applicationPid() && host == lockHostName();
}

void KReportQueue::abandon(std::unique_ptr<QLockFile> lock)
{
    // Reachable until the end, so that leak checkers see it kept, not lost.
    static QMutex mutex;
    static auto *abandoned = new QList<QLockFile *>;
    QMutexLocker locker(&mutex);
    abandoned->append(lock.release());
}
