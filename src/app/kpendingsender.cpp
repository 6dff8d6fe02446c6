#include "app/kpendingsender.h"

#include "app/reportheader.h"
#include "logging/logging.h"
#include "settings/ksettingsmanager.h"
#include "webclient/kwebclient.h"

#include <QFile>
#include <QFileInfo>
#include <QLockFile>

KPendingSender::KPendingSender(KWebClient *client, const KReportQueue &queue)
    : m_client(client)
    , m_queue(queue)
{ }

QString KPendingSender::reportMessage(const KPendingReport &report)
{
    return reportHeader(report.version, operatingSystemName(), report.reportTime) + report.comment;
}

bool KPendingSender::serviceAnswered(int code, const KTransportFailure &failure)
{
    if (code == KWebClient::CallBadResult || code == KWebClient::CallRefused)
        return true;
    switch (failure.kind) {
    case KTransportFailure::ClosedBeforeHeader:
    case KTransportFailure::InvalidHeader:
    case KTransportFailure::BrokenStream:
    case KTransportFailure::AnswerTooLarge:
    case KTransportFailure::AnsweredEarly:
    case KTransportFailure::HttpStatus:
        return true;
    default:
        return false;
    }
}

std::function<QString(const QByteArray &)> KPendingSender::lastBytesCheck(const QLockFile *lock,
    const QString &dumpPath, const std::optional<KDumpFingerprint> &fingerprint)
{
    return [lock, dumpPath, fingerprint](const QByteArray &sha256) {
        if (lock && !KReportQueue::stillHolds(*lock))
            return QStringLiteral("another reporter holds the report of %1 now").arg(dumpPath);
        if (fingerprint && (!fingerprint->matchesFileAt(dumpPath) || sha256 != fingerprint->sha256))
            return QStringLiteral("the dump %1 is not the one that was queued").arg(dumpPath);
        return QString();
    };
}

KPendingSender::DumpState KPendingSender::dumpState(const KPendingReport &report, bool readBytes)
{
    const QFileInfo dump(report.dumpPath);
    if (!dump.exists() && !dump.isSymLink())
        return DumpState::Gone;
    if (!report.dump.matchesFileAt(report.dumpPath))
        return DumpState::Other;
    if (readBytes) {
        const std::optional<KDumpFingerprint> now = KDumpFingerprint::of(report.dumpPath);
        if (!now || *now != report.dump)
            return DumpState::Other;
    }
    return DumpState::Queued;
}

KPendingSender::Outcome KPendingSender::sendReport(const KPendingReport &report, int *code) const
{
    std::unique_ptr<QLockFile> lock = m_queue.tryLock(report.dumpPath);
    if (!lock)
        return Busy;
    // Read again under the lock: another reporter may have sent it, or a window changed its
    // comment, since the queue was listed.
    const std::optional<KPendingReport> current = m_queue.entry(report.dumpPath);
    if (!current)
        return Gone;
    const QString &dumpPath = current->dumpPath;

    // The entry goes, the dump stays.
    const auto drop = [this, &dumpPath](DumpState state) {
        if (state == DumpState::Gone)
            LOG_INFO(QStringLiteral("The dump of an unsent report has gone or holds no bytes; the "
                                    "report is dropped: %1")
                         .arg(dumpPath));
        else
            LOG_WARN(QStringLiteral("The dump of an unsent report is not the one that was queued; "
                                    "the report is dropped and the dump kept: %1")
                         .arg(dumpPath));
        m_queue.remove(dumpPath);
        return state == DumpState::Gone ? Gone : Dropped;
    };
    // Every byte is read before any goes out: the service never sees a file that was not
    // queued, not even in part.
    const DumpState before = dumpState(*current, true);
    if (before != DumpState::Queued)
        return drop(before);

    if (!m_client) {
        if (code)
            *code = KWebClient::CallFailed;
        return Failed;
    }
    const int result = m_client->uploadFeedbackFile(reportMessage(*current), dumpPath, true,
        lastBytesCheck(lock.get(), dumpPath, current->dump));
    if (code)
        *code = result;

    if (result == KWebClient::CallOk) {
        // The path may have become another file since the last bytes went out.
        if (!current->dump.matchesFileAt(dumpPath))
            LOG_WARN(
                QStringLiteral("The sent dump has changed since and is kept: %1").arg(dumpPath));
        else if (!QFile::remove(dumpPath) && QFileInfo::exists(dumpPath))
            LOG_WARN(QStringLiteral("The sent dump could not be deleted: %1").arg(dumpPath));
        m_queue.remove(dumpPath);
        return Sent;
    }
    if (result == KWebClient::CallRefused) {
        LOG_WARN(QStringLiteral("The service did not accept the unsent report; it is dropped and "
                                "its dump kept: %1")
                     .arg(dumpPath));
        m_queue.remove(dumpPath);
        return Dropped;
    }

    const KTransportFailure failure = m_client->lastFailure();
    if (failure.kind == KTransportFailure::BodySourceFailed) {
        // Stopped before its last bytes: the lock or the dump was lost meanwhile.
        if (!KReportQueue::stillHolds(*lock)) {
            // The lock file is another holder's now: it stays as that holder left it.
            KReportQueue::abandon(std::move(lock));
            return Busy;
        }
        const DumpState after = dumpState(*current, false);
        if (after != DumpState::Queued)
            return drop(after);
        return Failed;
    }
    if (!serviceAnswered(result, failure))
        return Failed;
    KPendingReport counted = *current;
    ++counted.attempts;
    if (counted.attempts >= KReportQueue::MaxAttempts) {
        LOG_WARN(QStringLiteral("An unsent report was not accepted in %1 attempts; it is dropped "
                                "and its dump kept: %2")
                     .arg(KReportQueue::MaxAttempts)
                     .arg(dumpPath));
        m_queue.remove(dumpPath);
        return Dropped;
    }
    m_queue.update(counted);
    return Failed;
}

