#include "ccalendartimepopup.h"

#include "ccalendarwidget.h"
#include "regionutil.h"

#include <QDateTimeEdit>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QVBoxLayout>

CCalendarTimePopup::CCalendarTimePopup(QWidget *parent, bool bNoCalendar)
    : QWidget(parent, Qt::Popup)
{
    setAttribute(Qt::WA_WindowPropagation);
    if (bNoCalendar)
        return;
    SetCalendar(new CCalendarWidget(this));
    setMask(EllipseCornerRegion(rect(), 2));
}

CCalendarTimePopup::~CCalendarTimePopup() = default;

void CCalendarTimePopup::SetCalendar(CCalendarWidget *calendar)
{
    auto *box = qobject_cast<QVBoxLayout *>(layout());
    if (!box) {
        box = new QVBoxLayout(this);
        box->setContentsMargins(0, 0, 0, 0);
        box->setSpacing(0);
    }
    delete m_pCalendar;
    m_pCalendar = calendar;
    calendar->setParent(this);
    box->addWidget(calendar);
    resize(calendar->size());
    connect(calendar, &CCalendarWidget::activated, this, &CCalendarTimePopup::dateSelected);
    connect(calendar, &CCalendarWidget::clicked, this, &CCalendarTimePopup::dateSelected);
    connect(calendar, &CCalendarWidget::SelectionChanged, this, &CCalendarTimePopup::dateSelectionChanged);
    calendar->setFocus();
}

void CCalendarTimePopup::SetDate(const QDate &date)
{
    m_oldDate = date;
    if (m_pCalendar)
        m_pCalendar->SetSelectedDate(date);
    // Opening on a date is no choice of the user's.
    m_bDateChanged = false;
}

void CCalendarTimePopup::SetDateRange(const QDate &minDate, const QDate &maxDate)
{
    if (m_pCalendar)
        m_pCalendar->SetDateRange(minDate, maxDate);
}

bool CCalendarTimePopup::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
        m_bDateChanged = false;
    return QWidget::event(event);
}

void CCalendarTimePopup::mousePressEvent(QMouseEvent *event)
{
    // A press on the editor closes the pop-up; replayed there it would open it again.
    if (const auto *editor = qobject_cast<QDateTimeEdit *>(parentWidget())) {
        const QRect area(editor->mapToGlobal(QPoint(0, 0)), editor->size());
        if (area.contains(event->globalPosition().toPoint()))
            setAttribute(Qt::WA_NoMouseReplay);
    }
    QWidget::mousePressEvent(event);
}

void CCalendarTimePopup::mouseReleaseEvent(QMouseEvent *event)
{
    Q_UNUSED(event)
    emit resetButton();
}

void CCalendarTimePopup::hideEvent(QHideEvent *event)
{
    emit resetButton();
    if (!m_bDateChanged)
        emit hidingCalendar(m_oldDate);
    QWidget::hideEvent(event);
}

void CCalendarTimePopup::dateSelected(const QDate &date)
{
    m_bDateChanged = true;
    emit activated(date);
    close();
}

void CCalendarTimePopup::dateSelectionChanged()
{
    m_bDateChanged = true;
    emit newDateSelected(m_pCalendar->GetSelectedDate());
}
