#pragma once

#include <log4cxx/layout.h>

#include <QtGlobal>

namespace VM {

// The logging library's object macros name its helpers without qualification.
namespace helpers = ::log4cxx::helpers;

// Lays out one log line:
//   "U" yyyy-MM-dd hh:mm:ss.zzz " [" thread "] " LEVEL(padded to 5) " " logger " " (context) " - "
//   text "\n"
// The stamp is the event's time in UTC ("U" says so); the thread is the Qt object name of the
// thread that logs (the GUI thread has none); the nested context is never set, so it is empty.
class LoggingLayout : public log4cxx::Layout
{
public:
    DECLARE_LOG4CXX_OBJECT(LoggingLayout)
    BEGIN_LOG4CXX_CAST_MAP()
    LOG4CXX_CAST_ENTRY(LoggingLayout)
    LOG4CXX_CAST_ENTRY_CHAIN(log4cxx::Layout)
    END_LOG4CXX_CAST_MAP()

    LoggingLayout();
    ~LoggingLayout() override;

    void format(log4cxx::LogString &output, const log4cxx::spi::LoggingEventPtr &event,
        log4cxx::helpers::Pool &pool) const override;
    bool ignoresThrowable() const override { return true; }
    void activateOptions(log4cxx::helpers::Pool &) override { }
    void setOption(const log4cxx::LogString &, const log4cxx::LogString &) override { }

    void setName(const std::string &name) { m_name = name; }
    const std::string &name() const { return m_name; }

    // The line for one event, as format() writes it; separate so it can be checked directly.
    static std::string formatLine(qint64 utcMicroseconds, const std::string &threadName,
        const std::string &levelName, const std::string &loggerName, const std::string &text);

private:
    std::string m_name;
};

} // namespace VM
