#pragma once

#include "vexawidgets_export.h"

#include <QDate>
#include <QList>
#include <QMap>
#include <QWidget>

class CCalendarDelegate;
class CCalendarModel;
class CCalendarTextNavigator;
class CCalendarView;
class QItemSelectionModel;
class QLabel;
class QTextCharFormat;
class QToolButton;

/**
 * The library's skinned month calendar: a navigation bar with month and year
 * buttons over a month grid painted from the skin's calendar images. Dates
 * outside [MinimumDate, MaximumDate] are shown but can never be chosen. Dates
 * can be marked (a triangle in the cell's corner) and a pressed-and-dragged
 * range is reported by SignalSelectDate. The locale follows the current
 * language (CalendarLocale()).
 */
class VEXAWIDGETS_EXPORT CCalendarWidget : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCalendarWidget)

public:
    enum SelectionMode { NoSelection = 0, SingleSelection = 1, MultiSelection = 2 };
    Q_ENUM(SelectionMode)
    enum HorizontalHeaderFormat {
        NoHorizontalHeader = 0,
        SingleLetterDayNames = 1,
        ShortDayNames = 2,
        LongDayNames = 3
    };
    Q_ENUM(HorizontalHeaderFormat)
    enum VerticalHeaderFormat { NoVerticalHeader = 0, ISOWeekNumbers = 1 };
    Q_ENUM(VerticalHeaderFormat)

private:
    Q_PROPERTY(QDate SelectedDate READ GetSelectedDate WRITE SetSelectedDate)
    Q_PROPERTY(QDate MinimumDate READ GetMinimumDate WRITE SetMinimumDate)
    Q_PROPERTY(QDate MaximumDate READ GetMaximumDate WRITE SetMaximumDate)
    Q_PROPERTY(Qt::DayOfWeek FirstDayOfWeek READ GetFirstDayOfWeek WRITE SetFirstDayOfWeek)
    Q_PROPERTY(bool gridVisible READ IsGridVisible WRITE SetGridVisible)
    Q_PROPERTY(SelectionMode GetSelectionMode READ GetSelectionMode WRITE SetSelectionMode)
    Q_PROPERTY(HorizontalHeaderFormat GetHorizontalHeaderFormat READ GetHorizontalHeaderFormat
                   WRITE SetHorizontalHeaderFormat)
    Q_PROPERTY(VerticalHeaderFormat GetVerticalHeaderFormat READ GetVerticalHeaderFormat
                   WRITE SetVerticalHeaderFormat)
    Q_PROPERTY(bool headerVisible READ IsHeaderVisible WRITE SetHeaderVisible)
    Q_PROPERTY(bool navigationBarVisible READ IsNavigationBarVisible WRITE SetNavigationBarVisible)
    Q_PROPERTY(bool dateEditEnabled READ IsDateEditEnabled WRITE SetDateEditEnabled)
    Q_PROPERTY(int DateEditAcceptDelay READ GetDateEditAcceptDelay WRITE SetDateEditAcceptDelay)

