#pragma once

#include "logging/loggingmanager.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Reads a log file as the program writes it, of this process or of a program run:
// "U<date> <time> [thread] LEVEL qx.velmora  - \t[function]: \tmessage\t\t\t{login}\tfile, line".
// Whole file, or what was written since the last read; lines with a text, optionally at a level.
class TestLogFile
{
public:
    explicit TestLogFile(const QString &path);

    QString path() const { return m_path; }
    qint64 size() const;
    QByteArray bytes() const;
    // The non-empty lines of the whole file.
    QStringList lines() const;
    QStringList linesSince(qint64 offset) const;
    // What was written since the last call of either (or since construction, at the start).
    QByteArray newBytes();
    QStringList newLines();

    // The lines that contain `text`, only those written at `level` when one is given.
    static QStringList matching(const QStringList &lines, const QString &text);
    static QStringList matching(const QStringList &lines, const QString &text, VM::LogLevel level);
    // The level name of a line ("TRACE", "INFO", ...), empty when the line is not a log line.
    static QString levelOf(const QString &line);

private:
    QString m_path;
    qint64 m_read = 0;
};
