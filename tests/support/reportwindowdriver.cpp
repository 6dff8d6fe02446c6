#include "support/reportwindowdriver.h"

#include "app/kdumpreporterdlg.h"
#include "app/webclientinstance.h"
#include "base/processvalues.h"
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
        box->button(QMessageBox::Ok)->click();
    });
    m_timer.start();
}

WindowSession::WindowSession(const QString &dumpPath, int version)
{
    client = std::make_unique<KWebClient>(versionText(version));
    setWebClient(client.get());
    dialog = std::make_unique<KDumpReporterDlg>(dumpPath);
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
