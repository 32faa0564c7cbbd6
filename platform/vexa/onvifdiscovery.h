#pragma once

// ONVIF devices beside VXDP ones: WS-Discovery probes and announcements on
// the chosen interfaces, each device reported through the same callback as
// a VXDP device, and never while a VXDP device holds its address.

#include "onvifclient.h"
#include "vexa.h"
#include "wsdiscovery.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

struct PKT_Driver;

namespace vexa {

class PacketSocket;

class OnvifDiscovery final {
public:
    /** Third-party ONVIF devices: a camera-range code, editable, kept by the camera filter. */
    static constexpr int32_t kTypeCode = 0x2F00;
    static constexpr const char *kProtocol = "ONVIF";

    struct Hooks {
        std::mutex &gate; // held around every report, and around the calls below
        std::function<bool(uint32_t ipv4)> heldByVxdp; // host order; asked with the gate held
        std::function<void(const VEXA_DEVICE_REPORT &)> deliver;
        std::function<void()> enterThread; // run first on each of this discovery's threads
    };

    /** Opens both sockets and starts their threads; null on failure. */
    static std::unique_ptr<OnvifDiscovery> start(const PKT_Driver *driver, Hooks hooks);
    ~OnvifDiscovery();
    OnvifDiscovery(const OnvifDiscovery &) = delete;
    OnvifDiscovery &operator=(const OnvifDiscovery &) = delete;

    /** Multicasts one Probe; callable from any thread. */
    bool sendProbe();
    /** With the gate held: a VXDP device now holds `ipv4` (host order); an ONVIF record there yields to it. */
    void yieldAddress(uint32_t ipv4);

    // The devices last listed are remembered for the whole process, like
    // device keys, so a request after the discovery stopped still finds them.
    // None of these waits for the gate: the caller may hold the library's own
    // lock, which a callback running under the gate may want.
    struct Listed {
        std::string endpoint, xaddr;
    };
    /** The listed ONVIF device with this MAC (as reported, canonical); nothing when none. */
    static std::optional<Listed> listedByMac(const std::string &mac);
    /** Whether a listed ONVIF device reports this serial number. */
    static bool listsSerial(const std::string &serial);
    /** The user acted on the device with `credentials` that worked: its details are read again with them. */
    void actedOn(const Listed &device, const onvif::Credentials &credentials);

    /** A device's report fields from its discovery target; false when it names no usable address. */
    static bool fillReport(const wsd::Target &target, uint32_t sourceAddr, VEXA_DEVICE_REPORT &r);
    /** Overlays what device management said on a report. */
    static void addDetails(const onvif::Details &details, VEXA_DEVICE_REPORT &r);

private:
    using Clock = std::chrono::steady_clock;
    struct Device {
        wsd::Target target;
        uint32_t sourceAddr = 0; // network order
        std::optional<onvif::Details> details;
        std::string linkMac; // from the host's neighbour table, for a device whose details name no MAC
        VEXA_DEVICE_REPORT report{};
        std::string serial, mac; // identity as first reported: the page finds the row by them
        uint32_t ipv4 = 0; // host order
        Clock::time_point lastHeard;
        bool online = false;
        bool reading = false;   // details are being read
        bool readAgain = false; // and changed meanwhile: read them again when that read ends
        bool solicited = false; // first heard in answer to our probe
        bool listed = false;    // reported online; false while a VXDP device holds the address
    };
    struct Job {
        std::string endpoint, xaddr;
        std::optional<onvif::Credentials> credentials;
    };

    OnvifDiscovery(std::unique_ptr<PacketSocket> answers, std::unique_ptr<PacketSocket> announcements, Hooks hooks);
    void listen(PacketSocket &socket, bool keepsTime);
    void handle(std::string_view xml, uint32_t sourceAddr, Clock::time_point now);
    void heard(const wsd::Target &target, uint32_t sourceAddr, bool solicited, Clock::time_point now);
    void gone(const std::string &endpoint);
    void expireSilent(Clock::time_point now);
    void report(Device &device, int eventCode);
    void compose(Device &device, int eventCode);
    void readDetails(const std::string &endpoint, Device &device);
    void work();
    void detailsRead(const std::string &endpoint, std::optional<onvif::Details> details, std::string linkMac);
    std::unique_ptr<PacketSocket> m_answers;       // any free port: probes go out, matches come back
    std::unique_ptr<PacketSocket> m_announcements; // port 3702 in the group: Hello and Bye
    Hooks m_hooks;
    std::mutex m_probeMutex;
    std::string m_probeId; // the MessageID matches must relate to
    Clock::time_point m_lastProbe;
    std::unordered_map<std::string, Device> m_devices; // by endpoint reference; under the gate
    std::atomic<bool> m_stop{false};
    std::thread m_answerThread;
    std::thread m_announceThread;
    std::mutex m_jobMutex;
    std::condition_variable m_jobReady;
    std::deque<Job> m_jobs;
    std::unordered_map<std::string, onvif::Credentials> m_credentials; // by endpoint, under m_jobMutex
    std::vector<std::thread> m_workers;
};

} // namespace vexa
