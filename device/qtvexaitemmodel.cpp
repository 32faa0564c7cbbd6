#include "qtvexaitemmodel.h"

#include "qtvexaitems.h"

#include "vexadeviceinfo.h"

#include <addressvalidators.h>

#include <QColor>
#include <QCoreApplication>
#include <QModelRoleDataSpan>
#include <QSignalBlocker>

#include <algorithm>
#include <bit>
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

// A tool tip names this many other devices at most; a site of unconfigured
// devices may have hundreds on one factory address.
constexpr int kNamedOthers = 5;

// Record texts may fill their field without a terminator.
template <size_t N>
QString FieldText(const char (&field)[N])
{
    return QString::fromLatin1(field, qsizetype(::strnlen(field, N)));
}

QString Padded(int value, int width, char fill)
{
    char text[32];
    return QString::fromLatin1(text, FormatPadded(text, value, std::min(width, 16), fill) - text);
}

QString DeviceKey(const QString &serial, const QString &mac)
{
#ifdef VEXA_OLDER_EDITION
    // The older edition knows a device by its serial number alone.
    Q_UNUSED(mac);
    return serial;
#else
    // Sized once: this runs for every arriving device.
    QString key;
    key.reserve(serial.size() + 1 + mac.size());
    return key.append(serial).append(QChar(u'\0')).append(mac);
#endif
}

// An IPv4 address as a number, nothing for any other text: four decimal
// octets (leading zeros allowed), as IPv4Octets reads them, but without its
// allocations, since every arriving and changing row is read this way.
std::optional<quint32> AddressValue(QStringView text)
{
    quint32 address = 0;
    int octets = 0;
    qsizetype i = 0;
    while (octets < 4) {
        unsigned value = 0;
        const qsizetype start = i;
        for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
            value = value * 10 + unsigned(text[i].unicode() - u'0');
            if (value > 255)
                return std::nullopt;
        }
        if (i == start)
            return std::nullopt;
        address = address << 8 | value;
        if (++octets < 4 && (i >= text.size() || text[i++] != u'.'))
            return std::nullopt;
    }
    if (i != text.size())
        return std::nullopt;
    return address;
}

QString AddressText(quint32 address)
{
    return QStringLiteral("%1.%2.%3.%4").arg(address >> 24).arg(address >> 16 & 0xFF).arg(address >> 8 & 0xFF).arg(address & 0xFF);
}

// Only a record that carries a gateway address makes that cell an address
// cell; otherwise it is just emptied.
bool IsIpCell(const VEXA_DEVICE_INFO_MY &record, int column)
{
    return column == QtVexaItemModel::ColumnIpv4Addr || column == QtVexaItemModel::ColumnIpv4Mask
        || (column == QtVexaItemModel::ColumnIpv4Gateway && record.extInfo == 1);
}

} // namespace

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
                for (int row = first; row <= last; ++row) {
                    UnindexRow(row);
                    UnindexAddress(item(row, ColumnSerial));
                }
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
    // The address index follows every change of a row, whoever makes it.
    connect(this, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &parent, int first, int last) {
        if (parent.isValid())
            return;
        // Views hear of marks that changed once they know the new rows: from
        // AppendDeviceRow, or with the next change for rows others insert.
        for (int row = first; row <= last; ++row)
            IndexAddress(row);
    });
    connect(this, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles) {
                const bool texts = roles.isEmpty() || roles.contains(Qt::DisplayRole) || roles.contains(Qt::EditRole);
                if (!texts || topLeft.parent().isValid() || topLeft.column() > ColumnMac
                    || bottomRight.column() < ColumnIpv4Addr)
                    return;
                for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                    IndexAddress(row);
                RepaintMarkedRows();
            });
    connect(this, &QAbstractItemModel::modelReset, this, [this] {
        m_rowsByAddress.clear();
        m_rowsOfDeviceAtAddress.clear();
        m_addressOfRow.clear();
        m_marksChanged.clear();
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
        // The serial first: it holds the texts of the row's item-less cells.
        WriteCell(row, ColumnSerial, FieldText(record.serialNo));
        QStandardItem *serial = item(row, ColumnSerial);
        auto *rowItem = serial->type() == CRowItem::Type ? static_cast<CRowItem *>(serial) : nullptr;
        if (rowItem)
            rowItem->Rebind(record, *this);
        for (int column = ColumnId + 1; column < ColumnCount; ++column) {
            if (column == ColumnSerial || !CRowItem::Writes(record, column))
                continue;
            if (IsIpCell(record, column))
                SetIpText(row, column, CellText(record, column));
            else if (rowItem && !item(row, column))
                rowItem->SetFromRecord(column);
            else
                WriteCell(row, column, CellText(record, column));
        }
        serial->setFlags(CRowItem::kFlags);
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
        item(row, ColumnSerial)->setFlags(CRowItem::kFlags);
    }
    NotifyRowChanged(row);
}

