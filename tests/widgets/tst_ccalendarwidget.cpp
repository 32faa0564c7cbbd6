#include "ccalendarview.h"
#include "ccalendarwidget.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QLabel>
#include <QPixmapCache>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QTranslator>

namespace {

// The skin's calendar images as solid colours, found by colour in renderings.
const struct
{
    const char *name;
    QColor colour;
} kSkin[] = {
    {"WeekLeft", QColor(0, 0, 200)},
    {"WeekMiddle", QColor(0, 200, 0)},
    {"WeekRight", QColor(200, 0, 200)},
    {"CalendarNormal", QColor(255, 255, 255)},
    {"CalendarHover", QColor(255, 255, 0)},
    {"CalendarFocus", QColor(0, 200, 200)},
};

void InstallSkin()
{
    for (const auto &image : kSkin) {
        QPixmap pixmap(25, 22);
        pixmap.fill(image.colour);
        QPixmapCache::insert(QStringLiteral(":/images/public/Calendar/%1.png").arg(QLatin1String(image.name)),
                             pixmap);
    }
}

QImage Render(QWidget &w)
{
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    w.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

// The language switch of a Chinese translation, without a .qm file.
class ChineseCalendarTranslator : public QTranslator
{
public:
    QString translate(const char *context, const char *sourceText, const char *, int) const override
    {
        if (qstrcmp(context, "CCalendarWidget") == 0 && qstrcmp(sourceText, "en_US") == 0)
            return QStringLiteral("zh_CN");
        return {};
    }
    bool isEmpty() const override { return false; }
};

enum class Action { KeyLeft, KeyPageUp, KeyCtrlPageUp, PrevYearButton, PrevMonthButton, ClickBefore, Typed };

} // namespace

Q_DECLARE_METATYPE(Action)

class TestCCalendarWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void monthGrid_data();
    void monthGrid();
    void weekNumbersAndHeaderFormats();
    void headerImagesAndWeekendColour_data();
    void headerImagesAndWeekendColour();
    void markTriangle_data();
    void markTriangle();
    void keyboardMovesTheDate_data();
    void keyboardMovesTheDate();
    void rangeIsNeverCrossed_data();
    void rangeIsNeverCrossed();
    void pressAndReleaseSelectRanges_data();
    void pressAndReleaseSelectRanges();
    void typedDates_data();
    void typedDates();
    void typedEntryJumpsAndEnterChooses();
    void namesFollowTheLanguage();
    void leavingEmitsLeaveCalendar();

private:
    std::unique_ptr<CCalendarWidget> m_calendar;
    CCalendarView *m_view = nullptr;
    CCalendarModel *m_model = nullptr;

    QRect CellRect(const QDate &date) const;
    void Click(const QDate &date);
};

void TestCCalendarWidget::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestCCalendarWidget::init()
{
    InstallSkin();
    m_calendar = std::make_unique<CCalendarWidget>();
    m_view = m_calendar->findChild<CCalendarView *>();
    QVERIFY(m_view);
    m_model = qobject_cast<CCalendarModel *>(m_view->model());
    QVERIFY(m_model);
    m_calendar->SetSelectedDate(QDate(2026, 12, 8));
}

QRect TestCCalendarWidget::CellRect(const QDate &date) const
{
    const QRect cell = m_view->visualRect(m_model->IndexForDate(date));
    return cell.translated(m_view->viewport()->mapTo(m_calendar.get(), QPoint(0, 0)));
}

void TestCCalendarWidget::Click(const QDate &date)
{
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {},
                      m_view->visualRect(m_model->IndexForDate(date)).center());
}

