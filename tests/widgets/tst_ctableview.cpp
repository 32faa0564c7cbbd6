#include "cdatetimeedit.h"
#include "cheaderview.h"
#include "ctabledelegate.h"
#include "ctableview.h"
#include "ctreeviewmodel.h"

#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>

namespace {

enum class RowChange { None, Check, Uncheck, Insert, Remove, RemoveAll };

constexpr int noCell = -1; // a point below the last row

} // namespace

Q_DECLARE_METATYPE(RowChange)

class TestCTableView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void setModelDeletesOnlyTheDefaultModel();
    void currentItemSignalSurvivesModelChange();
    void rowFunctions_data();
    void rowFunctions();
    void cellFunctionsExtendColumns();
    void setItemTextOnMissingRowOnlyAddsColumn();
    void headerFunctions();

    void headerFollowsRows_data();
    void headerFollowsRows();
    void headerClickChecksAndUnchecksRows();
    void headerWithoutCheckStateIgnoresClicks();

    void mouseSignals_data();
    void mouseSignals();
    void buttonCellsHoverAndOpenOnSingleClick_data();
    void buttonCellsHoverAndOpenOnSingleClick();

    void editorFollowsRoles_data();
    void editorFollowsRoles();
    void comboCellKeepsMissingText();
    void editsAreReportedByTheView();
    void dateEditorStoresRoleAndText();
    void treeDelegatePlacesStatusIcons();
    void backgroundShowsUnderAStyleSheet_data();
    void backgroundShowsUnderAStyleSheet();
    void rowLineFollowsSwitch();

private:
    void showView();
    QPoint cellCentre(int row, int column) const;
    QPoint belowLastRow() const;
    int headerState() const;
    QWidget *openEditor(const QModelIndex &index);

    std::unique_ptr<CTableView> m_view;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void TestCTableView::init()
{
    m_view = std::make_unique<CTableView>();
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_view->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
    m_view->InitColumns(3);
}

void TestCTableView::cleanup()
{
    m_tester.reset();
    m_view.reset();
}

void TestCTableView::showView()
{
    m_view->resize(400, 300);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
}

QPoint TestCTableView::cellCentre(int row, int column) const
{
    if (row == noCell)
        return belowLastRow();
    return m_view->visualRect(m_view->Index(row, column)).center();
}

QPoint TestCTableView::belowLastRow() const
{
    const QRect last = m_view->visualRect(m_view->Index(m_view->RowCount() - 1, 0));
    return {last.center().x(), last.bottom() + 40};
}

int TestCTableView::headerState() const
{
    const QVariant state = m_view->model()->headerData(0, Qt::Horizontal, Qt::CheckStateRole);
    return state.isValid() ? state.toInt() : -1;
}

QWidget *TestCTableView::openEditor(const QModelIndex &index)
{
    // Cells of the default model are read-only until their flags say otherwise.
    m_view->model()->setData(index, int(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable),
                             CellFlagsRole);
    m_view->setEditTriggers(QAbstractItemView::AllEditTriggers);
    m_view->edit(index);
    return m_view->indexWidget(index);
}

void TestCTableView::setModelDeletesOnlyTheDefaultModel()
{
    QPointer<QAbstractItemModel> defaultModel = m_view->model();
    QVERIFY(qobject_cast<CTreeViewModel *>(defaultModel));
    m_tester.reset();

    QStandardItemModel first(2, 2);
    m_view->setModel(&first);
    QVERIFY(defaultModel.isNull());
    QCOMPARE(m_view->model(), &first);
    QCOMPARE(m_view->ItemFromIndex(first.index(0, 0)), nullptr);
    QVERIFY(!m_view->AppendItems({}));

    QStandardItemModel second(1, 1);
    QPointer<QStandardItemModel> firstGuard(&first);
    m_view->setModel(&second);
    QVERIFY(!firstGuard.isNull());
    QCOMPARE(first.rowCount(), 2);
    m_view->setModel(nullptr);
    QCOMPARE(m_view->RowCount(), 0);
    QCOMPARE(m_view->AppendRow(), -1);
    m_view->SetItemText(0, 0, QStringLiteral("no model"));
}

