#pragma once

#include <QMutex>
#include <QString>
#include <QStringList>

#include <spdlog/fwd.h>

#include <memory>

// Collects the lines that the program logs while the object exists (all levels from TRACE up),
// in memory, from any thread. Lines are the composed texts: "\t[function]: \tmessage...".
class TestLogCapture
{
public:
    TestLogCapture();
    ~TestLogCapture();

    QStringList lines() const;
    // Lines whose text contains `text`, optionally only those of one level (LogLevel value).
    QStringList matching(const QString &text, int level = 0) const;
    void clear();

    struct Sink;

private:
    std::shared_ptr<Sink> m_sink;
    std::shared_ptr<spdlog::sinks::sink> m_capture;
};
