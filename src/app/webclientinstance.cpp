#include "app/webclientinstance.h"

#include <atomic>

namespace {
std::atomic<KWebClient *> g_webClient { nullptr };
} // namespace

KWebClient *webClient()
{
    return g_webClient.load();
}

void setWebClient(KWebClient *client)
{
    g_webClient.store(client);
}
