#pragma once

// The one way into the packet driver for every program and library of the
// tree: which back end, loaded how, checked how, and a socket that speaks
// Address instead of the driver's network-order integers.
//
// The back end comes from one setting, the environment variable
// VEXA_TRANSPORT:
//   unset or "system"  the kernel's UDP sockets ("PACKET.dll"), what every
//                      installed program uses;
//   "memory"           sockets of one process exchanging datagrams in memory
//                      ("PACKET_MEM.dll", built for the tests, never installed).
// Any other value loads nothing: a mistyped setting must not fall back to the
// real network. Each back end chooses its interfaces alike (VEXA_INTERFACES,
// packetdriver.h). A driver is accepted only when its table is at least as
// new and as long as the packetdriver.h this code was built with; it stays
// loaded for the life of the process.

#include "netaddress.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct PKT_Driver;
struct PKT_Interface;
struct PKT_Link;
struct PKT_Socket;

namespace packet {

inline constexpr const char *kBackendSetting = "VEXA_TRANSPORT";

struct Backend {
    std::string_view name;    ///< as VEXA_TRANSPORT names it
    std::string_view library; ///< as TUM_LoadDSo loads it
};
/** Every back end, the default first. */
std::span<const Backend> backends();
/** The back end `setting` names (null: the default); nothing for an unknown name. */
std::optional<Backend> backendNamed(const char *setting);

/** Empty when `table` serves a caller built against this packetdriver.h, else why not. */
std::string checkDriver(const PKT_Driver *table);

/**
 * The driver of the back end VEXA_TRANSPORT names, loaded and checked on the
 * first call and kept; null (with `error` set when given) when there is none
 * that fits. Callable from any thread.
 */
const PKT_Driver *driver(std::string *error = nullptr);
/** The same for one back end, whatever the setting says (the conformance test). */
const PKT_Driver *driver(const Backend &backend, std::string *error = nullptr);

/** The interfaces `driver` chooses now; empty on failure. */
std::vector<PKT_Interface> interfaces(const PKT_Driver *driver);

/**
 * The interfaces this process chooses for every socket (names as
 * VEXA_INTERFACES writes them, separated by commas); nothing: every suitable
 * one. VEXA_INTERFACES, when set, still has the last word. Open sockets
 * follow at their next receive. Callable from any thread.
 */
void setInterfaceChoice(std::optional<std::string> names);
std::optional<std::string> interfaceChoice();

/** Every interface that is up, with its addresses, kind and whether `choice` (names separated by commas;
 *  null: every suitable one) and VEXA_INTERFACES pick it (PKT_IF_CHOSEN_*); empty on failure. */
std::vector<PKT_Link> links(const PKT_Driver *driver, const char *choice);

/** Which families a socket serves (the driver's PKT_FAMILY_* bits). */
enum class Families : uint32_t { OfGroups = 0, V4 = 1, V6 = 2, Both = 3 };

/** What a receive learnt about the datagram besides its bytes. */
struct Received {
    Address source;
    Address destination; ///< the group for multicast; none when unknown
    uint32_t ifIndex = 0; ///< arrival interface; 0 when unknown
    int ttl = -1;         ///< IP TTL (hop limit); -1 when unknown
    uint16_t sourcePort = 0;
};

/** One open socket of a driver, closed with the object. Thread rules as in packetdriver.h. */
class Socket final
{
public:
    /** A socket on `port` (0: any free one) joined to `groups` on every chosen interface; null with
     *  the negative errno in `error` (when given) on failure. It serves `families`: by default those
     *  of its groups, IPv4 alone without groups. It follows the system's interfaces and the process's
     *  choice (setInterfaceChoice) as they change, at its receives. */
    static std::unique_ptr<Socket> open(const PKT_Driver *driver, uint16_t port, std::span<const Address> groups,
                                        int receiveBuffer, int *error = nullptr,
                                        Families families = Families::OfGroups);
    ~Socket();
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    /** Multicast to `group`:`port` on every chosen interface (`ifIndex` 0) or one; how many it went
     *  out on, or a negative errno (-EAFNOSUPPORT for a family the driver does not carry). */
    int send(const Address &group, uint16_t port, std::span<const uint8_t> datagram, uint32_t ifIndex = 0);
    /** `send` to each of `groups` whose family the socket serves: the interfaces it went out on in
     *  all, or the last negative errno when none. */
    int sendAll(std::span<const Address> groups, uint16_t port, std::span<const uint8_t> datagram);
    /** Unicast to `to`:`port`; 0 or a negative errno. */
    int sendTo(const Address &to, uint16_t port, std::span<const uint8_t> datagram);
    /** Datagram size, or a negative errno (-ETIMEDOUT, -ECANCELED, -EMSGSIZE with `info` filled).
     *  Interfaces that came or went, or a new choice, are followed on the way (see interfaceChanges). */
    int receive(std::span<uint8_t> buffer, int timeoutMs, Received &info);
    /** How often the socket's interfaces changed since it opened (receiving thread only): a change
     *  tells its owner to ask again on the interfaces that came. */
    uint64_t interfaceChanges() const { return m_changes; }
    /** Interrupts a blocked receive; callable from any thread. */
    void wake();
    int receiveBufferSize();
    std::vector<PKT_Interface> interfaces();

private:
    Socket(const PKT_Driver *driver, PKT_Socket *socket, uint64_t choiceSeen)
        : m_driver(driver), m_socket(socket), m_choiceSeen(choiceSeen)
    {
    }
    void rechoose();
    const PKT_Driver *m_driver;
    PKT_Socket *m_socket;
    uint64_t m_choiceSeen; // the choice's generation the socket last followed
    uint64_t m_changes = 0;
};

} // namespace packet
