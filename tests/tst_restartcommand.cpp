// How the command line given with --restart becomes the program and arguments that are started.

#include "app/restartcommand.h"

#include <QtTest>

using Words = std::optional<QStringList>;
Q_DECLARE_METATYPE(Words)
using WindowsParts = std::optional<std::pair<QString, QString>>;
Q_DECLARE_METATYPE(WindowsParts)

class TestRestartCommand : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void shellWords_data();
    void shellWords();
    void windowsCommandLine_data();
    void windowsCommandLine();
    void restartCommand();
};

void TestRestartCommand::shellWords_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<Words>("words"); // std::nullopt: a quote is left open

    const auto row = [](const char *name, const char *line, Words words) {
        QTest::newRow(name) << QString::fromUtf8(line) << words;
    };
    row("plain words, runs of blanks", "  velmora --safe \t -x  ",
        QStringList { "velmora", "--safe", "-x" });
    row("path with a blank in single quotes", "'/opt/my app/velmora' x",
        QStringList { "/opt/my app/velmora", "x" });
    row("path with a blank after a backslash", "/opt/my\\ app/velmora x",
        QStringList { "/opt/my app/velmora", "x" });
    row("path with a blank in double quotes", "\"/opt/my app/velmora\" --project \"My work\"",
        QStringList { "/opt/my app/velmora", "--project", "My work" });
    row("escaped double quote within double quotes", "\"g\\\"h\"", QStringList { "g\"h" });
    row("the four escapes within double quotes", "\"a\\\\b\\$c\\`d\"", QStringList { "a\\b$c`d" });
    row("other backslashes within double quotes stay", "\"C:\\dir\\n x\\'\"",
        QStringList { "C:\\dir\\n x\\'" });
    row("single quotes keep backslashes and double quotes", "'a\\\"b\\\\' 'say \"hi\"'",
        QStringList { "a\\\"b\\\\", "say \"hi\"" });
    row("a backslash within single quotes does not escape their end", "'a\\' b",
        QStringList { "a\\", "b" });
    row("backslash outside quotes keeps the next character", "it\\'s \\\"x\\\" a\\\\b \\$HOME",
        QStringList { "it's", "\"x\"", "a\\b", "$HOME" });
    row("nothing is expanded and no operator acts", "$HOME ~/v *.dmp $(id) `id` a;b|c&d >out #note",
        QStringList { "$HOME", "~/v", "*.dmp", "$(id)", "`id`", "a;b|c&d", ">out", "#note" });
    row("quoted parts join the word they touch", "a'b c'\"d e\"f", QStringList { "ab cd ef" });
    row("empty quotes make empty words", "'' x \"\"", QStringList { "", "x", "" });
    row("tab and line break separate words", "a\tb\nc", QStringList { "a", "b", "c" });
    row("backslash and line break join lines", "vel\\\nmora \\\n --safe",
        QStringList { "velmora", "--safe" });
    row("backslash and line break within double quotes go", "\"a\\\nb\"", QStringList { "ab" });
    row("line break within quotes stays", "'a\nb' \"c\nd\"", QStringList { "a\nb", "c\nd" });
    row("backslash at the very end stays", "velmora x\\", QStringList { "velmora", "x\\" });
    row("non-Latin words", "'/home/юзер/Velmora Трекер' --проект=Работа",
        QStringList {
            QString::fromUtf8("/home/юзер/Velmora Трекер"), QString::fromUtf8("--проект=Работа") });
    row("blanks only", " \t\n ", QStringList {});
    row("empty", "", QStringList {});
    row("single quote left open", "'/opt/my app/velmora x", std::nullopt);
    row("double quote left open", "velmora \"My work", std::nullopt);
    row("double quote closed only by an escaped one", "\"abc\\\"", std::nullopt);
    row("single quote after a closed pair", "'a' 'b", std::nullopt);
    row("double quote after an escaped one", "\\\"a\" b", std::nullopt);
}

void TestRestartCommand::shellWords()
{
    QFETCH(QString, line);
    QFETCH(Words, words);
    const Words split = splitShellWords(line);
    QCOMPARE(split.has_value(), words.has_value());
    if (words)
        QCOMPARE(*split, *words);
}

void TestRestartCommand::windowsCommandLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<WindowsParts>("parts"); // program, the rest as it stands

    QTest::newRow("plain program") << "C:\\Velmora\\velmora.exe --safe"
                                   << WindowsParts({ "C:\\Velmora\\velmora.exe", "--safe" });
    QTest::newRow("quoted program, the rest keeps its quotes and blanks")
        << "  \"C:\\Program Files\\Velmora\\velmora.exe\"  --project \"My work\"  a\\\"b  "
        << WindowsParts(
               { "C:\\Program Files\\Velmora\\velmora.exe", "--project \"My work\"  a\\\"b  " });
    QTest::newRow("program alone") << "velmora.exe" << WindowsParts({ "velmora.exe", "" });
    QTest::newRow("tab after the program")
        << "velmora.exe\t'x y'" << WindowsParts({ "velmora.exe", "'x y'" });
    QTest::newRow("blank") << "   " << WindowsParts({ "", "" });
    QTest::newRow("program's quote left open")
        << "\"C:\\Program Files\\velmora.exe --safe" << WindowsParts();
}

void TestRestartCommand::windowsCommandLine()
{
    QFETCH(QString, line);
    QFETCH(WindowsParts, parts);
    QCOMPARE(splitWindowsCommandLine(line), parts);
}

void TestRestartCommand::restartCommand()
{
    // This system's own rules: the words of the command line, the first being the program.
    const std::optional<RestartCommand> command
        = parseRestartCommand("'/opt/my app/velmora' --after-crash \"g\\\"h\"");
    QVERIFY(command);
#ifdef Q_OS_WIN
    QCOMPARE(command->program, QStringLiteral("'/opt/my"));
    QCOMPARE(command->nativeArguments, QStringLiteral("app/velmora' --after-crash \"g\\\"h\""));
#else
    QCOMPARE(command->program, QStringLiteral("/opt/my app/velmora"));
    QCOMPARE(command->arguments, QStringList({ "--after-crash", "g\"h" }));
    QVERIFY(command->nativeArguments.isEmpty());
    QCOMPARE(parseRestartCommand("'' x")->program, QString());
    QVERIFY(!parseRestartCommand("velmora 'x"));
#endif
}

QTEST_GUILESS_MAIN(TestRestartCommand)
#include "tst_restartcommand.moc"
