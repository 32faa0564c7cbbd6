#include "qtvexaitemmodel.h"

#include "recordtext.h"

#include <addressvalidators.h>

#include <QColor>
#include <QCoreApplication>
#include <QModelRoleDataSpan>
#include <QSignalBlocker>

#include <algorithm>
#include <bit>
#include <utility>

namespace {

struct ColumnSpec {
    const char *header;
    int width;
};

constexpr ColumnSpec kColumns[ColumnCount] = {
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

bool IsTextRole(int role)
{
    return role == Qt::DisplayRole || role == Qt::EditRole;
}

// Rows in ascending order, from their anchors.
QList<int> RowsOfAnchors(const QList<DeviceRowIndex::Row> &anchors)
{
    QList<int> rows;
    rows.reserve(anchors.size());
    for (const QStandardItem *anchor : anchors)
        rows.append(anchor->row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

} // namespace

QtVexaItemModel::QtVexaItemModel(DeviceRecordList &records, QObject *parent)
    : QStandardItemModel(parent)
    , m_records(records)
{
    setColumnCount(ColumnCount);
    for (int column = 0; column < ColumnCount; ++column) {
        setHeaderData(column, Qt::Horizontal,
                      QCoreApplication::translate("QtVexaItemModel", kColumns[column].header));
        setHeaderData(column, Qt::Horizontal, int(Qt::AlignLeft | Qt::AlignVCenter), Qt::TextAlignmentRole);
    }
}

QtVexaItemModel::~QtVexaItemModel() = default;

int QtVexaItemModel::ColumnWidth(int column)
{
    return column >= 0 && column < ColumnCount ? kColumns[column].width : 0;
}

int QtVexaItemModel::AppendDeviceRows(DeviceRecordList::Records &&records)
{
    const int first = rowCount();
    if (records.empty())
        return first;
    const int last = first + int(records.size()) - 1;
    DeviceRecordList::Handle record = m_records.Adopt(records);
    // QStandardItemModel announces each row it appends; the views hear of
    // the whole run once, from here, so that a burst of devices costs them
    // (and assistive technology behind them) one insertion.
    beginInsertRows(QModelIndex(), first, last);
    {
        const QSignalBlocker blocker(this);
        for (int row = first; record != m_records.End(); ++record, ++row)
            appendRow(NewRow(row, record));
    }
    endInsertRows();
    RepaintMarkedRows();
    return first;
}

int QtVexaItemModel::AppendDeviceRow(const VEXA_DEVICE_INFO_MY &record)
{
    return AppendDeviceRows(DeviceRecordList::Records{record});
}

QList<QStandardItem *> QtVexaItemModel::NewRow(int row, DeviceRecordList::Handle record)
{
    // Built complete before insertion: no cell is created twice.
    QList<QStandardItem *> cells(ColumnCount);
    cells[ColumnId] = NewIdCell(row);
    auto *anchor = new CRowItem(FieldText(record->serialNo), record);
    cells[ColumnSerial] = anchor;
    std::optional<quint32> address;
    for (int column = ColumnId + 1; column < ColumnCount; ++column) {
        if (column == ColumnSerial || !DeviceCellTexts::Writes(*record, column))
            continue;
        if (DeviceCellTexts::IsAddressCell(*record, column)) {
            const QString text = m_texts.Of(*record, column);
            if (column == ColumnIpv4Addr)
                address = AddressValue(QStringView(text).trimmed());
            cells[column] = new CIpStandardItem(text);
        } else {
            anchor->SetFromRecord(column);
        }
    }
    m_index.File(anchor, DeviceId::Of(*record), address);
    return cells;
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
        CRowItem *anchor = AnchorOf(row);
        if (anchor) {
            anchor->KeepTextsNotWrittenBy(record, m_texts);
            *anchor->RecordHandle() = record;
        }
        for (int column = ColumnId + 1; column < ColumnCount; ++column) {
            if (column == ColumnSerial || !DeviceCellTexts::Writes(record, column))
                continue;
            if (DeviceCellTexts::IsAddressCell(record, column))
                SetIpText(row, column, m_texts.Of(record, column));
            else if (anchor && !item(row, column))
                anchor->SetFromRecord(column);
            else
                WriteCell(row, column, m_texts.Of(record, column));
        }
        item(row, ColumnSerial)->setFlags(CRowItem::kFlags);
    }
    m_index.File(item(row, ColumnSerial), DeviceId::Of(record), AddressAt(row));
    NotifyRowChanged(row);
    RepaintMarkedRows();
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
        WriteCell(row, ColumnPort, DeviceCellTexts::Padded(port, 5, ' '));
        if (mask)
            WriteCell(row, ColumnIpv4Mask, QString::fromLatin1(mask));
        if (gateway)
            WriteCell(row, ColumnIpv4Gateway, QString::fromLatin1(gateway));
        item(row, ColumnSerial)->setFlags(CRowItem::kFlags);
    }
    if (CRowItem *anchor = AnchorOf(row)) {
        VEXA_DEVICE_INFO_MY &record = *anchor->RecordHandle();
        PutFieldText(record.ipv4Addr, ipv4);
        if (mask)
            PutFieldText(record.ipv4Mask, mask);
        if (gateway)
            PutFieldText(record.ipv4Gateway, gateway);
        record.port = port;
    }
    m_index.Readdress(item(row, ColumnSerial), AddressAt(row));
    NotifyRowChanged(row);
    RepaintMarkedRows();
}

int QtVexaItemModel::RemoveDeviceRows(const DeviceId &device)
{
    const QList<int> rows = RowsOf(device);
    // Only the rows below the first removed one change position, unless
    // the IDs were pinned and every row is renumbered.
    const bool followed = m_ids.FollowRows();
    const int firstChanged = !followed ? 0 : rows.isEmpty() ? rowCount() : rows.first();
    if (followed)
        m_ids.BeginRemoval(rows, rowCount());
    m_removingOwnRows = true;
    // Bottom-up, so the positions still to remove stay valid.
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        removeRow(*it);
    m_removingOwnRows = false;
    m_ids.EndRemoval();
    RepaintMarkedRows();
    m_ids.SetFollowRows(true);
    if (firstChanged < rowCount())
        emit dataChanged(index(firstChanged, ColumnId), index(rowCount() - 1, ColumnId), {Qt::DisplayRole, Qt::EditRole});
    return int(rows.size());
}

const VEXA_DEVICE_INFO_MY *QtVexaItemModel::RecordAt(int row) const
{
    const CRowItem *anchor = AnchorOf(row);
    return anchor ? &anchor->Record() : nullptr;
}

QList<int> QtVexaItemModel::RowsOf(const DeviceId &device) const
{
    return RowsOfAnchors(m_index.RowsOf(device));
}

int QtVexaItemModel::FirstRowOf(const DeviceId &device) const
{
    const QList<int> rows = RowsOf(device);
    return rows.isEmpty() ? -1 : rows.first();
}

QList<int> QtVexaItemModel::RowsAtAddress(const QString &ipv4) const
{
    const std::optional<quint32> address = AddressValue(QStringView(ipv4).trimmed());
    return address ? RowsOfAnchors(m_index.RowsAt(*address)) : QList<int>();
}

bool QtVexaItemModel::HasAddressConflict(int row) const
{
    return m_index.IsMarked(item(row, ColumnSerial));
}

QColor QtVexaItemModel::ConflictColor()
{
    return QColor(255, 170, 0, 120);
}

void QtVexaItemModel::SetLocalSubnets(const QList<Subnet> &subnets)
{
    m_localSubnets = subnets;
    // Tool tips are asked for when shown: nothing to tell the views.
}

Qt::ItemFlags QtVexaItemModel::flags(const QModelIndex &index) const
{
    const Qt::ItemFlags flags = QStandardItemModel::flags(index);
    return index.column() == ColumnSerial ? flags : flags & ~Qt::ItemIsEditable;
}

QVariant QtVexaItemModel::data(const QModelIndex &index, int role) const
{
    if (IsTextRole(role)) {
        if (const CRowItem *anchor = RowItemOf(index))
            return StoredText(*anchor, index.column());
    }
    if (QVariant mark = MarkData(index, role); mark.isValid())
        return mark;
    return QStandardItemModel::data(index, role);
}

void QtVexaItemModel::multiData(const QModelIndex &index, QModelRoleDataSpan roleDataSpan) const
{
    QStandardItemModel::multiData(index, roleDataSpan);
    const CRowItem *anchor = RowItemOf(index);
    for (QModelRoleData &roleData : roleDataSpan) {
        if (anchor && IsTextRole(roleData.role()))
            roleData.setData(StoredText(*anchor, index.column()));
        else if (QVariant mark = MarkData(index, roleData.role()); mark.isValid())
            roleData.setData(std::move(mark));
    }
}

bool QtVexaItemModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    BeforeCellWrite(index, IsTextRole(role));
    const bool written = QStandardItemModel::setData(index, value, role);
    AfterCellWrite(index, IsTextRole(role));
    return written;
}

