#include "ccalendarlabel.h"
#include "ccalendartimepopup.h"
#include "ccalendarview.h"
#include "ccalendarwidget.h"
#include "cdatetimeedit.h"
#include "citemroles.h"
#include "ctableview.h"

#include <QCalendarWidget>
#include <QSignalSpy>
#include <QTest>

namespace {

enum class Close { ChooseDay, EnterAfterKeys, EscapeAfterKeys, ClickOutsideAfterKeys, ClickEditor };

QDate Today()
{
    return QDate::currentDate();
}

} // namespace

Q_DECLARE_METATYPE(Close)

class TestCDateTimeEdit : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void newEditorValues_data();
    void newEditorValues();
    void clickOpensCalendarUnderEditor();
    void popupCloses_data();
    void popupCloses();
    void popupKeepsEditorRange();
    void keyboardOpensOurCalendar();
    void tableCellEditsThroughCalendar();
    void timeEditSwitches_data();
    void timeEditSwitches();
    void deskLabelFloatsCalendar();
};

void TestCDateTimeEdit::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestCDateTimeEdit::newEditorValues_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");

    const QString today = Today().toString(QStringLiteral("yyyy-MM-dd"));
    QTest::newRow("date-time editor") << "parent" << today + QStringLiteral(" 00:00:00");
    QTest::newRow("date editor") << "date only" << today;
    QTest::newRow("given date-time kept") << "date-time" << QStringLiteral("2024-02-29 23:59:58");
    QTest::newRow("time editor") << "time" << QStringLiteral("07:08:09");
}

void TestCDateTimeEdit::newEditorValues()
{
    QFETCH(QString, kind);
    QFETCH(QString, text);

    std::unique_ptr<CDateTimeEdit> edit;
    if (kind == u"parent")
        edit = std::make_unique<CDateTimeEdit>();
    else if (kind == u"date only")
        edit = std::make_unique<CDateEdit>();
    else if (kind == u"date-time")
        edit = std::make_unique<CDateTimeEdit>(QDateTime(QDate(2024, 2, 29), QTime(23, 59, 58)));
    else
        edit = std::make_unique<CDateTimeEdit>(QTime(7, 8, 9));
    QCOMPARE(edit->text(), text);
    QVERIFY(edit->calendarPopup());
    if (kind != u"time")
        QCOMPARE(edit->date(), kind == u"date-time" ? QDate(2024, 2, 29) : Today());
    QVERIFY(!edit->findChild<CCalendarTimePopup *>());
}

void TestCDateTimeEdit::clickOpensCalendarUnderEditor()
{
    CDateTimeEdit edit(QDateTime(QDate(2026, 12, 8), QTime(9, 30)));
    edit.setGeometry(100, 100, 180, 24);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));

    // Anywhere on the editor, not only on its arrow.
    QTest::mouseClick(&edit, Qt::LeftButton, {}, QPoint(10, 12));
    auto *popup = edit.findChild<CCalendarTimePopup *>();
    QVERIFY(popup);
    QTRY_VERIFY(popup->isVisible());
    QCOMPARE(popup->pos(), edit.mapToGlobal(QPoint(0, edit.height() - 1)));
    QCOMPARE(popup->size(), QSize(183, 200));
    QCOMPARE(popup->GetCalendar()->GetSelectedDate(), QDate(2026, 12, 8));
    popup->close();

    // Reused, not rebuilt.
    QTest::mouseClick(&edit, Qt::LeftButton, {}, QPoint(150, 12));
    QCOMPARE(edit.findChildren<CCalendarTimePopup *>().size(), 1);
    QTRY_VERIFY(popup->isVisible());
    popup->close();
}

void TestCDateTimeEdit::popupCloses_data()
{
    QTest::addColumn<Close>("how");
    QTest::addColumn<QDate>("expected");

    const QDate opened(2026, 12, 8);
    QTest::newRow("day chosen") << Close::ChooseDay << QDate(2026, 12, 24);
    QTest::newRow("Enter after keys") << Close::EnterAfterKeys << QDate(2026, 12, 16);
    QTest::newRow("Escape after keys") << Close::EscapeAfterKeys << opened;
    QTest::newRow("click outside after keys") << Close::ClickOutsideAfterKeys << QDate(2026, 12, 16);
    QTest::newRow("click on the editor") << Close::ClickEditor << opened;
}

