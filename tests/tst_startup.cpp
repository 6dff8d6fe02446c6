// The built program, run from outside as Velmora runs it.

#include "support/testsupport.h"

#include <QtTest>

#include <sys/stat.h>

namespace {
const QByteArray &helpText = reporterHelpText;

QString program()
{
    return QString::fromLocal8Bit(qgetenv("DUMPREPORTER_BIN"));
}

QProcessEnvironment environmentFor(const QString &home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // The window speaks the system's language: English here, whatever the machine's.
    for (const QString &name : env.keys()) {
        if (name == "LANGUAGE" || name.startsWith("LC_"))
            env.remove(name);
    }
    env.insert("LANG", "C.UTF-8");
    env.insert("HOME", home);
    env.insert("XDG_CONFIG_HOME", home + "/.config");
    env.insert("XDG_RUNTIME_DIR", home);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TZ", "Asia/Tokyo");
    return env;
}

const QStringList validArguments(const QString &home, const QString &dumpName = "crash.dmp")
{
    return { "--dump=" + home + "/" + dumpName, "-v", "66051", "-c", "Velmora Inc",
        "--soft= Tracker ", "--verbose" };
}

// The environment without any display and without a platform named for the toolkit.
QProcessEnvironment environmentWithoutDisplay(const QString &home)
{
    QProcessEnvironment env = environmentFor(home);
    for (const char *name : { "QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY" })
        env.remove(name);
    return env;
}

// The permission bits of a file or folder; -1 when it cannot be read.
int modeOf(const QString &path)
{
    struct stat info;
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return -1;
    return int(info.st_mode & 07777);
}

// The entries below a folder whose names hold a question mark.
QStringList questionMarkEntries(const QString &root)
{
    QStringList found;
    QDirIterator it(
        root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (it.fileName().contains(QLatin1Char('?')))
            found << path;
    }
    return found;
}

// Starts the program with a valid command line and waits until its window is up (the event loop
// runs once the settings store has been stamped), then ends it.
void runUntilWindowIsUp(const QString &home, QProcess &process)
{
    if (process.processEnvironment().isEmpty())
        process.setProcessEnvironment(environmentFor(home));
    process.start(program(), validArguments(home));
    QVERIFY(process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home + "/.config/Velmora Inc/Tracker.conf"), 10000);
    QTest::qWait(300);
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    process.waitForFinished();
}

// An X server of the test's own (Xvfb, without a window manager) and xdotool to press keys in
// the real program's window.
class VirtualDisplay
{
public:
    VirtualDisplay()
    {
        const QString xvfb = QStandardPaths::findExecutable("Xvfb");
        m_xdotool = QStandardPaths::findExecutable("xdotool");
        if (xvfb.isEmpty() || m_xdotool.isEmpty())
            return;
        // -displayfd: the server picks a free display and writes its number once it listens.
        // -noreset: by default the server starts afresh whenever its last client leaves, and a
        // program that connects meanwhile (the reporter, after xdotool looked) is refused.
        m_server.start(xvfb,
            { "-displayfd", "1", "-noreset", "-screen", "0", "1024x768x24", "-nolisten", "tcp" });
        if (!m_server.waitForStarted())
            return;
        QByteArray number;
        while (!number.endsWith('\n') && m_server.waitForReadyRead(10000))
            number += m_server.readAllStandardOutput();
        if (number.trimmed().isEmpty())
            return;
        m_display = ":" + QString::fromLatin1(number.trimmed());
    }
    ~VirtualDisplay()
    {
        m_server.terminate();
        m_server.waitForFinished();
    }
    // Empty when no server could be started (Xvfb and xdotool come with scripts/setup).
    QString name() const { return m_display; }
    // What the server has said, and whether it still runs: for failure messages.
    QString serverState()
    {
        return QStringLiteral("Xvfb on %1 %2: %3")
            .arg(m_display,
                m_server.state() == QProcess::Running ? QStringLiteral("runs")
                                                      : QStringLiteral("has ended"),
                QString::fromLocal8Bit(m_server.readAllStandardError()));
    }

