#pragma once

#include "logging/logging.h"

#include <log4cxx/level.h>
#include <log4cxx/logger.h>

#include <QByteArray>

namespace VM {

// One-time set-up of the logging library: the layout, the rolling file appender in the cache
// folder, and the root logger's level. Called once, before the application object exists.
class LoggingManager
{
public:
    static constexpr qint64 MaxFileSize = 5242880; // 5 MiB
    static constexpr int MaxBackupIndex = 5;

    static void initializeLoggers(LogLevel level, const QByteArray &logFileName);

    static log4cxx::LevelPtr toLog4cxx(LogLevel level);
};

// The application logger "qx.velmora"; owned by the logging library.
log4cxx::LoggerPtr appLogger();

} // namespace VM
