#include "networkchange.h"

#include <deviceside/deviceinfo.h>

#include <arpa/inet.h>

#include <utility>

namespace agent {

namespace {

bool addressChanges(const deviceside::NetworkState &from, const deviceside::NetworkState &to)
{
    return from.ipv4Addr != to.ipv4Addr || from.ipv4Mask != to.ipv4Mask;
}

// Removing the old address took the routes through it along: a gateway is
// set again whenever the address moved, and whenever it changed itself.
bool routeChanges(const deviceside::NetworkState &from, const deviceside::NetworkState &to)
{
    return from.ipv4Gateway != to.ipv4Gateway || (!to.ipv4Gateway.empty() && from.ipv4Addr != to.ipv4Addr);
}

} // namespace

std::optional<std::string> planProblem(const deviceside::NetworkState &from, const deviceside::NetworkState &to)
{
    const auto address = deviceside::parseIpv4(to.ipv4Addr);
    const auto mask = deviceside::parseIpv4(to.ipv4Mask);
    if (!address || !deviceside::isUnicastIpv4(*address))
        return "not an IPv4 unicast address: " + to.ipv4Addr;
    if (!mask || !deviceside::isValidMask(*mask))
        return "not an IPv4 mask: " + to.ipv4Mask;
    // A gateway the change does not touch stays as the administrator set it up.
    if (to.ipv4Gateway.empty() || !routeChanges(from, to))
        return std::nullopt;
    const auto gateway = deviceside::parseIpv4(to.ipv4Gateway);
    const std::string where = "gateway " + to.ipv4Gateway + " for " + to.ipv4Addr + "/" + to.ipv4Mask;
    if (!gateway || !deviceside::isUnicastIpv4(*gateway))
        return "not an IPv4 unicast " + where;
    if ((*gateway & *mask) != (*address & *mask))
        return where + ": outside the subnet, no route could reach it";
    if (*gateway == *address)
        return where + ": the device's own address";
    // /31 and /32 have neither network nor broadcast address (RFC 3021).
    const uint32_t host = ~ntohl(*mask);
    if (host > 1 && ((ntohl(*gateway) & host) == 0 || (ntohl(*gateway) & host) == host))
        return where + ": the subnet's network or broadcast address";
    return std::nullopt;
}

bool NetworkChanger::apply(const deviceside::NetworkState &from, const deviceside::NetworkState &to, std::string &error)
{
    if (!m_steps.save(m_index, error))
        return false; // nothing touched yet
    m_savedAt = from;
    const bool ok = (!addressChanges(from, to) || m_steps.replaceAddress(m_index, from, to, error))
        && (!routeChanges(from, to) || m_steps.replaceDefaultRoute(m_index, to.ipv4Gateway, error));
    if (ok)
        return true;
    if (std::string restoreError; !m_steps.restoreSaved(m_index, restoreError))
        error += "; putting back the saved state failed too: " + restoreError;
    else
        m_savedAt.reset(); // back where it started: its rollback has nothing left to do
    return false;
}

bool NetworkChanger::rollBack(const deviceside::NetworkState &current, const deviceside::NetworkState &previous,
                              std::string &error)
{
    const auto savedAt = std::exchange(m_savedAt, std::nullopt);
    if (savedAt && savedAt->ipv4Addr == previous.ipv4Addr && savedAt->ipv4Mask == previous.ipv4Mask
        && savedAt->ipv4Gateway == previous.ipv4Gateway)
        return m_steps.restoreSaved(m_index, error);
    if (current == previous)
        return true; // a failed change, put back at once
    // Several unconfirmed changes in a row: the state saved is that of the last one's start.
    return (!addressChanges(current, previous) || m_steps.replaceAddress(m_index, current, previous, error))
        && m_steps.replaceDefaultRoute(m_index, previous.ipv4Gateway, error);
}

} // namespace agent
