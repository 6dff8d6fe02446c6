// Reports kept for later: the window queues a report the service did not accept, names the
// earlier ones and sends them after its own; "+send-pending" sends the queue without a window.
// The web service is the in-process HTTPS stand-in; the headless mode runs the built program.

#include "app/kpendingsender.h"
#include "app/kreportqueue.h"
#include "app/reportheader.h"
#include "app/translations.h"
#include "base/processvalues.h"
#include "logging/loggingmanager.h"
#include "settings/ksettingsmanager.h"
#include "support/apitestserver.h"
#include "support/reportwindowdriver.h"
#include "support/testenvironment.h"
#include "support/testproxyserver.h"
#include "support/testsupport.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>
#include <sys/stat.h>

namespace {

constexpr int Version = 0x010203;
constexpr int FlowEnded = WindowSession::FlowEnded;

QString program()
{
    return QString::fromLocal8Bit(qgetenv("DUMPREPORTER_BIN"));
}

int modeOf(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

// What the stand-in answers to both methods when the order of requests is not known beforehand.
ApiTestServer::Answer acceptEverything()
{
    ApiTestServer::Answer answer = ApiTestServer::loginOk();
    answer.body += "result=\"1\"\n";
    return answer;
}

// The uploads among the requests, as their decoded dumps.
QList<QByteArray> uploadedDumps(const QList<ApiTestServer::Request> &requests)
{
    QList<QByteArray> dumps;
    for (const ApiTestServer::Request &request : requests) {
        if (request.method == QLatin1String("upload_feedback2"))
            dumps << QByteArray::fromBase64(request.parameters.value("memorydump"));
    }
    return dumps;
}

} // namespace

class TestQueue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    // The window.
    void windowEndKeepsUnsentReport_data();
    void windowEndKeepsUnsentReport();
    void windowSendsEarlierReports_data();
    void windowSendsEarlierReports();
    void exitWhileSendingEarlierReports();

    // The built program, "+send-pending".
    void sendPendingSendsAndEmptiesQueue_data();
    void sendPendingSendsAndEmptiesQueue();
    void sendPendingKeepsWhatFails_data();
    void sendPendingKeepsWhatFails();
    void twoSendersSendEachReportOnce();
    void sendPendingStillNeedsTheOtherOptions();
    void sendPendingThroughProxy_data();
    void sendPendingThroughProxy();

private:
    KReportQueue queue() const { return KReportQueue(m_home->cachePath() + "pending/"); }
    QString file(const QString &name) const { return m_files.filePath(name); }
    // Queues a report of a new dump file with these bytes.
    KPendingReport queueReport(const QString &name, const QByteArray &bytes, const QString &comment,
        int version = Version) const;
    // Remembers a login and a password in the store that the program opens with -c co -s so.
    void rememberLogin(const QString &login, const QString &password) const;
    QProcessEnvironment programEnvironment(bool display) const;
    QStringList sendPendingArguments() const;
    // Runs the program with "+send-pending" until it ends; its exit code, or -1.
    int runSendPending(bool display = true);
    QByteArray newLog();

    std::unique_ptr<TestEnvironment> m_home;
    QTemporaryDir m_files;
    std::unique_ptr<ApiTestServer> m_server;
    std::unique_ptr<TestLogFile> m_log;
};

void TestQueue::initTestCase()
{
    QVERIFY2(QFile::exists(program()), "DUMPREPORTER_BIN must name the built program");
    m_home = std::make_unique<TestEnvironment>();
    m_home->logToFile();
    m_log = std::make_unique<TestLogFile>(m_home->logFile());
    setVersionNumber(Version);
    // The English texts as start-up shows them: "1 second", "1 earlier report".
    installTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
    m_home->useSettings(Version, QStringLiteral("co"), QStringLiteral("so")).trustTestCa();
    m_server = std::make_unique<ApiTestServer>();
    QVERIFY(m_server->startListening());
    m_home->useApiHost(m_server->hostAndPort());
}

void TestQueue::init()
{
    m_server->releaseAnswers();
    m_server->clear();
    m_server->setDefaultAnswer(ApiTestServer::result("0"));
    QDir(m_home->cachePath() + "pending").removeRecursively();
    for (const QString &name : QDir(m_files.path()).entryList(QDir::Files))
        QFile::remove(m_files.filePath(name));
    rememberLogin(QStringLiteral("someone"), QStringLiteral("secret"));
    newLog();
}

