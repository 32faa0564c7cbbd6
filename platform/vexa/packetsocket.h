#pragma once

// The library's way to the network: the packet driver, loaded at run time by
// name, and one socket of it owned by RAII.

#include <cstdint>
#include <memory>
#include <span>

struct PKT_Driver;
struct PKT_Socket;
struct PKT_RecvInfo;

namespace vexa {

/** The packet driver, loaded on first success and kept loaded; null when it cannot be loaded. */
const PKT_Driver *packetDriver();

class PacketSocket final {
public:
    static constexpr uint16_t kVxdpPort = 39310; // wire::kPort, without including the codec here
    /** A socket on `port` (0: any free port) joined to `group` (host order; 0: none); null on failure. */
    static std::unique_ptr<PacketSocket> open(const PKT_Driver *driver, uint32_t group, int receiveBuffer,
                                              uint16_t port = kVxdpPort);
    ~PacketSocket();
    PacketSocket(const PacketSocket &) = delete;
    PacketSocket &operator=(const PacketSocket &) = delete;

    /** Sends to `group`:`port` (host order) on every chosen interface; true when it went out somewhere. */
    bool send(uint32_t group, std::span<const uint8_t> datagram, uint16_t port = kVxdpPort);
    /** Sends by unicast to `addr`:`port` (host order); false when the driver is too old or it could not go out. */
    bool sendTo(uint32_t addr, std::span<const uint8_t> datagram, uint16_t port = kVxdpPort);
    /** Datagram size, or a negative errno (-ETIMEDOUT, -ECANCELED, -EMSGSIZE). */
    int receive(std::span<uint8_t> buffer, int timeoutMs, PKT_RecvInfo &info);
    /** Interrupts a blocked receive from another thread. */
    void wake();
    int receiveBufferSize();

private:
    PacketSocket(const PKT_Driver *driver, PKT_Socket *socket) : m_driver(driver), m_socket(socket) {}
    const PKT_Driver *m_driver;
    PKT_Socket *m_socket;
};

} // namespace vexa
