#pragma once

#include "vexawidgets_export.h"

#include <QStyledItemDelegate>

class QDateTimeEdit;

/**
 * The table view's delegate: picks the editor from the cell's roles
 * (ComboItemsRole, then DateTimeRole/DateRole, else a line edit limited by
 * RegExpRole and MaxBytesRole) and reports finished edits. Given a
 * CTableView, its signals are relayed as the view's signals of the same names.
 */
class VEXAWIDGETS_EXPORT CTableDelegate : public QStyledItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTableDelegate)

public:
    explicit CTableDelegate(QObject *view = nullptr);

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override;
    void setEditorData(QWidget *editor, const QModelIndex &index) const override;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override;
    void updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const override;
    /** Paints a cell's Qt::BackgroundRole itself, so a row mark shows under any style sheet. */
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

#ifndef VEXA_OLDER_EDITION
signals:
    void SignalEditingFinished(const QModelIndex &index);
    void SignalComboBoxTextChanged(const QModelIndex &index);
#endif

protected:
    /**
     * The editor of a DateTimeRole cell, or of a DateRole cell when
     * \a bDateOnly. Value transfer in both directions is done here for any
     * QDateTimeEdit, so a richer editor only has to be created.
     */
    virtual QDateTimeEdit *CreateDateEditor(QWidget *parent, bool bDateOnly) const;
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override;

    QObject *m_pView = nullptr;
};

/**
 * A delegate for two-level trees: image backgrounds, an open/closed arrow on
 * top-level rows and up to two status icons (StatusIconRightRole,
 * StatusIconLeftRole) at the right end of child rows.
 */
class VEXAWIDGETS_EXPORT CTreeViewDelegate : public CTableDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CTreeViewDelegate)

public:
    using CTableDelegate::CTableDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;

private:
    void paintChildRow(QPainter *painter, const QStyleOptionViewItem &option,
                       const QModelIndex &index) const;
    void paintTopLevelRow(QPainter *painter, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const;
};