void TestQueue::cleanupTestCase()
{
    m_server.reset();
    m_home.reset();
}

KPendingReport TestQueue::queueReport(
    const QString &name, const QByteArray &bytes, const QString &comment, int version) const
{
    KPendingReport report;
    report.dumpPath = file(name);
    report.comment = comment;
    report.reportTime = QDateTime(QDate(2014, 2, 3), QTime(9, 5), Qt::OffsetFromUTC, 3600);
    report.version = version;
    if (!writeTestFile(report.dumpPath, bytes) || !queue().add(report))
        qWarning("could not queue %s", qPrintable(name));
    return report;
}

void TestQueue::rememberLogin(const QString &login, const QString &password) const
{
    QSettings store(m_home->path() + "/.config/co/so.conf", QSettings::IniFormat);
    store.setValue("Login_vm", login);
    store.setValue("Passwd_vm", password);
}

QByteArray TestQueue::newLog()
{
    return m_log->newBytes();
}

QProcessEnvironment TestQueue::programEnvironment(bool display) const
{
    QProcessEnvironment env = m_home->programEnvironment();
    env.insert("XDG_RUNTIME_DIR", m_home->path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    if (!display) {
        for (const char *name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
            env.remove(name);
    }
    return env;
}

QStringList TestQueue::sendPendingArguments() const
{
    // The word anywhere on the line; no dump.
    return { "-v", "66051", "+send-pending", "--company=co", "-s", "so" };
}

int TestQueue::runSendPending(bool display)
{
    QProcess process;
    process.setProcessEnvironment(programEnvironment(display));
    process.start(program(), sendPendingArguments());
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    const QByteArray errors = process.readAllStandardError();
    if (!errors.isEmpty())
        qWarning("standard error: %s", errors.constData());
    return process.exitCode();
}

void TestQueue::windowEndKeepsUnsentReport_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QList<ApiTestServer::Answer>>("answers");
    QTest::addColumn<bool>("press");
    QTest::addColumn<bool>("queued");
    using Answers = QList<ApiTestServer::Answer>;
    QTest::newRow("closed without pressing Send") << "secret" << Answers {} << false << false;
    QTest::newRow("upload failed, then Exit")
        << "secret" << Answers { ApiTestServer::loginOk(), ApiTestServer::result("0") } << true
        << true;
    QTest::newRow("sign-in refused, then Exit")
        << "wrong" << Answers { ApiTestServer::loginRefused() } << true << true;
    QTest::newRow("no password, then Exit") << "" << Answers {} << true << true;
    QTest::newRow("accepted") << "secret"
                              << Answers { ApiTestServer::loginOk(), ApiTestServer::result("1") }
                              << true << false;
}

void TestQueue::windowEndKeepsUnsentReport()
{
    QFETCH(QString, password);
    QFETCH(QList<ApiTestServer::Answer>, answers);
    QFETCH(bool, press);
    QFETCH(bool, queued);
    const QByteArray dump = "MDMP window dump";
    const QString dumpPath = file("crash.dmp");
    QVERIFY(writeTestFile(dumpPath, dump));
    m_server->script(answers);

    const mode_t previousMask = ::umask(0);
    BoxCloser boxes;
    {
        WindowSession session(dumpPath, Version);
        session.type("lineEditLogin", QStringLiteral("someone"));
        session.type("lineEditPassword", password);
        session.typeComment(QStringLiteral("It crashed."));
        if (press) {
            const int code = session.pressSend(boxes);
            QCOMPARE(code, queued ? FlowEnded : 0);
            // After the failure the user adds to the comment before leaving.
            QTest::keyClicks(session.child<QPlainTextEdit>("textEditFeedback"), " Twice.");
        }
        if (press)
            QTest::mouseClick(session.child<QPushButton>("buttonExit"), Qt::LeftButton);
        else
            session.dialog->close();
    }
    ::umask(previousMask);

    const QList<KPendingReport> entries = queue().entries();
    if (!queued) {
        QVERIFY(entries.isEmpty());
        QCOMPARE(QFile::exists(dumpPath), !press);
        return;
    }
    QCOMPARE(entries.size(), 1);
    const KPendingReport &entry = entries.first();
    QCOMPARE(entry.dumpPath, dumpPath);
    QCOMPARE(entry.comment, QStringLiteral("It crashed. Twice."));
    QCOMPARE(entry.version, Version);
    QCOMPARE(readTestFile(dumpPath), dump);
    // The time is the one the sent system line named, when a system line went out.
    const QList<ApiTestServer::Request> requests = m_server->requests();
    if (!requests.isEmpty() && requests.last().method == "upload_feedback2") {
        const QString message = QString::fromUtf8(requests.last().parameters.value("message"));
        QCOMPARE(message,
            reportHeader(Version, operatingSystemName(), entry.reportTime) + "It crashed.");
    } else {
        QVERIFY(qAbs(entry.reportTime.secsTo(QDateTime::currentDateTime())) < 120);
    }
    // Owner-only, whatever the creation mask; the lock went with the window.
    QCOMPARE(modeOf(m_home->cachePath() + "pending"), 0700);
    QCOMPARE(modeOf(queue().entryPath(dumpPath)), 0600);
    QCOMPARE(QDir(m_home->cachePath() + "pending").entryList(QDir::Files).size(), 1);
}

void TestQueue::windowSendsEarlierReports_data()
{
    QTest::addColumn<int>("earlier");
    QTest::addColumn<QString>("line");
    QTest::newRow("one") << 1 << "1 earlier report waits to be sent; it is sent after this one.";
    QTest::newRow("two") << 2 << "2 earlier reports wait to be sent; they are sent after this one.";
}

void TestQueue::windowSendsEarlierReports()
{
    QFETCH(int, earlier);
    QFETCH(QString, line);
    QList<KPendingReport> reports;
    for (int i = 0; i < earlier; ++i)
        reports << queueReport(QStringLiteral("earlier%1.dmp").arg(i),
            "MDMP earlier " + QByteArray::number(i), QStringLiteral("Earlier %1").arg(i),
            0x020304 + i);
    // Neither a report whose dump has gone nor the window's own dump counts.
    queueReport(QStringLiteral("gone.dmp"), "MDMP gone", QStringLiteral("gone"));
    QVERIFY(QFile::remove(file("gone.dmp")));
    const QString own = file("crash.dmp");
    queueReport(QStringLiteral("crash.dmp"), "MDMP own", QStringLiteral("own, earlier"));

    // The service takes the own report and the first earlier one, and refuses the last.
    QList<ApiTestServer::Answer> answers { ApiTestServer::loginOk(), ApiTestServer::result("1") };
    for (int i = 0; i < earlier; ++i)
        answers << ApiTestServer::result(i == earlier - 1 ? "-1" : "1");
    m_server->script(answers);

    BoxCloser boxes;
    WindowSession session(own, Version);
    auto *pending = session.child<QLabel>("labelPendingReports");
    QVERIFY(pending);
    QVERIFY(pending->isVisible());
    QCOMPARE(pending->text(), line);
    // Under the header.
    QCOMPARE(session.dialog->layout()->indexOf(pending), 1);

    session.type("lineEditLogin", QStringLiteral("someone"));
    session.type("lineEditPassword", QStringLiteral("secret"));
    session.typeComment(QStringLiteral("own"));
    QStringList progressTexts;
    auto *progress = session.child<QLabel>("labelProgress");
    const int code = session.runFlow(
        boxes, [&] { QTest::mouseClick(session.child<QPushButton>("buttonSend"), Qt::LeftButton); },
        [&] {
            if (progressTexts.isEmpty() || progressTexts.last() != progress->text())
                progressTexts << progress->text();
            return false;
        });
    QCOMPARE(code, 0);
    QVERIFY(boxes.seen.isEmpty());

    QStringList expectedTexts;
    for (int i = 0; i < earlier; ++i)
        expectedTexts << QStringLiteral("Sending earlier report %1 of %2…").arg(i + 1).arg(earlier);
    QCOMPARE(progressTexts.mid(1), expectedTexts);

    const QList<ApiTestServer::Request> requests = m_server->requests();
    QCOMPARE(requests.size(), 2 + earlier);
    QVERIFY(requests.at(1).parameters.value("message").endsWith("\n\nown"));
    for (int i = 0; i < earlier; ++i) {
        const auto &upload = requests.at(2 + i);
        QCOMPARE(upload.method, QStringLiteral("upload_feedback2"));
        QCOMPARE(QString::fromUtf8(upload.parameters.value("message")),
            KPendingSender::reportMessage(reports.at(i)));
        QCOMPARE(QByteArray::fromBase64(upload.parameters.value("memorydump")),
            "MDMP earlier " + QByteArray::number(i));
        QCOMPARE(upload.parameters.value("crash"), QByteArray("1"));
    }
    // Accepted: dump and entry gone. Refused: both stay.
    QVERIFY(!QFile::exists(own));
    for (int i = 0; i < earlier - 1; ++i)
        QVERIFY(!QFile::exists(reports.at(i).dumpPath));
    QVERIFY(QFile::exists(reports.last().dumpPath));
    const QList<KPendingReport> left = queue().entries();
    QCOMPARE(left.size(), 1);
    QCOMPARE(left.first().dumpPath, reports.last().dumpPath);
    QCOMPARE(left.first().comment, reports.last().comment);
}

void TestQueue::exitWhileSendingEarlierReports()
{
    // Each earlier report takes seconds at the transport's pace; Exit comes during the first.
    queueReport(QStringLiteral("earlier0.dmp"), QByteArray(20000, 'A'), QStringLiteral("a"));
    queueReport(QStringLiteral("earlier1.dmp"), QByteArray(20000, 'B'), QStringLiteral("b"));
    const QString own = file("crash.dmp");
    QVERIFY(writeTestFile(own, "MDMP own"));
    m_server->setDefaultAnswer(ApiTestServer::result("1"));
    m_server->script({ ApiTestServer::loginOk() });

    BoxCloser boxes;
    WindowSession session(own, Version);
    session.type("lineEditLogin", QStringLiteral("someone"));
    session.type("lineEditPassword", QStringLiteral("secret"));
    auto *progress = session.child<QLabel>("labelProgress");
    auto *bar = session.child<QProgressBar>("progressUpload");
    bool exitPressed = false;
    const int code = session.runFlow(
        boxes, [&] { QTest::mouseClick(session.child<QPushButton>("buttonSend"), Qt::LeftButton); },
        [&] {
            if (!progress->text().startsWith(QLatin1String("Sending earlier report 1"))
                || bar->value() == 0)
                return false;
            QTest::mouseClick(session.child<QPushButton>("buttonExit"), Qt::LeftButton);
            exitPressed = true;
            return true;
        });
    QCOMPARE(code, 0);
    QVERIFY(exitPressed);
    QVERIFY(boxes.seen.isEmpty());
    QVERIFY(!QFile::exists(own));
    QCOMPARE(readTestFile(file("earlier0.dmp")), QByteArray(20000, 'A'));
    QCOMPARE(readTestFile(file("earlier1.dmp")), QByteArray(20000, 'B'));
    QCOMPARE(queue().entries().size(), 2);
    // The abandoned upload's lock is let go once the client has stopped.
    session.client->shutDown();
    QTRY_VERIFY(queue().tryLock(file("earlier0.dmp")) != nullptr);
    QCOMPARE(m_server->methods(), QStringList({ "login", "upload_feedback2" }));
}

void TestQueue::sendPendingSendsAndEmptiesQueue_data()
{
    QTest::addColumn<bool>("display");
    QTest::newRow("display") << true;
    QTest::newRow("no display") << false;
}

void TestQueue::sendPendingSendsAndEmptiesQueue()
{
    QFETCH(bool, display);
    const KPendingReport first
        = queueReport(QStringLiteral("first.dmp"), "MDMP\x01\x02 first" + QByteArray(300, '\0'),
            QString::fromUtf8("First, \"ü\"\nline two"), 0x020304);
    const KPendingReport second
        = queueReport(QStringLiteral("second.dmp"), "MDMP second", QString(), 0x010203);
    m_server->script({ ApiTestServer::loginOk() });
    m_server->setDefaultAnswer(ApiTestServer::result("1"));

    QCOMPARE(runSendPending(display), 0);
    const QList<ApiTestServer::Request> requests = m_server->requests();
    QCOMPARE(m_server->methods(), QStringList({ "login", "upload_feedback2", "upload_feedback2" }));
    // Signed in with the remembered login and password.
    QCOMPARE(requests.at(0).parameters.value("login"), QByteArray("someone"));
    QCOMPARE(requests.at(0).parameters.value("passwd"), QByteArray("secret"));
    // Oldest first, each with its saved comment behind the system line of its saved time and
    // version.
    QCOMPARE(QString::fromUtf8(requests.at(1).parameters.value("message")),
        "This report has been generated by Velmora v2.3.4 running on " + operatingSystemName()
            + " on 2014-02-03T09:05:00\n\n" + first.comment);
    QCOMPARE(QString::fromUtf8(requests.at(2).parameters.value("message")),
        "This report has been generated by Velmora v1.2.3 running on " + operatingSystemName()
            + " on 2014-02-03T09:05:00\n\n");
    QCOMPARE(uploadedDumps(requests),
        QList<QByteArray>({ "MDMP\x01\x02 first" + QByteArray(300, '\0'), "MDMP second" }));
    QCOMPARE(requests.at(1).version, QStringLiteral("win1.2.3"));
    QVERIFY(!QFile::exists(first.dumpPath));
    QVERIFY(!QFile::exists(second.dumpPath));
    QVERIFY(queue().entries().isEmpty());
    QVERIFY(QDir(m_home->cachePath() + "pending").entryList(QDir::Files).isEmpty());
    const QByteArray log = newLog();
    QVERIFY2(log.contains("Every unsent report has been sent."), log);
    QVERIFY(!log.contains("No display"));

    // Nothing left: a second run sends nothing and signs in to nothing.
    m_server->clear();
    QCOMPARE(runSendPending(display), 0);
    QVERIFY(m_server->requests().isEmpty());
}

void TestQueue::sendPendingKeepsWhatFails_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QList<ApiTestServer::Answer>>("answers");
    QTest::addColumn<QStringList>("methods");
    QTest::addColumn<QByteArray>("logged");
    using Answers = QList<ApiTestServer::Answer>;
    QTest::newRow("upload refused")
        << "someone" << Answers { ApiTestServer::loginOk(), ApiTestServer::result("-1") }
        << QStringList { "login", "upload_feedback2" }
        << QByteArray("Unsent report 1 of 1 failed with the following code: 9; it stays queued: ");
    QTest::newRow("upload status 500")
        << "someone" << Answers { ApiTestServer::loginOk(), ApiTestServer::status(500) }
        << QStringList { "login", "upload_feedback2" }
        << QByteArray("Unsent report 1 of 1 failed with the following code: 4; it stays queued: ");
    QTest::newRow("sign-in refused")
        << "someone" << Answers { ApiTestServer::loginRefused() } << QStringList { "login" }
        << QByteArray("Sign-in of someone failed with the following code: 3; 1 unsent reports "
                      "stay queued.");
    QTest::newRow("no remembered login")
        << "" << Answers {} << QStringList {}
        << QByteArray("No login and password are remembered: 1 unsent reports stay queued.");
}

