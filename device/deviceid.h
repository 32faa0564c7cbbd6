#pragma once

#include "vexadevice_export.h"
// Included, not declared: in the older edition the record's name is an alias.
#include "vexadeviceinfo.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

/**
 * Which device a record, a report or a table row names, by the edition's
 * rule: the serial number together with the MAC address; in the older
 * edition the serial number alone. Compared as the fields' bytes, read
 * within their widths, so any bytes a device sends tell devices apart.
 */
class VEXADEVICE_EXPORT DeviceId final
{
public:
    /** Names no device. */
    DeviceId() = default;
    DeviceId(QByteArrayView serial, QByteArrayView mac);

    static DeviceId Of(const VEXA_DEVICE_INFO_MY &record);
    /**
     * The device whose serial number and MAC address the table shows as
     * these texts (Latin-1, one character per byte). A text with a character
     * beyond Latin-1 came from no device: it names none.
     */
    static DeviceId FromTexts(const QString &serial, const QString &mac);

    bool IsNull() const { return m_key.isEmpty(); }
    /** Whether the table's texts `serial` and `mac` show this device (the MAC is ignored where the edition ignores it). */
    bool IsShownAs(const QString &serial, const QString &mac) const;

    friend bool operator==(const DeviceId &a, const DeviceId &b) { return a.m_key == b.m_key; }
    friend size_t qHash(const DeviceId &id, size_t seed = 0) noexcept { return qHash(id.m_key, seed); }

private:
    QByteArrayView Serial() const;
    QByteArrayView Mac() const;

    // The serial number, a NUL, and the MAC address (nothing in the older
    // edition). A serial number read within its field holds no NUL, so two
    // identities never share a key.
    QByteArray m_key;
};
