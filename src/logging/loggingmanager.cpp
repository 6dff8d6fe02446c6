#include "logging/loggingmanager.h"

#include "base/processvalues.h"
#include "logging/logginglayout.h"
#include "logging/rollingfilesink.h"

#include <spdlog/logger.h>
#include <spdlog/sinks/dist_sink.h>

#include <QDir>
#include <QFile>

#include <atomic>
#include <cstdio>
#include <string>

namespace VM {

namespace {

// The first failure to open or write the log goes to the standard error stream; later ones would
// only repeat it. The lines are lost and the program goes on.
void reportLoggingFailure(const std::string &what)
{
    static std::atomic_flag reported = ATOMIC_FLAG_INIT;
    if (!reported.test_and_set())
        std::fprintf(stderr, "The log cannot be written: %s\n", what.c_str());
}

// The logger and the destinations of its lines. The logger is the library's own object, made
// here and known to nobody else: it is not in the library's registry, so no configuration of the
// library (the variable SPDLOG_LEVEL, say) reaches it.
struct Logging
{
    std::shared_ptr<spdlog::sinks::dist_sink_mt> sinks
        = std::make_shared<spdlog::sinks::dist_sink_mt>();
    spdlog::logger logger { "qx.velmora", sinks };
    std::shared_ptr<spdlog::sinks::sink> file; // the log file's sink, once set up
};

Logging &logging()
{
    // Made at the first use and never destroyed: a line logged late at exit still finds it.
    static Logging *const instance = [] {
        auto *made = new Logging;
        made->logger.set_level(spdlog::level::off); // until the set-up gives the level
        made->logger.set_error_handler(reportLoggingFailure);
        return made;
    }();
    return *instance;
}

// The file name as the file functions of this system take it: UTF-8 bytes, or UTF-16 on Windows.
spdlog::filename_t toFileName(const QString &path)
{
#ifdef SPDLOG_WCHAR_FILENAMES
    return QDir::toNativeSeparators(path).toStdWString();
#else
    return QFile::encodeName(path).toStdString();
#endif
}

} // namespace

void LoggingManager::initializeLoggers(LogLevel level, const QByteArray &logFileName)
{
    Logging &state = logging();
    const QString fileName = QString::fromLatin1(logFileName);
    auto layout = std::make_unique<LoggingLayout>();
    layout->setName(fileName + QStringLiteral(".ttcclayout"));
    try {
        auto file = std::make_shared<RollingFileSink>(toFileName(cacheFolder() + fileName),
            std::size_t(MaxFileSize), MaxBackupIndex, std::move(layout));
        // A second set-up writes to its file instead of the first one's.
        if (state.file)
            state.sinks->remove_sink(state.file);
        state.sinks->add_sink(file);
        state.file = std::move(file);
    } catch (const std::exception &error) {
        reportLoggingFailure(error.what());
    }
    state.logger.set_level(toSpdlog(level));

    LOG_DEBUG(QStringLiteral("Logging objects have been initialized."));
}

spdlog::level::level_enum LoggingManager::toSpdlog(LogLevel level)
{
    switch (level) {
    case LogLevel::Trace:
        return spdlog::level::trace;
    case LogLevel::Debug:
        return spdlog::level::debug;
    case LogLevel::Info:
        return spdlog::level::info;
    case LogLevel::Warn:
        return spdlog::level::warn;
    case LogLevel::Error:
        return spdlog::level::err;
    case LogLevel::Fatal:
        return spdlog::level::critical;
    }
    return spdlog::level::trace;
}

void LoggingManager::addSink(const std::shared_ptr<spdlog::sinks::sink> &sink)
{
    logging().sinks->add_sink(sink);
}

void LoggingManager::removeSink(const std::shared_ptr<spdlog::sinks::sink> &sink)
{
    logging().sinks->remove_sink(sink);
}

spdlog::logger &appLogger()
{
    return logging().logger;
}

} // namespace VM