void TestCCalendarWidget::monthGrid_data()
{
    QTest::addColumn<QDate>("month");
    QTest::addColumn<Qt::DayOfWeek>("firstDay");
    QTest::addColumn<QDate>("firstShown");
    QTest::addColumn<QString>("firstHeader");

    // 2026 has a month starting on every weekday; the grid always opens with
    // at least one day of the month before.
    QTest::newRow("starts Sunday") << QDate(2026, 2, 1) << Qt::Sunday << QDate(2026, 1, 25) << "Sun";
    QTest::newRow("starts Monday") << QDate(2026, 6, 1) << Qt::Sunday << QDate(2026, 5, 31) << "Sun";
    QTest::newRow("starts Tuesday") << QDate(2026, 9, 1) << Qt::Sunday << QDate(2026, 8, 30) << "Sun";
    QTest::newRow("starts Wednesday") << QDate(2026, 4, 1) << Qt::Sunday << QDate(2026, 3, 29) << "Sun";
    QTest::newRow("starts Thursday") << QDate(2026, 1, 1) << Qt::Sunday << QDate(2025, 12, 28) << "Sun";
    QTest::newRow("starts Friday") << QDate(2026, 5, 1) << Qt::Sunday << QDate(2026, 4, 26) << "Sun";
    QTest::newRow("starts Saturday") << QDate(2026, 8, 1) << Qt::Sunday << QDate(2026, 7, 26) << "Sun";
    QTest::newRow("Monday first, starts Monday") << QDate(2026, 6, 1) << Qt::Monday << QDate(2026, 5, 25) << "Mon";
    QTest::newRow("Monday first, starts Sunday") << QDate(2026, 2, 1) << Qt::Monday << QDate(2026, 1, 26) << "Mon";
    QTest::newRow("leap February") << QDate(2024, 2, 1) << Qt::Sunday << QDate(2024, 1, 28) << "Sun";
    QTest::newRow("leap century February") << QDate(2000, 2, 1) << Qt::Saturday << QDate(2000, 1, 29) << "Sat";
    QTest::newRow("plain February") << QDate(2100, 2, 1) << Qt::Sunday << QDate(2100, 1, 31) << "Sun";
}

