#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <vector>

class QObject;

// The abort of one exchange: a flag set once from any thread, read cheaply by the thread that runs
// the exchange, and a wake-up for that thread's event loop. Each piece of an exchange that waits
// for something registers a Wake while it waits; abort() queues a call into its thread, so the
// loop hears of the abort at once, whatever it waits for.
class KAbortToken
{
public:
    // While it lives, the first abort() reaches onAbort through a queued call in receiver's
    // thread. An abort that came before it is not repeated: look at isAborted() after making it.
    // Destroy it in receiver's thread, before the receiver.
    class Wake
    {
    public:
        Wake(KAbortToken &token, QObject *receiver, std::function<void()> onAbort);
        ~Wake();
        Wake(const Wake &) = delete;
        Wake &operator=(const Wake &) = delete;

    private:
        friend class KAbortToken;
        KAbortToken &m_token;
        QObject *m_receiver;
        std::function<void()> m_onAbort;
    };

    // Sets the flag and wakes every registered piece; from any thread, any number of times.
    void abort();
    bool isAborted() const { return m_aborted.load(std::memory_order_acquire); }

private:
    std::atomic<bool> m_aborted { false };
    std::mutex m_mutex; // guards m_wakes, and the calls made from them
    std::vector<Wake *> m_wakes;
};
