// The built program, run from outside as Velmora runs it.

#include "support/testsupport.h"

#include <QtTest>

namespace {
const QByteArray &helpText = reporterHelpText;

QString program()
{
    return QString::fromLocal8Bit(qgetenv("DUMPREPORTER_BIN"));
}

QProcessEnvironment environmentFor(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_RUNTIME_DIR", home);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TZ", "Asia/Tokyo");
    return env;
}

// Starts the program with a valid command line and waits until its window is up (the event loop
// runs once the settings store has been stamped), then ends it.
void runUntilWindowIsUp(const QString &home, QProcess &process)
{
    process.setProcessEnvironment(environmentFor(home));
    process.start(program(),
        { "--dump=" + home + "/crash.dmp", "-v", "66051", "-c", "Velmora Inc", "--soft= Tracker ",
            "--verbose" });
    QVERIFY(process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home + "/.config/Velmora Inc/Tracker.conf"), 10000);
    QTest::qWait(300);
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    process.waitForFinished();
}
} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void badCommandLine_data();
    void badCommandLine();
    void validStartLogsAndStampsSettings();
    void unusableCacheFolder();
};

void TestStartup::initTestCase()
{
    QVERIFY2(QFile::exists(program()), "DUMPREPORTER_BIN must name the built program");
}

void TestStartup::badCommandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("stderrBytes");
    QTest::newRow("no arguments") << QStringList()
                                  << QByteArray("Requred argument --dump not found!!!\n")
            + helpText;
    QTest::newRow("negative version")
        << QStringList { "--version=-1", "-d", "x.dmp", "-c", "co", "-s", "so" } << helpText;
    QTest::newRow("blank dump path")
        << QStringList { "--dump=   ", "-v", "1", "-c", "co", "-s", "so" } << helpText;
    QTest::newRow("invalid version")
        << QStringList { "-v", "abc", "-d", "x.dmp", "-c", "co", "-s", "so" }
        << QByteArray("Invalid value 'abc' for argument --version !!!\n"
                      "Requred argument --version not found!!!\n")
            + helpText;
    QTest::newRow("missing soft") << QStringList { "-v", "1", "-d", "x.dmp", "-c",
        "co" } << QByteArray("Requred argument --soft not found!!!\n") + helpText;
}

void TestStartup::badCommandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, stderrBytes);
    TemporaryHome home;
    QProcess process;
    process.setProcessEnvironment(environmentFor(home.path()));
    process.start(program(), arguments);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 255);
    QCOMPARE(process.readAllStandardError(), stderrBytes);
    // Nothing was opened: no settings store.
    QVERIFY(!QFile::exists(home.path() + "/.config/co/so.conf"));
}

void TestStartup::validStartLogsAndStampsSettings()
{
    TemporaryHome home;
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-2);
    for (int run = 0; run < 2; ++run) {
        QProcess process;
        runUntilWindowIsUp(home.path(), process);
        if (QTest::currentTestFailed())
            return;
    }
    const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(2);

    QFile log(home.cachePath() + "qx.dumpreporter.velmora.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(log.readAll()).split('\n', Qt::SkipEmptyParts);
    static const QRegularExpression initialized(
        "^U(\\S+ \\S+) \\[\\] DEBUG qx\\.velmora  - "
        "\\t\\[VM::LoggingManager::initializeLoggers\\]: "
        "\\tLogging objects have been initialized\\.\\t\\t\\t\\{\\}\\t\\./src/logging/"
        "loggingmanager\\.cpp, \\d+$");
    static const QRegularExpression started(
        "^U(\\S+ \\S+) \\[\\] INFO  qx\\.velmora  - \\t\\[main\\]: \\tDump reporter has been "
        "started\\.\\t\\t\\t\\{\\}\\t\\./src/app/main\\.cpp, \\d+$");
    // A second run appends: both runs' lines are there, in order.
    QCOMPARE(lines.size(), 4);
    for (int i = 0; i < 4; ++i) {
        const QRegularExpressionMatch match = (i % 2 ? started : initialized).match(lines.at(i));
        QVERIFY2(match.hasMatch(), qPrintable(lines.at(i)));
        QDateTime stamp = QDateTime::fromString(match.captured(1), "yyyy-MM-dd hh:mm:ss.zzz");
        stamp.setTimeSpec(Qt::UTC);
        QVERIFY2(stamp >= before && stamp <= after, qPrintable(lines.at(i))); // UTC despite TZ
    }

    QSettings store(home.path() + "/.config/Velmora Inc/Tracker.conf", QSettings::IniFormat);
    QCOMPARE(store.value("SettingsVersion").toInt(), 66048);
    QCOMPARE(store.value("AutoLogin_vm").toBool(), true);
    QCOMPARE(store.value("Remember_vm").toBool(), true);
}

void TestStartup::unusableCacheFolder()
{
    TemporaryHome home;
    QFile blocker(home.path() + "/.Velmora");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcess process;
    runUntilWindowIsUp(home.path(), process);
    if (QTest::currentTestFailed())
        return;
    QVERIFY(process.readAllStandardError().contains(
        "Failed to create folder at: " + home.path().toUtf8()
        + "/.Velmora/cache/. Velmora cannot continue. Please check your permissions and restart "
          "the software"));
    QFile log(home.path() + "/qx.dumpreporter.velmora.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().contains("Dump reporter has been started."));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
