#pragma once

#include "vexawidgets_export.h"

#include <QAbstractItemModel>
#include <QList>
#include <QPair>
#include <QPointer>
#include <QVariant>

#include <memory>
#include <vector>

class QTreeView;

/**
 * One node of a CTreeViewModel: any number of (role, value) pairs per column
 * and an ordered list of owned children. Qt::EditRole and Qt::DisplayRole are
 * one role here. An item may hold more columns than its model shows.
 */
class VEXAWIDGETS_EXPORT CTreeViewItem
{
    Q_DISABLE_COPY_MOVE(CTreeViewItem)

public:
    explicit CTreeViewItem(int columnCount = 0);
    virtual ~CTreeViewItem();

    CTreeViewItem *Child(int row) const;
    int ChildCount() const;
    /** Position under the parent; 0 for an item without parent. */
    int Row() const;
    CTreeViewItem *Parent() const;

    int ColumnCount() const;
    QVariant Data(int column, int role) const;
    /** Grows the column array as needed; false only for a negative column. */
    bool SetData(int column, int role, const QVariant &value);

    /** Stored CellFlagsRole, else selectable, enabled, user-checkable and drop-enabled. */
    Qt::ItemFlags Flags(int column) const;
    void SetFlags(int column, Qt::ItemFlags flags);
    void SetFlag(int column, Qt::ItemFlag flag, bool on);

    /** New empty children of \a columnCount columns; false for a bad row or count. */
    bool InsertChildren(int row, int count, int columnCount);
    /** Adopts parentless items; false (nothing adopted) for a bad row or item. */
    bool InsertChildren(int row, const QList<CTreeViewItem *> &items);
    /** Deletes the children with their subtrees; false for a bad range. */
    bool RemoveChildren(int row, int count);

    /** Empty columns at \a position in this item and its whole subtree. */
    void InsertColumns(int position, int count);
    /** Drops the columns in this item and its whole subtree, as far as they exist. */
    void RemoveColumns(int position, int count);

    /** Header arrays; used on the root only. */
    QVariant HeaderData(int section, int role) const;
    bool SetHeaderData(int section, int role, const QVariant &value);

private:
    using RoleValues = QList<QPair<int, QVariant>>;

    std::vector<std::unique_ptr<CTreeViewItem>> m_children;
    QList<QVariant> m_headerTexts;
    QList<QVariant> m_headerChecks;
    CTreeViewItem *m_pParent = nullptr;
    QList<RoleValues> m_columns;
};

/**
 * A generic tree model over CTreeViewItem nodes that keeps any role on any
 * cell. Columns are common to the whole tree; only column 0 has children.
 */
class VEXAWIDGETS_EXPORT CTreeViewModel : public QAbstractItemModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTreeViewModel)

public:
    /** A QTreeView given as \a parent gets new rows expanded. */
    explicit CTreeViewModel(QObject *parent = nullptr);
    ~CTreeViewModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &index) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                       int role = Qt::EditRole) override;
    bool insertRows(int row, int count, const QModelIndex &parent = {}) override;
    bool insertColumns(int position, int count, const QModelIndex &parent = {}) override;
    bool removeRows(int row, int count, const QModelIndex &parent = {}) override;
    bool removeColumns(int position, int count, const QModelIndex &parent = {}) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    /**
     * Inserts prepared items at \a row under \a parent. The model takes
     * ownership on success; on failure (bad row, null item, an item that
     * already has a parent or appears twice) nothing changes and the caller
     * keeps the items.
     */
    bool InsertItem(CTreeViewItem *item, int row, const QModelIndex &parent = {});
    bool InsertItems(int row, const QList<CTreeViewItem *> &items, const QModelIndex &parent = {});
    /** The item of \a index; the root for an invalid index. */
    CTreeViewItem *ItemFromIndex(const QModelIndex &index) const;
    /** Removes every row, then resets the model. */
    void Clear();

private:
    /** The item whose children \a parent addresses, or null when it cannot have any. */
    CTreeViewItem *parentItem(const QModelIndex &parent) const;
    void expandRows(int first, int last, const QModelIndex &parent);

    std::unique_ptr<CTreeViewItem> m_pRoot;
    QPointer<QTreeView> m_pView;
};
