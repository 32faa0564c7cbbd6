#pragma once

// ONVIF devices beside VXDP ones: WS-Discovery probes and announcements on
// the chosen interfaces, each device reported through the same callback as
// a VXDP device, and never while a certified VXDP device holds its address,
// serial number or MAC. Announcements are unauthenticated: a move to another
// address and a Bye are believed only once directed probes bear them out.

#include <packet/netaddress.h>
#include "addressrange.h"
#include "neighbourtable.h"
#include "onvifclient.h"
#include "vexa.h"
#include "wsdiscovery.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

struct PKT_Driver;

namespace packet {
class Socket;
struct Received;
} // namespace packet

namespace vexa {

class PacketSocket;
class RangeScan;

class OnvifDiscovery final {
public:
    /** Third-party ONVIF devices: a camera-range code, editable, kept by the camera filter. */
    static constexpr int32_t kTypeCode = 0x2F00;
    static constexpr const char *kProtocol = "ONVIF";

    struct Hooks {
        std::mutex &gate; // held around every report, and around the calls below
        /** Whether a certified VXDP device holds `ipv4` (host order); asked with the gate held. */
        std::function<bool(const packet::Address &ipv4)> heldByVxdp;
        /** Whether a certified VXDP device reports this serial number or this MAC; asked with the gate held. */
        std::function<bool(const std::string &serial, const std::string &mac)> claimedByVxdp;
        std::function<void(const VEXA_DEVICE_REPORT &)> deliver;
        std::function<void()> enterThread; // run first on each of this discovery's threads
    };

    /** Opens both sockets and starts their threads; null on failure. */
    static std::unique_ptr<OnvifDiscovery> start(const PKT_Driver *driver, Hooks hooks);
    ~OnvifDiscovery();
    OnvifDiscovery(const OnvifDiscovery &) = delete;
    OnvifDiscovery &operator=(const OnvifDiscovery &) = delete;

    /** Multicasts one Probe per device type (a type-strict device answers only its own); callable from any thread. */
    bool sendProbe();
    /**
     * Probes every address of `spans` by unicast, `rate` a second (RangeScan),
     * on a thread of its own: devices behind routers, which no multicast
     * reaches, answer as to a multicast Probe and are listed the same way (one
     * row per endpoint, whoever found it first). False while a scan runs.
     * Callable from any thread but the gate's holders.
     */
    bool startScan(std::vector<addressrange::Span> spans, unsigned rate);
    struct ScanProgress {
        uint64_t probed = 0, total = 0;
        bool running = false; // probes still going out, or the last answers awaited
    };
    ScanProgress scanProgress() const;
    /** Ends a running scan within a moment: no more probes go out. Harmless when none runs. */
    void cancelScan();
    /** A scan's answers come within this after its last probe; only then does it end. */
    static constexpr std::chrono::milliseconds kScanAnswerWait{2000};

    /**
     * With the gate held: a certified VXDP device now holds `ipv4` (host
     * order), `serial` and `mac`; an ONVIF record naming any of them yields.
     */
    void yieldTo(const packet::Address &ipv4, const std::string &serial, const std::string &mac);

    // The devices last listed are remembered for the whole process, like
    // device keys, so a request after the discovery stopped still finds them.
    // None of these waits for the gate: the caller may hold the library's own
    // lock, which a callback running under the gate may want.
    struct Listed {
        std::string endpoint, xaddr;
    };
    /** The one listed ONVIF device with this MAC (as reported, canonical); nothing when none or several. */
    static std::optional<Listed> listedByMac(const std::string &mac);
    /** Whether a listed ONVIF device reports this serial number. */
    static bool listsSerial(const std::string &serial);
    /** The user acted on the device with `credentials` that worked: its details are read again with them. */
    void actedOn(const Listed &device, const onvif::Credentials &credentials);

    /** A device's report fields from its discovery target; false when it names no usable address. */
    static bool fillReport(const wsd::Target &target, const packet::Address &sourceAddr, VEXA_DEVICE_REPORT &r);
    /** Overlays what device management said on a report. */
    static void addDetails(const onvif::Details &details, VEXA_DEVICE_REPORT &r);
    /** The IPv4 transport address a device is reached at: the first "http://" one with a dotted IPv4 host. */
    static std::optional<std::string> deviceXAddr(const wsd::Target &target);

