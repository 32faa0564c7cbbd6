#include "citemroles.h"
#include "ctreeviewmodel.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

class TestCTreeViewModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void roleAliasing_data();
    void roleAliasing();
    void itemColumnsGrowWithoutModelColumns();
    void defaultFlags();
    void flagsFollowCellFlagsRole();
    void headerData();
    void setHeaderDataBounds_data();
    void setHeaderDataBounds();
    void insertRows_data();
    void insertRows();
    void removeRows_data();
    void removeRows();
    void insertColumns_data();
    void insertColumns();
    void removeColumns_data();
    void removeColumns();
    void removingLastColumnRemovesRows();
    void columnsReachTheWholeTree();
    void childrenOnlyUnderColumnZero();
    void insertItemsTakesPreparedItems();
    void insertItemsRefusesBadItems_data();
    void insertItemsRefusesBadItems();
    void clearResets();

private:
    /** A model of \a rows top-level rows and \a columns columns, checked by a tester. */
    void build(int rows, int columns);

    std::unique_ptr<CTreeViewModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void TestCTreeViewModel::init()
{
    m_model = std::make_unique<CTreeViewModel>();
    m_tester = std::make_unique<QAbstractItemModelTester>(
        m_model.get(), QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void TestCTreeViewModel::cleanup()
{
    m_tester.reset();
    m_model.reset();
}

void TestCTreeViewModel::build(int rows, int columns)
{
    if (columns > 0)
        QVERIFY(m_model->insertColumns(0, columns));
    if (rows > 0)
        QVERIFY(m_model->insertRows(0, rows));
}

void TestCTreeViewModel::roleAliasing_data()
{
    QTest::addColumn<int>("storeRole");
    QTest::addColumn<int>("readRole");
    QTest::addColumn<bool>("found");

    QTest::newRow("edit read as display") << int(Qt::EditRole) << int(Qt::DisplayRole) << true;
    QTest::newRow("display read as edit") << int(Qt::DisplayRole) << int(Qt::EditRole) << true;
    QTest::newRow("custom role") << int(MaxBytesRole) << int(MaxBytesRole) << true;
    QTest::newRow("tool tip is its own role") << int(Qt::ToolTipRole) << int(Qt::DisplayRole) << false;
}

void TestCTreeViewModel::roleAliasing()
{
    QFETCH(int, storeRole);
    QFETCH(int, readRole);
    QFETCH(bool, found);

    build(1, 2);
    const QModelIndex cell = m_model->index(0, 1);
    QSignalSpy changed(m_model.get(), &QAbstractItemModel::dataChanged);
    QVERIFY(m_model->setData(cell, QStringLiteral("192.168.1.64"), storeRole));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(cell.data(readRole).isValid(), found);
    if (found)
        QCOMPARE(cell.data(readRole).toString(), QStringLiteral("192.168.1.64"));

    // Writing one alias replaces the value the other reads.
    QVERIFY(m_model->setData(cell, QStringLiteral("10.0.0.1"), storeRole));
    if (found)
        QCOMPARE(cell.data(readRole).toString(), QStringLiteral("10.0.0.1"));
}

void TestCTreeViewModel::itemColumnsGrowWithoutModelColumns()
{
    build(1, 2);
    CTreeViewItem *item = m_model->ItemFromIndex(m_model->index(0, 0));
    QCOMPARE(item->ColumnCount(), 2);
    QVERIFY(item->SetData(5, Qt::DisplayRole, QStringLiteral("hidden")));
    QCOMPARE(item->ColumnCount(), 6);
    QCOMPARE(item->Data(5, Qt::EditRole).toString(), QStringLiteral("hidden"));
    QCOMPARE(m_model->columnCount(), 2);
    QVERIFY(!m_model->index(0, 5).isValid());
    QVERIFY(!item->Data(6, Qt::DisplayRole).isValid());
    QVERIFY(!item->Data(-1, Qt::DisplayRole).isValid());
    QVERIFY(!item->SetData(-1, Qt::DisplayRole, 1));
}

void TestCTreeViewModel::defaultFlags()
{
    build(1, 1);
    const Qt::ItemFlags flags = m_model->flags(m_model->index(0, 0));
    QCOMPARE(flags, Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable
                        | Qt::ItemIsDropEnabled);
    QVERIFY(!flags.testFlag(Qt::ItemIsEditable));
}

void TestCTreeViewModel::flagsFollowCellFlagsRole()
{
    build(1, 2);
    CTreeViewItem *item = m_model->ItemFromIndex(m_model->index(0, 0));
    item->SetFlag(1, Qt::ItemIsEditable, true);
    item->SetFlag(1, Qt::ItemIsDropEnabled, false);
    const Qt::ItemFlags flags = m_model->flags(m_model->index(0, 1));
    QVERIFY(flags.testFlag(Qt::ItemIsEditable));
    QVERIFY(!flags.testFlag(Qt::ItemIsDropEnabled));
    QVERIFY(flags.testFlag(Qt::ItemIsEnabled));
    QCOMPARE(m_model->data(m_model->index(0, 1), CellFlagsRole).toInt(), int(flags));
    QCOMPARE(m_model->flags(m_model->index(0, 0)), item->Flags(0));
}

void TestCTreeViewModel::headerData()
{
    build(0, 2);
    QSignalSpy changed(m_model.get(), &QAbstractItemModel::headerDataChanged);
    QVERIFY(m_model->setHeaderData(1, Qt::Horizontal, QStringLiteral("IPv4 Address")));
    QVERIFY(m_model->setHeaderData(0, Qt::Horizontal, Qt::Checked, Qt::CheckStateRole));
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(0).at(1).toInt(), 1);

    QCOMPARE(m_model->headerData(1, Qt::Horizontal).toString(), QStringLiteral("IPv4 Address"));
    QCOMPARE(m_model->headerData(0, Qt::Horizontal, Qt::CheckStateRole).toInt(), int(Qt::Checked));
    QVERIFY(!m_model->headerData(1, Qt::Horizontal, Qt::CheckStateRole).isValid());
    QVERIFY(!m_model->headerData(1, Qt::Horizontal, Qt::ToolTipRole).isValid());
    QVERIFY(!m_model->headerData(1, Qt::Vertical).isValid());
    QVERIFY(!m_model->headerData(7, Qt::Horizontal).isValid());
    for (const Qt::Orientation orientation : {Qt::Horizontal, Qt::Vertical})
        QCOMPARE(m_model->headerData(0, orientation, Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignLeft | Qt::AlignVCenter));
}

void TestCTreeViewModel::setHeaderDataBounds_data()
{
    QTest::addColumn<int>("section");
    QTest::addColumn<Qt::Orientation>("orientation");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("first") << 0 << Qt::Horizontal << true;
    QTest::newRow("last") << 2 << Qt::Horizontal << true;
    QTest::newRow("negative") << -1 << Qt::Horizontal << false;
    QTest::newRow("past the end") << 3 << Qt::Horizontal << false;
    QTest::newRow("vertical header is not kept") << 0 << Qt::Vertical << false;
}

void TestCTreeViewModel::setHeaderDataBounds()
{
    QFETCH(int, section);
    QFETCH(Qt::Orientation, orientation);
    QFETCH(bool, accepted);

    build(0, 3);
    QSignalSpy changed(m_model.get(), &QAbstractItemModel::headerDataChanged);
    QCOMPARE(m_model->setHeaderData(section, orientation, QStringLiteral("MAC")), accepted);
    QCOMPARE(changed.count(), accepted ? 1 : 0);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(m_model->headerData(i, Qt::Horizontal).isValid(), accepted && i == section);
}

void TestCTreeViewModel::insertRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("at the top") << 0 << 2 << true;
    QTest::newRow("in the middle") << 1 << 1 << true;
    QTest::newRow("after the last") << 3 << 4 << true;
    QTest::newRow("negative row") << -1 << 1 << false;
    QTest::newRow("beyond the end") << 4 << 1 << false;
    QTest::newRow("zero rows") << 0 << 0 << false;
    QTest::newRow("negative count") << 0 << -2 << false;
}

