#include "ctabledelegate.h"

#include "cdatetimeedit.h"
#include "citemroles.h"
#include "cregexpvalidator.h"
#include "ctableview.h"

#include <QComboBox>
#include <QIcon>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>
#include <QTreeView>
#include <qdrawutil.h>

namespace {

const QString storedDateFormat = QStringLiteral("yyyy-MM-dd");

QIcon iconFromVariant(const QVariant &value)
{
    if (value.userType() == QMetaType::QPixmap)
        return QIcon(value.value<QPixmap>());
    return value.value<QIcon>();
}

int findExactText(const QComboBox *combo, const QString &text)
{
    return combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
}

/** The editor of a ComboItemsRole cell; the cell's own text joins the entries for good. */
QComboBox *createComboEditor(QWidget *parent, const QStyleOptionViewItem &option,
                             const QModelIndex &index, QVariantList entries)
{
    auto *combo = new QComboBox(parent);
    for (const QVariant &entry : std::as_const(entries)) {
        // An entry is [text, icon]; tolerate a bare text or a missing icon.
        const QVariantList parts = entry.toList();
        if (parts.isEmpty())
            combo->addItem(entry.toString());
        else
            combo->addItem(iconFromVariant(parts.value(1)), parts.at(0).toString());
    }
    const QString text = index.data(Qt::DisplayRole).toString();
    int current = findExactText(combo, text);
    if (current < 0 && !text.isEmpty()) {
        combo->addItem(text);
        current = combo->count() - 1;
        entries.append(QVariant(QVariantList{text, QIcon()}));
        // The editor is built from a const index; the entry list is cell data all the same.
        const_cast<QAbstractItemModel *>(index.model())->setData(index, entries, ComboItemsRole);
    }
    if (current >= 0)
        combo->setCurrentIndex(current);
    combo->setFixedSize(option.rect.size());
    return combo;
}

QRegularExpression expressionFromVariant(const QVariant &value)
{
    if (value.userType() == QMetaType::QRegularExpression)
        return value.toRegularExpression();
    return QRegularExpression(value.toString());
}

QLineEdit *createTextEditor(QWidget *parent, const QModelIndex &index)
{
    auto *edit = new QLineEdit(index.data(Qt::DisplayRole).toString(), parent);
    const QVariant maxBytes = index.data(MaxBytesRole);
    const QRegularExpression re = expressionFromVariant(index.data(RegExpRole));
    if (!re.pattern().isEmpty())
        edit->setValidator(new CRegExpValidator(maxBytes.isValid() ? maxBytes.toInt() : -1, re, edit));
    else if (maxBytes.isValid())
        edit->setValidator(new CRegExpValidator(maxBytes.toInt(), edit));
    return edit;
}

} // namespace

// ---- CTableDelegate ----

CTableDelegate::CTableDelegate(QObject *view)
    : QStyledItemDelegate(view)
    , m_pView(view)
{
#ifndef VEXA_OLDER_EDITION
    if (auto *table = qobject_cast<CTableView *>(view)) {
        connect(this, &CTableDelegate::SignalComboBoxTextChanged, table,
                &CTableView::SignalComboBoxTextChanged);
        connect(this, &CTableDelegate::SignalEditingFinished, table,
                &CTableView::SignalEditingFinished);
    }
#endif
}

QDateTimeEdit *CTableDelegate::CreateDateEditor(QWidget *parent, bool bDateOnly) const
{
    if (bDateOnly)
        return new CDateEdit(parent);
    return new CDateTimeEdit(parent);
}

QWidget *CTableDelegate::createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                                      const QModelIndex &index) const
{
    if (!index.isValid())
        return nullptr;
    if (const QVariant entries = index.data(ComboItemsRole); entries.isValid())
        return createComboEditor(parent, option, index, entries.toList());
    if (index.data(DateTimeRole).isValid())
        return CreateDateEditor(parent, false);
    if (index.data(DateRole).isValid())
        return CreateDateEditor(parent, true);
    return createTextEditor(parent, index);
}

void CTableDelegate::setEditorData(QWidget *editor, const QModelIndex &index) const
{
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        if (const int match = findExactText(combo, index.data(Qt::DisplayRole).toString()); match >= 0)
            combo->setCurrentIndex(match);
        return;
    }
    if (auto *dateEdit = qobject_cast<QDateTimeEdit *>(editor)) {
        if (const QVariant dateTime = index.data(DateTimeRole); dateTime.isValid())
            dateEdit->setDateTime(dateTime.toDateTime());
        else
            dateEdit->setDate(index.data(DateRole).toDate());
        return;
    }
    QStyledItemDelegate::setEditorData(editor, index);
}