void TestCCalendarWidget::monthGrid()
{
    QFETCH(QDate, month);
    QFETCH(Qt::DayOfWeek, firstDay);
    QFETCH(QDate, firstShown);
    QFETCH(QString, firstHeader);

    QAbstractItemModelTester tester(m_model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_calendar->SetFirstDayOfWeek(firstDay);
    m_calendar->SetCurrentPage(month.year(), month.month());
    QCOMPARE(m_model->rowCount(), 7);
    QCOMPARE(m_model->columnCount(), 7);
    QCOMPARE(m_model->index(0, 0).data().toString(), firstHeader);
    QCOMPARE(m_model->DateForCell(1, 0), firstShown);

    int daysOfMonth = 0;
    for (int row = 1; row < 7; ++row) {
        for (int column = 0; column < 7; ++column) {
            const QDate date = m_model->DateForCell(row, column);
            QCOMPARE(date, firstShown.addDays((row - 1) * 7 + column));
            QCOMPARE(date.dayOfWeek(), int(m_model->DayOfWeekForColumn(column)));
            QCOMPARE(m_model->IndexForDate(date), m_model->index(row, column));
            QCOMPARE(m_model->index(row, column).data().toString(), QString::number(date.day()));
            daysOfMonth += date.month() == month.month();
        }
    }
    QCOMPARE(daysOfMonth, month.daysInMonth());
    QVERIFY(!m_model->IndexForDate(firstShown.addDays(-1)).isValid());
    QVERIFY(!m_model->IndexForDate(firstShown.addDays(42)).isValid());
}

void TestCCalendarWidget::weekNumbersAndHeaderFormats()
{
    QAbstractItemModelTester tester(m_model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_calendar->SetFirstDayOfWeek(Qt::Monday);
    m_calendar->SetVerticalHeaderFormat(CCalendarWidget::ISOWeekNumbers);
    m_calendar->SetCurrentPage(2027, 1);
    QCOMPARE(m_model->columnCount(), 8);
    // 2027 opens in week 53 of 2026.
    QCOMPARE(m_model->index(1, 0).data().toString(), QStringLiteral("53"));
    QCOMPARE(m_model->index(2, 0).data().toString(), QStringLiteral("1"));
    QCOMPARE(m_model->DateForCell(1, 1), QDate(2026, 12, 28));
    QCOMPARE(m_model->index(0, 1).data().toString(), QStringLiteral("Mon"));

    m_calendar->SetHorizontalHeaderFormat(CCalendarWidget::LongDayNames);
    QCOMPARE(m_model->index(0, 1).data().toString(), QStringLiteral("Monday"));
    m_calendar->SetHorizontalHeaderFormat(CCalendarWidget::SingleLetterDayNames);
    QCOMPARE(m_model->index(0, 7).data().toString(), QStringLiteral("S"));
    m_calendar->SetHorizontalHeaderFormat(CCalendarWidget::NoHorizontalHeader);
    QCOMPARE(m_model->rowCount(), 6);
    QCOMPARE(m_model->DateForCell(0, 1), QDate(2026, 12, 28));

    // A date's own format goes over its weekday's; an empty one removes it.
    QTextCharFormat weekday;
    weekday.setBackground(QColor(Qt::yellow));
    m_calendar->SetWeekdayTextFormat(Qt::Tuesday, weekday);
    QTextCharFormat holiday;
    holiday.setToolTip(QStringLiteral("Holiday"));
    holiday.setForeground(QColor(Qt::blue));
    const QDate date(2027, 1, 5); // a Tuesday
    m_calendar->SetDateTextFormat(date, holiday);
    const QModelIndex cell = m_model->IndexForDate(date);
    QCOMPARE(cell.data(Qt::ToolTipRole).toString(), QStringLiteral("Holiday"));
    QCOMPARE(cell.data(Qt::ForegroundRole).value<QColor>(), QColor(Qt::blue));
    QCOMPARE(cell.data(Qt::BackgroundRole).value<QColor>(), QColor(Qt::yellow));
    m_calendar->SetDateTextFormat(date, {});
    QVERIFY(!cell.data(Qt::ToolTipRole).isValid());
    QVERIFY(!cell.data(Qt::ForegroundRole).isValid());
}

void TestCCalendarWidget::headerImagesAndWeekendColour_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QColor>("image");
    QTest::addColumn<bool>("weekend");

    QTest::newRow("Sunday, left") << 0 << kSkin[0].colour << true;
    QTest::newRow("Monday, middle") << 1 << kSkin[1].colour << false;
    QTest::newRow("Wednesday, middle") << 3 << kSkin[1].colour << false;
    QTest::newRow("Saturday, right") << 6 << kSkin[2].colour << true;
}

void TestCCalendarWidget::headerImagesAndWeekendColour()
{
    QFETCH(int, column);
    QFETCH(QColor, image);
    QFETCH(bool, weekend);

    m_calendar->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_calendar.get()));
    const QImage rendering = Render(*m_calendar);
    const QPoint origin = m_view->viewport()->mapTo(m_calendar.get(), QPoint(0, 0));
    const QRect header = m_view->visualRect(m_model->index(0, column)).translated(origin);
    QCOMPARE(rendering.pixelColor(header.topLeft() + QPoint(1, 1)), image);

    // A day of the shown month in this column: its number is red on weekends only.
    const QDate date = m_model->DateForCell(3, column);
    const QVariant foreground = m_model->IndexForDate(date).data(Qt::ForegroundRole);
    QCOMPARE(foreground.isValid() && foreground.value<QColor>() == Qt::red, weekend);
    const QImage cell = rendering.copy(CellRect(date));
    bool anyRed = false; // glyph edges are blended, so "reddish" will do
    for (int y = 0; y < cell.height(); ++y) {
        for (int x = 0; x < cell.width(); ++x) {
            const QColor c = cell.pixelColor(x, y);
            anyRed = anyRed || (c.red() > 180 && c.green() < 90 && c.blue() < 90);
        }
    }
    QCOMPARE(anyRed, weekend);
}

void TestCCalendarWidget::markTriangle_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("drawn");

    QTest::newRow("type 0") << 0 << true;
    QTest::newRow("type 3") << 3 << true;
    QTest::newRow("type 4 has no colour") << 4 << false;
    QTest::newRow("negative type") << -1 << false;
}

void TestCCalendarWidget::markTriangle()
{
    QFETCH(int, type);
    QFETCH(bool, drawn);

    const QDate marked(2026, 12, 16);
    m_calendar->AddMarkedDate(marked, type);
    m_calendar->AddMarkedDate(marked, type);
    QCOMPARE(m_calendar->GetMarkedDates(type), QList<QDate>{marked});
    m_calendar->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_calendar.get()));
    const QImage rendering = Render(*m_calendar);
    const QRect cell = CellRect(marked);
    const QColor mark(250, 90, 55);
    QCOMPARE(rendering.pixelColor(cell.bottomRight() - QPoint(1, 1)) == mark, drawn);
    // The triangle keeps to its corner.
    QVERIFY(rendering.pixelColor(cell.center()) != mark);
    QVERIFY(rendering.pixelColor(CellRect(marked.addDays(1)).bottomRight() - QPoint(1, 1)) != mark);
    m_calendar->ClearMarkedDates();
    QVERIFY(m_calendar->GetMarkedDates(type).isEmpty());
    QVERIFY(Render(*m_calendar).pixelColor(cell.bottomRight() - QPoint(1, 1)) != mark);

    QTest::ignoreMessage(QtWarningMsg, "CCalendarWidget::updateCell: Invalid date");
    m_calendar->AddMarkedDate(QDate(), type);
}

