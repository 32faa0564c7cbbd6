#include "transport.h"

#include "packetdriver.h"
#include <tum/tum.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <map>
#include <mutex>

namespace packet {

namespace {

constexpr std::array kBackends{
    Backend{"system", "PACKET.dll"},
    Backend{"memory", "PACKET_MEM.dll"},
};

// Without this, version 1 drivers would be called through entries they lack.
static_assert(PKT_DRIVER_VERSION >= 2);

} // namespace

std::span<const Backend> backends()
{
    return kBackends;
}

std::optional<Backend> backendNamed(const char *setting)
{
    if (!setting || !*setting)
        return kBackends.front();
    for (const Backend &backend : kBackends) {
        if (backend.name == setting)
            return backend;
    }
    return std::nullopt;
}

std::string checkDriver(const PKT_Driver *table)
{
    if (!table)
        return "the driver has no table";
    if (table->version < PKT_DRIVER_VERSION)
        return "driver version " + std::to_string(table->version) + ", this program needs "
            + std::to_string(PKT_DRIVER_VERSION);
    if (table->structSize < sizeof(PKT_Driver))
        return "driver table of " + std::to_string(table->structSize) + " bytes, this program needs "
            + std::to_string(sizeof(PKT_Driver));
    return {};
}

const PKT_Driver *driver(const Backend &backend, std::string *error)
{
    static std::mutex mutex;
    static std::map<std::string_view, const PKT_Driver *> loaded;
    std::lock_guard lock(mutex);
    if (const auto it = loaded.find(backend.name); it != loaded.end())
        return it->second;
    const std::string library(backend.library);
    // Kept loaded for the life of the process: sockets of a stopped discovery
    // may still be closing on other threads.
    void *handle = TUM_LoadDSo(library.c_str());
    if (!handle) {
        if (error)
            *error = "cannot load " + library;
        return nullptr;
    }
    const auto get = reinterpret_cast<PKT_GetDriverFn>(TUM_GetSymbol(handle, PKT_GET_DRIVER_SYMBOL));
    const PKT_Driver *table = get ? get() : nullptr;
    if (std::string problem = checkDriver(table); !problem.empty()) {
        TUM_UnloadDSo(handle);
        if (error)
            *error = library + ": " + problem;
        return nullptr;
    }
    loaded.emplace(backend.name, table);
    return table;
}

const PKT_Driver *driver(std::string *error)
{
    const char *setting = std::getenv(kBackendSetting);
    const auto backend = backendNamed(setting);
    if (!backend) {
        if (error)
            *error = std::string(kBackendSetting) + "=" + setting + " names no back end";
        return nullptr;
    }
    return driver(*backend, error);
}

std::vector<PKT_Interface> interfaces(const PKT_Driver *driver)
{
    if (!driver)
        return {};
    // The list can grow between the two calls: ask again until it fits.
    std::vector<PKT_Interface> list(8);
    for (;;) {
        const int count = driver->interfaces(list.data(), list.size());
        if (count < 0)
            return {};
        const bool fits = size_t(count) <= list.size();
        list.resize(size_t(count));
        if (fits)
            return list;
    }
}

std::unique_ptr<Socket> Socket::open(const PKT_Driver *driver, uint16_t port, std::span<const Address> groups,
                                     int receiveBuffer, int *error)
{
    int rc = driver ? 0 : -ENOSYS;
    std::vector<uint32_t> values;
    for (const Address &group : groups) {
        if (!group.isV4())
            rc = -EAFNOSUPPORT;
        values.push_back(group.v4NetworkOrder());
    }
    PKT_Socket *socket = nullptr;
    if (rc == 0)
        rc = driver->open(port, values.data(), values.size(), receiveBuffer, &socket);
    if (rc == 0 && !socket)
        rc = -EIO;
    if (error)
        *error = rc;
    return rc == 0 ? std::unique_ptr<Socket>(new Socket(driver, socket)) : nullptr;
}

Socket::~Socket()
{
    m_driver->close(m_socket);
}

int Socket::send(const Address &group, uint16_t port, std::span<const uint8_t> datagram, uint32_t ifIndex)
{
    if (!group.isV4())
        return -EAFNOSUPPORT;
    return m_driver->send(m_socket, group.v4NetworkOrder(), port, datagram.data(), datagram.size(), ifIndex);
}

int Socket::sendTo(const Address &to, uint16_t port, std::span<const uint8_t> datagram)
{
    if (!to.isV4())
        return -EAFNOSUPPORT;
    return m_driver->sendTo(m_socket, to.v4NetworkOrder(), port, datagram.data(), datagram.size());
}

int Socket::receive(std::span<uint8_t> buffer, int timeoutMs, Received &info)
{
    PKT_RecvInfo raw{};
    raw.ttl = -1;
    const int rc = m_driver->receive(m_socket, buffer.data(), buffer.size(), timeoutMs, &raw);
    if (rc < 0 && rc != -EMSGSIZE)
        return rc;
    info.source = raw.sourceAddr ? Address::v4NetworkOrder(raw.sourceAddr) : Address();
    info.destination = raw.destAddr ? Address::v4NetworkOrder(raw.destAddr) : Address();
    info.ifIndex = raw.ifIndex;
    info.ttl = raw.ttl;
    info.sourcePort = raw.sourcePort;
    return rc;
}

void Socket::wake()
{
    m_driver->wake(m_socket);
}

int Socket::receiveBufferSize()
{
    return m_driver->receiveBufferSize(m_socket);
}

std::vector<PKT_Interface> Socket::interfaces()
{
    std::vector<PKT_Interface> list(8);
    const int count = m_driver->socketInterfaces(m_socket, list.data(), list.size());
    if (count > int(list.size()))
        m_driver->socketInterfaces(m_socket, (list.resize(size_t(count)), list.data()), list.size());
    list.resize(size_t(std::max(count, 0)));
    return list;
}

} // namespace packet