    // Runs xdotool on this display; its standard output, or nothing when it failed.
    std::optional<QString> xdotool(const QStringList &arguments) const
    {
        QProcess tool;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", m_display);
        tool.setProcessEnvironment(env);
        tool.start(m_xdotool, arguments);
        if (!tool.waitForFinished(20000) || tool.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

private:
    QProcess m_server;
    QString m_xdotool;
    QString m_display;
};
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
    void ownerOnlyCacheAndLog_data();
    void ownerOnlyCacheAndLog();
    void nonLatinHome_data();
    void nonLatinHome();
    void systemLanguage_data();
    void systemLanguage();
    void strayLoggingConfiguration_data();
    void strayLoggingConfiguration();
    void restartIgnoredWhenSendingQueue();
    void restartWhenTheWindowEnds_data();
    void restartWhenTheWindowEnds();
    void noDisplay_data();
    void noDisplay();
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
    // Standard error is in the locale's encoding (here C.UTF-8).
    QTest::newRow("Cyrillic value")
        << QStringList { "-v", QString::fromUtf8("Привет"), "-d", "x.dmp", "-c", "co", "-s", "so" }
        << QByteArray("Invalid value '\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82' for "
                      "argument --version !!!\n"
                      "Requred argument --version not found!!!\n")
            + helpText;
    QTest::newRow("restart given, soft missing")
        << QStringList { "-r", "velmora --safe", "-v", "1", "-d", "x.dmp", "-c", "co" }
        << QByteArray("Requred argument --soft not found!!!\n") + helpText;
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

void TestStartup::ownerOnlyCacheAndLog_data()
{
    QTest::addColumn<bool>("logExists");
    QTest::newRow("fresh home") << false;
    QTest::newRow("log file open to all") << true;
}

void TestStartup::ownerOnlyCacheAndLog()
{
    QFETCH(bool, logExists);
    TemporaryHome home;
    const QString logPath = home.cachePath() + "qx.dumpreporter.velmora.log";
    if (logExists) {
        QVERIFY(QDir().mkpath(home.cachePath()));
        QFile log(logPath);
        QVERIFY(log.open(QIODevice::WriteOnly));
        log.write("an earlier line\n");
        log.close();
        QVERIFY(::chmod(QFile::encodeName(logPath).constData(), 0666) == 0);
    }
    QProcess process;
    // No creation mask at all: the modes come from the program alone.
    process.setChildProcessModifier([] { ::umask(0); });
    runUntilWindowIsUp(home.path(), process);
    if (QTest::currentTestFailed())
        return;
    if (!logExists) {
        QCOMPARE(modeOf(home.path() + "/.Velmora"), 0700);
        QCOMPARE(modeOf(home.cachePath()), 0700);
    }
    QCOMPARE(modeOf(logPath), 0600);
    QFile log(logPath);
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray content = log.readAll();
    QVERIFY(content.contains("Dump reporter has been started."));
    QCOMPARE(content.startsWith("an earlier line\n"), logExists);
}

void TestStartup::systemLanguage_data()
{
    QTest::addColumn<QStringList>("variables"); // name=value, ...
    QTest::addColumn<QString>("language"); // empty: the English sources
    // The machine needs no such locale of the C library: the toolkit reads the variables itself.
    QTest::newRow("LANG ru") << QStringList { "LANG=ru_RU.UTF-8" } << "ru";
    QTest::newRow("LANG de") << QStringList { "LANG=de_DE.UTF-8" } << "de";
    QTest::newRow("LC_ALL over LANG")
        << QStringList { "LANG=ru_RU.UTF-8", "LC_ALL=de_CH.UTF-8" } << "de";
    QTest::newRow("LANG en_US") << QStringList { "LANG=en_US.UTF-8" } << "";
    QTest::newRow("LANG C") << QStringList { "LANG=C" } << "";
    QTest::newRow("LANG fr") << QStringList { "LANG=fr_FR.UTF-8" } << "";
}

void TestStartup::systemLanguage()
{
    QFETCH(QStringList, variables);
    QFETCH(QString, language);
    TemporaryHome home;
    QProcessEnvironment env = environmentFor(home.path());
    for (const QString &variable : variables)
        env.insert(variable.section('=', 0, 0), variable.section('=', 1));
    QProcess process;
    process.setProcessEnvironment(env);
    runUntilWindowIsUp(home.path(), process);
    if (QTest::currentTestFailed())
        return;

    QFile log(home.cachePath() + "qx.dumpreporter.velmora.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray content = log.readAll();
    const QByteArray line = "\tTexts are shown in the language " + language.toUtf8() + ".\t";
    if (language.isEmpty())
        QVERIFY2(!content.contains("Texts are shown in the language"), content.constData());
    else
        QVERIFY2(content.contains(line), content.constData());
    // The toolkit's own catalogue of the language is found too (its standard buttons), when the
    // system has it.
    const QString toolkitCatalogue
        = QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_" + language + ".qm";
    if (!language.isEmpty() && QFile::exists(toolkitCatalogue))
        QVERIFY2(!content.contains("standard buttons stay English"), content.constData());
}

void TestStartup::nonLatinHome_data()
{
    QTest::addColumn<QString>("locale");
    QTest::newRow("C") << "C";
    QTest::newRow("C.UTF-8") << "C.UTF-8";
}

void TestStartup::nonLatinHome()
{
    QFETCH(QString, locale);
    QTemporaryDir root;
    QVERIFY(root.isValid());
    const QString home = root.path() + QString::fromUtf8("/Юзер");
    QVERIFY(QDir().mkpath(home));
    QFile dump(home + QString::fromUtf8("/краш.dmp"));
    QVERIFY(dump.open(QIODevice::WriteOnly));
    dump.close();

    QProcessEnvironment env = environmentFor(home);
    for (const QString &name : env.keys()) {
        if (name == "LANG" || name == "LANGUAGE" || name.startsWith("LC_"))
            env.remove(name);
    }
    env.insert("LC_ALL", locale);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(program(), validArguments(home, QString::fromUtf8("краш.dmp")));
    QVERIFY(process.waitForStarted());
    // The settings store lies under the home folder's own name.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(home + "/.config/Velmora Inc/Tracker.conf"), 10000);
    QTest::qWait(300);
    QCOMPARE(process.state(), QProcess::Running);
    process.kill();
    process.waitForFinished();

    QFile log(home + "/.Velmora/cache/qx.dumpreporter.velmora.log");
    QVERIFY2(log.open(QIODevice::ReadOnly), qPrintable(log.fileName()));
    const QByteArray content = log.readAll();
    QVERIFY(content.contains("\t[main]: \tDump reporter has been started."));
    QVERIFY(content.contains("Logging objects have been initialized."));
    const QStringList stray = questionMarkEntries(root.path());
    QVERIFY2(stray.isEmpty(), qPrintable(stray.join(", ")));
    QVERIFY(!QFileInfo::exists(root.path() + "/????"));
}

void TestStartup::strayLoggingConfiguration_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("namedByVariable");
    const QByteArray properties = "log4j.rootLogger=OFF, quiet\n"
                                  "log4j.appender.quiet=org.apache.log4j.varia.NullAppender\n"
                                  "log4j.logger.qx.velmora=OFF\n"
                                  "log4j.threshold=OFF\n";
    const QByteArray xml
        = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
          "<log4j:configuration xmlns:log4j=\"http://jakarta.apache.org/log4j/\" "
          "threshold=\"off\">\n"
          "  <appender name=\"quiet\" class=\"org.apache.log4j.varia.NullAppender\"/>\n"
          "  <logger name=\"qx.velmora\"><level value=\"off\"/></logger>\n"
          "  <root><level value=\"off\"/><appender-ref ref=\"quiet\"/></root>\n"
          "</log4j:configuration>\n";
    QTest::newRow("log4j.properties") << "log4j.properties" << properties << false;
    QTest::newRow("log4cxx.properties") << "log4cxx.properties" << properties << false;
    QTest::newRow("log4cxx.xml") << "log4cxx.xml" << xml << false;
    QTest::newRow("log4j.xml") << "log4j.xml" << xml << false;
    QTest::newRow("named by LOG4CXX_CONFIGURATION") << "quiet.properties" << properties << true;
}

void TestStartup::strayLoggingConfiguration()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(bool, namedByVariable);
    TemporaryHome home;
    QTemporaryDir workingDirectory;
    QVERIFY(workingDirectory.isValid());
    QFile file(workingDirectory.filePath(fileName));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    QProcess process;
    QProcessEnvironment env = environmentFor(home.path());
    // The logging library's own level variable, in every row: no more heard than the files.
    env.insert("SPDLOG_LEVEL", "off");
    if (namedByVariable) {
        env.insert("LOG4CXX_CONFIGURATION", file.fileName());
        process.setWorkingDirectory(home.path());
    } else {
        process.setWorkingDirectory(workingDirectory.path());
    }
    process.setProcessEnvironment(env);
    runUntilWindowIsUp(home.path(), process);
    if (QTest::currentTestFailed())
        return;
    QFile log(home.cachePath() + "qx.dumpreporter.velmora.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray logged = log.readAll();
    QVERIFY2(logged.contains("Dump reporter has been started."), logged.constData());
    QVERIFY(logged.contains("Logging objects have been initialized."));
}

void TestStartup::restartIgnoredWhenSendingQueue()
{
    // Sending the queued reports takes the restart option but shows no window and starts
    // nothing.
    TemporaryHome home;
    const QString marker = home.path() + "/restarted";
    QProcess process;
    process.setProcessEnvironment(environmentWithoutDisplay(home.path()));
    process.start(program(),
        { "+send-pending", "-v", "66051", "-c", "co", "-s", "so",
            "--restart=/usr/bin/touch " + marker });
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QCOMPARE(process.readAllStandardError(), QByteArray());
    QTest::qWait(200);
    QVERIFY(!QFile::exists(marker));
    QFile log(home.cachePath() + "qx.dumpreporter.velmora.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(!log.readAll().contains("Restarting"));
}

void TestStartup::restartWhenTheWindowEnds_data()
{
    QTest::addColumn<QString>("restart"); // %1: the folder of the program "my app/velmora"
    QTest::addColumn<QStringList>("arguments"); // those it was started with; none: not started
    QTest::newRow("path with a blank in single quotes")
        << "'%1/my app/velmora' --after-crash \"My work\""
        << QStringList { "--after-crash", "My work" };
    QTest::newRow("path with a blank after a backslash")
        << "%1/my\\ app/velmora x\\ y" << QStringList { "x y" };
    QTest::newRow("quote left open") << "'%1/my app/velmora x" << QStringList();
}

void TestStartup::restartWhenTheWindowEnds()
{
    QFETCH(QString, restart);
    QFETCH(QStringList, arguments);
    VirtualDisplay display;
    QVERIFY2(!display.name().isEmpty(), "Xvfb and xdotool are needed (scripts/setup)");
    QVERIFY2(display.xdotool({ "getdisplaygeometry" }), qPrintable(display.serverState()));
    TemporaryHome home;
    // Velmora: a script that writes its arguments, one a line, beside itself.
    const QString folder = home.path() + "/my app";
    QVERIFY(QDir().mkpath(folder));
    QFile velmora(folder + "/velmora");
    QVERIFY(velmora.open(QIODevice::WriteOnly));
    velmora.write("#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.tmp\"\n"
                  "mv \"$0.tmp\" \"$0.started\"\n");
    velmora.close();
    QVERIFY(velmora.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString commandLine = restart.arg(home.path());

    QProcessEnvironment env = environmentFor(home.path());
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert("DISPLAY", display.name());
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(
        program(), validArguments(home.path()) + QStringList { "--restart=" + commandLine });
    QVERIFY(process.waitForStarted());
    // The window's id, once it is shown.
    const auto shownWindow = [&] {
        return display
            .xdotool({ "search", "--onlyvisible", "--name", "^Velmora Problem Reporter$" })
            .value_or(QString())
            .section('\n', 0, 0);
    };
    QString window;
    QTRY_VERIFY_WITH_TIMEOUT(
        !(window = shownWindow()).isEmpty() || process.state() != QProcess::Running, 20000);
    QVERIFY2(!window.isEmpty(),
        qPrintable(display.serverState()
            + "\nThe program: " + QString::fromLocal8Bit(process.readAllStandardError())));
    // No window manager runs: the window gets the keyboard's focus directly; Escape ends it.
    QVERIFY(display.xdotool({ "windowfocus", "--sync", window, "key", "Escape" }));
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);

    QFile log(home.cachePath() + "qx.dumpreporter.velmora.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString logged = QString::fromUtf8(log.readAll());
    const QString started = folder + "/velmora.started";
    if (arguments.isEmpty()) {
        QVERIFY2(logged.contains(" WARN  qx.velmora  - \t[KDumpReporterDlg::setRestartCommand]: "
                                 "\tThe restart command has a quote that is not closed: Velmora is "
                                 "not restarted: "
                     + commandLine + "\t"),
            qPrintable(logged));
        QVERIFY(!logged.contains("Restarting"));
        QTest::qWait(300);
        QVERIFY(!QFile::exists(started));
    } else {
        QVERIFY2(
            logged.contains("\tRestarting Velmora: " + commandLine + "\t"), qPrintable(logged));
        QVERIFY(!logged.contains("could not be restarted"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(started), 10000);
        QFile file(started);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()), arguments.join('\n') + '\n');
    }
}

void TestStartup::noDisplay_data()
{
    QTest::addColumn<bool>("validCommandLine");
    QTest::newRow("bad command line") << false;
    QTest::newRow("good command line") << true;
}

void TestStartup::noDisplay()
{
    QFETCH(bool, validCommandLine);
    TemporaryHome home;
    QProcess process;
    process.setProcessEnvironment(environmentWithoutDisplay(home.path()));
    process.start(program(), validCommandLine ? validArguments(home.path()) : QStringList());
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    const QByteArray errors = process.readAllStandardError();
    QFile log(home.cachePath() + "qx.dumpreporter.velmora.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray logged = log.readAll();
    if (validCommandLine) {
        const QByteArray message = "No display is available: the report window cannot be shown.";
        QCOMPARE(process.exitCode(), 1);
        QCOMPARE(errors, message + "\n");
        QVERIFY2(logged.contains(" ERROR qx.velmora  - \t[main]: \t" + message), logged);
    } else {
        QCOMPARE(process.exitCode(), 255);
        QCOMPARE(errors, QByteArray("Requred argument --dump not found!!!\n") + helpText);
        QVERIFY(!logged.contains("No display"));
    }
    // No window was shown, so nothing was opened: no settings store.
    QVERIFY(!QFile::exists(home.path() + "/.config/Velmora Inc/Tracker.conf"));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
