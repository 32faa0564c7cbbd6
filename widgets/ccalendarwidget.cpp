#include "ccalendarwidget.h"

#include "ccalendarview.h"
#include "pixmaputil.h"
#include "regionutil.h"

#include <QCursor>
#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kNavigationBarHeight = 26;
// Fixed by the calendar's look: date marks of these types share one colour.
constexpr int kColouredMarkTypes = 4;
const QColor kMarkColour(250, 90, 55);

QDate FirstOfMonth(const QDate &date)
{
    return QDate(date.year(), date.month(), 1);
}

} // namespace

QLocale CalendarLocale()
{
    //: The locale of this translation as language_COUNTRY (zh_CN for Chinese); the calendar's day and month names follow it.
    return QLocale(CCalendarWidget::tr("en_US"));
}

CCalendarWidget::CCalendarWidget(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    setObjectName(QStringLiteral("CCalendarWidget"));
    setStyleSheet(QStringLiteral("QWidget#CCalendarWidget{background:none;border:none;}"));
    setLocale(CalendarLocale());

    auto *layout = new QVBoxLayout(this);
    layout->setSpacing(0);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("pFrameBack"));
    frame->setStyleSheet(QStringLiteral("QFrame#pFrameBack{background:none;background-color:rgb(155,155,155);}"));
    auto *grid = new QGridLayout(frame);
    grid->setContentsMargins(4, 0, 4, 2);
    grid->setSpacing(0);

    m_pModel = new CCalendarModel(this);
    m_pModel->SetLocale(locale());
    m_pModel->SetFirstDayOfWeek(locale().firstDayOfWeek());
    QTextCharFormat weekend;
    weekend.setForeground(QColor(Qt::red));
    m_pModel->SetWeekdayFormat(Qt::Saturday, weekend);
    m_pModel->SetWeekdayFormat(Qt::Sunday, weekend);

    m_pView = new CCalendarView(frame);
    m_pView->setObjectName(QStringLiteral("qt_calendar_calendarview"));
    m_pView->setModel(m_pModel);
    m_pSelectionModel = m_pView->selectionModel();
    m_pView->setSelectionBehavior(QAbstractItemView::SelectItems);
    m_pView->setSelectionMode(QAbstractItemView::SingleSelection);
    // The model's first row carries the day names; the view's own headers only size the grid.
    QHeaderView *columns = m_pView->horizontalHeader();
    columns->setDefaultSectionSize(25);
    columns->setMinimumSectionSize(10);
    columns->setSectionResizeMode(QHeaderView::Stretch);
    columns->setSectionsClickable(false);
    columns->hide();
    QHeaderView *rows = m_pView->verticalHeader();
    rows->setMinimumSectionSize(10);
    rows->setSectionResizeMode(QHeaderView::Stretch);
    rows->setSectionsClickable(false);
    rows->hide();
    m_pView->setFrameStyle(QFrame::NoFrame);
    m_pView->setShowGrid(false);
    m_pView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pView->setMouseTracking(true);
    m_pView->viewport()->setAttribute(Qt::WA_Hover);
    m_pDelegate = new CCalendarDelegate(this, m_pModel);
    m_pView->setItemDelegate(m_pDelegate);
    grid->addWidget(m_pView, 0, 0);

    CreateNavigationBar();
    layout->addWidget(m_pNavigationBar);
    layout->addWidget(frame);

    m_pNavigator = new CCalendarTextNavigator(this);
    m_pNavigator->SetWidget(m_pView, frame);
    m_pNavigator->SetDate(m_pModel->Date());

    setFocusPolicy(Qt::WheelFocus);
    setFocusProxy(m_pView);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    setFixedSize(183, 200);
    setMask(EllipseCornerRegion(QRect(0, 0, 187, 200), 2));

    connect(m_pView, &CCalendarView::showDate, this, &CCalendarWidget::OnShowDate);
    connect(m_pView, qOverload<const QDate &, bool>(&CCalendarView::changeDate), this,
            qOverload<const QDate &, bool>(&CCalendarWidget::OnChangeDate));
    connect(m_pView, qOverload<const QDate &, bool, bool>(&CCalendarView::changeDate), this,
            qOverload<const QDate &, bool, bool>(&CCalendarWidget::OnChangeDate));
    connect(m_pView, &CCalendarView::clicked, this, &CCalendarWidget::clicked);
    connect(m_pView, &CCalendarView::editingFinished, this, &CCalendarWidget::OnEditingFinished);
    connect(m_pView, &CCalendarView::SignalSelectDate, this, &CCalendarWidget::OnSlotSelectDate);
    connect(m_pNavigator, &CCalendarTextNavigator::dateChanged, this,
            qOverload<const QDate &>(&CCalendarWidget::OnChangeDate));
    connect(m_pNavigator, &CCalendarTextNavigator::editingFinished, this,
            &CCalendarWidget::OnEditingFinished);

    RetranslateNavigation();
    UpdateNavigationBar();
    SyncViewSelection();
}

