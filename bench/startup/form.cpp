// The window's own floor: the report window's form, built by the toolkit alone (no logging, no
// web client, no settings, no queue), with the fonts the window gives its small texts, shown as
// the reporter shows it at start-up, and ended as soon as it has been shown.
#include "skin/pixelfont.h"
#include "ui_kdumpreporterui.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QDialog dialog;
    Ui_KDumpReporterUi ui;
    ui.setupUi(&dialog);
    for (QWidget *widget : std::initializer_list<QWidget *> { ui.labelLogin, ui.labelPassword,
             ui.labelDumpFile, ui.labelComments, ui.buttonWhatIsSent, ui.checkBoxRestart,
             ui.labelProgress, ui.buttonSend, ui.buttonExit })
        setPixelFont(widget, 11);
    setPixelFont(ui.progressUpload, 10);
    const QMargins margins = ui.verticalLayout->contentsMargins();
    ui.labelHeader->setMinimumWidth(dialog.minimumWidth() - margins.left() - margins.right());
    ui.lineEditDumpFile->setText(QStringLiteral("/home/user/.Velmora/crash.dmp"));
    ui.checkBoxRestart->setVisible(false);
    ui.labelProgress->setVisible(false);
    ui.progressUpload->setVisible(false);
    ui.textEditFeedback->setFocus();
    dialog.show();
    QTimer::singleShot(0, &dialog, [] { QCoreApplication::exit(0); });
    return QApplication::exec();
}
