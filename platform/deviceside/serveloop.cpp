#include "serveloop.h"

#include <vexa/address.h>
#include <packet/transport.h>
#include <vexa/wire.h>

#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

namespace deviceside {

ServeLoop::ServeLoop(const PKT_Driver *driver, int receiveBuffer) : m_driver(driver), m_receiveBuffer(receiveBuffer)
{
}

ServeLoop::~ServeLoop() = default;

int ServeLoop::open()
{
    m_lastTry = Clock::now();
    int error = 0;
    m_socket = packet::Socket::open(m_driver, vexa::wire::kPort, vexa::address::kDeviceGroups,
                                    m_receiveBuffer, &error);
    return error;
}

void ServeLoop::reopenSoon()
{
    m_stale = true;
}

packet::Socket *ServeLoop::socket(Clock::time_point now)
{
    if (std::exchange(m_stale, false) && m_socket) {
        m_socket.reset();
        m_lastTry = {};
    }
    if (!m_socket && now - m_lastTry >= kReopenInterval)
        open();
    return m_socket.get();
}

void ServeLoop::send(std::span<const uint8_t> datagram)
{
    if (packet::Socket *s = socket(Clock::now()))
        s->sendAll(vexa::address::kToolGroups, vexa::wire::kPort, datagram);
}

void ServeLoop::run(Simulator &engine, const volatile std::sig_atomic_t &stop, const Between &between)
{
    std::vector<uint8_t> buffer(vexa::wire::kMaxDatagram + 1);
    while (!stop) {
        if (!between(Clock::now()))
            break;
        int timeoutMs = kPollSliceMs;
        if (const auto due = engine.nextDue()) {
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*due - Clock::now()).count();
            timeoutMs = int(std::clamp<int64_t>(wait, 0, kPollSliceMs));
        }
        if (packet::Socket *s = socket(Clock::now())) {
            packet::Received info;
            const int n = s->receive(buffer, timeoutMs, info);
            if (n >= 0)
                engine.receive(std::span(buffer.data(), size_t(n)), info.ttl, Clock::now(), info.source,
                               info.destination);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
        }
        engine.runDue(Clock::now());
    }
}

} // namespace deviceside