CCalendarWidget::~CCalendarWidget() = default;

void CCalendarWidget::CreateNavigationBar()
{
    m_pNavigationBar = new QWidget(this);
    m_pNavigationBar->setObjectName(QStringLiteral("qt_calendar_navigationbar"));
    m_pNavigationBar->setAttribute(Qt::WA_StyledBackground);
    m_pNavigationBar->setStyleSheet(QStringLiteral("border:none;background-color: rgb(96, 95, 93);"));
    m_pNavigationBar->setFixedHeight(kNavigationBarHeight);

    m_pBtnPrevMonth = CreateNavigationButton("qt_calendar_prevmonth", false);
    m_pBtnNextMonth = CreateNavigationButton("qt_calendar_nextmonth", true);
    m_pBtnPrevYear = CreateNavigationButton("qt_calendar_prevyear", false);
    m_pBtnNextYear = CreateNavigationButton("qt_calendar_nextyear", true);
    const auto makeLabel = [this](const char *objectName) {
        auto *label = new QLabel(m_pNavigationBar);
        label->setObjectName(QLatin1String(objectName));
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(QStringLiteral("color: rgb(242, 242, 242);"));
        return label;
    };
    m_pMonthLabel = makeLabel("qt_calendar_m_monthlabel");
    m_pYearLabel = makeLabel("qt_calendar_m_yearlabel");

    // Month and year each between their own pair of arrows.
    auto *bar = new QHBoxLayout(m_pNavigationBar);
    bar->setContentsMargins(2, 0, 2, 0);
    bar->setSpacing(0);
    bar->addWidget(m_pBtnPrevMonth);
    bar->addWidget(m_pMonthLabel, 1);
    bar->addWidget(m_pBtnNextMonth);
    bar->addWidget(m_pBtnPrevYear);
    bar->addWidget(m_pYearLabel, 1);
    bar->addWidget(m_pBtnNextYear);

    connect(m_pBtnPrevMonth, &QToolButton::clicked, this, &CCalendarWidget::OnPrevMonthClicked);
    connect(m_pBtnNextMonth, &QToolButton::clicked, this, &CCalendarWidget::OnNextMonthClicked);
    connect(m_pBtnPrevYear, &QToolButton::clicked, this, &CCalendarWidget::OnPrevYearClicked);
    connect(m_pBtnNextYear, &QToolButton::clicked, this, &CCalendarWidget::OnNextYearClicked);
}

QToolButton *CCalendarWidget::CreateNavigationButton(const char *objectName, bool bNext)
{
    auto *button = new QToolButton(m_pNavigationBar);
    button->setObjectName(QLatin1String(objectName));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QStringLiteral("background:transparent;"));
    const QPixmap arrow = LoadCachedPixmap(bNext ? QStringLiteral(":/images/public/Calendar/CalendarNext.png")
                                                 : QStringLiteral(":/images/public/Calendar/CalendarPre.png"));
    if (arrow.isNull()) {
        button->setArrowType(bNext ? Qt::RightArrow : Qt::LeftArrow);
    } else {
        button->setIcon(QIcon(arrow));
        button->setIconSize(QSize(16, 16));
    }
    return button;
}

void CCalendarWidget::RetranslateNavigation()
{
    const struct
    {
        QToolButton *button;
        QString name;
    } buttons[] = {
        {m_pBtnPrevMonth, tr("Previous month")},
        {m_pBtnNextMonth, tr("Next month")},
        {m_pBtnPrevYear, tr("Previous year")},
        {m_pBtnNextYear, tr("Next year")},
    };
    for (const auto &entry : buttons) {
        entry.button->setToolTip(entry.name);
        entry.button->setAccessibleName(entry.name);
    }
}

