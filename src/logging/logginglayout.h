#pragma once

#include <spdlog/formatter.h>

#include <QString>
#include <QtGlobal>

#include <memory>
#include <string>
#include <string_view>

namespace VM {

// Lays out one log line:
//   "U" yyyy-MM-dd hh:mm:ss.zzz " [" thread "] " LEVEL(padded to 5) " " logger " " (context) " - "
//   text "\n"
// The stamp is the event's time in UTC ("U" says so); the thread is the Qt object name of the
// thread that logs (the GUI thread has none); the nested context is never set, so it is empty.
// The line ends with "\n" on every system.
class LoggingLayout final : public spdlog::formatter
{
public:
    LoggingLayout();
    ~LoggingLayout() override;

    // Called by the log file on the thread that logs, under the file's lock.
    void format(const spdlog::details::log_msg &msg, spdlog::memory_buf_t &dest) override;
    std::unique_ptr<spdlog::formatter> clone() const override;

    void setName(const QString &name) { m_name = name; }
    const QString &name() const { return m_name; }

    // The line for one event, as format() writes it; separate so it can be checked directly.
    static std::string formatLine(qint64 utcMicroseconds, std::string_view threadName,
        std::string_view levelName, std::string_view loggerName, std::string_view text);

private:
    QString m_name;
};

} // namespace VM
