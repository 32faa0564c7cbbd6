#pragma once

/**
 * Runtime library: re-entrant mutexes, a counting semaphore and run-time
 * loading of shared libraries. The C part serves plain-C callers; the classes
 * are thin owners on top of it.
 *
 * Functions returning int give 0 on success and a negative errno value on
 * failure. Calls on a null or destroyed mutex fail with -EINVAL, never crash.
 */

#if defined(TUM_BUILDING_LIBRARY)
#define TUM_API __attribute__((visibility("default")))
#else
#define TUM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/** Handle of a mutex; null until TUM_MutexCreate succeeded and again after TUM_MutexDestroy. */
typedef struct TUM_MutexObject *TUM_MUTEX;

/**
 * Creates a mutex that its owning thread may lock again while holding it (it
 * is then released after as many unlocks). `spin` is a spin-count hint, -1 for
 * the default; the Linux mutex adapts its own spinning and ignores it.
 */
TUM_API int TUM_MutexCreate(TUM_MUTEX *mutex, int spin);
TUM_API int TUM_MutexLock(TUM_MUTEX *mutex);
/** -EPERM when the calling thread does not hold the mutex. */
TUM_API int TUM_MutexUnlock(TUM_MUTEX *mutex);
/** Frees the mutex and clears the handle; destroying a cleared handle is harmless. */
TUM_API int TUM_MutexDestroy(TUM_MUTEX *mutex);

/**
 * Loads a shared library and returns its handle, or null.
 * Name mapping, so that Windows-style names work unchanged: a name ending in
 * ".dll" (any case) becomes "lib" + the name without that suffix + ".so", the
 * rest of the name keeping its case ("PACKET.dll" -> "libPACKET.so"); any
 * other name, such as "libX.so", is used as given. A name containing '/' is
 * loaded from exactly that path. Otherwise the directory of the running
 * program (from /proc/self/exe) is tried first, then the dynamic loader's
 * usual search (LD_LIBRARY_PATH, the cache, the system directories).
 */
TUM_API void *TUM_LoadDSo(const char *name);
/** The address of `symbol` in a loaded library, or null. */
TUM_API void *TUM_GetSymbol(void *handle, const char *symbol);
/** Releases a handle from TUM_LoadDSo; the library unloads with its last handle. */
TUM_API int TUM_UnloadDSo(void *handle);

#ifdef __cplusplus
}

/** Owns one re-entrant mutex for its whole life. */
class TUM_API TUM_Mutex
{
public:
    explicit TUM_Mutex(int spin = -1);
    ~TUM_Mutex();
    TUM_Mutex(const TUM_Mutex &) = delete;
    /** Keeps this object's own mutex: a lock belongs to the object it guards, so copying that object's data must not share or move it. */
    TUM_Mutex &operator=(const TUM_Mutex &) { return *this; }

    void Lock();
    void Unlock();

private:
    TUM_MUTEX m_hMutex = nullptr;
};

/** Scoped lock: locks on construction, unlocks once on Release or destruction. */
class TUM_Guard
{
public:
    explicit TUM_Guard(TUM_Mutex *mutex) : m_pMutex(mutex)
    {
        if (m_pMutex)
            m_pMutex->Lock();
    }
    ~TUM_Guard() { Release(); }
    TUM_Guard(const TUM_Guard &) = delete;
    /**
     * Takes over the other guard's mutex. The held lock is released first and the
     * new mutex locked once more (it is re-entrant), so each guard still unlocks
     * exactly what it locked.
     */
    TUM_Guard &operator=(const TUM_Guard &other)
    {
        if (this != &other) {
            Release();
            m_pMutex = other.m_pMutex;
            if (m_pMutex)
                m_pMutex->Lock();
        }
        return *this;
    }

    /** Unlocks the stored mutex once and forgets it; later calls do nothing. */
    void Release()
    {
        if (m_pMutex) {
            m_pMutex->Unlock();
            m_pMutex = nullptr;
        }
    }

private:
    TUM_Mutex *m_pMutex = nullptr;
};

/** Counting semaphore. */
class TUM_API TUM_Sema
{
public:
    explicit TUM_Sema(unsigned initialCount = 0);
    ~TUM_Sema();
    TUM_Sema(const TUM_Sema &) = delete;
    /** Keeps this object's own count and waiters, for the same reason as TUM_Mutex. */
    TUM_Sema &operator=(const TUM_Sema &) { return *this; }

    /** Raises the count by one, waking one waiter. */
    void Post();
    /** Waits until the count is positive and lowers it; false when `timeoutMs` (>= 0) passed first. */
    bool Wait(int timeoutMs = -1);

private:
    struct Impl;
    Impl *m_pImpl = nullptr;
};
#endif
