#include "ctreeviewmodel.h"

#include "citemroles.h"

#include <QTreeView>

#include <algorithm>
#include <set>

namespace {

// Both roles name one text; storing them apart would let the two drift.
int storedRole(int role)
{
    return role == Qt::EditRole ? Qt::DisplayRole : role;
}

constexpr Qt::ItemFlags defaultFlags = Qt::ItemIsSelectable | Qt::ItemIsDropEnabled
    | Qt::ItemIsUserCheckable | Qt::ItemIsEnabled;

} // namespace

// ---- CTreeViewItem ----

CTreeViewItem::CTreeViewItem(int columnCount)
    : m_columns(std::max(columnCount, 0))
{
}

CTreeViewItem::~CTreeViewItem() = default;

CTreeViewItem *CTreeViewItem::Child(int row) const
{
    if (row < 0 || row >= ChildCount())
        return nullptr;
    return m_children[static_cast<std::size_t>(row)].get();
}

int CTreeViewItem::ChildCount() const
{
    return static_cast<int>(m_children.size());
}

int CTreeViewItem::Row() const
{
    if (!m_pParent)
        return 0;
    const auto &siblings = m_pParent->m_children;
    const auto it = std::find_if(siblings.cbegin(), siblings.cend(),
                                 [this](const auto &child) { return child.get() == this; });
    return static_cast<int>(it - siblings.cbegin());
}

CTreeViewItem *CTreeViewItem::Parent() const
{
    return m_pParent;
}

int CTreeViewItem::ColumnCount() const
{
    return static_cast<int>(m_columns.size());
}

QVariant CTreeViewItem::Data(int column, int role) const
{
    if (column < 0 || column >= ColumnCount())
        return {};
    role = storedRole(role);
    for (const auto &pair : m_columns.at(column)) {
        if (pair.first == role)
            return pair.second;
    }
    return {};
}

bool CTreeViewItem::SetData(int column, int role, const QVariant &value)
{
    if (column < 0)
        return false;
    if (column >= ColumnCount())
        m_columns.resize(column + 1);
    role = storedRole(role);
    RoleValues &values = m_columns[column];
    for (auto &pair : values) {
        if (pair.first == role) {
            if (pair.second != value)
                pair.second = value;
            return true;
        }
    }
    values.append({role, value});
    return true;
}

Qt::ItemFlags CTreeViewItem::Flags(int column) const
{
    const QVariant stored = Data(column, CellFlagsRole);
    return stored.isValid() ? Qt::ItemFlags(stored.toInt()) : defaultFlags;
}

void CTreeViewItem::SetFlags(int column, Qt::ItemFlags flags)
{
    SetData(column, CellFlagsRole, int(flags));
}

void CTreeViewItem::SetFlag(int column, Qt::ItemFlag flag, bool on)
{
    SetFlags(column, Flags(column).setFlag(flag, on));
}

bool CTreeViewItem::InsertChildren(int row, int count, int columnCount)
{
    if (row < 0 || row > ChildCount() || count <= 0)
        return false;
    QList<CTreeViewItem *> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i)
        items.append(new CTreeViewItem(columnCount));
    return InsertChildren(row, items);
}

bool CTreeViewItem::InsertChildren(int row, const QList<CTreeViewItem *> &items)
{
    if (row < 0 || row > ChildCount() || items.isEmpty())
        return false;
    std::set<const CTreeViewItem *> seen;
    for (const CTreeViewItem *item : items) {
        // A parentless item could still be an ancestor of this one (a root).
        if (!item || item->m_pParent || item == this || !seen.insert(item).second)
            return false;
        for (const CTreeViewItem *up = m_pParent; up; up = up->m_pParent) {
            if (up == item)
                return false;
        }
    }
    auto pos = m_children.begin() + row;
    for (CTreeViewItem *item : items) {
        item->m_pParent = this;
        pos = m_children.emplace(pos, item) + 1;
    }
    return true;
}

