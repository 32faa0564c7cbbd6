#include "interfacelist.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <ifaddrs.h>
#include <net/if_arp.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <string>
#include <string_view>
#include <sys/stat.h>

namespace {

// The names a setting or choice asks for, in its order, each once.
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

int prefixOf(const uint8_t *mask, size_t size)
{
    int bits = 0;
    for (size_t i = 0; i < size; ++i)
        bits += std::popcount(mask[i]);
    return bits;
}

bool sysExists(const std::string &name, const char *entry)
{
    struct stat st {};
    return ::stat(("/sys/class/net/" + name + "/" + entry).c_str(), &st) == 0;
}

// ARPHRD_IP6GRE of <linux/if_arp.h>, which cannot be included beside <net/if.h>.
constexpr int kIp6Gre = 823;

// What the interface is, from what sysfs tells about it.
uint32_t kindOf(const PKT_Link &link, int type)
{
    if (link.flags & PKT_IF_LOOPBACK)
        return PKT_KIND_LOOPBACK;
    const std::string name = link.name;
    if (type == ARPHRD_NONE || type == ARPHRD_PPP || type == ARPHRD_TUNNEL || type == ARPHRD_TUNNEL6
        || type == ARPHRD_SIT || type == ARPHRD_IPGRE || type == kIp6Gre)
        return PKT_KIND_TUNNEL;
    if (type != ARPHRD_ETHER)
        return PKT_KIND_OTHER;
    if (sysExists(name, "wireless") || sysExists(name, "phy80211"))
        return PKT_KIND_WIRELESS;
    if (sysExists(name, "bridge"))
        return PKT_KIND_BRIDGE;
    return sysExists(name, "device") ? PKT_KIND_WIRED : PKT_KIND_VIRTUAL;
}

PKT_Link *linkFor(std::vector<PKT_Link> &links, const ifaddrs &a)
{
    const std::string_view name = baseName(a.ifa_name);
    if (name.empty() || name.size() >= PKT_IFNAME_SIZE)
        return nullptr;
    const auto found =
        std::find_if(links.begin(), links.end(), [&](const PKT_Link &l) { return name == l.name; });
    if (found != links.end())
        return &*found;
    PKT_Link link{};
    name.copy(link.name, name.size());
    link.index = if_nametoindex(link.name);
    if (link.index == 0)
        return nullptr; // vanished meanwhile
    link.flags = PKT_IF_UP | ((a.ifa_flags & IFF_LOOPBACK) ? PKT_IF_LOOPBACK : 0)
        | ((a.ifa_flags & IFF_MULTICAST) ? PKT_IF_MULTICAST : 0);
    links.push_back(link);
    return &links.back();
}

void addAddress(PKT_Link &link, const ifaddrs &a)
{
    if (link.addressCount >= PKT_LINK_ADDRESSES)
        return;
    PKT_LinkAddress &entry = link.addresses[link.addressCount];
    if (a.ifa_addr->sa_family == AF_INET) {
        const auto *in = reinterpret_cast<const sockaddr_in *>(a.ifa_addr);
        entry.addr.family = PKT_FAMILY_V4;
        std::memcpy(entry.addr.bytes, &in->sin_addr, 4);
        if (a.ifa_netmask && a.ifa_netmask->sa_family == AF_INET)
            entry.prefixLength = uint8_t(
                prefixOf(reinterpret_cast<const uint8_t *>(&reinterpret_cast<const sockaddr_in *>(a.ifa_netmask)->sin_addr), 4));
    } else {
        const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(a.ifa_addr);
        entry.addr.family = PKT_FAMILY_V6;
        std::memcpy(entry.addr.bytes, &in6->sin6_addr, 16);
        entry.addr.scope = in6->sin6_scope_id;
        if (a.ifa_netmask && a.ifa_netmask->sa_family == AF_INET6)
            entry.prefixLength = uint8_t(prefixOf(
                reinterpret_cast<const sockaddr_in6 *>(a.ifa_netmask)->sin6_addr.s6_addr, 16));
    }
    ++link.addressCount;
}

bool isLinkLocal(const PKT_Address &a)
{
    static constexpr uint8_t prefix[8] = {0xFE, 0x80, 0, 0, 0, 0, 0, 0};
    return a.family == PKT_FAMILY_V6 && std::memcmp(a.bytes, prefix, sizeof prefix) == 0;
}

const PKT_LinkAddress *firstV4(const PKT_Link &link)
{
    for (uint8_t i = 0; i < link.addressCount; ++i) {
        if (link.addresses[i].addr.family == PKT_FAMILY_V4)
            return &link.addresses[i];
    }
    return nullptr;
}

PKT_Interface interfaceOf(const PKT_Link &link)
{
    PKT_Interface i{};
    std::memcpy(i.name, link.name, sizeof i.name);
    i.index = link.index;
    i.flags = link.flags & (PKT_IF_LOOPBACK | PKT_IF_MULTICAST | PKT_IF_HAS_MAC);
    std::memcpy(i.mac, link.mac, sizeof i.mac);
    return i;
}

} // namespace

