#include "manualpage.h"

#include <QRegularExpression>

namespace {
// The lines of a level-two section ("## title") of the README, up to the next one.
QStringList sectionLines(const QStringList &lines, const QString &title)
{
    const qsizetype start = lines.indexOf(QStringLiteral("## ") + title);
    if (start < 0)
        return {};
    QStringList section;
    bool inCode = false;
    for (qsizetype i = start + 1; i < lines.size(); ++i) {
        const QString &line = lines.at(i);
        if (line.startsWith(QLatin1String("```")))
            inCode = !inCode;
        if (!inCode && line.startsWith(QLatin1String("## ")))
            break;
        section.append(line);
    }
    return section;
}

// Text that roff prints as it stands: a backslash is written \e, and a line that would begin
// with a control character starts with the empty \& first. Beyond ASCII, roff reads a character
// by its name: "…" becomes three dots and a no-break space roff's own (\ ), which every output
// device has; any other character is named by its code point (\[u00E9]).
QString escaped(const QString &text, bool minus = false)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('\\'))
            out += QLatin1String("\\e");
        else if (minus && c == QLatin1Char('-'))
            out += QLatin1String("\\-");
        else if (c == QChar(0x2026))
            out += QLatin1String("...");
        else if (c == QChar(0x00a0))
            out += QLatin1String("\\ ");
        else if (c.unicode() > 0x7f)
            out += QStringLiteral("\\[u%1]").arg(
                QString::number(c.unicode(), 16).toUpper().rightJustified(4, u'0'));
        else
            out += c;
    }
    return out;
}

QString guardLineStart(const QString &line)
{
    if (line.startsWith(QLatin1Char('.')) || line.startsWith(QLatin1Char('\'')))
        return QLatin1String("\\&") + line;
    return line;
}

// Markdown's inline marks in roff: `code` and `` code `` bold (their dashes are minus signs),
// **strong** bold,
// *emphasis* italic, [text](address) its text.
QString inlineText(const QString &text)
{
    QString out;
    qsizetype i = 0;
    const qsizetype size = text.size();
    while (i < size) {
        const QChar c = text.at(i);
        if (text.mid(i, 3) == QLatin1String("`` ")) {
            // ``code with a ` in it``: the blanks inside the marks are not part of it.
            const qsizetype close = text.indexOf(QLatin1String(" ``"), i + 3);
            if (close > i) {
                out += QLatin1String("\\fB") + escaped(text.mid(i + 3, close - i - 3), true)
                    + QLatin1String("\\fR");
                i = close + 3;
                continue;
            }
        }
        if (c == QLatin1Char('`')) {
            const qsizetype close = text.indexOf(QLatin1Char('`'), i + 1);
            if (close > i) {
                out += QLatin1String("\\fB") + escaped(text.mid(i + 1, close - i - 1), true)
                    + QLatin1String("\\fR");
                i = close + 1;
                continue;
            }
        } else if (text.mid(i, 2) == QLatin1String("**")) {
            const qsizetype close = text.indexOf(QLatin1String("**"), i + 2);
            if (close > i + 2) {
                out += QLatin1String("\\fB") + inlineText(text.mid(i + 2, close - i - 2))
                    + QLatin1String("\\fR");
                i = close + 2;
                continue;
            }
        } else if (c == QLatin1Char('*') && i + 1 < size && !text.at(i + 1).isSpace()) {
            const qsizetype close = text.indexOf(QLatin1Char('*'), i + 1);
            if (close > i + 1) {
                out += QLatin1String("\\fI") + inlineText(text.mid(i + 1, close - i - 1))
                    + QLatin1String("\\fR");
                i = close + 1;
                continue;
            }
        } else if (c == QLatin1Char('[')) {
            static const QRegularExpression link(QStringLiteral("^\\[([^\\]]*)\\]\\(([^)]*)\\)"));
            const QRegularExpressionMatch match = link.match(text.mid(i));
            if (match.hasMatch()) {
                out += inlineText(match.captured(1));
                i += match.capturedLength();
                continue;
            }
        }
        out += escaped(QString(c));
        ++i;
    }
    return out;
}

// The cells of a table row "| a | b |", trimmed; a bar within `code` does not split.
QStringList tableCells(const QString &row)
{
    QStringList cells;
    QString cell;
    const QString inner = row.trimmed().mid(1);
    for (qsizetype i = 0; i < inner.size();) {
        const QChar c = inner.at(i);
        if (c == QLatin1Char('`')) {
            // A code span runs to the next run of as many backticks.
            qsizetype run = 0;
            while (i + run < inner.size() && inner.at(i + run) == QLatin1Char('`'))
                ++run;
            const QString marks(run, QLatin1Char('`'));
            const qsizetype close = inner.indexOf(marks, i + run);
            const qsizetype end = close < 0 ? i + run : close + run;
            cell += inner.mid(i, end - i);
            i = end;
        } else if (c == QLatin1Char('|')) {
            cells.append(cell.trimmed());
            cell.clear();
            ++i;
        } else {
            cell += c;
            ++i;
        }
    }
    if (!cell.trimmed().isEmpty())
        cells.append(cell.trimmed());
    return cells;
}

