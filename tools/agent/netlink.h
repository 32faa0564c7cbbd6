#pragma once

#include "networkchange.h"

#include <deviceside/statefile.h>

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
    deviceside::NetworkState network; ///< port left 0: the kernel does not know it
    bool hasIpv6 = false;
};

/**
 * The machine's network through rtnetlink (libnl-route): reads an
 * interface's parameters, makes the steps of a change of its IPv4 address
 * and default route (NetworkChanger drives them), and tells when anything
 * changed (link, address and route events).
 */
class Netlink final : public NetworkSteps
{
public:
    static std::unique_ptr<Netlink> open(std::string &error);
    ~Netlink() override;
    Netlink(const Netlink &) = delete;
    Netlink &operator=(const Netlink &) = delete;

    /** The named interface, or with an empty name the one holding the IPv4 default route. */
    std::optional<InterfaceState> read(const std::string &name, std::string &error);

    bool save(int index, std::string &error) override;
    bool replaceAddress(int index, const deviceside::NetworkState &from, const deviceside::NetworkState &to,
                        std::string &error) override;
    bool replaceDefaultRoute(int index, const std::string &gateway, std::string &error) override;
    bool restoreSaved(int index, std::string &error) override;

    /** Reads every pending event without blocking; true when any arrived. */
    bool eventsArrived();

private:
    Netlink() = default;
    bool deleteDefaultRoutes(int index, std::string &error);

    nl_sock *m_socket = nullptr; // requests
    nl_sock *m_events = nullptr; // multicast groups, non-blocking
    // What save() found: rtnl_addr and rtnl_route clones.
    std::vector<std::shared_ptr<void>> m_savedAddresses;
    std::vector<std::shared_ptr<void>> m_savedRoutes;
};

} // namespace agent
