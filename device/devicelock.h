#pragma once

#include <tum/tum.h>

#include <QtGlobal>

/**
 * Holds the device page's mutex for one scope, so that every exit path of a
 * slot releases it. The mutex is re-entrant: a slot reached from a modal
 * dialog's event loop inside another slot takes it again.
 */
class DeviceLock final
{
public:
    explicit DeviceLock(TUM_MUTEX *mutex) : m_mutex(mutex) { TUM_MutexLock(m_mutex); }
    ~DeviceLock() { TUM_MutexUnlock(m_mutex); }
    Q_DISABLE_COPY_MOVE(DeviceLock)

private:
    TUM_MUTEX *m_mutex;
};
