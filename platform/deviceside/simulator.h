#pragma once

#include "devicefile.h"

#include <packet/netaddress.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace deviceside {

class StateFile;
struct NetworkState;

using Clock = std::chrono::steady_clock;

/**
 * The device side of VXDP for a whole population of devices, without any
 * I/O of its own: datagrams come in through receive(), go out through the
 * send function, and time only moves when the caller says so. That keeps the
 * event loop in main() trivial and every device rule testable in-process.
 */
class Simulator
{
public:
    enum class NetworkChange { Apply, Rollback };
    /// Makes a change of the network parameters real; false when it could not be made.
    using ChangeNetworkFn = std::function<bool(NetworkChange, const NetworkState &from, const NetworkState &to)>;
    /// Whether a change can work, asked before the RESULT: false answers status 5 and touches nothing.
    using CheckNetworkFn = std::function<bool(const NetworkState &from, const NetworkState &to)>;
    using SetClockFn = std::function<bool(std::optional<std::chrono::system_clock::time_point> utc,
                                          const std::vector<std::string> &ntpServers)>;

    struct Config {
        uint16_t heartbeatS = 30;
        bool bootAnnounce = true; ///< false: devices are already running when the tool starts listening
        std::string defaultPassword = "admin12345"; ///< for devices without a password of their own
        /// The manufacturer's master code key; each device holds only the key derived for it.
        /// Without one every security code is wrong.
        std::optional<std::array<uint8_t, 32>> masterKey;
        /// The manufacturer's Ed25519 key that certifies device keys; without one devices are uncertified.
        std::optional<std::array<uint8_t, 64>> manufacturerKey;
        uint64_t seed = 1;
        /// Seconds a change asked to be confirmed waits for the tool's CONFIRM at the new
        /// address before it is rolled back (announced to tools); 0: changes are final at once.
        uint16_t confirmWindowS = 0;
        /// Without one a change lives in the device information and the state file only.
        ChangeNetworkFn changeNetwork;
        CheckNetworkFn checkNetwork; ///< without one every well-formed change is accepted
        /// Revision 6: the jobs offered (bit 1 << kind of each); unset: every one the engine knows.
        std::optional<uint16_t> jobs;
        /// Seconds a simulated restart keeps a device away.
        uint16_t restartS = 5;
        /// Sets the clock for real: to `utc`, or (no time) to be kept by `ntpServers`; false when
        /// it could not. Without one each device keeps a simulated clock of its own.
        SetClockFn setClock;
        /// Restarts for real, after the answer went out; without one the restart is simulated.
        std::function<void()> restart;
    };
    using SendFn = std::function<void(std::span<const uint8_t> datagram)>;

    Simulator(Config config, std::vector<DeviceEntry> devices, StateFile &state, SendFn send);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    /** Hashes passwords and applies the saved state; false with a reason when that fails. */
    bool init(std::string &error);
    /** Brings every device online: each announces its boot within a second (unless the
     *  configuration says they are already running), then heartbeats. */
    void start(Clock::time_point now);
    /** One datagram from the device group (or unicast: `destination` is where it was sent);
     *  `ttl` as received (-1 unknown), `source` the sender's address. */
    void receive(std::span<const uint8_t> datagram, int ttl, Clock::time_point now, const packet::Address &source = {},
                 const packet::Address &destination = {});
    /** The network parameters the system reports for a device now (its port is kept); a
     *  difference is announced as a change. False when nothing differed. */
    bool observe(std::string_view serial, const NetworkState &observed, Clock::time_point now);
    /** When the next timer is due; nothing when none is pending. */
    std::optional<Clock::time_point> nextDue() const;
    void runDue(Clock::time_point now);
    /** Runs one standard-input command; its answer lines go to `out`. Sets `quit` for "quit". */
    void command(std::string_view line, Clock::time_point now, std::string &out, bool &quit);
    /** Every online device says goodbye (clean exit). */
    void shutdown();

    size_t deviceCount() const;
    /** Timers queued (answers, announcements, heartbeats): bounded by a few per device. */
    size_t pendingTimers() const;
    /** The current state of one device, by serial number (for tests and "list"). */
    const DeviceInfo *device(std::string_view serial) const;
    /** The default password printed on a device's label: the one a security code restores. */
    std::string labelPassword(std::string_view serial) const;
    /** The X25519 public key a device announces. */
    std::array<uint8_t, 32> publicKey(std::string_view serial);
    /** The Ed25519 key a device signs its announcements with (revision 5). */
    std::array<uint8_t, 32> signingKey(std::string_view serial);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace deviceside