void CCalendarWidget::UpdateNavigationBar()
{
    const QDate shown(m_pModel->ShownYear(), m_pModel->ShownMonth(), 1);
    const QLocale calendarLocale = m_pModel->Locale();
    m_pMonthLabel->setText(calendarLocale.standaloneMonthName(shown.month(), QLocale::LongFormat));
    //: Year label of the calendar (QDate::toString pattern).
    m_pYearLabel->setText(calendarLocale.toString(shown, tr("yyyy")));
    m_pMonthLabel->setAccessibleName(tr("Month: %1").arg(m_pMonthLabel->text()));
    m_pYearLabel->setAccessibleName(tr("Year: %1").arg(m_pYearLabel->text()));
    const bool atFirst = shown <= FirstOfMonth(m_pModel->MinimumDate());
    const bool atLast = shown >= FirstOfMonth(m_pModel->MaximumDate());
    m_pBtnPrevMonth->setEnabled(!atFirst);
    m_pBtnPrevYear->setEnabled(!atFirst);
    m_pBtnNextMonth->setEnabled(!atLast);
    m_pBtnNextYear->setEnabled(!atLast);
}

void CCalendarWidget::ApplyLocale()
{
    m_pModel->SetLocale(locale());
    UpdateNavigationBar();
}

void CCalendarWidget::SyncViewSelection()
{
    const QModelIndex cell = m_pModel->IndexForDate(m_pModel->Date());
    if (cell.isValid() && m_selectionMode != NoSelection)
        m_pSelectionModel->setCurrentIndex(cell, QItemSelectionModel::ClearAndSelect);
    else
        m_pSelectionModel->clear();
}

void CCalendarWidget::ShowMonthClamped(int iYear, int iMonth)
{
    const QDate wanted(iYear, iMonth, 1);
    if (!wanted.isValid())
        return;
    const QDate page = std::clamp(wanted, FirstOfMonth(m_pModel->MinimumDate()),
                                  FirstOfMonth(m_pModel->MaximumDate()));
    const bool changed = page.year() != m_pModel->ShownYear() || page.month() != m_pModel->ShownMonth();
    m_pModel->ShowMonth(page.year(), page.month());
    UpdateNavigationBar();
    SyncViewSelection();
    if (changed)
        emit CurrentPageChanged(page.year(), page.month());
}

// ---- properties ----

QDate CCalendarWidget::GetSelectedDate() const
{
    return m_pModel->Date();
}

QDate CCalendarWidget::GetMinimumDate() const
{
    return m_pModel->MinimumDate();
}

void CCalendarWidget::SetMinimumDate(const QDate &date)
{
    if (date.isValid())
        SetDateRange(date, std::max(date, GetMaximumDate()));
}

QDate CCalendarWidget::GetMaximumDate() const
{
    return m_pModel->MaximumDate();
}

void CCalendarWidget::SetMaximumDate(const QDate &date)
{
    if (date.isValid())
        SetDateRange(std::min(date, GetMinimumDate()), date);
}

Qt::DayOfWeek CCalendarWidget::GetFirstDayOfWeek() const
{
    return m_pModel->FirstDayOfWeek();
}

void CCalendarWidget::SetFirstDayOfWeek(Qt::DayOfWeek dayOfWeek)
{
    m_pModel->SetFirstDayOfWeek(dayOfWeek);
    SyncViewSelection();
}

bool CCalendarWidget::IsGridVisible() const
{
    return m_pView->showGrid();
}

CCalendarWidget::SelectionMode CCalendarWidget::GetSelectionMode() const
{
    return m_selectionMode;
}

void CCalendarWidget::SetSelectionMode(SelectionMode mode)
{
    m_selectionMode = mode;
    m_pView->SetSelectionMode(mode);
    m_pView->setSelectionMode(mode == NoSelection       ? QAbstractItemView::NoSelection
                              : mode == MultiSelection ? QAbstractItemView::ExtendedSelection
                                                       : QAbstractItemView::SingleSelection);
    SyncViewSelection();
}

