#include "app/kdumpreporterdlg.h"
#include "app/reportheader.h"
#include "base/processvalues.h"
#include "base/windowsversion.h"
#include "settings/ksettingsmanager.h"
#include "support/testenvironment.h"

#include <QtTest>
#include <QtWidgets>

using VM::KSettingsManager;

class TestDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void form();
    void fieldsFromSettings();
    void windowModes();
    void emptyCredentials_data();
    void emptyCredentials();
    void exitEndsLoopKeepsDump();
    void currentLoginFollowsField();
    void reportHeader_data();
    void reportHeader();
    void windowsVersionNames_data();
    void windowsVersionNames();

private:
    std::unique_ptr<TestEnvironment> m_home;
};

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
        "labelComments", "textEditFeedback", "horizontalLayout_2" };
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
        QCOMPARE(label->styleSheet(), QStringLiteral("font: 11px;"));
    }
    QCOMPARE(dialog.findChild<QPushButton *>("buttonSend")->text(), QStringLiteral("Send Report"));
    QCOMPARE(dialog.findChild<QPushButton *>("buttonExit")->text(), QStringLiteral("Exit"));
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
                       "Privacy note: no personal data will be transmitted, but you'll need to "
                       "be authenticated with your Velmora credentials."));
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
