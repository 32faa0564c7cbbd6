#pragma once

#include "vexawidgets_export.h"

#include <QDate>
#include <QFrame>
#include <QPixmap>

class CCalendarWidget;
class QTimer;

/**
 * A small desk calendar: the day's number, month, year and weekday on the
 * skin's calendar background. A click floats a CCalendarWidget under it,
 * which hides again when the pointer leaves it; a date clicked there is shown
 * and reported. The shown date moves on to the new day at midnight.
 */
class VEXAWIDGETS_EXPORT CCalendarLabel : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCalendarLabel)

public:
    explicit CCalendarLabel(QWidget *parent = nullptr);
    ~CCalendarLabel() override;

    QDate GetDate() const { return m_date; }
    CCalendarWidget *GetCalendar() const { return m_pCalendar; }

signals:
    void mouseEnter();
    void clicked(const QDate &date);

public slots:
    /** Shows today's date and re-arms the timer for the next midnight. */
    void updateDate();
    void HideCalender();
    void setDate(const QDate &date);

protected:
    void enterEvent(QEnterEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void Redraw();

    QDate m_date;
    QPixmap m_pixBackground;
    QPixmap m_pixWork;
    QRect m_rcAll;
    QRect m_rcDay;
    QRect m_rcMonth;
    QRect m_rcWeekday;
    QTimer *m_pTimer = nullptr;
    CCalendarWidget *m_pCalendar = nullptr;
};