bool isSeparatorRow(const QStringList &cells)
{
    static const QRegularExpression dashes(QStringLiteral("^:?-+:?$"));
    for (const QString &cell : cells) {
        if (!dashes.match(cell).hasMatch())
            return false;
    }
    return !cells.isEmpty();
}

// The names in backticks of a cell: "`--dump`, `-d`" gives --dump and -d.
QStringList codeNames(const QString &cell)
{
    static const QRegularExpression code(QStringLiteral("`([^`]+)`"));
    QStringList names;
    for (const QRegularExpressionMatch &match : code.globalMatch(cell))
        names.append(match.captured(1));
    return names;
}

// One block of Markdown: a paragraph, a code block, a table, a list item or a heading.
struct Block
{
    enum Kind { Paragraph, Code, Table, Item, Heading } kind;
    QStringList lines; // a table: its rows, without the header and the separator
    QStringList header; // a table's header cells
};

QList<Block> blocksOf(const QStringList &lines)
{
    QList<Block> blocks;
    qsizetype i = 0;
    while (i < lines.size()) {
        const QString &line = lines.at(i);
        if (line.trimmed().isEmpty()) {
            ++i;
        } else if (line.startsWith(QLatin1String("```"))) {
            Block block { Block::Code, {}, {} };
            for (++i; i < lines.size() && !lines.at(i).startsWith(QLatin1String("```")); ++i)
                block.lines.append(lines.at(i));
            ++i;
            blocks.append(block);
        } else if (line.startsWith(QLatin1String("### "))) {
            blocks.append(Block { Block::Heading, { line.mid(4).trimmed() }, {} });
            ++i;
        } else if (line.trimmed().startsWith(QLatin1Char('|'))) {
            Block block { Block::Table, {}, tableCells(line) };
            for (++i; i < lines.size() && lines.at(i).trimmed().startsWith(QLatin1Char('|')); ++i) {
                if (!isSeparatorRow(tableCells(lines.at(i))))
                    block.lines.append(lines.at(i));
            }
            blocks.append(block);
        } else {
            const bool item = line.startsWith(QLatin1String("- "));
            Block block { item ? Block::Item : Block::Paragraph, { item ? line.mid(2) : line },
                {} };
            for (++i; i < lines.size(); ++i) {
                const QString &next = lines.at(i);
                if (next.trimmed().isEmpty() || next.startsWith(QLatin1String("```"))
                    || next.startsWith(QLatin1String("#")) || next.startsWith(QLatin1String("- "))
                    || next.trimmed().startsWith(QLatin1Char('|')))
                    break;
                block.lines.append(next.trimmed());
            }
            blocks.append(block);
        }
    }
    return blocks;
}

QString paragraphText(const QStringList &lines)
{
    QStringList out;
    for (const QString &line : lines)
        out.append(guardLineStart(inlineText(line.trimmed())));
    return out.join(QLatin1Char('\n'));
}

// A table as tagged paragraphs: the first cell is the tag, the others its text.
QString taggedRows(const QStringList &rows)
{
    QString out;
    for (const QString &row : rows) {
        const QStringList cells = tableCells(row);
        if (cells.isEmpty())
            continue;
        out += QLatin1String(".TP\n") + guardLineStart(inlineText(cells.first()))
            + QLatin1Char('\n') + guardLineStart(inlineText(cells.mid(1).join(QLatin1String("; "))))
            + QLatin1Char('\n');
    }
    return out;
}

QString blockText(const Block &block)
{
    switch (block.kind) {
    case Block::Paragraph:
        return QLatin1String(".PP\n") + paragraphText(block.lines) + QLatin1Char('\n');
    case Block::Item:
        return QLatin1String(".IP \\(bu 2\n") + paragraphText(block.lines) + QLatin1Char('\n');
    case Block::Code: {
        QString out = QLatin1String(".PP\n.nf\n");
        for (const QString &line : block.lines)
            out += guardLineStart(escaped(line, true)) + QLatin1Char('\n');
        return out + QLatin1String(".fi\n");
    }
    case Block::Table:
        return taggedRows(block.lines);
    case Block::Heading:
        return QLatin1String(".SH ") + escaped(block.lines.first().toUpper()) + QLatin1Char('\n');
    }
    return QString();
}

