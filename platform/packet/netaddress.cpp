#include "netaddress.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace packet {

Address Address::v4NetworkOrder(uint32_t value)
{
    std::array<uint8_t, 4> bytes;
    std::memcpy(bytes.data(), &value, bytes.size());
    return v4(bytes);
}

uint32_t Address::v4NetworkOrder() const
{
    uint32_t value = 0;
    if (isV4())
        std::memcpy(&value, m_bytes.data() + 12, sizeof value);
    return value;
}

uint32_t Address::v4HostOrder() const
{
    return isV4() ? uint32_t(m_bytes[12]) << 24 | uint32_t(m_bytes[13]) << 16 | uint32_t(m_bytes[14]) << 8 | m_bytes[15]
                  : 0;
}

std::array<uint8_t, 4> Address::v4Bytes() const
{
    std::array<uint8_t, 4> bytes{};
    if (isV4())
        std::copy(m_bytes.begin() + 12, m_bytes.end(), bytes.begin());
    return bytes;
}

bool Address::isMulticast() const
{
    return isV4() ? (m_bytes[12] & 0xF0) == 0xE0 : isV6() && m_bytes[0] == 0xFF;
}

bool Address::isUnspecified() const
{
    const auto first = m_bytes.begin() + (isV4() ? 12 : 0);
    return !isNone() && std::all_of(first, m_bytes.end(), [](uint8_t b) { return b == 0; });
}

std::string Address::toString() const
{
    char text[INET6_ADDRSTRLEN] = "";
    if (isV4())
        inet_ntop(AF_INET, m_bytes.data() + 12, text, sizeof text);
    else if (isV6())
        inet_ntop(AF_INET6, m_bytes.data(), text, sizeof text);
    std::string result = text;
    if (m_scope != 0)
        result += "%" + std::to_string(m_scope);
    return result;
}

size_t AddressHash::operator()(const Address &address) const
{
    // FNV-1a over what tells addresses apart: cheap, and spreads the last bytes of a subnet well.
    uint64_t h = 1469598103934665603ull;
    const auto mix = [&h](uint8_t b) { h = (h ^ b) * 1099511628211ull; };
    for (uint8_t b : address.bytes())
        mix(b);
    for (int shift = 0; shift < 32; shift += 8)
        mix(uint8_t(address.scope() >> shift));
    mix(uint8_t(address.family()));
    return size_t(h);
}

} // namespace packet