CCalendarWidget::HorizontalHeaderFormat CCalendarWidget::GetHorizontalHeaderFormat() const
{
    return m_pModel->HeaderFormat();
}

void CCalendarWidget::SetHorizontalHeaderFormat(HorizontalHeaderFormat format)
{
    m_pModel->SetHeaderFormat(format);
    SyncViewSelection();
}

CCalendarWidget::VerticalHeaderFormat CCalendarWidget::GetVerticalHeaderFormat() const
{
    return m_pModel->WeekNumbersShown() ? ISOWeekNumbers : NoVerticalHeader;
}

void CCalendarWidget::SetVerticalHeaderFormat(VerticalHeaderFormat format)
{
    m_pModel->SetWeekNumbersShown(format == ISOWeekNumbers);
    SyncViewSelection();
}

bool CCalendarWidget::IsHeaderVisible() const
{
    return IsNavigationBarVisible();
}

void CCalendarWidget::SetHeaderVisible(bool bVisible)
{
    SetNavigationBarVisible(bVisible);
}

bool CCalendarWidget::IsNavigationBarVisible() const
{
    return !m_pNavigationBar->isHidden();
}

bool CCalendarWidget::IsDateEditEnabled() const
{
    return m_pNavigator->IsEnabled();
}

void CCalendarWidget::SetDateEditEnabled(bool bEnabled)
{
    m_pNavigator->SetEnabled(bEnabled);
}

int CCalendarWidget::GetDateEditAcceptDelay() const
{
    return m_pNavigator->Delay();
}

void CCalendarWidget::SetDateEditAcceptDelay(int msecs)
{
    m_pNavigator->SetDelay(msecs);
}

int CCalendarWidget::GetYearShown() const
{
    return m_pModel->ShownYear();
}

int CCalendarWidget::GetMonthShown() const
{
    return m_pModel->ShownMonth();
}

void CCalendarWidget::SetWeekdayTextFormat(Qt::DayOfWeek dayOfWeek, const QTextCharFormat &format)
{
    m_pModel->SetWeekdayFormat(dayOfWeek, format);
}

void CCalendarWidget::SetDateTextFormat(const QDate &date, const QTextCharFormat &format)
{
    m_pModel->SetDateFormat(date, format);
}

// ---- marks and painting ----

void CCalendarWidget::AddMarkedDate(const QDate &date, int type)
{
    QList<QDate> &dates = m_markedDates[type];
    if (!dates.contains(date))
        dates.append(date);
    updateCell(date);
}

void CCalendarWidget::ClearMarkedDates()
{
    m_markedDates.clear();
    m_pView->viewport()->update();
}

QList<QDate> CCalendarWidget::GetMarkedDates(int type) const
{
    return m_markedDates.value(type);
}

void CCalendarWidget::paintCell(QPainter *painter, const QRect &rect, const QDate &date) const
{
    m_pDelegate->PaintDateCell(painter, rect, date);
    const bool marked = std::any_of(m_markedDates.keyValueBegin(), m_markedDates.keyValueEnd(),
                                    [&date](const auto &entry) {
                                        return entry.first >= 0 && entry.first < kColouredMarkTypes
                                               && entry.second.contains(date);
                                    });
    if (!marked)
        return;
    const int leg = std::min(rect.width(), rect.height()) / 3;
    const QPoint corner = rect.bottomRight() + QPoint(1, 1);
    const QPoint triangle[] = {corner - QPoint(leg, 0), corner - QPoint(0, leg), corner};
    painter->save();
    painter->setPen(Qt::NoPen);
    painter->setBrush(kMarkColour);
    painter->drawPolygon(triangle, 3);
    painter->restore();
}

void CCalendarWidget::updateCell(const QDate &date)
{
    if (!date.isValid()) {
        qWarning("CCalendarWidget::updateCell: Invalid date");
        return;
    }
    if (const QModelIndex cell = m_pModel->IndexForDate(date); cell.isValid())
        m_pView->update(cell);
}

// ---- slots ----

void CCalendarWidget::SetSelectedDate(const QDate &date)
{
    if (date.isValid())
        OnChangeDate(date, true, false);
}

