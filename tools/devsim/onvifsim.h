#pragma once

#include "devicefile.h"

#include <wsdiscovery.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <queue>
#include <string>
#include <thread>
#include <vector>

struct PKT_Driver;
struct PKT_Socket;

namespace devsim {

/**
 * The ONVIF side of the simulated devices whose devices-file entry says
 * "protocols": "onvif" or "both": WS-Discovery on the chosen interfaces
 * (Probe answered after the device's random delay, Hello on start and after
 * a change of address, Bye on a clean exit), on a thread of its own.
 */
class OnvifSimulator
{
public:
    using Clock = std::chrono::steady_clock;

    OnvifSimulator(std::vector<DeviceEntry> devices, uint64_t seed);
    ~OnvifSimulator();
    OnvifSimulator(const OnvifSimulator &) = delete;
    OnvifSimulator &operator=(const OnvifSimulator &) = delete;

    /** Opens the discovery sockets and starts the thread; false with a reason when that fails. */
    bool start(const PKT_Driver *driver, bool bootAnnounce, std::string &error);
    /** Every device says Bye and the thread stops. */
    void shutdown();
    /** Devices that speak ONVIF alone (the others are counted by the VXDP simulator). */
    size_t onlyOnvifCount() const;

    /** The endpoint reference a device keeps for life: a name-based UUID of its serial number. */
    static std::string endpointOf(const DeviceInfo &info);
    /** "http://ADDRESS:PORT/onvif/device_service". */
    static std::string xaddrOf(const DeviceInfo &info);

private:
    struct Device {
        DeviceEntry entry;
        std::string endpoint;
        uint32_t metadataVersion = 1;
    };
    struct Answer {
        Clock::time_point due;
        size_t device;
        uint32_t addr;  // network order
        uint16_t port;  // host order
        std::string relatesTo;
        bool operator>(const Answer &other) const { return due > other.due; }
    };

    void run();
    void receive(std::string_view xml, uint32_t addr, uint16_t port, Clock::time_point now);
    void answerDue(Clock::time_point now);
    void multicast(const std::string &xml);
    static vexa::wsd::Target target(const Device &device);

    std::vector<Device> m_devices;
    const PKT_Driver *m_driver = nullptr;
    PKT_Socket *m_socket = nullptr;
    int m_unicast = -1;
    uint64_t m_random;
    std::priority_queue<Answer, std::vector<Answer>, std::greater<>> m_answers;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

/** Turns the first `count` generated devices into ONVIF-only devices, each on a loopback address of its own. */
void makeOnvifDevices(std::vector<DeviceEntry> &devices, size_t count);
/** Every entry that speaks ONVIF, taken out of `devices` when it speaks nothing else. */
std::vector<DeviceEntry> splitOnvifDevices(std::vector<DeviceEntry> &devices);

} // namespace devsim
