#pragma once

// The parts of CCalendarWidget: month model, grid view, cell painter and the
// typed-date navigator.

#include "ccalendarwidget.h"
#include "vexawidgets_export.h"

#include <QAbstractTableModel>
#include <QItemDelegate>
#include <QLocale>
#include <QPersistentModelIndex>
#include <QTableView>
#include <QTextCharFormat>

class QLabel;
class QTimer;

/**
 * The month grid: an optional header row of day names, then six weeks; an
 * optional first column of ISO week numbers. The first row always starts
 * with at least one day of the previous month.
 */
class VEXAWIDGETS_EXPORT CCalendarModel : public QAbstractTableModel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCalendarModel)

public:
    explicit CCalendarModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    /** The date of a grid cell; invalid for header cells and week numbers. */
    QDate DateForCell(int row, int column) const;
    /** The cell of \a date in the shown grid; an invalid index when not shown. */
    QModelIndex IndexForDate(const QDate &date) const;
    bool IsInRange(const QDate &date) const;
    QDate Bounded(const QDate &date) const;

    QDate Date() const { return m_date; }
    /** Selects \a date, kept within the range. */
    void SetDate(const QDate &date);
    QDate MinimumDate() const { return m_minimumDate; }
    QDate MaximumDate() const { return m_maximumDate; }
    /** Sets the range (swapped when reversed) and pulls the selected date into it. */
    void SetRange(const QDate &minDate, const QDate &maxDate);
    int ShownYear() const { return m_shownYear; }
    int ShownMonth() const { return m_shownMonth; }
    void ShowMonth(int year, int month);
    Qt::DayOfWeek FirstDayOfWeek() const { return m_firstDay; }
    void SetFirstDayOfWeek(Qt::DayOfWeek day);
    CCalendarWidget::HorizontalHeaderFormat HeaderFormat() const { return m_headerFormat; }
    void SetHeaderFormat(CCalendarWidget::HorizontalHeaderFormat format);
    bool WeekNumbersShown() const { return m_firstColumn == 1; }
    void SetWeekNumbersShown(bool bShown);
    void SetLocale(const QLocale &locale);
    QLocale Locale() const { return m_locale; }
    /** The first row and column that hold dates. */
    int FirstRow() const { return m_firstRow; }
    int FirstColumn() const { return m_firstColumn; }
    Qt::DayOfWeek DayOfWeekForColumn(int column) const;

    void SetWeekdayFormat(Qt::DayOfWeek day, const QTextCharFormat &format);
    void SetDateFormat(const QDate &date, const QTextCharFormat &format);

private:
    QTextCharFormat FormatForCell(int row, int column) const;
    /** Days from the first shown cell to the first of the shown month (1 to 7). */
    int LeadingDays() const;
    void GridChanged();

    QDate m_date;
    QDate m_minimumDate;
    QDate m_maximumDate;
    int m_shownYear = 0;
    int m_shownMonth = 0;
    Qt::DayOfWeek m_firstDay = Qt::Sunday;
    CCalendarWidget::HorizontalHeaderFormat m_headerFormat = CCalendarWidget::ShortDayNames;
    int m_firstRow = 1;
    int m_firstColumn = 0;
    QLocale m_locale;
    QMap<int, QTextCharFormat> m_weekdayFormats;
    QMap<QDate, QTextCharFormat> m_dateFormats;
};

/**
 * The grid of the month calendar. A left press and release on two different
 * dates reports the range (earlier, later); on one date, that date. Keys move
 * the date; Enter chooses it.
 */
class VEXAWIDGETS_EXPORT CCalendarView : public QTableView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCalendarView)

public:
    explicit CCalendarView(QWidget *parent = nullptr);

    void SetSelectionMode(CCalendarWidget::SelectionMode mode) { m_selectionMode = mode; }
    /** The choosable date under \a pos; invalid over headers and out-of-range dates. */
    QDate DateAt(const QPoint &pos) const;

signals:
    void showDate(const QDate &date);
    void changeDate(const QDate &date, bool bChangeMonth);
    void changeDate(const QDate &date, bool bChangeMonth, bool bMultiSelected);
    void clicked(const QDate &date);
    void editingFinished();
    void focusout();
    void SignalSelectDate(const QDate &dtBegin, const QDate &dtEnd);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    CCalendarModel *Model() const;
    /** Shows the cells from the press cell to \a date as selected while dragging. */
    void ShowDragRange(const QDate &date);

    CCalendarWidget::SelectionMode m_selectionMode = CCalendarWidget::SingleSelection;
    bool m_bPressed = false;
    QPersistentModelIndex m_pressIndex;
};

/** Paints the header row and the date cells from the skin's calendar images. */
class VEXAWIDGETS_EXPORT CCalendarDelegate : public QItemDelegate
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCalendarDelegate)

public:
    CCalendarDelegate(CCalendarWidget *calendar, CCalendarModel *model);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    /** The date cell of \a date in \a rect, with the option of the cell being painted. */
    void PaintDateCell(QPainter *painter, const QRect &rect, const QDate &date) const;

private:
    void PaintHeaderCell(QPainter *painter, const QStyleOptionViewItem &option,
                         const QModelIndex &index) const;

    CCalendarWidget *m_pCalendar = nullptr;
    CCalendarModel *m_pModel = nullptr;
    mutable QStyleOptionViewItem m_storedOption;
};

/**
 * Typed date entry over the calendar: digits and separators typed into the
 * watched widget collect in a small label; after the accept delay, or on
 * Enter, they become a date: "d", "M-d" or "yyyy-M-d" (separators "-", "/",
 * "."), or the digits alone as "d", "MMdd" or "yyyyMMdd".
 */
class VEXAWIDGETS_EXPORT CCalendarTextNavigator : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CCalendarTextNavigator)

public:
    explicit CCalendarTextNavigator(QObject *parent = nullptr);

    /** Watches \a widget's keys and shows the typed text at the bottom of \a frame. */
    void SetWidget(QWidget *widget, QWidget *frame);
    void SetDate(const QDate &date) { m_date = date; }
    int Delay() const;
    void SetDelay(int msecs);
    bool IsEnabled() const { return m_bEnabled; }
    void SetEnabled(bool bEnabled);

    /** The date \a text stands for, with missing parts taken from \a reference. */
    static QDate ParseTyped(const QString &text, const QDate &reference);

signals:
    void dateChanged(const QDate &date);
    void editingFinished();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Accept();
    void Clear();
    void ShowText();

    QDate m_date;
    QString m_text;
    bool m_bEnabled = true;
    QTimer *m_pAcceptTimer = nullptr;
    QLabel *m_pTextLabel = nullptr;
};
