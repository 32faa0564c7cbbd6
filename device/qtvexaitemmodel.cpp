#include "qtvexaitemmodel.h"

#include "vexadeviceinfo.h"

#include <QCoreApplication>
#include <QModelRoleDataSpan>
#include <QSignalBlocker>

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cstring>
#include <utility>

namespace {

struct ColumnSpec {
    const char *header;
    int width;
};

constexpr ColumnSpec kColumns[QtVexaItemModel::ColumnCount] = {
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "ID"), 50},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "Device Type"), 104},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "IPv4 Address"), 100},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "Port"), 60},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "Soft Vision"), 120},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "IPv4 GateWay"), 100},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "Serial Number"), 230},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "IPv4 Mask"), 100},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "MAC"), 120},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "Channel NO"), 130},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "DSP Vision"), 110},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "Start Time"), 130},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "IPv6 Address"), 100},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "IPv6 GateWay"), 100},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "IPv6 Prefix Length"), 130},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "Is Support IPv6"), 130},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "Is Support Mod IPv6"), 130},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "Is Support DHCP"), 130},
    {QT_TRANSLATE_NOOP("QtVexaItemModel", "IPv4 DHCP"), 130},
};

constexpr Qt::ItemFlags kSerialFlags = Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled;

// Record texts may fill their field without a terminator.
template <size_t N>
QString FieldText(const char (&field)[N])
{
    return QString::fromLatin1(field, qsizetype(::strnlen(field, N)));
}

// Written only from records that carry extended information.
constexpr bool IsExtendedColumn(int column)
{
    return column == QtVexaItemModel::ColumnIpv4Gateway || column >= QtVexaItemModel::ColumnIpv6Addr;
}

// printf's "%0<width>d" (fill '0') or "%<width>d" (fill ' ') into `out`,
// which holds at least 12 + width characters; returns the end. A table row
// formats several numbers, and printf's parsing cost more than the rest of
// the row's texts together.
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

QString Padded(int value, int width, char fill)
{
    char text[32];
    return QString::fromLatin1(text, FormatPadded(text, value, std::min(width, 16), fill) - text);
}

QString DeviceKey(const QString &serial, const QString &mac)
{
    return serial + QChar(u'\0') + mac;
}

// Blanks, an optional sign, then leading digits; saturates instead of overflowing.
int LeadingNumber(QStringView part)
{
    qsizetype i = 0;
    while (i < part.size() && part[i].isSpace())
        ++i;
    bool negative = false;
    if (i < part.size() && (part[i] == u'+' || part[i] == u'-'))
        negative = part[i++] == u'-';
    long long value = 0;
    for (; i < part.size() && part[i] >= u'0' && part[i] <= u'9'; ++i)
        value = std::min<long long>(value * 10 + (part[i].unicode() - u'0'), INT_MAX);
    return int(negative ? -value : value);
}

} // namespace

/** A record's cell texts by column ("ID" excepted). */
struct QtVexaItemModel::RowTexts {
    std::array<QString, ColumnCount> text;
    /** False when the record carries no extended information: those cells keep their texts. */
    bool extended = false;
    /** The record carries a gateway address, not just an emptied cell. */
    bool gateway = false;

    bool IsIpCell(int column) const
    {
        return column == ColumnIpv4Addr || column == ColumnIpv4Mask || (column == ColumnIpv4Gateway && gateway);
    }
};

/**
 * Cell of the "ID" column. While the model's IDs follow the rows it shows
 * its row's position (what a renumbering would have written); otherwise the
 * text stored in it.
 */
class CRowIdItem final : public QStandardItem
{
public:
    QVariant data(int role) const override
    {
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            if (const auto *owner = qobject_cast<const QtVexaItemModel *>(model());
                owner && owner->m_idsFollowRows)
                return owner->IdTextOf(this);
        }
        return QStandardItem::data(role);
    }

    void setData(const QVariant &value, int role) override
    {
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            if (auto *owner = qobject_cast<QtVexaItemModel *>(model()))
                owner->PinIds();
        }
        QStandardItem::setData(value, role);
    }
};

/**
 * Cell of the plain text columns. Its display text lives in a member rather
 * than in QStandardItem's role list: a row is built with no role-list
 * allocations and takes about 1 KB less, the difference between a large
 * site fitting its memory budget or not.
 */
class CTextItem : public QStandardItem
{
public:
    explicit CTextItem(const QVariant &display) : m_display(display) {}