bool QtVexaItemModel::setItemData(const QModelIndex &index, const QMap<int, QVariant> &roles)
{
    const bool text = roles.contains(Qt::DisplayRole) || roles.contains(Qt::EditRole);
    BeforeCellWrite(index, text);
    const bool written = QStandardItemModel::setItemData(index, roles);
    AfterCellWrite(index, text);
    return written;
}

bool QtVexaItemModel::clearItemData(const QModelIndex &index)
{
    BeforeCellWrite(index, true);
    const bool cleared = QStandardItemModel::clearItemData(index);
    AfterCellWrite(index, true);
    return cleared;
}

void QtVexaItemModel::BeforeCellWrite(const QModelIndex &index, bool text)
{
    if (RowItemOf(index))
        Materialize(index.row(), index.column());
    if (text && index.isValid() && !index.parent().isValid() && index.column() == ColumnId)
        PinIds();
}

void QtVexaItemModel::AfterCellWrite(const QModelIndex &index, bool text)
{
    // The address index follows the address cell whoever writes it.
    if (!text || !index.isValid() || index.parent().isValid() || index.column() != ColumnIpv4Addr)
        return;
    m_index.Readdress(item(index.row(), ColumnSerial), AddressAt(index.row()));
    RepaintMarkedRows();
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

bool QtVexaItemModel::insertRows(int row, int count, const QModelIndex &parent)
{
    // Rows inserted before the end keep the "ID" texts of the rows they push down.
    if (!parent.isValid() && row < rowCount())
        PinIds();
    return QStandardItemModel::insertRows(row, count, parent);
}

bool QtVexaItemModel::removeRows(int row, int count, const QModelIndex &parent)
{
    if (parent.isValid() || row < 0 || count <= 0 || row + count > rowCount())
        return QStandardItemModel::removeRows(row, count, parent);
    // Rows removed by anyone but RemoveDeviceRows keep the others' "ID" texts.
    if (!m_removingOwnRows)
        PinIds();
    QList<DeviceRecordList::Handle> records;
    for (int r = row; r < row + count; ++r) {
        m_index.Remove(item(r, ColumnSerial));
        if (const CRowItem *anchor = AnchorOf(r))
            records.append(anchor->RecordHandle());
    }
    const bool removed = QStandardItemModel::removeRows(row, count, parent);
    // Dropped once no view can ask the removed rows for them.
    for (const DeviceRecordList::Handle record : records)
        m_records.Remove(record);
    if (!m_removingOwnRows)
        RepaintMarkedRows();
    return removed;
}

CRowItem *QtVexaItemModel::AnchorOf(int row) const
{
    QStandardItem *serial = item(row, ColumnSerial);
    return serial && serial->type() == CRowItem::Type ? static_cast<CRowItem *>(serial) : nullptr;
}

CRowItem *QtVexaItemModel::RowItemOf(const QModelIndex &index) const
{
    if (!index.isValid() || index.model() != this || index.internalPointer() != invisibleRootItem()
        || item(index.row(), index.column()))
        return nullptr;
    return AnchorOf(index.row());
}

QVariant QtVexaItemModel::StoredText(const CRowItem &anchor, int column) const
{
    return anchor.IsFromRecord(column) ? QVariant(m_texts.Of(anchor.Record(), column)) : anchor.Text(column);
}

void QtVexaItemModel::Materialize(int row, int column)
{
    CRowItem *anchor = AnchorOf(row);
    auto *cell = new CTextItem(StoredText(*anchor, column));
    anchor->SetText(column, QVariant());
    const QSignalBlocker blocker(this);
    setItem(row, column, cell);
}

void QtVexaItemModel::WriteCell(int row, int column, const QString &text)
{
    if (QStandardItem *cell = item(row, column))
        cell->setText(text);
    else if (CRowItem *anchor = AnchorOf(row))
        anchor->SetText(column, text);
    else
        setItem(row, column, new CTextItem(text));
}

void QtVexaItemModel::SetIpText(int row, int column, const QString &text)
{
    if (auto *ip = dynamic_cast<CIpStandardItem *>(item(row, column))) {
        ip->setText(text);
        return;
    }
    if (CRowItem *anchor = AnchorOf(row))
        anchor->SetText(column, QVariant());
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
    auto *id = new CRowIdItem(m_ids);
    if (!m_ids.FollowRows())
        id->setData(DeviceCellTexts::Padded(row + 1, 3, '0'), Qt::DisplayRole);
    return id;
}

void QtVexaItemModel::NotifyRowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void QtVexaItemModel::PinIds()
{
    if (!m_ids.FollowRows())
        return;
    QList<QString> texts;
    texts.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row)
        texts.append(item(row, ColumnId) ? item(row, ColumnId)->text() : QString());
    m_ids.SetFollowRows(false);
    const QSignalBlocker blocker(this);
    for (int row = 0; row < rowCount(); ++row) {
        if (auto *id = dynamic_cast<CRowIdItem *>(item(row, ColumnId)))
            id->setData(texts.at(row), Qt::DisplayRole);
    }
}