int KPendingSender::sendAll() const
{
    // A folder of another user was named at the start, with an ERROR line.
    if (!m_queue.isUsable())
        return 1;
    const QList<KPendingReport> reports = m_queue.entriesToSend();
    if (reports.isEmpty()) {
        LOG_INFO(QStringLiteral("Unsent reports to send: none."));
        const int left = m_queue.remainingCount();
        if (left != 0) {
            LOG_WARN(QStringLiteral("Unsent reports left in the queue: %1").arg(left));
            return 1;
        }
        return 0;
    }

    const QString login = VM::KSettingsManager::login();
    const QString password = VM::KSettingsManager::password();
    if (login.trimmed().isEmpty() || password.trimmed().isEmpty()) {
        LOG_WARN(QStringLiteral("No login and password are remembered: %1 unsent reports stay "
                                "queued.")
                     .arg(reports.size()));
        return 1;
    }
    QString company;
    bool newUser = false;
    const int signIn = m_client ? m_client->login(login, password, company, newUser, nullptr)
                                : int(KWebClient::LoginNoAnswer);
    if (signIn != KWebClient::LoginOk) {
        LOG_WARN(QStringLiteral("Sign-in of %1 failed with the following code: %2; %3 unsent "
                                "reports stay queued.")
                     .arg(login)
                     .arg(signIn)
                     .arg(reports.size()));
        return 1;
    }
    LOG_INFO(QStringLiteral("User %1 was succesfully authenticated. Will try sending %2 unsent "
                            "reports now.")
                 .arg(login)
                 .arg(reports.size()));

    int dropped = 0;
    for (qsizetype i = 0; i < reports.size(); ++i) {
        const KPendingReport &report = reports.at(i);
        int code = KWebClient::CallOk;
        switch (sendReport(report, &code)) {
        case Sent:
            LOG_INFO(QStringLiteral("Unsent report %1 of %2 sent: %3")
                         .arg(i + 1)
                         .arg(reports.size())
                         .arg(report.dumpPath));
            break;
        case Failed:
            LOG_WARN(QStringLiteral("Unsent report %1 of %2 failed with the following code: %3; it "
                                    "stays queued: %4")
                         .arg(i + 1)
                         .arg(reports.size())
                         .arg(code)
                         .arg(report.dumpPath));
            break;
        case Busy:
            LOG_INFO(QStringLiteral("Unsent report %1 of %2 is being sent by another reporter: %3")
                         .arg(i + 1)
                         .arg(reports.size())
                         .arg(report.dumpPath));
            break;
        case Dropped:
            ++dropped;
            break;
        case Gone:
            break;
        }
    }

    const int left = m_queue.remainingCount();
    if (left != 0) {
        LOG_WARN(QStringLiteral("Unsent reports left in the queue: %1").arg(left));
        return 1;
    }
    if (dropped == 0)
        LOG_INFO(QStringLiteral("Every unsent report has been sent."));
    else
        LOG_INFO(QStringLiteral("No unsent report is left in the queue; %1 were dropped (see the "
                                "lines above).")
                     .arg(dropped));
    return 0;
}