void TestCTableView::currentItemSignalSurvivesModelChange()
{
    QSignalSpy spy(m_view.get(), &CTableView::currentItemChanged);
    m_view->AppendRow();
    m_view->setCurrentIndex(m_view->Index(0, 1));
    QCOMPARE(spy.count(), 1);

    QStandardItemModel other(3, 2);
    m_view->setModel(&other);
    spy.clear();
    m_view->setCurrentIndex(other.index(2, 1));
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.at(0).at(0).value<QModelIndex>(), other.index(2, 1));
}

void TestCTableView::rowFunctions_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<int>("argument");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("rows"); // first-column texts afterwards

    const QStringList before{"a", "b", "c"};
    QTest::newRow("append") << "AppendRow" << 0 << 3 << QStringList{"a", "b", "c", ""};
    QTest::newRow("insert first") << "InsertFirstRow" << 0 << 0 << QStringList{"", "a", "b", "c"};
    QTest::newRow("insert before row 1") << "InsertRow" << 1 << 1 << QStringList{"a", "", "b", "c"};
    QTest::newRow("insert before the last") << "InsertRow" << 2 << 2 << QStringList{"a", "b", "", "c"};
    QTest::newRow("insert after the last refused") << "InsertRow" << 3 << -1 << before;
    QTest::newRow("insert at -1 refused") << "InsertRow" << -1 << -1 << before;
    QTest::newRow("remove row 1") << "RemoveRow" << 1 << 0 << QStringList{"a", "c"};
    QTest::newRow("remove missing row") << "RemoveRow" << 3 << 0 << before;
    QTest::newRow("remove row -1") << "RemoveRow" << -1 << 0 << before;
    QTest::newRow("remove last") << "RemoveLastRow" << 0 << 0 << QStringList{"a", "b"};
    QTest::newRow("clear") << "ClearItems" << 0 << 0 << QStringList{};
}

void TestCTableView::rowFunctions()
{
    QFETCH(QString, call);
    QFETCH(int, argument);
    QFETCH(int, result);
    QFETCH(QStringList, rows);

    for (const char *text : {"a", "b", "c"})
        m_view->SetItemText(m_view->AppendRow(), 0, QString::fromLatin1(text));

    int got = 0;
    if (call == "AppendRow")
        got = m_view->AppendRow();
    else if (call == "InsertFirstRow")
        got = m_view->InsertFirstRow();
    else if (call == "InsertRow")
        got = m_view->InsertRow(argument);
    else if (call == "RemoveRow")
        m_view->RemoveRow(argument);
    else if (call == "ClearItems")
        m_view->ClearItems();
    else
        m_view->RemoveLastRow();
    QCOMPARE(got, result);

    QStringList texts;
    for (int row = 0; row < m_view->RowCount(); ++row)
        texts << m_view->GetItemText(row, 0);
    QCOMPARE(texts, rows);
}

