#include "base/fatalerrorhook.h"

#include <atomic>

namespace {
std::atomic<FatalErrorHook> g_hook { nullptr };
} // namespace

FatalErrorHook installFatalErrorHook(FatalErrorHook hook)
{
    return g_hook.exchange(hook);
}

void callFatalErrorHook(const QString &message)
{
    if (const FatalErrorHook hook = g_hook.load())
        hook(message);
}
