#pragma once

// What the discovery library's tests share: the packet driver loaded the way
// the library loads it, and a collector of the library's reports.

#include <packet/packetdriver.h>
#include <packet/transport.h>
#include "vexa.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace vexatest {

// Nothing a test sends may leave the machine, even when it runs outside CTest.
inline const int g_loopbackOnly = setenv("VEXA_INTERFACES", "lo", 1);

inline const PKT_Driver *driver()
{
    return packet::driver();
}

// Collects the reports about this test's devices; other programs on loopback
// may run devices of their own, told apart by the serial prefix.
class Reports {
public:
    Reports(std::string serialPrefix, std::chrono::milliseconds wait)
        : m_prefix(std::move(serialPrefix)), m_wait(wait)
    {
    }

    static void callback(const VEXA_DEVICE_REPORT *r, void *user) { static_cast<Reports *>(user)->add(*r); }

    void add(const VEXA_DEVICE_REPORT &r)
    {
        if (std::string_view(r.serialNo).rfind(m_prefix, 0) != 0)
            return;
        std::lock_guard lock(m_mutex);
        m_reports.push_back(r);
        m_cv.notify_all();
    }
    std::optional<VEXA_DEVICE_REPORT> next() { return next(m_wait); }
    std::optional<VEXA_DEVICE_REPORT> next(std::chrono::milliseconds wait)
    {
        std::unique_lock lock(m_mutex);
        if (!m_cv.wait_for(lock, wait, [this] { return !m_reports.empty(); }))
            return std::nullopt;
        VEXA_DEVICE_REPORT r = m_reports.front();
        m_reports.pop_front();
        return r;
    }
    // The next report about one device; reports about the others are kept back.
    std::optional<VEXA_DEVICE_REPORT> nextFor(const std::string &serial)
    {
        std::unique_lock lock(m_mutex);
        std::optional<VEXA_DEVICE_REPORT> found;
        m_cv.wait_for(lock, m_wait, [&] {
            for (auto it = m_reports.begin(); it != m_reports.end(); ++it) {
                if (it->serialNo == serial) {
                    found = *it;
                    m_reports.erase(it);
                    return true;
                }
            }
            return false;
        });
        return found;
    }

private:
    const std::string m_prefix;
    const std::chrono::milliseconds m_wait;
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<VEXA_DEVICE_REPORT> m_reports;
};

} // namespace vexatest
