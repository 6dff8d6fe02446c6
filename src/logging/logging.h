#pragma once

// The log statement of the whole program: one macro per level. Each composes the line text from
// the message, the calling function's qualified name, the source path and the line, and hands it
// to the application logger "qx.velmora" when that level is enabled.

#include <QString>

namespace VM {

// Levels keep the numeric values of the scale the product has always logged with.
enum class LogLevel : int {
    Trace = 64,
    Debug = 96,
    Info = 128,
    Warn = 150,
    Error = 182,
    Fatal = 214,
};

// "\t[function]: \tmessage\t\t\t{login}\tfile, line"
QString formatLogMessage(
    const QString &message, const QString &file, const QString &function, int line);

// "virtual bool KWebClient::event(QEvent*)" -> "KWebClient::event"; "int main(int, char**)" ->
// "main", also where Windows builds compile main() as "qMain".
QString qualifiedFunctionName(const char *prettyFunction);

// Composes and writes one line; never fails and never throws.
void writeLog(
    LogLevel level, const QString &message, const char *file, const QString &function, int line);

} // namespace VM

#define VM_LOG_AT(level, message)                                                                  \
    do {                                                                                           \
        static const QString vmLogFunction_ = ::VM::qualifiedFunctionName(__PRETTY_FUNCTION__);    \
        ::VM::writeLog(level, (message), __FILE__, vmLogFunction_, __LINE__);                      \
    } while (false)

#define LOG_TRACE(message) VM_LOG_AT(::VM::LogLevel::Trace, message)
#define LOG_DEBUG(message) VM_LOG_AT(::VM::LogLevel::Debug, message)
#define LOG_INFO(message) VM_LOG_AT(::VM::LogLevel::Info, message)
#define LOG_WARN(message) VM_LOG_AT(::VM::LogLevel::Warn, message)
#define LOG_ERROR(message) VM_LOG_AT(::VM::LogLevel::Error, message)
#define LOG_FATAL(message) VM_LOG_AT(::VM::LogLevel::Fatal, message)
