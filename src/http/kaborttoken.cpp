#include "http/kaborttoken.h"

#include <QMetaObject>
#include <QObject>

#include <algorithm>

KAbortToken::Wake::Wake(KAbortToken &token, QObject *receiver, std::function<void()> onAbort)
    : m_token(token)
    , m_receiver(receiver)
    , m_onAbort(std::move(onAbort))
{
    std::lock_guard<std::mutex> guard(m_token.m_mutex);
    m_token.m_wakes.push_back(this);
}

KAbortToken::Wake::~Wake()
{
    std::lock_guard<std::mutex> guard(m_token.m_mutex);
    std::erase(m_token.m_wakes, this);
}

void KAbortToken::abort()
{
    // Under the lock, so that no receiver can go between the check and the call. The call only
    // posts an event; a receiver destroyed before the event is handled drops it.
    std::lock_guard<std::mutex> guard(m_mutex);
    if (m_aborted.exchange(true, std::memory_order_acq_rel))
        return;
    for (Wake *wake : m_wakes)
        QMetaObject::invokeMethod(wake->m_receiver, wake->m_onAbort, Qt::QueuedConnection);
}