    /** Details read again after a failed first read (no answer, time-out, HTTP 5xx): this long after each try. */
    static constexpr std::chrono::seconds kRetryDelays[] = {std::chrono::seconds(1), std::chrono::seconds(2),
                                                            std::chrono::seconds(4), std::chrono::seconds(8),
                                                            std::chrono::seconds(16), std::chrono::seconds(32)};

private:
    using Clock = std::chrono::steady_clock;
    // Claims announcements made that directed probes must bear out first:
    // a move is believed when the old address stays silent and a claimed new
    // one answers for the device from itself; a Bye when the address stays silent.
    struct Check {
        enum class Kind : uint8_t { Move, Bye } kind;
        packet::Address oldHost;
        Clock::time_point deadline;
        bool oldAnswered = false;             // the old address still answers as before
        std::vector<wsd::Target> claims;      // Move: where announcements said the device went
        std::optional<wsd::Target> confirmed; // the claim whose address answered, from itself, as claimed
    };
    struct Device {
        wsd::Target target;
        packet::Address sourceAddr;
        std::optional<onvif::Details> details;
        std::string linkMac; // from the host's neighbour table, for a device whose details name no MAC
        VEXA_DEVICE_REPORT report{};
        std::string serial, mac; // identity as first reported: the page finds the row by them
        packet::Address ipv4;
        Clock::time_point lastHeard;
        bool online = false;
        bool reading = false;     // details are being read
        bool readAgain = false;   // and changed meanwhile: read them again when that read ends
        bool solicited = false;   // first heard in answer to our probe
        bool listed = false;      // reported online; false while a VXDP device holds the address
        bool provisional = false; // listed without details after a failed read: its identity may still change
        bool ranged = false;      // found by a range scan: no multicast reaches it, so it is reprobed by unicast
        size_t retries = 0;       // details reads after failed ones, this time
        std::optional<Clock::time_point> retryAt;
        std::optional<Check> check;
        std::vector<wsd::Target> claims; // moves claimed while a check ran or lately: checked together next
        Clock::time_point lastCheck;
    };
    struct Job {
        std::string endpoint, xaddr;
        std::optional<onvif::Credentials> credentials;
        packet::Address source; // whose announcement asked for this read
        bool user = false;   // the user acted on the device
    };
    struct Directed {
        std::string endpoint;
        packet::Address host;
        Clock::time_point deadline;
    };
    struct MacWait {
        std::string endpoint;
        std::optional<onvif::Details> details;
        packet::Address addr;
        bool transient;
    };

    OnvifDiscovery(std::unique_ptr<packet::Socket> answers, std::unique_ptr<packet::Socket> announcements,
                   Hooks hooks);
    void listen(packet::Socket &socket, bool keepsTime);
    void handle(std::string_view xml, const packet::Address &sourceAddr, Clock::time_point now);
    void heard(const wsd::Target &target, const packet::Address &sourceAddr, bool solicited, Clock::time_point now,
               bool ranged = false);
    bool rangedAnswer(const std::string &relatesTo, const packet::Address &sourceAddr);
    void scan(RangeScan pace, const std::string &prefix);
    void reprobeRanged();
    void directedAnswer(const Directed &probe, const wsd::Target &target, const packet::Address &sourceAddr);
    void startCheck(Device &device, Check check, Clock::time_point now);
    void checkClaims(Device &device, Clock::time_point now);
    void settleChecks(Clock::time_point now);
    void bye(const std::string &endpoint, Clock::time_point now);
    void takeOffline(Device &device);
    void expireSilent(Clock::time_point now);
    void report(Device &device, int eventCode);
    void compose(Device &device, int eventCode);
    bool identityFree(const Device &device, const std::string &serial, const std::string &mac) const;
    void readDetails(const std::string &endpoint, Device &device);
    void queue(Job job);
    std::optional<Job> nextJob();
    void work();
    void resolveMacs();
    void detailsRead(const std::string &endpoint, std::optional<onvif::Details> details, std::string linkMac,
                     bool transient);
    void sendDirected(const std::string &endpoint, const packet::Address &host, Clock::time_point deadline);
    void retryDue(Clock::time_point now);

    std::unique_ptr<packet::Socket> m_answers;      // any free port: probes go out, matches come back
    std::unique_ptr<packet::Socket> m_announcements; // port 3702 in the group: Hello and Bye; null when taken
    Hooks m_hooks;
    std::mutex m_probeMutex;
    std::vector<std::string> m_probeIds; // the MessageIDs matches must relate to
    Clock::time_point m_lastProbe;
    // Directed probes of range scans and of the devices they found: MessageIDs
    // of one round share a random prefix and end in the address probed.
    std::string m_scanPrefix;                 // the latest scan's, under m_probeMutex
    std::deque<std::string> m_rangedPrefixes; // the latest reprobe rounds', under m_probeMutex
    // The range scan: its thread, sleeping on m_scanWake between paced rounds.
    std::mutex m_scanMutex;                   // held to start and join m_scanThread
    std::thread m_scanThread;
    std::mutex m_scanSleep;
    std::condition_variable m_scanWake;
    std::atomic<bool> m_scanCancel{false};
    std::atomic<bool> m_scanRunning{false};
    std::atomic<uint64_t> m_scanProbed{0}, m_scanTotal{0};
    // Under the gate:
    std::unordered_map<std::string, Device> m_devices;    // by endpoint reference
    std::unordered_map<std::string, Directed> m_directed; // directed probes by MessageID
    size_t m_checks = 0;                                  // devices with a check running
    std::vector<std::string> m_retrying;                  // devices with a read of details due later
    std::vector<std::string> m_claimants;                 // devices with claims waiting for a check
    std::unordered_map<std::string, std::string> m_identities; // listed serial and MAC -> endpoint
    std::atomic<bool> m_stop{false};
    std::thread m_answerThread;
    std::thread m_announceThread;
    // Reads of details, fair between the sources that asked for them: a flood
    // of announcements from one source waits its turn behind real cameras.
    std::mutex m_jobMutex;
    std::condition_variable m_jobReady;
    std::deque<Job> m_userJobs;                            // the user acted: first
    std::map<packet::Address, std::deque<Job>> m_jobs;     // by source
    std::deque<packet::Address> m_turns;                   // sources with queued jobs, in turn
    std::map<packet::Address, size_t> m_reading;           // by source: jobs being worked on
    std::unordered_map<std::string, onvif::Credentials> m_credentials; // by endpoint, under m_jobMutex
    std::vector<std::thread> m_workers;
    // MACs of devices whose details name none: one read of the neighbour table for all waiting.
    std::mutex m_macMutex;
    std::condition_variable m_macReady;
    std::vector<MacWait> m_macWaits;
    std::thread m_macThread;
};

} // namespace vexa
