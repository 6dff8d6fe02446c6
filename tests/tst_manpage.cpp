// The manual page: made from the reporter's options and the README, and refused when they differ.

#include "cmdline/qtcommandline.h"
#include "cmdline/reporteroptions.h"
#include "manualpage.h"

#include <QtTest>

namespace {
QList<QtCommandLine::Option> reporterOptions()
{
    QtCommandLine commandLine;
    addReporterOptions(commandLine);
    return commandLine.options();
}

// A README in the shape of the real one; %1 is the Use table's option rows.
QString readmeWith(const QString &optionRows)
{
    return QStringLiteral("# The reporter\n\n"
                          "## What it is\n\n"
                          "When Velmora crashes, it starts\n"
                          "`dumpreporter`.\n\n"
                          "Another paragraph.\n\n"
                          "## Use\n\n"
                          "```sh\n"
                          "dumpreporter --dump=PATH -v N\n"
                          "dumpreporter +send-pending\n"
                          "```\n\n"
                          "| option | meaning |\n"
                          "|---|---|\n"
                          "%1"
                          "| `+dumps` | a free word: see [the log](#logs) |\n\n"
                          "A bad command line ends with 255 (-1).\n\n"
                          "### Exit codes\n\n"
                          "| code | when |\n"
                          "|---|---|\n"
                          "| 0 | the window was *closed* |\n\n"
                          "- a path like C:\\dir\\x\n"
                          ".dotted line start\n"
                          "- \"Sending 1 of 2…\", 3\u00a0s, caf\u00e9\n\n"
                          "## Configuration\n\n"
                          "Not part of the page.\n")
        .arg(optionRows);
}

const QString allRows = QStringLiteral("| `--dump`, `-d` | the dump file to send |\n"
                                       "| `--version`, `-v` | Velmora's version number |\n"
                                       "| `--company`, `-c` | company id |\n"
                                       "| `--soft`, `-s` | software id |\n"
                                       "| `--restart`, `-r` | optional: a command line |\n");

QString runTool(const QString &program, const QStringList &arguments, QByteArray *errors)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return QString();
    *errors = process.readAllStandardError();
    return QString::fromUtf8(process.readAllStandardOutput());
}
} // namespace

class TestManualPage : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readmeAndHelpText_data();
    void readmeAndHelpText();
    void roff();
    void builtPage();
};

void TestManualPage::readmeAndHelpText_data()
{
    QTest::addColumn<QString>("readme");
    QTest::addColumn<QStringList>("errors");
    QTest::newRow("in step") << readmeWith(allRows) << QStringList();
    QTest::newRow("an option of the help text has no row")
        << readmeWith(QString(allRows).remove("| `--restart`, `-r` | optional: a command line |\n"))
        << QStringList { "the help text's option --restart has no row in the Use table" };
    QTest::newRow("a row names an option the help text lacks")
        << readmeWith(allRows + "| `--verbose` | says more |\n")
        << QStringList { "the Use table's option --verbose is not in the help text" };
    QTest::newRow("short names differ")
        << readmeWith(QString(allRows).replace("`--soft`, `-s`", "`--soft`, `-S`"))
        << QStringList { "the Use table names --soft as --soft, -S, the help text as --soft, -s" };
    QTest::newRow("no Use section")
        << QStringLiteral("## What it is\n\nText.\n")
        << QStringList { "the Use section has no code block for the synopsis",
               "the Use section has no table of options" };
}

void TestManualPage::readmeAndHelpText()
{
    QFETCH(QString, readme);
    QFETCH(QStringList, errors);
    QStringList found;
    manualPage(reporterOptions(), readme, "1.2.3", &found);
    QCOMPARE(found, errors);
}

void TestManualPage::roff()
{
    QStringList errors;
    const QString page = manualPage(reporterOptions(), readmeWith(allRows), "1.2.3", &errors);
    QVERIFY2(errors.isEmpty(), qPrintable(errors.join('\n')));
    const QStringList lines = page.split('\n');
    // The lines appear one after the other somewhere in the page.
    const auto follows = [&](const QStringList &expected) {
        for (qsizetype at = 0; at + expected.size() <= lines.size(); ++at) {
            if (lines.mid(at, expected.size()) == expected)
                return true;
        }
        qWarning().noquote() << page;
        return false;
    };
    QCOMPARE(lines.value(1),
        QStringLiteral(".TH DUMPREPORTER 1 \"\" \"dumpreporter 1.2.3\" \"User Commands\""));
    QVERIFY(follows({ ".SH SYNOPSIS", ".nf", "\\fBdumpreporter\\fR \\-\\-dump=PATH \\-v N",
        "\\fBdumpreporter\\fR +send\\-pending", ".fi" }));
    // The description is the first paragraph of "What it is", whole.
    QVERIFY(follows({ ".SH DESCRIPTION", "When Velmora crashes, it starts", "\\fBdumpreporter\\fR.",
        ".SH OPTIONS" }));
    // The options in the help text's order and form, the meaning from the README.
    QVERIFY(
        follows({ ".TP", "\\fB\\-\\-dump\\fR=\\fIvalue\\fR, \\fB\\-d\\fR \\fIvalue\\fR (required)",
            "the dump file to send", ".TP",
            "\\fB\\-\\-version\\fR=\\fIvalue\\fR, \\fB\\-v\\fR \\fIvalue\\fR (required)" }));
    QVERIFY(follows({ ".TP", "\\fB\\-\\-restart\\fR=\\fIvalue\\fR, \\fB\\-r\\fR \\fIvalue\\fR",
        "optional: a command line", ".TP", "\\fB+dumps\\fR", "a free word: see the log", ".PP",
        "A bad command line ends with 255 (-1).", ".SH EXIT CODES", ".TP", "0",
        "the window was \\fIclosed\\fR" }));
    // A backslash is printed as it stands; a line never begins with a control character.
    QVERIFY(follows({ ".IP \\(bu 2", "a path like C:\\edir\\ex", "\\&.dotted line start" }));
    // Beyond ASCII: "…" as three dots, a no-break space as roff's own, anything else by its code
    // point, so that every output device prints the page without a complaint.
    QVERIFY(follows({ ".IP \\(bu 2", "\"Sending 1 of 2...\", 3\\ s, caf\\[u00E9]" }));
    QVERIFY(!page.contains("Not part of the page"));
    QVERIFY(!page.contains("Another paragraph"));
}

void TestManualPage::builtPage()
{
    // The build's page, from the real README: groff has nothing to say about it (lintian runs the
    // same), and its text names each option as the help text does.
    const QString page = QStringLiteral(VELMORA_MANUAL_PAGE);
    QVERIFY2(QFile::exists(page), qPrintable(page));
    QByteArray errors;
    runTool("man", { "--warnings", "-E", "UTF-8", "-l", "-Tutf8", "-Z", page }, &errors);
    QCOMPARE(errors, QByteArray());
    const QString text = runTool("groff", { "-man", "-Tascii", "-P-cbou", page }, &errors);
    QCOMPARE(errors, QByteArray());
    for (const QtCommandLine::Option &option : reporterOptions()) {
        const QString form
            = QStringLiteral("--%1=value, -%2 value").arg(option.name, QString(option.shortName));
        QVERIFY2(text.contains(form), qPrintable(form + "\n" + text));
    }
    QVERIFY(text.contains("+send-pending"));
    QVERIFY(text.contains("EXIT CODES"));
}

QTEST_GUILESS_MAIN(TestManualPage)
#include "tst_manpage.moc"
