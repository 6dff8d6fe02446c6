#pragma once

#include "app/kreportqueue.h"
#include "app/restartcommand.h"
#include "http/ktransportfailure.h"
#include "ui_kdumpreporterui.h"

#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QLockFile;
class QPlainTextEdit;

// The reporter's one window: explains the crash, shows the dump that will be sent, asks for the
// Velmora login and password and an optional comment, and sends the report.
//
// Sending: the sign-in and the upload run on the web client's own thread, one after the other,
// while this window keeps repainting; each step's result comes back to the GUI thread, which
// logs, shows the message boxes and moves on. Exit or closing the window while a report is being
// sent abandons the request and keeps the dump file.
//
// While sending, the login, password and comment fields are read-only (what is sent is what they
// show), and no key pressed by habit (Return, Enter, Space) leaves the window; Escape leaves as
// "Exit" does. The window never grows while sending: the progress row's text is shortened to the
// room it has, whole in its tool tip and for screen readers.
//
// Once the service has accepted the report, the state line says so for a moment (1.5 s), then
// the window ends with 0.
//
// Unsent reports: from the first press of "Send Report" until the service accepts the report, the
// report (its dump's path and fingerprint, the comment, the time of its system line and the
// version) is kept in the queue of unsent reports, so that a later reporter sends it when this one
// cannot; the entry is locked from the first press while this window lives, and its last comment
// is written when the window goes. A report the service refused is not kept. When another
// reporter holds the entry's lock (it is sending this report), the window waits for it: once the
// lock is free it ends as sent when the entry and the dump have gone, and sends otherwise. The
// window names the earlier reports that wait in the queue and, once its own report has been
// accepted, sends them too before it ends; what fails stays queued.
class KDumpReporterDlg : public QDialog
{
    Q_OBJECT

public:
    explicit KDumpReporterDlg(
        const QString &dumpPath, QWidget *parent = nullptr, Qt::WindowFlags flags = {});
    ~KDumpReporterDlg() override;

    // The dump file's whole content, or empty bytes when it is missing or unreadable.
    QByteArray dumpData();

    // True from the press of "Send Report" until the flow has ended one way or the other.
    bool isSending() const { return m_sending; }

    // "46 / 284 KB, 30 s left": the progress text for bytes written of a request, with the time
    // left at the transport's fixed send rate.
    static QString progressText(qint64 bytesSent, qint64 bytesTotal);
    // The same with the sizes of what the user sends (the dump) and the time left from the bytes
    // of the request still to be written.
    static QString progressText(qint64 shownSent, qint64 shownTotal, qint64 bytesLeftToSend);

    // Starts a command detached, as the restart does it; false when it could not be started.
    using Starter = std::function<bool(const RestartCommand &command)>;

    // Offers to start Velmora again when the window ends: shows the check box "Restart Velmora",
    // checked. When the window ends (the report was sent, Exit was pressed or the window was
    // closed) and the box is still checked, the command line, split as a shell splits it
    // (parseRestartCommand), is started by starter (by default detached from this process). A
    // blank command, or one with a quote left open, offers nothing and logs a WARN line.
    void setRestartCommand(const QString &commandLine, Starter starter = {});

    // What the report holds as it would be sent now: its text (the system line, with the time of
    // the first attempt once one was made, and the comment), the dump file's name and size, the
    // login and the service's address. Never the password.
    QString reportPreview() const;

    // Shows bytes written of a request in the progress bar, in the room the bar has.
    void showUploadProgress(qint64 bytesSent, qint64 bytesTotal);

    // How long the confirmation of a sent report stays before the window ends (1500 ms).
    void setConfirmationTime(int milliseconds) { m_confirmationMs = milliseconds; }
    int confirmationTime() const { return m_confirmationMs; }

