#include "support/reportwindowdriver.h"

#include "app/kdumpreporterdlg.h"
#include "app/webclientinstance.h"
#include "base/processvalues.h"
#include "skin/kstatusprogressbar.h"
#include "webclient/kwebclient.h"

#include <QtTest>
#include <QtWidgets>

BoxCloser::BoxCloser()
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box || !box->isVisible())
            return;
        seen.append(BoxSeen { box->windowTitle(), box->text(), box->icon(), box->standardButtons(),
            box->parentWidget() });
        if (whenShown) {
            // The hook may run the event loop: this box is answered once.
            m_timer.stop();
            whenShown(box);
            m_timer.start();
        }
        box->button(QMessageBox::Ok)->click();
    });
    m_timer.start();
}

QString bottomRowProblems(const KDumpReporterDlg &dialog)
{
    QStringList problems;
    const auto *bar = dialog.findChild<KStatusProgressBar *>(QStringLiteral("progressUpload"));
    QWidget *previous = nullptr;
    for (const char *name : { "labelProgress", "progressUpload", "buttonSend", "buttonExit" }) {
        auto *widget = dialog.findChild<QWidget *>(QLatin1String(name));
        if (!widget->isVisible())
            continue;
        const int ownWidth
            = widget == bar ? bar->minimumWidth() : widget->minimumSizeHint().width();
        if (widget->width() < ownWidth)
            problems << QStringLiteral("%1 is %2 wide, narrower than its %3")
                            .arg(QLatin1String(name))
                            .arg(widget->width())
                            .arg(ownWidth);
        if (widget->geometry().right() >= dialog.width())
            problems << QStringLiteral("%1 ends at %2, outside the window of %3")
                            .arg(QLatin1String(name))
                            .arg(widget->geometry().right())
                            .arg(dialog.width());
        if (previous && previous->geometry().right() >= widget->geometry().left())
            problems << QStringLiteral("%1 overlaps %2")
                            .arg(QLatin1String(name), previous->objectName());
        previous = widget;
    }
    if (bar->isVisible() && bar->isElided() && bar->toolTip() != bar->statusText())
        problems << QStringLiteral("the bar shows \"%1\" without \"%2\" as its tool tip")
                        .arg(bar->text(), bar->statusText());
    if (bar->isVisible() && !bar->isElided()) {
        const QFontMetrics metrics(bar->font());
        if (metrics.horizontalAdvance(bar->text()) > bar->contentsRect().width())
            problems << QStringLiteral("\"%1\" is wider than the bar").arg(bar->text());
    }
    return problems.join(QStringLiteral("; "));
}

WindowSession::WindowSession(const QString &dumpPath, int version)
{
    client = std::make_unique<KWebClient>(versionText(version));
    setWebClient(client.get());
    dialog = std::make_unique<KDumpReporterDlg>(dumpPath);
    // A sent report is confirmed for a moment only, so that the tests do not wait it out.
    dialog->setConfirmationTime(50);
    dialog->show();
}

WindowSession::~WindowSession()
{
    setWebClient(nullptr);
    client->shutDown();
    client.reset();
    dialog.reset();
}

void WindowSession::type(const char *field, const QString &text) const
{
    auto *edit = child<QLineEdit>(field);
    edit->clear();
    QTest::keyClicks(edit, text);
}

void WindowSession::typeComment(const QString &text) const
{
    auto *edit = child<QPlainTextEdit>("textEditFeedback");
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClicks(edit, lines.at(i));
    }
}

bool WindowSession::inEditingMode() const
{
    return !child<QLabel>("labelProgress")->isVisible()
        && !child<QProgressBar>("progressUpload")->isVisible()
        && child<QPushButton>("buttonSend")->isEnabled() && !dialog->isSending();
}

int WindowSession::pressSend(BoxCloser &boxes) const
{
    return runFlow(
        boxes, [this] { QTest::mouseClick(child<QPushButton>("buttonSend"), Qt::LeftButton); });
}

int WindowSession::runFlow(BoxCloser &boxes, const std::function<void()> &start,
    const std::function<bool()> &whileSending) const
{
    const qsizetype boxesBefore = boxes.seen.size();
    QTimer::singleShot(0, dialog.get(), start);
    bool stepsDone = !whileSending;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!stepsDone && dialog->isSending() && !QApplication::activeModalWidget())
            stepsDone = whileSending();
        if (boxes.seen.size() > boxesBefore && !QApplication::activeModalWidget()
            && !dialog->isSending())
            QCoreApplication::exit(FlowEnded);
    });
    poll.start();
    QTimer safety;
    safety.setSingleShot(true);
    QObject::connect(&safety, &QTimer::timeout, [] { QCoreApplication::exit(SafetyExit); });
    safety.start(20000);
    return QApplication::exec();
}

QByteArray readTestFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

bool writeTestFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate)
        && file.write(bytes) == bytes.size();
}