void TestCTableView::cellFunctionsExtendColumns()
{
    const int row = m_view->AppendRow();
    m_view->SetItemText(row, 5, QStringLiteral("00-11-22-33-44-55"));
    QCOMPARE(m_view->model()->columnCount(), 6);
    QCOMPARE(m_view->GetItemText(row, 5), QStringLiteral("00-11-22-33-44-55"));
    QCOMPARE(m_view->GetData(row, 5, Qt::EditRole).toString(), QStringLiteral("00-11-22-33-44-55"));
    QCOMPARE(m_view->GetData(row, 5, Qt::ToolTipRole).toString(), QStringLiteral("00-11-22-33-44-55"));

    m_view->SetItemButton(row, 6, QStringLiteral("Open"), QIcon());
    QCOMPARE(m_view->model()->columnCount(), 7);
    QVERIFY(m_view->GetData(row, 6, ButtonRole).toBool());
    QCOMPARE(m_view->GetItemText(row, 6), QStringLiteral("Open"));
    m_view->SetItemButtonState(row, 6, false);
    QVERIFY(!m_view->GetData(row, 6, ButtonRole).toBool());
    QVERIFY(!m_view->GetData(row, 6, Qt::DecorationRole).isValid());

    m_view->SetItemChecked(row, 0, true);
    QCOMPARE(m_view->GetData(row, 0, Qt::CheckStateRole).toInt(), int(Qt::Checked));
    m_view->SetItemMaxBytes(row, 1, 39);
    QCOMPARE(m_view->GetData(row, 1, MaxBytesRole).toInt(), 39);

    auto *widget = new QLineEdit;
    m_view->SetItemWidget(row, 7, widget);
    QCOMPARE(m_view->indexWidget(m_view->Index(row, 7)), widget);

    const QModelIndex cell = m_view->Index(row, 0);
    QVERIFY(m_view->SetItemData(cell, 2, QStringLiteral("via item"), Qt::DisplayRole));
    QCOMPARE(m_view->GetItemText(row, 2), QStringLiteral("via item"));
    m_view->ItemFromIndex(cell)->SetData(20, Qt::DisplayRole, QStringLiteral("beyond"));
    QCOMPARE(m_view->GetItemData(cell, 20, Qt::DisplayRole).toString(), QStringLiteral("beyond"));
}

void TestCTableView::setItemTextOnMissingRowOnlyAddsColumn()
{
    m_view->AppendRow();
    QSignalSpy changed(m_view->model(), &QAbstractItemModel::dataChanged);
    m_view->SetItemText(4, 3, QStringLiteral("ghost"));
    QCOMPARE(m_view->model()->columnCount(), 4);
    QCOMPARE(m_view->RowCount(), 1);
    QCOMPARE(changed.count(), 0);
    m_view->SetItemChecked(4, 0, true);
    m_view->SetItemMaxBytes(0, 9, 39);
    QCOMPARE(changed.count(), 0);
    QCOMPARE(m_view->model()->columnCount(), 4);
}

void TestCTableView::headerFunctions()
{
    QAbstractItemModel *model = m_view->model();
    m_view->SetHeaderText(0, QStringLiteral("  ID"));
    m_view->SetHeaderCheckState(0, true);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("ID"));
    QCOMPARE(headerState(), int(Qt::Checked));
    m_view->SetHeaderCheckState(0, false);
    QCOMPARE(headerState(), int(Qt::Unchecked));
    m_view->SetHeaderCheckState(3, true);
    QCOMPARE(model->columnCount(), 3);

    m_view->SetHeaderTexts({"Type", "IPv4 Address"});
    QCOMPARE(model->columnCount(), 5);
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Type"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("IPv4 Address"));
    QCOMPARE(model->headerData(2, Qt::Horizontal).toString(), QStringLiteral("ID"));
}

void TestCTableView::headerFollowsRows_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<RowChange>("change");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("expected");

    using L = QList<int>;
    QTest::newRow("all checked") << L{2, 2, 2} << RowChange::None << 0 << 2;
    QTest::newRow("mixed") << L{2, 0, 2} << RowChange::None << 0 << 1;
    QTest::newRow("none checked") << L{0, 0} << RowChange::None << 0 << 0;
    QTest::newRow("partial row counts as unchecked") << L{1, 2} << RowChange::None << 0 << 1;
    QTest::newRow("only partial rows") << L{1, 1} << RowChange::None << 0 << 0;
    QTest::newRow("checking the last unchecked row") << L{2, 0} << RowChange::Check << 1 << 2;
    QTest::newRow("unchecking one row") << L{2, 2} << RowChange::Uncheck << 0 << 1;
    QTest::newRow("unchecked row arrives") << L{2, 2} << RowChange::Insert << 1 << 1;
    QTest::newRow("only unchecked row goes") << L{2, 0, 2} << RowChange::Remove << 1 << 2;
    QTest::newRow("only checked row goes") << L{2, 0} << RowChange::Remove << 0 << 0;
    QTest::newRow("every row goes") << L{0, 0} << RowChange::RemoveAll << 0 << 2;
}