void TestCTreeViewModel::insertRows()
{
    QFETCH(int, row);
    QFETCH(int, count);
    QFETCH(bool, accepted);

    build(3, 2);
    for (int r = 0; r < 3; ++r)
        m_model->setData(m_model->index(r, 0), r);
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    QCOMPARE(m_model->insertRows(row, count), accepted);
    QCOMPARE(inserted.count(), accepted ? 1 : 0);
    QCOMPARE(m_model->rowCount(), accepted ? 3 + count : 3);
    if (!accepted)
        return;
    QCOMPARE(m_model->ItemFromIndex(m_model->index(row, 0))->ColumnCount(), 2);
    QVERIFY(!m_model->index(row, 0).data().isValid());
    // Rows that were there keep their data, shifted below the new ones.
    const int moved = row < 3 ? row + count : 0;
    if (row < 3)
        QCOMPARE(m_model->index(moved, 0).data().toInt(), row);
}

void TestCTreeViewModel::removeRows_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("first") << 0 << 1 << true;
    QTest::newRow("all") << 0 << 3 << true;
    QTest::newRow("last two") << 1 << 2 << true;
    QTest::newRow("range past the end") << 2 << 2 << false;
    QTest::newRow("start past the end") << 3 << 1 << false;
    QTest::newRow("negative row") << -1 << 2 << false;
    QTest::newRow("zero rows") << 0 << 0 << false;
    QTest::newRow("negative count") << 1 << -1 << false;
}

