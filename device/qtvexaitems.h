#pragma once

#include "devicecelltexts.h"
#include "devicerecordlist.h"
#include "vexadevice_export.h"

#include <QList>
#include <QStandardItem>

#include <array>

/**
 * Cell of the text and address columns. Its display text lives in a member
 * rather than in QStandardItem's role list: a row is built with no role-list
 * allocations and takes about 1 KB less, the difference between a large
 * site fitting its memory budget or not.
 */
class VEXADEVICE_EXPORT CTextItem : public QStandardItem
{
public:
    explicit CTextItem(const QVariant &display = QVariant());
    ~CTextItem() override;

    QVariant data(int role = Qt::UserRole + 1) const override;
    void setData(const QVariant &value, int role = Qt::UserRole + 1) override;
    void multiData(QModelRoleDataSpan roleDataSpan) const override;
    QStandardItem *clone() const override;

private:
    QVariant m_display;
};

/**
 * Cell of the IPv4 address, mask and gateway columns: sorts dotted addresses
 * by value. The key is built on the first comparison after the text was set
 * and cached: most cells are never compared, and a sort compares each often.
 */
class VEXADEVICE_EXPORT CIpStandardItem final : public CTextItem
{
public:
    explicit CIpStandardItem(const QString &text);
    ~CIpStandardItem() override;

    QStandardItem *clone() const override;
    void setData(const QVariant &value, int role = Qt::UserRole + 1) override;
    bool operator<(const QStandardItem &other) const override;

    /**
     * "%03d%03d%03d%03d" of the first four dot-separated parts. Each part is
     * read as blanks, an optional sign and leading digits (0 without digits);
     * missing parts count as 0, so a short or empty text sorts first.
     */
    static QByteArray SortKey(const QString &text);

private:
    const QByteArray &Key() const;

    mutable QByteArray m_key;
    mutable bool m_keyValid = false;
};

/**
 * What the "ID" cells of one table show. While they follow the rows, each
 * shows its row's 1-based position, counted as it was before the removal in
 * progress, so that a removal alone changes no remaining row's text. Once
 * pinned, each shows the text stored in it. The model owns one and keeps
 * it; its CRowIdItems read it.
 */
class VEXADEVICE_EXPORT RowIds final
{
public:
    bool FollowRows() const { return m_followRows; }
    void SetFollowRows(bool follow) { m_followRows = follow; }
    /**
     * Rows `ascending` of a table of `rowCount` rows are to be removed, from
     * the last up: until EndRemoval, the rows already gone still count.
     */
    void BeginRemoval(QList<int> ascending, int rowCount);
    void EndRemoval();
    /** The position text of the row now at `row` of a table now `rowCount` rows long. */
    QString TextAt(int row, int rowCount) const;

private:
    bool m_followRows = true;
    QList<int> m_removing;
    int m_rowsBeforeRemoval = 0;
};

/**
 * Cell of the "ID" column: its row's position while the table's IDs follow
 * the rows, otherwise the text stored in it.
 */
class CRowIdItem final : public QStandardItem
{
public:
    explicit CRowIdItem(const RowIds &ids) : m_ids(ids) {}

    QVariant data(int role) const override;

private:
    const RowIds &m_ids;
};

/**
 * "Serial Number" cell of a row built from a record, the row's anchor. It
 * holds where the row's record lies in the page's DeviceRecordList, and the
 * texts of the row's cells that have no item: a row of 19 items made
 * removing a row cost a lookup per item that grew with the table. Texts the
 * record writes are formatted from it when asked for: only the rows on
 * screen ever are, and formatting every cell of every arriving row was most
 * of its cost.
 */
class CRowItem final : public CTextItem
{
public:
    static constexpr int Type = QStandardItem::UserType + 1;
    static constexpr int kColumns = ColumnCount;
    /** The serial cell's flags: the only editable cell of a row. */
    static constexpr Qt::ItemFlags kFlags = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;

    CRowItem(const QVariant &display, DeviceRecordList::Handle record);

    int type() const override { return Type; }
    /** A copy of the cell alone: the row's record stays with this row. */
    QStandardItem *clone() const override;
    // kFlags until someone sets others: storing them would cost every
    // arriving row a role-list entry.
    QVariant data(int role) const override;

    const VEXA_DEVICE_INFO_MY &Record() const { return *m_record; }
    DeviceRecordList::Handle RecordHandle() const { return m_record; }
    bool IsFromRecord(int column) const { return m_fromRecord & (1u << column); }
    /** An invalid text stands for a cell never written, as an empty item would answer. */
    const QVariant &Text(int column) const { return m_cellText[column]; }

    void SetText(int column, const QVariant &text);
    void SetFromRecord(int column);
    /**
     * Called before the record becomes `next`: the cells formatted from the
     * record that `next` does not write keep the texts they show now.
     */
    void KeepTextsNotWrittenBy(const VEXA_DEVICE_INFO_MY &next, const DeviceCellTexts &texts);

private:
    DeviceRecordList::Handle m_record;
    quint32 m_fromRecord = 0;
    std::array<QVariant, kColumns> m_cellText;
};
