#include "vexareportcallback.h"

#include <vexa.h>

#include <algorithm>
#include <cstring>

namespace {

// A tested text counts as terminated when its NUL lies within this many bytes.
constexpr size_t kTerminationWindow = 64;

constexpr size_t kTestedTexts[] = {
    offsetof(VEXA_DEVICE_REPORT, protocol),        offsetof(VEXA_DEVICE_REPORT, serialNo),
    offsetof(VEXA_DEVICE_REPORT, macAddr),         offsetof(VEXA_DEVICE_REPORT, ipv4Addr),
    offsetof(VEXA_DEVICE_REPORT, ipv4Mask),        offsetof(VEXA_DEVICE_REPORT, softwareVersion),
    offsetof(VEXA_DEVICE_REPORT, dspVersion),      offsetof(VEXA_DEVICE_REPORT, startTime),
};
static_assert(std::ranges::all_of(kTestedTexts,
                                  [](size_t offset) {
                                      return offset + kTerminationWindow <= sizeof(VEXA_DEVICE_REPORT);
                                  }),
              "the termination window must stay inside the report");

template <size_t To, size_t From>
void CopyField(char (&to)[To], const char (&from)[From])
{
    static_assert(To == From, "record and report text fields have the same width");
    std::memcpy(to, from, To);
}

bool InRange(unsigned int code, unsigned int first, unsigned int last)
{
    return code >= first && code <= last;
}

} // namespace

bool IsDeviceFiltered(int mode, unsigned int code)
{
    const bool family = InRange(code, 0x4900, 0x49FF) || InRange(code, 0x5900, 0x59FF)
        || InRange(code, 0x9E00, 0x9EFF);
    const bool recorder = InRange(code, 0x9F00, 0x9FFF);
    switch (mode) {
    case 1:
        return family || recorder;
    case 2:
        return !recorder;
    case 3:
        return !family;
    default:
        return false;
    }
}

bool HasTerminatedText(const VEXA_DEVICE_REPORT &report)
{
    const auto *bytes = reinterpret_cast<const char *>(&report);
    return std::ranges::any_of(kTestedTexts, [bytes](size_t offset) {
        return ::strnlen(bytes + offset, kTerminationWindow) < kTerminationWindow;
    });
}

VexaReportPath ClassifyReport(const VEXA_DEVICE_REPORT *report)
{
    if (!report || !HasTerminatedText(*report))
        return VexaReportPath::Ignored;
    switch (report->eventCode) {
    case VEXA_EVENT_ONLINE:
    case VEXA_EVENT_ANNOUNCE:
        return VexaReportPath::Online;
    case VEXA_EVENT_UPDATE:
        return VexaReportPath::Update;
    case VEXA_EVENT_OFFLINE:
        return VexaReportPath::Offline;
    default:
        return VexaReportPath::Ignored;
    }
}

VEXA_DEVICE_INFO_MY BuildDeviceRecord(const VEXA_DEVICE_REPORT &report)
{
    VEXA_DEVICE_INFO_MY record;
    std::memset(&record, 0, sizeof record);
    CopyField(record.serialNo, report.serialNo);
    CopyField(record.macAddr, report.macAddr);
    CopyField(record.ipv4Addr, report.ipv4Addr);
    CopyField(record.ipv4Mask, report.ipv4Mask);
    record.typeCode = report.typeCode;
    record.port = report.port;
    record.channelCount = report.channelCount;
    record.extraValue = report.extraValue;
    CopyField(record.softwareVersion, report.softwareVersion);
    CopyField(record.dspVersion, report.dspVersion);
    CopyField(record.startTime, report.startTime);
    CopyField(record.typeName, report.typeName);
    CopyField(record.ipv4Gateway, report.ipv4Gateway);
    CopyField(record.ipv6Addr, report.ipv6Addr);
    CopyField(record.ipv6Gateway, report.ipv6Gateway);
    record.ipv6PrefixLen = report.ipv6PrefixLen;
    record.capabilities = report.capabilities;
    record.dhcpOn = report.dhcpOn;
    record.extInfo = report.extInfo;
    record.valid = 1;
    return record;
}
