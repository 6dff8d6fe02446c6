#pragma once

#include "logging/logging.h"

#include <log4cxx/level.h>
#include <log4cxx/logger.h>

#include <QByteArray>

namespace VM {

// One-time set-up of the logging library: the layout, the rolling file appender in the cache
// folder (the log file and its backups readable by the user alone), and the root logger's level.
// The library's own configuration files and variables are never read. Called once, before the
// application object exists.
class LoggingManager
{
public:
    static constexpr qint64 MaxFileSize = 5242880; // 5 MiB
    static constexpr int MaxBackupIndex = 5;

    static void initializeLoggers(LogLevel level, const QByteArray &logFileName);

    // Gives the C locale the character type of the environment's locale, or its UTF-8 twin when
    // that one's character set is not UTF-8, as the toolkit does when its application object is
    // created: file names then reach the file system as the UTF-8 the toolkit uses.
    static void useUtf8CharacterType();

    static log4cxx::LevelPtr toLog4cxx(LogLevel level);
};

// The application logger "qx.velmora"; owned by the logging library.
log4cxx::LoggerPtr appLogger();

} // namespace VM
