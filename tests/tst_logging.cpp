#include "base/processvalues.h"
#include "logging/logginglayout.h"
#include "logging/loggingmanager.h"
#include "support/testenvironment.h"

#include <QtTest>

#include <ctime>

namespace {
struct Widget
{
    void method() { LOG_INFO(QStringLiteral("from a method")); }
};
} // namespace

class TestLogging : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void formatLogMessage();
    void qualifiedFunctionName_data();
    void qualifiedFunctionName();
    void lineLayout_data();
    void lineLayout();
    void fileLines();

private:
    QStringList readLog() const;
    std::unique_ptr<TestEnvironment> m_home;
};

void TestLogging::initTestCase()
{
    // Stamps must come out in UTC whatever the local zone is.
    qputenv("TZ", "Asia/Tokyo");
    tzset();
    m_home = std::make_unique<TestEnvironment>();
    m_home->logToFile();
}

QStringList TestLogging::readLog() const
{
    return m_home->logFile().lines();
}

void TestLogging::formatLogMessage()
{
    setCurrentLogin(QString());
    QCOMPARE(
        VM::formatLogMessage("Dump reporter has been started.", "./src/app/main.cpp", "main", 25),
        QStringLiteral(
            "\t[main]: \tDump reporter has been started.\t\t\t{}\t./src/app/main.cpp, 25"));
    // The message is written unchanged, placeholders, tabs and line breaks included.
    setCurrentLogin(QStringLiteral(" user %1 "));
    QCOMPARE(VM::formatLogMessage("a %1\tb\nc", "f.cpp", "K::f", 7),
        QStringLiteral("\t[K::f]: \ta %1\tb\nc\t\t\t{ user %1 }\tf.cpp, 7"));
    setCurrentLogin(QString());
}

void TestLogging::qualifiedFunctionName_data()
{
    QTest::addColumn<QByteArray>("pretty");
    QTest::addColumn<QString>("name");
    QTest::newRow("free") << QByteArray("int main(int, char**)") << "main";
    QTest::newRow("main of a Windows GUI program")
        << QByteArray("int qMain(int, char**)") << "main";
    QTest::newRow("virtual member")
        << QByteArray("virtual bool KWebClient::event(QEvent*)") << "KWebClient::event";
    QTest::newRow("namespace static") << QByteArray(
        "static void VM::LoggingManager::initializeLoggers(VM::LogLevel, const QByteArray&)")
                                      << "VM::LoggingManager::initializeLoggers";
    QTest::newRow("constructor") << QByteArray("KDumpReporterDlg::KDumpReporterDlg(const QString&)")
                                 << "KDumpReporterDlg::KDumpReporterDlg";
    QTest::newRow("template return type")
        << QByteArray("QList<std::pair<int, int> > K::pairs(int) const") << "K::pairs";
    QTest::newRow("pointer return") << QByteArray("const char* K::name()") << "K::name";
    QTest::newRow("lambda names its function")
        << QByteArray("KDumpReporterDlg::onSubmit()::<lambda()>") << "KDumpReporterDlg::onSubmit";
}

void TestLogging::qualifiedFunctionName()
{
    QFETCH(QByteArray, pretty);
    QFETCH(QString, name);
    QCOMPARE(VM::qualifiedFunctionName(pretty.constData()), name);
}

void TestLogging::lineLayout_data()
{
    QTest::addColumn<qint64>("microseconds");
    QTest::addColumn<QString>("thread");
    QTest::addColumn<QString>("level");
    QTest::addColumn<QString>("line");
    const qint64 base
        = QDateTime(QDate(2014, 2, 3), QTime(12, 30, 5), Qt::UTC).toMSecsSinceEpoch() * 1000;
    QTest::newRow("gui thread info") << base + 250000 << ""
                                     << "INFO"
                                     << "U2014-02-03 12:30:05.250 [] INFO  qx.velmora  - \ttext\n";
    QTest::newRow("three-digit milliseconds")
        << base + 7999 << "web client"
        << "TRACE"
        << "U2014-02-03 12:30:05.007 [web client] TRACE qx.velmora  - \ttext\n";
    QTest::newRow("warn padded") << base << ""
                                 << "WARN"
                                 << "U2014-02-03 12:30:05.000 [] WARN  qx.velmora  - \ttext\n";
}

void TestLogging::lineLayout()
{
    QFETCH(qint64, microseconds);
    QFETCH(QString, thread);
    QFETCH(QString, level);
    QFETCH(QString, line);
    QCOMPARE(QString::fromStdString(VM::LoggingLayout::formatLine(
                 microseconds, thread.toStdString(), level.toStdString(), "qx.velmora", "\ttext")),
        line);
}

void TestLogging::fileLines()
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-1);
    LOG_TRACE(QStringLiteral("trace line"));
    LOG_DEBUG(QStringLiteral("debug line"));
    LOG_INFO(QStringLiteral("info line"));
    LOG_WARN(QStringLiteral("warn line"));
    LOG_ERROR(QStringLiteral("error line"));
    LOG_FATAL(QStringLiteral("fatal line"));
    Widget().method();

    std::unique_ptr<QThread> worker(
        QThread::create([] { LOG_INFO(QStringLiteral("from the worker")); }));
    worker->setObjectName(QStringLiteral("web client"));
    worker->start();
    QVERIFY(worker->wait(5000));
    const QDateTime after = QDateTime::currentDateTimeUtc().addSecs(1);

    const QStringList lines = readLog();
    QVERIFY2(lines.size() >= 9, qPrintable(lines.join('\n')));
    QVERIFY(lines.first().contains("\tLogging objects have been initialized.\t\t\t{}\t"
                                   "./src/logging/loggingmanager.cpp, "));
    QVERIFY(lines.first().contains(
        " [] DEBUG qx.velmora  - \t[VM::LoggingManager::initializeLoggers]: "));

    static const QRegularExpression layout(QStringLiteral(
        "^U(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}) \\[([^\\]]*)\\] "
        "(TRACE|DEBUG|INFO |WARN |ERROR|FATAL) qx\\.velmora  - \\t\\[([^\\]]+)\\]: "
        "\\t(.*)\\t\\t\\t\\{\\}\\t(\\./tests/tst_logging\\.cpp|\\./src/[a-z/]+\\.cpp), (\\d+)$"));
    QStringList levels;
    for (const QString &line : lines) {
        const QRegularExpressionMatch match = layout.match(line);
        QVERIFY2(match.hasMatch(), qPrintable(line));
        const QDateTime stamp = QDateTime::fromString(match.captured(1), "yyyy-MM-dd hh:mm:ss.zzz");
        QDateTime utc = stamp;
        utc.setTimeSpec(Qt::UTC);
        QVERIFY2(utc >= before && utc <= after, qPrintable(line));
        levels << match.captured(3).trimmed();
        if (match.captured(5) == "from the worker") {
            QCOMPARE(match.captured(2), QStringLiteral("web client"));
        } else {
            QCOMPARE(match.captured(2), QString());
        }
        if (match.captured(5) == "from a method")
            QCOMPARE(match.captured(4), QStringLiteral("{anonymous}::Widget::method"));
        if (match.captured(5) == "info line")
            QCOMPARE(match.captured(4), QStringLiteral("TestLogging::fileLines"));
    }
    QCOMPARE(
        levels.mid(1, 6), (QStringList { "TRACE", "DEBUG", "INFO", "WARN", "ERROR", "FATAL" }));
}

QTEST_GUILESS_MAIN(TestLogging)
#include "tst_logging.moc"
