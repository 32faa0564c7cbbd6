#pragma once

#include "citemroles.h"
#include "vexawidgets_export.h"

#include <QPersistentModelIndex>
#include <QPointer>
#include <QTreeView>

class CTreeViewItem;
class CTreeViewModel;
class QIcon;

/**
 * A flat table built on a tree view: check-box header, thin row lines,
 * button, link, combo, date and byte-limited text cells (see CItemDataRole),
 * press/click/release signals with the model index, and row and cell
 * functions that act on the top-level rows of whatever model is set.
 *
 * Functions that "extend columns" first add columns up to the given one
 * when it does not exist yet.
 */
class VEXAWIDGETS_EXPORT CTableView : public QTreeView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTableView)

public:
    explicit CTableView(QWidget *parent = nullptr);
    ~CTableView() override;

    /** Replaces the model; the view's own default model is deleted, a caller's never. */
    void setModel(QAbstractItemModel *model) override;
    void setSelectionModel(QItemSelectionModel *selectionModel) override;
    using QTreeView::edit; // the public slot, hidden by the override below

    /** Checked or unchecked header box for \a column; drops two leading blanks from its text. */
    void SetHeaderCheckState(int column, bool bChecked);
    void InitColumns(int count);
    void SetHeaderText(int column, const QString &text);
    /** Inserts one new column per text, at positions 0, 1, ... */
    void SetHeaderTexts(const QStringList &texts);

    /** Row functions return the new row, or -1 when the model refused it. */
    int AppendRow();
    int InsertFirstRow();
    /** Inserts before an existing \a row. */
    int InsertRow(int row);
    void RemoveRow(int row);
    void RemoveLastRow();
    int RowCount() const;

    /** Extends columns; sets the text (also as tool tip) of an existing cell. */
    void SetItemText(int row, int column, const QString &text);
    QString GetItemText(int row, int column) const;
    void SetItemChecked(int row, int column, bool bChecked);
    /** Extends columns; makes an existing cell a push-button cell. */
    void SetItemButton(int row, int column, const QString &text, const QIcon &icon);
    /** Extends columns; sets ButtonRole and removes the cell's icon. */
    void SetItemButtonState(int row, int column, const QVariant &value);
    void SetItemMaxBytes(int row, int column, int maxBytes);
    /** Extends columns; the view takes \a widget only when the cell exists. */
    void SetItemWidget(int row, int column, QWidget *widget);
    bool SetData(int row, int column, const QVariant &value, int role = Qt::EditRole);
    QVariant GetData(int row, int column, int role = Qt::DisplayRole) const;
    QModelIndex Index(int row, int column, const QModelIndex &parent = {}) const;

    void SetRowLineVisible(bool bVisible);
    /** Hover feedback and single-click editing for button and link cells. */
    void SetMouseTracking(bool bEnable);

    // Item access; only while the default CTreeViewModel is in place.
    /** Appends prepared items as top-level rows; ownership as CTreeViewModel::InsertItems. */
    bool AppendItems(const QList<CTreeViewItem *> &items);
    /** The item of \a index, or null without the default model. */
    CTreeViewItem *ItemFromIndex(const QModelIndex &index) const;
    /** Data of any column of \a index's item, also beyond the shown columns. */
    QVariant GetItemData(const QModelIndex &index, int column, int role) const;
    bool SetItemData(const QModelIndex &index, int column, const QVariant &value, int role);
    void ClearItems();

    /** A push-button cell, or a link cell (editable bit in CellFlagsRole). */
    virtual bool IsBtnCell(const QModelIndex &index) const;

signals:
#ifndef VEXA_OLDER_EDITION
    /** The user clicked the header check box; the new Qt::CheckState. */
    void SignalHeaderCheckStateChanged(int state);
#endif
    /** Any mouse button released; invalid index when released outside every cell. */
    void SignalClickRelease(const QModelIndex &index);
    void PressedBtn(const QModelIndex &index);
    void ClickedBtn(const QModelIndex &index);
    void currentItemChanged(const QModelIndex &current, const QModelIndex &previous);
#ifndef VEXA_OLDER_EDITION
    void SignalEditingFinished(const QModelIndex &index);
    void SignalComboBoxTextChanged(const QModelIndex &index);
#endif

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    bool viewportEvent(QEvent *event) override;
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                 const QModelIndex &index) const override;

private:
    /** Adds columns so that \a column exists; false when the model refuses. */
    bool extendColumns(int column);
    bool isButtonCell(const QModelIndex &index) const;

    QPointer<CTreeViewModel> m_pDefaultModel;
    bool m_bRowLine = true;
    QPersistentModelIndex m_pressIndex;
    bool m_bMouseTracking = false;
    QMetaObject::Connection m_currentConnection;
};