void TestCTreeViewModel::removeRows()
{
    QFETCH(int, row);
    QFETCH(int, count);
    QFETCH(bool, accepted);

    build(3, 1);
    for (int r = 0; r < 3; ++r)
        m_model->setData(m_model->index(r, 0), r);
    QSignalSpy removed(m_model.get(), &QAbstractItemModel::rowsRemoved);
    QCOMPARE(m_model->removeRows(row, count), accepted);
    QCOMPARE(removed.count(), accepted ? 1 : 0);
    QCOMPARE(m_model->rowCount(), accepted ? 3 - count : 3);
    if (!accepted) {
        for (int r = 0; r < 3; ++r)
            QCOMPARE(m_model->index(r, 0).data().toInt(), r);
    }
}

void TestCTreeViewModel::insertColumns_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("in front") << 0 << 1 << true;
    QTest::newRow("appended") << 2 << 3 << true;
    QTest::newRow("negative position") << -1 << 1 << false;
    QTest::newRow("beyond the end") << 3 << 1 << false;
    QTest::newRow("zero columns") << 1 << 0 << false;
}

void TestCTreeViewModel::insertColumns()
{
    QFETCH(int, position);
    QFETCH(int, count);
    QFETCH(bool, accepted);

    build(2, 2);
    m_model->setData(m_model->index(1, 1), QStringLiteral("SN"));
    m_model->setHeaderData(1, Qt::Horizontal, QStringLiteral("Serial"));
    QCOMPARE(m_model->insertColumns(position, count), accepted);
    QCOMPARE(m_model->columnCount(), accepted ? 2 + count : 2);
    const int shifted = accepted && position <= 1 ? 1 + count : 1;
    QCOMPARE(m_model->index(1, shifted).data().toString(), QStringLiteral("SN"));
    QCOMPARE(m_model->headerData(shifted, Qt::Horizontal).toString(), QStringLiteral("Serial"));
}

void TestCTreeViewModel::removeColumns_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("first") << 0 << 1 << true;
    QTest::newRow("last two") << 1 << 2 << true;
    QTest::newRow("range past the end") << 2 << 2 << false;
    QTest::newRow("negative position") << -1 << 1 << false;
    QTest::newRow("zero columns") << 0 << 0 << false;
}

void TestCTreeViewModel::removeColumns()
{
    QFETCH(int, position);
    QFETCH(int, count);
    QFETCH(bool, accepted);

    build(2, 3);
    m_model->setData(m_model->index(0, 2), QStringLiteral("MAC"));
    QCOMPARE(m_model->removeColumns(position, count), accepted);
    QCOMPARE(m_model->columnCount(), accepted ? 3 - count : 3);
    QCOMPARE(m_model->rowCount(), 2);
    if (!accepted)
        QCOMPARE(m_model->index(0, 2).data().toString(), QStringLiteral("MAC"));
}

void TestCTreeViewModel::removingLastColumnRemovesRows()
{
    build(3, 2);
    QVERIFY(m_model->insertRows(0, 1, m_model->index(0, 0)));
    QVERIFY(m_model->removeColumns(1, 1));
    QCOMPARE(m_model->rowCount(), 3);
    QVERIFY(m_model->removeColumns(0, 1));
    QCOMPARE(m_model->columnCount(), 0);
    QCOMPARE(m_model->rowCount(), 0);
}