    void done(int result) override;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void onChangeWindowMode(bool bSubmitMode);
    void onSubmit();
    void onSubmitPerform();
    void onExit();
    void onUploadProgress(qint64 bytesSent, qint64 bytesTotal);
    void onShowReportPreview();

private:
    // The failure box's text for a failed upload (or a sign-in without an answer): what went
    // wrong in plain words, from the code and the web client's last failure, and whether the
    // report is kept for later.
    QString failureText(int code) const;

public:
    // The same from its parts: the upload's (or sign-in's) code, the web client's last failure,
    // whether the report is in the queue, and the silence time-out in seconds.
    static QString failureText(
        int code, const KTransportFailure &failure, bool kept, int silenceSeconds);

private:
    // The text for a dump file that is missing, empty or unreadable.
    static QString dumpFailureText();
    // Writes this window's report into the queue of unsent reports, unless its dump holds no
    // bytes or the service refused it, under the entry's lock (taken here when the window has it
    // not yet; when another reporter holds it, nothing is written).
    void keepReport();
    // After a press: takes the entry's lock (or waits while another reporter holds it), the
    // dump's fingerprint (on the web client's thread), queues the report and signs in.
    void startSending();
    // While waiting: tries the lock again.
    void onWaitForLock();
    // Keeps the fingerprint of a dump that holds bytes.
    void takeFingerprint(const std::optional<KDumpFingerprint> &fingerprint);
    // After the own report was accepted: sends the earlier reports from the index on, one at a
    // time on the web client's thread, then ends the event loop with 0.
    void sendEarlierReports(qsizetype index);
    // Runs work on the web client's thread and then done(result) on this window's thread.
    void runOnClient(std::function<int()> work, std::function<void(int)> done);
    // Whether the dump file at path exists and holds bytes, checked without reading it; a missing
    // file is logged.
    bool dumpData(const QString &path);
    // Runs the restart command once, when the window ends, if the user left the box checked.
    void restartIfChecked();
    // Puts the current report preview into its window, when that window exists.
    void refreshReportPreview();
    // Tells assistive technology that the state line under the comment has a new text.
    void announceState();
    // After the service accepted the report (and the earlier ones were tried), or another
    // reporter had it accepted: the state line confirms it (text, or that the report has been
    // sent), and the window ends a moment later with 0.
    void confirmSent(const QString &text = QString());

    // What the progress row tells before the upload's bytes go out: the stage and its seconds.
    enum class Stage { None, Waiting, Connecting, SigningIn, Uploading };
    void setStage(Stage stage);
    void showStage();
    void onRequestConnected(const QString &method);

    Ui::KDumpReporterUi ui;
    bool m_sending = false;
    bool m_uploading = false;
    QString m_sendingStateText; // the form's state line: "Sending Report. Please Wait."
    int m_confirmationMs = 1500;
    Stage m_stage = Stage::None;
    QElapsedTimer m_stageClock; // since the stage began
    QTimer m_stageTimer; // counts the stage's seconds on the progress row
    qint64 m_dumpSize = 0; // the size of the dump being uploaded; the progress shows its bytes

    KReportQueue m_queue;
    bool m_sendPressed = false;
    bool m_accepted = false; // the service accepted this window's report
    bool m_leaving = false; // Exit was pressed: nothing more is sent
    QDateTime m_firstPress;
    QDateTime m_reportTime; // the time of the first system line that was sent
    std::unique_ptr<QLockFile> m_ownLock;
    QTimer m_lockTimer; // tries the lock while another reporter holds it
    std::optional<KDumpFingerprint> m_fingerprint; // of the dump at the first press
    bool m_refused = false; // the service refused the report at the latest attempt
    QList<KPendingReport> m_earlier;

    QString m_restartCommand; // as given, for the log
    RestartCommand m_restart;
    Starter m_restartStarter;
    bool m_restartDone = false;
    QPointer<QDialog> m_preview;
    QPlainTextEdit *m_previewText = nullptr; // owned by m_preview
};