void TestCTableView::headerFollowsRows()
{
    QFETCH(QList<int>, rows);
    QFETCH(RowChange, change);
    QFETCH(int, row);
    QFETCH(int, expected);

    m_view->SetHeaderCheckState(0, false);
    for (const int state : std::as_const(rows))
        m_view->SetData(m_view->AppendRow(), 0, state, Qt::CheckStateRole);

    switch (change) {
    case RowChange::None:
        break;
    case RowChange::Check:
    case RowChange::Uncheck:
        m_view->SetItemChecked(row, 0, change == RowChange::Check);
        break;
    case RowChange::Insert:
        m_view->InsertRow(row);
        break;
    case RowChange::Remove:
        m_view->RemoveRow(row);
        break;
    case RowChange::RemoveAll:
        m_view->model()->removeRows(0, m_view->RowCount());
        break;
    }
    QCOMPARE(headerState(), expected);
}

void TestCTableView::headerClickChecksAndUnchecksRows()
{
    m_view->SetHeaderText(0, QStringLiteral("ID"));
    m_view->SetHeaderCheckState(0, false);
    for (const bool checked : {true, false, true})
        m_view->SetItemChecked(m_view->AppendRow(), 0, checked);
    QCOMPARE(headerState(), int(Qt::PartiallyChecked));
    showView();

    QHeaderView *header = m_view->header();
    header->viewport()->repaint();
    QSignalSpy spy(m_view.get(), &CTableView::SignalHeaderCheckStateChanged);
    const QPoint box(m_view->indentation() + 3 + 8, header->height() / 2);
    auto rowStates = [this] {
        QList<int> states;
        for (int row = 0; row < m_view->RowCount(); ++row)
            states << m_view->GetData(row, 0, Qt::CheckStateRole).toInt();
        return states;
    };

    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, box);
    QCOMPARE(headerState(), int(Qt::Checked));
    QCOMPARE(rowStates(), QList<int>({2, 2, 2}));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, box, 300);
    QCOMPARE(headerState(), int(Qt::Unchecked));
    QCOMPARE(rowStates(), QList<int>({0, 0, 0}));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toInt(), int(Qt::Checked));
    QCOMPARE(spy.at(1).at(0).toInt(), int(Qt::Unchecked));

    // Beside the box: a plain section click.
    const QPoint label(header->sectionPosition(0) + header->sectionSize(0) - 5, box.y());
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, label, 300);
    QCOMPARE(headerState(), int(Qt::Unchecked));
    QCOMPARE(spy.count(), 2);
}