void TestCCalendarWidget::keyboardMovesTheDate_data()
{
    QTest::addColumn<QDate>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
    QTest::addColumn<QDate>("expected");

    const QDate wed(2026, 12, 9);
    QTest::newRow("left") << wed << int(Qt::Key_Left) << Qt::KeyboardModifiers() << QDate(2026, 12, 8);
    QTest::newRow("right into next month") << QDate(2026, 11, 30) << int(Qt::Key_Right)
                                           << Qt::KeyboardModifiers() << QDate(2026, 12, 1);
    QTest::newRow("up") << wed << int(Qt::Key_Up) << Qt::KeyboardModifiers() << QDate(2026, 12, 2);
    QTest::newRow("down") << wed << int(Qt::Key_Down) << Qt::KeyboardModifiers() << QDate(2026, 12, 16);
    QTest::newRow("page up to a shorter month") << QDate(2026, 3, 31) << int(Qt::Key_PageUp)
                                                << Qt::KeyboardModifiers() << QDate(2026, 2, 28);
    QTest::newRow("page down") << wed << int(Qt::Key_PageDown) << Qt::KeyboardModifiers() << QDate(2027, 1, 9);
    QTest::newRow("ctrl page down, leap day") << QDate(2024, 2, 29) << int(Qt::Key_PageDown)
                                              << Qt::KeyboardModifiers(Qt::ControlModifier) << QDate(2025, 2, 28);
    QTest::newRow("home") << wed << int(Qt::Key_Home) << Qt::KeyboardModifiers() << QDate(2026, 12, 6);
    QTest::newRow("end") << wed << int(Qt::Key_End) << Qt::KeyboardModifiers() << QDate(2026, 12, 12);
}

void TestCCalendarWidget::keyboardMovesTheDate()
{
    QFETCH(QDate, from);
    QFETCH(int, key);
    QFETCH(Qt::KeyboardModifiers, modifiers);
    QFETCH(QDate, expected);

    m_calendar->SetSelectedDate(from);
    QSignalSpy changed(m_calendar.get(), &CCalendarWidget::SelectionChanged);
    QSignalSpy activated(m_calendar.get(), &CCalendarWidget::activated);
    QTest::keyClick(m_view, Qt::Key(key), modifiers);
    QCOMPARE(m_calendar->GetSelectedDate(), expected);
    QCOMPARE(m_calendar->GetYearShown(), expected.year());
    QCOMPARE(m_calendar->GetMonthShown(), expected.month());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(m_view->selectionModel()->selectedIndexes(), QModelIndexList{m_model->IndexForDate(expected)});

    QTest::keyClick(m_view, Qt::Key_Return);
    QCOMPARE(activated.count(), 1);
    QCOMPARE(activated.at(0).at(0).toDate(), expected);
}

void TestCCalendarWidget::rangeIsNeverCrossed_data()
{
    QTest::addColumn<Action>("action");

    QTest::newRow("left key") << Action::KeyLeft;
    QTest::newRow("page up") << Action::KeyPageUp;
    QTest::newRow("ctrl page up") << Action::KeyCtrlPageUp;
    QTest::newRow("previous-year button") << Action::PrevYearButton;
    QTest::newRow("previous-month button") << Action::PrevMonthButton;
    QTest::newRow("click before the minimum") << Action::ClickBefore;
    QTest::newRow("typed date before the minimum") << Action::Typed;
}

