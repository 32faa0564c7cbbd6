#include "qtvexaitemmodel.h"

#include "vexadeviceinfo.h"

#include <QCoreApplication>
#include <QSignalBlocker>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>

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

QString Number(const char *format, int value)
{
    return QString::asprintf(format, value);
}

QString YesNo(bool yes)
{
    return yes ? QCoreApplication::translate("QtVexa", "Yes") : QCoreApplication::translate("QtVexa", "No");
}

QString OnOff(bool on)
{
    return on ? QCoreApplication::translate("QtVexa", "ON") : QCoreApplication::translate("QtVexa", "OFF");
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
    char key[48];
    const int length = std::snprintf(key, sizeof key, "%03d%03d%03d%03d", numbers[0], numbers[1], numbers[2], numbers[3]);
    return QByteArray(key, length);
}

QtVexaItemModel::QtVexaItemModel(QObject *parent)
    : QStandardItemModel(parent)
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
    QList<QStandardItem *> cells = RowCells(row);
    {
        // One dataChanged for the row instead of one per cell.
        const QSignalBlocker blocker(this);
        FillRow(cells, row, true, record);
    }
    IndexRow(row);
    NotifyRowChanged(row);
}

void QtVexaItemModel::UpdateRowNetParam(int row, const char *ipv4, const char *mask, int port,
                                        const char *gateway)
{
    if (!ipv4 || row < 0 || row >= rowCount())
        return;
    QList<QStandardItem *> cells = RowCells(row);
    {
        const QSignalBlocker blocker(this);
        EnsureIdCell(cells, row, true);
        SetIpText(cells, row, true, ColumnIpv4Addr, QString::fromLatin1(ipv4));
        cells[ColumnPort]->setText(Number("%5d", port));
        if (mask)
            cells[ColumnIpv4Mask]->setText(QString::fromLatin1(mask));
        if (gateway)
            cells[ColumnIpv4Gateway]->setText(QString::fromLatin1(gateway));
        for (QStandardItem *cell : std::as_const(cells))
            cell->setEditable(false);
        cells[ColumnSerial]->setFlags(kSerialFlags);
    }
    NotifyRowChanged(row);
}

int QtVexaItemModel::AppendDeviceRow(const VEXA_DEVICE_INFO_MY &record)
{
    const int row = rowCount();
    QList<QStandardItem *> cells;
    cells.reserve(ColumnCount);
    for (int column = 0; column < ColumnCount; ++column)
        cells.append(new QStandardItem);
    // Filled before insertion: views see one rowsInserted and no per-cell dataChanged.
    FillRow(cells, row, false, record);
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
    m_removingOwnRows = true;
    // Bottom-up, so the positions still to remove stay valid.
    for (auto it = rows.crbegin(); it != rows.crend(); ++it)
        removeRow(*it);
    m_removingOwnRows = false;
    m_pendingRemoved.clear();
    m_idsFollowRows = true;
    if (rowCount() > 0)
        emit dataChanged(index(0, ColumnId), index(rowCount() - 1, ColumnId), {Qt::DisplayRole, Qt::EditRole});
    return int(rows.size());
}

void QtVexaItemModel::sort(int column, Qt::SortOrder order)
{
    // Sorting moves rows together with their "ID" texts.
    PinIds();
    QStandardItemModel::sort(column, order);
}

void QtVexaItemModel::FillRow(QList<QStandardItem *> &cells, int row, bool inModel,
                              const VEXA_DEVICE_INFO_MY &record)
{
    EnsureIdCell(cells, row, inModel);
    cells[ColumnType]->setText(FieldText(record.typeName));
    SetIpText(cells, row, inModel, ColumnIpv4Addr, FieldText(record.ipv4Addr));
    cells[ColumnPort]->setText(Number("%5d", record.port));
    cells[ColumnSerial]->setText(FieldText(record.serialNo));
    SetIpText(cells, row, inModel, ColumnIpv4Mask, FieldText(record.ipv4Mask));
    cells[ColumnMac]->setText(FieldText(record.macAddr));
    cells[ColumnChannels]->setText(Number("%2d", record.channelCount));
    cells[ColumnSoftVersion]->setText(FieldText(record.softwareVersion));
    cells[ColumnDspVersion]->setText(FieldText(record.dspVersion));
    cells[ColumnStartTime]->setText(FieldText(record.startTime));

    if (record.extInfo == 0) {
        for (int column : {ColumnIpv4Gateway, ColumnIpv6Addr, ColumnIpv6Gateway, ColumnIpv6Prefix,
                           ColumnSupportIpv6, ColumnSupportModIpv6, ColumnSupportDhcp, ColumnIpv4Dhcp})
            cells[column]->setText(QString());
    } else if (record.extInfo == 1) {
        SetIpText(cells, row, inModel, ColumnIpv4Gateway, FieldText(record.ipv4Gateway));
        const bool ipv6 = record.capabilities & 0x01;
        cells[ColumnIpv6Addr]->setText(ipv6 ? FieldText(record.ipv6Addr) : QString());
        cells[ColumnIpv6Gateway]->setText(ipv6 ? FieldText(record.ipv6Gateway) : QString());
        cells[ColumnIpv6Prefix]->setText(ipv6 ? Number("%2d", record.ipv6PrefixLen) : QString());
        cells[ColumnSupportIpv6]->setText(YesNo(ipv6));
        cells[ColumnSupportDhcp]->setText(YesNo(record.capabilities & 0x04));
        cells[ColumnSupportModIpv6]->setText(YesNo(record.capabilities & 0x02));
        cells[ColumnIpv4Dhcp]->setText(OnOff(record.dhcpOn == 1));
    }

    for (QStandardItem *cell : std::as_const(cells))
        cell->setEditable(false);
    // Editable so that the serial number can be selected and copied; the page undoes edits.
    cells[ColumnSerial]->setFlags(kSerialFlags);
}

void QtVexaItemModel::SetIpText(QList<QStandardItem *> &cells, int row, bool inModel, int column,
                                const QString &text)
{
    if (dynamic_cast<CIpStandardItem *>(cells[column])) {
        cells[column]->setText(text);
        return;
    }
    auto *ip = new CIpStandardItem(text);
    if (inModel)
        setItem(row, column, ip);
    else
        delete cells[column];
    cells[column] = ip;
}

void QtVexaItemModel::EnsureIdCell(QList<QStandardItem *> &cells, int row, bool inModel)
{
    if (dynamic_cast<CRowIdItem *>(cells[ColumnId]) || !cells[ColumnId]->text().isEmpty())
        return;
    auto *id = new CRowIdItem;
    if (!m_idsFollowRows)
        id->QStandardItem::setData(Number("%03d", row + 1), Qt::DisplayRole);
    if (inModel)
        setItem(row, ColumnId, id);
    else
        delete cells[ColumnId];
    cells[ColumnId] = id;
}

QList<QStandardItem *> QtVexaItemModel::RowCells(int row)
{
    QList<QStandardItem *> cells;
    cells.reserve(ColumnCount);
    for (int column = 0; column < ColumnCount; ++column) {
        QStandardItem *cell = item(row, column);
        if (!cell) {
            cell = new QStandardItem;
            const QSignalBlocker blocker(this);
            setItem(row, column, cell);
        }
        cells.append(cell);
    }
    return cells;
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
    return Number("%03d", position + 1);
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
    const QStandardItem *mac = item(row, ColumnMac);
    if (!anchor || !mac)
        return;
    const QString key = DeviceKey(anchor->text(), mac->text());
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