void CCalendarWidget::SetDateRange(const QDate &minDate, const QDate &maxDate)
{
    const QDate before = m_pModel->Date();
    m_pModel->SetRange(minDate, maxDate);
    ShowMonthClamped(m_pModel->ShownYear(), m_pModel->ShownMonth());
    if (m_pModel->Date() != before) {
        m_pNavigator->SetDate(m_pModel->Date());
        emit SelectionChanged();
    }
}

void CCalendarWidget::SetCurrentPage(int iYear, int iMonth)
{
    ShowMonthClamped(iYear, iMonth);
}

void CCalendarWidget::SetGridVisible(bool bShow)
{
    m_pView->setShowGrid(bShow);
}

void CCalendarWidget::SetNavigationBarVisible(bool bVisible)
{
    m_pNavigationBar->setVisible(bVisible);
}

void CCalendarWidget::ShowNextMonth()
{
    const QDate next = QDate(GetYearShown(), GetMonthShown(), 1).addMonths(1);
    SetCurrentPage(next.year(), next.month());
}

void CCalendarWidget::ShowPreviousMonth()
{
    const QDate previous = QDate(GetYearShown(), GetMonthShown(), 1).addMonths(-1);
    SetCurrentPage(previous.year(), previous.month());
}

void CCalendarWidget::ShowNextYear()
{
    SetCurrentPage(GetYearShown() + 1, GetMonthShown());
}

void CCalendarWidget::ShowPreviousYear()
{
    SetCurrentPage(GetYearShown() - 1, GetMonthShown());
}

void CCalendarWidget::ShowSelectedDate()
{
    SetCurrentPage(GetSelectedDate().year(), GetSelectedDate().month());
}

void CCalendarWidget::ShowToDay()
{
    const QDate today = QDate::currentDate();
    SetCurrentPage(today.year(), today.month());
}

void CCalendarWidget::OnCallJudgePos()
{
    if (!rect().contains(mapFromGlobal(QCursor::pos())))
        emit LeaveCalendar();
}

void CCalendarWidget::OnShowDate(const QDate &date)
{
    if (date.isValid())
        SetCurrentPage(date.year(), date.month());
}

void CCalendarWidget::OnChangeDate(const QDate &date)
{
    OnChangeDate(date, true);
}

void CCalendarWidget::OnChangeDate(const QDate &date, bool bChangeMonth)
{
    OnChangeDate(date, bChangeMonth, false);
}

void CCalendarWidget::OnChangeDate(const QDate &date, bool bChangeMonth, bool bMultiSelected)
{
    const QDate before = m_pModel->Date();
    m_pModel->SetDate(date);
    const QDate now = m_pModel->Date();
    if (bChangeMonth)
        ShowMonthClamped(now.year(), now.month());
    // A drag-selected range stays on show until the next single date.
    if (!bMultiSelected)
        SyncViewSelection();
    m_pView->viewport()->update();
    if (now != before) {
        m_pNavigator->SetDate(now);
        emit SelectionChanged();
    }
}

void CCalendarWidget::OnSlotSelectDate(const QDate &dtBegin, const QDate &dtEnd)
{
    emit SignalSelectDate(dtBegin, dtEnd);
}

void CCalendarWidget::OnEditingFinished()
{
    emit activated(GetSelectedDate());
}

void CCalendarWidget::OnPrevMonthClicked()
{
    ShowPreviousMonth();
}

void CCalendarWidget::OnNextMonthClicked()
{
    ShowNextMonth();
}

void CCalendarWidget::OnPrevYearClicked()
{
    ShowPreviousYear();
}

void CCalendarWidget::OnNextYearClicked()
{
    ShowNextYear();
}

bool CCalendarWidget::event(QEvent *e)
{
    // Setting the locale in the constructor sends a change before the parts exist.
    if (!m_pNavigator)
        return QWidget::event(e);
    switch (e->type()) {
    case QEvent::LocaleChange:
        ApplyLocale();
        break;
    case QEvent::LanguageChange:
        setLocale(CalendarLocale());
        RetranslateNavigation();
        UpdateNavigationBar();
        break;
    case QEvent::Leave:
        emit LeaveCalendar();
        break;
    case QEvent::Show:
        // A calendar shown under a pointer that has already moved on never gets a Leave.
        QTimer::singleShot(100, this, &CCalendarWidget::OnCallJudgePos);
        break;
    default:
        break;
    }
    return QWidget::event(e);
}