bool CTreeViewItem::RemoveChildren(int row, int count)
{
    if (row < 0 || count <= 0 || row > ChildCount() - count)
        return false;
    m_children.erase(m_children.begin() + row, m_children.begin() + row + count);
    return true;
}

void CTreeViewItem::InsertColumns(int position, int count)
{
    if (position < 0 || count <= 0)
        return;
    // An item shorter than the position reads the new columns as empty anyway.
    if (position <= ColumnCount())
        m_columns.insert(position, count, RoleValues());
    if (!m_pParent && position <= m_headerTexts.size()) {
        m_headerTexts.insert(position, count, QVariant());
        m_headerChecks.insert(position, count, QVariant());
    }
    for (const auto &child : m_children)
        child->InsertColumns(position, count);
}

void CTreeViewItem::RemoveColumns(int position, int count)
{
    if (position < 0 || count <= 0)
        return;
    auto removeFrom = [position, count](auto &list) {
        if (position < list.size())
            list.remove(position, std::min<qsizetype>(count, list.size() - position));
    };
    removeFrom(m_columns);
    removeFrom(m_headerTexts);
    removeFrom(m_headerChecks);
    for (const auto &child : m_children)
        child->RemoveColumns(position, count);
}

QVariant CTreeViewItem::HeaderData(int section, int role) const
{
    const QList<QVariant> &array = role == Qt::CheckStateRole ? m_headerChecks : m_headerTexts;
    return section >= 0 && section < array.size() ? array.at(section) : QVariant();
}

bool CTreeViewItem::SetHeaderData(int section, int role, const QVariant &value)
{
    QList<QVariant> &array = role == Qt::CheckStateRole ? m_headerChecks : m_headerTexts;
    if (section < 0 || section >= array.size())
        return false;
    array[section] = value;
    return true;
}

// ---- CTreeViewModel ----

CTreeViewModel::CTreeViewModel(QObject *parent)
    : QAbstractItemModel(parent)
    , m_pRoot(std::make_unique<CTreeViewItem>())
    , m_pView(qobject_cast<QTreeView *>(parent))
{
}

CTreeViewModel::~CTreeViewModel() = default;

CTreeViewItem *CTreeViewModel::ItemFromIndex(const QModelIndex &index) const
{
    if (index.isValid() && index.model() == this)
        return static_cast<CTreeViewItem *>(index.internalPointer());
    return m_pRoot.get();
}

CTreeViewItem *CTreeViewModel::parentItem(const QModelIndex &parent) const
{
    // Only column 0 carries children; anything else would be unreachable by index().
    if (parent.isValid() && (parent.model() != this || parent.column() != 0))
        return nullptr;
    return ItemFromIndex(parent);
}

QModelIndex CTreeViewModel::index(int row, int column, const QModelIndex &parent) const
{
    const CTreeViewItem *owner = parentItem(parent);
    if (!owner || column < 0 || column >= columnCount())
        return {};
    CTreeViewItem *child = owner->Child(row);
    return child ? createIndex(row, column, child) : QModelIndex();
}

QModelIndex CTreeViewModel::parent(const QModelIndex &index) const
{
    if (!index.isValid())
        return {};
    CTreeViewItem *owner = ItemFromIndex(index)->Parent();
    if (!owner || owner == m_pRoot.get())
        return {};
    return createIndex(owner->Row(), 0, owner);
}

int CTreeViewModel::rowCount(const QModelIndex &parent) const
{
    const CTreeViewItem *owner = parentItem(parent);
    return owner ? owner->ChildCount() : 0;
}

int CTreeViewModel::columnCount(const QModelIndex &) const
{
    return m_pRoot->ColumnCount();
}

QVariant CTreeViewModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    return ItemFromIndex(index)->Data(index.column(), role);
}

