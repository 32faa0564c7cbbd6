#pragma once

#include "vexadeviceinfo.h"

#include <vexa.h>

#include <cstring>
#include <string_view>

// Reports and records built by hand, byte for byte, as the library would hand them over.

template <size_t N>
inline void PutText(char (&field)[N], std::string_view text)
{
    std::memset(field, 0, N);
    std::memcpy(field, text.data(), std::min(text.size(), N));
}

inline VEXA_DEVICE_REPORT MakeReport(int eventCode, std::string_view serial = "VX-1001",
                                     std::string_view mac = "00:11:22:33:44:55", int typeCode = 0x1001)
{
    VEXA_DEVICE_REPORT report;
    std::memset(&report, 0, sizeof report);
    PutText(report.protocol, "VXDP/1");
    PutText(report.serialNo, serial);
    PutText(report.macAddr, mac);
    PutText(report.ipv4Addr, "192.168.1.64");
    PutText(report.ipv4Mask, "255.255.255.0");
    report.typeCode = typeCode;
    report.port = 8000;
    report.channelCount = 4;
    report.extraValue = 80;
    PutText(report.softwareVersion, "V5.4.0 build 160530");
    PutText(report.dspVersion, "V7.3 build 160511");
    PutText(report.startTime, "2024-05-01 08:00:00");
    report.eventCode = eventCode;
    PutText(report.typeName, "VXC-B120");
    PutText(report.sourceAddr, "192.168.1.64");
    PutText(report.ipv4Gateway, "192.168.1.1");
    PutText(report.ipv6Addr, "fe80::211:22ff:fe33:4455");
    PutText(report.ipv6Gateway, "fe80::1");
    report.ipv6PrefixLen = 64;
    report.capabilities = 0x07;
    report.dhcpOn = 1;
    report.extInfo = 1;
    return report;
}

inline VEXA_DEVICE_INFO_MY MakeRecord(std::string_view serial, std::string_view mac,
                                      std::string_view ipv4 = "192.168.1.64")
{
    VEXA_DEVICE_INFO_MY record;
    std::memset(&record, 0, sizeof record);
    PutText(record.serialNo, serial);
    PutText(record.macAddr, mac);
    PutText(record.ipv4Addr, ipv4);
    PutText(record.ipv4Mask, "255.255.255.0");
    record.typeCode = 0x1001;
    record.port = 80;
    record.channelCount = 4;
    PutText(record.softwareVersion, "V5.4.0");
    PutText(record.dspVersion, "V7.3");
    PutText(record.startTime, "2024-05-01 08:00:00");
    PutText(record.typeName, "VXC-B120");
    PutText(record.ipv4Gateway, "192.168.1.1");
    PutText(record.ipv6Addr, "fe80::1:2");
    PutText(record.ipv6Gateway, "fe80::1");
    record.ipv6PrefixLen = 64;
    record.capabilities = 0x07;
    record.dhcpOn = 1;
    record.extInfo = 1;
    record.valid = 1;
    return record;
}
