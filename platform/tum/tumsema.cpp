#include "tum.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

struct TUM_Sema::Impl {
    std::mutex mutex;
    std::condition_variable available;
    unsigned count = 0;
};

TUM_Sema::TUM_Sema(unsigned initialCount) : m_pImpl(new Impl)
{
    m_pImpl->count = initialCount;
}

TUM_Sema::~TUM_Sema()
{
    delete m_pImpl;
}

void TUM_Sema::Post()
{
    {
        std::lock_guard lock(m_pImpl->mutex);
        ++m_pImpl->count;
    }
    m_pImpl->available.notify_one();
}

bool TUM_Sema::Wait(int timeoutMs)
{
    std::unique_lock lock(m_pImpl->mutex);
    const auto positive = [this] { return m_pImpl->count > 0; };
    if (timeoutMs < 0)
        m_pImpl->available.wait(lock, positive);
    else if (!m_pImpl->available.wait_for(lock, std::chrono::milliseconds(timeoutMs), positive))
        return false;
    --m_pImpl->count;
    return true;
}
