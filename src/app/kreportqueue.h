#pragma once

#include "app/kdumpfingerprint.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QLockFile;

// One report that waits to be sent.
struct KPendingReport
{
    QString dumpPath; // absolute path of the dump file; the key of the entry
    QString comment; // the user's comment, as typed
    QDateTime reportTime; // the time the report's system line names, with its offset from UTC
    int version = -1; // Velmora's version number the report was made for
    qint64 queuedAt = 0; // milliseconds since the epoch; orders the queue, oldest first
    KDumpFingerprint dump; // the dump when it was queued; not valid in an entry of format 1
    int attempts = 0; // uploads of it that the service answered, and not with acceptance
};

// The reports that the service has not accepted yet, kept in a folder ("pending/" in the cache
// folder) until a reporter sends them. One file an entry, named after the dump's absolute path,
// so the same dump never has two entries. The queue owns the entries, never the dump files: a
// dump is only ever deleted by the reporter that sent it, after the service accepted it.
//
// Entry files are small JSON objects with a format number: format 2 records the dump's
// fingerprint (size, modification time, SHA-256) and the attempts; format 1, written by earlier
// versions, has neither and is dropped when read for sending (its dump cannot be told from a
// later one). The folder is open to the user alone (0700, set at every start) and so is every
// entry (0600); only entries that are regular files of the user are read. An entry that cannot be
// read as one of these formats is removed with a WARN line; one of a later format is left alone
// for the reporter that wrote it. A folder of another user is not used at all.
//
// What is dropped, with its dump left where it is: entries whose dump has gone (INFO), entries
// queued more than MaxAgeDays ago, entries without a fingerprint, and the oldest live entries
// beyond MaxEntries (WARN lines naming the dump).
//
// Sending: a reporter takes an entry's lock (a QLockFile beside the entry) before it sends the
// entry, rewrites or removes it, and holds it until the entry has been removed or the attempt has
// ended; a lock whose holder has died is taken over. An entry is dropped only under its lock, so
// an entry being sent is never dropped. The class keeps no state besides the folder's path:
// several objects, threads and processes may use one folder at once.
class KReportQueue
{
public:
    static constexpr int MaxEntries = 20;
    static constexpr int MaxAgeDays = 30;
    static constexpr int MaxAttempts = 5;
    static constexpr int FormatVersion = 2;

    explicit KReportQueue(const QString &folder);

    // "pending/" in the cache folder ("$HOME/.Velmora/cache/pending/").
    static QString defaultFolder();
    QString folder() const { return m_folder; }

    // Start-up: an existing folder is made owner-only; one that is not a folder of the user is
    // not used, with an ERROR line (false).
    bool secureFolder() const;
    // Whether the folder may be used: it does not exist yet, or it is a folder of the user.
    bool isUsable() const;

    // Writes the entry of report.dumpPath, replacing an earlier entry of the same dump; the
    // caller holds its lock. The fingerprint is taken now when the report has none. Dead, aged
    // and unverifiable entries are dropped first, then the oldest live entries beyond MaxEntries
    // (their dumps are left alone). queuedAt is set to now, later than every entry already
    // queued. False when the entry could not be written.
    bool add(KPendingReport report) const;
    // Writes an entry as it is (the attempts counted); the caller holds its lock.
    bool update(const KPendingReport &report) const;
    // Every entry that can be read, oldest first; damaged entries are removed.
    QList<KPendingReport> entries() const;
    // The entry of one dump.
    std::optional<KPendingReport> entry(const QString &dumpPath) const;
    // The entries to send, oldest first, without the one of exceptDump; dead, aged and
    // unverifiable entries are dropped on the way.
    QList<KPendingReport> entriesToSend(const QString &exceptDump = QString()) const;
    // How many entries wait that will be sent, without the one of exceptDump.
    int waitingCount(const QString &exceptDump = QString()) const;
    // Removes the entry of a dump; true when none is left.
    bool remove(const QString &dumpPath) const;
    // The entry files left in the folder, of any format and anybody's: 0 only when the queue is
    // empty; -1 when the folder cannot be used.
    int remainingCount() const;

    // Takes the lock of a dump's entry, or gives null when another holder has it or the folder
    // cannot be used. The entry is unlocked when the object is destroyed.
    // heldByAnother, when given, tells a lock that another live reporter holds apart from a lock
    // that cannot be taken at all (the folder or the file cannot be made).
    std::unique_ptr<QLockFile> tryLock(
        const QString &dumpPath, bool *heldByAnother = nullptr) const;
    // Whether a taken lock is still this process's: its file may have been removed, and the
    // lock taken by another reporter since.
    static bool stillHolds(const QLockFile &lock);
    // Lets go of a lock that is no longer this process's without unlocking it: unlocking would
    // remove the file of the reporter that holds it now. The object is kept aside, never
    // destroyed, until the process ends.
    static void abandon(std::unique_ptr<QLockFile> lock);

    // The file of a dump's entry, and of its lock.
    QString entryPath(const QString &dumpPath) const;
    QString lockPath(const QString &dumpPath) const;

    // The key of a dump: its absolute, clean path.
    static QString absoluteDumpPath(const QString &path);

private:
    enum class ReadResult { Ok, Missing, Damaged, LaterFormat, NotOwn };
    ReadResult read(const QString &file, KPendingReport &report) const;
    bool write(const KPendingReport &report) const;
    bool ensureFolder() const;
    // Why an entry would not be sent: Live when it would be.
    enum class Verdict { Live, Dead, Aged, Unverifiable };
    static Verdict verdictOf(const KPendingReport &report, qint64 now);
    // Drops the entries that would not be sent (each under its lock; one being sent stays), with
    // their lines, and leaves the rest in reports.
    void prune(QList<KPendingReport> &reports, const QString &keepDump) const;

    QString m_folder; // ends with a slash
};
