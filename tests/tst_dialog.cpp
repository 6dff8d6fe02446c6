#include "app/kdumpreporterdlg.h"
#include "app/kreportqueue.h"
#include "app/reportheader.h"
#include "app/translations.h"
#include "base/processvalues.h"
#include "base/windowsversion.h"
#include "logging/logging.h"
#include "settings/ksettingsmanager.h"
#include "skin/kstatusprogressbar.h"
#include "support/reportwindowdriver.h"
#include "support/testenvironment.h"
#include "support/testlogcapture.h"
#include "support/testsupport.h"
#include "webclient/kwebclient.h"

#include <QtTest/qtestaccessible.h>
#include <QtTest>
#include <QtWidgets>

using VM::KSettingsManager;

class TestDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void form();
    void fieldsFromSettings();
    void windowModes();
    void emptyCredentials_data();
    void emptyCredentials();
    void exitEndsLoopKeepsDump();
    void currentLoginFollowsField();
    void accessibleNames_data();
    void accessibleNames();
    void stateAndProgressReadable();
    void descriptionAtMostOnceASecond();
    void tabOrder_data();
    void tabOrder();
    void tabInComment();
    void restart_data();
    void restart();
    void noRestartOffered_data();
    void noRestartOffered();
    void failureTexts_data();
    void failureTexts();
    void proxyLoginRefusedText();
    void progressText_data();
    void progressText();
    void progressRowFits_data();
    void progressRowFits();
    void fontsDrawAsStyleSheets_data();
    void fontsDrawAsStyleSheets();
    void reportHeader_data();
    void reportHeader();
    void windowsVersionNames_data();
    void windowsVersionNames();

private:
    std::unique_ptr<TestEnvironment> m_home;
};

void TestDialog::initTestCase()
{
    // The English texts as start-up shows them, numbers in English notation.
    installTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestDialog::init()
{
    m_home = std::make_unique<TestEnvironment>();
    m_home->useSettings(0x10203, "Co", "Soft");
}

void TestDialog::cleanup()
{
    m_home.reset();
}

void TestDialog::form()
{
    KDumpReporterDlg dialog("/tmp/x.dmp");
    QCOMPARE(dialog.objectName(), QStringLiteral("KDumpReporterUi"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Velmora Problem Reporter"));
    QCOMPARE(dialog.minimumSize(), QSize(520, 422));
    QCOMPARE(dialog.locale(), QLocale(QLocale::English, QLocale::UnitedStates));
    QCOMPARE(dialog.windowIcon().availableSizes(), QList<QSize>({ QSize(256, 256) }));
    QVERIFY(dialog.windowFlags() & Qt::Window);
    QCOMPARE(dialog.windowFlags() & Qt::WindowType_Mask, Qt::Window);
    QVERIFY(dialog.windowFlags() & Qt::WindowCloseButtonHint);
    QVERIFY(dialog.windowFlags() & Qt::CustomizeWindowHint);
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMinimizeButtonHint));

    // Rows top to bottom, each widget in its place.
    auto *top = qobject_cast<QVBoxLayout *>(dialog.layout());
    QVERIFY(top);
    QCOMPARE(top->objectName(), QStringLiteral("verticalLayout"));
    QCOMPARE(top->spacing(), 6);
    QCOMPARE(top->contentsMargins(), QMargins(11, 11, 11, 11));
    const QStringList rows = { "labelHeader", "horizontalLayout_3", "horizontalLayout",
        "labelComments", "textEditFeedback", "horizontalLayout_4", "horizontalLayout_2" };
    QCOMPARE(top->count(), rows.size());
    for (int i = 0; i < rows.size(); ++i) {
        QLayoutItem *item = top->itemAt(i);
        const QString name
            = item->widget() ? item->widget()->objectName() : item->layout()->objectName();
        QCOMPARE(name, rows.at(i));
    }
    const QList<QPair<QString, QStringList>> rowContents = {
        { "horizontalLayout_3",
            { "labelLogin", "lineEditLogin", "labelPassword", "lineEditPassword" } },
        { "horizontalLayout", { "labelDumpFile", "lineEditDumpFile" } },
        { "horizontalLayout_4", { "buttonWhatIsSent", "", "checkBoxRestart" } },
        { "horizontalLayout_2",
            { "labelProgress", "progressUpload", "", "buttonSend", "buttonExit" } },
    };
    for (const auto &[rowName, children] : rowContents) {
        auto *row = dialog.findChild<QHBoxLayout *>(rowName);
        QVERIFY(row);
        QCOMPARE(row->spacing(), 6);
        QCOMPARE(row->count(), children.size());
        for (int i = 0; i < children.size(); ++i) {
            QLayoutItem *item = row->itemAt(i);
            if (children.at(i).isEmpty()) {
                QSpacerItem *spacer = item->spacerItem();
                QVERIFY(spacer);
                QCOMPARE(spacer->sizeHint(), QSize(40, 20));
                QCOMPARE(spacer->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
                QCOMPARE(spacer->sizePolicy().verticalPolicy(), QSizePolicy::Minimum);
            } else {
                QCOMPARE(item->widget()->objectName(), children.at(i));
            }
        }
    }

    const QList<QPair<QString, QString>> texts = {
        { "labelLogin", "Your Login" },
        { "labelPassword", "Your Password" },
        { "labelDumpFile", "Dump File:" },
        { "labelComments", "Your comments (optional):" },
    };
    for (const auto &[name, text] : texts) {
        auto *label = dialog.findChild<QLabel *>(name);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->font().pixelSize(), 11);
    }
    // Each button has its key (Alt and the underlined letter).
    QCOMPARE(dialog.findChild<QPushButton *>("buttonSend")->text(), QStringLiteral("&Send Report"));
    QCOMPARE(dialog.findChild<QPushButton *>("buttonExit")->text(), QStringLiteral("E&xit"));
    QCOMPARE(dialog.findChild<QPushButton *>("buttonWhatIsSent")->text(),
        QStringLiteral("&What will be sent?"));
    QCOMPARE(dialog.findChild<QCheckBox *>("checkBoxRestart")->text(),
        QStringLiteral("&Restart Velmora"));
    // A sent report is confirmed for a moment and a half.
    QCOMPARE(dialog.confirmationTime(), 1500);
    QCOMPARE(dialog.findChild<QLineEdit *>("lineEditPassword")->echoMode(), QLineEdit::Password);
    QVERIFY(dialog.findChild<QLineEdit *>("lineEditDumpFile")->isReadOnly());

    QTextDocument header;
    auto *labelHeader = dialog.findChild<QLabel *>("labelHeader");
    QVERIFY(labelHeader->wordWrap());
    header.setHtml(labelHeader->text());
    QCOMPARE(header.toPlainText(),
        QStringLiteral("Velmora or one of its component applications has just crashed. \n\n"
                       "We were lucky to save the dump file of the memory area where the crash "
                       "has occured. You can send that file over to the Velmora team so we can "
                       "look into the problem. Optionally, you can leave some comments on what "
                       "you were doing when the problem occured.\n\n"
                       "Privacy note: the report holds the memory dump of the crash, which may "
                       "include data you were working on, your comment and a description of your "
                       "system. You sign in with your Velmora login; your password is not part of "
                       "the report."));
    QTextDocument progress;
    progress.setHtml(dialog.findChild<QLabel *>("labelProgress")->text());
    QCOMPARE(progress.toPlainText(), QStringLiteral("Sending Report. Please Wait."));
    QCOMPARE(progress.begin().begin().fragment().charFormat().fontWeight(), 600);
}

void TestDialog::fieldsFromSettings()
{
    KSettingsManager::saveSetting(KSettingsManager::Key::Login, "someone@example.org");
    KSettingsManager::saveSetting(KSettingsManager::Key::Password,
        KSettingsManager::scramble(QString::fromUtf8("s3cr\xc3\xa9t")));
    KDumpReporterDlg dialog(" /tmp/some dump.dmp");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.findChild<QLineEdit *>("lineEditLogin")->text(),
        QStringLiteral("someone@example.org"));
    QCOMPARE(dialog.findChild<QLineEdit *>("lineEditPassword")->text(),
        QString::fromUtf8("s3cr\xc3\xa9t"));
    QCOMPARE(dialog.findChild<QLineEdit *>("lineEditDumpFile")->text(),
        QStringLiteral(" /tmp/some dump.dmp"));
    QCOMPARE(QApplication::focusWidget(), dialog.findChild<QPlainTextEdit *>("textEditFeedback"));
    // The dialog never writes the credentials back.
    dialog.findChild<QLineEdit *>("lineEditLogin")->setText("other");
    QCOMPARE(KSettingsManager::login(), QStringLiteral("someone@example.org"));
}

