#pragma once

#include "logging/logging.h"

#include <spdlog/fwd.h>

#include <QByteArray>

#include <memory>

namespace VM {

// One-time set-up of logging: the application logger "qx.velmora" writes to the rolling log file
// in the cache folder (the file and its backups readable by the user alone) from the given level
// up. No configuration file or variable of the logging library is read. Called once, before the
// application object exists.
class LoggingManager
{
public:
    static constexpr qint64 MaxFileSize = 5242880; // 5 MiB
    static constexpr int MaxBackupIndex = 5;

    static void initializeLoggers(LogLevel level, const QByteArray &logFileName);

    // The logging library's level for one of ours.
    static spdlog::level::level_enum toSpdlog(LogLevel level);

    // Another destination of every line beside the log file (the tests' capture), added and
    // removed while other threads may log.
    static void addSink(const std::shared_ptr<spdlog::sinks::sink> &sink);
    static void removeSink(const std::shared_ptr<spdlog::sinks::sink> &sink);
};

// The application logger "qx.velmora"; owned by LoggingManager and never destroyed, so that a
// line logged late at exit still finds it.
spdlog::logger &appLogger();

} // namespace VM
