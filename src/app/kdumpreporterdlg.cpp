#include "app/kdumpreporterdlg.h"

#include "app/processvalues.h"
#include "logging/logging.h"
#include "settings/ksettingsmanager.h"

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimer>

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

    setWindowFlags((windowFlags() & ~Qt::Dialog) | Qt::Window);
}

KDumpReporterDlg::~KDumpReporterDlg()
{
    setCurrentLogin(QString());
}

void KDumpReporterDlg::onChangeWindowMode(bool bSubmitMode)
{
    ui.labelProgress->setVisible(bSubmitMode);
    ui.buttonSend->setEnabled(!bSubmitMode);
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
    onChangeWindowMode(true);
    QTimer::singleShot(20, this, &KDumpReporterDlg::onSubmitPerform);
}

void KDumpReporterDlg::onSubmitPerform()
{
    // The sign-in and the upload come with the web client.
    onChangeWindowMode(false);
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
    QCoreApplication::exit(0);
}
