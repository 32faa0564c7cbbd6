#pragma once

#include <tum/tum.h>

#include <atomic>
#include <memory>

/** The runtime library's mutex under which every process-wide object of the shell is created. */
TUM_Mutex &SingletonMutex();

/**
 * Holds a process-wide object created on first use. Creation runs under
 * SingletonMutex() with a second test after locking; later calls find the
 * object without locking. Constant-initialised, so it may be a namespace-scope
 * static that exists before any other static constructor asks for it.
 */
template <typename T>
class ProcessSingleton
{
public:
    constexpr ProcessSingleton() = default;
    ProcessSingleton(const ProcessSingleton &) = delete;
    ProcessSingleton &operator=(const ProcessSingleton &) = delete;

    template <typename Make>
    T *Get(Make make)
    {
        if (T *instance = m_pInstance.load(std::memory_order_acquire))
            return instance;
        TUM_Guard guard(&SingletonMutex());
        if (!m_owner) {
            m_owner = make();
            m_pInstance.store(m_owner.get(), std::memory_order_release);
        }
        return m_owner.get();
    }

private:
    std::atomic<T *> m_pInstance = nullptr;
    std::unique_ptr<T> m_owner;
};