void TestDialog::windowModes()
{
    KDumpReporterDlg dialog("/tmp/x.dmp");
    dialog.show();
    auto *progress = dialog.findChild<QLabel *>("labelProgress");
    auto *send = dialog.findChild<QPushButton *>("buttonSend");
    auto *exitButton = dialog.findChild<QPushButton *>("buttonExit");
    QVERIFY(!progress->isVisible());
    QVERIFY(send->isEnabled());
    QVERIFY(QMetaObject::invokeMethod(&dialog, "onChangeWindowMode", Q_ARG(bool, true)));
    QVERIFY(progress->isVisible());
    QVERIFY(!send->isEnabled());
    QVERIFY(exitButton->isEnabled());
    QVERIFY(dialog.findChild<QLineEdit *>("lineEditLogin")->isEnabled());
    QVERIFY(QMetaObject::invokeMethod(&dialog, "onChangeWindowMode", Q_ARG(bool, false)));
    QVERIFY(!progress->isVisible());
    QVERIFY(send->isEnabled());
}

void TestDialog::emptyCredentials_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::newRow("both empty") << ""
                                << "";
    QTest::newRow("blank password") << "someone"
                                    << "   ";
    QTest::newRow("blank login") << " \t"
                                 << "secret";
}

void TestDialog::emptyCredentials()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    KDumpReporterDlg dialog("/tmp/x.dmp");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.findChild<QLineEdit *>("lineEditLogin")->setText(login);
    dialog.findChild<QLineEdit *>("lineEditPassword")->setText(password);

    QString title, text;
    QMessageBox::StandardButtons buttons;
    QTimer::singleShot(0, [&] {
        QTRY_VERIFY(qobject_cast<QMessageBox *>(QApplication::activeModalWidget()));
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        title = box->windowTitle();
        text = box->text();
        buttons = box->standardButtons();
        QCOMPARE(box->icon(), QMessageBox::Warning);
        QCOMPARE(box->parentWidget(), &dialog);
        box->button(QMessageBox::Ok)->click();
    });
    QTest::mouseClick(dialog.findChild<QPushButton *>("buttonSend"), Qt::LeftButton);
    QCOMPARE(title, QStringLiteral("Please authenticate."));
    QCOMPARE(text,
        QStringLiteral("Please provide your Velmora credentials to send the problem "
                       "report. Thanks for your assistance."));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(!dialog.findChild<QLabel *>("labelProgress")->isVisible());
    QVERIFY(dialog.findChild<QPushButton *>("buttonSend")->isEnabled());
}

