#include "app/kdumpreporterdlg.h"

#include "app/kpendingsender.h"
#include "app/reportheader.h"
#include "app/webclientinstance.h"
#include "base/processvalues.h"
#include "http/knetworkreply.h"
#include "logging/logging.h"
#include "settings/ksettingsmanager.h"
#include "skin/kfileiconengine.h"
#include "skin/pixelfont.h"
#include "skin/skinresources.h"
#include "webclient/kwebclient.h"

#include <QAbstractSocket>
#include <QAccessible>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLockFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace {
// The transport writes at most one chunk a pacing period (819 bytes every 100 ms).
constexpr double sendRateBytesPerSecond
    = KNetworkReply::sendChunkSize * 1000.0 / KNetworkReply::Timeouts {}.sendPeriodMs;
constexpr int progressScale = 1000;

// Numbers are written in the notation of the language shown (%L1: "14.2" in English, "14,2" in
// Russian and German), and a no-break space ("\xc2\xa0", UTF-8) keeps each number with its unit.
// A unit that begins with a hexadecimal digit ("B") stands in a literal of its own, so that the
// escape ends before it.

// Both sizes in the unit of the total: "46 / 284 KB".
QString sizesText(qint64 sent, qint64 total)
{
    if (total < 1024)
        return KDumpReporterDlg::tr("%L1 / %L2\xc2\xa0"
                                    "B")
            .arg(sent)
            .arg(total);
    if (total < 1024 * 1024)
        return KDumpReporterDlg::tr("%L1 / %L2\xc2\xa0KB").arg(sent / 1024).arg(total / 1024);
    const double mb = 1024.0 * 1024.0;
    return KDumpReporterDlg::tr("%L1 / %L2\xc2\xa0MB")
        .arg(double(sent) / mb, 0, 'f', 1)
        .arg(double(total) / mb, 0, 'f', 1);
}

