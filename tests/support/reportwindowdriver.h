#pragma once

#include "app/kdumpreporterdlg.h"
#include "webclient/kwebclient.h"

#include <QByteArray>
#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

// What one message box showed before BoxCloser answered it.
struct BoxSeen
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    QWidget *parent = nullptr;
};

// Answers every message box that becomes the active modal window by pressing its OK button, and
// remembers what it showed. Lives on the GUI thread.
class BoxCloser : public QObject
{
public:
    BoxCloser();

    QList<BoxSeen> seen;
    // Called with each box once it is shown, before it is answered (it may wait meanwhile).
    std::function<void(QMessageBox *)> whenShown;

private:
    QTimer m_timer;
};

// The process-wide web client and the report window, set up the way start-up does it, for tests
// that use the window as a user does; the confirmation of a sent report lasts 50 ms. The client
// goes first when the session ends, so that no answer from its thread can meet a window being
// destroyed.
class WindowSession
{
public:
    // The exit code with which pressSend ends its own event loop once a failed flow is over.
    static constexpr int FlowEnded = 77;
    // The exit code when the flow did not end within 20 s.
    static constexpr int SafetyExit = 99;

    WindowSession(const QString &dumpPath, int version);
    ~WindowSession();

    template <typename T> T *child(const char *name) const
    {
        return dialog->findChild<T *>(QLatin1String(name));
    }
    // Replaces the line edit's text by typing.
    void type(const char *field, const QString &text) const;
    // Types the comment, pressing Return between lines.
    void typeComment(const QString &text) const;
    // Progress row hidden, "Send Report" enabled, no flow running.
    bool inEditingMode() const;

    // Presses "Send Report" and runs the application's event loop until the flow ends it (its
    // code), or until a failure box has been answered and the window is back in editing mode
    // (FlowEnded).
    int pressSend(BoxCloser &boxes) const;
    // The same, with `start` in place of the press (a key on the focused widget, say), and with
    // `whileSending` called from the event loop every 10 ms while the flow runs and no box is up,
    // until it returns true.
    int runFlow(BoxCloser &boxes, const std::function<void()> &start,
        const std::function<bool()> &whileSending = {}) const;

    std::unique_ptr<KWebClient> client;
    std::unique_ptr<KDumpReporterDlg> dialog;
};

// What is wrong with the window's bottom row (state line, progress bar, "Send Report", "Exit") as
// it is shown now, or an empty text: each shown widget keeps its own width (the bar the minimum
// width it was given), lies inside the window and does not overlap the one before it; the bar
// shows its text whole, or shortened with the whole text as its tool tip.
QString bottomRowProblems(const KDumpReporterDlg &dialog);

// The file's bytes, or "<missing>" when it cannot be read.
QByteArray readTestFile(const QString &path);
bool writeTestFile(const QString &path, const QByteArray &bytes);