void TestDialog::exitEndsLoopKeepsDump()
{
    QTemporaryFile dump;
    QVERIFY(dump.open());
    dump.write("MDMP dump bytes");
    dump.flush();
    KDumpReporterDlg dialog(dump.fileName());
    dialog.show();
    QTimer::singleShot(0, &dialog,
        [&] { QTest::mouseClick(dialog.findChild<QPushButton *>("buttonExit"), Qt::LeftButton); });
    QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
    QCOMPARE(QApplication::exec(), 0);
    QVERIFY(QFile::exists(dump.fileName()));
    QFile check(dump.fileName());
    QVERIFY(check.open(QIODevice::ReadOnly));
    QCOMPARE(check.readAll(), QByteArray("MDMP dump bytes"));
}

void TestDialog::currentLoginFollowsField()
{
    QVERIFY(currentLogin().isNull());
    {
        KSettingsManager::saveSetting(KSettingsManager::Key::Login, "remembered");
        KDumpReporterDlg dialog("/tmp/x.dmp");
        QCOMPARE(currentLogin(), QStringLiteral("remembered"));
        auto *login = dialog.findChild<QLineEdit *>("lineEditLogin");
        login->setText("  typed  ");
        QCOMPARE(currentLogin(), QStringLiteral("  typed  "));
        // Another thread reads the same copy without touching the widget.
        QString seen;
        std::unique_ptr<QThread> reader(QThread::create([&seen] { seen = currentLogin(); }));
        reader->start();
        QVERIFY(reader->wait(5000));
        QCOMPARE(seen, QStringLiteral("  typed  "));
    }
    QVERIFY(currentLogin().isEmpty());
}

void TestDialog::accessibleNames_data()
{
    QTest::addColumn<QString>("widget");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("role");
    const int edit = QAccessible::EditableText;
    QTest::newRow("login") << "lineEditLogin"
                           << "Your Login" << edit;
    QTest::newRow("password") << "lineEditPassword"
                              << "Your Password" << edit;
    QTest::newRow("dump file") << "lineEditDumpFile"
                               << "Dump File:" << edit;
    QTest::newRow("comment") << "textEditFeedback"
                             << "Your comments (optional):" << edit;
    QTest::newRow("progress bar") << "progressUpload"
                                  << "Upload progress" << int(QAccessible::ProgressBar);
    QTest::newRow("send") << "buttonSend"
                          << "Send Report" << int(QAccessible::Button);
    QTest::newRow("exit") << "buttonExit"
                          << "Exit" << int(QAccessible::Button);
}

void TestDialog::accessibleNames()
{
    QFETCH(QString, widget);
    QFETCH(QString, name);
    QFETCH(int, role);
    KSettingsManager::saveSetting(KSettingsManager::Key::Login, "someone");
    KSettingsManager::saveSetting(
        KSettingsManager::Key::Password, KSettingsManager::scramble("s3cret"));
    KDumpReporterDlg dialog("/tmp/x.dmp");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *target = dialog.findChild<QWidget *>(widget);
    QVERIFY(target);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(target);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), name);
    QCOMPARE(int(accessible->role()), role);
    // The password reaches a screen reader as masked characters only.
    for (const QAccessible::Text text :
        { QAccessible::Name, QAccessible::Description, QAccessible::Value, QAccessible::Help }) {
        QVERIFY2(!accessible->text(text).contains("s3cret"), qPrintable(widget));
    }
    if (QAccessibleTextInterface *textInterface = accessible->textInterface())
        QVERIFY(!textInterface->text(0, textInterface->characterCount()).contains("s3cret"));
}

void TestDialog::stateAndProgressReadable()
{
    // A screen reader reads the state line by its name and the bar's text as its description
    // (the offscreen platform has no accessibility bridge, so the change notices themselves
    // cannot be observed here).
    KDumpReporterDlg dialog("/tmp/x.dmp");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto *bar = dialog.findChild<KStatusProgressBar *>("progressUpload");
    QAccessibleInterface *state
        = QAccessible::queryAccessibleInterface(dialog.findChild<QLabel *>("labelProgress"));
    QAccessibleInterface *barAccessible = QAccessible::queryAccessibleInterface(bar);

    QVERIFY(QMetaObject::invokeMethod(&dialog, "onChangeWindowMode", Q_ARG(bool, true)));
    QCOMPARE(state->text(QAccessible::Name), QStringLiteral("Sending Report. Please Wait."));
    QVERIFY(barAccessible->text(QAccessible::Description).isEmpty());

    dialog.showUploadProgress(102400, 204800);
    QCOMPARE(barAccessible->text(QAccessible::Description),
        QStringLiteral("100 / 200\u00a0KB, 13\u00a0s left"));
    QCOMPARE(barAccessible->valueInterface()->currentValue().toInt(), bar->value());
    QCOMPARE(bar->value(), bar->maximum() / 2);

    // A new attempt starts without the last attempt's text.
    QVERIFY(QMetaObject::invokeMethod(&dialog, "onChangeWindowMode", Q_ARG(bool, false)));
    QVERIFY(QMetaObject::invokeMethod(&dialog, "onChangeWindowMode", Q_ARG(bool, true)));
    QVERIFY(barAccessible->text(QAccessible::Description).isEmpty());
}

