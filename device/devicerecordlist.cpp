#include "devicerecordlist.h"

#include <cstring>

namespace {

template<std::size_t N>
QByteArrayView BoundedText(const char (&field)[N])
{
    return QByteArrayView(field, qsizetype(strnlen(field, N)));
}

} // namespace

QByteArray DeviceRecordList::SerialOf(const VEXA_DEVICE_INFO_MY &record)
{
    return BoundedText(record.serialNo).toByteArray();
}

QByteArray DeviceRecordList::MacOf(const VEXA_DEVICE_INFO_MY &record)
{
    return BoundedText(record.macAddr).toByteArray();
}

// A serial number never holds a NUL, so the separator cannot make two
// different identities collide.
QByteArray DeviceRecordList::Key(QByteArrayView serial, QByteArrayView mac)
{
#ifdef VEXA_OLDER_EDITION
    // The older edition knows a device by its serial number alone.
    mac = {};
#endif
    QByteArray key;
    key.reserve(serial.size() + 1 + mac.size());
    key.append(serial).append('\0').append(mac);
    return key;
}

QByteArray DeviceRecordList::KeyOf(const VEXA_DEVICE_INFO_MY &record)
{
    // Straight from the record's fields: this runs for every event.
    return Key(BoundedText(record.serialNo), BoundedText(record.macAddr));
}

void DeviceRecordList::AdoptPending(Entries &pending)
{
    if (pending.empty())
        return;
    // Spliced nodes keep their iterators, now into m_records.
    const Entries::iterator first = pending.begin();
    m_records.splice(m_records.end(), pending);
    for (Entries::iterator entry = first; entry != m_records.end(); ++entry)
        m_byDevice[KeyOf(entry->record)].append(entry);
}

void DeviceRecordList::MarkShown(const VEXA_DEVICE_INFO_MY &record)
{
    QList<Entries::iterator> &entries = m_byDevice[KeyOf(record)];
    for (const Entries::iterator &entry : std::as_const(entries)) {
        if (!entry->shown) {
            entry->shown = true;
            return;
        }
    }
    m_records.push_back({record, true});
    entries.append(std::prev(m_records.end()));
}

VEXA_DEVICE_INFO_MY *DeviceRecordList::FindShown(const QByteArray &serial, const QByteArray &mac)
{
    const auto found = m_byDevice.constFind(Key(serial, mac));
    if (found == m_byDevice.constEnd())
        return nullptr;
    for (const Entries::iterator &entry : *found) {
        if (entry->shown)
            return &entry->record;
    }
    return nullptr;
}

int DeviceRecordList::RemoveShown(const QByteArray &serial, const QByteArray &mac)
{
    const auto found = m_byDevice.find(Key(serial, mac));
    if (found == m_byDevice.end())
        return 0;
    QList<Entries::iterator> &entries = *found;
    const qsizetype removed = entries.removeIf([this](const Entries::iterator &entry) {
        if (!entry->shown)
            return false;
        m_records.erase(entry);
        return true;
    });
    if (entries.isEmpty())
        m_byDevice.erase(found);
    return int(removed);
}
