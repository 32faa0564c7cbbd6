#include "devicecelltexts.h"

#include "recordtext.h"

#include <QCoreApplication>

#include <algorithm>
#include <charconv>

DeviceCellTexts::DeviceCellTexts()
    : m_yes(QCoreApplication::translate("QtVexa", "Yes"))
    , m_no(QCoreApplication::translate("QtVexa", "No"))
    , m_on(QCoreApplication::translate("QtVexa", "ON"))
    , m_off(QCoreApplication::translate("QtVexa", "OFF"))
{
}

QString DeviceCellTexts::Of(const VEXA_DEVICE_INFO_MY &record, int column) const
{
    const bool extended = record.extInfo == 1;
    const bool ipv6 = extended && HasIpv6(record);
    switch (column) {
    case ColumnType: return FieldText(record.typeName);
    case ColumnIpv4Addr: return FieldText(record.ipv4Addr);
    case ColumnPort: return Padded(record.port, 5, ' ');
    case ColumnSoftVersion: return FieldText(record.softwareVersion);
    case ColumnIpv4Gateway: return extended ? FieldText(record.ipv4Gateway) : QString();
    case ColumnSerial: return FieldText(record.serialNo);
    case ColumnIpv4Mask: return FieldText(record.ipv4Mask);
    case ColumnMac: return FieldText(record.macAddr);
    case ColumnChannels: return Padded(record.channelCount, 2, ' ');
    case ColumnDspVersion: return FieldText(record.dspVersion);
    case ColumnStartTime: return FieldText(record.startTime);
    case ColumnIpv6Addr: return ipv6 ? FieldText(record.ipv6Addr) : QString();
    case ColumnIpv6Gateway: return ipv6 ? FieldText(record.ipv6Gateway) : QString();
    case ColumnIpv6Prefix: return ipv6 ? Padded(record.ipv6PrefixLen, 2, ' ') : QString();
    case ColumnSupportIpv6: return !extended ? QString() : ipv6 ? m_yes : m_no;
    case ColumnSupportModIpv6: return !extended ? QString() : CanModifyIpv6(record) ? m_yes : m_no;
    case ColumnSupportDhcp: return !extended ? QString() : HasDhcp(record) ? m_yes : m_no;
    case ColumnIpv4Dhcp: return !extended ? QString() : record.dhcpOn == 1 ? m_on : m_off;
    default: return QString();
    }
}

bool DeviceCellTexts::Writes(const VEXA_DEVICE_INFO_MY &record, int column)
{
    const bool extended = column == ColumnIpv4Gateway || column >= ColumnIpv6Addr;
    // Any other extInfo leaves the extended cells as they are.
    return !extended || record.extInfo == 0 || record.extInfo == 1;
}

bool DeviceCellTexts::IsAddressCell(const VEXA_DEVICE_INFO_MY &record, int column)
{
    return column == ColumnIpv4Addr || column == ColumnIpv4Mask
        || (column == ColumnIpv4Gateway && record.extInfo == 1);
}

QString DeviceCellTexts::Padded(int value, int width, char fill)
{
    char text[32];
    return QString::fromLatin1(text, FormatPadded(text, value, std::min(width, 16), fill) - text);
}

char *FormatPadded(char *out, int value, int width, char fill)
{
    char digits[12];
    char *end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    const char *first = digits;
    if (fill == '0' && value < 0)
        *out++ = *first++, --width;
    for (auto length = end - first; length < width; ++length)
        *out++ = fill;
    return std::copy(first, static_cast<const char *>(end), out);
}
