#include "qtvexaitems.h"

#include <QModelRoleDataSpan>
#include <QStandardItemModel>

#include <algorithm>
#include <climits>

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

void RowIds::BeginRemoval(QList<int> ascending, int rowCount)
{
    m_removing = std::move(ascending);
    m_rowsBeforeRemoval = rowCount;
}

void RowIds::EndRemoval()
{
    m_removing.clear();
}

QString RowIds::TextAt(int row, int rowCount) const
{
    // Rows go from the last up, so the rows gone so far are the last ones
    // of m_removing: the row's position before the removal counts them.
    int position = row;
    const qsizetype gone = std::clamp<qsizetype>(m_rowsBeforeRemoval - rowCount, 0, m_removing.size());
    for (const int removed : m_removing.last(gone)) {
        if (removed <= position)
            ++position;
    }
    return DeviceCellTexts::Padded(position + 1, 3, '0');
}

QVariant CRowIdItem::data(int role) const
{
    if ((role == Qt::DisplayRole || role == Qt::EditRole) && m_ids.FollowRows() && model())
        return m_ids.TextAt(row(), model()->rowCount());
    return QStandardItem::data(role);
}

CRowItem::CRowItem(const QVariant &display, DeviceRecordList::Handle record)
    : CTextItem(display)
    , m_record(record)
{
}

QStandardItem *CRowItem::clone() const
{
    return new CTextItem(static_cast<const CTextItem &>(*this));
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

void CRowItem::KeepTextsNotWrittenBy(const VEXA_DEVICE_INFO_MY &next, const DeviceCellTexts &texts)
{
    for (int column = 0; column < kColumns; ++column) {
        if (IsFromRecord(column) && !DeviceCellTexts::Writes(next, column))
            SetText(column, texts.Of(Record(), column));
    }
}