    QVariant data(int role) const override
    {
        return role == Qt::DisplayRole || role == Qt::EditRole ? m_display : QStandardItem::data(role);
    }

    void setData(const QVariant &value, int role) override
    {
        if (role != Qt::DisplayRole && role != Qt::EditRole) {
            QStandardItem::setData(value, role);
            return;
        }
        if (m_display.userType() == value.userType() && m_display == value)
            return;
        m_display = value;
        emitDataChanged();
    }

    void multiData(QModelRoleDataSpan roleDataSpan) const override
    {
        QStandardItem::multiData(roleDataSpan);
        for (QModelRoleData &roleData : roleDataSpan) {
            if (roleData.role() == Qt::DisplayRole || roleData.role() == Qt::EditRole)
                roleData.setData(m_display);
        }
    }

    QStandardItem *clone() const override { return new CTextItem(*this); }

private:
    QVariant m_display;
};

/**
 * "Serial Number" cell of a row built from a record. It also keeps the texts
 * of the row's cells that have no item: a row of 19 items made removing a
 * row cost a lookup per item that grew with the table.
 */
class CRowItem final : public CTextItem
{
public:
    static constexpr int Type = QStandardItem::UserType + 1;

    using CTextItem::CTextItem;

    int type() const override { return Type; }
    QStandardItem *clone() const override { return new CRowItem(*this); }

    /** An invalid text stands for a cell never written, as an empty item would answer. */
    std::array<QVariant, QtVexaItemModel::ColumnCount> cellText;
};

CIpStandardItem::CIpStandardItem(const QString &text)
    : QStandardItem(text)
    , m_key(SortKey(text))
{
}

CIpStandardItem::~CIpStandardItem() = default;

void CIpStandardItem::setData(const QVariant &value, int role)
{
    QStandardItem::setData(value, role);
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        m_key = SortKey(text());
}

bool CIpStandardItem::operator<(const QStandardItem &other) const
{
    if (const auto *ip = dynamic_cast<const CIpStandardItem *>(&other))
        return m_key < ip->m_key;
    return m_key < SortKey(other.text());
}

QByteArray CIpStandardItem::SortKey(const QString &text)
{
    int numbers[4] = {0, 0, 0, 0};
    int index = 0;
    for (QStringView part : QStringView(text).tokenize(u'.')) {
        if (index == 4)
            break;
        numbers[index++] = LeadingNumber(part);
    }
    char key[64];
    char *end = key;
    for (int number : numbers)
        end = FormatPadded(end, number, 3, '0');
    return QByteArray(key, end - key);
}

QtVexaItemModel::QtVexaItemModel(QObject *parent)
    : QStandardItemModel(parent)
    // Shared by every row instead of one copy per cell.
    , m_yes(QCoreApplication::translate("QtVexa", "Yes"))
    , m_no(QCoreApplication::translate("QtVexa", "No"))
    , m_on(QCoreApplication::translate("QtVexa", "ON"))
    , m_off(QCoreApplication::translate("QtVexa", "OFF"))
{
    setColumnCount(ColumnCount);
    for (int column = 0; column < ColumnCount; ++column) {
        setHeaderData(column, Qt::Horizontal,
                      QCoreApplication::translate("QtVexaItemModel", kColumns[column].header));
        setHeaderData(column, Qt::Horizontal, int(Qt::AlignLeft | Qt::AlignVCenter), Qt::TextAlignmentRole);
    }

    // Rows inserted or removed by anyone but RemoveDeviceRows keep their "ID" texts.
    connect(this, &QAbstractItemModel::rowsAboutToBeInserted, this,
            [this](const QModelIndex &parent, int first, int) {
                if (!parent.isValid() && first < rowCount())
                    PinIds();
            });
    connect(this, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                if (parent.isValid())
                    return;
                if (!m_removingOwnRows)
                    PinIds();
                for (int row = first; row <= last; ++row)
                    UnindexRow(row);
            });
    // Connected before any view: by the time others hear of the removal, the
    // remaining rows already show the IDs they had before it.
    connect(this, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex &parent, int first, int last) {
        if (parent.isValid() || !m_removingOwnRows || !m_idsFollowRows)
            return;
        // Removal runs bottom-up, so `first` is also the row's original position.
        const auto at = std::lower_bound(m_pendingRemoved.begin(), m_pendingRemoved.end(), first);
        for (int row = last; row >= first; --row)
            m_pendingRemoved.insert(at - m_pendingRemoved.begin(), row);
    });
    connect(this, &QAbstractItemModel::modelReset, this, [this] {
        m_rowsByDevice.clear();
        m_deviceOfRow.clear();
        m_pendingRemoved.clear();
        m_idsFollowRows = true;
    });
}

