#include "deviceinfo.h"

#include <vexa/address.h>

#include <arpa/inet.h>

#include <cstring>

namespace deviceside {

std::optional<uint32_t> parseIpv4(std::string_view text)
{
    const auto bytes = vexa::address::parseIpv4(text);
    if (!bytes)
        return std::nullopt;
    uint32_t addr;
    std::memcpy(&addr, bytes->data(), sizeof addr);
    return addr;
}

std::string formatIpv4(uint32_t networkOrder)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &networkOrder, text, sizeof text);
    return text;
}

unsigned maskPrefix(std::string_view mask)
{
    const auto value = parseIpv4(mask);
    return value ? unsigned(__builtin_popcount(*value)) : 0;
}

bool isValidMask(uint32_t networkOrder)
{
    const uint32_t mask = ntohl(networkOrder);
    // Contiguous ones from the top: the inverted mask plus one is a power of two.
    const uint32_t inverted = ~mask;
    return mask != 0 && (inverted & (inverted + 1)) == 0;
}

bool isUnicastIpv4(uint32_t networkOrder)
{
    const uint32_t a = ntohl(networkOrder);
    const uint32_t first = a >> 24;
    return a != 0 && a != 0xFFFFFFFFu && first != 127 && first < 224;
}

std::optional<std::string> canonicalMac(std::string_view text)
{
    const auto mac = vexa::address::parseMac(text);
    return mac ? std::optional(vexa::address::formatMac(*mac)) : std::nullopt;
}

std::optional<std::string> canonicalIpv6(std::string_view text)
{
    const auto addr = vexa::address::parseIpv6(text);
    return addr ? std::optional(vexa::address::formatIpv6(*addr)) : std::nullopt;
}

} // namespace deviceside
