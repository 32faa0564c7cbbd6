// Answering: announcements (boot, heartbeat, change, goodbye), answers to
// inquiries spread over the window the tool asked for, and repeat rounds.

#include "engine.h"

#include <algorithm>

namespace deviceside {

void Simulator::Impl::sendMessage(const wire::Message &message)
{
    const wire::Bytes bytes = wire::encode(message);
    if (!bytes.empty())
        send(bytes);
}

void Simulator::Impl::announce(Device &device, wire::AnnounceReason reason, const wire::ToolId &toolId)
{
    wire::Bytes &datagram = device.announcement;
    if (datagram.empty())
        return; // a device whose fields do not fit a datagram stays silent, as before
    datagram[wire::kAnnounceReasonOffset] = uint8_t(reason);
    std::copy(toolId.begin(), toolId.end(), datagram.begin() + wire::kAnnounceToolIdOffset);
    send(datagram);
}

void Simulator::Impl::goodbye(const Device &device)
{
    for (int copy = 0; copy < kGoodbyeCopies; ++copy)
        sendMessage(wire::Goodbye{device.info.serialNo, device.mac});
}

void Simulator::Impl::schedule(Device &device, TimerKind kind, Clock::time_point when, const wire::ToolId &toolId,
              uint8_t repeats)
{
    timers.push(Timer{when, indexOf(device), device.generation, kind, repeats, toolId});
}

void Simulator::Impl::announceNews(Device &device, TimerKind kind, uint8_t repeats, Clock::time_point now)
{
    announce(device, kind == TimerKind::Boot ? wire::AnnounceReason::Boot : wire::AnnounceReason::Changed);
    if (repeats > 0)
        schedule(device, kind, now + kAnnounceRepeatGaps[kAnnounceRepeatGaps.size() - repeats], {},
                 uint8_t(repeats - 1));
}

void Simulator::Impl::scheduleHeartbeat(Device &device, Clock::time_point now)
{
    const double jitter = std::uniform_real_distribution<double>(0.9, 1.1)(rng);
    const auto interval = std::chrono::duration<double>(config.heartbeatS * jitter);
    schedule(device, TimerKind::Heartbeat, now + std::chrono::duration_cast<Clock::duration>(interval));
}

void Simulator::Impl::setMode(Device &device, Mode mode)
{
    device.mode = mode;
    ++device.generation;
    device.usedNonces.clear();
    device.results.clear();
    device.answerCopies = 0;
}

void Simulator::Impl::bringOnline(Device &device, Clock::time_point now)
{
    setMode(device, Mode::Online);
    announceNews(device, TimerKind::Boot, kAnnounceRepeats, now);
    scheduleHeartbeat(device, now);
}

bool Simulator::Impl::offerAnswer(Device &device, const wire::ToolId &toolId, uint16_t spreadMs, uint8_t copies,
                 Clock::time_point now)
{
    if (device.answerCopies > 0)
        return false;
    if (!device.answerBudget.take(kAnswersPerSecond, kAnswerBudget, now))
        return false;
    device.answerCopies = copies;
    const auto spread = std::max<int64_t>(1, std::min(spreadMs, wire::kMaxSpreadMs) * int64_t(1000));
    const auto delay = std::chrono::microseconds(std::uniform_int_distribution<int64_t>(0, spread - 1)(rng));
    schedule(device, TimerKind::Answer, now + delay, toolId);
    return true;
}

void Simulator::Impl::onInquiry(const wire::Inquiry &inquiry, Clock::time_point now)
{
    for (Device &device : devices) {
        if (device.mode == Mode::Online)
            offerAnswer(device, inquiry.toolId, inquiry.spreadMs, 1, now);
    }
}

void Simulator::Impl::indexHints(const wire::ToolId &tool)
{
    hints.tool = tool;
    hints.byHint.clear();
    for (Device &device : devices) {
        hints.byHint.emplace_back(crypto::answerHint(tool, device.info.serialNo, device.mac), indexOf(device));
        device.answeredRound = 0;
    }
    std::sort(hints.byHint.begin(), hints.byHint.end());
}

void Simulator::Impl::onInquiryRepeat(const wire::InquiryRepeat &repeat, Clock::time_point now)
{
    if (hints.tool != repeat.toolId)
        indexHints(repeat.toolId);
    const uint32_t round = uint32_t(repeat.burst) << 8 | repeat.round;
    auto it = std::lower_bound(hints.byHint.begin(), hints.byHint.end(), std::pair(repeat.low, uint32_t(0)));
    for (; it != hints.byHint.end() && it->first <= repeat.high; ++it) {
        Device &device = devices[it->second];
        if (device.mode != Mode::Online || device.answeredRound == round ||
            std::binary_search(repeat.heard.begin(), repeat.heard.end(), it->first))
            continue;
        if (offerAnswer(device, repeat.toolId, repeat.spreadMs, kRepeatAnswerCopies, now))
            device.answeredRound = round;
    }
}

} // namespace deviceside
