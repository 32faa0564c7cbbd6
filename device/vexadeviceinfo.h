#pragma once

#include <QMetaType>

#include <cstddef>
#include <cstdint>

#ifdef VEXA_OLDER_EDITION
// The older edition's record; the shared code names it by the name below.
#include "vexadeviceinfov20.h"
#else
/**
 * The tool's own record of one device, built from a discovery report.
 *
 * A plain fixed-layout value: the page's signals carry it by value across
 * threads and the page keeps copies of it. Text fields are 8-bit and copied
 * at full width from the report, so a field may fill its width without a
 * terminator: read them bounded by the field width.
 */
struct VEXA_DEVICE_INFO_MY {
    char serialNo[48];
    char macAddr[20];
    char ipv4Addr[16];
    char ipv4Mask[16];
    int32_t typeCode;
    int32_t port;
    int32_t reserved1;
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
    uint8_t reserved2[131];
};

static_assert(sizeof(VEXA_DEVICE_INFO_MY) == 532, "record layout is fixed");
static_assert(offsetof(VEXA_DEVICE_INFO_MY, serialNo) == 0);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, macAddr) == 48);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, ipv4Addr) == 68);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, ipv4Mask) == 84);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, typeCode) == 100);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, port) == 104);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, reserved1) == 108);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, channelCount) == 112);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, extraValue) == 116);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, softwareVersion) == 120);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, dspVersion) == 168);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, startTime) == 216);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, typeName) == 264);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, ipv4Gateway) == 288);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, ipv6Addr) == 304);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, ipv6Gateway) == 350);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, ipv6PrefixLen) == 396);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, capabilities) == 397);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, dhcpOn) == 398);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, extInfo) == 399);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, valid) == 400);
static_assert(offsetof(VEXA_DEVICE_INFO_MY, reserved2) == 401);

Q_DECLARE_METATYPE(VEXA_DEVICE_INFO_MY)

/** Registers the record for queued connections under its own name; safe to call more than once. */
inline void RegisterVexaDeviceInfoType()
{
    qRegisterMetaType<VEXA_DEVICE_INFO_MY>("VEXA_DEVICE_INFO_MY");
}
#endif

// The rules of a device record, named once here; the page, its model and
// Modify all ask these.

/** Capability bit 0: the device speaks IPv6. */
inline bool HasIpv6(const VEXA_DEVICE_INFO_MY &record)
{
    return record.capabilities & 0x01;
}

/** Capability bit 1: the device's IPv6 parameters can be changed. */
inline bool CanModifyIpv6(const VEXA_DEVICE_INFO_MY &record)
{
    return record.capabilities & 0x02;
}

/** Capability bit 2: the device supports DHCP. */
inline bool HasDhcp(const VEXA_DEVICE_INFO_MY &record)
{
    return record.capabilities & 0x04;
}

/** Devices of types 0x9D00 to 0x9FFF show their parameters but cannot be changed here. */
inline bool IsReadOnlyType(int32_t typeCode)
{
    const auto code = static_cast<uint32_t>(typeCode);
    return code >= 0x9D00 && code <= 0x9FFF;
}

/** The service ports a device accepts. */
constexpr int kDevicePortMin = 2000;
constexpr int kDevicePortMax = 65535;
/** The HTTP ports an ONVIF device accepts: its one port, 80 on nearly every camera. */
constexpr int kHttpPortMin = 1;
/** The IPv6 prefix lengths a device accepts. */
constexpr int kIpv6PrefixMin = 0;
constexpr int kIpv6PrefixMax = 64;