bool CTreeViewModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.model() != this)
        return false;
    if (!ItemFromIndex(index)->SetData(index.column(), role, value))
        return false;
    emit dataChanged(index, index);
    return true;
}

QVariant CTreeViewModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    if (orientation != Qt::Horizontal
        || (role != Qt::DisplayRole && role != Qt::CheckStateRole))
        return {};
    return m_pRoot->HeaderData(section, role);
}

bool CTreeViewModel::setHeaderData(int section, Qt::Orientation orientation,
                                   const QVariant &value, int role)
{
    // Only the horizontal header is kept; a vertical write must not land on it.
    if (orientation != Qt::Horizontal || !m_pRoot->SetHeaderData(section, role, value))
        return false;
    emit headerDataChanged(orientation, section, section);
    return true;
}

bool CTreeViewModel::insertRows(int row, int count, const QModelIndex &parent)
{
    CTreeViewItem *owner = parentItem(parent);
    if (!owner || row < 0 || row > owner->ChildCount() || count <= 0)
        return false;
    beginInsertRows(parent, row, row + count - 1);
    owner->InsertChildren(row, count, columnCount());
    endInsertRows();
    expandRows(row, row, parent);
    return true;
}

bool CTreeViewModel::InsertItem(CTreeViewItem *item, int row, const QModelIndex &parent)
{
    return InsertItems(row, {item}, parent);
}

bool CTreeViewModel::InsertItems(int row, const QList<CTreeViewItem *> &items,
                                 const QModelIndex &parent)
{
    CTreeViewItem *owner = parentItem(parent);
    if (!owner || row < 0 || row > owner->ChildCount() || items.isEmpty()
        || items.contains(m_pRoot.get()))
        return false;
    // Validate before announcing: a refused insertion must leave no trace.
    for (const CTreeViewItem *item : items) {
        if (!item || item->Parent())
            return false;
    }
    if (std::set<const CTreeViewItem *>(items.cbegin(), items.cend()).size()
        != static_cast<std::size_t>(items.size()))
        return false;
    const int last = row + static_cast<int>(items.size()) - 1;
    beginInsertRows(parent, row, last);
    owner->InsertChildren(row, items);
    endInsertRows();
    expandRows(row, last, parent);
    return true;
}

void CTreeViewModel::expandRows(int first, int last, const QModelIndex &parent)
{
    if (!m_pView)
        return;
    for (int row = first; row <= last; ++row)
        m_pView->expand(index(row, 0, parent));
}

bool CTreeViewModel::insertColumns(int position, int count, const QModelIndex &parent)
{
    if (position < 0 || position > columnCount() || count <= 0)
        return false;
    beginInsertColumns(parent, position, position + count - 1);
    m_pRoot->InsertColumns(position, count);
    endInsertColumns();
    return true;
}

bool CTreeViewModel::removeRows(int row, int count, const QModelIndex &parent)
{
    CTreeViewItem *owner = parentItem(parent);
    if (!owner || row < 0 || count <= 0 || row > owner->ChildCount() - count)
        return false;
    beginRemoveRows(parent, row, row + count - 1);
    owner->RemoveChildren(row, count);
    endRemoveRows();
    return true;
}

bool CTreeViewModel::removeColumns(int position, int count, const QModelIndex &parent)
{
    if (position < 0 || count <= 0 || position > columnCount() - count)
        return false;
    beginRemoveColumns(parent, position, position + count - 1);
    m_pRoot->RemoveColumns(position, count);
    endRemoveColumns();
    // Rows without any column cannot be shown or addressed.
    if (columnCount() == 0 && rowCount() > 0)
        removeRows(0, rowCount());
    return true;
}

Qt::ItemFlags CTreeViewModel::flags(const QModelIndex &index) const
{
    return ItemFromIndex(index)->Flags(index.column());
}

void CTreeViewModel::Clear()
{
    beginResetModel();
    m_pRoot->RemoveChildren(0, m_pRoot->ChildCount());
    endResetModel();
}
