#include "app/fontwarmup.h"

#if defined(VELMORA_HAVE_FONTCONFIG)
#include <fontconfig/fontconfig.h>
#endif

#if defined(__linux__)
#include <sched.h>
#endif

#if defined(VELMORA_HAVE_FONTCONFIG)
namespace {

void *loadFontConfiguration(void * = nullptr)
{
    FcInit();
    return nullptr;
}

} // namespace
#endif

FontWarmUp::FontWarmUp()
{
    // Without fontconfig (on Windows) the system serves the fonts: there is nothing to load ahead.
#if defined(VELMORA_HAVE_FONTCONFIG) && defined(__linux__)
    // The processors the process may use, less the current one when another is left.
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    cpu_set_t others;
    if (sched_getaffinity(0, sizeof others, &others) == 0) {
        const int current = sched_getcpu();
        if (current >= 0 && current < CPU_SETSIZE)
            CPU_CLR(current, &others);
        if (CPU_COUNT(&others) > 0)
            pthread_attr_setaffinity_np(&attributes, sizeof others, &others);
    }
    m_running = pthread_create(&m_thread, &attributes, loadFontConfiguration, nullptr) == 0;
    pthread_attr_destroy(&attributes);
    if (!m_running)
        loadFontConfiguration();
#elif defined(VELMORA_HAVE_FONTCONFIG)
    m_thread = std::thread([] { loadFontConfiguration(); });
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
