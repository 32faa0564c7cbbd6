#pragma once

#include <QByteArrayView>
#include <QString>

#include <cstring>

// The text fields of records and reports: 8-bit, copied at full width, so a
// field may fill its width without a terminator. Every reader and writer of
// such a field in the device page goes through these.

/** The field's bytes up to its first NUL, never beyond the field. */
template<std::size_t N>
QByteArrayView FieldBytes(const char (&field)[N])
{
    return QByteArrayView(field, qsizetype(::strnlen(field, N)));
}

/** The field as the table shows it: Latin-1, every byte one character, so any bytes read back exactly. */
template<std::size_t N>
QString FieldText(const char (&field)[N])
{
    return QString::fromLatin1(FieldBytes(field));
}

/**
 * Zero-fills the field and copies `text` into it, always leaving the
 * terminator. False, with the field left empty, when the text does not fit.
 */
template<std::size_t N>
bool PutFieldText(char (&field)[N], QByteArrayView text)
{
    std::memset(field, 0, N);
    if (std::size_t(text.size()) >= N)
        return false;
    if (!text.isEmpty())
        std::memcpy(field, text.data(), std::size_t(text.size()));
    return true;
}
