#pragma once

#include <QDeadlineTimer>

#include <atomic>
#include <condition_variable>
#include <mutex>

// The abort of one exchange: a flag set once from any thread, read cheaply by the thread that runs
// the exchange, and a wake-up for that thread's sleeps, so that a pause between two chunks ends at
// once instead of at the end of its period. Blocking socket waits cannot be woken; they run in
// slices of at most sliceMs and look at the flag between them.
class KAbortToken
{
public:
    // Longest stretch of any blocking socket wait before the flag is looked at again.
    static constexpr int sliceMs = 25;

    // Sets the flag and wakes every sleepUntil(); from any thread, any number of times.
    void abort();
    bool isAborted() const { return m_aborted.load(std::memory_order_acquire); }

    // Sleeps until the deadline has passed or abort() is called; false when aborted (also when the
    // flag was already set or the deadline had already passed with the flag set).
    bool sleepUntil(const QDeadlineTimer &deadline);

private:
    std::atomic<bool> m_aborted { false };
    std::mutex m_mutex;
    std::condition_variable m_wake;
};
