#pragma once

#include "vexadevice_export.h"
// Included, not declared: in the older edition the record's name is an alias.
#include "vexadeviceinfo.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QVarLengthArray>

#include <QStandardItemModel>

#include <utility>

class QColor;
class CRowIdItem;
class CRowItem;

/**
 * The device table: one row per online device, 19 columns. Rows are written
 * from device records; a hash from (serial, MAC) to the rows keeps per-event
 * lookups independent of the table size.
 *
 * Only the cells that need an item have one: "ID", "Serial Number" and the
 * address cells. The other texts of a row live in its "Serial Number" item
 * and are served by data(); a write to such a cell through setData() gives
 * it an item of its own, whose data wins from then on.
 *
 * The "ID" column shows each row's 1-based position after every
 * renumbering; while no sort or foreign insertion has moved rows since,
 * those texts are derived from the row instead of being rewritten in every
 * cell, so removing a device costs the same at any table size.
 *
 * Rows whose IPv4 address another device's row also shows are marked (a
 * warning background and a tool tip naming the other devices). An index by
 * address keeps the marks current at a cost per event that does not grow
 * with the table, nor with the number of devices sharing one address.
 */
class VEXADEVICE_EXPORT QtVexaItemModel final : public QStandardItemModel
{
    Q_OBJECT

public:
    enum Column {
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

    explicit QtVexaItemModel(QObject *parent = nullptr);
    ~QtVexaItemModel() override;

    /** Default pixel width of a column, for the view. */
    static int ColumnWidth(int column);

    /** Writes every cell of an existing row from a record. */
    void SetRowData(int row, const VEXA_DEVICE_INFO_MY &record);
    /** Rewrites the address cells after a modification; null ipv4 does nothing, null mask or gateway keeps that cell. */
    void UpdateRowNetParam(int row, const char *ipv4, const char *mask, int port, const char *gateway);
    /** Appends a fully written row in one insertion and returns its index. */
    int AppendDeviceRow(const VEXA_DEVICE_INFO_MY &record);

    /** Rows whose "Serial Number" and "MAC" texts are `serial` and `mac`, ascending. */
    QList<int> RowsOf(const QString &serial, const QString &mac) const;
    /** First such row, or -1. */
    int FirstRowOf(const QString &serial, const QString &mac) const;
    /** Rows whose "IPv4 Address" is `ipv4` (compared in plain dotted decimal), ascending. */
    QList<int> RowsAtAddress(const QString &ipv4) const;
    /** Whether another device's row shows the same IPv4 address as `row`. */
    bool HasAddressConflict(int row) const;
    /** The background of marked rows: amber, half transparent, so it reads on light and dark bases. */
    static QColor ConflictColor();

    /** An IPv4 subnet of an interface discovery runs on; host byte order. */
    struct Subnet {
        quint32 address = 0;
        quint32 mask = 0;
    };
    /**
     * The subnets this computer reaches devices in. A row whose address lies
     * in none of them has a tool tip saying its web page cannot be reached
     * from here and which subnet would reach it. None known: no such hint.
     */
    void SetLocalSubnets(const QList<Subnet> &subnets);
    /**
     * Removes every row of the device, then writes every remaining row's
     * position into "ID" (one dataChanged for the column). Returns the
     * number of rows removed.
     */
    int RemoveDeviceRows(const QString &serial, const QString &mac);

    /**
     * Only "Serial Number" cells are editable. The rule lives here rather
     * than in flags stored by each item, which would cost an
     * extra data entry per cell.
     */
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    void multiData(const QModelIndex &index, QModelRoleDataSpan roleDataSpan) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    bool setItemData(const QModelIndex &index, const QMap<int, QVariant> &roles) override;
    bool clearItemData(const QModelIndex &index) override;
    /** Includes the texts that text and "ID" cells keep outside QStandardItem's role list. */
    QMap<int, QVariant> itemData(const QModelIndex &index) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    friend class CRowIdItem;
    friend class CRowItem;

    /** The row item that keeps the text of an item-less cell, or null. */
    CRowItem *RowItemOf(const QModelIndex &index) const;
    /** The text of an item-less cell, invalid if it has none. */
    QVariant StoredText(const CRowItem &rowItem, int column) const;
    /** Gives an item-less cell an item holding its stored text. */
    void Materialize(int row, int column);
    /** Writes a cell's text wherever it lives, with no signal. */
    void WriteCell(int row, int column, const QString &text);

