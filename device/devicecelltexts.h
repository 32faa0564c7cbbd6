#pragma once

#include "vexadevice_export.h"
// Included, not declared: in the older edition the record's name is an alias.
#include "vexadeviceinfo.h"

#include <QString>

/** The device table's 19 columns, in the order the table shows them. */
enum DeviceColumn : int {
    ColumnId,
    ColumnType,
    ColumnIpv4Addr,
    ColumnPort,
    ColumnSoftVersion,
    ColumnIpv4Gateway,
    ColumnSerial,
    ColumnIpv4Mask,
    ColumnMac,
    ColumnChannels,
    ColumnDspVersion,
    ColumnStartTime,
    ColumnIpv6Addr,
    ColumnIpv6Gateway,
    ColumnIpv6Prefix,
    ColumnSupportIpv6,
    ColumnSupportModIpv6,
    ColumnSupportDhcp,
    ColumnIpv4Dhcp,
    ColumnCount
};

/**
 * The texts a device record gives the table's cells. One per table: the
 * yes/no and on/off words are translated once and shared by every cell.
 */
class VEXADEVICE_EXPORT DeviceCellTexts final
{
public:
    DeviceCellTexts();

    /** A record's text for a column other than "ID"; empty where the record writes nothing. */
    QString Of(const VEXA_DEVICE_INFO_MY &record, int column) const;

    /** Whether a record writes the column: the extended columns only when its extInfo is 0 (emptied) or 1. */
    static bool Writes(const VEXA_DEVICE_INFO_MY &record, int column);
    /**
     * Whether the record makes the column an address cell (sorted by value):
     * address and mask always, the gateway only from a record that carries one.
     */
    static bool IsAddressCell(const VEXA_DEVICE_INFO_MY &record, int column);
    /** `value` as printf's "%0<width>d" (fill '0') or "%<width>d" (fill ' '). */
    static QString Padded(int value, int width, char fill);

private:
    QString m_yes;
    QString m_no;
    QString m_on;
    QString m_off;
};

/**
 * printf's "%0<width>d" (fill '0') or "%<width>d" (fill ' ') into `out`,
 * which holds at least 12 + width characters; returns the end. A table row
 * formats several numbers, and printf's parsing cost more than the rest of
 * the row's texts together.
 */
char *FormatPadded(char *out, int value, int width, char fill);
