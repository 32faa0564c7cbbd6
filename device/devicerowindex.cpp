#include "devicerowindex.h"

DeviceRowIndex::DeviceRowIndex() = default;

DeviceRowIndex::~DeviceRowIndex() = default;

void DeviceRowIndex::File(Row row, const DeviceId &device, std::optional<quint32> address)
{
    const auto known = m_filed.find(row);
    if (known != m_filed.end() && known->device == device && known->address == address)
        return;
    const bool wasMarked = IsMarked(row);
    if (known != m_filed.end()) {
        TakeFromAddress(row, *known);
        if (known->device != device) {
            const auto rows = m_rowsByDevice.find(known->device);
            rows->removeOne(row);
            if (rows->isEmpty())
                m_rowsByDevice.erase(rows);
            m_rowsByDevice[device].append(row);
        }
        *known = {device, address};
    } else {
        m_filed.insert(row, {device, address});
        m_rowsByDevice[device].append(row);
    }
    PlaceAtAddress(row, {device, address});
    if (IsMarked(row) != wasMarked)
        m_marksChanged.insert(row);
}

void DeviceRowIndex::Readdress(Row row, std::optional<quint32> address)
{
    if (const auto known = m_filed.constFind(row); known != m_filed.cend())
        File(row, DeviceId(known->device), address);
}

void DeviceRowIndex::Remove(Row row)
{
    const auto known = m_filed.find(row);
    if (known == m_filed.end())
        return;
    TakeFromAddress(row, *known);
    const auto rows = m_rowsByDevice.find(known->device);
    rows->removeOne(row);
    if (rows->isEmpty())
        m_rowsByDevice.erase(rows);
    m_filed.erase(known);
    m_marksChanged.remove(row);
}

QList<DeviceRowIndex::Row> DeviceRowIndex::RowsOf(const DeviceId &device) const
{
    return m_rowsByDevice.value(device);
}

QList<DeviceRowIndex::Row> DeviceRowIndex::RowsAt(quint32 address) const
{
    const auto bucket = m_rowsByAddress.constFind(address);
    if (bucket == m_rowsByAddress.cend())
        return {};
    return QList<Row>(bucket->rows.cbegin(), bucket->rows.cend());
}

std::optional<quint32> DeviceRowIndex::AddressOf(Row row) const
{
    const auto known = m_filed.constFind(row);
    return known == m_filed.cend() ? std::nullopt : known->address;
}

bool DeviceRowIndex::IsMarked(Row row) const
{
    const std::optional<quint32> address = AddressOf(row);
    if (!address)
        return false;
    const auto bucket = m_rowsByAddress.constFind(*address);
    return bucket != m_rowsByAddress.cend() && bucket->devices > 1;
}

QList<DeviceRowIndex::Row> DeviceRowIndex::OthersAt(Row row) const
{
    const auto own = m_filed.constFind(row);
    if (own == m_filed.cend() || !own->address)
        return {};
    QList<Row> others;
    for (const Row other : m_rowsByAddress.value(*own->address).rows) {
        if (m_filed.value(other).device != own->device)
            others.append(other);
    }
    return others;
}

QSet<DeviceRowIndex::Row> DeviceRowIndex::TakeMarksChanged()
{
    return std::exchange(m_marksChanged, {});
}

void DeviceRowIndex::PlaceAtAddress(Row row, const Filed &filed)
{
    if (!filed.address)
        return;
    AddressBucket &bucket = m_rowsByAddress[*filed.address];
    bucket.rows.append(row);
    if (++m_rowsOfDeviceAtAddress[{*filed.address, filed.device}] > 1)
        return;
    // From one device to two, every row at the address gains its mark;
    // beyond two, only the new row's changes.
    if (++bucket.devices == 2) {
        for (const Row other : bucket.rows)
            m_marksChanged.insert(other);
    }
}

void DeviceRowIndex::TakeFromAddress(Row row, const Filed &filed)
{
    if (!filed.address)
        return;
    const auto bucket = m_rowsByAddress.find(*filed.address);
    if (bucket == m_rowsByAddress.end())
        return;
    bucket->rows.removeOne(row);
    const auto count = m_rowsOfDeviceAtAddress.find({*filed.address, filed.device});
    if (count != m_rowsOfDeviceAtAddress.end() && --*count <= 0) {
        m_rowsOfDeviceAtAddress.erase(count);
        // From two devices to one, the rows left lose their mark.
        if (--bucket->devices == 1) {
            for (const Row other : bucket->rows)
                m_marksChanged.insert(other);
        }
    }
    if (bucket->rows.isEmpty())
        m_rowsByAddress.erase(bucket);
}
