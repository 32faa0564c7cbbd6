#include <tum/tum.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A short look for something that must NOT happen; never a speed claim.
constexpr auto quietWindow = 100ms;
constexpr int generousMs = 5000;

// Locks `mutex` on its own thread and posts `acquired` once it holds it.
class Contender
{
public:
    explicit Contender(TUM_Mutex &mutex)
        : m_thread([this, &mutex] {
              mutex.Lock();
              m_acquired.Post();
              m_done.Wait();
              mutex.Unlock();
          })
    {
    }
    ~Contender()
    {
        m_done.Post();
        m_thread.join();
    }
    bool acquiredWithin(std::chrono::milliseconds wait) { return m_acquired.Wait(int(wait.count())); }

private:
    TUM_Sema m_acquired;
    TUM_Sema m_done;
    std::thread m_thread;
};

TEST(TumMutex, OwnerRelocksWhileAnotherThreadWaits)
{
    TUM_MUTEX mutex = nullptr;
    ASSERT_EQ(TUM_MutexCreate(&mutex, -1), 0);
    ASSERT_EQ(TUM_MutexLock(&mutex), 0);

    std::atomic<bool> acquired = false;
    std::thread other([&] {
        TUM_MutexLock(&mutex);
        acquired = true;
        TUM_MutexUnlock(&mutex);
    });
    std::this_thread::sleep_for(quietWindow); // let the other thread block

    EXPECT_EQ(TUM_MutexLock(&mutex), 0); // re-entry by the owner must not deadlock
    EXPECT_EQ(TUM_MutexUnlock(&mutex), 0);
    std::this_thread::sleep_for(quietWindow);
    EXPECT_FALSE(acquired) << "one unlock of two released the mutex";

    EXPECT_EQ(TUM_MutexUnlock(&mutex), 0);
    other.join();
    EXPECT_TRUE(acquired);
    EXPECT_EQ(TUM_MutexDestroy(&mutex), 0);
    EXPECT_EQ(mutex, nullptr);
}

TEST(TumMutex, MisuseFailsCleanly)
{
    TUM_MUTEX mutex = nullptr;
    EXPECT_EQ(TUM_MutexLock(&mutex), -EINVAL);
    EXPECT_EQ(TUM_MutexUnlock(nullptr), -EINVAL);
    EXPECT_EQ(TUM_MutexCreate(nullptr, -1), -EINVAL);

    ASSERT_EQ(TUM_MutexCreate(&mutex, 4000), 0);
    EXPECT_EQ(TUM_MutexUnlock(&mutex), -EPERM); // not held
    TUM_MutexLock(&mutex);
    std::thread([&] { EXPECT_EQ(TUM_MutexUnlock(&mutex), -EPERM); }).join();
    TUM_MutexUnlock(&mutex);

    EXPECT_EQ(TUM_MutexDestroy(&mutex), 0);
    EXPECT_EQ(TUM_MutexDestroy(&mutex), 0); // second destroy harmless
    EXPECT_EQ(TUM_MutexLock(&mutex), -EINVAL);
}

TEST(TumGuard, ReleaseUnlocksExactlyOnce)
{
    TUM_Mutex mutex;
    mutex.Lock(); // an outer hold the guard must not take away
    {
        TUM_Guard guard(&mutex);
        guard.Release();
        guard.Release();
    } // destructor after Release: nothing more
    Contender contender(mutex);
    EXPECT_FALSE(contender.acquiredWithin(quietWindow));
    mutex.Unlock();
    EXPECT_TRUE(contender.acquiredWithin(std::chrono::milliseconds(generousMs)));
}

TEST(TumGuard, DestructorUnlocks)
{
    TUM_Mutex mutex;
    {
        TUM_Guard guard(&mutex);
        TUM_Guard nested(&mutex);
    }
    Contender contender(mutex);
    EXPECT_TRUE(contender.acquiredWithin(std::chrono::milliseconds(generousMs)));
}

TEST(TumGuard, NullMutexIsHarmless)
{
    TUM_Guard guard(nullptr);
    guard.Release();
}

TEST(TumGuard, CopyAssignmentMovesToTheOtherMutexBalanced)
{
    TUM_Mutex first;
    TUM_Mutex second;
    {
        TUM_Guard a(&first);
        TUM_Guard b(&second);
        a = b;
        Contender onFirst(first);
        EXPECT_TRUE(onFirst.acquiredWithin(std::chrono::milliseconds(generousMs)));
        b.Release();
        Contender onSecond(second);
        EXPECT_FALSE(onSecond.acquiredWithin(quietWindow)) << "a still holds second";
        a.Release();
        EXPECT_TRUE(onSecond.acquiredWithin(std::chrono::milliseconds(generousMs)));
    }
}

TEST(TumMutex, CopyAssignmentKeepsOwnLock)
{
    TUM_Mutex held;
    TUM_Mutex target;
    held.Lock();
    target = held;
    Contender contender(target);
    EXPECT_TRUE(contender.acquiredWithin(std::chrono::milliseconds(generousMs)));
    held.Unlock();
}

TEST(TumSema, CountsAndTimesOut)
{
    TUM_Sema sema(2);
    EXPECT_TRUE(sema.Wait(0));
    EXPECT_TRUE(sema.Wait(0));
    EXPECT_FALSE(sema.Wait(0));
    EXPECT_FALSE(sema.Wait(int(quietWindow.count())));
    sema.Post();
    EXPECT_TRUE(sema.Wait(0));
}

TEST(TumSema, PostWakesBlockedWaiter)
{
    TUM_Sema sema;
    std::atomic<int> woken = 0;
    std::thread waiter([&] {
        sema.Wait();
        sema.Wait();
        ++woken;
    });
    sema.Post();
    sema.Post();
    waiter.join();
    EXPECT_EQ(woken, 1);
    EXPECT_FALSE(sema.Wait(0));
}

struct DsoCase {
    const char *name;
    bool loads;
};

TEST(TumDso, NameMapping)
{
    // The driver lands beside this test binary; nothing else provides it.
    const DsoCase cases[] = {
        {"PACKET.dll", true},
        {"PACKET.DLL", true},   // suffix in any case
        {"libPACKET.so", true}, // native names as given
        {"packet.dll", false},  // the stem keeps its case
        {"NoSuchLibrary.dll", false},
        {"libNoSuchLibrary.so", false},
        {".dll", false},
        {"", false},
        {"/nonexistent/PACKET.dll", false}, // paths are not searched elsewhere
    };
    for (const DsoCase &c : cases) {
        void *handle = TUM_LoadDSo(c.name);
        EXPECT_EQ(handle != nullptr, c.loads) << c.name;
        if (handle) {
            EXPECT_EQ(TUM_UnloadDSo(handle), 0) << c.name;
        }
    }
    EXPECT_EQ(TUM_LoadDSo(nullptr), nullptr);
}

TEST(TumDso, SymbolsOfLoadedLibrary)
{
    void *handle = TUM_LoadDSo("PACKET.dll");
    ASSERT_NE(handle, nullptr);
    EXPECT_NE(TUM_GetSymbol(handle, "PKT_GetDriver"), nullptr);
    EXPECT_EQ(TUM_GetSymbol(handle, "PKT_NoSuchSymbol"), nullptr);
    EXPECT_EQ(TUM_GetSymbol(handle, nullptr), nullptr);
    EXPECT_EQ(TUM_GetSymbol(nullptr, "PKT_GetDriver"), nullptr);
    EXPECT_EQ(TUM_UnloadDSo(handle), 0);
    EXPECT_EQ(TUM_UnloadDSo(nullptr), -EINVAL);
}

} // namespace
