#pragma once

#include "vexawidgets_export.h"

#include <QHeaderView>
#include <QList>

/**
 * A header that draws a tri-state check box in section 0 when the model has
 * a horizontal header check state for it (Qt::CheckStateRole). Clicking the
 * box checks or unchecks every top-level row; the box follows the rows'
 * column-0 check states as they change, arrive and go.
 */
class VEXAWIDGETS_EXPORT CHeaderView : public QHeaderView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CHeaderView)

public:
    explicit CHeaderView(Qt::Orientation orientation, QWidget *parent = nullptr);

    void setModel(QAbstractItemModel *model) override;

signals:
    /** The user clicked the check box; \a state is the new Qt::CheckState (0 or 2). */
    void SignalCheckStateChanged(int state);

public slots:
    /** Recomputes the box from the rows; an invalid index means "any row may have changed". */
    void OnDataChanged(const QModelIndex &miIndex);

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;

private:
    // Set while painting, which Qt declares const.
    mutable QRect m_rcCheck;
    QWidget *m_pView = nullptr;
    bool m_bSettingRows = false;
    QList<QMetaObject::Connection> m_modelConnections;
};
