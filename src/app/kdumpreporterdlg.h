#pragma once

#include "ui_kdumpreporterui.h"

#include <QDialog>

// The reporter's one window: explains the crash, shows the dump that will be sent, asks for the
// Velmora login and password and an optional comment, and sends the report.
class KDumpReporterDlg : public QDialog
{
    Q_OBJECT

public:
    explicit KDumpReporterDlg(
        const QString &dumpPath, QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~KDumpReporterDlg() override;

    // The dump file's whole content, or empty bytes when it is missing or unreadable.
    QByteArray dumpData();

private Q_SLOTS:
    void onChangeWindowMode(bool bSubmitMode);
    void onSubmit();
    void onSubmitPerform();
    void onExit();

private:
    Ui::KDumpReporterUi ui;
};
