#pragma once

#include "devicefile.h"
#include "onvifhttp.h"
#include "statefile.h"

#include <packet/netaddress.h>
#include <vexa/soap.h>
#include <vexa/wsdiscovery.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <queue>
#include <set>
#include <string>
#include <thread>
#include <vector>

struct PKT_Driver;

namespace packet {
class Socket;
struct Received;
}

namespace deviceside {

struct OnvifJob;

/**
 * The ONVIF side of the simulated devices whose devices-file entry says
 * "protocols": "onvif" or "both": WS-Discovery on the chosen interfaces
 * (a multicast Probe answered once per MessageID after the device's random
 * delay, a Probe sent to the device's own address at once and from that
 * address; Hello on start and after a change of address, Bye on a clean
 * exit; each with its AppSequence) on a thread of its own, and device
 * management over HTTP on each device's own address (onvifservice.h), with
 * the administrator password of the device.
 *
 * On links with IPv6 the devices also answer Probes to ff02::c, with their
 * host's link-local address and zone in the XAddrs ("http://[fe80::1%25eth0]:80/...")
 * and device management on that address at their HTTP port: the first
 * device of each port there (the devices share the host's link-local
 * address). A device whose IPv4 address the host does not hold is then
 * reached over IPv6 alone, like a device left with an address of another link.
 */
class OnvifSimulator
{
public:
    using Clock = std::chrono::steady_clock;
    struct Config {
        std::string defaultPassword;
        bool openReads = false; ///< the Get calls of device management need no credentials
        bool httpDigestOnly = false; ///< UsernameTokens are not understood: HTTP Digest is asked for
        uint64_t seed = 1;
        uint16_t restartS = 5; ///< how long SystemReboot keeps a device's web service away
    };

    OnvifSimulator(Config config, std::vector<DeviceEntry> devices, const StateFile &state);
    ~OnvifSimulator();
    OnvifSimulator(const OnvifSimulator &) = delete;
    OnvifSimulator &operator=(const OnvifSimulator &) = delete;

    /** Opens the discovery sockets and the HTTP listeners, starts the threads; false with a reason on failure. */
    bool start(const PKT_Driver *driver, bool bootAnnounce, std::string &error);
    /** Saves the changes the devices accepted since the last call; on the thread that owns `state`. */
    void persist(StateFile &state);
    /** Every device says Bye and the threads stop. */
    void shutdown();
    /** Devices that speak ONVIF alone (the others are counted by the VXDP simulator). */
    size_t onlyOnvifCount() const;

    /** The endpoint reference a device keeps for life: a name-based UUID of its serial number. */
    static std::string endpointOf(const DeviceInfo &info);

private:
    struct Device {
        DeviceEntry entry;
        std::string endpoint;
        std::string password;
        std::chrono::seconds clockOffset{0}; // the device's clock is not the host's
        Clock::time_point awayUntil{};       // restarting: its web service answers 503 until then
        uint32_t metadataVersion = 1;
        uint32_t messageNumber = 0; // of its AppSequence
        std::deque<std::string> recentNonces; // UsernameToken replays are refused
        bool ipv4Served = true; // its IPv4 address is the host's: HTTP listens there
    };
    struct Answer {
        Clock::time_point due;
        size_t device;
        packet::Address to;
        uint16_t port; // host order
        std::string relatesTo;
        bool operator>(const Answer &other) const { return due > other.due; }
    };
    struct LateServer {
        Clock::time_point due;
        size_t device;
    };
    struct Save {
        std::string key;
        NetworkState network;
        bool done = false;
        bool ok = false;
    };

    void run();
    void receive(std::string_view xml, const packet::Received &info, Clock::time_point now);
    void received(std::string_view xml, const packet::Received &info, Clock::time_point now); // m_mutex held
    void listenDirected();
    void bindDirected(uint32_t addr);
    void unbindDirected(uint32_t addr);
    bool firstCopy(const std::string &messageId, bool overV6);
    void startLateServers(Clock::time_point now);
    vexa::wsd::AppSequence nextSequence(Device &device);
    std::string probeMatch(Device &device, const std::string &relatesTo, uint32_t ifIndex = 0);
    void answerDue(Clock::time_point now);
    void multicast(const std::string &xml);
    /** What the device says of itself; to a prober over IPv6, with its link-local XAddr on `ifIndex`. */
    static vexa::wsd::Target target(const Device &device, uint32_t ifIndex = 0);
    void sendFrom(uint32_t from, uint32_t to, uint16_t port, const std::string &xml);
    OnvifHttp::Reply serve(const OnvifHttp::Call &call);
    bool authorized(Device &device, const vexa::soap::Envelope &request, const OnvifHttp::Call &call,
                    OnvifHttp::Reply &refusal);
    bool apply(Device &device, const NetworkState &next, std::unique_lock<std::mutex> &lock);
    // Clock, NTP, password (kept in memory only: the state file has no place for a plain
    // password, which a UsernameToken's check needs), restart.
    void take(Device &device, const OnvifJob &job);

    Config m_config;
    std::vector<Device> m_devices; // under m_mutex once started
    std::map<uint64_t, size_t> m_byAddress; // addr << 16 | http port -> device
    std::mutex m_mutex;
    std::condition_variable m_saved;
    std::deque<std::shared_ptr<Save>> m_saves;
    std::unique_ptr<packet::Socket> m_socket; // the group of each family its interfaces carry
    std::map<uint16_t, size_t> m_byV6Port; // HTTP port -> the device reached there over IPv6
    int m_unicast = -1;
    uint64_t m_random;
    std::priority_queue<Answer, std::vector<Answer>, std::greater<>> m_answers;
    std::deque<std::string> m_probeIds; // Probes answered lately (family and MessageID), oldest first: a repeated copy is not answered again
    std::set<std::string> m_probeIdSet;
    std::vector<LateServer> m_lateServers; // web servers that start after the simulator
    uint32_t m_instanceId = 0; // of every device's AppSequence: a new one on each start
    // Probes sent to one device's own address: a socket on that address, so
    // that they reach the device even where another program on the host holds
    // port 3702 for the group too. Under m_mutex.
    std::map<uint32_t, int> m_directedFds; // network order -> socket
    int m_directedWake[2] = {-1, -1};
    std::thread m_directedThread;
    std::unique_ptr<OnvifHttp> m_http;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

/** Turns the first `count` generated devices into ONVIF-only devices, each on a loopback address of its own. */
void makeOnvifDevices(std::vector<DeviceEntry> &devices, size_t count);
/** Every entry that speaks ONVIF, taken out of `devices` when it speaks nothing else. */
std::vector<DeviceEntry> splitOnvifDevices(std::vector<DeviceEntry> &devices);

} // namespace deviceside
