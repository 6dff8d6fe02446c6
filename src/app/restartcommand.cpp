#include "app/restartcommand.h"

#include <QProcess>

namespace {
bool isBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

// The characters a backslash escapes within double quotes.
bool escapedInDoubleQuotes(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('\\') || c == QLatin1Char('$')
        || c == QLatin1Char('`');
}
} // namespace

std::optional<QStringList> splitShellWords(QStringView line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    const qsizetype size = line.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = line.at(i);
        if (isBlank(c)) {
            if (inWord)
                words.append(std::exchange(word, QString()));
            inWord = false;
            continue;
        }
        // A backslash and a line break join two lines: both go, and nothing starts.
        if (c == QLatin1Char('\\') && i + 1 < size && line.at(i + 1) == QLatin1Char('\n')) {
            ++i;
            continue;
        }
        inWord = true;
        if (c == QLatin1Char('\\')) {
            word += i + 1 < size ? line.at(++i) : c;
        } else if (c == QLatin1Char('\'')) {
            const qsizetype close = line.indexOf(QLatin1Char('\''), i + 1);
            if (close < 0)
                return std::nullopt;
            word += line.mid(i + 1, close - i - 1);
            i = close;
        } else if (c == QLatin1Char('"')) {
            for (++i;; ++i) {
                if (i >= size)
                    return std::nullopt;
                const QChar d = line.at(i);
                if (d == QLatin1Char('"'))
                    break;
                if (d == QLatin1Char('\\') && i + 1 < size) {
                    const QChar next = line.at(i + 1);
                    if (escapedInDoubleQuotes(next)) {
                        word += next;
                        ++i;
                        continue;
                    }
                    if (next == QLatin1Char('\n')) {
                        ++i;
                        continue;
                    }
                }
                word += d;
            }
        } else {
            word += c;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

std::optional<std::pair<QString, QString>> splitWindowsCommandLine(QStringView line)
{
    const auto isWindowsBlank
        = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    qsizetype i = 0;
    while (i < line.size() && isWindowsBlank(line.at(i)))
        ++i;
    QString program;
    if (i < line.size() && line.at(i) == QLatin1Char('"')) {
        const qsizetype close = line.indexOf(QLatin1Char('"'), i + 1);
        if (close < 0)
            return std::nullopt;
        program = line.mid(i + 1, close - i - 1).toString();
        i = close + 1;
    } else {
        const qsizetype start = i;
        while (i < line.size() && !isWindowsBlank(line.at(i)))
            ++i;
        program = line.mid(start, i - start).toString();
    }
    while (i < line.size() && isWindowsBlank(line.at(i)))
        ++i;
    return std::make_pair(program, line.mid(i).toString());
}

std::optional<RestartCommand> parseRestartCommand(const QString &commandLine)
{
    RestartCommand command;
#ifdef Q_OS_WIN
    const std::optional<std::pair<QString, QString>> parts = splitWindowsCommandLine(commandLine);
    if (!parts)
        return std::nullopt;
    command.program = parts->first;
    command.nativeArguments = parts->second;
#else
    std::optional<QStringList> words = splitShellWords(commandLine);
    if (!words)
        return std::nullopt;
    if (!words->isEmpty())
        command.program = words->takeFirst();
    command.arguments = *words;
#endif
    return command;
}

#ifdef Q_OS_WIN
namespace {
// Windows: the rest of the command line goes to the system as it stands; the toolkit puts the
// program (quoted when it holds a blank) in front of it.
bool startDetachedWithNativeArguments(const RestartCommand &command)
{
    QProcess process;
    process.setProgram(command.program);
    process.setNativeArguments(command.nativeArguments);
    return process.startDetached();
}
} // namespace
#endif

bool startDetached(const RestartCommand &command)
{
#ifdef Q_OS_WIN
    return startDetachedWithNativeArguments(command);
#else
    QProcess process;
    process.setProgram(command.program);
    process.setArguments(command.arguments);
    return process.startDetached();
#endif
}
