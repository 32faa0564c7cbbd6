#pragma once

// Checks the signatures of announcements off the receive thread. Ed25519
// costs tens of microseconds a signature: checked inline, a network of
// thousands of new devices (or a flood of bogus certificates) would keep the
// receive thread from reading its socket. Claims queue per source address and
// are taken in turn, one source after the other, so one busy source cannot
// hold back another; the queue is bounded overall.

#include <packet/netaddress.h>
#include "proofcache.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace vexa {

class ClaimChecker final {
public:
    struct Job {
        wire::Bytes datagram; // the ANNOUNCE as received: checked, then handled again
        packet::Address source;
        Claim::Digest digest{};
        std::chrono::steady_clock::time_point heard{}; // when the ANNOUNCE arrived
        bool valid = false; // the outcome, once checked
    };
    /** `ready` runs on a worker when finished jobs start waiting in an empty outbox. */
    ClaimChecker(size_t workers, std::function<void()> ready);
    /** Joins the workers: queued jobs are checked for kDrainTime at most, the rest dropped. */
    ~ClaimChecker();
    ClaimChecker(const ClaimChecker &) = delete;
    ClaimChecker &operator=(const ClaimChecker &) = delete;

    /** Queues a claim; false when the queue is full (the claim is checked when heard again). */
    bool submit(Job job);
    /** The finished jobs, oldest first; their verdicts are in the ProofCache already. */
    std::vector<Job> takeFinished();
    /** Whether takeFinished has anything: cheap enough to ask before every datagram. */
    bool hasFinished() const { return m_hasFinished.load(std::memory_order_acquire); }
    size_t queued() const;

    // Room for every device of the largest table, a few hundred bytes each.
    static constexpr size_t kMaxQueued = 1 << 17;
    static constexpr int kNice = 10;
    static constexpr std::chrono::milliseconds kDrainTime{200};

private:
    void work();

    std::function<void()> m_ready;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    std::chrono::steady_clock::time_point m_stopAt; // when stopping: the end of the drain
    std::unordered_map<packet::Address, std::deque<Job>, packet::AddressHash> m_bySource; // guarded by m_mutex
    std::deque<packet::Address> m_turns;                             // sources with queued jobs, next first
    size_t m_queued = 0;
    std::vector<Job> m_finished;
    std::atomic<bool> m_hasFinished{false}; // m_finished is not empty
    std::vector<std::thread> m_workers;
};

} // namespace vexa
