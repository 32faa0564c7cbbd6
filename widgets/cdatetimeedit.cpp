#include "cdatetimeedit.h"

#include "ccalendartimepopup.h"
#include "workarea.h"

#include <QKeyEvent>
#include <QMouseEvent>

// ---- CDateTimeEdit ----

CDateTimeEdit::CDateTimeEdit(QWidget *parent)
    : QDateTimeEdit(parent)
{
    Init(QMetaType::QDateTime);
    setDate(QDate::currentDate());
}

CDateTimeEdit::CDateTimeEdit(const QDateTime &dateTime, QWidget *parent)
    : QDateTimeEdit(dateTime, parent)
{
    Init(QMetaType::QDateTime);
}

CDateTimeEdit::CDateTimeEdit(const QDate &date, QWidget *parent)
    : QDateTimeEdit(date, parent)
{
    Init(QMetaType::QDate);
}

CDateTimeEdit::CDateTimeEdit(const QTime &time, QWidget *parent)
    : QDateTimeEdit(time, parent)
{
    Init(QMetaType::QTime);
}

CDateTimeEdit::CDateTimeEdit(const QVariant &value, QMetaType::Type type, QWidget *parent)
    : QDateTimeEdit(value, type, parent)
{
    Init(type);
    // Without a value, a date-carrying editor starts at today; a time editor has no date to show.
    if (!value.isValid() && type != QMetaType::QTime)
        setDate(QDate::currentDate());
}

CDateTimeEdit::~CDateTimeEdit() = default;

void CDateTimeEdit::Init(QMetaType::Type type)
{
    setCalendarPopup(true);
    // A date-only or time-only editor rejects a format with the other half.
    setDisplayFormat(type == QMetaType::QDate   ? QStringLiteral("yyyy-MM-dd")
                     : type == QMetaType::QTime ? QStringLiteral("hh:mm:ss")
                                                : QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

void CDateTimeEdit::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    ShowCalendarPopup();
}

void CDateTimeEdit::keyPressEvent(QKeyEvent *event)
{
    const bool altDown = event->key() == Qt::Key_Down && event->modifiers().testFlag(Qt::AltModifier);
    if (event->key() == Qt::Key_F4 || altDown) {
        ShowCalendarPopup();
        return;
    }
    QDateTimeEdit::keyPressEvent(event);
}

void CDateTimeEdit::ShowCalendarPopup()
{
    if (!m_pPopup) {
        m_pPopup = new CCalendarTimePopup(this);
        connect(m_pPopup, &CCalendarTimePopup::newDateSelected, this, &QDateTimeEdit::setDate);
        connect(m_pPopup, &CCalendarTimePopup::hidingCalendar, this, &QDateTimeEdit::setDate);
        connect(m_pPopup, &CCalendarTimePopup::activated, this, &QDateTimeEdit::setDate);
        connect(m_pPopup, &CCalendarTimePopup::activated, m_pPopup, &QWidget::close);
        connect(m_pPopup, &CCalendarTimePopup::resetButton, this, &CDateTimeEdit::OnResetButton);
    }
    m_pPopup->SetDateRange(minimumDate(), maximumDate());
    m_pPopup->SetDate(date());
    // By geometry, not move(): a pop-up has no frame, and a window system's guess of
    // one for a window not yet shown would shift it off the editor's corner.
    const QPoint at = PopupPosition(QRect(mapToGlobal(QPoint(0, 0)), size()), m_pPopup->size());
    m_pPopup->setGeometry(QRect(at, m_pPopup->size()));
    m_pPopup->show();
}

void CDateTimeEdit::OnResetButton()
{
    // The arrow was drawn pressed while the pop-up was up.
    update();
}

// ---- CDateEdit ----

CDateEdit::CDateEdit(QWidget *parent)
    : CDateTimeEdit(QDate::currentDate(), parent)
{
}

CDateEdit::~CDateEdit() = default;

// ---- CTimeEdit ----

CTimeEdit::~CTimeEdit() = default;

void CTimeEdit::setUserDisabled(bool b)
{
    if (b)
        setEnabled(false);
}

void CTimeEdit::setUserEnabled(bool b)
{
    if (b)
        setEnabled(true);
}
