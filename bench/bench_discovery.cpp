// vexa-bench-discovery: how long discovery takes to hear N simulated devices.
//
// Starts vexa-devsim --count N (beside this program) on the interfaces of
// VEXA_INTERFACES, lets its boot announcements pass, then times K runs of
// Start + SendInquiry up to the N-th online report, with a Stop between runs.

#include "devsimprocess.h"

#include <vexa.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Online reports of one run; filled on the library's thread.
struct Run {
    size_t expected = 0;
    std::mutex mutex;
    std::condition_variable done;
    std::unordered_set<std::string> seen;
    size_t duplicates = 0;
    Clock::time_point last;

    static void callback(const VEXA_DEVICE_REPORT *r, void *user)
    {
        if (r->eventCode == VEXA_EVENT_ONLINE || r->eventCode == VEXA_EVENT_ANNOUNCE)
            static_cast<Run *>(user)->online(*r);
    }

    void online(const VEXA_DEVICE_REPORT &r)
    {
        std::string key(r.serialNo, strnlen(r.serialNo, sizeof r.serialNo));
        key += '|';
        key.append(r.macAddr, strnlen(r.macAddr, sizeof r.macAddr));
        std::lock_guard lock(mutex);
        if (!seen.insert(std::move(key)).second) {
            ++duplicates;
            return;
        }
        if (seen.size() == expected) {
            last = Clock::now();
            done.notify_all();
        }
    }
};

int usage()
{
    std::fputs("usage: vexa-bench-discovery --devices N [--runs K]\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    // The benchmark runs on loopback only: its datagrams never leave the machine.
    setenv("VEXA_INTERFACES", "lo", 1);
    size_t devices = 0;
    int runs = 5;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i];
        const long value = std::strtol(argv[i + 1], nullptr, 10);
        if (option == "--devices" && value > 0 && value <= 1'000'000)
            devices = size_t(value);
        else if (option == "--runs" && value > 0 && value <= 1000)
            runs = int(value);
        else
            return usage();
    }
    if (devices == 0 || argc % 2 == 0)
        return usage();

    const std::string dir = devsim::DevsimProcess::programDir();
    // Devices already running: only answers to the measured inquiries count.
    // Start-up includes hashing the shared password with Argon2id.
    const auto spawned = Clock::now();
    devsim::DevsimProcess sim(dir + "/vexa-devsim", {"--count", std::to_string(devices), "--no-boot-announce"});
    const std::string ready = sim.line(60s);
    const double startupMs = std::chrono::duration<double, std::milli>(Clock::now() - spawned).count();
    if (ready != "ready " + std::to_string(devices) + " devices") {
        std::fprintf(stderr, "vexa-bench-discovery: the simulator did not start (%s)\n", ready.c_str());
        return 1;
    }

    // Long enough for any healthy run; a run that hits it counts what it found.
    const auto limit = 10s + std::chrono::milliseconds(devices);
    std::vector<double> times;
    size_t found = devices;
    size_t duplicates = 0;
    for (int k = 0; k < runs; ++k) {
        Run run;
        run.expected = devices;
        const auto start = Clock::now();
        if (VEXA_Start_V30(&Run::callback, 0, &run) != 1 || VEXA_SendInquiry() != 1) {
            std::fprintf(stderr, "vexa-bench-discovery: discovery cannot start\n");
            VEXA_Stop();
            return 1;
        }
        {
            std::unique_lock lock(run.mutex);
            run.done.wait_for(lock, limit, [&] { return run.seen.size() == devices; });
        }
        // Late duplicates of the same inquiry would still arrive within the spread window.
        std::this_thread::sleep_for(600ms);
        VEXA_Stop();
        const auto end = run.seen.size() == devices ? run.last : start + limit;
        times.push_back(std::chrono::duration<double, std::milli>(end - start).count());
        found = std::min(found, run.seen.size());
        duplicates += run.duplicates;
    }
    std::sort(times.begin(), times.end());
    const double median = times.size() % 2 ? times[times.size() / 2]
                                            : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
    std::printf("devices=%zu found=%zu duplicates=%zu median_ms=%.0f simulator_startup_ms=%.0f\n", devices, found,
                duplicates, median, startupMs);
    sim.quit();
    return found == devices && duplicates == 0 ? 0 : 1;
}
