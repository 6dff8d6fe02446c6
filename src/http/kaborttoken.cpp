#include "http/kaborttoken.h"

#include <algorithm>
#include <chrono>

void KAbortToken::abort()
{
    {
        // Under the lock, so that a sleeper between its check and its wait cannot miss the wake.
        std::lock_guard<std::mutex> guard(m_mutex);
        m_aborted.store(true, std::memory_order_release);
    }
    m_wake.notify_all();
}

bool KAbortToken::sleepUntil(const QDeadlineTimer &deadline)
{
    std::unique_lock<std::mutex> guard(m_mutex);
    if (deadline.isForever()) {
        m_wake.wait(guard, [this] { return isAborted(); });
        return false;
    }
    const auto until = std::chrono::steady_clock::now()
        + std::chrono::nanoseconds(std::max<qint64>(0, deadline.remainingTimeNSecs()));
    return !m_wake.wait_until(guard, until, [this] { return isAborted(); });
}
