#include "logging/logginglayout.h"

#include <log4cxx/spi/loggingevent.h>

#include <QDateTime>
#include <QThread>

namespace VM {

LoggingLayout::LoggingLayout() = default;
LoggingLayout::~LoggingLayout() = default;

std::string LoggingLayout::formatLine(qint64 utcMicroseconds, const std::string &threadName,
    const std::string &levelName, const std::string &loggerName, const std::string &text)
{
    // Straight from UTC: no cached local offset, so a daylight-saving change never shifts stamps.
    const QDateTime stamp = QDateTime::fromMSecsSinceEpoch(utcMicroseconds / 1000, Qt::UTC);
    std::string line;
    line.reserve(64 + text.size());
    line += 'U';
    line += stamp.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")).toStdString();
    line += " [";
    line += threadName;
    line += "] ";
    line += levelName;
    if (levelName.size() < 5)
        line.append(5 - levelName.size(), ' ');
    line += ' ';
    line += loggerName;
    line += ' '; // the nested diagnostic context, never set
    line += " - ";
    line += text;
    line += '\n';
    return line;
}

void LoggingLayout::format(log4cxx::LogString &output, const log4cxx::spi::LoggingEventPtr &event,
    log4cxx::helpers::Pool &) const
{
    // The appender calls this on the thread that logs, under its lock.
    const QThread *thread = QThread::currentThread();
    const std::string threadName = thread ? thread->objectName().toStdString() : std::string();
    output += formatLine(event->getTimeStamp(), threadName, event->getLevel()->toString(),
        event->getLoggerName(), event->getRenderedMessage());
}

// Last in the file: the macro opens a namespace of the logging library's name inside VM.
IMPLEMENT_LOG4CXX_OBJECT(LoggingLayout)

} // namespace VM