void TestCCalendarWidget::rangeIsNeverCrossed()
{
    QFETCH(Action, action);

    const QDate minimum(2026, 12, 3);
    m_calendar->SetDateRange(minimum, QDate(2027, 2, 10));
    m_calendar->SetSelectedDate(minimum);
    m_calendar->SetDateEditAcceptDelay(0);
    m_calendar->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_calendar.get()));
    QSignalSpy clicked(m_calendar.get(), &CCalendarWidget::clicked);
    switch (action) {
    case Action::KeyLeft:
        QTest::keyClick(m_view, Qt::Key_Left);
        break;
    case Action::KeyPageUp:
        QTest::keyClick(m_view, Qt::Key_PageUp);
        break;
    case Action::KeyCtrlPageUp:
        QTest::keyClick(m_view, Qt::Key_PageUp, Qt::ControlModifier);
        break;
    case Action::PrevYearButton:
    case Action::PrevMonthButton: {
        auto *button = m_calendar->findChild<QToolButton *>(
            action == Action::PrevYearButton ? "qt_calendar_prevyear" : "qt_calendar_prevmonth");
        QVERIFY(button);
        QVERIFY(!button->isEnabled());
        button->click();
        break;
    }
    case Action::ClickBefore:
        Click(minimum.addDays(-1));
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(m_model->index(1, 0).flags(), Qt::NoItemFlags);
        break;
    case Action::Typed:
        QTest::keyClicks(m_view, QStringLiteral("2026-11-30"));
        QTest::keyClick(m_view, Qt::Key_Return);
        break;
    }
    QCOMPARE(m_calendar->GetSelectedDate(), minimum);
    QCOMPARE(m_calendar->GetYearShown(), 2026);
    QCOMPARE(m_calendar->GetMonthShown(), 12);

    // The other end: the next-year button stops at the maximum's month.
    m_calendar->ShowNextYear();
    QCOMPARE(m_calendar->GetYearShown(), 2027);
    QCOMPARE(m_calendar->GetMonthShown(), 2);
    QTest::keyClick(m_view, Qt::Key_PageDown, Qt::ControlModifier);
    QCOMPARE(m_calendar->GetSelectedDate(), QDate(2027, 2, 10));
}

void TestCCalendarWidget::pressAndReleaseSelectRanges_data()
{
    QTest::addColumn<CCalendarWidget::SelectionMode>("mode");
    QTest::addColumn<QDate>("pressed");
    QTest::addColumn<QDate>("released");
    QTest::addColumn<QDate>("begin");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<QDate>("selected");

    const QDate d10(2026, 12, 10), d22(2026, 12, 22);
    const QDate before = QDate(2026, 12, 8);
    QTest::newRow("forwards") << CCalendarWidget::MultiSelection << d10 << d22 << d10 << d22 << before;
    QTest::newRow("backwards") << CCalendarWidget::MultiSelection << d22 << d10 << d10 << d22 << before;
    QTest::newRow("one date") << CCalendarWidget::SingleSelection << d22 << d22 << d22 << d22 << d22;
    // A press on the previous month's days is no range start.
    QTest::newRow("from another month") << CCalendarWidget::MultiSelection << QDate(2026, 11, 30) << d10
                                        << d10 << d10 << d10;
    QTest::newRow("no selection") << CCalendarWidget::NoSelection << d10 << d22 << QDate() << QDate() << before;
}

void TestCCalendarWidget::pressAndReleaseSelectRanges()
{
    QFETCH(CCalendarWidget::SelectionMode, mode);
    QFETCH(QDate, pressed);
    QFETCH(QDate, released);
    QFETCH(QDate, begin);
    QFETCH(QDate, end);
    QFETCH(QDate, selected);

    m_calendar->SetSelectionMode(mode);
    m_calendar->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_calendar.get()));
    QSignalSpy ranges(m_calendar.get(), &CCalendarWidget::SignalSelectDate);
    QSignalSpy clicked(m_calendar.get(), &CCalendarWidget::clicked);
    QWidget *viewport = m_view->viewport();
    const QPoint from = m_view->visualRect(m_model->IndexForDate(pressed)).center();
    const QPoint to = m_view->visualRect(m_model->IndexForDate(released)).center();
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    QTest::mouseMove(viewport, to);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);

    QCOMPARE(ranges.count(), begin.isValid() ? 1 : 0);
    if (begin.isValid()) {
        QCOMPARE(ranges.at(0).at(0).toDate(), begin);
        QCOMPARE(ranges.at(0).at(1).toDate(), end);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(clicked.at(0).at(0).toDate(), released);
    }
    QCOMPARE(m_calendar->GetSelectedDate(), selected);
}

