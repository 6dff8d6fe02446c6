#include "logging/loggingmanager.h"

#include "base/processvalues.h"
#include "logging/logginglayout.h"

#include <log4cxx/helpers/pool.h>
#include <log4cxx/logmanager.h>
#include <log4cxx/rolling/rollingfileappender.h>
#include <log4cxx/spi/loggerrepository.h>

#include <QFile>

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <strings.h>

namespace VM {

namespace {

// The rolling appender whose every log file, the first one and each one started by a roll, is
// readable and writable by the user alone, whatever the process's file-creation mask. The
// backups are the renamed log files, so they keep that.
class OwnerOnlyRollingFileAppender : public log4cxx::rolling::RollingFileAppender
{
protected:
    log4cxx::helpers::WriterPtr createWriter(log4cxx::helpers::OutputStreamPtr &os) override
    {
        // Called once the file has been opened, before anything is written to it.
        QFile::setPermissions(
            QString::fromStdString(getFile()), QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return RollingFileAppender::createWriter(os);
    }
};

bool isUtf8(const char *codeset)
{
    return codeset && (strcasecmp(codeset, "UTF-8") == 0 || strcasecmp(codeset, "utf8") == 0);
}

} // namespace

void LoggingManager::useUtf8CharacterType()
{
    // The logging library turns its UTF-8 file names into bytes through the character type of the
    // C locale, while the toolkit always takes file names as UTF-8. With a locale whose character
    // set is not UTF-8 (the untouched "C" locale of a starting process, LC_ALL=C), every letter
    // outside ASCII became '?' and the log went to a wrong path. The toolkit switches such a
    // locale to its UTF-8 twin when the application object is created; this does the same before.
    const char *current = std::setlocale(LC_CTYPE, "");
    if (isUtf8(nl_langinfo(CODESET)))
        return;
    QByteArray name = current ? QByteArray(current) : QByteArray("C");
    if (const qsizetype dot = name.indexOf('.'); dot != -1)
        name.truncate(dot);
    if (const qsizetype at = name.indexOf('@'); at != -1)
        name.truncate(at);
    name += ".UTF-8";
    if (!std::setlocale(LC_CTYPE, name.constData()) && !std::setlocale(LC_CTYPE, "C.UTF-8"))
        std::setlocale(LC_CTYPE, "C.utf8");
}

void LoggingManager::initializeLoggers(LogLevel level, const QByteArray &logFileName)
{
    useUtf8CharacterType();

    // The reporter configures its logging alone: the library's own start-up configuration (files
    // such as log4j.properties or log4cxx.xml in the working directory, or the variables naming
    // one) is never read, so a stray file cannot silence or redirect the log.
    const log4cxx::spi::LoggerRepositoryPtr repository = log4cxx::LogManager::getLoggerRepository();
    repository->setConfigured(true);

    const QString fileName = QString::fromLatin1(logFileName);
    log4cxx::helpers::Pool pool;

    auto layout = std::make_shared<LoggingLayout>();
    layout->setName((fileName + QStringLiteral(".ttcclayout")).toStdString());
    layout->activateOptions(pool);

    auto appender = std::make_shared<OwnerOnlyRollingFileAppender>();
    appender->setLayout(layout);
    // UTF-8, as the library keeps its texts.
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

    const log4cxx::LoggerPtr root = repository->getRootLogger();
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
