#pragma once

#include <statefile.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct nl_sock;

namespace agent {

/** What the kernel says about the agent's interface. */
struct InterfaceState {
    std::string name;
    int index = 0;
    std::string mac; ///< canonical "aa:bb:cc:dd:ee:ff"
    devsim::NetworkState network; ///< port left 0: the kernel does not know it
    bool hasIpv6 = false;
};

/**
 * The machine's network through rtnetlink (libnl-route): reads an
 * interface's parameters, changes its IPv4 address and default route, and
 * tells when anything changed (link, address and route events).
 */
class Netlink
{
public:
    static std::unique_ptr<Netlink> open(std::string &error);
    ~Netlink();
    Netlink(const Netlink &) = delete;
    Netlink &operator=(const Netlink &) = delete;

    /** The named interface, or with an empty name the one holding the IPv4 default route. */
    std::optional<InterfaceState> read(const std::string &name, std::string &error);

    /**
     * Moves the interface from the IPv4 address and default route of `from` to
     * those of `to`, first remembering the default routes it had. The gateway
     * is only touched when it differs.
     */
    bool change(int index, const devsim::NetworkState &from, const devsim::NetworkState &to, std::string &error);
    /** Back from `current` to `previous`, with the default routes remembered by the last change. */
    bool restore(int index, const devsim::NetworkState &current, const devsim::NetworkState &previous,
                 std::string &error);

    /** Reads every pending event without blocking; true when any arrived. */
    bool eventsArrived();

private:
    Netlink() = default;
    bool replaceAddress(int index, const devsim::NetworkState &from, const devsim::NetworkState &to,
                        std::string &error);
    bool deleteDefaultRoutes(int index, std::string &error);

    nl_sock *m_socket = nullptr; // requests
    nl_sock *m_events = nullptr; // multicast groups, non-blocking
    std::vector<std::shared_ptr<void>> m_savedRoutes; // rtnl_route clones of the last change
};

} // namespace agent