    /** A record's text for a column other than "ID"; empty where the record writes nothing. */
    QString CellText(const VEXA_DEVICE_INFO_MY &record, int column) const;
    /** Replaces the cell by a CIpStandardItem if it is not one. */
    void SetIpText(int row, int column, const QString &text);
    void EnsureIdCell(int row);
    QStandardItem *NewIdCell(int row) const;
    void NotifyRowChanged(int row);
    QString IdTextOf(const QStandardItem *idItem) const;
    void PinIds();
    void IndexRow(int row);
    void AddToIndex(QStandardItem *anchor, const QString &key);
    void UnindexRow(int row);

    /** Files the row under its current address (and device), marking rows whose conflict state changes. */
    void IndexAddress(int row);
    void UnindexAddress(const QStandardItem *anchor);
    /** Tells views about rows whose mark changed: their background and tool tip. */
    void RepaintMarkedRows();
    QString ConflictToolTip(const QStandardItem *anchor) const;
    /** The hint of a row no local subnet reaches, empty for the others. */
    QString ReachabilityToolTip(int row) const;
    /** The overlay of a cell for the background and tool-tip roles, invalid for the others. */
    QVariant MarkData(const QModelIndex &index, int role) const;

    const QString m_yes;
    const QString m_no;
    const QString m_on;
    const QString m_off;

    // The model's state and what holds between any two calls. Every
    // override above, the item classes (qtvexaitems.h) and the slots the
    // constructor connects keep it; modelReset returns to the empty state.
    //
    // Cells. A row whose "Serial Number" item is a CRowItem keeps each other
    // cell's text either in an item of the cell or in the CRowItem (formatted
    // from its record where IsFromRecord), never both. setData, setItemData,
    // clearItemData and sort give a cell its own item first (Materialize).
    //
    // IDs. While m_idsFollowRows, each CRowIdItem shows its row's position,
    // counting the rows of m_pendingRemoved as still present; otherwise it
    // shows its stored text. Sorting, rows inserted before the end, rows
    // removed by anyone but RemoveDeviceRows, and a write to an "ID" text
    // pin the texts (PinIds: stored, then m_idsFollowRows false);
    // RemoveDeviceRows renumbers and sets it true again. m_removingOwnRows is
    // true and m_pendingRemoved non-empty only inside RemoveDeviceRows.
    //
    // Device index. m_rowsByDevice and m_deviceOfRow are each other's
    // inverse over the "Serial Number" items, filed by DeviceKey of the texts
    // AppendDeviceRow or SetRowData last wrote; a removed row leaves both.
    //
    // Address index. A row is in m_addressOfRow exactly when its anchor is in
    // m_rowsByAddress[address].rows; m_rowsOfDeviceAtAddress counts those
    // rows per (address, device) and each bucket's `devices` counts the
    // pairs at its address. A row is marked exactly when its bucket has more
    // than one device. Rows whose mark changed wait in m_marksChanged until
    // RepaintMarkedRows tells the views.
    bool m_idsFollowRows = true;
    /** Original positions of the rows RemoveDeviceRows has removed and not yet renumbered, ascending. */
    QList<int> m_pendingRemoved;
    bool m_removingOwnRows = false;
    /** "serial\0mac" -> the "Serial Number" items of the device's rows. */
    QHash<QString, QList<QStandardItem *>> m_rowsByDevice;
    /** "Serial Number" item -> its key in m_rowsByDevice. */
    QHash<const QStandardItem *, QString> m_deviceOfRow;

    // Kept small: most addresses hold one row, and every device has one.
    // Addresses are kept as numbers and device keys are shared with
    // m_deviceOfRow, so the index costs no text of its own per row.
    struct AddressBucket {
        QVarLengthArray<QStandardItem *, 1> rows;
        int devices = 0;
    };
    struct AddressOfRow {
        quint32 address = 0;
        QString device;
    };
    /** IPv4 address -> the "Serial Number" items of the rows showing it. */
    QHash<quint32, AddressBucket> m_rowsByAddress;
    QHash<std::pair<quint32, QString>, int> m_rowsOfDeviceAtAddress;
    QHash<const QStandardItem *, AddressOfRow> m_addressOfRow;
    QSet<QStandardItem *> m_marksChanged;
    QList<Subnet> m_localSubnets;
};
