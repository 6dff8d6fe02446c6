#include "support/testlogcapture.h"

#include "logging/loggingmanager.h"

#include <log4cxx/appenderskeleton.h>
#include <log4cxx/spi/loggingevent.h>

#include <QMutexLocker>

struct TestLogCapture::Sink
{
    mutable QMutex mutex;
    QStringList lines;
    QList<int> levels;
};

namespace {

class CaptureAppender : public log4cxx::AppenderSkeleton
{
public:
    explicit CaptureAppender(std::shared_ptr<TestLogCapture::Sink> sink)
        : m_sink(std::move(sink))
    { }
    void close() override { }
    bool requiresLayout() const override { return false; }

protected:
    void append(const log4cxx::spi::LoggingEventPtr &event, log4cxx::helpers::Pool &) override
    {
        QMutexLocker locker(&m_sink->mutex);
        m_sink->lines.append(QString::fromStdString(event->getMessage()));
        m_sink->levels.append(event->getLevel()->toInt());
    }

private:
    std::shared_ptr<TestLogCapture::Sink> m_sink;
};

const char AppenderName[] = "test.capture";

} // namespace

TestLogCapture::TestLogCapture()
    : m_sink(std::make_shared<Sink>())
{
    auto appender = std::make_shared<CaptureAppender>(m_sink);
    appender->setName(AppenderName);
    const log4cxx::LoggerPtr logger = VM::appLogger();
    logger->setLevel(VM::LoggingManager::toLog4cxx(VM::LogLevel::Trace));
    logger->addAppender(appender);
}

TestLogCapture::~TestLogCapture()
{
    VM::appLogger()->removeAppender(AppenderName);
}

QStringList TestLogCapture::lines() const
{
    QMutexLocker locker(&m_sink->mutex);
    return m_sink->lines;
}

QStringList TestLogCapture::matching(const QString &text, int level) const
{
    QMutexLocker locker(&m_sink->mutex);
    QStringList result;
    for (int i = 0; i < m_sink->lines.size(); ++i) {
        if (m_sink->lines.at(i).contains(text)
            && (level == 0
                || VM::LoggingManager::toLog4cxx(VM::LogLevel(level))->toInt()
                    == m_sink->levels.at(i)))
            result.append(m_sink->lines.at(i));
    }
    return result;
}

void TestLogCapture::clear()
{
    QMutexLocker locker(&m_sink->mutex);
    m_sink->lines.clear();
    m_sink->levels.clear();
}
