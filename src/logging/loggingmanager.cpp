#include "logging/loggingmanager.h"

#include "app/processvalues.h"
#include "logging/logginglayout.h"

#include <log4cxx/helpers/pool.h>
#include <log4cxx/logmanager.h>
#include <log4cxx/rolling/rollingfileappender.h>

namespace VM {

void LoggingManager::initializeLoggers(LogLevel level, const QByteArray &logFileName)
{
    const QString fileName = QString::fromLatin1(logFileName);
    log4cxx::helpers::Pool pool;

    auto layout = std::make_shared<LoggingLayout>();
    layout->setName((fileName + QStringLiteral(".ttcclayout")).toStdString());
    layout->activateOptions(pool);

    auto appender = std::make_shared<log4cxx::rolling::RollingFileAppender>();
    appender->setLayout(layout);
    appender->setFile((cacheFolder() + fileName).toStdString());
    appender->setAppend(true);
    appender->setMaximumFileSize(size_t(MaxFileSize));
    appender->setMaxBackupIndex(MaxBackupIndex);
    appender->setName((fileName + QStringLiteral(".fileappender")).toStdString());
    appender->activateOptions(pool);

    // The layout and the appender live until the process ends: they are never destroyed, not
    // even by the logging library's own teardown at exit, so no late log line meets a dead one.
    static const auto *const keptAlive = new std::pair(layout, appender);
    Q_UNUSED(keptAlive);

    const log4cxx::LoggerPtr root = log4cxx::Logger::getRootLogger();
    root->addAppender(appender);
    root->setLevel(toLog4cxx(level));

    LOG_DEBUG(QStringLiteral("Logging objects have been initialized."));
}

log4cxx::LevelPtr LoggingManager::toLog4cxx(LogLevel level)
{
    switch (level) {
    case LogLevel::Trace:
        return log4cxx::Level::getTrace();
    case LogLevel::Debug:
        return log4cxx::Level::getDebug();
    case LogLevel::Info:
        return log4cxx::Level::getInfo();
    case LogLevel::Warn:
        return log4cxx::Level::getWarn();
    case LogLevel::Error:
        return log4cxx::Level::getError();
    case LogLevel::Fatal:
        return log4cxx::Level::getFatal();
    }
    return log4cxx::Level::getTrace();
}

log4cxx::LoggerPtr appLogger()
{
    return log4cxx::Logger::getLogger("qx.velmora");
}

} // namespace VM
