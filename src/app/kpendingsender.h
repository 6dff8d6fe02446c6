#pragma once

#include "app/kreportqueue.h"

#include <QString>

class KWebClient;

// Sends the reports that wait in a queue, one by one, through the web client: each with its
// saved comment behind the system line rebuilt with its saved time and version. A dump and its
// entry are deleted only after the service accepted the report; what fails stays queued.
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
    };

    KPendingSender(KWebClient *client, const KReportQueue &queue);

    // The upload's message: the system line with the report's saved time and version, then the
    // saved comment.
    static QString reportMessage(const KPendingReport &report);

    // Sends one queued report with the client signed in already: takes the entry's lock, reads
    // the entry again (another reporter may have sent it meanwhile), uploads, and on acceptance
    // deletes the dump and the entry. code receives the upload's code when one ran.
    Outcome sendReport(const KPendingReport &report, int *code = nullptr) const;

    // The headless run: signs in with the login and password remembered in the settings store
    // and sends every queued report. 0 when the queue is empty at the end, 1 when reports remain;
    // the log says why they remain.
    int sendAll() const;

    const KReportQueue &queue() const { return m_queue; }

private:
    KWebClient *m_client;
    KReportQueue m_queue;
};