void TestCTableView::headerWithoutCheckStateIgnoresClicks()
{
    m_view->SetItemChecked(m_view->AppendRow(), 0, false);
    showView();
    QHeaderView *header = m_view->header();
    header->viewport()->repaint();
    QSignalSpy spy(m_view.get(), &CTableView::SignalHeaderCheckStateChanged);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(11, header->height() / 2));
    QCOMPARE(spy.count(), 0);
    QCOMPARE(headerState(), -1);
    QCOMPARE(m_view->GetData(0, 0, Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
}

void TestCTableView::mouseSignals_data()
{
    QTest::addColumn<int>("pressRow");
    QTest::addColumn<int>("releaseRow");
    QTest::addColumn<Qt::MouseButton>("button");
    QTest::addColumn<QStringList>("expected");

    // Row 0 holds a button cell in column 1, row 1 a plain cell.
    QTest::newRow("click on button") << 0 << 0 << Qt::LeftButton
                                     << QStringList{"pressed 0", "clicked 0", "release 0"};
    QTest::newRow("released on another cell") << 0 << 1 << Qt::LeftButton
                                              << QStringList{"pressed 0", "release 1"};
    QTest::newRow("released outside every cell") << 0 << noCell << Qt::LeftButton
                                                 << QStringList{"pressed 0", "release -1"};
    QTest::newRow("right click on button") << 0 << 0 << Qt::RightButton << QStringList{"release 0"};
    QTest::newRow("click on plain cell") << 1 << 1 << Qt::LeftButton << QStringList{"release 1"};
    QTest::newRow("pressed on plain, released on button")
        << 1 << 0 << Qt::LeftButton << QStringList{"release 0"};
    QTest::newRow("right click outside") << noCell << noCell << Qt::RightButton
                                         << QStringList{"release -1"};
}

void TestCTableView::mouseSignals()
{
    QFETCH(int, pressRow);
    QFETCH(int, releaseRow);
    QFETCH(Qt::MouseButton, button);
    QFETCH(QStringList, expected);

    m_view->AppendRow();
    m_view->AppendRow();
    m_view->SetItemButton(0, 1, QStringLiteral("Open"), QIcon());
    m_view->SetItemText(1, 1, QStringLiteral("plain"));
    showView();

    QStringList log;
    auto record = [&log](const char *what) {
        return [&log, what](const QModelIndex &index) {
            log << QStringLiteral("%1 %2").arg(what).arg(index.isValid() ? index.row() : -1);
        };
    };
    connect(m_view.get(), &CTableView::PressedBtn, this, record("pressed"));
    connect(m_view.get(), &CTableView::ClickedBtn, this, record("clicked"));
    connect(m_view.get(), &CTableView::SignalClickRelease, this, record("release"));

    QWidget *viewport = m_view->viewport();
    QTest::mousePress(viewport, button, {}, cellCentre(pressRow, 1));
    QTest::mouseRelease(viewport, button, {}, cellCentre(releaseRow, 1));
    QCOMPARE(log, expected);
}

void TestCTableView::buttonCellsHoverAndOpenOnSingleClick_data()
{
    QTest::addColumn<bool>("tracking");
    QTest::addColumn<int>("column"); // 1: link cell, 2: plain cell
    QTest::addColumn<bool>("opens");
    QTest::addColumn<Qt::CursorShape>("cursor");

    QTest::newRow("link cell, tracking") << true << 1 << true << Qt::PointingHandCursor;
    QTest::newRow("plain cell, tracking") << true << 2 << false << Qt::ArrowCursor;
    QTest::newRow("link cell, no tracking") << false << 1 << false << Qt::ArrowCursor;
}

void TestCTableView::buttonCellsHoverAndOpenOnSingleClick()
{
    QFETCH(bool, tracking);
    QFETCH(int, column);
    QFETCH(bool, opens);
    QFETCH(Qt::CursorShape, cursor);

    const int row = m_view->AppendRow();
    m_view->SetItemText(row, 1, QStringLiteral("http://192.168.1.64"));
    m_view->SetItemText(row, 2, QStringLiteral("plain"));
    // Column 1 is a link cell; column 2 keeps the default, non-editable flags.
    m_view->SetData(row, 1, int(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable),
                    CellFlagsRole);
    m_view->setEditTriggers(QAbstractItemView::DoubleClicked);
    m_view->SetMouseTracking(tracking);
    showView();

    const QPoint at = cellCentre(row, column);
    QMouseEvent move(QEvent::MouseMove, at, m_view->viewport()->mapToGlobal(at), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(m_view->viewport(), &move);
    QCOMPARE(m_view->viewport()->cursor().shape(), cursor);

    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(m_view->indexWidget(m_view->Index(row, column)) != nullptr, opens);
}

void TestCTableView::editorFollowsRoles_data()
{
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("editorClass");
    QTest::addColumn<int>("acceptedLength"); // longest ASCII text the editor takes; -1 any

    QTest::newRow("plain text") << -1 << QVariant() << QByteArray("QLineEdit") << -1;
    QTest::newRow("byte limit") << int(MaxBytesRole) << QVariant(5) << QByteArray("QLineEdit") << 5;
    QTest::newRow("expression") << int(RegExpRole)
                                << QVariant(QRegularExpression(QStringLiteral("[0-9]{0,3}")))
                                << QByteArray("QLineEdit") << 3;
    QTest::newRow("expression as pattern text") << int(RegExpRole) << QVariant(QStringLiteral("[0-9]{0,2}"))
                                                << QByteArray("QLineEdit") << 2;
    QTest::newRow("combo") << int(ComboItemsRole)
                           << QVariant(QVariantList{QVariantList{QStringLiteral("DHCP"), QIcon()}})
                           << QByteArray("QComboBox") << -1;
    QTest::newRow("date-time") << int(DateTimeRole) << QVariant(QDateTime(QDate(2024, 5, 1), QTime(8, 0)))
                               << QByteArray("CDateTimeEdit") << -1;
    QTest::newRow("date") << int(DateRole) << QVariant(QDate(2024, 5, 1)) << QByteArray("CDateEdit") << -1;
}

void TestCTableView::editorFollowsRoles()
{
    QFETCH(int, role);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, editorClass);
    QFETCH(int, acceptedLength);

    const int row = m_view->AppendRow();
    m_view->SetItemText(row, 1, QString());
    if (role >= 0)
        QVERIFY(m_view->SetData(row, 1, value, role));
    showView();

    QWidget *editor = openEditor(m_view->Index(row, 1));
    QVERIFY(editor);
    QCOMPARE(QByteArray(editor->metaObject()->className()), editorClass);
    if (auto *edit = qobject_cast<QLineEdit *>(editor)) {
        const QValidator *validator = edit->validator();
        QCOMPARE(validator != nullptr, acceptedLength >= 0);
        if (validator) {
            QString fits(acceptedLength, QLatin1Char('1'));
            QString tooLong = fits + QLatin1Char('1');
            int pos = 0;
            QVERIFY(validator->validate(fits, pos) != QValidator::Invalid);
            QCOMPARE(validator->validate(tooLong, pos), QValidator::Invalid);
        }
    }
}

void TestCTableView::comboCellKeepsMissingText()
{
    const int row = m_view->AppendRow();
    m_view->SetItemText(row, 1, QStringLiteral("static"));
    const QVariantList entries{QVariantList{QStringLiteral("DHCP"), QIcon()},
                               QVariantList{QStringLiteral("Static"), QIcon()}};
    m_view->SetData(row, 1, entries, ComboItemsRole);
    showView();

    auto *combo = qobject_cast<QComboBox *>(openEditor(m_view->Index(row, 1)));
    QVERIFY(combo);
    // Matching is exact and case-sensitive, so "static" is a new entry.
    QCOMPARE(combo->count(), 3);
    QCOMPARE(combo->currentText(), QStringLiteral("static"));
    QCOMPARE(combo->size(), m_view->visualRect(m_view->Index(row, 1)).size());
    const QVariantList stored = m_view->GetData(row, 1, ComboItemsRole).toList();
    QCOMPARE(stored.size(), 3);
    QCOMPARE(stored.at(2).toList().value(0).toString(), QStringLiteral("static"));

    // The entry stays: the next editor finds it instead of adding it again.
    QStyleOptionViewItem option;
    std::unique_ptr<QWidget> again(
        m_view->itemDelegate()->createEditor(nullptr, option, m_view->Index(row, 1)));
    QCOMPARE(qobject_cast<QComboBox *>(again.get())->count(), 3);
    QCOMPARE(m_view->GetData(row, 1, ComboItemsRole).toList().size(), 3);
}

void TestCTableView::editsAreReportedByTheView()
{
    const int row = m_view->AppendRow();
    m_view->SetItemText(row, 1, QStringLiteral("DHCP"));
    m_view->SetData(row, 1, QVariantList{QVariantList{QStringLiteral("DHCP"), QIcon()},
                                         QVariantList{QStringLiteral("Static"), QIcon()}},
                    ComboItemsRole);
    m_view->SetItemText(row, 2, QStringLiteral("camera"));
    QSignalSpy combos(m_view.get(), &CTableView::SignalComboBoxTextChanged);
    QSignalSpy edits(m_view.get(), &CTableView::SignalEditingFinished);
    auto *delegate = qobject_cast<CTableDelegate *>(m_view->itemDelegate());
    QVERIFY(delegate);

    QStyleOptionViewItem option;
    std::unique_ptr<QWidget> comboEditor(delegate->createEditor(nullptr, option, m_view->Index(row, 1)));
    auto *combo = qobject_cast<QComboBox *>(comboEditor.get());
    QVERIFY(combo);
    combo->setCurrentIndex(1);
    delegate->setModelData(combo, m_view->model(), m_view->Index(row, 1));
    QCOMPARE(m_view->GetItemText(row, 1), QStringLiteral("Static"));
    QCOMPARE(combos.count(), 1);
    QCOMPARE(edits.count(), 0);

    std::unique_ptr<QWidget> textEditor(delegate->createEditor(nullptr, option, m_view->Index(row, 2)));
    auto *edit = qobject_cast<QLineEdit *>(textEditor.get());
    QVERIFY(edit);
    QCOMPARE(edit->text(), QStringLiteral("camera"));
    edit->setText(QStringLiteral("recorder"));
    delegate->setModelData(edit, m_view->model(), m_view->Index(row, 2));
    QCOMPARE(m_view->GetItemText(row, 2), QStringLiteral("recorder"));
    QCOMPARE(edits.count(), 1);
    QCOMPARE(edits.at(0).at(0).value<QModelIndex>(), m_view->Index(row, 2));
    QCOMPARE(combos.count(), 1);
}

void TestCTableView::dateEditorStoresRoleAndText()
{
    const int row = m_view->AppendRow();
    m_view->SetData(row, 1, QDateTime(QDate(2023, 1, 2), QTime(3, 4, 5)), DateTimeRole);
    m_view->SetData(row, 2, QDate(2023, 6, 7), DateRole);
    QSignalSpy edits(m_view.get(), &CTableView::SignalEditingFinished);
    auto *delegate = qobject_cast<CTableDelegate *>(m_view->itemDelegate());
    QStyleOptionViewItem option;

    std::unique_ptr<QWidget> editor(delegate->createEditor(nullptr, option, m_view->Index(row, 1)));
    auto *dateTimeEdit = qobject_cast<QDateTimeEdit *>(editor.get());
    QVERIFY(dateTimeEdit);
    delegate->setEditorData(dateTimeEdit, m_view->Index(row, 1));
    QCOMPARE(dateTimeEdit->dateTime(), QDateTime(QDate(2023, 1, 2), QTime(3, 4, 5)));
    dateTimeEdit->setDateTime(QDateTime(QDate(2024, 2, 29), QTime(23, 59)));
    delegate->setModelData(dateTimeEdit, m_view->model(), m_view->Index(row, 1));
    QCOMPARE(m_view->GetData(row, 1, DateTimeRole).toDateTime(), QDateTime(QDate(2024, 2, 29), QTime(23, 59)));
    QCOMPARE(m_view->GetItemText(row, 1), QStringLiteral("2024-02-29"));

    editor.reset(delegate->createEditor(nullptr, option, m_view->Index(row, 2)));
    auto *dateEdit = qobject_cast<CDateEdit *>(editor.get());
    QVERIFY(dateEdit);
    delegate->setEditorData(dateEdit, m_view->Index(row, 2));
    QCOMPARE(dateEdit->date(), QDate(2023, 6, 7));
    dateEdit->setDate(QDate(2025, 12, 31));
    delegate->setModelData(dateEdit, m_view->model(), m_view->Index(row, 2));
    QCOMPARE(m_view->GetData(row, 2, DateRole).toDate(), QDate(2025, 12, 31));
    QCOMPARE(m_view->GetItemText(row, 2), QStringLiteral("2025-12-31"));
    QCOMPARE(edits.count(), 0);
}

void TestCTableView::treeDelegatePlacesStatusIcons()
{
    CTreeViewModel model;
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    QVERIFY(model.insertColumns(0, 1));
    QVERIFY(model.insertRows(0, 1));
    const QModelIndex parent = model.index(0, 0);
    QVERIFY(model.insertRows(0, 1, parent));
    const QModelIndex child = model.index(0, 0, parent);
    QPixmap right(10, 10);
    right.fill(Qt::red);
    QPixmap left(6, 6);
    left.fill(Qt::blue);
    QVERIFY(model.setData(child, right, StatusIconRightRole));
    QVERIFY(model.setData(child, left, StatusIconLeftRole));

    QImage image(100, 30, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = image.rect();
    CTreeViewDelegate delegate;
    delegate.paint(&painter, option, child);
    painter.end();

    // Right icon 4 pixels in from the right edge, left icon 4 pixels left of it,
    // both centred vertically.
    QCOMPARE(image.pixelColor(100 - 4 - 10, 10), QColor(Qt::red));
    QCOMPARE(image.pixelColor(100 - 4 - 1, 19), QColor(Qt::red));
    QCOMPARE(image.pixelColor(100 - 4 - 10, 9), QColor(Qt::white));
    QCOMPARE(image.pixelColor(100 - 4 - 10 - 4 - 6, 12), QColor(Qt::blue));
    QCOMPARE(image.pixelColor(100 - 4 - 10 - 4 - 1, 17), QColor(Qt::blue));
    QCOMPARE(image.pixelColor(100 - 4 - 10 - 4, 12), QColor(Qt::white));
}

// The line under each row: drawn in its light grey only while switched on.
void TestCTableView::rowLineFollowsSwitch()
{
    m_view->SetItemText(m_view->AppendRow(), 0, QString());
    m_view->resize(200, 100);
    const QRect row = m_view->visualRect(m_view->Index(0, 0));
    const QPoint under(row.center().x(), row.bottom());
    const QColor line(229, 229, 229);
    for (bool visible : {true, false, true}) {
        m_view->SetRowLineVisible(visible);
        QCOMPARE(m_view->viewport()->grab().toImage().pixelColor(under) == line, visible);
    }
}

QTEST_MAIN(TestCTableView)
void TestCTableView::backgroundShowsUnderAStyleSheet_data()
{
    QTest::addColumn<QString>("styleSheet");
    QTest::newRow("no style sheet") << QString();
    // The skin pads its items, which makes the style sheet draw their panel.
    QTest::newRow("items styled") << QStringLiteral("QTreeView::item { padding: 3px 0px; }");
}

void TestCTableView::backgroundShowsUnderAStyleSheet()
{
    QFETCH(QString, styleSheet);
    m_view->setStyleSheet(styleSheet);
    m_view->SetItemText(m_view->AppendRow(), 1, QStringLiteral("marked"));
    m_view->SetItemText(m_view->AppendRow(), 1, QStringLiteral("plain"));
    const QColor mark(255, 170, 0);
    m_view->model()->setData(m_view->Index(0, 1), mark, Qt::BackgroundRole);
    showView();

    const QImage image = m_view->viewport()->grab().toImage();
    const QRect marked = m_view->visualRect(m_view->Index(0, 1));
    const QRect plain = m_view->visualRect(m_view->Index(1, 1));
    // Amber, give or take the style's own shading; the plain row is not.
    const auto amber = [](QColor c) { return c.red() > 200 && c.green() > 120 && c.blue() < 80; };
    const QColor seen = image.pixelColor(marked.right() - 2, marked.center().y());
    QVERIFY2(amber(seen), qPrintable(seen.name()));
    QVERIFY(!amber(image.pixelColor(plain.right() - 2, plain.center().y())));
}

#include "tst_ctableview.moc"
