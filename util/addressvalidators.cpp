#include "addressvalidators.h"

#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace {

// A piece of ASCII decimal digits worth at most 255; signs, blanks and other
// digits fail. Leading zeros are allowed, however many.
std::optional<quint8> DecimalOctet(QStringView piece)
{
    if (piece.isEmpty())
        return std::nullopt;
    unsigned value = 0;
    for (const QChar c : piece) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + unsigned(c.unicode() - u'0');
        if (value > 255)
            return std::nullopt;
    }
    return quint8(value);
}

// One to four hex digits: a 16-bit group as an address writes it.
bool IsHexGroup(QStringView piece)
{
    if (piece.isEmpty() || piece.size() > 4)
        return false;
    for (const QChar c : piece) {
        const char16_t u = c.unicode();
        if (!((u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F')))
            return false;
    }
    return true;
}

} // namespace

std::optional<std::array<quint8, 4>> IPv4Octets(const QString &text)
{
    const QStringList pieces = text.split(u'.', Qt::KeepEmptyParts);
    if (pieces.size() != 4)
        return std::nullopt;
    std::array<quint8, 4> octets{};
    for (int i = 0; i < 4; ++i) {
        const std::optional<quint8> octet = DecimalOctet(pieces.at(i));
        if (!octet)
            return std::nullopt;
        octets[size_t(i)] = *octet;
    }
    return octets;
}

QString PlainIPv4(const QString &text)
{
    const auto octets = IPv4Octets(text);
    if (!octets)
        return {};
    return QStringLiteral("%1.%2.%3.%4").arg((*octets)[0]).arg((*octets)[1]).arg((*octets)[2]).arg((*octets)[3]);
}

bool IsValidIPv4Addr(const QString &text)
{
    const auto octets = IPv4Octets(text);
    return octets && (*octets)[3] != 0;
}

bool IsValidIPv4Gateway(const QString &text)
{
    return text == QLatin1String("0.0.0.0") || IsValidIPv4Addr(text);
}

bool IsValidSubnetMask(const QString &text)
{
    static const QRegularExpression mask(QRegularExpression::anchoredPattern(QStringLiteral(
        "(254|252|248|240|224|192|128|0)\\.0\\.0\\.0|"
        "255\\.(254|252|248|240|224|192|128|0)\\.0\\.0|"
        "255\\.255\\.(254|252|248|240|224|192|128|0)\\.0|"
        "255\\.255\\.255\\.(254|252|248|240|224|192|128|0)")));
    return mask.match(text).hasMatch();
}

bool IsValidIPv6Addr(const QString &text)
{
    QString address = text;
    const qsizetype zone = address.lastIndexOf(u'%');
    if (zone >= 0)
        address.truncate(zone);

    const QStringList pieces = address.split(u':', Qt::KeepEmptyParts);
    const qsizetype n = pieces.size();
    if (n < 3 || n > 8)
        return false;
    // Overlapping occurrences count, so ":::" is two and fails here.
    qsizetype compressions = 0;
    for (qsizetype i = address.indexOf(QLatin1String("::")); i >= 0; i = address.indexOf(QLatin1String("::"), i + 1))
        ++compressions;
    if (compressions > 1)
        return false;

    int groups = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QString &piece = pieces.at(i);
        if (piece.isEmpty()) {
            // Empty pieces only come from the one "::": a single colon at
            // either end leaves an empty piece without an empty neighbour.
            if (i == n - 1 && !pieces.at(i - 1).isEmpty())
                return false;
            if (i == 0 && !pieces.at(1).isEmpty())
                return false;
            continue;
        }
        if (IsHexGroup(piece))
            groups += 1;
        else if (i == n - 1 && IsValidIPv4Addr(piece))
            groups += 2;
        else
            return false;
    }
    // Written out, the groups must make eight; "::" stands for at least one.
    return compressions == 0 ? groups == 8 : groups <= 7;
}