void TestQueue::sendPendingKeepsWhatFails()
{
    QFETCH(QString, login);
    QFETCH(QList<ApiTestServer::Answer>, answers);
    QFETCH(QStringList, methods);
    QFETCH(QByteArray, logged);
    rememberLogin(login, QStringLiteral("secret"));
    const KPendingReport report
        = queueReport(QStringLiteral("crash.dmp"), "MDMP kept", QStringLiteral("kept"));
    m_server->script(answers);

    QCOMPARE(runSendPending(), 1);
    QCOMPARE(m_server->methods(), methods);
    QCOMPARE(readTestFile(report.dumpPath), QByteArray("MDMP kept"));
    const QList<KPendingReport> entries = queue().entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(entries.first().comment, QStringLiteral("kept"));
    const QByteArray log = newLog();
    QVERIFY2(log.contains(" WARN  qx.velmora  - \t[KPendingSender::sendAll]: \t" + logged), log);
    // The lock went with the program.
    QVERIFY(queue().tryLock(report.dumpPath));
}

void TestQueue::twoSendersSendEachReportOnce()
{
    QList<QByteArray> dumps;
    for (int i = 0; i < 4; ++i) {
        // About half a second each at the transport's pace.
        dumps << QByteArray(2500, char('a' + i));
        queueReport(QStringLiteral("crash%1.dmp").arg(i), dumps.last(), QString::number(i));
    }
    m_server->setDefaultAnswer(acceptEverything());
    // Both sign in before either sends: they go through the queue side by side.
    m_server->holdAnswers();

    QProcess one;
    QProcess two;
    for (QProcess *process : { &one, &two }) {
        process->setProcessEnvironment(programEnvironment(true));
        process->start(program(), sendPendingArguments());
    }
    QTRY_COMPARE_WITH_TIMEOUT(m_server->requests().size(), 2, 20000);
    m_server->releaseAnswers();
    QVERIFY(one.waitForFinished(60000));
    QVERIFY(two.waitForFinished(60000));
    QCOMPARE(one.exitStatus(), QProcess::NormalExit);
    QCOMPARE(two.exitStatus(), QProcess::NormalExit);
    // A reporter that found a report in the other's hands may end before the other is done.
    QVERIFY(one.exitCode() == 0 || two.exitCode() == 0);
    QVERIFY(one.exitCode() <= 1 && two.exitCode() <= 1);

    QList<QByteArray> sent = uploadedDumps(m_server->requests());
    std::sort(sent.begin(), sent.end());
    QCOMPARE(sent, dumps);
    QVERIFY(queue().entries().isEmpty());
    for (int i = 0; i < 4; ++i)
        QVERIFY(!QFile::exists(file(QStringLiteral("crash%1.dmp").arg(i))));
}