// The bar's text follows every step of the upload (ten a second at the transport's pace); a
// screen reader, which speaks the description, hears of it at most once a second, and of the
// last text in the end.
void TestDialog::descriptionAtMostOnceASecond()
{
    KDumpReporterDlg dialog("/tmp/x.dmp");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QVERIFY(QMetaObject::invokeMethod(&dialog, "onChangeWindowMode", Q_ARG(bool, true)));
    auto *bar = dialog.findChild<KStatusProgressBar *>("progressUpload");

    // Every change of the bar's text and of its description, as seen every few milliseconds: a
    // change of the description happened after the watch's tick before the one that saw it.
    QElapsedTimer clock;
    clock.start();
    struct Seen
    {
        qint64 after;
        qint64 by;
    };
    QList<Seen> descriptionChanges;
    int textChanges = 0;
    QString lastDescription = bar->accessibleDescription();
    QString lastText = bar->text();
    qint64 lastTick = 0;
    QTimer watch;
    watch.setTimerType(Qt::PreciseTimer);
    watch.setInterval(2);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (bar->accessibleDescription() != lastDescription) {
            lastDescription = bar->accessibleDescription();
            descriptionChanges << Seen { lastTick, now };
        }
        if (bar->text() != lastText) {
            lastText = bar->text();
            ++textChanges;
        }
        lastTick = now;
    });
    watch.start();
    // 60 steps of progress, one every 50 ms or more.
    const qint64 total = 10 * 1024 * 1024;
    qint64 sent = 0;
    for (int step = 0; step < 60; ++step) {
        sent += 40 * 1024;
        dialog.showUploadProgress(sent, total);
        QTest::qWait(50);
    }
    const QString last = KDumpReporterDlg::progressText(sent, total);
    QTRY_COMPARE_WITH_TIMEOUT(bar->accessibleDescription(), last, 2000);
    QTest::qWait(10);
    watch.stop();

    QVERIFY2(textChanges >= 30, qPrintable(QString::number(textChanges)));
    // The longest each gap between two changes of the description can have been (to the
    // millisecond that the clocks count in).
    QList<qint64> gaps;
    QStringList shown;
    for (qsizetype i = 1; i < descriptionChanges.size(); ++i) {
        gaps << descriptionChanges.at(i).by - descriptionChanges.at(i - 1).after;
        shown << QString::number(gaps.constLast());
    }
    const QString seen = shown.join(QLatin1Char(' '));
    QVERIFY2(descriptionChanges.size() >= 3, qPrintable(seen));
    for (const qint64 gap : std::as_const(gaps))
        QVERIFY2(gap >= KStatusProgressBar::descriptionIntervalMs - 1, qPrintable(seen));
}

void TestDialog::tabOrder_data()
{
    QTest::addColumn<bool>("restartOffered");
    QTest::addColumn<QStringList>("order");
    const QStringList fields = { "lineEditLogin", "lineEditPassword", "lineEditDumpFile",
        "textEditFeedback", "buttonWhatIsSent" };
    QTest::newRow("plain") << false << fields + QStringList { "buttonSend", "buttonExit" };
    QTest::newRow("with restart") << true
                                  << fields
            + QStringList { "checkBoxRestart", "buttonSend", "buttonExit" };
}

