#pragma once

#include "vexadevice_export.h"
// Included, not declared: in the older edition the record's name is an alias.
#include "vexadeviceinfo.h"

#include <QStandardItem>

#include <array>

class QtVexaItemModel;

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
 * Cell of the "ID" column. While the model's IDs follow the rows it shows
 * its row's position (what a renumbering would have written); otherwise the
 * text stored in it. A write to its text stops the IDs following the rows.
 */
class CRowIdItem final : public QStandardItem
{
public:
    QVariant data(int role) const override;
    void setData(const QVariant &value, int role) override;
};

/**
 * "Serial Number" cell of a row built from a record. It also keeps the texts
 * of the row's cells that have no item: a row of 19 items made removing a
 * row cost a lookup per item that grew with the table. Texts a record wrote
 * are formatted from the record when asked for: only the rows on screen ever
 * are, and formatting every cell of every arriving row was most of its cost.
 */
class CRowItem final : public CTextItem
{
public:
    static constexpr int Type = QStandardItem::UserType + 1;
    static constexpr int kColumns = 19;
    /** The serial cell's flags: the only editable cell of a row. */
    static constexpr Qt::ItemFlags kFlags = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;

    /** Whether a record writes the column: extended columns only from records that carry extended information. */
    static bool Writes(const VEXA_DEVICE_INFO_MY &record, int column);

    CRowItem(const QVariant &display, const VEXA_DEVICE_INFO_MY &record);

    int type() const override { return Type; }
    QStandardItem *clone() const override;
    // kFlags until someone sets others: storing them would cost every
    // arriving row a role-list entry.
    QVariant data(int role) const override;

    const VEXA_DEVICE_INFO_MY &Record() const { return m_record; }
    bool IsFromRecord(int column) const { return m_fromRecord & (1u << column); }
    /** An invalid text stands for a cell never written, as an empty item would answer. */
    const QVariant &Text(int column) const { return m_cellText[column]; }

    void SetText(int column, const QVariant &text);
    void SetFromRecord(int column);
    /**
     * Makes `record` the one texts are formatted from. Cells it does not
     * write keep the texts the previous record gave them.
     */
    void Rebind(const VEXA_DEVICE_INFO_MY &record, const QtVexaItemModel &model);

private:
    VEXA_DEVICE_INFO_MY m_record;
    quint32 m_fromRecord = 0;
    std::array<QVariant, kColumns> m_cellText;
};

/**
 * printf's "%0<width>d" (fill '0') or "%<width>d" (fill ' ') into `out`,
 * which holds at least 12 + width characters; returns the end. A table row
 * formats several numbers, and printf's parsing cost more than the rest of
 * the row's texts together.
 */
char *FormatPadded(char *out, int value, int width, char fill);
