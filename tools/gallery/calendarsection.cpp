#include "sections.h"

#include "ccalendarlabel.h"
#include "ccalendarwidget.h"
#include "cdatetimeedit.h"
#include "citemroles.h"
#include "ctableview.h"

#include <QDateTime>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

struct SampleVisit
{
    const char *device;
    QDate installed;
    QDateTime lastSeen;
};

CTableView *buildDateTable()
{
    const SampleVisit visits[] = {
        {"VXC-7F12", {2026, 3, 14}, {{2026, 12, 8}, {9, 41, 7}}},
        {"VXR-3208", {2025, 11, 2}, {{2026, 12, 7}, {23, 5, 0}}},
        {"VXE-0104", {2024, 6, 30}, {{2026, 12, 8}, {7, 15, 30}}},
        {"VXC-2D31", {2026, 1, 9}, {{2026, 12, 1}, {12, 0, 0}}},
        {"VXC-9A01", {2026, 8, 21}, {{2026, 11, 30}, {18, 20, 45}}},
        {"VXR-1100", {2023, 2, 28}, {{2026, 12, 8}, {6, 2, 11}}},
    };
    auto *view = new CTableView;
    view->SetHeaderTexts({QStringLiteral("Device Type"), QStringLiteral("Installed"),
                          QStringLiteral("Last seen")});
    const int editable = int(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable);
    for (const SampleVisit &visit : visits) {
        const int row = view->AppendRow();
        view->SetItemText(row, 0, QString::fromLatin1(visit.device));
        view->SetItemText(row, 1, visit.installed.toString(QStringLiteral("yyyy-MM-dd")));
        view->SetData(row, 1, visit.installed, DateRole);
        view->SetData(row, 1, editable, CellFlagsRole);
        view->SetItemText(row, 2, visit.lastSeen.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        view->SetData(row, 2, visit.lastSeen, DateTimeRole);
        view->SetData(row, 2, editable, CellFlagsRole);
    }
    view->setColumnWidth(0, 120);
    view->setColumnWidth(1, 150);
    view->setColumnWidth(2, 190);
    view->setMinimumHeight(190);
    // One date cell shown in its editor, which the screenshot clicks open.
    view->openPersistentEditor(view->Index(0, 1));
    if (QWidget *editor = view->indexWidget(view->Index(0, 1)))
        editor->setObjectName(QLatin1String(kCalendarDemoEditor));
    return view;
}

} // namespace

QWidget *buildCalendarSection()
{
    auto *section = new QWidget;
    auto *row = new QHBoxLayout(section);
    row->addWidget(buildDateTable(), 1);

    auto *calendar = new CCalendarWidget;
    calendar->SetSelectedDate(QDate(2026, 12, 8));
    calendar->AddMarkedDate(QDate(2026, 12, 24), 0);
    calendar->AddMarkedDate(QDate(2026, 12, 3), 1);
    auto *calendarColumn = new QVBoxLayout;
    calendarColumn->addWidget(new QLabel(QStringLiteral("Marked 3rd and 24th:")));
    calendarColumn->addWidget(calendar);
    calendarColumn->addStretch();
    row->addLayout(calendarColumn);

    auto *desk = new CCalendarLabel;
    desk->setDate(QDate(2026, 12, 8));
    auto *deskColumn = new QVBoxLayout;
    deskColumn->addWidget(new QLabel(QStringLiteral("CCalendarLabel:")));
    deskColumn->addWidget(desk);
    auto *time = new CTimeEdit(QTime(9, 41, 7));
    deskColumn->addWidget(new QLabel(QStringLiteral("CTimeEdit:")));
    deskColumn->addWidget(time);
    deskColumn->addStretch();
    row->addLayout(deskColumn);
    return section;
}