// One size in the units of the progress text: "812 B", "300 KB", "14.2 MB".
QString sizeText(qint64 bytes)
{
    if (bytes < 1024)
        return KDumpReporterDlg::tr("%L1\xc2\xa0"
                                    "B")
            .arg(bytes);
    if (bytes < 1024 * 1024)
        return KDumpReporterDlg::tr("%L1\xc2\xa0KB").arg(bytes / 1024);
    return KDumpReporterDlg::tr("%L1\xc2\xa0MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
}

// "30 s left", "30:11 left", "2:05:11 left".
QString timeLeftText(qint64 bytesLeft)
{
    const qint64 seconds = qint64(double(bytesLeft) / sendRateBytesPerSecond + 0.999);
    const auto twoDigits
        = [](qint64 value) { return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0')); };
    if (seconds < 60)
        return KDumpReporterDlg::tr("%1\xc2\xa0s left").arg(seconds);
    if (seconds < 3600)
        return KDumpReporterDlg::tr("%1:%2 left").arg(seconds / 60).arg(twoDigits(seconds % 60));
    return KDumpReporterDlg::tr("%1:%2:%3 left")
        .arg(seconds / 3600)
        .arg(twoDigits(seconds / 60 % 60), twoDigits(seconds % 60));
}
} // namespace

KDumpReporterDlg::KDumpReporterDlg(const QString &dumpPath, QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint)
    , m_queue(KReportQueue::defaultFolder())
{
    ui.setupUi(this);
    // The small texts of the form: labels and buttons at 11 pixels, the progress bar's at 10.
    for (QWidget *widget : std::initializer_list<QWidget *> { ui.labelLogin, ui.labelPassword,
             ui.labelDumpFile, ui.labelComments, ui.buttonWhatIsSent, ui.checkBoxRestart,
             ui.labelProgress, ui.buttonSend, ui.buttonExit })
        setPixelFont(widget, 11);
    setPixelFont(ui.progressUpload, 10);
    m_sendingStateText = ui.labelProgress->text();
    // The icon is read when the system first draws it, not while the window is being made.
    registerSkinResources();
    setWindowIcon(
        KFileIconEngine::icon(QStringLiteral(":/icons/icons/application/velmora_dump.png")));
    // The header is never narrower than the window allows. Telling it so spares the word-wrapped
    // rich text the layout passes that look for its narrowest and its most pleasing width, which
    // the window never uses; what is shown stays the same.
    const QMargins margins = ui.verticalLayout->contentsMargins();
    ui.labelHeader->setMinimumWidth(minimumWidth() - margins.left() - margins.right());
    ui.lineEditDumpFile->setText(dumpPath);
    ui.lineEditLogin->setText(VM::KSettingsManager::login());
    ui.lineEditPassword->setText(VM::KSettingsManager::password());
    ui.textEditFeedback->setFocus();
    // Tab moves on to the next field; Ctrl+Tab types a tab character.
    ui.textEditFeedback->setTabChangesFocus(true);
    ui.textEditFeedback->installEventFilter(this);
    ui.checkBoxRestart->setVisible(false);

    connect(ui.buttonSend, &QPushButton::clicked, this, &KDumpReporterDlg::onSubmit);
    connect(ui.buttonExit, &QPushButton::clicked, this, &KDumpReporterDlg::onExit);
    connect(
        ui.buttonWhatIsSent, &QPushButton::clicked, this, &KDumpReporterDlg::onShowReportPreview);
    connect(ui.textEditFeedback, &QPlainTextEdit::textChanged, this,
        &KDumpReporterDlg::refreshReportPreview);
    connect(
        ui.lineEditLogin, &QLineEdit::textChanged, this, &KDumpReporterDlg::refreshReportPreview);
    onChangeWindowMode(false);

    // Log lines from any thread read the login through this copy, never the widget.
    setCurrentLogin(ui.lineEditLogin->text());
    connect(ui.lineEditLogin, &QLineEdit::textChanged, this,
        [](const QString &text) { setCurrentLogin(text); });

    if (KWebClient *client = webClient())
        connect(client, &KWebClient::uploadProgress, this, &KDumpReporterDlg::onUploadProgress);
    // Emitted on the client's thread: delivered queued, like the progress.
    if (KWebClient *client = webClient())
        connect(client, &KWebClient::requestConnected, this, &KDumpReporterDlg::onRequestConnected,
            Qt::QueuedConnection);
    // A tick well within each second: a timer may fire a little early, and the count must still
    // turn every second.
    m_stageTimer.setInterval(250);
    connect(&m_stageTimer, &QTimer::timeout, this, &KDumpReporterDlg::showStage);
    m_lockTimer.setInterval(250);
    connect(&m_lockTimer, &QTimer::timeout, this, &KDumpReporterDlg::onWaitForLock);

    // One line under the header names the earlier reports that this window sends after its own.
    const int earlier = m_queue.waitingCount(dumpPath);
    if (earlier > 0) {
        auto *pending = new QLabel(this);
        pending->setObjectName(QStringLiteral("labelPendingReports"));
        setPixelFont(pending, 11);
        pending->setWordWrap(true);
        pending->setText(tr(
            "%n earlier reports wait to be sent; they are sent after this one.", nullptr, earlier));
        ui.verticalLayout->insertWidget(1, pending);
    }

    setWindowFlags((windowFlags() & ~Qt::Dialog) | Qt::Window);
}

KDumpReporterDlg::~KDumpReporterDlg()
{
    // The window ends without the service having accepted a report the user chose to send: it
    // stays queued, with the comment the window shows last.
    if (m_sendPressed && !m_accepted)
        keepReport();
    m_ownLock.reset();
    setCurrentLogin(QString());
}

void KDumpReporterDlg::keepReport()
{
    // A refusal is final: the report is not kept for later.
    if (m_refused)
        return;
    const QString dumpPath = ui.lineEditDumpFile->text();
    if (!m_ownLock) {
        if (!m_queue.isUsable())
            return;
        bool held = false;
        m_ownLock = m_queue.tryLock(dumpPath, &held);
        if (!m_ownLock) {
            if (held)
                LOG_INFO(
                    QStringLiteral("The unsent report of %1 stays with the reporter that sends it.")
                        .arg(dumpPath));
            return;
        }
    }
    // The dump as it was at the first press that found bytes in it; read here only when the
    // window ends before a press got that far.
    if (!m_fingerprint)
        takeFingerprint(KDumpFingerprint::of(dumpPath));
    if (!m_fingerprint)
        return;
    KPendingReport report;
    report.dumpPath = dumpPath;
    report.comment = ui.textEditFeedback->toPlainText();
    report.reportTime = m_reportTime.isValid() ? m_reportTime : m_firstPress;
    report.version = versionNumber();
    report.dump = *m_fingerprint;
    m_queue.add(report);
}

void KDumpReporterDlg::startSending()
{
    const QString dumpPath = ui.lineEditDumpFile->text();
    if (!m_ownLock && m_queue.isUsable()) {
        bool held = false;
        m_ownLock = m_queue.tryLock(dumpPath, &held);
        if (!m_ownLock && held) {
            // Another reporter is sending this report: nothing goes out while it holds the lock.
            LOG_WARN(
                QStringLiteral("Another reporter holds the unsent report of %1").arg(dumpPath));
            setStage(Stage::Waiting);
            m_lockTimer.start();
            return;
        }
        // A lock that cannot be made at all: the report goes out without being kept for later.
        if (!m_ownLock)
            LOG_WARN(QStringLiteral("The report of %1 cannot be kept for later: its lock cannot "
                                    "be made in %2")
                         .arg(dumpPath, m_queue.folder()));
    }
    const auto queueAndSend = [this] {
        keepReport();
        QTimer::singleShot(20, this, &KDumpReporterDlg::onSubmitPerform);
    };
    if (m_fingerprint) {
        queueAndSend();
        return;
    }
    // The fingerprint reads the whole dump: on the client's thread, while the window repaints.
    auto fingerprint = std::make_shared<std::optional<KDumpFingerprint>>();
    const auto take = [fingerprint, dumpPath] {
        *fingerprint = KDumpFingerprint::of(dumpPath);
        return 0;
    };
    const auto taken = [this, fingerprint, queueAndSend](int) {
        if (m_leaving)
            return;
        takeFingerprint(*fingerprint);
        queueAndSend();
    };
    if (!webClient()) {
        taken(take());
        return;
    }
    runOnClient(take, taken);
}

void KDumpReporterDlg::takeFingerprint(const std::optional<KDumpFingerprint> &fingerprint)
{
    // A dump without bytes is no report yet: its fingerprint is taken again at the next press.
    if (fingerprint && fingerprint->size > 0)
        m_fingerprint = fingerprint;
}

void KDumpReporterDlg::onWaitForLock()
{
    if (m_leaving || !m_sending) {
        m_lockTimer.stop();
        return;
    }
    const QString dumpPath = ui.lineEditDumpFile->text();
    bool held = false;
    m_ownLock = m_queue.tryLock(dumpPath, &held);
    if (!m_ownLock && held)
        return;
    m_lockTimer.stop();
    if (!m_ownLock) {
        // The lock can no longer be made at all: the report goes out as it is.
        startSending();
        return;
    }
    if (m_queue.entry(dumpPath) || QFileInfo::exists(dumpPath)) {
        startSending();
        return;
    }
    // The other reporter's report was accepted: its entry and its dump went with that.
    LOG_INFO(QStringLiteral("The report of %1 has been sent by another reporter.").arg(dumpPath));
    m_accepted = true;
    m_ownLock.reset();
    // Said as a sent report of the window's own is confirmed, in the state line.
    confirmSent(tr("Another Velmora reporter has sent this report."));
}

void KDumpReporterDlg::onChangeWindowMode(bool bSubmitMode)
{
    const bool leavingSendingMode = !bSubmitMode && !ui.buttonSend->isEnabled();
    ui.labelProgress->setVisible(bSubmitMode);
    ui.progressUpload->setVisible(bSubmitMode);
    // While sending, the progress bar takes the room that the spacer keeps between the state line
    // and the buttons; the window itself never grows for the row.
    ui.horizontalSpacer->changeSize(
        bSubmitMode ? 0 : 40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum);
    ui.horizontalLayout_2->invalidate();
    // The fields show what is being sent: no typing while sending, though their text can still be
    // selected and copied.
    ui.lineEditLogin->setReadOnly(bSubmitMode);
    ui.lineEditPassword->setReadOnly(bSubmitMode);
    ui.textEditFeedback->setReadOnly(bSubmitMode);
    if (bSubmitMode) {
        // The focus leaves the button about to be disabled for the read-only comment, rather than
        // passing on to "Exit"; and "Exit" cannot become the default button by taking the focus.
        ui.textEditFeedback->setFocus(Qt::OtherFocusReason);
        ui.buttonExit->setAutoDefault(false);
        ui.buttonSend->setEnabled(false);
        ui.labelProgress->setText(m_sendingStateText);
        ui.progressUpload->setValue(0);
        announceState();
    } else {
        setStage(Stage::None);
        // Hidden, the bar keeps no text for a screen reader to find; the next attempt's first
        // text is described at once.
        ui.progressUpload->clearStatusText();
        ui.buttonSend->setEnabled(true);
        ui.buttonExit->setAutoDefault(true);
        ui.buttonSend->setDefault(true);
        // After a failed attempt, Return tries again.
        if (leavingSendingMode)
            ui.buttonSend->setFocus(Qt::OtherFocusReason);
    }
}

bool KDumpReporterDlg::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui.textEditFeedback && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::ControlModifier) {
            if (!ui.textEditFeedback->isReadOnly())
                ui.textEditFeedback->insertPlainText(QStringLiteral("\t"));
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void KDumpReporterDlg::keyPressEvent(QKeyEvent *event)
{
    // While sending, Return or Enter would press a button: a key pressed by habit ("did it
    // work?") must not abandon the report. Escape leaves as "Exit" does, and the report stays
    // queued: the keyboard's way out, and the way out when "Exit" is out of reach.
    if (m_sending) {
        switch (event->key()) {
        case Qt::Key_Escape:
            event->accept();
            onExit();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            return;
        default:
            break;
        }
    }
    QDialog::keyPressEvent(event);
}

void KDumpReporterDlg::onSubmit()
{
    if (!m_sendPressed) {
        m_sendPressed = true;
        m_firstPress = QDateTime::currentDateTime();
    }
    if (ui.lineEditLogin->text().trimmed().isEmpty()
        || ui.lineEditPassword->text().trimmed().isEmpty()) {
        QMessageBox::warning(this, tr("Please authenticate."),
            tr("Please provide your Velmora credentials to send the problem "
               "report. Thanks for your assistance."),
            QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    m_sending = true;
    onChangeWindowMode(true);
    m_refused = false;
    startSending();
}

void KDumpReporterDlg::onSubmitPerform()
{
    KWebClient *client = webClient();
    const QString login = ui.lineEditLogin->text();
    const QString password = ui.lineEditPassword->text();
    const QString dumpPath = ui.lineEditDumpFile->text();
    setStage(Stage::Connecting);

    // The window is back in editing mode (state line, progress row and its counter gone) before
    // the box tells what went wrong, so that nothing behind the box still claims to be sending.
    const auto showFailure = [this](int code, const QString &text) {
        LOG_WARN(QStringLiteral("Dump sending failed with the following code: %1").arg(code));
        onChangeWindowMode(false);
        m_sending = false;
        QMessageBox::critical(
            this, tr("Report sending failed"), text, QMessageBox::Ok, QMessageBox::NoButton);
    };
    const auto finishUpload = [this, dumpPath, showFailure](int code) {
        m_uploading = false;
        if (code == KWebClient::CallOk) {
            LOG_INFO(QStringLiteral("Dump sending succeeded."));
            // Only the file that was sent: the path may hold another one by now.
            if (!m_fingerprint || m_fingerprint->matchesFileAt(dumpPath))
                QFile::remove(dumpPath);
            m_accepted = true;
            if (m_ownLock)
                m_queue.remove(dumpPath);
            m_ownLock.reset();
            m_earlier = m_queue.entriesToSend(dumpPath);
            sendEarlierReports(0);
            return;
        }
        // The lock file may be another reporter's now: it stays as that reporter left it.
        if (m_ownLock && !KReportQueue::stillHolds(*m_ownLock))
            KReportQueue::abandon(std::move(m_ownLock));
        if (code == KWebClient::CallRefused) {
            // A refusal is final: the report is not kept for later; the dump stays.
            m_refused = true;
            if (m_ownLock)
                m_queue.remove(dumpPath);
            LOG_WARN(QStringLiteral("The service did not accept the report; it is not kept and its "
                                    "dump stays: %1")
                         .arg(dumpPath));
        }
        showFailure(code, failureText(code));
    };

    const auto afterSignIn = [this, client, login, dumpPath, finishUpload, showFailure](int code) {
        // No answer from the service: nobody was signed in, and an upload would only wait out the
        // same failure again.
        if (code == KWebClient::LoginNoAnswer) {
            finishUpload(code);
            return;
        }
        if (code == KWebClient::LoginInvalid) {
            onChangeWindowMode(false);
            m_sending = false;
            QMessageBox::critical(this, tr("Report sending failed"),
                tr("Report sending failed. Please provide valid Velmora "
                   "credentials."),
                QMessageBox::Ok, QMessageBox::NoButton);
            LOG_INFO(QStringLiteral("Unable to properly authenticate the user: %1").arg(login));
            return;
        }
        LOG_INFO(QStringLiteral("User %1 was succesfully authenticated. Will try sending the dump "
                                "now.")
                     .arg(login));
        // The dump must still be the one of the first press.
        if (!dumpData(dumpPath) || (m_fingerprint && !m_fingerprint->matchesFileAt(dumpPath))) {
            showFailure(KWebClient::CallBadResult, dumpFailureText());
            return;
        }
        const QDateTime now = QDateTime::currentDateTime();
        const QString message = reportHeader(versionNumber(), operatingSystemName(), now)
            + ui.textEditFeedback->toPlainText();
        if (!m_reportTime.isValid()) {
            m_reportTime = now;
            keepReport();
            refreshReportPreview();
        }
        m_uploading = true;
        m_dumpSize = QFileInfo(dumpPath).size();
        setStage(Stage::Connecting);
        // Before its last bytes, the upload checks that the lock is still this window's and the
        // dump still the one of the first press.
        const KWebClient::LastBytesCheck check
            = KPendingSender::lastBytesCheck(m_ownLock.get(), dumpPath, m_fingerprint);
        runOnClient(
            [client, message, dumpPath, check] {
                // The client reads the dump from its file while it sends it.
                return client->uploadFeedbackFile(message, dumpPath, true, check);
            },
            finishUpload);
    };

    runOnClient(
        [client, login, password] {
            QString company;
            bool newUser = false;
            return client->login(login, password, company, newUser, nullptr);
        },
        afterSignIn);
}

QString KDumpReporterDlg::dumpFailureText()
{
    return tr("Report sending failed. Please make sure that the specified dump file exists and try "
              "again later.");
}

QString KDumpReporterDlg::failureText(int code) const
{
    const KWebClient *client = webClient();
    const int silenceMs = KNetworkReply::defaultTimeouts().silenceMs >= 0
        ? KNetworkReply::defaultTimeouts().silenceMs
        : (client ? client->requestTimeout() : KWebClient::DefaultRequestTimeoutMs);
    // The report is kept in the queue from the press of "Send Report" on, unless its dump held
    // no bytes then.
    const bool kept = m_queue.entry(ui.lineEditDumpFile->text()).has_value();
    return failureText(code, client ? client->lastFailure() : KTransportFailure(), kept,
        std::max(1, (silenceMs + 999) / 1000));
}

QString KDumpReporterDlg::failureText(
    int code, const KTransportFailure &failure, bool kept, int silenceSeconds)
{
    if (code == KWebClient::CallRefused)
        return tr("Report sending failed. The Velmora service did not accept the report.");

    // The service could not be reached: the network, the proxy, or the secure connection.
    const auto unreachable = [kept](const QString &cause) {
        return kept ? tr("Report sending failed. Could not connect to the Velmora service: %1. "
                         "Please check your network connection; the report is kept and will be "
                         "sent later.")
                          .arg(cause)
                    : tr("Report sending failed. Could not connect to the Velmora service: %1. "
                         "Please check your network connection and try again later.")
                          .arg(cause);
    };
    // The service was reached, and what came back was no proper answer.
    const auto broken = [kept](const QString &cause) {
        return kept ? tr("Report sending failed. The Velmora service did not answer properly: "
                         "%1. The report is kept and will be sent later.")
                          .arg(cause)
                    : tr("Report sending failed. The Velmora service did not answer properly: "
                         "%1. Please try again later.")
                          .arg(cause);
    };

    if (code == KWebClient::CallBadResult)
        return broken(tr("its answer did not confirm the report"));

    switch (failure.kind) {
    case KTransportFailure::ConnectFailed:
        if (failure.socketError == QAbstractSocket::ConnectionRefusedError)
            return unreachable(tr("the connection was refused"));
        if (failure.socketError == QAbstractSocket::HostNotFoundError)
            return unreachable(tr("the server could not be found"));
        return unreachable(tr("the network did not reach the server"));
    case KTransportFailure::ConnectTimeout:
        return unreachable(tr("the connection timed out"));
    case KTransportFailure::TlsHandshakeFailed:
        return unreachable(tr("the secure connection could not be set up"));
    case KTransportFailure::CertificateUntrusted:
        return unreachable(tr("the server's certificate is not trusted"));
    case KTransportFailure::ProxyAuthentication:
        if (failure.proxyLoginRefused)
            return unreachable(tr("the proxy did not accept the stored proxy login"));
        return unreachable(tr("the proxy asked for a login that is not stored"));
    case KTransportFailure::ProxyFailed:
        return unreachable(tr("the proxy could not be reached or would not connect"));
    case KTransportFailure::Silence:
        return unreachable(tr("no answer within %n seconds", nullptr, silenceSeconds));
    case KTransportFailure::WriteFailed:
        return unreachable(tr("the connection stopped taking the report"));
    case KTransportFailure::ClosedBeforeHeader:
        return broken(tr("the connection was closed before an answer came"));
    case KTransportFailure::InvalidHeader:
        return broken(tr("the service sent an answer that could not be read"));
    case KTransportFailure::BrokenStream:
        return broken(tr("the service's answer broke off"));
    case KTransportFailure::AnswerTooLarge:
        return broken(tr("the service's answer was too large"));
    case KTransportFailure::AnsweredEarly:
        return broken(
            tr("the service stopped the report before it was complete (%1)").arg(failure.detail));
    case KTransportFailure::HttpStatus:
        return broken(tr("the service answered with the error %1").arg(failure.detail));
    case KTransportFailure::BodySourceFailed:
        // The dump file could not be read while it was sent.
        return dumpFailureText();
    case KTransportFailure::None:
    case KTransportFailure::Aborted:
        break;
    }
    // Every request was answered, and the service would not sign the user in (again).
    return kept ? tr("Report sending failed. The Velmora service did not accept the sign-in. The "
                     "report is kept and will be sent later.")
                : tr("Report sending failed. The Velmora service did not accept the sign-in.");
}

void KDumpReporterDlg::sendEarlierReports(qsizetype index)
{
    if (m_leaving)
        return;
    if (index >= m_earlier.size()) {
        confirmSent();
        return;
    }
    const qsizetype total = m_earlier.size();
    ui.labelProgress->setText(tr("Sending earlier report %1 of %2…").arg(index + 1).arg(total));
    announceState();
    ui.progressUpload->setValue(0);
    m_uploading = true;
    const KPendingReport report = m_earlier.at(index);
    m_dumpSize = QFileInfo(report.dumpPath).size();
    setStage(Stage::Connecting);
    const auto sender = std::make_shared<const KPendingSender>(webClient(), m_queue);
    runOnClient(
        [sender, report, index, total] {
            int code = 0;
            const KPendingSender::Outcome outcome = sender->sendReport(report, &code);
            if (outcome == KPendingSender::Sent)
                LOG_INFO(QStringLiteral("Earlier report %1 of %2 sent: %3")
                             .arg(index + 1)
                             .arg(total)
                             .arg(report.dumpPath));
            else if (outcome == KPendingSender::Failed)
                LOG_WARN(QStringLiteral("Earlier report %1 of %2 failed with the following code: "
                                        "%3; it stays queued: %4")
                             .arg(index + 1)
                             .arg(total)
                             .arg(code)
                             .arg(report.dumpPath));
            else if (outcome == KPendingSender::Busy)
                LOG_INFO(QStringLiteral("Earlier report %1 of %2 is being sent by another "
                                        "reporter: %3")
                             .arg(index + 1)
                             .arg(total)
                             .arg(report.dumpPath));
            return int(outcome);
        },
        [this, index](int) {
            m_uploading = false;
            sendEarlierReports(index + 1);
        });
}

void KDumpReporterDlg::confirmSent(const QString &text)
{
    // The flow is over: nothing is sent any more, and the report cannot be sent twice.
    m_sending = false;
    setStage(Stage::None);
    ui.progressUpload->clearStatusText();
    ui.progressUpload->setVisible(false);
    ui.buttonSend->setEnabled(false);
    ui.labelProgress->setText(
        QStringLiteral("<p style=\" margin:0px;\"><span style=\" font-size:10px; "
                       "font-weight:600;\">%1</span></p>")
            .arg((text.isEmpty() ? tr("The report has been sent. Thank you!") : text)
                     .toHtmlEscaped()));
    ui.labelProgress->setVisible(true);
    announceState();
    // Exit, Escape or closing the window end it sooner, the same way.
    QTimer::singleShot(m_confirmationMs, this, [this] {
        restartIfChecked();
        QCoreApplication::exit(0);
    });
}

void KDumpReporterDlg::runOnClient(std::function<int()> work, std::function<void(int)> done)
{
    KWebClient *client = webClient();
    if (!client) {
        done(KWebClient::CallFailed);
        return;
    }
    // The window outlives the client's thread: start-up destroys the client (joining its thread)
    // before the window, so the answer always finds the window.
    QPointer<KDumpReporterDlg> self(this);
    QMetaObject::invokeMethod(
        client,
        [self, work = std::move(work), done = std::move(done)] {
            const int result = work();
            if (self) {
                QMetaObject::invokeMethod(
                    self.data(),
                    [self, done, result] {
                        if (self)
                            done(result);
                    },
                    Qt::QueuedConnection);
            }
        },
        Qt::QueuedConnection);
}

void KDumpReporterDlg::onUploadProgress(qint64 bytesSent, qint64 bytesTotal)
{
    if (!m_uploading)
        return;
    setStage(Stage::Uploading);
    showUploadProgress(bytesSent, bytesTotal);
}

void KDumpReporterDlg::onRequestConnected(const QString &method)
{
    // The sign-in's connection is made: what is left is the sign-in itself. An upload's
    // connection shows its bytes as soon as they go out.
    if (m_sending && method == QLatin1String("login"))
        setStage(Stage::SigningIn);
}

void KDumpReporterDlg::setStage(Stage stage)
{
    m_stage = stage;
    m_stageClock.start();
    if (stage == Stage::Connecting || stage == Stage::SigningIn) {
        // Busy: how long this takes is unknown, and a screen reader announces the activity.
        ui.progressUpload->setRange(0, 0);
        m_stageTimer.start();
        showStage();
    } else {
        m_stageTimer.stop();
        // Waiting for another reporter counts no seconds, and is busy all the same.
        ui.progressUpload->setRange(0, stage == Stage::Waiting ? 0 : progressScale);
        if (stage == Stage::Waiting)
            showStage();
    }
}

void KDumpReporterDlg::showStage()
{
    const qint64 seconds = m_stageClock.elapsed() / 1000;
    QString text;
    if (m_stage == Stage::Connecting)
        text = tr("Connecting… %1\xc2\xa0s").arg(seconds);
    else if (m_stage == Stage::SigningIn)
        text = tr("Signing in… %1\xc2\xa0s").arg(seconds);
    else if (m_stage == Stage::Waiting)
        text = tr("Another Velmora reporter is sending this report…");
    else
        return;
    ui.progressUpload->setStatusText(text);
}

void KDumpReporterDlg::showUploadProgress(qint64 bytesSent, qint64 bytesTotal)
{
    if (bytesTotal <= 0)
        return;
    // The sizes shown are the dump's, the bytes the user knows, in the proportion of the request
    // written so far; the time left is that of the request's bytes.
    const qint64 shownTotal = m_dumpSize > 0 ? m_dumpSize : bytesTotal;
    const qint64 shownSent = qint64(double(bytesSent) / double(bytesTotal) * double(shownTotal));
    ui.progressUpload->setValue(int(bytesSent * progressScale / bytesTotal));
    // A screen reader reads the bar's text as its description, at most once a second.
    ui.progressUpload->setStatusText(progressText(shownSent, shownTotal, bytesTotal - bytesSent));
}

void KDumpReporterDlg::announceState()
{
    // The state line changes while the focus stays elsewhere: a screen reader learns of it from
    // its name changing.
    QAccessibleEvent event(ui.labelProgress, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
}

QString KDumpReporterDlg::progressText(qint64 bytesSent, qint64 bytesTotal)
{
    return progressText(bytesSent, bytesTotal, bytesTotal - bytesSent);
}

QString KDumpReporterDlg::progressText(qint64 shownSent, qint64 shownTotal, qint64 bytesLeftToSend)
{
    return tr("%1, %2").arg(
        sizesText(shownSent, shownTotal), timeLeftText(qMax<qint64>(0, bytesLeftToSend)));
}

QByteArray KDumpReporterDlg::dumpData()
{
    const QString path = ui.lineEditDumpFile->text();
    if (!dumpData(path))
        return QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

bool KDumpReporterDlg::dumpData(const QString &path)
{
    if (!QFile::exists(path)) {
        LOG_WARN(QStringLiteral("Dump sending failed: file not found %1").arg(path));
        return false;
    }
    const QFileInfo file(path);
    return file.isFile() && file.isReadable() && file.size() > 0;
}

void KDumpReporterDlg::onExit()
{
    // A report in flight is abandoned: its request stops, and the dump file stays.
    m_leaving = true;
    if (m_sending) {
        if (KWebClient *client = webClient())
            client->abortRequest();
    }
    restartIfChecked();
    QCoreApplication::exit(0);
}

void KDumpReporterDlg::done(int result)
{
    // Closing the window (or Escape) ends it as Exit does.
    if (m_preview)
        m_preview->close();
    restartIfChecked();
    QDialog::done(result);
}

void KDumpReporterDlg::setRestartCommand(const QString &commandLine, Starter starter)
{
    const std::optional<RestartCommand> command = parseRestartCommand(commandLine);
    if (!command) {
        LOG_WARN(QStringLiteral("The restart command has a quote that is not closed: Velmora is "
                                "not restarted: %1")
                     .arg(commandLine));
        return;
    }
    if (command->program.isEmpty()) {
        LOG_WARN(QStringLiteral("The restart command is empty: Velmora is not restarted."));
        return;
    }
    m_restartCommand = commandLine;
    m_restart = *command;
    m_restartStarter = starter ? std::move(starter) : Starter(&startDetached);
    ui.checkBoxRestart->setChecked(true);
    ui.checkBoxRestart->setVisible(true);
}

void KDumpReporterDlg::restartIfChecked()
{
    if (m_restartDone || m_restartCommand.isEmpty() || !ui.checkBoxRestart->isChecked())
        return;
    m_restartDone = true;
    LOG_INFO(QStringLiteral("Restarting Velmora: %1").arg(m_restartCommand));
    if (!m_restartStarter(m_restart))
        LOG_WARN(QStringLiteral("Velmora could not be restarted: %1").arg(m_restartCommand));
}

QString KDumpReporterDlg::reportPreview() const
{
    const QDateTime time = m_reportTime.isValid() ? m_reportTime : QDateTime::currentDateTime();
    const QString comment = ui.textEditFeedback->toPlainText();
    const QFileInfo dump(ui.lineEditDumpFile->text());
    const QString dumpText = dump.isFile()
        ? tr("%1, %2").arg(dump.fileName(), sizeText(dump.size()))
        : tr("%1 (the file is missing)").arg(dump.fileName());
    const KWebClient *client = webClient();
    const QString address = client
        ? client->makeApiUrl(QStringLiteral("upload_feedback2")).toString()
        : QStringLiteral("https://") + KWebClient::apiHost();

    QString text = tr("The report's text:") + QLatin1Char('\n');
    text += reportHeader(versionNumber(), operatingSystemName(), time);
    text += comment.isEmpty() ? tr("(no comment)") : comment;
    text += QStringLiteral("\n\n");
    text += tr("Dump file: %1").arg(dumpText) + QLatin1Char('\n');
    text += tr("Login: %1").arg(ui.lineEditLogin->text()) + QLatin1Char('\n');
    text += tr("Sent to: %1").arg(address) + QStringLiteral("\n\n");
    text += tr("Your password signs you in to the service; it is not part of the report.");
    return text;
}

void KDumpReporterDlg::onShowReportPreview()
{
    if (!m_preview) {
        auto *preview = new QDialog(this);
        preview->setObjectName(QStringLiteral("dialogReportPreview"));
        preview->setWindowTitle(tr("What will be sent"));
        preview->resize(560, 360);
        auto *layout = new QVBoxLayout(preview);
        m_previewText = new QPlainTextEdit(preview);
        m_previewText->setObjectName(QStringLiteral("textReportPreview"));
        m_previewText->setReadOnly(true);
        m_previewText->setTabChangesFocus(true);
        m_previewText->setAccessibleName(tr("What will be sent"));
        layout->addWidget(m_previewText);
        auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, preview);
        connect(buttons, &QDialogButtonBox::rejected, preview, &QDialog::close);
        layout->addWidget(buttons);
        m_preview = preview;
    }
    refreshReportPreview();
    m_preview->show();
    m_preview->raise();
    m_preview->activateWindow();
    m_previewText->setFocus(Qt::OtherFocusReason);
}

void KDumpReporterDlg::refreshReportPreview()
{
    if (!m_preview)
        return;
    m_previewText->setPlainText(reportPreview());
}