int QtVexaItemModel::AppendDeviceRow(const VEXA_DEVICE_INFO_MY &record)
{
    const int row = rowCount();
    // Built complete before insertion: views see one rowsInserted and no
    // per-cell dataChanged, and no cell is created twice.
    QList<QStandardItem *> cells(ColumnCount);
    cells[ColumnId] = NewIdCell(row);
    const QString serialText = FieldText(record.serialNo);
    auto *serial = new CRowItem(serialText, record);
    cells[ColumnSerial] = serial;
    for (int column = ColumnId + 1; column < ColumnCount; ++column) {
        if (column == ColumnSerial || !CRowItem::Writes(record, column))
            continue;
        if (IsIpCell(record, column))
            cells[column] = new CIpStandardItem(CellText(record, column));
        else
            serial->SetFromRecord(column);
    }
    // Indexed first, so the address index finds the device key to share.
    AddToIndex(serial, DeviceKey(serialText, FieldText(record.macAddr)));
    appendRow(cells);
    RepaintMarkedRows();
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
    RepaintMarkedRows();
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
        if (const CRowItem *rowItem = RowItemOf(index))
            return StoredText(*rowItem, index.column());
    }
    if (QVariant mark = MarkData(index, role); mark.isValid())
        return mark;
    return QStandardItemModel::data(index, role);
}

void QtVexaItemModel::multiData(const QModelIndex &index, QModelRoleDataSpan roleDataSpan) const
{
    QStandardItemModel::multiData(index, roleDataSpan);
    const CRowItem *rowItem = RowItemOf(index);
    for (QModelRoleData &roleData : roleDataSpan) {
        if (rowItem && (roleData.role() == Qt::DisplayRole || roleData.role() == Qt::EditRole))
            roleData.setData(StoredText(*rowItem, index.column()));
        else if (QVariant mark = MarkData(index, roleData.role()); mark.isValid())
            roleData.setData(std::move(mark));
    }
}