std::optional<quint32> QtVexaItemModel::AddressAt(int row) const
{
    return AddressValue(QStringView(data(index(row, ColumnIpv4Addr)).toString()).trimmed());
}

void QtVexaItemModel::RepaintMarkedRows()
{
    const QSet<DeviceRowIndex::Row> rows = m_index.TakeMarksChanged();
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
    if (!m_index.AddressOf(anchor))
        return {};
    const bool conflict = m_index.IsMarked(anchor);
    if (role == Qt::BackgroundRole)
        return conflict ? QVariant(ConflictColor()) : QVariant();
    QStringList tips;
    if (conflict)
        tips.append(ConflictToolTip(anchor));
    if (const QString reach = ReachabilityToolTip(index.row()); !reach.isEmpty())
        tips.append(reach);
    return tips.isEmpty() ? QVariant() : QVariant(tips.join(QStringLiteral("\n\n")));
}

QString QtVexaItemModel::ReachabilityToolTip(int row) const
{
    if (m_localSubnets.isEmpty())
        return {};
    const std::optional<quint32> address = AddressAt(row);
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
    QList<DeviceRowIndex::Row> others = m_index.OthersAt(anchor);
    std::sort(others.begin(), others.end(),
              [](const QStandardItem *a, const QStandardItem *b) { return a->row() < b->row(); });
    QString tip = tr("IPv4 address %1 is also used by:").arg(AddressText(*m_index.AddressOf(anchor)));
    for (const QStandardItem *other : others.first(std::min<qsizetype>(others.size(), kNamedOthers))) {
        const int row = other->row();
        tip += u'\n' + tr("ID %1, serial number %2").arg(data(index(row, ColumnId)).toString(), other->text());
        const VEXA_DEVICE_INFO_MY *record = RecordAt(row);
        if (record && record->extInfo == 1 && record->dhcpOn == 1)
            tip += tr(" (DHCP on: Modify does not count it as the owner of this address)");
    }
    if (others.size() > kNamedOthers)
        tip += u'\n' + tr("and %1 more devices").arg(others.size() - kNamedOthers);
    return tip;
}
