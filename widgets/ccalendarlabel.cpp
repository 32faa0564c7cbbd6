#include "ccalendarlabel.h"

#include "ccalendarwidget.h"
#include "pixmaputil.h"
#include "workarea.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

CCalendarLabel::CCalendarLabel(QWidget *parent)
    : QFrame(parent)
    , m_date(QDate::currentDate())
    , m_pTimer(new QTimer(this))
    , m_pCalendar(new CCalendarWidget(this))
{
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);
    setFixedSize(100, 50);
    setLocale(CalendarLocale());
    m_pTimer->setSingleShot(true);
    connect(m_pTimer, &QTimer::timeout, this, &CCalendarLabel::updateDate);
    m_pixBackground = LoadCachedPixmap(QStringLiteral(":/images/public/calendar-background.png"));

    m_pCalendar->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    connect(m_pCalendar, &CCalendarWidget::LeaveCalendar, this, &CCalendarLabel::HideCalender);
    connect(m_pCalendar, &CCalendarWidget::clicked, this, &CCalendarLabel::setDate);
    connect(m_pCalendar, &CCalendarWidget::clicked, this, &CCalendarLabel::clicked);
    updateDate();
}

CCalendarLabel::~CCalendarLabel() = default;

void CCalendarLabel::updateDate()
{
    setDate(QDate::currentDate());
    // A second past midnight, so the timer never fires just before the day turns.
    const QDateTime now = QDateTime::currentDateTime();
    const QDateTime next(now.date().addDays(1), QTime(0, 0, 1));
    m_pTimer->start(int(std::min<qint64>(now.msecsTo(next), 24 * 3600 * 1000)));
}

void CCalendarLabel::HideCalender()
{
    m_pCalendar->hide();
}

void CCalendarLabel::setDate(const QDate &date)
{
    if (!date.isValid())
        return;
    m_date = date;
    m_pCalendar->SetSelectedDate(date);
    setAccessibleName(locale().toString(date, QLocale::LongFormat));
    Redraw();
}

void CCalendarLabel::enterEvent(QEnterEvent *event)
{
    emit mouseEnter();
    QFrame::enterEvent(event);
}

void CCalendarLabel::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QFrame::mousePressEvent(event);
        return;
    }
    m_pCalendar->SetSelectedDate(m_date);
    m_pCalendar->move(PopupPosition(QRect(mapToGlobal(QPoint(0, 0)), size()), m_pCalendar->size()));
    m_pCalendar->show();
    m_pCalendar->raise();
}

void CCalendarLabel::resizeEvent(QResizeEvent *event)
{
    QFrame::resizeEvent(event);
    m_rcAll = rect();
    const int dayWidth = width() * 3 / 5;
    m_rcDay = QRect(0, 0, dayWidth, height() / 2);
    m_rcMonth = QRect(0, m_rcDay.bottom() + 1, dayWidth, height() - m_rcDay.height());
    m_rcWeekday = QRect(dayWidth, 0, width() - dayWidth, height());
    Redraw();
}

void CCalendarLabel::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::LanguageChange)
        setLocale(CalendarLocale());
    if (event->type() == QEvent::LocaleChange)
        Redraw();
    QFrame::changeEvent(event);
}

void CCalendarLabel::Redraw()
{
    if (m_rcAll.isEmpty())
        return;
    m_pixWork = QPixmap(m_rcAll.size());
    m_pixWork.fill(QColor(52, 51, 52));
    QPainter painter(&m_pixWork);
    if (!m_pixBackground.isNull())
        painter.drawPixmap(m_rcAll, m_pixBackground);
    painter.setPen(QColor(242, 242, 242));
    QFont font = this->font();
    font.setBold(true);
    font.setPixelSize(m_rcDay.height() - 4);
    painter.setFont(font);
    painter.drawText(m_rcDay, Qt::AlignCenter, QString::number(m_date.day()));
    font.setBold(false);
    font.setPixelSize(std::max(8, m_rcMonth.height() / 2 - 1));
    painter.setFont(font);
    //: Month and year under the day number (QDate::toString pattern).
    painter.drawText(m_rcMonth, Qt::AlignCenter, locale().toString(m_date, tr("MMM yyyy")));
    painter.drawText(m_rcWeekday, Qt::AlignCenter,
                     locale().standaloneDayName(m_date.dayOfWeek(), QLocale::ShortFormat));
    update();
}

void CCalendarLabel::paintEvent(QPaintEvent *event)
{
    {
        QPainter painter(this);
        painter.drawPixmap(0, 0, m_pixWork);
    }
    QFrame::paintEvent(event);
}
