#include "cheaderview.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QScopedValueRollback>
#include <QTreeView>

namespace {

constexpr int checkBoxSize = 16;

QVariant headerCheckState(const QAbstractItemModel *model)
{
    return model->headerData(0, Qt::Horizontal, Qt::CheckStateRole);
}

} // namespace

CHeaderView::CHeaderView(Qt::Orientation orientation, QWidget *parent)
    : QHeaderView(orientation, parent)
    , m_pView(parent)
{
    setStretchLastSection(true);
    setSectionsClickable(true);
}

void CHeaderView::setModel(QAbstractItemModel *newModel)
{
    if (newModel == model())
        return;
    for (const auto &connection : std::as_const(m_modelConnections))
        disconnect(connection);
    m_modelConnections.clear();
    if (newModel) {
        auto rowsChanged = [this](const QModelIndex &parent) {
            if (!parent.isValid())
                OnDataChanged({});
        };
        m_modelConnections = {
            connect(newModel, &QAbstractItemModel::dataChanged, this,
                    &CHeaderView::OnDataChanged),
            connect(newModel, &QAbstractItemModel::rowsInserted, this, rowsChanged),
            connect(newModel, &QAbstractItemModel::rowsRemoved, this, rowsChanged),
            connect(newModel, &QAbstractItemModel::modelReset, this,
                    [this] { OnDataChanged({}); }),
        };
    }
    QHeaderView::setModel(newModel);
}

void CHeaderView::OnDataChanged(const QModelIndex &miIndex)
{
    QAbstractItemModel *const m = model();
    if (!m || m_bSettingRows)
        return;
    // Row check states live in column 0 of top-level rows; other changes cannot move the box.
    if (miIndex.isValid() && (miIndex.column() != 0 || miIndex.parent().isValid()))
        return;
    const QVariant current = headerCheckState(m);
    if (!current.isValid())
        return;
    bool checked = false;
    bool unchecked = false;
    for (int row = 0, rows = m->rowCount(); row < rows && !(checked && unchecked); ++row) {
        if (m->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked)
            checked = true;
        else
            unchecked = true;
    }
    const int state = checked && unchecked ? Qt::PartiallyChecked
                                           : (unchecked ? Qt::Unchecked : Qt::Checked);
    if (current.toInt() != state)
        m->setHeaderData(0, Qt::Horizontal, state, Qt::CheckStateRole);
}

void CHeaderView::mouseReleaseEvent(QMouseEvent *event)
{
    QAbstractItemModel *const m = model();
    if (m && sectionsClickable() && m_rcCheck.contains(event->position().toPoint())) {
        const QVariant current = headerCheckState(m);
        if (current.isValid()) {
            // A partial box becomes checked, like a tri-state check box.
            const int state = current.toInt() == Qt::Checked ? Qt::Unchecked : Qt::Checked;
            m->setHeaderData(0, Qt::Horizontal, state, Qt::CheckStateRole);
            {
                // The rows reach the state the header already shows; no need to recount per row.
                const QScopedValueRollback guard(m_bSettingRows, true);
                for (int row = 0, rows = m->rowCount(); row < rows; ++row)
                    m->setData(m->index(row, 0), state, Qt::CheckStateRole);
            }
            emit SignalCheckStateChanged(state);
        }
    }
    QHeaderView::mouseReleaseEvent(event);
}

void CHeaderView::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    const QAbstractItemModel *const m = model();
    if (logicalIndex != 0 || !m) {
        QHeaderView::paintSection(painter, rect.adjusted(4, 0, 0, 0), logicalIndex);
        return;
    }
    const QVariant state = headerCheckState(m);
    if (state.isValid()) {
        const auto *tree = qobject_cast<const QTreeView *>(m_pView);
        const int indent = tree ? tree->indentation() : 0;
        m_rcCheck = QRect(rect.x() + indent + 3, rect.y() + (rect.height() - checkBoxSize) / 2,
                          checkBoxSize, checkBoxSize);
        QString image;
        switch (state.toInt()) {
        case Qt::Checked:
            image = QStringLiteral(":/images/public/CheckBox/checkbox.png");
            break;
        case Qt::Unchecked:
            image = QStringLiteral(":/images/public/CheckBox/uncheckbox.png");
            break;
        default:
            image = QStringLiteral(":/images/public/CheckBox/PartiallyCheckBox.png");
            break;
        }
        painter->save();
        painter->setClipRect(m_rcCheck);
        painter->drawPixmap(m_rcCheck, QPixmap(image));
        painter->restore();
    } else {
        m_rcCheck = QRect();
    }
    // The section's label goes right of the box (or 3 pixels in without one).
    const int left = m_rcCheck.isNull() ? rect.x() + 3 : m_rcCheck.right() + 4;
    QHeaderView::paintSection(painter, QRect(left, rect.y(), rect.right() - left + 1, rect.height()),
                              logicalIndex);
}
