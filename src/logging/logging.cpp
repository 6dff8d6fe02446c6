#include "logging/logging.h"

#include "base/processvalues.h"
#include "logging/loggingmanager.h"

#include <spdlog/logger.h>

#include <string_view>

namespace VM {

QString formatLogMessage(
    const QString &message, const QString &file, const QString &function, int line)
{
    // Each placeholder is filled exactly once, so a "%1" inside the message stays as it is.
    return QStringLiteral("\t[%1]: \t%2\t\t\t{%3}\t%4, %5")
        .arg(function, message, currentLogin(), file, QString::number(line));
}

QString qualifiedFunctionName(const char *prettyFunction)
{
    const std::string_view text(prettyFunction);
    // The parameter list starts at the first '(' outside template brackets; "operator()" and
    // lambdas ("f()::<lambda()>") end the name at their first parenthesis too, which is the
    // enclosing function's name for a lambda.
    int depth = 0;
    size_t open = text.size();
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '<')
            ++depth;
        else if (c == '>' && depth > 0)
            --depth;
        else if (c == '(' && depth == 0) {
            open = i;
            break;
        }
    }
    // The name starts after the last blank outside template brackets before the parameter list
    // (return type, "virtual", "static" come before it).
    size_t start = 0;
    depth = 0;
    for (size_t i = open; i-- > 0;) {
        const char c = text[i];
        if (c == '>')
            ++depth;
        else if (c == '<' && depth > 0)
            --depth;
        else if (c == ' ' && depth == 0) {
            start = i + 1;
            break;
        }
    }
    std::string_view name = text.substr(start, open - start);
    while (!name.empty() && (name.front() == '*' || name.front() == '&'))
        name.remove_prefix(1);
    // A Windows GUI program's main() is compiled as qMain, which Qt's WinMain calls; it is still
    // the program's main.
    if (name == "qMain")
        return QStringLiteral("main");
    return QString::fromUtf8(name.data(), qsizetype(name.size()));
}

void writeLog(
    LogLevel level, const QString &message, const char *file, const QString &function, int line)
{
    try {
        const QString text = formatLogMessage(message, QString::fromUtf8(file), function, line);
        spdlog::logger &logger = appLogger();
        const spdlog::level::level_enum spdlogLevel = LoggingManager::toSpdlog(level);
        if (logger.should_log(spdlogLevel)) {
            const QByteArray bytes = text.toUtf8();
            logger.log(spdlogLevel, spdlog::string_view_t(bytes.constData(), size_t(bytes.size())));
        }
    } catch (...) {
        // A log statement never reports a failure to its caller.
    }
}

} // namespace VM
