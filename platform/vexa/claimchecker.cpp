#include "claimchecker.h"

#include <optional>

#include <sys/resource.h>
#include <unistd.h>

#include <utility>

namespace vexa {

ClaimChecker::ClaimChecker(size_t workers, std::function<void()> ready) : m_ready(std::move(ready))
{
    for (size_t i = 0; i < workers; ++i)
        m_workers.emplace_back([this] { work(); });
}

ClaimChecker::~ClaimChecker()
{
    {
        // The claims heard last are usually few: checked, they pin their
        // keys for requests made after the discovery stopped.
        std::lock_guard lock(m_mutex);
        m_stopAt = std::chrono::steady_clock::now() + kDrainTime;
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread &worker : m_workers)
        worker.join();
}

bool ClaimChecker::submit(Job job)
{
    {
        std::lock_guard lock(m_mutex);
        if (m_queued >= kMaxQueued)
            return false;
        auto &queue = m_bySource[job.source];
        if (queue.empty())
            m_turns.push_back(job.source);
        queue.push_back(std::move(job));
        ++m_queued;
    }
    m_wake.notify_one();
    return true;
}

std::vector<ClaimChecker::Job> ClaimChecker::takeFinished()
{
    std::lock_guard lock(m_mutex);
    m_hasFinished.store(false, std::memory_order_release);
    return std::exchange(m_finished, {});
}

size_t ClaimChecker::queued() const
{
    std::lock_guard lock(m_mutex);
    return m_queued;
}

void ClaimChecker::work()
{
    // Below the receive thread and the user interface: a check may wait, a
    // datagram the kernel drops for want of a reader is lost.
    setpriority(PRIO_PROCESS, pid_t(gettid()), kNice);
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_turns.empty(); });
        if (m_stop && (m_turns.empty() || std::chrono::steady_clock::now() >= m_stopAt))
            return;
        // One job of the source whose turn it is; the source goes to the back of the line.
        const packet::Address source = m_turns.front();
        m_turns.pop_front();
        auto queue = m_bySource.find(source);
        Job job = std::move(queue->second.front());
        queue->second.pop_front();
        if (queue->second.empty())
            m_bySource.erase(queue);
        else
            m_turns.push_back(source);
        --m_queued;
        lock.unlock();

        const auto message = wire::decode(job.datagram);
        const auto *announce = message ? std::get_if<wire::Announce>(&*message) : nullptr;
        job.valid = announce && Claim::check(*announce, job.datagram);
        ProofCache::instance().record(job.digest, job.valid);
        // Finished before pinned: whoever sees the key trusted (VEXA_DeviceCertified)
        // can count on the receive thread handling the claim before its next datagram.
        const bool valid = job.valid;
        std::optional<wire::Announce> proven;
        if (valid)
            proven = *announce;
        lock.lock();
        const bool first = m_finished.empty();
        m_finished.push_back(std::move(job));
        m_hasFinished.store(true, std::memory_order_release);
        lock.unlock();
        if (proven)
            Claim::pin(*proven);
        if (first)
            m_ready();
        lock.lock();
    }
}

} // namespace vexa
