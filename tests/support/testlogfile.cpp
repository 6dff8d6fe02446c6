#include "support/testlogfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

QStringList splitLines(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QByteArray readFrom(const QString &path, qint64 offset)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return {};
    return file.readAll();
}

// The level's name as the log file shows it.
QString levelName(VM::LogLevel level)
{
    switch (level) {
    case VM::LogLevel::Trace:
        return QStringLiteral("TRACE");
    case VM::LogLevel::Debug:
        return QStringLiteral("DEBUG");
    case VM::LogLevel::Info:
        return QStringLiteral("INFO");
    case VM::LogLevel::Warn:
        return QStringLiteral("WARN");
    case VM::LogLevel::Error:
        return QStringLiteral("ERROR");
    case VM::LogLevel::Fatal:
        return QStringLiteral("FATAL");
    }
    return QString();
}

} // namespace

TestLogFile::TestLogFile(const QString &path)
    : m_path(path)
{ }

qint64 TestLogFile::size() const
{
    return QFileInfo(m_path).size();
}

QByteArray TestLogFile::bytes() const
{
    return readFrom(m_path, 0);
}

QStringList TestLogFile::lines() const
{
    return splitLines(bytes());
}

QStringList TestLogFile::linesSince(qint64 offset) const
{
    return splitLines(readFrom(m_path, offset));
}

QByteArray TestLogFile::newBytes()
{
    const QByteArray bytes = readFrom(m_path, m_read);
    m_read += bytes.size();
    return bytes;
}

QStringList TestLogFile::newLines()
{
    return splitLines(newBytes());
}

QStringList TestLogFile::matching(const QStringList &lines, const QString &text)
{
    QStringList result;
    for (const QString &line : lines) {
        if (line.contains(text))
            result.append(line);
    }
    return result;
}

QStringList TestLogFile::matching(const QStringList &lines, const QString &text, VM::LogLevel level)
{
    const QString name = levelName(level);
    QStringList result;
    for (const QString &line : matching(lines, text)) {
        if (levelOf(line) == name)
            result.append(line);
    }
    return result;
}

QString TestLogFile::levelOf(const QString &line)
{
    static const QRegularExpression pattern(QStringLiteral("^U\\S+ \\S+ \\[[^\\]]*\\] (\\w+) "));
    return pattern.match(line).captured(1);
}
