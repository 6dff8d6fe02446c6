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

KPendingSender::Outcome KPendingSender::sendReport(const KPendingReport &report, int *code) const
{
    const std::unique_ptr<QLockFile> lock = m_queue.tryLock(report.dumpPath);
    if (!lock)
        return Busy;
    // Read again under the lock: another reporter may have sent it, or a window changed its
    // comment, since the queue was listed.
    const std::optional<KPendingReport> current = m_queue.entry(report.dumpPath);
    if (!current)
        return Gone;
    const QFileInfo dump(current->dumpPath);
    if (!dump.isFile() || dump.size() <= 0) {
        LOG_INFO(QStringLiteral("The dump of an unsent report has gone or holds no bytes; the "
                                "report is dropped: %1")
                     .arg(current->dumpPath));
        m_queue.remove(current->dumpPath);
        return Gone;
    }
    if (!m_client) {
        if (code)
            *code = KWebClient::CallFailed;
        return Failed;
    }
    const int result
        = m_client->uploadFeedbackFile(reportMessage(*current), current->dumpPath, true);
    if (code)
        *code = result;
    if (result != KWebClient::CallOk)
        return Failed;
    if (!QFile::remove(current->dumpPath) && QFileInfo::exists(current->dumpPath))
        LOG_WARN(QStringLiteral("The sent dump could not be deleted: %1").arg(current->dumpPath));
    m_queue.remove(current->dumpPath);
    return Sent;
}

int KPendingSender::sendAll() const
{
    const QList<KPendingReport> reports = m_queue.entriesToSend();
    if (reports.isEmpty()) {
        const qsizetype left = m_queue.entries().size();
        LOG_INFO(QStringLiteral("Unsent reports to send: none."));
        return left == 0 ? 0 : 1;
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
        case Gone:
            break;
        }
    }

    const qsizetype left = m_queue.entries().size();
    if (left > 0) {
        LOG_WARN(QStringLiteral("Unsent reports left in the queue: %1").arg(left));
        return 1;
    }
    LOG_INFO(QStringLiteral("Every unsent report has been sent."));
    return 0;
}
