#pragma once

#include <thread>

// Loads the system's font configuration on a second thread while start-up goes on, so that the
// window's first text does not wait for it. The object joins the thread when asked, or when it is
// destroyed; afterwards the toolkit finds the configuration loaded.
class FontWarmUp
{
public:
    FontWarmUp();
    ~FontWarmUp();
    void join();

private:
    std::thread m_thread;
};
