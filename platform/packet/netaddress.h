#pragma once

// One network address as every layer above the packet driver carries it: its
// family, its 16 bytes and, for a link-local IPv6 address, the interface it
// is reachable through. An IPv4 address is held IPv4-mapped (::ffff:a.b.c.d),
// so the bytes are always a valid IPv6 form and no byte order travels with
// the value: the driver's network-order integers are turned into an Address
// at the one place that calls the driver (transport.h).

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace packet {

enum class Family : uint8_t { None, V4, V6 };

class Address final
{
public:
    using Bytes = std::array<uint8_t, 16>;

    /** No address (Family::None): what a receive reports when the kernel said nothing. */
    constexpr Address() = default;

    /** a.b.c.d from its four bytes in the order written. */
    static constexpr Address v4(std::span<const uint8_t, 4> bytes)
    {
        Address a;
        a.m_family = Family::V4;
        a.m_bytes[10] = a.m_bytes[11] = 0xFF;
        for (size_t i = 0; i < 4; ++i)
            a.m_bytes[12 + i] = bytes[i];
        return a;
    }
    /** From a value as struct in_addr holds it (network byte order): the driver's form. */
    static Address v4NetworkOrder(uint32_t value);
    /** From a value whose most significant byte is the first written (0x7F000001 is 127.0.0.1). */
    static constexpr Address v4HostOrder(uint32_t value)
    {
        const std::array<uint8_t, 4> bytes{uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8),
                                           uint8_t(value)};
        return v4(bytes);
    }
    /** An IPv6 address; `scope` is the interface index a link-local address needs, else 0. */
    static constexpr Address v6(std::span<const uint8_t, 16> bytes, uint32_t scope = 0)
    {
        Address a;
        a.m_family = Family::V6;
        for (size_t i = 0; i < 16; ++i)
            a.m_bytes[i] = bytes[i];
        a.m_scope = scope;
        return a;
    }

    Family family() const { return m_family; }
    bool isV4() const { return m_family == Family::V4; }
    bool isV6() const { return m_family == Family::V6; }
    bool isNone() const { return m_family == Family::None; }
    /** The 16 bytes: IPv4-mapped for an IPv4 address, all zero for none. */
    const Bytes &bytes() const { return m_bytes; }
    uint32_t scope() const { return m_scope; }

    /** The IPv4 value in network byte order (the driver's form); 0 unless isV4(). */
    uint32_t v4NetworkOrder() const;
    /** The IPv4 value with the first written byte most significant; 0 unless isV4(). */
    uint32_t v4HostOrder() const;
    /** The four bytes of an IPv4 address in the order written; zero unless isV4(). */
    std::array<uint8_t, 4> v4Bytes() const;

    /** 224.0.0.0/4 or ff00::/8. */
    bool isMulticast() const;
    /** 0.0.0.0 or ::, of either family. */
    bool isUnspecified() const;

    /** Dotted decimal, RFC 5952 text with "%scope" when it has one, or "" for none. */
    std::string toString() const;

    friend auto operator<=>(const Address &, const Address &) = default;
    friend bool operator==(const Address &, const Address &) = default;

private:
    Family m_family = Family::None;
    uint32_t m_scope = 0;
    Bytes m_bytes{};
};

/** For unordered containers keyed by address. */
struct AddressHash {
    size_t operator()(const Address &address) const;
};

} // namespace packet
