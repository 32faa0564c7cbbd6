#include "deviceid.h"

#include "recordtext.h"

#include <QLatin1String>

#include <optional>

namespace {

// The bytes a text stands for in the table, or nothing when a character lies
// beyond Latin-1 (no byte shows as it) or is a NUL (no field holds one).
std::optional<QByteArray> FieldBytesOf(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF || c.unicode() == 0)
            return std::nullopt;
    }
    return text.toLatin1();
}

QLatin1String Latin1(QByteArrayView bytes)
{
    return QLatin1String(bytes.data(), bytes.size());
}

} // namespace

DeviceId::DeviceId(QByteArrayView serial, QByteArrayView mac)
{
#ifdef VEXA_OLDER_EDITION
    // The older edition knows a device by its serial number alone.
    mac = {};
#endif
    // Sized once: this runs for every device event.
    m_key.reserve(serial.size() + 1 + mac.size());
    m_key.append(serial).append('\0').append(mac);
}

DeviceId DeviceId::Of(const VEXA_DEVICE_INFO_MY &record)
{
    return DeviceId(FieldBytes(record.serialNo), FieldBytes(record.macAddr));
}

DeviceId DeviceId::FromTexts(const QString &serial, const QString &mac)
{
    const std::optional<QByteArray> serialBytes = FieldBytesOf(serial);
    const std::optional<QByteArray> macBytes = FieldBytesOf(mac);
    if (!serialBytes || !macBytes)
        return DeviceId();
    return DeviceId(*serialBytes, *macBytes);
}

bool DeviceId::IsShownAs(const QString &serial, const QString &mac) const
{
    if (IsNull() || serial != Latin1(Serial()))
        return false;
#ifdef VEXA_OLDER_EDITION
    Q_UNUSED(mac);
    return true;
#else
    return mac == Latin1(Mac());
#endif
}

QByteArrayView DeviceId::Serial() const
{
    return QByteArrayView(m_key).first(m_key.indexOf('\0'));
}

QByteArrayView DeviceId::Mac() const
{
    return QByteArrayView(m_key).sliced(m_key.indexOf('\0') + 1);
}