void TestCTreeViewModel::columnsReachTheWholeTree()
{
    build(1, 1);
    const QModelIndex top = m_model->index(0, 0);
    QVERIFY(m_model->insertRows(0, 2, top));
    const QModelIndex child = m_model->index(1, 0, top);
    QVERIFY(m_model->setData(child, QStringLiteral("channel 2")));
    QVERIFY(m_model->insertColumns(0, 2));
    QCOMPARE(m_model->ItemFromIndex(child)->ColumnCount(), 3);
    QCOMPARE(m_model->index(1, 2, top).data().toString(), QStringLiteral("channel 2"));
    QCOMPARE(m_model->index(1, 2, top).parent(), top);
}

void TestCTreeViewModel::childrenOnlyUnderColumnZero()
{
    build(1, 2);
    QVERIFY(!m_model->insertRows(0, 1, m_model->index(0, 1)));
    QCOMPARE(m_model->rowCount(m_model->index(0, 1)), 0);
    QVERIFY(m_model->insertRows(0, 1, m_model->index(0, 0)));
    QVERIFY(!m_model->index(0, 0, m_model->index(0, 1)).isValid());
    QVERIFY(m_model->index(0, 1, m_model->index(0, 0)).isValid());
    QVERIFY(!m_model->index(0, 2).isValid());
    QVERIFY(m_model->removeRows(0, 1));
    QCOMPARE(m_model->rowCount(), 0);
}

void TestCTreeViewModel::insertItemsTakesPreparedItems()
{
    build(1, 2);
    auto *first = new CTreeViewItem(2);
    first->SetData(0, Qt::DisplayRole, QStringLiteral("NVR"));
    auto *second = new CTreeViewItem(2);
    second->InsertChildren(0, 1, 2);
    second->Child(0)->SetData(1, Qt::DisplayRole, QStringLiteral("camera"));

    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    QVERIFY(m_model->InsertItems(0, {first, second}));
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.at(0).at(1).toInt(), 0);
    QCOMPARE(inserted.at(0).at(2).toInt(), 1);
    QCOMPARE(m_model->rowCount(), 3);
    QCOMPARE(first->Parent(), m_model->ItemFromIndex({}));
    QCOMPARE(second->Row(), 1);
    const QModelIndex parent = m_model->index(1, 0);
    QCOMPARE(m_model->index(0, 1, parent).data().toString(), QStringLiteral("camera"));

    auto *nested = new CTreeViewItem(2);
    QVERIFY(m_model->InsertItem(nested, 1, parent));
    QCOMPARE(m_model->rowCount(parent), 2);
    QCOMPARE(m_model->ItemFromIndex(m_model->index(1, 0, parent)), nested);
}

void TestCTreeViewModel::insertItemsRefusesBadItems_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("bad row") << "row";
    QTest::newRow("null item") << "null";
    QTest::newRow("item listed twice") << "twice";
    QTest::newRow("item owned elsewhere") << "owned";
    QTest::newRow("the root itself") << "root";
    QTest::newRow("empty list") << "empty";
}

void TestCTreeViewModel::insertItemsRefusesBadItems()
{
    QFETCH(QString, kind);

    build(1, 1);
    auto fresh = std::make_unique<CTreeViewItem>(1);
    QList<CTreeViewItem *> items{fresh.get()};
    int row = 0;
    if (kind == "row")
        row = 2;
    else if (kind == "null")
        items.append(nullptr);
    else if (kind == "twice")
        items.append(fresh.get());
    else if (kind == "owned")
        items.append(m_model->ItemFromIndex(m_model->index(0, 0)));
    else if (kind == "root")
        items.append(m_model->ItemFromIndex({}));
    else if (kind == "empty")
        items.clear();

    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsAboutToBeInserted);
    QVERIFY(!m_model->InsertItems(row, items));
    QCOMPARE(inserted.count(), 0);
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(fresh->Parent(), nullptr); // still the caller's
}

void TestCTreeViewModel::clearResets()
{
    build(4, 2);
    QVERIFY(m_model->insertRows(0, 2, m_model->index(3, 0)));
    QSignalSpy reset(m_model.get(), &QAbstractItemModel::modelReset);
    m_model->Clear();
    QCOMPARE(reset.count(), 1);
    QCOMPARE(m_model->rowCount(), 0);
    QCOMPARE(m_model->columnCount(), 2);
}

QTEST_GUILESS_MAIN(TestCTreeViewModel)
#include "tst_ctreeviewmodel.moc"
