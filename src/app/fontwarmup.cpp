#include "app/fontwarmup.h"

#if defined(VELMORA_HAVE_FONTCONFIG)
#include <fontconfig/fontconfig.h>
#endif

FontWarmUp::FontWarmUp()
{
#if defined(VELMORA_HAVE_FONTCONFIG)
    m_thread = std::thread([] { FcInit(); });
#endif
}

FontWarmUp::~FontWarmUp()
{
    join();
}

void FontWarmUp::join()
{
    if (m_thread.joinable())
        m_thread.join();
}