QList<int> QtVexaItemModel::RowsAtAddress(const QString &ipv4) const
{
    QList<int> rows;
    const std::optional<quint32> address = AddressValue(ipv4.trimmed());
    const auto bucket = address ? m_rowsByAddress.constFind(*address) : m_rowsByAddress.cend();
    if (bucket == m_rowsByAddress.cend())
        return rows;
    for (const QStandardItem *anchor : bucket->rows)
        rows.append(anchor->row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

bool QtVexaItemModel::HasAddressConflict(int row) const
{
    return MarkData(index(row, ColumnId), Qt::BackgroundRole).isValid();
}

QColor QtVexaItemModel::ConflictColor()
{
    return QColor(255, 170, 0, 120);
}

void QtVexaItemModel::IndexAddress(int row)
{
    QStandardItem *anchor = item(row, ColumnSerial);
    if (!anchor)
        return;
    const std::optional<quint32> address = AddressValue(data(index(row, ColumnIpv4Addr)).toString().trimmed());
    // The device index's key when it has the row: shared, not copied.
    const auto indexed = m_deviceOfRow.constFind(anchor);
    const QString device = indexed != m_deviceOfRow.cend()
        ? *indexed : DeviceKey(anchor->text(), data(index(row, ColumnMac)).toString());
    if (const auto known = m_addressOfRow.constFind(anchor); known != m_addressOfRow.cend() && address
        && known->address == *address && known->device == device)
        return;
    UnindexAddress(anchor);
    if (!address)
        return;
    AddressBucket &bucket = m_rowsByAddress[*address];
    bucket.rows.append(anchor);
    m_addressOfRow.insert(anchor, {*address, device});
    if (++m_rowsOfDeviceAtAddress[{*address, device}] > 1)
        return;
    // From one device to two, every row at the address gains its mark;
    // beyond two, only the new row's changes (its own signal carries it).
    if (++bucket.devices == 2) {
        for (QStandardItem *other : bucket.rows)
            m_marksChanged.insert(other);
    } else if (bucket.devices > 2) {
        m_marksChanged.insert(anchor);
    }
}

void QtVexaItemModel::UnindexAddress(const QStandardItem *anchor)
{
    const auto known = m_addressOfRow.find(anchor);
    if (known == m_addressOfRow.end())
        return;
    auto *row = const_cast<QStandardItem *>(anchor);
    m_marksChanged.remove(row);
    const auto bucket = m_rowsByAddress.find(known->address);
    if (bucket != m_rowsByAddress.end()) {
        bucket->rows.removeOne(row);
        const auto count = m_rowsOfDeviceAtAddress.find({known->address, known->device});
        if (count != m_rowsOfDeviceAtAddress.end() && --*count <= 0) {
            m_rowsOfDeviceAtAddress.erase(count);
            if (--bucket->devices == 1) {
                for (QStandardItem *other : bucket->rows)
                    m_marksChanged.insert(other);
            }
        }
        if (bucket->rows.isEmpty())
            m_rowsByAddress.erase(bucket);
    }
    m_addressOfRow.erase(known);
}

void QtVexaItemModel::RepaintMarkedRows()
{
    const QSet<QStandardItem *> rows = std::exchange(m_marksChanged, {});
    for (const QStandardItem *anchor : rows) {
        const int row = anchor->row();
        emit dataChanged(index(row, 0), index(row, ColumnCount - 1), {Qt::BackgroundRole, Qt::ToolTipRole});
    }
}

QVariant QtVexaItemModel::MarkData(const QModelIndex &index, int role) const
{
    if ((role != Qt::BackgroundRole && role != Qt::ToolTipRole) || !index.isValid() || index.parent().isValid())
        return {};
    const QStandardItem *anchor = item(index.row(), ColumnSerial);
    const auto known = m_addressOfRow.constFind(anchor);
    if (known == m_addressOfRow.cend())
        return {};
    const auto bucket = m_rowsByAddress.constFind(known->address);
    const bool conflict = bucket != m_rowsByAddress.cend() && bucket->devices > 1;
    if (role == Qt::BackgroundRole)
        return conflict ? QVariant(ConflictColor()) : QVariant();
    QStringList tips;
    if (conflict)
        tips.append(ConflictToolTip(anchor));
    if (const QString reach = ReachabilityToolTip(index.row()); !reach.isEmpty())
        tips.append(reach);
    return tips.isEmpty() ? QVariant() : QVariant(tips.join(QStringLiteral("\n\n")));
}

void QtVexaItemModel::SetLocalSubnets(const QList<Subnet> &subnets)
{
    m_localSubnets = subnets;
    // Tool tips are asked for when shown: nothing to tell the views.
}

QString QtVexaItemModel::ReachabilityToolTip(int row) const
{
    if (m_localSubnets.isEmpty())
        return {};
    const std::optional<quint32> address = AddressValue(data(index(row, ColumnIpv4Addr)).toString().trimmed());
    if (!address)
        return {};
    for (const Subnet &subnet : m_localSubnets) {
        if ((*address & subnet.mask) == (subnet.address & subnet.mask))
            return {};
    }
    // The subnet the device's own mask gives it; a mask it does not report
    // well is taken as /24, the common case.
    quint32 mask = 0xFFFFFF00u;
    if (const QString maskText = data(index(row, ColumnIpv4Mask)).toString().trimmed(); IsValidSubnetMask(maskText))
        mask = *AddressValue(maskText);
    return tr("Found by discovery, but its web page cannot be reached from this computer: %1 lies in none of "
              "the subnets of the interfaces discovery runs on. An address in %2 on this computer would reach it.")
        .arg(AddressText(*address), AddressText(*address & mask) + u'/' + QString::number(std::popcount(mask)));
}

QString QtVexaItemModel::ConflictToolTip(const QStandardItem *anchor) const
{
    const AddressOfRow own = m_addressOfRow.value(anchor);
    QList<const QStandardItem *> others;
    for (const QStandardItem *other : m_rowsByAddress.value(own.address).rows) {
        if (m_addressOfRow.value(other).device != own.device)
            others.append(other);
    }
    std::sort(others.begin(), others.end(),
              [](const QStandardItem *a, const QStandardItem *b) { return a->row() < b->row(); });
    QString tip = tr("IPv4 address %1 is also used by:").arg(AddressText(own.address));
    for (const QStandardItem *other : others.first(std::min<qsizetype>(others.size(), kNamedOthers))) {
        const int row = other->row();
        tip += u'\n' + tr("ID %1, serial number %2").arg(data(index(row, ColumnId)).toString(), other->text());
        const auto *rowItem = other->type() == CRowItem::Type ? static_cast<const CRowItem *>(other) : nullptr;
        if (rowItem && rowItem->Record().extInfo == 1 && rowItem->Record().dhcpOn == 1)
            tip += tr(" (DHCP on: Modify does not count it as the owner of this address)");
    }
    if (others.size() > kNamedOthers)
        tip += u'\n' + tr("and %1 more devices").arg(others.size() - kNamedOthers);
    return tip;
}

bool QtVexaItemModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (RowItemOf(index))
        Materialize(index.row(), index.column());
    return QStandardItemModel::setData(index, value, role);
}

bool QtVexaItemModel::setItemData(const QModelIndex &index, const QMap<int, QVariant> &roles)
{
    if (RowItemOf(index))
        Materialize(index.row(), index.column());
    return QStandardItemModel::setItemData(index, roles);
}

bool QtVexaItemModel::clearItemData(const QModelIndex &index)
{
    if (RowItemOf(index))
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
            if (RowItemOf(index(row, column)))
                Materialize(row, column);
        }
    }
    QStandardItemModel::sort(column, order);
}

