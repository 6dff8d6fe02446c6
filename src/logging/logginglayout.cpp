#include "logging/logginglayout.h"

#include <spdlog/details/log_msg.h>

#include <QDateTime>
#include <QThread>

#include <chrono>

namespace VM {

namespace {

// The level names of the log, in place of the logging library's own.
std::string_view levelName(spdlog::level::level_enum level)
{
    switch (level) {
    case spdlog::level::trace:
        return "TRACE";
    case spdlog::level::debug:
        return "DEBUG";
    case spdlog::level::info:
        return "INFO";
    case spdlog::level::warn:
        return "WARN";
    case spdlog::level::err:
        return "ERROR";
    case spdlog::level::critical:
        return "FATAL";
    case spdlog::level::off:
    case spdlog::level::n_levels:
        break;
    }
    return "OFF";
}

} // namespace

LoggingLayout::LoggingLayout() = default;
LoggingLayout::~LoggingLayout() = default;

std::string LoggingLayout::formatLine(qint64 utcMicroseconds, std::string_view threadName,
    std::string_view levelName, std::string_view loggerName, std::string_view text)
{
    // Straight from UTC: no cached local offset, so a daylight-saving change never shifts stamps.
    const QDateTime stamp = QDateTime::fromMSecsSinceEpoch(utcMicroseconds / 1000, Qt::UTC);
    std::string line;
    line.reserve(64 + threadName.size() + loggerName.size() + text.size());
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

void LoggingLayout::format(const spdlog::details::log_msg &msg, spdlog::memory_buf_t &dest)
{
    const QThread *thread = QThread::currentThread();
    const std::string threadName = thread ? thread->objectName().toStdString() : std::string();
    const qint64 microseconds
        = std::chrono::duration_cast<std::chrono::microseconds>(msg.time.time_since_epoch())
              .count();
    const std::string line = formatLine(microseconds, threadName, levelName(msg.level),
        std::string_view(msg.logger_name.data(), msg.logger_name.size()),
        std::string_view(msg.payload.data(), msg.payload.size()));
    dest.append(line.data(), line.data() + line.size());
}

std::unique_ptr<spdlog::formatter> LoggingLayout::clone() const
{
    auto copy = std::make_unique<LoggingLayout>();
    copy->setName(m_name);
    return copy;
}

} // namespace VM
