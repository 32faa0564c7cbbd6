#include "qtvexaitems.h"

#include "qtvexaitemmodel.h"

#include <QModelRoleDataSpan>

#include <algorithm>
#include <charconv>
#include <climits>

static_assert(CRowItem::kColumns == QtVexaItemModel::ColumnCount, "CRowItem keeps a text per column");
static_assert(CRowItem::kColumns <= 32, "CRowItem keeps one bit per column");

namespace {

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

CTextItem::CTextItem(const QVariant &display)
    : m_display(display)
{
}

CTextItem::~CTextItem() = default;

QVariant CTextItem::data(int role) const
{
    return role == Qt::DisplayRole || role == Qt::EditRole ? m_display : QStandardItem::data(role);
}

void CTextItem::setData(const QVariant &value, int role)
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

void CTextItem::multiData(QModelRoleDataSpan roleDataSpan) const
{
    QStandardItem::multiData(roleDataSpan);
    for (QModelRoleData &roleData : roleDataSpan) {
        if (roleData.role() == Qt::DisplayRole || roleData.role() == Qt::EditRole)
            roleData.setData(m_display);
    }
}

QStandardItem *CTextItem::clone() const
{
    return new CTextItem(*this);
}

CIpStandardItem::CIpStandardItem(const QString &text)
    : CTextItem(text)
{
}

CIpStandardItem::~CIpStandardItem() = default;

QStandardItem *CIpStandardItem::clone() const
{
    return new CIpStandardItem(*this);
}

void CIpStandardItem::setData(const QVariant &value, int role)
{
    CTextItem::setData(value, role);
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        m_keyValid = false;
}

bool CIpStandardItem::operator<(const QStandardItem &other) const
{
    if (const auto *ip = dynamic_cast<const CIpStandardItem *>(&other))
        return Key() < ip->Key();
    return Key() < SortKey(other.text());
}

const QByteArray &CIpStandardItem::Key() const
{
    if (!m_keyValid) {
        m_key = SortKey(text());
        m_keyValid = true;
    }
    return m_key;
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

QVariant CRowIdItem::data(int role) const
{
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (const auto *owner = qobject_cast<const QtVexaItemModel *>(model()); owner && owner->m_idsFollowRows)
            return owner->IdTextOf(this);
    }
    return QStandardItem::data(role);
}

void CRowIdItem::setData(const QVariant &value, int role)
{
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        if (auto *owner = qobject_cast<QtVexaItemModel *>(model()))
            owner->PinIds();
    }
    QStandardItem::setData(value, role);
}

bool CRowItem::Writes(const VEXA_DEVICE_INFO_MY &record, int column)
{
    const bool extended = column == QtVexaItemModel::ColumnIpv4Gateway || column >= QtVexaItemModel::ColumnIpv6Addr;
    // Any other extInfo leaves the extended cells as they are.
    return !extended || record.extInfo == 0 || record.extInfo == 1;
}

CRowItem::CRowItem(const QVariant &display, const VEXA_DEVICE_INFO_MY &record)
    : CTextItem(display)
    , m_record(record)
{
}

QStandardItem *CRowItem::clone() const
{
    return new CRowItem(*this);
}

QVariant CRowItem::data(int role) const
{
    if (role == Qt::UserRole - 1) {
        if (QVariant flags = CTextItem::data(role); flags.isValid())
            return flags;
        return int(kFlags);
    }
    return CTextItem::data(role);
}

void CRowItem::SetText(int column, const QVariant &text)
{
    m_fromRecord &= ~(1u << column);
    m_cellText[column] = text;
}

void CRowItem::SetFromRecord(int column)
{
    m_fromRecord |= 1u << column;
    if (m_cellText[column].isValid())
        m_cellText[column].clear();
}

void CRowItem::Rebind(const VEXA_DEVICE_INFO_MY &record, const QtVexaItemModel &model)
{
    for (int column = 0; column < kColumns; ++column) {
        if (IsFromRecord(column) && !Writes(record, column))
            SetText(column, model.CellText(m_record, column));
    }
    m_record = record;
}
