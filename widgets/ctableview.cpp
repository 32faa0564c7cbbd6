#include "ctableview.h"

#include "cheaderview.h"
#include "ctabledelegate.h"
#include "ctreeviewmodel.h"

#include <QIcon>
#include <QMouseEvent>
#include <QPainter>

namespace {

const QColor rowLineColour(229, 229, 229);

// Qt 4 code put two blanks before a label to leave room for the check box,
// which now gets its own place.
const QString checkBoxPadding = QStringLiteral("  ");

} // namespace

CTableView::CTableView(QWidget *parent)
    : QTreeView(parent)
{
    auto *header = new CHeaderView(Qt::Horizontal, this);
    setHeader(header);
    setItemDelegate(new CTableDelegate(this));
    setAllColumnsShowFocus(true);
    setIndentation(0);
    setExpandsOnDoubleClick(false);
    setRootIsDecorated(false);
    header->setSectionsClickable(true);
    header->setSectionsMovable(false);
#ifndef VEXA_OLDER_EDITION
    connect(header, &CHeaderView::SignalCheckStateChanged, this,
            &CTableView::SignalHeaderCheckStateChanged);
#endif

    m_pDefaultModel = new CTreeViewModel(this);
    QTreeView::setModel(m_pDefaultModel);
}

CTableView::~CTableView() = default;

void CTableView::setModel(QAbstractItemModel *model)
{
    // Delete the default model only once the view has let go of it.
    QPointer<CTreeViewModel> previousDefault;
    if (model != m_pDefaultModel)
        previousDefault.swap(m_pDefaultModel);
    QTreeView::setModel(model);
    delete previousDefault;
    expandAll();
}

void CTableView::setSelectionModel(QItemSelectionModel *selectionModel)
{
    // setModel() brings a new selection model; the current-item signal must follow it.
    disconnect(m_currentConnection);
    QTreeView::setSelectionModel(selectionModel);
    if (QItemSelectionModel *current = this->selectionModel())
        m_currentConnection = connect(current, &QItemSelectionModel::currentChanged, this,
                                      &CTableView::currentItemChanged);
}

bool CTableView::extendColumns(int column)
{
    QAbstractItemModel *const m = model();
    if (!m || column < 0)
        return false;
    const int columns = m->columnCount();
    return column < columns || m->insertColumns(columns, column - columns + 1);
}

void CTableView::SetHeaderCheckState(int column, bool bChecked)
{
    QAbstractItemModel *const m = model();
    if (!m || column < 0 || column >= m->columnCount())
        return;
    m->setHeaderData(column, Qt::Horizontal, bChecked ? Qt::Checked : Qt::Unchecked,
                     Qt::CheckStateRole);
    const QString text = m->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    if (text.startsWith(checkBoxPadding))
        m->setHeaderData(column, Qt::Horizontal, text.mid(checkBoxPadding.size()), Qt::DisplayRole);
}

void CTableView::InitColumns(int count)
{
    for (int i = 0; i < count; ++i)
        SetHeaderText(i, QString());
}

void CTableView::SetHeaderText(int column, const QString &text)
{
    if (extendColumns(column))
        model()->setHeaderData(column, Qt::Horizontal, text, Qt::DisplayRole);
}

void CTableView::SetHeaderTexts(const QStringList &texts)
{
    QAbstractItemModel *const m = model();
    if (!m)
        return;
    for (int i = 0; i < texts.size(); ++i) {
        if (m->insertColumn(i))
            m->setHeaderData(i, Qt::Horizontal, texts.at(i), Qt::DisplayRole);
    }
}

int CTableView::AppendRow()
{
    const int row = RowCount();
    return model() && model()->insertRow(row) ? row : -1;
}

int CTableView::InsertFirstRow()
{
    return model() && model()->insertRow(0) ? 0 : -1;
}

int CTableView::InsertRow(int row)
{
    if (row < 0 || row >= RowCount())
        return -1;
    return model()->insertRow(row) ? row : -1;
}

void CTableView::RemoveRow(int row)
{
    if (row >= 0 && row < RowCount())
        model()->removeRow(row);
}

void CTableView::RemoveLastRow()
{
    if (const int rows = RowCount(); rows > 0)
        model()->removeRow(rows - 1);
}

int CTableView::RowCount() const
{
    return model() ? model()->rowCount() : 0;
}

void CTableView::SetItemText(int row, int column, const QString &text)
{
    if (!extendColumns(column))
        return;
    const QModelIndex cell = Index(row, column);
    if (!cell.isValid())
        return;
    model()->setData(cell, text, Qt::EditRole);
    model()->setData(cell, text, Qt::ToolTipRole);
}

QString CTableView::GetItemText(int row, int column) const
{
    return Index(row, column).data(Qt::DisplayRole).toString();
}

