#include "packetsocket.h"

#include "address.h"
#include "packetdriver.h"
#include "tum.h"
#include "wire.h"

#include <mutex>

namespace vexa {

const PKT_Driver *packetDriver()
{
    static std::mutex mutex;
    static const PKT_Driver *driver = nullptr;
    std::lock_guard lock(mutex);
    if (driver)
        return driver;
    // Kept loaded for the life of the process: sockets of a stopped discovery
    // may still be closing on other threads.
    void *handle = TUM_LoadDSo("PACKET.dll");
    if (!handle)
        return nullptr;
    auto get = reinterpret_cast<PKT_GetDriverFn>(TUM_GetSymbol(handle, PKT_GET_DRIVER_SYMBOL));
    const PKT_Driver *candidate = get ? get() : nullptr;
    if (!candidate || candidate->version < PKT_DRIVER_VERSION || candidate->structSize < sizeof(PKT_Driver)) {
        TUM_UnloadDSo(handle);
        return nullptr;
    }
    driver = candidate;
    return driver;
}

std::unique_ptr<PacketSocket> PacketSocket::open(const PKT_Driver *driver, uint32_t group, int receiveBuffer,
                                                 uint16_t port)
{
    static_assert(kVxdpPort == wire::kPort);
    const uint32_t groups[] = {address::toNetworkOrder(group)};
    PKT_Socket *socket = nullptr;
    if (!driver || driver->open(port, groups, group ? 1 : 0, receiveBuffer, &socket) != 0 || !socket)
        return nullptr;
    return std::unique_ptr<PacketSocket>(new PacketSocket(driver, socket));
}

PacketSocket::~PacketSocket()
{
    m_driver->close(m_socket);
}

bool PacketSocket::send(uint32_t group, std::span<const uint8_t> datagram, uint16_t port)
{
    return m_driver->send(m_socket, address::toNetworkOrder(group), port, datagram.data(),
                          datagram.size(), 0)
        > 0;
}

bool PacketSocket::sendTo(uint32_t addr, std::span<const uint8_t> datagram, uint16_t port)
{
    return m_driver->sendTo(m_socket, address::toNetworkOrder(addr), port, datagram.data(), datagram.size())
        == 0;
}

int PacketSocket::receive(std::span<uint8_t> buffer, int timeoutMs, PKT_RecvInfo &info)
{
    return m_driver->receive(m_socket, buffer.data(), buffer.size(), timeoutMs, &info);
}

void PacketSocket::wake()
{
    m_driver->wake(m_socket);
}

int PacketSocket::receiveBufferSize()
{
    return m_driver->receiveBufferSize(m_socket);
}

} // namespace vexa