QtVexaItemModel::~QtVexaItemModel() = default;

int QtVexaItemModel::ColumnWidth(int column)
{
    return column >= 0 && column < ColumnCount ? kColumns[column].width : 0;
}

void QtVexaItemModel::SetRowData(int row, const VEXA_DEVICE_INFO_MY &record)
{
    if (row < 0 || row >= rowCount())
        return;
    {
        // One dataChanged for the row instead of one per cell.
        const QSignalBlocker blocker(this);
        EnsureIdCell(row);
        const RowTexts texts = TextsOf(record);
        // The serial first: it holds the texts of the row's item-less cells.
        WriteCell(row, ColumnSerial, texts.text[ColumnSerial]);
        for (int column = ColumnId + 1; column < ColumnCount; ++column) {
            if (column == ColumnSerial || (IsExtendedColumn(column) && !texts.extended))
                continue;
            if (texts.IsIpCell(column))
                SetIpText(row, column, texts.text[column]);
            else
                WriteCell(row, column, texts.text[column]);
        }
        item(row, ColumnSerial)->setFlags(kSerialFlags);
    }
    IndexRow(row);
    NotifyRowChanged(row);
}

void QtVexaItemModel::UpdateRowNetParam(int row, const char *ipv4, const char *mask, int port,
                                        const char *gateway)
{
    if (!ipv4 || row < 0 || row >= rowCount())
        return;
    {
        const QSignalBlocker blocker(this);
        EnsureIdCell(row);
        if (!item(row, ColumnSerial))
            WriteCell(row, ColumnSerial, QString());
        SetIpText(row, ColumnIpv4Addr, QString::fromLatin1(ipv4));
        WriteCell(row, ColumnPort, Padded(port, 5, ' '));
        if (mask)
            WriteCell(row, ColumnIpv4Mask, QString::fromLatin1(mask));
        if (gateway)
            WriteCell(row, ColumnIpv4Gateway, QString::fromLatin1(gateway));
        item(row, ColumnSerial)->setFlags(kSerialFlags);
    }
    NotifyRowChanged(row);
}

int QtVexaItemModel::AppendDeviceRow(const VEXA_DEVICE_INFO_MY &record)
{
    const int row = rowCount();
    const RowTexts texts = TextsOf(record);
    // Built complete before insertion: views see one rowsInserted and no
    // per-cell dataChanged, and no cell is created twice.
    QList<QStandardItem *> cells(ColumnCount);
    cells[ColumnId] = NewIdCell(row);
    auto *serial = new CRowItem(texts.text[ColumnSerial]);
    serial->setFlags(kSerialFlags);
    cells[ColumnSerial] = serial;
    for (int column = ColumnId + 1; column < ColumnCount; ++column) {
        if (column == ColumnSerial || (IsExtendedColumn(column) && !texts.extended))
            continue;
        if (texts.IsIpCell(column))
            cells[column] = new CIpStandardItem(texts.text[column]);
        else
            serial->cellText[column] = texts.text[column];
    }
    appendRow(cells);
    IndexRow(row);
    return row;
}

QList<int> QtVexaItemModel::RowsOf(const QString &serial, const QString &mac) const
{
    QList<int> rows;
    const auto found = m_rowsByDevice.constFind(DeviceKey(serial, mac));
    if (found == m_rowsByDevice.cend())
        return rows;
    rows.reserve(found->size());
    for (const QStandardItem *anchor : *found)
        rows.append(anchor->row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int QtVexaItemModel::FirstRowOf(const QString &serial, const QString &mac) const
{
    const QList<int> rows = RowsOf(serial, mac);
    return rows.isEmpty() ? -1 : rows.first();
}

int QtVexaItemModel::RemoveDeviceRows(const QString &serial, const QString &mac)
{
    const QList<int> rows = RowsOf(serial, mac);
    // Only the rows below the first removed one change position, unless
    // the IDs were pinned and every row is renumbered.
    const int firstChanged = !m_idsFollowRows ? 0 : rows.isEmpty() ? rowCount() : rows.first();
    m_removingOwnRows = true;
    // Bottom-up, so the positions still to remove stay valid.
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        removeRow(*it);
    m_removingOwnRows = false;
    m_pendingRemoved.clear();
    m_idsFollowRows = true;
    if (firstChanged < rowCount())
        emit dataChanged(index(firstChanged, ColumnId), index(rowCount() - 1, ColumnId), {Qt::DisplayRole, Qt::EditRole});
    return int(rows.size());
}

Qt::ItemFlags QtVexaItemModel::flags(const QModelIndex &index) const
{
    const Qt::ItemFlags flags = QStandardItemModel::flags(index);
    return index.column() == ColumnSerial ? flags : flags & ~Qt::ItemIsEditable;
}

QVariant QtVexaItemModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (const QVariant *text = StoredText(index))
            return *text;
    }
    return QStandardItemModel::data(index, role);
}

