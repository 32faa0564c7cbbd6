#pragma once

#include "vexawidgets_export.h"

#include <QDate>
#include <QWidget>

class CCalendarWidget;

/**
 * The pop-up window that carries a date editor's calendar. Choosing a day
 * reports it and closes; Escape, or a click outside, closes it and hands back
 * the date it was opened with unless a new one was chosen.
 */
class VEXAWIDGETS_EXPORT CCalendarTimePopup : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCalendarTimePopup)

public:
    /** Without \a bNoCalendar the pop-up makes its own CCalendarWidget. */
    explicit CCalendarTimePopup(QWidget *parent = nullptr, bool bNoCalendar = false);
    ~CCalendarTimePopup() override;

    CCalendarWidget *GetCalendar() const { return m_pCalendar; }
    /** Takes \a calendar in place of the current one, which is deleted. */
    void SetCalendar(CCalendarWidget *calendar);
    /** The date the pop-up opens with, and hands back when closed unchanged. */
    void SetDate(const QDate &date);
    void SetDateRange(const QDate &minDate, const QDate &maxDate);

signals:
    void activated(const QDate &date);
    void newDateSelected(const QDate &newDate);
    void hidingCalendar(const QDate &oldDate);
    void resetButton();

protected:
    bool event(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private slots:
    void dateSelected(const QDate &date);
    void dateSelectionChanged();

private:
    CCalendarWidget *m_pCalendar = nullptr;
    QDate m_oldDate;
    bool m_bDateChanged = false;
};
