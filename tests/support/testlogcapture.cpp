#include "support/testlogcapture.h"

#include "logging/loggingmanager.h"

#include <spdlog/logger.h>
#include <spdlog/sinks/base_sink.h>

#include <QMutexLocker>

struct TestLogCapture::Sink
{
    mutable QMutex mutex;
    QStringList lines;
    QList<int> levels; // the logging library's levels
};

namespace {

class CaptureSink : public spdlog::sinks::base_sink<std::mutex>
{
public:
    explicit CaptureSink(std::shared_ptr<TestLogCapture::Sink> sink)
        : m_sink(std::move(sink))
    { }

protected:
    void sink_it_(const spdlog::details::log_msg &msg) override
    {
        QMutexLocker locker(&m_sink->mutex);
        m_sink->lines.append(QString::fromUtf8(msg.payload.data(), qsizetype(msg.payload.size())));
        m_sink->levels.append(int(msg.level));
    }
    void flush_() override { }

private:
    std::shared_ptr<TestLogCapture::Sink> m_sink;
};

} // namespace

TestLogCapture::TestLogCapture()
    : m_sink(std::make_shared<Sink>())
    , m_capture(std::make_shared<CaptureSink>(m_sink))
{
    VM::appLogger().set_level(VM::LoggingManager::toSpdlog(VM::LogLevel::Trace));
    VM::LoggingManager::addSink(m_capture);
}

TestLogCapture::~TestLogCapture()
{
    VM::LoggingManager::removeSink(m_capture);
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
                || int(VM::LoggingManager::toSpdlog(VM::LogLevel(level))) == m_sink->levels.at(i)))
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