public:
    explicit CCalendarWidget(QWidget *parent = nullptr);
    ~CCalendarWidget() override;

    QDate GetSelectedDate() const;
    QDate GetMinimumDate() const;
    void SetMinimumDate(const QDate &date);
    QDate GetMaximumDate() const;
    void SetMaximumDate(const QDate &date);
    Qt::DayOfWeek GetFirstDayOfWeek() const;
    void SetFirstDayOfWeek(Qt::DayOfWeek dayOfWeek);
    bool IsGridVisible() const;
    SelectionMode GetSelectionMode() const;
    void SetSelectionMode(SelectionMode mode);
    HorizontalHeaderFormat GetHorizontalHeaderFormat() const;
    void SetHorizontalHeaderFormat(HorizontalHeaderFormat format);
    VerticalHeaderFormat GetVerticalHeaderFormat() const;
    void SetVerticalHeaderFormat(VerticalHeaderFormat format);
    bool IsHeaderVisible() const;
    void SetHeaderVisible(bool bVisible);
    bool IsNavigationBarVisible() const;
    bool IsDateEditEnabled() const;
    void SetDateEditEnabled(bool bEnabled);
    /** Milliseconds after the last typed digit before the typed date is taken. */
    int GetDateEditAcceptDelay() const;
    void SetDateEditAcceptDelay(int msecs);

    /** The shown month. */
    int GetYearShown() const;
    int GetMonthShown() const;

    /** Text format of every date falling on \a dayOfWeek (Saturday and Sunday start red). */
    void SetWeekdayTextFormat(Qt::DayOfWeek dayOfWeek, const QTextCharFormat &format);
    /** Per-date format over the weekday's; an empty format removes it. */
    void SetDateTextFormat(const QDate &date, const QTextCharFormat &format);

    /** Marks \a date with mark type \a type; types 0 to 3 draw the corner triangle. */
    void AddMarkedDate(const QDate &date, int type);
    void ClearMarkedDates();
    QList<QDate> GetMarkedDates(int type) const;

    /** Paints the cell of \a date into \a rect; the marks go on top. */
    virtual void paintCell(QPainter *painter, const QRect &rect, const QDate &date) const;

public slots:
    void SetSelectedDate(const QDate &date);
    void SetDateRange(const QDate &minDate, const QDate &maxDate);
    void SetCurrentPage(int iYear, int iMonth);
    void SetGridVisible(bool bShow);
    void SetNavigationBarVisible(bool bVisible);
    void ShowNextMonth();
    void ShowPreviousMonth();
    void ShowNextYear();
    void ShowPreviousYear();
    void ShowSelectedDate();
    void ShowToDay();
    void OnCallJudgePos();

signals:
    void SelectionChanged();
    void clicked(const QDate &date);
    void activated(const QDate &date);
    void SignalSelectDate(const QDate &dtBegin, const QDate &dtEnd);
    void CurrentPageChanged(int iYear, int iMonth);
    void LeaveCalendar();

protected:
    bool event(QEvent *e) override;
    /** Repaints the cell of \a date when it is shown. */
    void updateCell(const QDate &date);

protected slots:
    void OnShowDate(const QDate &date);
    void OnChangeDate(const QDate &date);
    void OnChangeDate(const QDate &date, bool bChangeMonth);
    void OnChangeDate(const QDate &date, bool bChangeMonth, bool bMultiSelected);
    void OnSlotSelectDate(const QDate &dtBegin, const QDate &dtEnd);
    void OnEditingFinished();
    void OnPrevMonthClicked();
    void OnNextMonthClicked();
    void OnPrevYearClicked();
    void OnNextYearClicked();

private:
    friend class CCalendarDelegate;

    void CreateNavigationBar();
    QToolButton *CreateNavigationButton(const char *objectName, bool bNext);
    void ApplyLocale();
    void RetranslateNavigation();
    void UpdateNavigationBar();
    void SyncViewSelection();
    void ShowMonthClamped(int iYear, int iMonth);

    CCalendarModel *m_pModel = nullptr;
    CCalendarView *m_pView = nullptr;
    CCalendarDelegate *m_pDelegate = nullptr;
    QItemSelectionModel *m_pSelectionModel = nullptr;
    CCalendarTextNavigator *m_pNavigator = nullptr;
    QWidget *m_pNavigationBar = nullptr;
    QToolButton *m_pBtnPrevMonth = nullptr;
    QToolButton *m_pBtnNextMonth = nullptr;
    QToolButton *m_pBtnPrevYear = nullptr;
    QToolButton *m_pBtnNextYear = nullptr;
    QLabel *m_pMonthLabel = nullptr;
    QLabel *m_pYearLabel = nullptr;
    SelectionMode m_selectionMode = SingleSelection;
    QMap<int, QList<QDate>> m_markedDates;
};

/**
 * The locale of the current language. The installed translation names its own
 * locale, so the widget library follows the language without reaching into
 * the application layer; untranslated, it is English (United States).
 */
VEXAWIDGETS_EXPORT QLocale CalendarLocale();
