#include "devicerowfilter.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QShortcut>
#include <QTreeView>

namespace {

// Gap between the field and the table's right edge and header.
constexpr int kMargin = 4;

} // namespace

DeviceRowFilter::DeviceRowFilter(QTreeView *view, QWidget *scope)
    : QObject(view), m_pView(view), m_pModel(view->model()), m_pFrame(new QFrame(view)),
      m_pEdit(new QLineEdit(m_pFrame)), m_pCount(new QLabel(m_pFrame))
{
    m_pFrame->setObjectName(QStringLiteral("frameFilter"));
    m_pFrame->setFrameShape(QFrame::StyledPanel);
    m_pFrame->setAutoFillBackground(true);
    m_pEdit->setObjectName(QStringLiteral("lineEditFilter"));
    m_pEdit->setPlaceholderText(tr("Filter devices"));
    m_pEdit->setClearButtonEnabled(true);
    m_pEdit->setAccessibleName(tr("Filter devices"));
    m_pCount->setObjectName(QStringLiteral("labelFilterCount"));
    auto *layout = new QHBoxLayout(m_pFrame);
    layout->setContentsMargins(kMargin, 2, kMargin, 2);
    layout->addWidget(m_pEdit);
    layout->addWidget(m_pCount);
    m_pFrame->hide();
    m_pEdit->installEventFilter(this);
    m_pView->installEventFilter(this);

    auto *find = new QShortcut(QKeySequence::Find, scope);
    find->setContext(Qt::WidgetWithChildrenShortcut);
    connect(find, &QShortcut::activated, this, &DeviceRowFilter::Open);
    connect(m_pEdit, &QLineEdit::textChanged, this, &DeviceRowFilter::SetText);

    // Live as devices come, change and go.
    connect(m_pModel, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex &parent, int first, int last) {
        if (!parent.isValid())
            Refilter(first, last);
    });
    connect(m_pModel, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles) {
                if (!topLeft.parent().isValid() && (roles.isEmpty() || roles.contains(Qt::DisplayRole)))
                    Refilter(topLeft.row(), bottomRight.row());
            });
    connect(m_pModel, &QAbstractItemModel::rowsAboutToBeRemoved, this,
            [this](const QModelIndex &parent, int first, int last) {
                for (int row = first; row <= last && m_hiddenRows > 0 && !parent.isValid(); ++row)
                    m_hiddenRows -= m_pView->isRowHidden(row, {}) ? 1 : 0;
            });
    connect(m_pModel, &QAbstractItemModel::rowsRemoved, this, &DeviceRowFilter::ShowCount);
    connect(m_pModel, &QAbstractItemModel::modelReset, this, [this] {
        m_hiddenRows = 0;
        ShowCount();
    });
}

DeviceRowFilter::~DeviceRowFilter() = default;

void DeviceRowFilter::Open()
{
    Place();
    m_pFrame->show();
    m_pFrame->raise();
    m_pEdit->setFocus(Qt::ShortcutFocusReason);
    m_pEdit->selectAll();
    ShowCount();
}

void DeviceRowFilter::Close()
{
    m_pEdit->clear();
    m_pFrame->hide();
    m_pView->setFocus(Qt::OtherFocusReason);
}

bool DeviceRowFilter::IsShown(int row) const
{
    return m_hiddenRows == 0 || !m_pView->isRowHidden(row, {});
}

void DeviceRowFilter::SetText(const QString &text)
{
    const QString previous = std::exchange(m_text, text);
    m_matcher = QStringMatcher(text, Qt::CaseInsensitive);
    const int rows = m_pModel->rowCount();
    // A longer text can only hide shown rows, a shorter one only show
    // hidden ones: typing and erasing check just those.
    const bool narrower = text.contains(previous, Qt::CaseInsensitive);
    const bool wider = previous.contains(text, Qt::CaseInsensitive);
    for (int row = 0; row < rows; ++row) {
        const bool hidden = m_hiddenRows > 0 && m_pView->isRowHidden(row, {});
        if ((narrower && hidden) || (wider && !hidden))
            continue;
        const bool hide = !Matches(row);
        if (hide != hidden) {
            m_pView->setRowHidden(row, {}, hide);
            m_hiddenRows += hide ? 1 : -1;
        }
    }
    ShowCount();
}

void DeviceRowFilter::Refilter(int first, int last)
{
    if (m_text.isEmpty())
        return;
    for (int row = first; row <= last; ++row) {
        const bool hidden = m_pView->isRowHidden(row, {});
        const bool hide = !Matches(row);
        if (hide != hidden) {
            m_pView->setRowHidden(row, {}, hide);
            m_hiddenRows += hide ? 1 : -1;
        }
    }
    ShowCount();
}

bool DeviceRowFilter::Matches(int row) const
{
    if (m_text.isEmpty())
        return true;
    for (int column = 0; column < m_pModel->columnCount(); ++column) {
        if (m_matcher.indexIn(m_pModel->index(row, column).data().toString()) >= 0)
            return true;
    }
    return false;
}

void DeviceRowFilter::ShowCount()
{
    if (!m_pFrame->isVisible())
        return;
    const int total = m_pModel->rowCount();
    m_pCount->setText(tr("%1/%2").arg(total - m_hiddenRows).arg(total));
}

void DeviceRowFilter::Place()
{
    // Over the table's top right corner, just under the header: the form's
    // layout stays as it is.
    m_pFrame->adjustSize();
    const int width = std::min(m_pView->width() - 2 * kMargin, std::max(m_pFrame->sizeHint().width(), 260));
    const int scrollBar = m_pView->verticalScrollBar()->isVisible() ? m_pView->verticalScrollBar()->width() : 0;
    m_pFrame->setGeometry(m_pView->width() - width - kMargin - scrollBar, m_pView->header()->height() + kMargin,
                          width, m_pFrame->sizeHint().height());
}

bool DeviceRowFilter::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_pEdit && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        Close();
        return true;
    }
    if (watched == m_pView && event->type() == QEvent::Resize && m_pFrame->isVisible())
        Place();
    return QObject::eventFilter(watched, event);
}
