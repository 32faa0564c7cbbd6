#include "address.h"

#include <arpa/inet.h>
#include <net/if.h>

#include <algorithm>
#include <cstring>

namespace vexa::address {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Formatted by hand: every report of a large network formats several
// addresses on the receive thread, and printf costs more than the rest of it.
std::string formatMac(const wire::Mac &mac)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text(17, ':');
    for (size_t i = 0; i < mac.size(); ++i) {
        text[3 * i] = kHex[mac[i] >> 4];
        text[3 * i + 1] = kHex[mac[i] & 15];
    }
    return text;
}

std::optional<wire::Mac> parseMac(std::string_view text)
{
    if (text.size() != 17)
        return std::nullopt;
    const char sep = text[2];
    if (sep != ':' && sep != '-')
        return std::nullopt;
    wire::Mac mac;
    for (size_t i = 0; i < mac.size(); ++i) {
        const int hi = hexDigit(text[3 * i]);
        const int lo = hexDigit(text[3 * i + 1]);
        if (hi < 0 || lo < 0 || (i < 5 && text[3 * i + 2] != sep))
            return std::nullopt;
        mac[i] = uint8_t(hi << 4 | lo);
    }
    return mac;
}

std::string formatIpv4(const wire::Ipv4 &addr)
{
    char buf[16];
    char *out = buf;
    for (size_t i = 0; i < addr.size(); ++i) {
        if (i > 0)
            *out++ = '.';
        const unsigned v = addr[i];
        if (v >= 100)
            *out++ = char('0' + v / 100);
        if (v >= 10)
            *out++ = char('0' + v / 10 % 10);
        *out++ = char('0' + v % 10);
    }
    return std::string(buf, out);
}

std::optional<wire::Ipv4> parseIpv4(std::string_view text)
{
    wire::Ipv4 addr;
    size_t pos = 0;
    for (size_t i = 0; i < addr.size(); ++i) {
        if (i > 0) {
            if (pos >= text.size() || text[pos] != '.')
                return std::nullopt;
            ++pos;
        }
        const size_t start = pos;
        unsigned value = 0;
        while (pos < text.size() && pos - start < 3 && text[pos] >= '0' && text[pos] <= '9')
            value = value * 10 + unsigned(text[pos++] - '0');
        const size_t digits = pos - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0'))
            return std::nullopt;
        addr[i] = uint8_t(value);
    }
    if (pos != text.size())
        return std::nullopt;
    return addr;
}

std::string formatIpv6(const wire::Ipv6 &addr)
{
    if (std::all_of(addr.begin(), addr.end(), [](uint8_t b) { return b == 0; }))
        return {};
    char buf[INET6_ADDRSTRLEN];
    if (!inet_ntop(AF_INET6, addr.data(), buf, sizeof buf))
        return {};
    return buf;
}

std::string formatScoped(const packet::Address &addr)
{
    if (!addr.isV6())
        return {};
    std::string text = formatIpv6(addr.bytes());
    if (addr.scope() == 0 || text.empty())
        return text;
    char name[IF_NAMESIZE];
    return text + '%' + (if_indextoname(addr.scope(), name) ? std::string(name) : std::to_string(addr.scope()));
}

std::optional<wire::Ipv6> parseIpv6(std::string_view text)
{
    char buf[INET6_ADDRSTRLEN];
    if (text.empty() || text.size() >= sizeof buf || text.find('\0') != std::string_view::npos)
        return std::nullopt;
    std::memcpy(buf, text.data(), text.size());
    buf[text.size()] = '\0';
    wire::Ipv6 addr;
    if (inet_pton(AF_INET6, buf, addr.data()) != 1)
        return std::nullopt;
    return addr;
}

uint32_t toNetworkOrder(uint32_t hostOrder)
{
    return htonl(hostOrder);
}

wire::Ipv4 fromNetworkOrder(uint32_t networkOrder)
{
    wire::Ipv4 addr;
    std::memcpy(addr.data(), &networkOrder, addr.size());
    return addr;
}

uint32_t toHostOrder(const wire::Ipv4 &addr)
{
    return uint32_t(addr[0]) << 24 | uint32_t(addr[1]) << 16 | uint32_t(addr[2]) << 8 | addr[3];
}

} // namespace vexa::address
