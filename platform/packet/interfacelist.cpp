#include "interfacelist.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <string>
#include <string_view>

namespace {

// The names the setting asks for, in its order, each once.
std::vector<std::string> requestedNames(std::string_view rest)
{
    std::vector<std::string> names;
    while (!rest.empty()) {
        const auto comma = rest.find(',');
        std::string_view item = rest.substr(0, comma);
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ')
            item.remove_suffix(1);
        if (item.empty() || item.size() >= PKT_IFNAME_SIZE)
            continue; // too long to be an interface name: cannot exist
        if (std::find(names.begin(), names.end(), item) == names.end())
            names.emplace_back(item);
    }
    return names;
}

std::string_view baseName(const char *name)
{
    // Address labels such as "eth0:1" belong to the interface "eth0".
    const std::string_view full(name);
    return full.substr(0, full.find(':'));
}

// Every interface that is up and has an IPv4 address, first address kept.
std::vector<PKT_Interface> upIPv4Interfaces(const ifaddrs *all)
{
    std::vector<PKT_Interface> found;
    for (const ifaddrs *a = all; a; a = a->ifa_next) {
        if (!a->ifa_name || !a->ifa_addr || a->ifa_addr->sa_family != AF_INET || !(a->ifa_flags & IFF_UP))
            continue;
        const std::string_view name = baseName(a->ifa_name);
        if (name.empty() || name.size() >= PKT_IFNAME_SIZE)
            continue;
        PKT_Interface entry {};
        name.copy(entry.name, name.size());
        entry.index = if_nametoindex(entry.name);
        if (entry.index == 0)
            continue; // vanished meanwhile
        const bool known = std::any_of(found.begin(), found.end(),
                                       [&](const PKT_Interface &f) { return f.index == entry.index; });
        if (known)
            continue;
        entry.addr = reinterpret_cast<const sockaddr_in *>(a->ifa_addr)->sin_addr.s_addr;
        if (a->ifa_netmask && a->ifa_netmask->sa_family == AF_INET)
            entry.netmask = reinterpret_cast<const sockaddr_in *>(a->ifa_netmask)->sin_addr.s_addr;
        entry.flags = ((a->ifa_flags & IFF_LOOPBACK) ? PKT_IF_LOOPBACK : 0)
            | ((a->ifa_flags & IFF_MULTICAST) ? PKT_IF_MULTICAST : 0);
        found.push_back(entry);
    }
    return found;
}

void addHardwareAddresses(const ifaddrs *all, std::vector<PKT_Interface> &list)
{
    for (const ifaddrs *a = all; a; a = a->ifa_next) {
        if (!a->ifa_addr || a->ifa_addr->sa_family != AF_PACKET)
            continue;
        const auto *link = reinterpret_cast<const sockaddr_ll *>(a->ifa_addr);
        if (link->sll_halen != sizeof(PKT_Interface::mac))
            continue; // not Ethernet-like (tunnels, InfiniBand): no MAC to report
        for (PKT_Interface &entry : list) {
            if (static_cast<int>(entry.index) == link->sll_ifindex) {
                std::memcpy(entry.mac, link->sll_addr, sizeof entry.mac);
                entry.flags |= PKT_IF_HAS_MAC;
            }
        }
    }
}

} // namespace

std::vector<PKT_Interface> systemInterfaces()
{
    ifaddrs *all = nullptr;
    if (getifaddrs(&all) != 0)
        return {};
    std::vector<PKT_Interface> up = upIPv4Interfaces(all);
    addHardwareAddresses(all, up);
    freeifaddrs(all);
    return up;
}

std::vector<PKT_Interface> chooseInterfaces(const std::vector<PKT_Interface> &candidates, const char *setting)
{
    std::vector<PKT_Interface> chosen;
    if (setting) {
        for (const std::string &name : requestedNames(setting)) {
            const auto it = std::find_if(candidates.begin(), candidates.end(),
                                         [&](const PKT_Interface &i) { return name == i.name; });
            if (it != candidates.end())
                chosen.push_back(*it);
        }
    } else {
        std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(chosen),
                     [](const PKT_Interface &i) { return (i.flags & PKT_IF_MULTICAST) != 0; });
    }
    return chosen;
}

std::vector<PKT_Interface> chosenInterfaces()
{
    return chooseInterfaces(systemInterfaces(), std::getenv("VEXA_INTERFACES"));
}

int copyInterfaces(const std::vector<PKT_Interface> &list, PKT_Interface *out, size_t capacity)
{
    if (out)
        std::copy_n(list.begin(), std::min(capacity, list.size()), out);
    return static_cast<int>(list.size());
}