void TestDialog::tabOrder()
{
    QFETCH(bool, restartOffered);
    QFETCH(QStringList, order);
    KDumpReporterDlg dialog("/tmp/x.dmp");
    if (restartOffered)
        dialog.setRestartCommand("velmora", [](const RestartCommand &) { return true; });
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    dialog.findChild<QWidget *>(order.first())->setFocus();
    // Tab walks every field and button once and comes back round; Shift+Tab walks back.
    QStringList forward { QApplication::focusWidget()->objectName() };
    for (qsizetype i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        forward << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(forward, order + QStringList { order.first() });
    QStringList backward;
    for (qsizetype i = 0; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
        backward.prepend(QApplication::focusWidget()->objectName());
    }
    QCOMPARE(backward, order);
}

void TestDialog::tabInComment()
{
    KDumpReporterDlg dialog("/tmp/x.dmp");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto *comment = dialog.findChild<QPlainTextEdit *>("textEditFeedback");
    QCOMPARE(QApplication::focusWidget(), comment);
    QTest::keyClicks(comment, "a");
    QTest::keyClick(comment, Qt::Key_Tab, Qt::ControlModifier);
    QTest::keyClicks(comment, "b");
    QCOMPARE(comment->toPlainText(), QStringLiteral("a\tb"));
    QCOMPARE(QApplication::focusWidget(), comment);
    QTest::keyClick(comment, Qt::Key_Tab);
    QCOMPARE(comment->toPlainText(), QStringLiteral("a\tb"));
    QCOMPARE(QApplication::focusWidget(), dialog.findChild<QWidget *>("buttonWhatIsSent"));
    // While sending the comment takes no typing, Ctrl+Tab included.
    QVERIFY(QMetaObject::invokeMethod(&dialog, "onChangeWindowMode", Q_ARG(bool, true)));
    QTest::keyClick(comment, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(comment->toPlainText(), QStringLiteral("a\tb"));
}

void TestDialog::restart_data()
{
    QTest::addColumn<QString>("end");
    QTest::addColumn<bool>("checked");
    QTest::addColumn<bool>("starts");
    QTest::newRow("Exit") << "exit" << true << true;
    QTest::newRow("window closed") << "close" << true << true;
    QTest::newRow("Escape") << "escape" << true << true;
    QTest::newRow("box cleared") << "exit" << false << true;
    QTest::newRow("start fails") << "exit" << true << false;
}

void TestDialog::restart()
{
    QFETCH(QString, end);
    QFETCH(bool, checked);
    QFETCH(bool, starts);
    const QString command = "/opt/velmora/bin/velmora --project \"My work\" -x";
    QList<QStringList> started;
    TestLogCapture log;
    {
        KDumpReporterDlg dialog("/tmp/x.dmp");
        dialog.setRestartCommand(command, [&](const RestartCommand &restart) {
            started << (QStringList { restart.program } + restart.arguments);
            return starts;
        });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto *box = dialog.findChild<QCheckBox *>("checkBoxRestart");
        QVERIFY(box->isVisible());
        QVERIFY(box->isChecked());
        if (!checked)
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
        QCOMPARE(box->isChecked(), checked);
        // Nothing starts while the window lives.
        QVERIFY(started.isEmpty());

        QTimer::singleShot(0, &dialog, [&] {
            if (end == "exit")
                QTest::mouseClick(dialog.findChild<QPushButton *>("buttonExit"), Qt::LeftButton);
            else if (end == "close")
                dialog.close();
            else
                QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        // The window going away afterwards starts nothing more.
        dialog.close();
    }
    const QList<QStringList> expected = checked
        ? QList<QStringList> { { "/opt/velmora/bin/velmora", "--project", "My work", "-x" } }
        : QList<QStringList> {};
    QCOMPARE(started, expected);
    QCOMPARE(log.matching("Restarting Velmora: " + command, int(VM::LogLevel::Info)).size(),
        checked ? 1 : 0);
    QCOMPARE(
        log.matching("Velmora could not be restarted: " + command, int(VM::LogLevel::Warn)).size(),
        checked && !starts ? 1 : 0);
}

void TestDialog::noRestartOffered_data()
{
    QTest::addColumn<QString>("command"); // null: none given
    QTest::addColumn<QString>("warning"); // the WARN line, empty for none
    const QString empty = "The restart command is empty: Velmora is not restarted.";
    const QString open = "The restart command has a quote that is not closed: Velmora is not "
                         "restarted: ";
    QTest::newRow("none given") << QString() << QString();
    QTest::newRow("blanks") << "   " << empty;
    QTest::newRow("empty program") << "'' --safe" << empty;
    QTest::newRow("single quote left open")
        << "'/opt/my app/velmora x" << open + "'/opt/my app/velmora x";
    QTest::newRow("double quote left open") << "velmora \"a\\\"" << open + "velmora \"a\\\"";
}

void TestDialog::noRestartOffered()
{
    QFETCH(QString, command);
    QFETCH(QString, warning);
    int starts = 0;
    TestLogCapture log;
    {
        KDumpReporterDlg dialog("/tmp/x.dmp");
        if (!command.isNull())
            dialog.setRestartCommand(command, [&](const RestartCommand &) { return ++starts > 0; });
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QVERIFY(!dialog.findChild<QCheckBox *>("checkBoxRestart")->isVisible());
        QTimer::singleShot(0, &dialog, [&] {
            QTest::mouseClick(dialog.findChild<QPushButton *>("buttonExit"), Qt::LeftButton);
        });
        QTimer::singleShot(5000, qApp, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        dialog.close();
    }
    QCOMPARE(starts, 0);
    const QStringList warnings = log.matching("restart", int(VM::LogLevel::Warn));
    QCOMPARE(warnings.size(), warning.isEmpty() ? 0 : 1);
    if (!warning.isEmpty())
        QVERIFY2(warnings.first().contains(warning), qPrintable(warnings.first()));
    QVERIFY(log.matching("Restarting").isEmpty());
}

void TestDialog::failureTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("socketError");
    QTest::addColumn<bool>("kept");
    QTest::addColumn<QString>("expected");

    const QString unreachableKept
        = QStringLiteral("Report sending failed. Could not connect to the Velmora service: %1. "
                         "Please check your network connection; the report is kept and will be "
                         "sent later.");
    const QString unreachableNotKept
        = QStringLiteral("Report sending failed. Could not connect to the Velmora service: %1. "
                         "Please check your network connection and try again later.");
    const QString brokenKept
        = QStringLiteral("Report sending failed. The Velmora service did not answer properly: "
                         "%1. The report is kept and will be sent later.");
    const int noSocket = -1;
    const int failed = KWebClient::CallFailed;
    using F = KTransportFailure;
    QTest::newRow("refused") << failed << int(F::ConnectFailed)
                             << int(QAbstractSocket::ConnectionRefusedError) << true
                             << unreachableKept.arg("the connection was refused");
    QTest::newRow("host not found")
        << failed << int(F::ConnectFailed) << int(QAbstractSocket::HostNotFoundError) << true
        << unreachableKept.arg("the server could not be found");
    QTest::newRow("network unreachable")
        << failed << int(F::ConnectFailed) << int(QAbstractSocket::NetworkError) << true
        << unreachableKept.arg("the network did not reach the server");
    QTest::newRow("connect time-out") << failed << int(F::ConnectTimeout) << noSocket << true
                                      << unreachableKept.arg("the connection timed out");
    QTest::newRow("handshake") << failed << int(F::TlsHandshakeFailed) << noSocket << true
                               << unreachableKept.arg("the secure connection could not be set up");
    QTest::newRow("certificate") << failed << int(F::CertificateUntrusted) << noSocket << true
                                 << unreachableKept.arg("the server's certificate is not trusted");
    QTest::newRow("proxy login") << failed << int(F::ProxyAuthentication) << noSocket << true
                                 << unreachableKept.arg(
                                        "the proxy asked for a login that is not stored");
    QTest::newRow("proxy failed") << failed << int(F::ProxyFailed) << noSocket << true
                                  << unreachableKept.arg(
                                         "the proxy could not be reached or would not connect");
    QTest::newRow("silence") << failed << int(F::Silence) << noSocket << true
                             << unreachableKept.arg("no answer within 60 seconds");
    QTest::newRow("silence, not kept") << failed << int(F::Silence) << noSocket << false
                                       << unreachableNotKept.arg("no answer within 60 seconds");
    QTest::newRow("write failed") << failed << int(F::WriteFailed) << noSocket << true
                                  << unreachableKept.arg(
                                         "the connection stopped taking the report");
    QTest::newRow("closed before header")
        << failed << int(F::ClosedBeforeHeader) << noSocket << true
        << brokenKept.arg("the connection was closed before an answer came");
    QTest::newRow("invalid header")
        << failed << int(F::InvalidHeader) << noSocket << true
        << brokenKept.arg("the service sent an answer that could not be read");
    QTest::newRow("broken stream") << failed << int(F::BrokenStream) << noSocket << true
                                   << brokenKept.arg("the service's answer broke off");
    QTest::newRow("too large") << failed << int(F::AnswerTooLarge) << noSocket << true
                               << brokenKept.arg("the service's answer was too large");
    QTest::newRow("no confirming result")
        << int(KWebClient::CallBadResult) << int(F::None) << noSocket << true
        << brokenKept.arg("its answer did not confirm the report");
    QTest::newRow("refused report")
        << int(KWebClient::CallRefused) << int(F::None) << noSocket << true
        << QStringLiteral("Report sending failed. The Velmora service did not accept the report.");
    QTest::newRow("unreadable dump")
        << failed << int(F::BodySourceFailed) << noSocket << true
        << QStringLiteral("Report sending failed. Please make sure that the specified dump file "
                          "exists and try again later.");
}

// Each way a report can fail gets its own words; the connection failures say the report is kept
// only when it is.
void TestDialog::failureTexts()
{
    QFETCH(int, code);
    QFETCH(int, kind);
    QFETCH(int, socketError);
    QFETCH(bool, kept);
    QFETCH(QString, expected);
    KTransportFailure failure;
    failure.kind = KTransportFailure::Kind(kind);
    failure.socketError = socketError;
    QCOMPARE(KDumpReporterDlg::failureText(code, failure, kept, 60), expected);
}

// A proxy that refused the stored login is told apart from one that asked for a login when none
// is stored.
void TestDialog::proxyLoginRefusedText()
{
    KTransportFailure failure;
    failure.kind = KTransportFailure::ProxyAuthentication;
    failure.socketError = QAbstractSocket::ProxyAuthenticationRequiredError;
    failure.proxyLoginRefused = true;
    QCOMPARE(KDumpReporterDlg::failureText(KWebClient::CallFailed, failure, false, 60),
        QStringLiteral("Report sending failed. Could not connect to the Velmora service: the "
                       "proxy did not accept the stored proxy login. Please check your network "
                       "connection and try again later."));
}

void TestDialog::progressText_data()
{
    QTest::addColumn<qint64>("sent");
    QTest::addColumn<qint64>("total");
    QTest::addColumn<QString>("text");
    // English notation (en_US); a no-break space between each number and its unit.
    QTest::newRow("bytes") << qint64(0) << qint64(1000) << "0 / 1,000\u00a0B, 1\u00a0s left";
    QTest::newRow("200 KB") << qint64(0) << qint64(204800) << "0 / 200\u00a0KB, 26\u00a0s left";
    QTest::newRow("10 MB") << qint64(0) << qint64(10485760) << "0.0 / 10.0\u00a0MB, 21:21 left";
    QTest::newRow("10 MB half") << qint64(5242880) << qint64(10485760)
                                << "5.0 / 10.0\u00a0MB, 10:41 left";
    QTest::newRow("500 MB, hours")
        << qint64(0) << qint64(524288000) << "0.0 / 500.0\u00a0MB, 17:46:56 left";
    QTest::newRow("500 MB half") << qint64(262144000) << qint64(524288000)
                                 << "250.0 / 500.0\u00a0MB, 8:53:28 left";
    QTest::newRow("3 GB") << qint64(0) << qint64(3221225472)
                          << "0.0 / 3,072.0\u00a0MB, 109:15:13 left";
    QTest::newRow("done") << qint64(524288000) << qint64(524288000)
                          << "500.0 / 500.0\u00a0MB, 0\u00a0s left";
}

void TestDialog::progressText()
{
    QFETCH(qint64, sent);
    QFETCH(qint64, total);
    QFETCH(QString, text);
    QCOMPARE(KDumpReporterDlg::progressText(sent, total), text);
}

void TestDialog::progressRowFits_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<qint64>("total");
    const QList<QPair<QByteArray, QLocale>> languages = {
        { "en", QLocale(QLocale::English, QLocale::UnitedStates) },
        { "ru", QLocale(QLocale::Russian, QLocale::Russia) },
        { "de", QLocale(QLocale::German, QLocale::Germany) },
    };
    for (const auto &[code, locale] : languages) {
        QTest::newRow(code + " 200 KB") << locale << qint64(204800);
        QTest::newRow(code + " 10 MB") << locale << qint64(10485760);
        QTest::newRow(code + " 500 MB") << locale << qint64(524288000);
        QTest::newRow(code + " 3 GB") << locale << qint64(3221225472);
    }
}

// The upload's text in the window as it was shown, in every language (and, through a second
// ctest, at twice the scale): the window keeps its width, nothing in the row is squeezed,
// overlapped or pushed out, and a text too long for the bar is shortened, whole in its tool tip.
void TestDialog::progressRowFits()
{
    QFETCH(QLocale, locale);
    QFETCH(qint64, total);
    installTranslations(locale);
    const auto english = qScopeGuard(
        [] { installTranslations(QLocale(QLocale::English, QLocale::UnitedStates)); });
    KDumpReporterDlg dialog("/tmp/x.dmp");
    dialog.resize(dialog.minimumSize());
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const int shownWidth = dialog.width();
    QVERIFY(QMetaObject::invokeMethod(&dialog, "onChangeWindowMode", Q_ARG(bool, true)));
    auto *bar = dialog.findChild<KStatusProgressBar *>("progressUpload");
    // The same test runs once more with the toolkit's scale factor set: make sure it took.
    const double expectedScale = qEnvironmentVariableIsSet("QT_SCALE_FACTOR")
        ? qEnvironmentVariable("QT_SCALE_FACTOR").toDouble()
        : 1.0;
    QCOMPARE(dialog.devicePixelRatioF(), expectedScale);
    for (const qint64 sent : { qint64(0), total / 3, total / 2, total }) {
        dialog.showUploadProgress(sent, total);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        const QString text = KDumpReporterDlg::progressText(sent, total);
        QCOMPARE(bar->statusText(), text);
        QCOMPARE(dialog.width(), shownWidth);
        const QString problems = bottomRowProblems(dialog);
        QVERIFY2(problems.isEmpty(),
            qPrintable(QStringLiteral("%1 at scale %2").arg(problems).arg(expectedScale)));
        if (bar->isElided())
            QVERIFY2(bar->text().endsWith(QStringLiteral("…"))
                    && text.startsWith(bar->text().chopped(1)),
                qPrintable(bar->text()));
        else
            QCOMPARE(bar->text(), text);
    }
}

void TestDialog::fontsDrawAsStyleSheets_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<bool>("sending");
    const QList<QPair<QByteArray, QLocale>> languages = {
        { "en", QLocale(QLocale::English, QLocale::UnitedStates) },
        { "ru", QLocale(QLocale::Russian, QLocale::Russia) },
        { "de", QLocale(QLocale::German, QLocale::Germany) },
    };
    for (const auto &[code, locale] : languages) {
        QTest::newRow(code + " editing") << locale << false;
        QTest::newRow(code + " sending") << locale << true;
    }
}

// The small texts of the window take their sizes from fonts set in code. The window draws the
// same pixels as with the style sheets "font: 11px;" (the progress bar's "font: 10px;") that its
// widgets had before, in every language, editing and sending (and at twice the scale, through a
// second ctest).
void TestDialog::fontsDrawAsStyleSheets()
{
    QFETCH(QLocale, locale);
    QFETCH(bool, sending);
    installTranslations(locale);
    const auto english = qScopeGuard(
        [] { installTranslations(QLocale(QLocale::English, QLocale::UnitedStates)); });
    // A steady text cursor, drawn the same in both pictures.
    const int flashTime = QApplication::cursorFlashTime();
    QApplication::setCursorFlashTime(0);
    const auto blink = qScopeGuard([flashTime] { QApplication::setCursorFlashTime(flashTime); });
    // An earlier report waits, so that its line under the header is drawn too.
    cacheFolder();
    KPendingReport earlier;
    earlier.dumpPath = m_home->path() + QStringLiteral("/earlier.dmp");
    earlier.reportTime = QDateTime(QDate(2014, 2, 3), QTime(9, 5));
    earlier.version = 0x10203;
    QVERIFY(writeTestFile(earlier.dumpPath, "MDMP earlier"));
    QVERIFY(KReportQueue(KReportQueue::defaultFolder()).add(earlier));
    QCOMPARE(KReportQueue(KReportQueue::defaultFolder()).waitingCount(), 1);

    const auto picture = [sending](bool styleSheets) {
        KDumpReporterDlg dialog("/tmp/x.dmp");
        if (styleSheets) {
            for (const char *name : { "labelLogin", "labelPassword", "labelDumpFile",
                     "labelComments", "buttonWhatIsSent", "checkBoxRestart", "labelProgress",
                     "buttonSend", "buttonExit", "labelPendingReports" }) {
                auto *widget = dialog.findChild<QWidget *>(QLatin1String(name));
                widget->setFont(QFont());
                widget->setStyleSheet(QStringLiteral("font: 11px;"));
            }
            auto *bar = dialog.findChild<QWidget *>(QStringLiteral("progressUpload"));
            bar->setFont(QFont());
            bar->setStyleSheet(QStringLiteral("font: 10px;"));
        }
        dialog.setRestartCommand(
            QStringLiteral("velmora"), [](const RestartCommand &) { return true; });
        dialog.resize(dialog.minimumSize());
        dialog.show();
        if (!QTest::qWaitForWindowActive(&dialog))
            return QImage();
        if (sending) {
            QMetaObject::invokeMethod(&dialog, "onChangeWindowMode", Q_ARG(bool, true));
            dialog.showUploadProgress(102400, 204800);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
        return dialog.grab().toImage();
    };
    const QImage inCode = picture(false);
    const QImage styled = picture(true);
    QVERIFY(!inCode.isNull() && !styled.isNull());
    QCOMPARE(inCode.size(), styled.size());
    QVERIFY(inCode == styled);
}

void TestDialog::reportHeader_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<int>("windowsCode");
    QTest::addColumn<QString>("expected");
    const QString seven = "Windows 7, Windows Server 2008 R2 (operating system version 6.1)";
    QTest::newRow("windows 7") << 0x010203 << 0x0090
                               << "This report has been generated by Velmora v1.2.3 running on "
            + seven + " on 2014-02-03T09:05:00\n\n";
    QTest::newRow("top byte ignored, no code")
        << 0x01020304 << 0
        << "This report has been generated by Velmora v2.3.4 running on Windows (Unknown) on "
           "2014-02-03T09:05:00\n\n";
    QTest::newRow("family code has no name")
        << 0 << 0x00f0
        << "This report has been generated by Velmora v0.0.0 running on Windows (Unknown) on "
           "2014-02-03T09:05:00\n\n";
}

void TestDialog::reportHeader()
{
    QFETCH(int, version);
    QFETCH(int, windowsCode);
    QFETCH(QString, expected);
    QCOMPARE(
        ::reportHeader(version, windowsCode, QDateTime(QDate(2014, 2, 3), QTime(9, 5, 0, 999))),
        expected);
    QCOMPARE(operatingSystemName(0x0002), QStringLiteral("Windows 95"));
    QCOMPARE(operatingSystemName(0x0040),
        QStringLiteral("Windows Server 2003, Windows Server 2003 R2, Windows Home Server, "
                       "Windows XP Professional x64 Edition (operating system version 5.2)"));
    // This system is not Windows: the header names it as it calls itself.
    const QString system = QSysInfo::prettyProductName();
    QVERIFY(!system.isEmpty());
    QVERIFY2(::reportHeader().contains(" running on " + system + " on "), qPrintable(system));
    QVERIFY(!::reportHeader().contains("Windows"));
}

void TestDialog::windowsVersionNames_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("build");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");
    QTest::newRow("7") << 6 << 1 << 7601 << 0x0090
                       << "Windows 7, Windows Server 2008 R2 (operating system version 6.1)";
    QTest::newRow("8") << 6 << 2 << 9200 << 0x00a0
                       << "Windows 8, Windows Server 2012 (operating system version 6.2)";
    QTest::newRow("8.1") << 6 << 3 << 9600 << 0x00b0
                         << "Windows 8.1, Windows Server 2012 R2 (operating system version 6.3)";
    QTest::newRow("10") << 10 << 0 << 19045 << 0x00c0
                        << "Windows 10, Windows Server 2016, Windows Server 2019 (operating "
                           "system version 10.0)";
    QTest::newRow("last build of 10") << 10 << 0 << 21999 << 0x00c0
                                      << "Windows 10, Windows Server 2016, Windows Server 2019 "
                                         "(operating system version 10.0)";
    QTest::newRow("11") << 10 << 0 << 22000 << 0x00d0
                        << "Windows 11, Windows Server 2022 (operating system version 10.0)";
    QTest::newRow("11 later build")
        << 10 << 0 << 26100 << 0x00d0
        << "Windows 11, Windows Server 2022 (operating system version 10.0)";
    QTest::newRow("XP") << 5 << 1 << 2600 << 0x0030 << "Windows XP (operating system version 5.1)";
}

void TestDialog::windowsVersionNames()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, build);
    QFETCH(int, code);
    QFETCH(QString, name);
    QCOMPARE(windowsVersionCode(major, minor, build), code);
    QCOMPARE(operatingSystemName(code), name);
    // The sentence around the name stays as it is.
    QCOMPARE(::reportHeader(0x010203, code, QDateTime(QDate(2014, 2, 3), QTime(9, 5))),
        "This report has been generated by Velmora v1.2.3 running on " + name
            + " on 2014-02-03T09:05:00\n\n");
}

QTEST_MAIN(TestDialog)
#include "tst_dialog.moc"