const PKT_Address *linkLocalOf(const PKT_Link &link)
{
    for (uint8_t i = 0; i < link.addressCount; ++i) {
        if (isLinkLocal(link.addresses[i].addr))
            return &link.addresses[i].addr;
    }
    return nullptr;
}

std::vector<PKT_Link> systemLinks()
{
    ifaddrs *all = nullptr;
    if (getifaddrs(&all) != 0)
        return {};
    std::vector<PKT_Link> links;
    std::vector<int> types; // ARPHRD_* per link, as its packet address tells
    for (const ifaddrs *a = all; a; a = a->ifa_next) {
        if (!a->ifa_name || !a->ifa_addr || !(a->ifa_flags & IFF_UP))
            continue;
        const int family = a->ifa_addr->sa_family;
        if (family != AF_INET && family != AF_INET6 && family != AF_PACKET)
            continue;
        PKT_Link *link = linkFor(links, *a);
        if (!link)
            continue;
        if (family != AF_PACKET) {
            addAddress(*link, *a);
            continue;
        }
        const auto *hw = reinterpret_cast<const sockaddr_ll *>(a->ifa_addr);
        types.resize(links.size(), -1);
        types[size_t(link - links.data())] = hw->sll_hatype;
        if (hw->sll_halen == sizeof link->mac) { // not Ethernet-like (tunnels, InfiniBand): no MAC to report
            std::memcpy(link->mac, hw->sll_addr, sizeof link->mac);
            link->flags |= PKT_IF_HAS_MAC;
        }
    }
    freeifaddrs(all);
    types.resize(links.size(), -1);
    for (size_t i = 0; i < links.size(); ++i)
        links[i].kind = kindOf(links[i], types[i]);
    return links;
}

std::vector<PKT_Interface> candidatesFor(const std::vector<PKT_Link> &links, uint32_t family)
{
    std::vector<PKT_Interface> found;
    for (const PKT_Link &link : links) {
        if (family == PKT_FAMILY_V4) {
            if (const PKT_LinkAddress *v4 = firstV4(link)) {
                PKT_Interface i = interfaceOf(link);
                std::memcpy(&i.addr, v4->addr.bytes, 4);
                i.netmask = v4->prefixLength == 0 ? 0 : htonl(~uint32_t(0) << (32 - v4->prefixLength));
                found.push_back(i);
            }
        } else if (family == PKT_FAMILY_V6 && linkLocalOf(link)) {
            found.push_back(interfaceOf(link));
        }
    }
    return found;
}

std::vector<PKT_Interface> systemInterfaces()
{
    return candidatesFor(systemLinks(), PKT_FAMILY_V4);
}

std::vector<PKT_Interface> chooseInterfaces(const std::vector<PKT_Interface> &candidates, const char *setting,
                                            const char *choice)
{
    std::vector<PKT_Interface> chosen;
    if (const char *names = setting ? setting : choice) {
        for (const std::string &name : requestedNames(names)) {
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

std::vector<PKT_Interface> chosenInterfaces(uint32_t family, const char *choice)
{
    return chooseInterfaces(candidatesFor(systemLinks(), family), std::getenv("VEXA_INTERFACES"), choice);
}

std::vector<PKT_Link> markChosen(std::vector<PKT_Link> links, const char *choice)
{
    const char *setting = std::getenv("VEXA_INTERFACES");
    for (const auto &[family, flag] : {std::pair{PKT_FAMILY_V4, PKT_IF_CHOSEN_V4}, {PKT_FAMILY_V6, PKT_IF_CHOSEN_V6}}) {
        for (const PKT_Interface &i : chooseInterfaces(candidatesFor(links, uint32_t(family)), setting, choice)) {
            for (PKT_Link &link : links) {
                if (link.index == i.index)
                    link.flags |= uint32_t(flag);
            }
        }
    }
    return links;
}
