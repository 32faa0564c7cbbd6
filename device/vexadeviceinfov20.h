#pragma once

#include <QMetaType>

#include <cstddef>
#include <cstdint>

/**
 * The older edition's record of one device: the same fields, from the same
 * places of the report, as the main edition's record, without its two
 * reserved areas. Zero-filled before it is written; text fields are 8-bit
 * and may fill their width without a terminator.
 */
struct VEXA_DEVICE_INFO {
    char serialNo[48];
    char macAddr[20];
    char ipv4Addr[16];
    char ipv4Mask[16];
    int32_t typeCode;
    int32_t port;
    int32_t channelCount;
    int32_t extraValue;
    char softwareVersion[48];
    char dspVersion[48];
    char startTime[48];
    char typeName[24];
    char ipv4Gateway[16];
    char ipv6Addr[46];
    char ipv6Gateway[46];
    uint8_t ipv6PrefixLen;
    uint8_t capabilities; ///< bit 0 IPv6, bit 1 IPv6 modifiable, bit 2 DHCP
    uint8_t dhcpOn;
    uint8_t extInfo;      ///< 1: gateway, IPv6 fields, capabilities and DHCP are meaningful
    uint8_t valid;
};

static_assert(sizeof(VEXA_DEVICE_INFO) == 400, "record layout is fixed");
static_assert(offsetof(VEXA_DEVICE_INFO, serialNo) == 0);
static_assert(offsetof(VEXA_DEVICE_INFO, macAddr) == 48);
static_assert(offsetof(VEXA_DEVICE_INFO, ipv4Addr) == 68);
static_assert(offsetof(VEXA_DEVICE_INFO, ipv4Mask) == 84);
static_assert(offsetof(VEXA_DEVICE_INFO, typeCode) == 100);
static_assert(offsetof(VEXA_DEVICE_INFO, port) == 104);
static_assert(offsetof(VEXA_DEVICE_INFO, channelCount) == 108);
static_assert(offsetof(VEXA_DEVICE_INFO, extraValue) == 112);
static_assert(offsetof(VEXA_DEVICE_INFO, softwareVersion) == 116);
static_assert(offsetof(VEXA_DEVICE_INFO, dspVersion) == 164);
static_assert(offsetof(VEXA_DEVICE_INFO, startTime) == 212);
static_assert(offsetof(VEXA_DEVICE_INFO, typeName) == 260);
static_assert(offsetof(VEXA_DEVICE_INFO, ipv4Gateway) == 284);
static_assert(offsetof(VEXA_DEVICE_INFO, ipv6Addr) == 300);
static_assert(offsetof(VEXA_DEVICE_INFO, ipv6Gateway) == 346);
static_assert(offsetof(VEXA_DEVICE_INFO, ipv6PrefixLen) == 392);
static_assert(offsetof(VEXA_DEVICE_INFO, capabilities) == 393);
static_assert(offsetof(VEXA_DEVICE_INFO, dhcpOn) == 394);
static_assert(offsetof(VEXA_DEVICE_INFO, extInfo) == 395);
static_assert(offsetof(VEXA_DEVICE_INFO, valid) == 396);

// The device code shared with the main edition names its record
// VEXA_DEVICE_INFO_MY; in this edition that is this record.
using VEXA_DEVICE_INFO_MY = VEXA_DEVICE_INFO;

Q_DECLARE_METATYPE(VEXA_DEVICE_INFO)

/** Registers the record for queued connections under its own name; safe to call more than once. */
inline void RegisterVexaDeviceInfoType()
{
    qRegisterMetaType<VEXA_DEVICE_INFO>("VEXA_DEVICE_INFO");
}