void TestCDateTimeEdit::popupCloses()
{
    QFETCH(Close, how);
    QFETCH(QDate, expected);

    CDateTimeEdit edit(QDateTime(QDate(2026, 12, 8), QTime(9, 30)));
    edit.setGeometry(100, 100, 180, 24);
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QTest::mouseClick(&edit, Qt::LeftButton, {}, QPoint(10, 12));
    auto *popup = edit.findChild<CCalendarTimePopup *>();
    QVERIFY(popup);
    QTRY_VERIFY(popup->isVisible());
    auto *view = popup->findChild<CCalendarView *>();
    auto *model = qobject_cast<CCalendarModel *>(view->model());

    if (how != Close::ChooseDay && how != Close::ClickEditor) {
        QTest::keyClick(view, Qt::Key_Down);
        // The editor follows the calendar while it is open.
        QCOMPARE(edit.date(), QDate(2026, 12, 15));
        QTest::keyClick(view, Qt::Key_Right);
    }
    switch (how) {
    case Close::ChooseDay:
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                          view->visualRect(model->IndexForDate(QDate(2026, 12, 24))).center());
        break;
    case Close::EnterAfterKeys:
        QTest::keyClick(view, Qt::Key_Return);
        break;
    case Close::EscapeAfterKeys:
        QTest::keyClick(view, Qt::Key_Escape);
        break;
    case Close::ClickOutsideAfterKeys:
        QTest::mouseClick(popup, Qt::LeftButton, {}, QPoint(-50, 300));
        break;
    case Close::ClickEditor:
        QTest::mousePress(popup, Qt::LeftButton, {}, popup->mapFromGlobal(edit.mapToGlobal(QPoint(10, 12))));
        QVERIFY(popup->testAttribute(Qt::WA_NoMouseReplay));
        break;
    }
    QTRY_VERIFY(!popup->isVisible());
    QCOMPARE(edit.date(), expected);
    QCOMPARE(edit.time(), QTime(9, 30));
}

void TestCDateTimeEdit::popupKeepsEditorRange()
{
    CDateEdit edit;
    edit.setDateRange(QDate(2026, 12, 5), QDate(2026, 12, 20));
    edit.setDate(QDate(2026, 12, 6));
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QTest::mouseClick(&edit, Qt::LeftButton, {}, QPoint(5, 5));
    auto *popup = edit.findChild<CCalendarTimePopup *>();
    QVERIFY(popup);
    QTRY_VERIFY(popup->isVisible());
    CCalendarWidget *calendar = popup->GetCalendar();
    QCOMPARE(calendar->GetMinimumDate(), QDate(2026, 12, 5));
    QCOMPARE(calendar->GetMaximumDate(), QDate(2026, 12, 20));

    auto *view = popup->findChild<CCalendarView *>();
    auto *model = qobject_cast<CCalendarModel *>(view->model());
    // Before the minimum: nothing happens, the pop-up stays.
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {},
                      view->visualRect(model->IndexForDate(QDate(2026, 12, 4))).center());
    QVERIFY(popup->isVisible());
    QTest::keyClick(view, Qt::Key_Up);
    QCOMPARE(edit.date(), QDate(2026, 12, 5));
    QTest::keyClick(view, Qt::Key_PageDown, Qt::ControlModifier);
    QTest::keyClick(view, Qt::Key_Return);
    QTRY_VERIFY(!popup->isVisible());
    QCOMPARE(edit.date(), QDate(2026, 12, 20));
}

void TestCDateTimeEdit::keyboardOpensOurCalendar()
{
    CDateEdit edit;
    edit.show();
    QVERIFY(QTest::qWaitForWindowExposed(&edit));
    QTest::keyClick(&edit, Qt::Key_F4);
    auto *popup = edit.findChild<CCalendarTimePopup *>();
    QVERIFY(popup);
    QTRY_VERIFY(popup->isVisible());
    popup->close();
    // The toolkit's own calendar never appears.
    QTest::keyClick(&edit, Qt::Key_Down, Qt::AltModifier);
    QTRY_VERIFY(popup->isVisible());
    QVERIFY(edit.findChildren<QCalendarWidget *>().isEmpty());
    popup->close();
}