void QtVexaItemModel::multiData(const QModelIndex &index, QModelRoleDataSpan roleDataSpan) const
{
    QStandardItemModel::multiData(index, roleDataSpan);
    if (const QVariant *text = StoredText(index)) {
        for (QModelRoleData &roleData : roleDataSpan) {
            if (roleData.role() == Qt::DisplayRole || roleData.role() == Qt::EditRole)
                roleData.setData(*text);
        }
    }
}

bool QtVexaItemModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (StoredText(index))
        Materialize(index.row(), index.column());
    return QStandardItemModel::setData(index, value, role);
}

bool QtVexaItemModel::setItemData(const QModelIndex &index, const QMap<int, QVariant> &roles)
{
    if (StoredText(index))
        Materialize(index.row(), index.column());
    return QStandardItemModel::setItemData(index, roles);
}

bool QtVexaItemModel::clearItemData(const QModelIndex &index)
{
    if (StoredText(index))
        Materialize(index.row(), index.column());
    return QStandardItemModel::clearItemData(index);
}

QMap<int, QVariant> QtVexaItemModel::itemData(const QModelIndex &index) const
{
    QMap<int, QVariant> roles = QStandardItemModel::itemData(index);
    if (const QVariant text = data(index, Qt::DisplayRole); text.isValid())
        roles.insert(Qt::DisplayRole, text);
    return roles;
}

void QtVexaItemModel::sort(int column, Qt::SortOrder order)
{
    // Sorting moves rows together with their "ID" texts.
    PinIds();
    // Rows without an item in the column would go last, whatever their text.
    if (column >= 0 && column < ColumnCount) {
        const QSignalBlocker blocker(this);
        for (int row = 0; row < rowCount(); ++row) {
            if (StoredText(index(row, column)))
                Materialize(row, column);
        }
    }
    QStandardItemModel::sort(column, order);
}

QtVexaItemModel::RowTexts QtVexaItemModel::TextsOf(const VEXA_DEVICE_INFO_MY &record) const
{
    RowTexts texts;
    std::array<QString, ColumnCount> &text = texts.text;
    text[ColumnType] = FieldText(record.typeName);
    text[ColumnIpv4Addr] = FieldText(record.ipv4Addr);
    text[ColumnPort] = Padded(record.port, 5, ' ');
    text[ColumnSerial] = FieldText(record.serialNo);
    text[ColumnIpv4Mask] = FieldText(record.ipv4Mask);
    text[ColumnMac] = FieldText(record.macAddr);
    text[ColumnChannels] = Padded(record.channelCount, 2, ' ');
    text[ColumnSoftVersion] = FieldText(record.softwareVersion);
    text[ColumnDspVersion] = FieldText(record.dspVersion);
    text[ColumnStartTime] = FieldText(record.startTime);

    // Any other extInfo leaves the extended cells as they are.
    texts.extended = record.extInfo == 0 || record.extInfo == 1;
    texts.gateway = record.extInfo == 1;
    if (record.extInfo == 1) {
        text[ColumnIpv4Gateway] = FieldText(record.ipv4Gateway);
        const bool ipv6 = record.capabilities & 0x01;
        if (ipv6) {
            text[ColumnIpv6Addr] = FieldText(record.ipv6Addr);
            text[ColumnIpv6Gateway] = FieldText(record.ipv6Gateway);
            text[ColumnIpv6Prefix] = Padded(record.ipv6PrefixLen, 2, ' ');
        }
        text[ColumnSupportIpv6] = ipv6 ? m_yes : m_no;
        text[ColumnSupportDhcp] = record.capabilities & 0x04 ? m_yes : m_no;
        text[ColumnSupportModIpv6] = record.capabilities & 0x02 ? m_yes : m_no;
        text[ColumnIpv4Dhcp] = record.dhcpOn == 1 ? m_on : m_off;
    }
    return texts;
}