QString QtVexaItemModel::CellText(const VEXA_DEVICE_INFO_MY &record, int column) const
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

CRowItem *QtVexaItemModel::RowItemOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.internalPointer() != invisibleRootItem()
        || item(index.row(), index.column()))
        return nullptr;
    QStandardItem *serial = item(index.row(), ColumnSerial);
    if (!serial || serial->type() != CRowItem::Type)
        return nullptr;
    return static_cast<CRowItem *>(serial);
}

QVariant QtVexaItemModel::StoredText(const CRowItem &rowItem, int column) const
{
    return rowItem.IsFromRecord(column) ? QVariant(CellText(rowItem.Record(), column)) : rowItem.Text(column);
}

void QtVexaItemModel::Materialize(int row, int column)
{
    auto *serial = static_cast<CRowItem *>(item(row, ColumnSerial));
    auto *cell = new CTextItem(StoredText(*serial, column));
    serial->SetText(column, QVariant());
    const QSignalBlocker blocker(this);
    setItem(row, column, cell);
}

void QtVexaItemModel::WriteCell(int row, int column, const QString &text)
{
    if (QStandardItem *cell = item(row, column))
        cell->setText(text);
    else if (QStandardItem *serial = item(row, ColumnSerial); serial && serial->type() == CRowItem::Type)
        static_cast<CRowItem *>(serial)->SetText(column, text);
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
        static_cast<CRowItem *>(serial)->SetText(column, QVariant());
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
    if (!anchor || (!item(row, ColumnMac) && !RowItemOf(mac)))
        return;
    const QString key = DeviceKey(anchor->text(), data(mac).toString());
    const auto known = m_deviceOfRow.constFind(anchor);
    if (known != m_deviceOfRow.cend()) {
        if (*known == key)
            return;
        UnindexRow(row);
    }
    AddToIndex(anchor, key);
}

void QtVexaItemModel::AddToIndex(QStandardItem *anchor, const QString &key)
{
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