void CTableDelegate::setModelData(QWidget *editor, QAbstractItemModel *model,
                                  const QModelIndex &index) const
{
#ifndef VEXA_OLDER_EDITION
    // Signals cannot be emitted from a const function without this.
    auto *self = const_cast<CTableDelegate *>(this);
#endif
    if (auto *combo = qobject_cast<QComboBox *>(editor)) {
        model->setData(index, combo->currentText(), Qt::EditRole);
        model->setData(index, combo->itemIcon(combo->currentIndex()), Qt::DecorationRole);
#ifndef VEXA_OLDER_EDITION
        emit self->SignalComboBoxTextChanged(index);
#endif
        return;
    }
    if (auto *dateEdit = qobject_cast<QDateTimeEdit *>(editor)) {
        if (index.data(DateTimeRole).isValid())
            model->setData(index, dateEdit->dateTime(), DateTimeRole);
        else
            model->setData(index, dateEdit->date(), DateRole);
        model->setData(index, dateEdit->date().toString(storedDateFormat), Qt::EditRole);
        return;
    }
    QStyledItemDelegate::setModelData(editor, model, index);
#ifndef VEXA_OLDER_EDITION
    emit self->SignalEditingFinished(index);
#endif
}

void CTableDelegate::updateEditorGeometry(QWidget *editor, const QStyleOptionViewItem &option,
                                          const QModelIndex &index) const
{
    if (qobject_cast<QComboBox *>(editor)) {
        editor->setGeometry(option.rect);
        return;
    }
    if (qobject_cast<QLineEdit *>(editor) && index.flags().testFlag(Qt::ItemIsUserCheckable)) {
        // Keep the cell's check box clickable beside the editor.
        editor->setGeometry(option.rect.adjusted(option.decorationSize.width() + 4, 0, 0, 0));
        return;
    }
    QStyledItemDelegate::updateEditorGeometry(editor, option, index);
}

void CTableDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // A style sheet that styles the items draws their panel itself and drops
    // the model's background, so a marked row would look like any other.
    const QVariant background = index.data(Qt::BackgroundRole);
    if (background.canConvert<QBrush>() && !option.state.testFlag(QStyle::State_Selected))
        painter->fillRect(option.rect, background.value<QBrush>());
    QStyledItemDelegate::paint(painter, option, index);
}

void CTableDelegate::initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // paint() has filled it already; the style would lay it on a second time.
    option->backgroundBrush = QBrush();
}

// ---- CTreeViewDelegate ----

namespace {

// Image frames keep their corners; only the middle stretches.
const QMargins rowImageMargins(3, 1, 3, 2);

QPoint centredAt(const QRect &cell, int x, const QSize &size)
{
    return {x, cell.y() + (cell.height() - size.height()) / 2};
}

} // namespace

void CTreeViewDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                              const QModelIndex &index) const
{
    if (index.parent().isValid())
        paintChildRow(painter, option, index);
    else
        paintTopLevelRow(painter, option, index);
    CTableDelegate::paint(painter, option, index);
}

void CTreeViewDelegate::paintChildRow(QPainter *painter, const QStyleOptionViewItem &option,
                                      const QModelIndex &index) const
{
    const QRect &cell = option.rect;
    if (option.state.testFlag(QStyle::State_Selected) && painter->paintEngine())
        qDrawBorderPixmap(painter, cell, rowImageMargins,
                          QPixmap(QStringLiteral(":images/public/TreeView/TreeSelect.png")));
    int right = cell.x() + cell.width();
    for (const int role : {StatusIconRightRole, StatusIconLeftRole}) {
        const QVariant value = index.data(role);
        if (!value.isValid())
            continue;
        const QPixmap icon = value.value<QPixmap>();
        right -= icon.width() + 4;
        painter->drawPixmap(centredAt(cell, right, icon.size()), icon);
    }
}

void CTreeViewDelegate::paintTopLevelRow(QPainter *painter, const QStyleOptionViewItem &option,
                                         const QModelIndex &index) const
{
    const QRect &cell = option.rect;
    if (painter->paintEngine())
        qDrawBorderPixmap(painter, cell, rowImageMargins,
                          QPixmap(QStringLiteral(":images/public/TreeView/TreeNormal.png")));
    const auto *tree = qobject_cast<const QTreeView *>(option.widget);
    const bool open = tree ? tree->isExpanded(index.siblingAtColumn(0))
                           : option.state.testFlag(QStyle::State_Open);
    const QPixmap arrow(open ? QStringLiteral(":images/public/TreeView/TreeArrowUp.png")
                             : QStringLiteral(":images/public/TreeView/TreeArrowDown.png"));
    const QPoint at = centredAt(cell, cell.x() + cell.width() - arrow.width() - 4, arrow.size());
    if (option.state.testFlag(QStyle::State_MouseOver))
        painter->drawPixmap(at, QPixmap(QStringLiteral(":images/public/TreeView/TreeArrowHover.png")));
    painter->drawPixmap(at, arrow);
}
