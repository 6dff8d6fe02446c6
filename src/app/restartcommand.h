#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <utility>

// What the restart starts: Velmora's program and its arguments, from the command line given with
// --restart.
struct RestartCommand
{
    QString program;
    // Elsewhere than on Windows: the further words of the command line, one an argument.
    QStringList arguments;
    // On Windows: the rest of the command line after the program, handed to the system as it
    // stands.
    QString nativeArguments;

    bool operator==(const RestartCommand &) const = default;
};

// Splits a command line into words as a POSIX shell splits them, without running one. Blanks
// (space, tab, line break) separate words. Within 'single quotes' every character stands for
// itself. Within "double quotes" a backslash escapes only ", \, $, ` (the backslash goes) and a
// line break (both go); before anything else it stays. Outside quotes a backslash keeps the next
// character as it is (a backslash and a line break both go; a backslash at the very end stays).
// Nothing is expanded: $, `, ~, *, # and the shell's operators are plain characters. '' and ""
// make an empty word. std::nullopt when a quote is left open.
std::optional<QStringList> splitShellWords(QStringView commandLine);

// Splits a Windows command line as the system does for the program it starts (CreateProcess):
// after leading blanks, a program in double quotes runs to the next double quote, any other up to
// the next blank; the rest of the line after the blanks that follow is returned as it stands.
// std::nullopt when the program's quote is left open.
std::optional<std::pair<QString, QString>> splitWindowsCommandLine(QStringView commandLine);

// The command the restart starts for a command line: the words of splitShellWords(), or on Windows
// the program and the rest of splitWindowsCommandLine(). std::nullopt when a quote is left open;
// a command with an empty program starts nothing.
std::optional<RestartCommand> parseRestartCommand(const QString &commandLine);

// Starts the command detached from this process; false when it could not be started.
bool startDetached(const RestartCommand &command);
