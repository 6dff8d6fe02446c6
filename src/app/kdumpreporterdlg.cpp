#include "app/kdumpreporterdlg.h"

#include "app/reportheader.h"
#include "app/webclientinstance.h"
#include "base/processvalues.h"
#include "http/knetworkreply.h"
#include "logging/logging.h"
#include "settings/ksettingsmanager.h"
#include "webclient/kwebclient.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

namespace {
// The transport writes at most one chunk a pacing period (819 bytes every 100 ms).
constexpr double sendRateBytesPerSecond
    = KNetworkReply::sendChunkSize * 1000.0 / KNetworkReply::Timeouts {}.sendPeriodMs;
constexpr int progressScale = 1000;

// Both sizes in the unit of the total: "46 / 284 KB".
QString sizesText(qint64 sent, qint64 total)
{
    if (total < 1024)
        return QStringLiteral("%1 / %2 B").arg(sent).arg(total);
    if (total < 1024 * 1024)
        return QStringLiteral("%1 / %2 KB").arg(sent / 1024).arg(total / 1024);
    const double mb = 1024.0 * 1024.0;
    return QStringLiteral("%1 / %2 MB")
        .arg(double(sent) / mb, 0, 'f', 1)
        .arg(double(total) / mb, 0, 'f', 1);
}
} // namespace

KDumpReporterDlg::KDumpReporterDlg(const QString &dumpPath, QWidget *parent, Qt::WindowFlags flags)
    : QDialog(parent, flags | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint)
{
    ui.setupUi(this);
    ui.lineEditDumpFile->setText(dumpPath);
    ui.lineEditLogin->setText(VM::KSettingsManager::login());
    ui.lineEditPassword->setText(VM::KSettingsManager::password());
    ui.textEditFeedback->setFocus();

    connect(ui.buttonSend, &QPushButton::clicked, this, &KDumpReporterDlg::onSubmit);
    connect(ui.buttonExit, &QPushButton::clicked, this, &KDumpReporterDlg::onExit);
    onChangeWindowMode(false);

    // Log lines from any thread read the login through this copy, never the widget.
    setCurrentLogin(ui.lineEditLogin->text());
    connect(ui.lineEditLogin, &QLineEdit::textChanged, this,
        [](const QString &text) { setCurrentLogin(text); });

    if (KWebClient *client = webClient())
        connect(client, &KWebClient::uploadProgress, this, &KDumpReporterDlg::onUploadProgress);

    setWindowFlags((windowFlags() & ~Qt::Dialog) | Qt::Window);
}

KDumpReporterDlg::~KDumpReporterDlg()
{
    setCurrentLogin(QString());
}

void KDumpReporterDlg::onChangeWindowMode(bool bSubmitMode)
{
    ui.labelProgress->setVisible(bSubmitMode);
    ui.progressUpload->setVisible(bSubmitMode);
    ui.buttonSend->setEnabled(!bSubmitMode);
    if (bSubmitMode) {
        ui.progressUpload->setValue(0);
        ui.progressUpload->setFormat(QString());
    }
}

void KDumpReporterDlg::onSubmit()
{
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
    QTimer::singleShot(20, this, &KDumpReporterDlg::onSubmitPerform);
}

void KDumpReporterDlg::onSubmitPerform()
{
    KWebClient *client = webClient();
    const QString login = ui.lineEditLogin->text();
    const QString password = ui.lineEditPassword->text();
    const QString dumpPath = ui.lineEditDumpFile->text();

    const auto finishUpload = [this, dumpPath](int code) {
        m_uploading = false;
        if (code == KWebClient::CallOk) {
            LOG_INFO(QStringLiteral("Dump sending succeeded."));
            QFile::remove(dumpPath);
            QCoreApplication::exit(0);
            onChangeWindowMode(false);
            m_sending = false;
            return;
        }
        LOG_WARN(QStringLiteral("Dump sending failed with the following code: %1").arg(code));
        QMessageBox::critical(this, tr("Report sending failed"),
            tr("Report sending failed. Please make sure that the specified dump "
               "file exists and try again later."),
            QMessageBox::Ok, QMessageBox::NoButton);
        onChangeWindowMode(false);
        m_sending = false;
    };

    const auto afterSignIn = [this, client, login, finishUpload](int code) {
        if (code == KWebClient::LoginInvalid) {
            QMessageBox::critical(this, tr("Report sending failed"),
                tr("Report sending failed. Please provide valid Velmora "
                   "credentials."),
                QMessageBox::Ok, QMessageBox::NoButton);
            onChangeWindowMode(false);
            m_sending = false;
            LOG_INFO(QStringLiteral("Unable to properly authenticate the user: %1").arg(login));
            return;
        }
        LOG_INFO(QStringLiteral("User %1 was succesfully authenticated. Will try sending the dump "
                                "now.")
                     .arg(login));
        QByteArray dump = dumpData();
        if (dump.isEmpty()) {
            finishUpload(KWebClient::CallBadResult);
            return;
        }
        const QString message = reportHeader() + ui.textEditFeedback->toPlainText();
        m_uploading = true;
        runOnClient(
            [client, message, dump = std::move(dump)]() mutable {
                // The dump is handed over: the client lets it go once the request body holds it.
                return client->uploadFeedback(
                    message, QByteArray(), QByteArray(), std::move(dump), true);
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
    if (!m_uploading || bytesTotal <= 0)
        return;
    ui.progressUpload->setValue(int(bytesSent * progressScale / bytesTotal));
    ui.progressUpload->setFormat(progressText(bytesSent, bytesTotal));
}

QString KDumpReporterDlg::progressText(qint64 bytesSent, qint64 bytesTotal)
{
    const qint64 left = qMax<qint64>(0, bytesTotal - bytesSent);
    const int secondsLeft = int(double(left) / sendRateBytesPerSecond + 0.999);
    const QString time = secondsLeft >= 60
        ? tr("%1:%2 left").arg(secondsLeft / 60).arg(secondsLeft % 60, 2, 10, QLatin1Char('0'))
        : tr("%1 s left").arg(secondsLeft);
    return tr("%1, %2").arg(sizesText(bytesSent, bytesTotal), time);
}

QByteArray KDumpReporterDlg::dumpData()
{
    const QString path = ui.lineEditDumpFile->text();
    if (!QFile::exists(path)) {
        LOG_WARN(QStringLiteral("Dump sending failed: file not found %1").arg(path));
        return QByteArray();
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void KDumpReporterDlg::onExit()
{
    // A report in flight is abandoned: its request stops, and the dump file stays.
    if (m_sending) {
        if (KWebClient *client = webClient())
            client->abortRequest();
    }
    QCoreApplication::exit(0);
}
