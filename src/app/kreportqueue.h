#pragma once

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
};

// The reports that the service has not accepted yet, kept in a folder ("pending/" in the cache
// folder) until a reporter sends them. One file an entry, named after the dump's absolute path,
// so the same dump never has two entries. The dump files themselves stay where they are.
//
// Entry files are small JSON objects with a format number; the folder is open to the user alone
// (0700) and so is every entry (0600). An entry that cannot be read as an entry of this format is
// removed with a WARN line; one of a later format is left alone for the reporter that wrote it.
//
// Sending: a reporter takes an entry's lock (a QLockFile beside the entry) before it sends the
// entry and holds it until the entry has been removed or the attempt has failed; a lock whose
// holder has died is taken over. The class keeps no state besides the folder's path: several
// objects, threads and processes may use one folder at once.
class KReportQueue
{
public:
    static constexpr int MaxEntries = 20;
    static constexpr int FormatVersion = 1;

    explicit KReportQueue(const QString &folder);

    // "pending/" in the cache folder ("$HOME/.Velmora/cache/pending/").
    static QString defaultFolder();
    QString folder() const { return m_folder; }

    // Writes the entry of report.dumpPath, replacing an earlier entry of the same dump, and
    // drops the oldest entries beyond MaxEntries (their dumps are left alone). queuedAt is set to
    // now, later than every entry already queued. False when the entry could not be written.
    bool add(KPendingReport report) const;
    // Every entry that can be read, oldest first; damaged entries are removed.
    QList<KPendingReport> entries() const;
    // The entry of one dump.
    std::optional<KPendingReport> entry(const QString &dumpPath) const;
    // The entries to send, oldest first, without the one of exceptDump: an entry whose dump has
    // gone is removed with an INFO line.
    QList<KPendingReport> entriesToSend(const QString &exceptDump = QString()) const;
    // How many entries wait whose dumps exist, without the one of exceptDump.
    int waitingCount(const QString &exceptDump = QString()) const;
    // Removes the entry of a dump; true when none is left.
    bool remove(const QString &dumpPath) const;

    // Takes the lock of a dump's entry, or gives null when another holder has it. The entry is
    // unlocked when the object is destroyed.
    std::unique_ptr<QLockFile> tryLock(const QString &dumpPath) const;

    // The file of a dump's entry, and of its lock.
    QString entryPath(const QString &dumpPath) const;
    QString lockPath(const QString &dumpPath) const;

    // The key of a dump: its absolute, clean path.
    static QString absoluteDumpPath(const QString &path);

private:
    enum class ReadResult { Ok, Missing, Damaged, LaterFormat };
    ReadResult read(const QString &file, KPendingReport &report) const;
    bool ensureFolder() const;

    QString m_folder; // ends with a slash
};