// The help text's line of an option, in roff: --dump=value, -d value.
QString optionTag(const QtCommandLine::Option &option)
{
    const bool takesValue = option.type != QMetaType::UnknownType;
    QString tag = QLatin1String("\\fB\\-\\-") + escaped(option.name, true) + QLatin1String("\\fR");
    if (takesValue)
        tag += QLatin1String("=\\fIvalue\\fR");
    if (!option.shortName.isNull()) {
        tag += QLatin1String(", \\fB\\-") + escaped(QString(option.shortName), true)
            + QLatin1String("\\fR");
        if (takesValue)
            tag += QLatin1String(" \\fIvalue\\fR");
    }
    if (option.required)
        tag += QLatin1String(" (required)");
    return tag;
}
} // namespace

QString manualPage(const QList<QtCommandLine::Option> &options, const QString &readme,
    const QString &version, QStringList *errors)
{
    const QStringList lines = readme.split(QLatin1Char('\n'));
    const QList<Block> about = blocksOf(sectionLines(lines, QStringLiteral("What it is")));
    const QList<Block> use = blocksOf(sectionLines(lines, QStringLiteral("Use")));

    QString page;
    page += QLatin1String(".\\\" Made by makemanpage from the reporter's options and README.md; "
                          "edit those.\n");
    page += QStringLiteral(".TH DUMPREPORTER 1 \"\" \"dumpreporter %1\" \"User Commands\"\n")
                .arg(escaped(version));
    page += QLatin1String(".SH NAME\ndumpreporter \\- the problem reporter of Velmora\n");

    // The synopsis: the first code block of Use, the program's name in bold.
    qsizetype next = 0;
    while (next < use.size() && use.at(next).kind != Block::Code)
        ++next;
    page += QLatin1String(".SH SYNOPSIS\n.nf\n");
    if (next < use.size()) {
        for (const QString &line : use.at(next).lines) {
            const qsizetype blank = line.indexOf(QLatin1Char(' '));
            const QString program = blank < 0 ? line : line.left(blank);
            const QString rest = blank < 0 ? QString() : line.mid(blank);
            page += QLatin1String("\\fB") + escaped(program, true) + QLatin1String("\\fR")
                + escaped(rest, true) + QLatin1Char('\n');
        }
        ++next;
    } else {
        errors->append(QStringLiteral("the Use section has no code block for the synopsis"));
    }
    page += QLatin1String(".fi\n");

    page += QLatin1String(".SH DESCRIPTION\n");
    if (!about.isEmpty() && about.first().kind == Block::Paragraph)
        page += paragraphText(about.first().lines) + QLatin1Char('\n');
    else
        errors->append(QStringLiteral("the section \"What it is\" has no first paragraph"));

    // The options: the help text's, each with its meaning from the Use table, then the table's
    // other rows (the free words).
    while (next < use.size() && use.at(next).kind != Block::Table)
        ++next;
    if (next >= use.size()) {
        errors->append(QStringLiteral("the Use section has no table of options"));
        return page;
    }
    const Block &table = use.at(next++);
    page += QLatin1String(".SH OPTIONS\n");
    QStringList rowsLeft = table.lines;
    for (const QtCommandLine::Option &option : options) {
        const QString longName = QLatin1String("--") + option.name;
        const QString shortName = option.shortName.isNull()
            ? QString()
            : QLatin1String("-") + QString(option.shortName);
        qsizetype found = -1;
        for (qsizetype r = 0; r < rowsLeft.size() && found < 0; ++r) {
            if (codeNames(tableCells(rowsLeft.at(r)).value(0)).contains(longName))
                found = r;
        }
        if (found < 0) {
            errors->append(QStringLiteral("the help text's option %1 has no row in the Use table")
                               .arg(longName));
            continue;
        }
        const QStringList cells = tableCells(rowsLeft.takeAt(found));
        const QStringList names = codeNames(cells.value(0));
        QStringList expected { longName };
        if (!shortName.isEmpty())
            expected.append(shortName);
        if (names != expected)
            errors->append(QStringLiteral("the Use table names %1 as %2, the help text as %3")
                               .arg(longName, names.join(QLatin1String(", ")),
                                   expected.join(QLatin1String(", "))));
        page += QLatin1String(".TP\n") + optionTag(option) + QLatin1Char('\n')
            + guardLineStart(inlineText(cells.mid(1).join(QLatin1String("; "))))
            + QLatin1Char('\n');
    }
    for (const QString &row : std::as_const(rowsLeft)) {
        for (const QString &name : codeNames(tableCells(row).value(0))) {
            if (name.startsWith(QLatin1String("--"))
                || (name.size() == 2 && name.at(0) == QLatin1Char('-')))
                errors->append(
                    QStringLiteral("the Use table's option %1 is not in the help text").arg(name));
        }
    }
    page += taggedRows(rowsLeft);

    // The rest of Use as it stands: what follows the table belongs to the options, then each
    // subsection is a section of its own.
    for (; next < use.size(); ++next)
        page += blockText(use.at(next));

    page += QLatin1String(".SH SEE ALSO\nThe README in /usr/share/doc/dumpreporter/.\n");
    return page;
}
