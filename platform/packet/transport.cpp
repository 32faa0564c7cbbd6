#include "transport.h"

#include "packetdriver.h"
#include <tum/tum.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>

namespace packet {

namespace {

constexpr std::array kBackends{
    Backend{"system", "PACKET.dll"},
    Backend{"memory", "PACKET_MEM.dll"},
};

// Without this, older drivers would be called through entries they lack.
static_assert(PKT_DRIVER_VERSION >= 3);
static_assert(uint32_t(Families::V4) == PKT_FAMILY_V4 && uint32_t(Families::V6) == PKT_FAMILY_V6);

struct Choice {
    std::mutex mutex;
    std::optional<std::string> names;
    uint64_t generation = 0; // raised on every change
};

Choice &choice()
{
    static Choice *instance = new Choice; // sockets may still follow it from other static destructors
    return *instance;
}

// The choice as the driver takes it, with the generation it belongs to.
std::pair<std::optional<std::string>, uint64_t> currentChoice()
{
    Choice &c = choice();
    std::lock_guard lock(c.mutex);
    return {c.names, c.generation};
}

const char *orNull(const std::optional<std::string> &names)
{
    return names ? names->c_str() : nullptr;
}

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

namespace {

// A list `fetch(out, capacity)` fills and counts; it can grow between two calls: ask again until it fits.
template <typename Entry, typename Fetch>
std::vector<Entry> fetchAll(Fetch fetch)
{
    std::vector<Entry> list(8);
    for (;;) {
        const int count = fetch(list.data(), list.size());
        if (count < 0)
            return {};
        const bool fits = size_t(count) <= list.size();
        list.resize(size_t(count));
        if (fits)
            return list;
    }
}

} // namespace

std::vector<PKT_Interface> interfaces(const PKT_Driver *driver)
{
    if (!driver)
        return {};
    return fetchAll<PKT_Interface>(driver->interfaces);
}

void setInterfaceChoice(std::optional<std::string> names)
{
    Choice &c = choice();
    std::lock_guard lock(c.mutex);
    if (c.names != names) {
        c.names = std::move(names);
        ++c.generation;
    }
}

std::optional<std::string> interfaceChoice()
{
    return currentChoice().first;
}

std::vector<PKT_Link> links(const PKT_Driver *driver, const char *choice)
{
    if (!driver)
        return {};
    return fetchAll<PKT_Link>(
        [driver, choice](PKT_Link *out, size_t capacity) { return driver->links(choice, out, capacity); });
}

// The driver's form of an address: IPv4 in the first four bytes.
PKT_Address toDriver(const Address &a)
{
    PKT_Address out{};
    if (a.isV4()) {
        out.family = PKT_FAMILY_V4;
        const auto bytes = a.v4Bytes();
        std::copy(bytes.begin(), bytes.end(), out.bytes);
    } else if (a.isV6()) {
        out.family = PKT_FAMILY_V6;
        std::copy(a.bytes().begin(), a.bytes().end(), out.bytes);
        out.scope = a.scope();
    }
    return out;
}

Address fromDriver(const PKT_Address &a)
{
    if (a.family == PKT_FAMILY_V4)
        return Address::v4(std::span<const uint8_t, 4>(a.bytes, 4));
    if (a.family == PKT_FAMILY_V6)
        return Address::v6(std::span<const uint8_t, 16>(a.bytes, 16), a.scope);
    return {};
}

std::unique_ptr<Socket> Socket::open(const PKT_Driver *driver, uint16_t port, std::span<const Address> groups,
                                     int receiveBuffer, int *error, Families families)
{
    int rc = driver ? 0 : -ENOSYS;
    uint32_t wanted = uint32_t(families);
    std::vector<PKT_Address> values;
    for (const Address &group : groups) {
        if (group.isNone())
            rc = -EAFNOSUPPORT;
        values.push_back(toDriver(group));
        if (families == Families::OfGroups)
            wanted |= values.back().family;
    }
    if (wanted == 0)
        wanted = PKT_FAMILY_V4;
    PKT_Socket *socket = nullptr;
    const auto [names, generation] = currentChoice();
    if (rc == 0)
        rc = driver->openFamilies(port, values.data(), values.size(), wanted, orNull(names), receiveBuffer, &socket);
    if (rc == 0 && !socket)
        rc = -EIO;
    if (error)
        *error = rc;
    return rc == 0 ? std::unique_ptr<Socket>(new Socket(driver, socket, generation)) : nullptr;
}

Socket::~Socket()
{
    m_driver->close(m_socket);
}

int Socket::send(const Address &group, uint16_t port, std::span<const uint8_t> datagram, uint32_t ifIndex)
{
    if (group.isNone())
        return -EAFNOSUPPORT;
    const PKT_Address to = toDriver(group);
    return m_driver->sendGroup(m_socket, &to, port, datagram.data(), datagram.size(), ifIndex);
}

int Socket::sendAll(std::span<const Address> groups, uint16_t port, std::span<const uint8_t> datagram)
{
    int sentOn = 0;
    int lastError = -EAFNOSUPPORT;
    for (const Address &group : groups) {
        const int rc = send(group, port, datagram);
        if (rc > 0)
            sentOn += rc;
        else
            lastError = rc;
    }
    return sentOn > 0 ? sentOn : lastError;
}

int Socket::sendTo(const Address &to, uint16_t port, std::span<const uint8_t> datagram)
{
    if (to.isNone())
        return -EAFNOSUPPORT;
    const PKT_Address address = toDriver(to);
    return m_driver->sendToAddress(m_socket, &address, port, datagram.data(), datagram.size());
}

void Socket::rechoose()
{
    const auto indexes = [this] {
        std::vector<uint32_t> list;
        for (const PKT_Interface &i : interfaces())
            list.push_back(i.index);
        return list;
    };
    const auto [names, generation] = currentChoice();
    const std::vector<uint32_t> before = indexes();
    m_driver->rechoose(m_socket, orNull(names));
    m_choiceSeen = generation;
    // Most news is of other interfaces (an address on a container bridge): only a change here counts.
    if (indexes() != before)
        ++m_changes;
}

int Socket::receive(std::span<uint8_t> buffer, int timeoutMs, Received &info)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (currentChoice().second != m_choiceSeen)
            rechoose();
        int wait = timeoutMs;
        if (timeoutMs >= 0)
            wait = int(std::max<int64_t>(
                0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
        PKT_Datagram raw{};
        raw.hopLimit = -1;
        const int rc = m_driver->receiveFrom(m_socket, buffer.data(), buffer.size(), wait, &raw);
        if (rc == -ENETRESET) { // the system's interfaces changed: follow them and wait on
            rechoose();
            continue;
        }
        if (rc < 0 && rc != -EMSGSIZE)
            return rc;
        info.source = fromDriver(raw.source);
        info.destination = fromDriver(raw.destination);
        info.ifIndex = raw.ifIndex;
        info.ttl = raw.hopLimit;
        info.sourcePort = raw.sourcePort;
        return rc;
    }
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
    return fetchAll<PKT_Interface>(
        [this](PKT_Interface *out, size_t capacity) { return m_driver->socketInterfaces(m_socket, out, capacity); });
}

} // namespace packet
