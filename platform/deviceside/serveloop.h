#pragma once

#include "simulator.h"

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <span>

struct PKT_Driver;

namespace packet {
class Socket;
}

namespace deviceside {

/**
 * The device side's one event loop, shared by the simulator and the agent:
 * the protocol socket on the device group, datagrams handed to the engine,
 * its timers run when due, and between two receives the program's own work
 * (standard-input commands, netlink events). Everything runs on the thread
 * that calls run(); the engine is never touched from another one.
 */
class ServeLoop final
{
public:
    /** The program's work between two receives; false ends the loop. */
    using Between = std::function<bool(Clock::time_point now)>;

    /** `receiveBuffer`: the wished receive buffer of the socket in bytes. */
    ServeLoop(const PKT_Driver *driver, int receiveBuffer);
    ~ServeLoop();
    ServeLoop(const ServeLoop &) = delete;
    ServeLoop &operator=(const ServeLoop &) = delete;

    /** Opens the socket now: 0, or the negative errno (-ENODEV: no interface is chosen). */
    int open();
    /** Closes the socket and opens it again before the next receive: the driver sends from
     *  the address it found at open, so a changed address needs a new socket. */
    void reopenSoon();
    /** One datagram to the tool group; dropped while no socket is open. */
    void send(std::span<const uint8_t> datagram);
    /** Serves `engine` until `stop` is set (a signal handler's flag) or `between` returns false.
     *  Without a socket (no address yet) it tries again every second. */
    void run(Simulator &engine, const volatile std::sig_atomic_t &stop, const Between &between);

    /** Longest wait in one receive: signals and the program's work are looked at this often. */
    static constexpr int kPollSliceMs = 50;
    static constexpr auto kReopenInterval = std::chrono::seconds(1);

private:
    /** The open socket, reopened when stale or due for another try; null without one. */
    packet::Socket *socket(Clock::time_point now);

    const PKT_Driver *m_driver;
    int m_receiveBuffer;
    std::unique_ptr<packet::Socket> m_socket;
    bool m_stale = false;
    Clock::time_point m_lastTry{};
};

} // namespace deviceside
