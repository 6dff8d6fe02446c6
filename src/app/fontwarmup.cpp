#include "app/fontwarmup.h"

#if defined(VELMORA_HAVE_FONTCONFIG)
#include <fontconfig/fontconfig.h>
#endif

#if defined(__linux__)
#include <sched.h>
#endif

namespace {

void loadFontConfiguration()
{
#if defined(VELMORA_HAVE_FONTCONFIG)
    FcInit();
#endif
}

#if defined(__linux__)
void *warmUp(void *allowed)
{
    // Any processor the process may use, from now on.
    pthread_setaffinity_np(pthread_self(), sizeof(cpu_set_t), static_cast<cpu_set_t *>(allowed));
    delete static_cast<cpu_set_t *>(allowed);
    loadFontConfiguration();
    return nullptr;
}
#endif

} // namespace

FontWarmUp::FontWarmUp()
{
#if !defined(VELMORA_HAVE_FONTCONFIG)
    return;
#elif defined(__linux__)
    auto *allowed = new cpu_set_t;
    CPU_ZERO(allowed);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (sched_getaffinity(0, sizeof(cpu_set_t), allowed) == 0) {
        cpu_set_t others = *allowed;
        const int current = sched_getcpu();
        if (current >= 0 && current < CPU_SETSIZE)
            CPU_CLR(current, &others);
        if (CPU_COUNT(&others) > 0)
            pthread_attr_setaffinity_np(&attributes, sizeof others, &others);
    }
    m_running = pthread_create(&m_thread, &attributes, warmUp, allowed) == 0;
    pthread_attr_destroy(&attributes);
    if (!m_running) {
        delete allowed;
        loadFontConfiguration();
    }
#else
    m_thread = std::thread(loadFontConfiguration);
#endif
}

FontWarmUp::~FontWarmUp()
{
    join();
}

void FontWarmUp::join()
{
#if defined(__linux__)
    if (m_running) {
        pthread_join(m_thread, nullptr);
        m_running = false;
    }
#else
    if (m_thread.joinable())
        m_thread.join();
#endif
}