void TestCCalendarWidget::typedDates_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("expected");

    // The reference date is 2026-12-08.
    QTest::newRow("day") << "24" << QDate(2026, 12, 24);
    QTest::newRow("month and day") << "2-28" << QDate(2026, 2, 28);
    QTest::newRow("month and day, digits") << "0105" << QDate(2026, 1, 5);
    QTest::newRow("full, slashes") << "2028/2/29" << QDate(2028, 2, 29);
    QTest::newRow("full, digits") << "20270105" << QDate(2027, 1, 5);
    QTest::newRow("no such leap day") << "2027.2.29" << QDate();
    QTest::newRow("no such month") << "13-1" << QDate();
    QTest::newRow("three digits") << "123" << QDate();
    QTest::newRow("only separators") << "--" << QDate();
    QTest::newRow("four parts") << "1-2-3-4" << QDate();
}

void TestCCalendarWidget::typedDates()
{
    QFETCH(QString, typed);
    QFETCH(QDate, expected);
    QCOMPARE(CCalendarTextNavigator::ParseTyped(typed, QDate(2026, 12, 8)), expected);
}

void TestCCalendarWidget::typedEntryJumpsAndEnterChooses()
{
    m_calendar->SetDateEditAcceptDelay(20);
    QSignalSpy activated(m_calendar.get(), &CCalendarWidget::activated);
    QTest::keyClicks(m_view, QStringLiteral("2027-3-1"));
    QCOMPARE(m_calendar->GetSelectedDate(), QDate(2026, 12, 8));
    QTRY_COMPARE(m_calendar->GetSelectedDate(), QDate(2027, 3, 1));
    QCOMPARE(m_calendar->GetMonthShown(), 3);
    QCOMPARE(activated.count(), 0);

    QTest::keyClicks(m_view, QStringLiteral("15"));
    QTest::keyClick(m_view, Qt::Key_Return);
    QCOMPARE(m_calendar->GetSelectedDate(), QDate(2027, 3, 15));
    QCOMPARE(activated.count(), 1);

    // Switched off, digits do nothing.
    m_calendar->SetDateEditEnabled(false);
    QTest::keyClicks(m_view, QStringLiteral("2"));
    QTest::keyClick(m_view, Qt::Key_Return);
    QCOMPARE(m_calendar->GetSelectedDate(), QDate(2027, 3, 15));
}

void TestCCalendarWidget::namesFollowTheLanguage()
{
    auto *month = m_calendar->findChild<QLabel *>("qt_calendar_m_monthlabel");
    auto *year = m_calendar->findChild<QLabel *>("qt_calendar_m_yearlabel");
    auto *next = m_calendar->findChild<QToolButton *>("qt_calendar_nextmonth");
    QVERIFY(month && year && next);
    QCOMPARE(month->text(), QStringLiteral("December"));
    QCOMPARE(year->text(), QStringLiteral("2026"));
    QCOMPARE(next->accessibleName(), QStringLiteral("Next month"));
    const QModelIndex day = m_model->IndexForDate(QDate(2026, 12, 8));
    QCOMPARE(day.data(Qt::AccessibleTextRole).toString(), QStringLiteral("8 December 2026"));
    QCOMPARE(m_model->index(0, 0).data(Qt::AccessibleTextRole).toString(), QStringLiteral("Sunday"));

    ChineseCalendarTranslator chinese;
    QVERIFY(QCoreApplication::installTranslator(&chinese));
    const QLocale zh(QLocale::Chinese, QLocale::China);
    QCOMPARE(CalendarLocale(), zh);
    QTRY_COMPARE(month->text(), zh.standaloneMonthName(12));
    QCOMPARE(m_calendar->locale(), zh);
    QCOMPARE(m_model->index(0, 1).data().toString(), zh.standaloneDayName(Qt::Monday, QLocale::ShortFormat));
    QCoreApplication::removeTranslator(&chinese);
    QTRY_COMPARE(month->text(), QStringLiteral("December"));
}

void TestCCalendarWidget::leavingEmitsLeaveCalendar()
{
    QSignalSpy left(m_calendar.get(), &CCalendarWidget::LeaveCalendar);
    QCursor::setPos(2000, 2000);
    m_calendar->show();
    QTRY_VERIFY(left.count() >= 1);

    left.clear();
    QCursor::setPos(m_calendar->mapToGlobal(QPoint(20, 20)));
    m_calendar->OnCallJudgePos();
    QCOMPARE(left.count(), 0);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(m_calendar.get(), &leave);
    QCOMPARE(left.count(), 1);
}

QTEST_MAIN(TestCCalendarWidget)
#include "tst_ccalendarwidget.moc"
