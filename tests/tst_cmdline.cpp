#include "cmdline/qtcommandline.h"
#include "support/testsupport.h"

#include <QtTest>

#include <cstdio>
#include <unistd.h>

namespace {
// Captures what the parser writes to standard error while it runs.
class StderrCapture
{
public:
    StderrCapture()
    {
        std::fflush(stderr);
        m_saved = dup(STDERR_FILENO);
        std::FILE *file = std::tmpfile();
        m_fd = fileno(file);
        m_file = file;
        dup2(m_fd, STDERR_FILENO);
    }
    QByteArray finish()
    {
        std::fflush(stderr);
        dup2(m_saved, STDERR_FILENO);
        close(m_saved);
        QByteArray bytes;
        std::rewind(m_file);
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, m_file)) > 0)
            bytes.append(buffer, qsizetype(n));
        std::fclose(m_file);
        return bytes;
    }

private:
    int m_saved = -1;
    int m_fd = -1;
    std::FILE *m_file = nullptr;
};

void addReporterOptions(QtCommandLine &commandLine)
{
    commandLine.addOption("dump", QMetaType::QString, true, 'd', "Path to dump file");
    commandLine.addOption(
        "version", QMetaType::Int, true, 'v', "Version of the software which sends a report");
    commandLine.addOption("company", QMetaType::QString, true, 'c', "Company ID");
    commandLine.addOption("soft", QMetaType::QString, true, 's', "Software ID");
    commandLine.addOption("restart", QMetaType::QString, false, 'r',
        "Command line that starts Velmora again when the reporter ends");
}
} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parse_data();
    void parse();
    void flags();
    void helpText();
    void localeEncoding_data();
    void localeEncoding();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QVariantMap>("values");
    QTest::addColumn<QByteArray>("messages");

    const QStringList rest = { "-d", "x.dmp", "-c", "co", "-s", "so" };
    const QVariantMap restValues = { { "dump", "x.dmp" }, { "company", "co" }, { "soft", "so" } };
    auto with = [&](QVariantMap extra) {
        QVariantMap map = restValues;
        map.insert(extra);
        return map;
    };

    QTest::newRow("long form") << (QStringList { "prog", "--version=12" } + rest) << true
                               << with({ { "version", 12 } }) << QByteArray();
    QTest::newRow("short form consumes the next argument")
        << (QStringList { "prog", "-v", "12" } + rest) << true << with({ { "version", 12 } })
        << QByteArray();
    QTest::newRow("blanks around an integer")
        << (QStringList { "prog", "--version= -7 " } + rest) << true << with({ { "version", -7 } })
        << QByteArray();
    QTest::newRow("short invalid value names the long option")
        << (QStringList { "prog", "-v", "abc" } + rest) << false << restValues
        << QByteArray("Invalid value 'abc' for argument --version !!!\n"
                      "Requred argument --version not found!!!\n");
    QTest::newRow("long invalid value")
        << (QStringList { "prog", "--version=abc" } + rest) << false << restValues
        << QByteArray("Invalid value 'abc' for argument --version !!!\n"
                      "Requred argument --version not found!!!\n");
    QTest::newRow("empty integer is invalid")
        << (QStringList { "prog", "--version=" } + rest) << false << restValues
        << QByteArray("Invalid value '' for argument --version !!!\n"
                      "Requred argument --version not found!!!\n");
    QTest::newRow("out of the 32-bit range is invalid")
        << (QStringList { "prog", "--version=4294967296" } + rest) << false << restValues
        << QByteArray("Invalid value '4294967296' for argument --version !!!\n"
                      "Requred argument --version not found!!!\n");
    QTest::newRow("three-character short option and lone dash are ignored")
        << QStringList { "prog", "-vx", "-", "--version=1", "-d", "a", "-c", "b", "-s", "c" }
        << true
        << QVariantMap { { "version", 1 }, { "dump", "a" }, { "company", "b" }, { "soft", "c" } }
        << QByteArray();
    QTest::newRow("long option without equals sign is ignored")
        << QStringList { "prog", "--dump", "--version=1", "-c", "b", "-s", "c" } << false
        << QVariantMap { { "version", 1 }, { "company", "b" }, { "soft", "c" } }
        << QByteArray("Requred argument --dump not found!!!\n");
    QTest::newRow("value keeps later equals signs")
        << QStringList { "prog", "--dump=a=b", "-v", "1", "-c", "b", "-s", "c" } << true
        << QVariantMap { { "version", 1 }, { "dump", "a=b" }, { "company", "b" }, { "soft", "c" } }
        << QByteArray();
    QTest::newRow("short value taken unchanged even with a dash")
        << QStringList { "prog", "-d", "-v", "-c", "b", "-s", "c", "--version=3" } << true
        << QVariantMap { { "version", 3 }, { "dump", "-v" }, { "company", "b" }, { "soft", "c" } }
        << QByteArray();
    QTest::newRow("last converted value wins")
        << (QStringList { "prog", "--version=1", "-v", "2", "--version=x" } + rest) << true
        << with({ { "version", 2 } })
        << QByteArray("Invalid value 'x' for argument --version !!!\n");
    QTest::newRow("unknown options and odd names are ignored")
        << (QStringList { "prog", "--verbose", "--na-me=x", "--version=5", "-q", "z" } + rest)
        << true << with({ { "version", 5 } }) << QByteArray();
    QTest::newRow("only the first missing required option is named")
        << QStringList { "prog" } << false << QVariantMap()
        << QByteArray("Requred argument --dump not found!!!\n");
    QTest::newRow("missing soft") << QStringList { "prog", "-d", "a", "-v", "1", "-c",
        "b" } << false << QVariantMap { { "version", 1 }, { "dump", "a" }, { "company", "b" } }
                                  << QByteArray("Requred argument --soft not found!!!\n");
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, ok);
    QFETCH(QVariantMap, values);
    QFETCH(QByteArray, messages);

    QtCommandLine commandLine;
    addReporterOptions(commandLine);
    StderrCapture capture;
    const bool result = commandLine.parse(arguments);
    QCOMPARE(capture.finish(), messages);
    QCOMPARE(result, ok);
    for (const char *name : { "dump", "version", "company", "soft" }) {
        QCOMPARE(commandLine.value(name), values.value(QString::fromLatin1(name)));
    }
    QCOMPARE(commandLine.value("dump", "none").toString(), values.value("dump", "none").toString());
}

