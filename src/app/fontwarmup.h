#pragma once

#if defined(__linux__)
#include <pthread.h>
#else
#include <thread>
#endif

// Loads the system's font configuration on a second thread while start-up goes on, so that the
// window's first text does not wait for it. The object joins the thread when asked, or when it is
// destroyed; afterwards the toolkit finds the configuration loaded.
//
// The thread runs on the other processors than the one start-up runs on: left to the scheduler, a
// thread this short-lived is often queued behind its creator on the same processor, and then it
// gains nothing.
class FontWarmUp
{
public:
    FontWarmUp();
    ~FontWarmUp();
    void join();

private:
#if defined(__linux__)
    pthread_t m_thread {};
    bool m_running = false;
#else
    std::thread m_thread;
#endif
};