const QVariant *QtVexaItemModel::StoredText(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.internalPointer() != invisibleRootItem()
        || item(index.row(), index.column()))
        return nullptr;
    QStandardItem *serial = item(index.row(), ColumnSerial);
    if (!serial || serial->type() != CRowItem::Type)
        return nullptr;
    return &static_cast<const CRowItem *>(serial)->cellText[index.column()];
}

void QtVexaItemModel::Materialize(int row, int column)
{
    auto *serial = static_cast<CRowItem *>(item(row, ColumnSerial));
    auto *cell = new CTextItem(std::exchange(serial->cellText[column], QVariant()));
    const QSignalBlocker blocker(this);
    setItem(row, column, cell);
}

void QtVexaItemModel::WriteCell(int row, int column, const QString &text)
{
    if (QStandardItem *cell = item(row, column))
        cell->setText(text);
    else if (QStandardItem *serial = item(row, ColumnSerial); serial && serial->type() == CRowItem::Type)
        static_cast<CRowItem *>(serial)->cellText[column] = text;
    else
        setItem(row, column, new CTextItem(text));
}

void QtVexaItemModel::SetIpText(int row, int column, const QString &text)
{
    if (auto *ip = dynamic_cast<CIpStandardItem *>(item(row, column))) {
        ip->setText(text);
        return;
    }
    if (QStandardItem *serial = item(row, ColumnSerial); serial && serial->type() == CRowItem::Type)
        static_cast<CRowItem *>(serial)->cellText[column] = QVariant();
    setItem(row, column, new CIpStandardItem(text));
}

void QtVexaItemModel::EnsureIdCell(int row)
{
    if (const QStandardItem *id = item(row, ColumnId); id && (dynamic_cast<const CRowIdItem *>(id) || !id->text().isEmpty()))
        return;
    setItem(row, ColumnId, NewIdCell(row));
}

QStandardItem *QtVexaItemModel::NewIdCell(int row) const
{
    auto *id = new CRowIdItem;
    if (!m_idsFollowRows)
        id->QStandardItem::setData(Padded(row + 1, 3, '0'), Qt::DisplayRole);
    return id;
}

void QtVexaItemModel::NotifyRowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

QString QtVexaItemModel::IdTextOf(const QStandardItem *idItem) const
{
    // Rows removed but not yet renumbered still count, so that a removal
    // alone changes no remaining row's text.
    int position = idItem->row();
    for (int removed : m_pendingRemoved) {
        if (removed <= position)
            ++position;
    }
    return Padded(position + 1, 3, '0');
}

void QtVexaItemModel::PinIds()
{
    if (!m_idsFollowRows)
        return;
    QList<QString> texts;
    texts.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row)
        texts.append(item(row, ColumnId) ? item(row, ColumnId)->text() : QString());
    m_idsFollowRows = false;
    const QSignalBlocker blocker(this);
    for (int row = 0; row < rowCount(); ++row) {
        if (auto *id = dynamic_cast<CRowIdItem *>(item(row, ColumnId)))
            id->setData(texts.at(row), Qt::DisplayRole);
    }
}

void QtVexaItemModel::IndexRow(int row)
{
    QStandardItem *anchor = item(row, ColumnSerial);
    const QModelIndex mac = index(row, ColumnMac);
    if (!anchor || (!item(row, ColumnMac) && !StoredText(mac)))
        return;
    const QString key = DeviceKey(anchor->text(), data(mac).toString());
    const auto known = m_deviceOfRow.constFind(anchor);
    if (known != m_deviceOfRow.cend()) {
        if (*known == key)
            return;
        UnindexRow(row);
    }
    m_rowsByDevice[key].append(anchor);
    m_deviceOfRow.insert(anchor, key);
}

void QtVexaItemModel::UnindexRow(int row)
{
    const QStandardItem *anchor = item(row, ColumnSerial);
    const auto known = m_deviceOfRow.constFind(anchor);
    if (!anchor || known == m_deviceOfRow.cend())
        return;
    const auto rows = m_rowsByDevice.find(*known);
    if (rows != m_rowsByDevice.end()) {
        rows->removeOne(anchor);
        if (rows->isEmpty())
            m_rowsByDevice.erase(rows);
    }
    m_deviceOfRow.erase(known);
}