void CTableView::SetItemChecked(int row, int column, bool bChecked)
{
    const QModelIndex cell = Index(row, column);
    if (cell.isValid())
        model()->setData(cell, bChecked ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
}

void CTableView::SetItemButton(int row, int column, const QString &text, const QIcon &icon)
{
    if (!extendColumns(column))
        return;
    const QModelIndex cell = Index(row, column);
    if (!cell.isValid())
        return;
    model()->setData(cell, true, ButtonRole);
    model()->setData(cell, icon, Qt::DecorationRole);
    model()->setData(cell, text, Qt::DisplayRole);
}

void CTableView::SetItemButtonState(int row, int column, const QVariant &value)
{
    if (!extendColumns(column))
        return;
    const QModelIndex cell = Index(row, column);
    if (!cell.isValid())
        return;
    model()->setData(cell, value, ButtonRole);
    // No value at all, so the delegate reserves no room for an icon.
    model()->setData(cell, QVariant(), Qt::DecorationRole);
}

void CTableView::SetItemMaxBytes(int row, int column, int maxBytes)
{
    SetData(row, column, maxBytes, MaxBytesRole);
}

void CTableView::SetItemWidget(int row, int column, QWidget *widget)
{
    if (!extendColumns(column))
        return;
    const QModelIndex cell = Index(row, column);
    if (cell.isValid())
        setIndexWidget(cell, widget);
}

bool CTableView::SetData(int row, int column, const QVariant &value, int role)
{
    const QModelIndex cell = Index(row, column);
    return cell.isValid() && model()->setData(cell, value, role);
}

QVariant CTableView::GetData(int row, int column, int role) const
{
    return Index(row, column).data(role);
}

QModelIndex CTableView::Index(int row, int column, const QModelIndex &parent) const
{
    return model() ? model()->index(row, column, parent) : QModelIndex();
}

void CTableView::SetRowLineVisible(bool bVisible)
{
    m_bRowLine = bVisible;
    viewport()->update();
}

void CTableView::SetMouseTracking(bool bEnable)
{
    setMouseTracking(bEnable);
    m_bMouseTracking = bEnable;
}

bool CTableView::AppendItems(const QList<CTreeViewItem *> &items)
{
    return m_pDefaultModel && m_pDefaultModel->InsertItems(m_pDefaultModel->rowCount(), items);
}

CTreeViewItem *CTableView::ItemFromIndex(const QModelIndex &index) const
{
    return m_pDefaultModel ? m_pDefaultModel->ItemFromIndex(index) : nullptr;
}

QVariant CTableView::GetItemData(const QModelIndex &index, int column, int role) const
{
    const CTreeViewItem *item = index.isValid() ? ItemFromIndex(index) : nullptr;
    return item ? item->Data(column, role) : QVariant();
}

bool CTableView::SetItemData(const QModelIndex &index, int column, const QVariant &value, int role)
{
    return m_pDefaultModel && index.model() == m_pDefaultModel
        && m_pDefaultModel->setData(index.siblingAtColumn(column), value, role);
}

void CTableView::ClearItems()
{
    if (m_pDefaultModel)
        m_pDefaultModel->Clear();
}

bool CTableView::isButtonCell(const QModelIndex &index) const
{
    const QVariant button = index.data(ButtonRole);
    return button.isValid() && button.toBool();
}

bool CTableView::IsBtnCell(const QModelIndex &index) const
{
    return (index.data(CellFlagsRole).toInt() & Qt::ItemIsEditable) || isButtonCell(index);
}

void CTableView::mousePressEvent(QMouseEvent *event)
{
    const QModelIndex pressed = indexAt(event->position().toPoint());
    m_pressIndex = pressed;
    if (event->button() == Qt::LeftButton && isButtonCell(pressed))
        emit PressedBtn(pressed);
    QTreeView::mousePressEvent(event);
}

void CTableView::mouseReleaseEvent(QMouseEvent *event)
{
    // Persistent: slots run by the base handling may remove the row.
    const QPersistentModelIndex released = indexAt(event->position().toPoint());
    const bool onPressedCell = !released.isValid() || released == m_pressIndex;
    if (event->button() == Qt::LeftButton && onPressedCell && isButtonCell(released))
        emit ClickedBtn(released);
    QTreeView::mouseReleaseEvent(event);
    emit SignalClickRelease(released);
}

void CTableView::mouseMoveEvent(QMouseEvent *event)
{
    if (m_bMouseTracking) {
        const bool overButton = IsBtnCell(indexAt(event->position().toPoint()));
        viewport()->setCursor(overButton ? Qt::PointingHandCursor : Qt::ArrowCursor);
    }
    QTreeView::mouseMoveEvent(event);
}

bool CTableView::viewportEvent(QEvent *event)
{
    if (m_bMouseTracking && (event->type() == QEvent::Enter || event->type() == QEvent::Leave))
        viewport()->setCursor(Qt::ArrowCursor);
    return QTreeView::viewportEvent(event);
}

bool CTableView::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    // Button and link cells open on a single click where double-click editing is on.
    const auto *mouse = event && event->type() == QEvent::MouseButtonPress
        ? static_cast<QMouseEvent *>(event)
        : nullptr;
    if (m_bMouseTracking && mouse && mouse->button() == Qt::LeftButton
        && trigger == QAbstractItemView::NoEditTriggers && IsBtnCell(index))
        trigger = QAbstractItemView::DoubleClicked;
    return QTreeView::edit(index, trigger, event);
}

void CTableView::drawRow(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const
{
    QTreeView::drawRow(painter, option, index);
    if (!m_bRowLine)
        return;
    const QRect &rect = option.rect;
    painter->save();
    painter->setPen(rowLineColour);
    painter->drawLine(rect.left() + 2, rect.bottom(), rect.right(), rect.bottom());
    painter->restore();
}