void TestCDateTimeEdit::tableCellEditsThroughCalendar()
{
    CTableView view;
    view.SetHeaderTexts({QStringLiteral("Device"), QStringLiteral("Installed")});
    const int row = view.AppendRow();
    view.SetItemText(row, 1, QStringLiteral("2026-12-08"));
    view.SetData(row, 1, QDate(2026, 12, 8), DateRole);
    view.SetData(row, 1, int(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable), CellFlagsRole);
    view.resize(400, 300);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QSignalSpy edits(&view, &CTableView::SignalEditingFinished);

    const QModelIndex cell = view.Index(row, 1);
    view.edit(cell);
    auto *editor = qobject_cast<CDateEdit *>(view.indexWidget(cell));
    QVERIFY(editor);
    QTest::mouseClick(editor, Qt::LeftButton, {}, QPoint(5, 5));
    auto *popup = editor->findChild<CCalendarTimePopup *>();
    QVERIFY(popup);
    QTRY_VERIFY(popup->isVisible());
    auto *calendarView = popup->findChild<CCalendarView *>();
    auto *model = qobject_cast<CCalendarModel *>(calendarView->model());
    QTest::mouseClick(calendarView->viewport(), Qt::LeftButton, {},
                      calendarView->visualRect(model->IndexForDate(QDate(2026, 12, 24))).center());
    QTRY_VERIFY(!popup->isVisible());
    // The pop-up took the focus without ending the edit.
    QCOMPARE(view.indexWidget(cell), editor);
    QCOMPARE(editor->date(), QDate(2026, 12, 24));

    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!view.indexWidget(cell));
    QCOMPARE(view.GetData(row, 1, DateRole).toDate(), QDate(2026, 12, 24));
    QCOMPARE(view.GetItemText(row, 1), QStringLiteral("2026-12-24"));
    QCOMPARE(edits.count(), 0);
}

void TestCDateTimeEdit::timeEditSwitches_data()
{
    QTest::addColumn<bool>("startEnabled");
    QTest::addColumn<bool>("disable");
    QTest::addColumn<bool>("enable");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("disabled by true") << true << true << false << false;
    QTest::newRow("disable false keeps it on") << true << false << false << true;
    QTest::newRow("enabled by true") << false << false << true << true;
    QTest::newRow("enable false keeps it off") << false << false << false << false;
}

void TestCDateTimeEdit::timeEditSwitches()
{
    QFETCH(bool, startEnabled);
    QFETCH(bool, disable);
    QFETCH(bool, enable);
    QFETCH(bool, enabled);

    CTimeEdit edit;
    edit.setEnabled(startEnabled);
    edit.setUserDisabled(disable);
    edit.setUserEnabled(enable);
    QCOMPARE(edit.isEnabled(), enabled);
}

void TestCDateTimeEdit::deskLabelFloatsCalendar()
{
    CCalendarLabel label;
    QCOMPARE(label.size(), QSize(100, 50));
    QCOMPARE(label.GetDate(), Today());
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));
    QSignalSpy clicked(&label, &CCalendarLabel::clicked);

    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(50, 25));
    CCalendarWidget *calendar = label.GetCalendar();
    QTRY_VERIFY(calendar->isVisible());
    QVERIFY(calendar->windowFlags().testFlag(Qt::Tool));

    auto *view = calendar->findChild<CCalendarView *>();
    auto *model = qobject_cast<CCalendarModel *>(view->model());
    const QDate picked = QDate(Today().year(), Today().month(), 1).addDays(14);
    QCursor::setPos(calendar->mapToGlobal(QPoint(90, 100)));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(model->IndexForDate(picked)).center());
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).toDate(), picked);
    QCOMPARE(label.GetDate(), picked);

    emit calendar->LeaveCalendar();
    QVERIFY(!calendar->isVisible());
    label.updateDate();
    QCOMPARE(label.GetDate(), Today());
}

QTEST_MAIN(TestCDateTimeEdit)
#include "tst_cdatetimeedit.moc"
