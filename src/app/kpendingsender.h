#pragma once

#include "app/kreportqueue.h"
#include "http/ktransportfailure.h"

#include <QString>

#include <functional>
#include <optional>

class KWebClient;
class QLockFile;

// Sends the reports that wait in a queue, one by one, through the web client: each with its
// saved comment behind the system line rebuilt with its saved time and version. A report is sent
// only under its entry's lock and only while its dump is the one that was queued; the dump and
// its entry are deleted only after the service accepted the report. A refusal by the service is
// final and so is the fifth answered failure: the entry goes, the dump stays. Failures to reach
// the service keep the entry as it was.
//
// Threads: every call blocks the calling thread while the web client works (the client's calls
// run on the thread that calls them, in a local event loop). The window calls sendReport, and the
// headless mode sendAll, on the web client's thread. The object holds no state of its own
// between calls besides the client and the queue's folder.
class KPendingSender
{
public:
    enum Outcome {
        Sent, // the service accepted it; dump and entry are gone
        Failed, // the upload failed; the entry stays
        Busy, // another reporter is sending it
        Gone, // the entry or its dump went meanwhile; nothing was sent
        Dropped, // refused, out of attempts, or its dump is not the one queued; the dump stays
    };

    KPendingSender(KWebClient *client, const KReportQueue &queue);

    // The upload's message: the system line with the report's saved time and version, then the
    // saved comment.
    static QString reportMessage(const KPendingReport &report);

    // Whether a failed upload was answered by the service (it was reached, and said no or
    // nothing sensible): those count as attempts. Failures to reach it do not.
    static bool serviceAnswered(int code, const KTransportFailure &failure);

    // The check an upload of the dump at dumpPath runs before its last bytes go out: the lock
    // (when given) is still this process's, and the dump is still the fingerprinted one (when
    // one is given), the bytes sent included. An empty text lets the bytes go.
    static std::function<QString(const QByteArray &sha256)> lastBytesCheck(const QLockFile *lock,
        const QString &dumpPath, const std::optional<KDumpFingerprint> &fingerprint);

    // Sends one queued report with the client signed in already: takes the entry's lock, reads
    // the entry again (another reporter may have sent it meanwhile), checks the dump against the
    // entry's fingerprint, uploads, and on acceptance deletes the dump and the entry. code
    // receives the upload's code when one ran.
    Outcome sendReport(const KPendingReport &report, int *code = nullptr) const;

    // The headless run: signs in with the login and password remembered in the settings store
    // and sends every queued report. 0 when no entry of any format is left at the end, 1
    // otherwise; the log says why entries remain.
    int sendAll() const;

    const KReportQueue &queue() const { return m_queue; }

private:
    enum class DumpState {
        Queued, // the regular file that was fingerprinted
        Gone, // nothing at its path
        Other, // another file, a changed one, or no regular file
    };
    // What lies at a report's dump path; readBytes compares the bytes too, not only size and time.
    static DumpState dumpState(const KPendingReport &report, bool readBytes);

    KWebClient *m_client;
    KReportQueue m_queue;
};