void TestQueue::sendPendingStillNeedsTheOtherOptions()
{
    const KPendingReport report
        = queueReport(QStringLiteral("crash.dmp"), "MDMP kept", QStringLiteral("kept"));
    QProcess process;
    process.setProcessEnvironment(programEnvironment(true));
    process.start(program(), { "+send-pending", "-v", "66051", "-c", "co" });
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitCode(), 255);
    QVERIFY(process.readAllStandardError().startsWith("Requred argument --soft not found!!!\n"));
    QVERIFY(m_server->requests().isEmpty());
    QCOMPARE(queue().entries().size(), 1);
}

QTEST_MAIN(TestQueue)
// Velmora starts the reporter with its own environment: a proxy named there carries the reports,
// and the proxy's credentials come from the settings store.
void TestQueue::sendPendingThroughProxy_data()
{
    QTest::addColumn<TestProxyServer::Kind>("kind");
    QTest::newRow("tinyproxy") << TestProxyServer::Kind::Tinyproxy;
    QTest::newRow("squid") << TestProxyServer::Kind::Squid;
}

void TestQueue::sendPendingThroughProxy()
{
    QFETCH(TestProxyServer::Kind, kind);
    if (!TestProxyServer::installed(kind))
        QSKIP("the proxy is not installed");
    const std::unique_ptr<TestProxyServer> proxy
        = TestProxyServer::make(kind, "proxyman", "pr0xy-pa55", m_server->port());
    QVERIFY2(proxy->start(), qPrintable(proxy->errorText()));
    {
        QSettings store(m_home->path() + "/.config/co/so.conf", QSettings::IniFormat);
        store.setValue("ProxyUser", "proxyman");
        store.setValue("ProxyPass", "pr0xy-pa55");
    }
    const KPendingReport report
        = queueReport(QStringLiteral("proxied.dmp"), "MDMP proxied", "Sent through the proxy");
    m_server->script({ ApiTestServer::loginOk() });
    m_server->setDefaultAnswer(ApiTestServer::result("1"));

    QProcess process;
    QProcessEnvironment env = programEnvironment(false);
    env.insert("https_proxy", QString::fromLatin1(proxy->url()));
    env.remove("no_proxy");
    env.remove("NO_PROXY");
    process.setProcessEnvironment(env);
    process.start(program(), sendPendingArguments());
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QByteArray log = newLog();
    QVERIFY2(process.exitCode() == 0, log + proxy->log().toLocal8Bit());

    QCOMPARE(m_server->methods(), QStringList({ "login", "upload_feedback2" }));
    QCOMPARE(uploadedDumps(m_server->requests()), QList<QByteArray>({ "MDMP proxied" }));
    QVERIFY(!QFile::exists(report.dumpPath));
    // Both requests went through the proxy's tunnel, and no credential reached the log.
    QTRY_COMPARE(proxy->tunnels(), 2);
    QVERIFY2(log.contains("through the proxy 127.0.0.1:" + QByteArray::number(proxy->port())), log);
    QVERIFY(!log.contains("pr0xy-pa55"));
}

#include "tst_queue.moc"
