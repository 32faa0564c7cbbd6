#include "tum.h"

#include <atomic>
#include <cerrno>
#include <new>
#include <pthread.h>
#include <thread>

struct TUM_MutexObject {
    pthread_mutex_t mutex;
    // Checked before unlocking, so a foreign unlock is refused by us rather
    // than left to the platform mutex; written only by the holder.
    std::atomic<std::thread::id> owner {};
    unsigned depth = 0;
};

extern "C" int TUM_MutexCreate(TUM_MUTEX *mutex, int /*spin*/)
{
    if (!mutex)
        return -EINVAL;
    auto *object = new (std::nothrow) TUM_MutexObject;
    if (!object)
        return -ENOMEM;
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    const int rc = pthread_mutex_init(&object->mutex, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
        delete object;
        return -rc;
    }
    *mutex = object;
    return 0;
}

extern "C" int TUM_MutexLock(TUM_MUTEX *mutex)
{
    if (!mutex || !*mutex)
        return -EINVAL;
    TUM_MutexObject &m = **mutex;
    if (const int rc = pthread_mutex_lock(&m.mutex); rc != 0)
        return -rc;
    if (m.depth++ == 0)
        m.owner.store(std::this_thread::get_id(), std::memory_order_relaxed);
    return 0;
}

extern "C" int TUM_MutexUnlock(TUM_MUTEX *mutex)
{
    if (!mutex || !*mutex)
        return -EINVAL;
    TUM_MutexObject &m = **mutex;
    if (m.owner.load(std::memory_order_relaxed) != std::this_thread::get_id())
        return -EPERM;
    if (--m.depth == 0)
        m.owner.store(std::thread::id(), std::memory_order_relaxed);
    return -pthread_mutex_unlock(&m.mutex);
}

extern "C" int TUM_MutexDestroy(TUM_MUTEX *mutex)
{
    if (!mutex)
        return -EINVAL;
    if (!*mutex)
        return 0;
    const int rc = pthread_mutex_destroy(&(*mutex)->mutex);
    if (rc != 0)
        return -rc; // still locked: keep it rather than free memory a holder uses
    delete *mutex;
    *mutex = nullptr;
    return 0;
}

TUM_Mutex::TUM_Mutex(int spin)
{
    TUM_MutexCreate(&m_hMutex, spin);
}

TUM_Mutex::~TUM_Mutex()
{
    TUM_MutexDestroy(&m_hMutex);
}

void TUM_Mutex::Lock()
{
    TUM_MutexLock(&m_hMutex);
}

void TUM_Mutex::Unlock()
{
    TUM_MutexUnlock(&m_hMutex);
}