void TestCommandLine::flags()
{
    QtCommandLine commandLine;
    commandLine.addOption("quiet", QMetaType::UnknownType, false, 'q', "Say less");
    commandLine.addOption("force", QMetaType::UnknownType, false, QChar(), "Force");
    StderrCapture capture;
    QVERIFY(commandLine.parse({ "prog", "--force=no", "-q" }));
    QCOMPARE(capture.finish(), QByteArray());
    QCOMPARE(commandLine.value("quiet"), QVariant(true));
    QCOMPARE(commandLine.value("force"), QVariant(true));
    // Each parse starts afresh.
    QVERIFY(commandLine.parse({ "prog" }));
    QVERIFY(!commandLine.value("quiet").isValid());
}

void TestCommandLine::helpText()
{
    QtCommandLine commandLine;
    addReporterOptions(commandLine);
    commandLine.addOption("trace", QMetaType::UnknownType, false, 't', "Two\n\nlines");
    StderrCapture capture;
    commandLine.printHelp("dumpreporter <options>");
    QCOMPARE(capture.finish(),
        reporterHelpText
            + QByteArray("--trace, -t\n"
                         "\tTwo\n"
                         "\t\n"
                         "\tlines\n"));
}

void TestCommandLine::localeEncoding_data()
{
    QTest::addColumn<QByteArray>("locale"); // LC_ALL
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("quoted"); // the value as the message quotes it
#ifdef Q_OS_WIN
    QTest::newRow("IBM 866") << QByteArray("C.UTF-8") << QString::fromUtf8("Привет")
                             << QByteArray("\x8f\xe0\xa8\xa2\xa5\xe2");
#else
    QTest::newRow("UTF-8") << QByteArray("C.UTF-8") << QString::fromUtf8("Привет")
                           << QByteArray("\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82");
    // C and POSIX are ASCII: what it lacks is a question mark a character, whatever its length.
    QTest::newRow("C") << QByteArray("C") << QString::fromUtf8("Прüв😀t") << QByteArray("?????t");
    QTest::newRow("ISO 8859-1, partly")
        << QByteArray("de_DE.ISO-8859-1") << QString::fromUtf8("Grüße Привет")
        << QByteArray("Gr\xfc\xdf"
                      "e ??????");
    // A locale the C library does not have is taken at the encoding its name gives.
    QTest::newRow("KOI8-R, by its name")
        << QByteArray("ru_RU.KOI8-R@nowhere") << QString::fromUtf8("Привет")
        << QByteArray("\xf0\xd2\xc9\xd7\xc5\xd4");
#endif
}

void TestCommandLine::localeEncoding()
{
    QFETCH(QByteArray, locale);
    QFETCH(QString, value);
    QFETCH(QByteArray, quoted);
    const std::optional<QByteArray> saved
        = qEnvironmentVariableIsSet("LC_ALL") ? std::optional(qgetenv("LC_ALL")) : std::nullopt;
    qputenv("LC_ALL", locale);
    QtCommandLine commandLine;
    addReporterOptions(commandLine);
    StderrCapture capture;
    commandLine.parse({ "prog", "-d", "x.dmp", "-c", "co", "-s", "so", "-v", value });
    const QByteArray written = capture.finish();
    if (saved)
        qputenv("LC_ALL", *saved);
    else
        qunsetenv("LC_ALL");
    QCOMPARE(written,
        "Invalid value '" + quoted
            + "' for argument --version !!!\n"
              "Requred argument --version not found!!!\n");
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_cmdline.moc"
