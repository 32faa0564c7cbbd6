#pragma once

#include "devicecelltexts.h"
#include "devicerecordlist.h"
#include "devicerowindex.h"
#include "qtvexaitems.h"
#include "vexadevice_export.h"

#include <QList>
#include <QStandardItemModel>

#include <optional>

class QColor;

/**
 * The device table: one row per listed device, 19 columns. A row built from
 * a record shows the record the page's DeviceRecordList keeps for it
 * (RecordAt), and an index (DeviceRowIndex) finds a device's rows and the
 * rows at an address at a cost per event independent of the table size.
 *
 * Only the cells that need an item have one: "ID", "Serial Number" (the
 * row's anchor, CRowItem) and the address cells. The other texts of a row
 * live in its anchor and are served by data(); a write to such a cell
 * through setData() gives it an item of its own, whose data wins from then on.
 *
 * The "ID" column shows each row's 1-based position after every
 * renumbering; while no sort or insertion before the end has moved rows
 * since, those texts are derived from the row (RowIds) instead of being
 * rewritten in every cell, so removing a device costs the same at any table
 * size.
 *
 * Rows whose IPv4 address a row of another device also shows are marked (a
 * warning background and a tool tip naming the other devices).
 */
class VEXADEVICE_EXPORT QtVexaItemModel final : public QStandardItemModel
{
    Q_OBJECT

public:
    using enum DeviceColumn;

    /** `records` keeps the records of the rows; it must outlive the model. */
    explicit QtVexaItemModel(DeviceRecordList &records, QObject *parent = nullptr);
    ~QtVexaItemModel() override;

    /** Default pixel width of a column, for the view. */
    static int ColumnWidth(int column);

    /**
     * Appends a row for each record, in order, in one insertion: views hear
     * of the run once, with every row complete. The records move into the
     * list. Returns the first new row.
     */
    int AppendDeviceRows(DeviceRecordList::Records &&records);
    /** Appends a row for a copy of `record` and returns its index. */
    int AppendDeviceRow(const VEXA_DEVICE_INFO_MY &record);
    /** Writes every cell of an existing row, and the record it shows, from `record`. */
    void SetRowData(int row, const VEXA_DEVICE_INFO_MY &record);
    /**
     * After a modification: the address cells and the record of the row.
     * A null ipv4 does nothing; a null mask or gateway keeps that cell.
     */
    void UpdateRowNetParam(int row, const char *ipv4, const char *mask, int port, const char *gateway);
    /**
     * Removes every row of the device with its record, then writes every
     * remaining row's position into "ID" (one dataChanged for the column).
     * Returns the number of rows removed.
     */
    int RemoveDeviceRows(const DeviceId &device);

    /** The record the row shows; null for a row not built from one. */
    const VEXA_DEVICE_INFO_MY *RecordAt(int row) const;
    /** The device's rows, ascending. */
    QList<int> RowsOf(const DeviceId &device) const;
    /** The first of them, or -1. */
    int FirstRowOf(const DeviceId &device) const;
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
    bool insertRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;
    bool removeRows(int row, int count, const QModelIndex &parent = QModelIndex()) override;

private:
    /** The row's anchor when the row was built from a record, or null. */
    CRowItem *AnchorOf(int row) const;
    /** The anchor that keeps the text of an item-less cell, or null. */
    CRowItem *RowItemOf(const QModelIndex &index) const;
    /** The text of an item-less cell, invalid if it has none. */
    QVariant StoredText(const CRowItem &anchor, int column) const;
    /** Gives an item-less cell an item holding its stored text. */
    void Materialize(int row, int column);
    /** Writes a cell's text wherever it lives, with no signal. */
    void WriteCell(int row, int column, const QString &text);
    /** Replaces the cell by a CIpStandardItem if it is not one. */
    void SetIpText(int row, int column, const QString &text);
    void EnsureIdCell(int row);
    QStandardItem *NewIdCell(int row) const;
    /** The cells of a new row for the record, its anchor filed in the index. */
    QList<QStandardItem *> NewRow(int row, DeviceRecordList::Handle record);
    void NotifyRowChanged(int row);
    /** Stores every "ID" text in its cell: from now on the texts move with their rows. */
    void PinIds();
    /** What every write through QStandardItemModel's setters does first, and after. */
    void BeforeCellWrite(const QModelIndex &index, bool text);
    void AfterCellWrite(const QModelIndex &index, bool text);

    /** The row's "IPv4 Address" as a number; nothing when it is no address. */
    std::optional<quint32> AddressAt(int row) const;
    /** Tells views about rows whose mark changed: their background and tool tip. */
    void RepaintMarkedRows();
    QString ConflictToolTip(const QStandardItem *anchor) const;
    /** The hint of a row no local subnet reaches, empty for the others. */
    QString ReachabilityToolTip(int row) const;
    /** The overlay of a cell for the background and tool-tip roles, invalid for the others. */
    QVariant MarkData(const QModelIndex &index, int role) const;

    // The model's state and what holds between any two calls. The write
    // functions above and the overrides keep it; rows changed through
    // QStandardItem's own functions (an item's setText, setItem, takeRow,
    // clear) are outside it and must not touch the anchors or the "ID" and
    // address cells of rows built here.
    //
    // Cells. A row whose "Serial Number" item is a CRowItem keeps each other
    // cell's text either in an item of the cell or in the anchor (formatted
    // from its record where IsFromRecord), never both. setData, setItemData,
    // clearItemData and sort give a cell its own item first (Materialize).
    //
    // Records. Every anchor's record lies in m_records, and every record
    // there belongs to exactly one anchor; removeRows drops the records of
    // the rows it removes.
    //
    // IDs. While m_ids follows the rows, each CRowIdItem shows its row's
    // position. Sorting, rows inserted before the end, rows removed by anyone
    // but RemoveDeviceRows, and a write to an "ID" text pin the texts
    // (PinIds); RemoveDeviceRows renumbers and follows the rows again.
    //
    // Index. Every row built or written from a record is filed in m_index
    // under its record's identity and its "IPv4 Address" cell's address;
    // removed rows leave it. Rows whose mark changed wait there until
    // RepaintMarkedRows tells the views.
    DeviceRecordList &m_records;
    const DeviceCellTexts m_texts;
    RowIds m_ids;
    bool m_removingOwnRows = false;
    DeviceRowIndex m_index;
    QList<Subnet> m_localSubnets;
};
