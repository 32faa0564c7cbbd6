#include "devicerecords.h"
#include "qtvexaitemmodel.h"
#include "qtvexaitems.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

#include <cstring>
#include <memory>

class TestQtVexaItemModel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void headers();
    void cellsOfNewRow();
    void idOnNewRowsAndUpdates();
    void extInfoZeroEmptiesExtendedColumns();
    void extInfoOneWithoutIpv6();
    void updateWithoutExtendedInfoKeepsPreviousTexts();
    void flags();
    void textCellWrites();
    void unterminatedTextsStayInTheirField();
    void setRowDataOnPlainRow();
    void appendIsOneInsertion();
    void updateRowNetParam();
    void ipSortKey_data();
    void ipSortKey();
    void sortsIpv4ByValue();
    void keyFollowsTextChanges();
    void rowsOfDevice();
    void removeRenumbers();
    void removeAfterSortRenumbersByPosition();
    void removeUnknownStillRenumbers();
    void sortKeepsIdTexts();
    void sortsTextColumnsStably();
    void otherRoleKeepsCellText();
    void conflictMarksFollowEvents_data();
    void conflictMarksFollowEvents();
    void conflictToolTipNamesTheOthers();
    void reachabilityHint_data();
    void reachabilityHint();
    void recordsFollowTheirRows_data();
    void recordsFollowTheirRows();
    void runOfRowsIsOneInsertion();

private:
    QString Cell(int row, int column) const { return m_model->index(row, column).data().toString(); }
    void AppendDevices(int count);

    std::unique_ptr<DeviceRecordList> m_records;
    std::unique_ptr<QtVexaItemModel> m_model;
    std::unique_ptr<QAbstractItemModelTester> m_tester;
};

void TestQtVexaItemModel::init()
{
    m_records = std::make_unique<DeviceRecordList>();
    m_model = std::make_unique<QtVexaItemModel>(*m_records);
    m_tester = std::make_unique<QAbstractItemModelTester>(m_model.get(),
                                                          QAbstractItemModelTester::FailureReportingMode::QtTest);
}

void TestQtVexaItemModel::cleanup()
{
    m_tester.reset();
    m_model.reset();
    m_records.reset();
}

void TestQtVexaItemModel::AppendDevices(int count)
{
    for (int i = 0; i < count; ++i) {
        const QByteArray serial = "SN" + QByteArray::number(i + 1);
        const QByteArray ip = "10.0.0." + QByteArray::number(i + 1);
        m_model->AppendDeviceRow(MakeRecord(serial.constData(), "mac", ip.constData()));
    }
}

void TestQtVexaItemModel::headers()
{
    QCOMPARE(m_model->columnCount(), 19);
    const QStringList expected = {"ID", "Device Type", "IPv4 Address", "Port", "Soft Vision", "IPv4 GateWay",
                                  "Serial Number", "IPv4 Mask", "MAC", "Channel NO", "DSP Vision", "Start Time",
                                  "IPv6 Address", "IPv6 GateWay", "IPv6 Prefix Length", "Is Support IPv6",
                                  "Is Support Mod IPv6", "Is Support DHCP", "IPv4 DHCP"};
    for (int column = 0; column < 19; ++column) {
        QCOMPARE(m_model->headerData(column, Qt::Horizontal).toString(), expected.at(column));
        QCOMPARE(m_model->headerData(column, Qt::Horizontal, Qt::TextAlignmentRole).toInt(),
                 int(Qt::AlignLeft | Qt::AlignVCenter));
    }
    QCOMPARE(QtVexaItemModel::ColumnWidth(QtVexaItemModel::ColumnSerial), 230);
    QCOMPARE(QtVexaItemModel::ColumnWidth(QtVexaItemModel::ColumnId), 50);
}

void TestQtVexaItemModel::cellsOfNewRow()
{
    VEXA_DEVICE_INFO_MY record = MakeRecord("VX-1", "aa:bb");
    record.capabilities = 0x05; // IPv6 and DHCP, IPv6 not modifiable
    record.dhcpOn = 0;
    QCOMPARE(m_model->AppendDeviceRow(record), 0);
    const QStringList expected = {"001", "VXC-B120", "192.168.1.64", "   80", "V5.4.0", "192.168.1.1", "VX-1",
                                  "255.255.255.0", "aa:bb", " 4", "V7.3", "2024-05-01 08:00:00", "fe80::1:2",
                                  "fe80::1", "64", "Yes", "No", "Yes", "OFF"};
    for (int column = 0; column < 19; ++column)
        QCOMPARE(Cell(0, column), expected.at(column));
    QVERIFY(dynamic_cast<CIpStandardItem *>(m_model->item(0, QtVexaItemModel::ColumnIpv4Addr)));
    QVERIFY(dynamic_cast<CIpStandardItem *>(m_model->item(0, QtVexaItemModel::ColumnIpv4Mask)));
    QVERIFY(dynamic_cast<CIpStandardItem *>(m_model->item(0, QtVexaItemModel::ColumnIpv4Gateway)));
}

void TestQtVexaItemModel::idOnNewRowsAndUpdates()
{
    AppendDevices(3);
    QCOMPARE(m_model->AppendDeviceRow(MakeRecord("VX-4", "m4")), 3);
    QCOMPARE(Cell(3, QtVexaItemModel::ColumnId), QString("004"));
    // An update writes every cell but the ID.
    m_model->sort(QtVexaItemModel::ColumnSerial, Qt::DescendingOrder);
    const int row = m_model->FirstRowOf(DeviceId("SN1", "mac"));
    const QString id = Cell(row, QtVexaItemModel::ColumnId);
    QCOMPARE(id, QString("001"));
    VEXA_DEVICE_INFO_MY update = MakeRecord("SN1", "mac", "10.9.9.9");
    update.port = 8080;
    m_model->SetRowData(row, update);
    QCOMPARE(Cell(row, QtVexaItemModel::ColumnId), id);
    QCOMPARE(Cell(row, QtVexaItemModel::ColumnIpv4Addr), QString("10.9.9.9"));
    QCOMPARE(Cell(row, QtVexaItemModel::ColumnPort), QString(" 8080"));
}

void TestQtVexaItemModel::extInfoZeroEmptiesExtendedColumns()
{
    VEXA_DEVICE_INFO_MY record = MakeRecord("VX-1", "aa:bb");
    m_model->AppendDeviceRow(record);
    record.extInfo = 0;
    m_model->SetRowData(0, record);
    for (int column : {5, 12, 13, 14, 15, 16, 17, 18})
        QVERIFY2(Cell(0, column).isEmpty(), qPrintable(QString::number(column)));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnIpv4Addr), QString("192.168.1.64"));

    // A new row that has only been emptied keeps a plain gateway cell.
    m_model->AppendDeviceRow(record);
    QVERIFY(!dynamic_cast<CIpStandardItem *>(m_model->item(1, QtVexaItemModel::ColumnIpv4Gateway)));

    // Any other value leaves the extended columns as they are.
    record.extInfo = 2;
    m_model->SetRowData(1, MakeRecord("VX-1", "aa:bb"));
    m_model->SetRowData(1, record);
    QCOMPARE(Cell(1, QtVexaItemModel::ColumnIpv6Addr), QString("fe80::1:2"));
}

void TestQtVexaItemModel::updateWithoutExtendedInfoKeepsPreviousTexts()
{
    VEXA_DEVICE_INFO_MY first = MakeRecord("VX-1", "aa:bb");
    first.capabilities = 0x01;
    m_model->AppendDeviceRow(first);
    // A cell written through the model keeps its own text from then on.
    QVERIFY(m_model->setData(m_model->index(0, QtVexaItemModel::ColumnStartTime), QString("edited")));

    VEXA_DEVICE_INFO_MY second = MakeRecord("VX-1", "aa:bb");
    std::strcpy(second.typeName, "VXC-D200");
    std::strcpy(second.ipv6Addr, "fe80::9");
    std::strcpy(second.startTime, "2025-01-01 00:00:00");
    second.capabilities = 0;
    second.extInfo = 2;
    m_model->SetRowData(0, second);
    // The other record's texts stay where the new record writes nothing,
    // even once the row no longer formats from it.
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnType), QString("VXC-D200"));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnStartTime), QString("2025-01-01 00:00:00"));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnIpv6Addr), QString("fe80::1:2"));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnSupportIpv6), QString("Yes"));

    second.extInfo = 1;
    m_model->SetRowData(0, second);
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnIpv6Addr), QString());
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnSupportIpv6), QString("No"));
}

void TestQtVexaItemModel::extInfoOneWithoutIpv6()
{
    VEXA_DEVICE_INFO_MY record = MakeRecord("VX-1", "aa:bb");
    record.capabilities = 0x06;
    record.dhcpOn = 1;
    m_model->AppendDeviceRow(record);
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnSupportIpv6), QString("No"));
    QVERIFY(Cell(0, QtVexaItemModel::ColumnIpv6Addr).isEmpty());
    QVERIFY(Cell(0, QtVexaItemModel::ColumnIpv6Gateway).isEmpty());
    QVERIFY(Cell(0, QtVexaItemModel::ColumnIpv6Prefix).isEmpty());
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnSupportModIpv6), QString("Yes"));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnSupportDhcp), QString("Yes"));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnIpv4Dhcp), QString("ON"));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnIpv4Gateway), QString("192.168.1.1"));
}

void TestQtVexaItemModel::flags()
{
    m_model->AppendDeviceRow(MakeRecord("VX-1", "aa:bb"));
    for (int column = 0; column < 19; ++column) {
        const Qt::ItemFlags flags = m_model->flags(m_model->index(0, column));
        if (column == QtVexaItemModel::ColumnSerial)
            QCOMPARE(flags, Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled);
        else
            QVERIFY2(!(flags & Qt::ItemIsEditable) && (flags & Qt::ItemIsEnabled), qPrintable(QString::number(column)));
    }
    // Flags set on the cell win until the next update restores the serial's.
    QStandardItem *serial = m_model->item(0, QtVexaItemModel::ColumnSerial);
    serial->setFlags(Qt::ItemIsEnabled);
    QCOMPARE(serial->flags(), Qt::ItemIsEnabled);
    m_model->SetRowData(0, MakeRecord("VX-1", "aa:bb"));
    QCOMPARE(serial->flags(), Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled);
}

void TestQtVexaItemModel::textCellWrites()
{
    m_model->AppendDeviceRow(MakeRecord("VX-1", "aa:bb"));
    const QModelIndex type = m_model->index(0, QtVexaItemModel::ColumnType);
    QSignalSpy changed(m_model.get(), &QAbstractItemModel::dataChanged);
    QVERIFY(m_model->setData(type, QString("VX-2"), Qt::EditRole));
    QCOMPARE(changed.count(), 1);
    QVERIFY(m_model->setData(type, QString("VX-2"))); // unchanged: no signal
    QCOMPARE(changed.count(), 1);
    QCOMPARE(type.data(Qt::EditRole), QVariant(QString("VX-2")));
    QCOMPARE(m_model->itemData(type).value(Qt::DisplayRole), QVariant(QString("VX-2")));

    QStandardItem *item = m_model->itemFromIndex(type);
    QModelRoleData roles[] = {QModelRoleData(Qt::DisplayRole), QModelRoleData(Qt::ToolTipRole)};
    item->setToolTip("tip");
    item->multiData(roles);
    QCOMPARE(roles[0].data(), QVariant(QString("VX-2")));
    QCOMPARE(roles[1].data(), QVariant(QString("tip")));
    const std::unique_ptr<QStandardItem> copy(item->clone());
    QCOMPARE(copy->text(), QString("VX-2"));
    QCOMPARE(copy->toolTip(), QString("tip"));
}

void TestQtVexaItemModel::unterminatedTextsStayInTheirField()
{
    VEXA_DEVICE_INFO_MY record = MakeRecord("", "aa:bb");
    std::memset(record.serialNo, 'S', sizeof record.serialNo);
    std::memset(record.typeName, 'T', sizeof record.typeName);
    m_model->AppendDeviceRow(record);
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnSerial), QString(48, u'S'));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnType), QString(24, u'T'));
    QCOMPARE(m_model->FirstRowOf(DeviceId(QByteArray(48, 'S'), "aa:bb")), 0);
}

void TestQtVexaItemModel::setRowDataOnPlainRow()
{
    // The page may create a row of empty plain items and write it afterwards.
    QList<QStandardItem *> items;
    for (int column = 0; column < 19; ++column)
        items.append(new QStandardItem);
    m_model->appendRow(items);
    QSignalSpy changed(m_model.get(), &QAbstractItemModel::dataChanged);
    m_model->SetRowData(0, MakeRecord("VX-1", "aa:bb"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnId), QString("001"));
    QVERIFY(dynamic_cast<CIpStandardItem *>(m_model->item(0, QtVexaItemModel::ColumnIpv4Addr)));
    QCOMPARE(m_model->FirstRowOf(DeviceId("VX-1", "aa:bb")), 0);
    m_model->SetRowData(5, MakeRecord("VX-1", "aa:bb")); // no such row: nothing happens
    QCOMPARE(m_model->rowCount(), 1);
}

void TestQtVexaItemModel::appendIsOneInsertion()
{
    AppendDevices(2);
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(m_model.get(), &QAbstractItemModel::dataChanged);
    QCOMPARE(m_model->AppendDeviceRow(MakeRecord("VX-3", "m")), 2);
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(changed.count(), 0);
}

void TestQtVexaItemModel::updateRowNetParam()
{
    VEXA_DEVICE_INFO_MY record = MakeRecord("VX-1", "aa:bb");
    record.extInfo = 0;
    m_model->AppendDeviceRow(record);
    m_model->UpdateRowNetParam(0, "10.1.2.3", nullptr, 8000, "10.1.2.254");
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnIpv4Addr), QString("10.1.2.3"));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnIpv4Mask), QString("255.255.255.0"));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnPort), QString(" 8000"));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnIpv4Gateway), QString("10.1.2.254"));
    m_model->UpdateRowNetParam(0, nullptr, "255.0.0.0", 1, "1.1.1.1");
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnIpv4Mask), QString("255.255.255.0"));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnPort), QString(" 8000"));
    QCOMPARE(m_model->flags(m_model->index(0, QtVexaItemModel::ColumnSerial)),
             Qt::ItemIsSelectable | Qt::ItemIsEditable | Qt::ItemIsEnabled);
}

void TestQtVexaItemModel::ipSortKey_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("key");
    QTest::newRow("address") << "10.2.30.4" << QByteArray("010002030004");
    QTest::newRow("blanks and sign") << " 1.+2. 3.4" << QByteArray("001002003004");
    QTest::newRow("letters count as 0") << "a.1.b.2" << QByteArray("000001000002");
    QTest::newRow("fifth part ignored") << "1.2.3.4.5" << QByteArray("001002003004");
    QTest::newRow("empty") << "" << QByteArray("000000000000");
    QTest::newRow("two parts") << "7.8" << QByteArray("007008000000");
    QTest::newRow("huge saturates") << "99999999999.1.1.1" << QByteArray("2147483647001001001");
}

void TestQtVexaItemModel::ipSortKey()
{
    QFETCH(QString, text);
    QTEST(CIpStandardItem::SortKey(text), "key");
}

void TestQtVexaItemModel::sortsIpv4ByValue()
{
    for (const char *ip : {"192.168.1.10", "192.168.1.9", "10.10.1.1", "10.2.30.4"})
        m_model->AppendDeviceRow(MakeRecord(ip, "m", ip));
    m_model->sort(QtVexaItemModel::ColumnIpv4Addr);
    const QStringList expected = {"10.2.30.4", "10.10.1.1", "192.168.1.9", "192.168.1.10"};
    for (int row = 0; row < 4; ++row)
        QCOMPARE(Cell(row, QtVexaItemModel::ColumnIpv4Addr), expected.at(row));
    QCOMPARE(m_model->FirstRowOf(DeviceId("192.168.1.9", "m")), 2);
}

void TestQtVexaItemModel::keyFollowsTextChanges()
{
    m_model->AppendDeviceRow(MakeRecord("A", "m", "10.0.0.1"));
    m_model->AppendDeviceRow(MakeRecord("B", "m", "10.0.0.2"));
    m_model->UpdateRowNetParam(0, "10.0.0.3", nullptr, 80, nullptr);
    m_model->sort(QtVexaItemModel::ColumnIpv4Addr);
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnSerial), QString("B"));
    m_model->item(1, QtVexaItemModel::ColumnIpv4Addr)->setText("1.0.0.0");
    m_model->sort(QtVexaItemModel::ColumnIpv4Addr);
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnSerial), QString("A"));
}

void TestQtVexaItemModel::rowsOfDevice()
{
    AppendDevices(3);
    m_model->AppendDeviceRow(MakeRecord("SN2", "mac"));
    QCOMPARE(m_model->RowsOf(DeviceId("SN2", "mac")), (QList<int>{1, 3}));
    QCOMPARE(m_model->FirstRowOf(DeviceId("SN2", "other")), -1);
    // An update that changes the identity moves the row in the index.
    m_model->SetRowData(0, MakeRecord("SN9", "mac"));
    QCOMPARE(m_model->FirstRowOf(DeviceId("SN1", "mac")), -1);
    QCOMPARE(m_model->FirstRowOf(DeviceId("SN9", "mac")), 0);
    m_model->removeRow(1);
    QCOMPARE(m_model->RowsOf(DeviceId("SN2", "mac")), (QList<int>{2}));
}

void TestQtVexaItemModel::removeRenumbers()
{
    AppendDevices(5);
    QSignalSpy changed(m_model.get(), &QAbstractItemModel::dataChanged);
    QCOMPARE(m_model->RemoveDeviceRows(DeviceId("SN3", "mac")), 1);
    QCOMPARE(m_model->rowCount(), 4);
    QCOMPARE(changed.count(), 1);
    const QStringList serials = {"SN1", "SN2", "SN4", "SN5"};
    for (int row = 0; row < 4; ++row) {
        QCOMPARE(Cell(row, QtVexaItemModel::ColumnId), QString::asprintf("%03d", row + 1));
        QCOMPARE(m_model->item(row, QtVexaItemModel::ColumnId)->text(), QString::asprintf("%03d", row + 1));
        QCOMPARE(Cell(row, QtVexaItemModel::ColumnSerial), serials.at(row));
    }
    // Listed twice: both rows go.
    m_model->AppendDeviceRow(MakeRecord("SN1", "mac"));
    QCOMPARE(m_model->RemoveDeviceRows(DeviceId("SN1", "mac")), 2);
    QCOMPARE(m_model->rowCount(), 3);
    QCOMPARE(Cell(2, QtVexaItemModel::ColumnId), QString("003"));
    QCOMPARE(m_model->FirstRowOf(DeviceId("SN5", "mac")), 2);
}

void TestQtVexaItemModel::removeAfterSortRenumbersByPosition()
{
    AppendDevices(4);
    m_model->sort(QtVexaItemModel::ColumnSerial, Qt::DescendingOrder);
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnId), QString("004"));
    QCOMPARE(m_model->RemoveDeviceRows(DeviceId("SN3", "mac")), 1);
    const QStringList serials = {"SN4", "SN2", "SN1"};
    for (int row = 0; row < 3; ++row) {
        QCOMPARE(Cell(row, QtVexaItemModel::ColumnId), QString::asprintf("%03d", row + 1));
        QCOMPARE(Cell(row, QtVexaItemModel::ColumnSerial), serials.at(row));
    }
}

void TestQtVexaItemModel::removeUnknownStillRenumbers()
{
    AppendDevices(3);
    m_model->sort(QtVexaItemModel::ColumnId, Qt::DescendingOrder);
    QCOMPARE(m_model->RemoveDeviceRows(DeviceId("nobody", "mac")), 0);
    QCOMPARE(m_model->rowCount(), 3);
    for (int row = 0; row < 3; ++row)
        QCOMPARE(Cell(row, QtVexaItemModel::ColumnId), QString::asprintf("%03d", row + 1));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnSerial), QString("SN3"));
}

void TestQtVexaItemModel::sortKeepsIdTexts()
{
    AppendDevices(12);
    m_model->sort(QtVexaItemModel::ColumnSerial); // SN1, SN10, SN11, SN12, SN2, ...
    QCOMPARE(Cell(1, QtVexaItemModel::ColumnSerial), QString("SN10"));
    QCOMPARE(Cell(1, QtVexaItemModel::ColumnId), QString("010"));
    // Rows appended after a sort get their position; a foreign removal keeps texts.
    m_model->AppendDeviceRow(MakeRecord("SN13", "mac"));
    QCOMPARE(Cell(12, QtVexaItemModel::ColumnId), QString("013"));
    m_model->removeRow(0);
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnId), QString("010"));
    m_model->sort(QtVexaItemModel::ColumnId);
    for (int row = 0; row < 12; ++row)
        QCOMPARE(Cell(row, QtVexaItemModel::ColumnId), QString::asprintf("%03d", row + 2));
}


void TestQtVexaItemModel::sortsTextColumnsStably()
{
    // Equal types keep their order; an extended cell never written has no
    // text at all and sorts above every text, as an empty item does.
    const std::pair<const char *, const char *> devices[] = {{"A", "NVR"}, {"B", "CAM"}, {"C", "NVR"}, {"D", "CAM"}};
    for (const auto &[serial, type] : devices) {
        VEXA_DEVICE_INFO_MY record = MakeRecord(serial, "m");
        PutText(record.typeName, type);
        record.extInfo = *serial == 'B' ? 2 : 1;
        m_model->AppendDeviceRow(record);
    }
    m_model->sort(QtVexaItemModel::ColumnType);
    QStringList serials;
    for (int row = 0; row < 4; ++row)
        serials << Cell(row, QtVexaItemModel::ColumnSerial);
    QCOMPARE(serials, (QStringList{"B", "D", "A", "C"}));
    m_model->sort(QtVexaItemModel::ColumnSupportDhcp, Qt::DescendingOrder);
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnSerial), QString("B"));
    QCOMPARE(m_model->FirstRowOf(DeviceId("C", "m")), 3);
}

void TestQtVexaItemModel::otherRoleKeepsCellText()
{
    m_model->AppendDeviceRow(MakeRecord("VX-1", "aa:bb"));
    const QModelIndex mac = m_model->index(0, QtVexaItemModel::ColumnMac);
    QVERIFY(m_model->setData(mac, QString("tip"), Qt::ToolTipRole));
    QCOMPARE(mac.data(Qt::ToolTipRole), QVariant(QString("tip")));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnMac), QString("aa:bb"));
    // Later writes reach the cell wherever its text lives.
    m_model->SetRowData(0, MakeRecord("VX-1", "cc:dd"));
    QCOMPARE(Cell(0, QtVexaItemModel::ColumnMac), QString("cc:dd"));
    QCOMPARE(m_model->FirstRowOf(DeviceId("VX-1", "cc:dd")), 0);
    QCOMPARE(mac.data(Qt::ToolTipRole), QVariant(QString("tip")));
}

void TestQtVexaItemModel::conflictMarksFollowEvents_data()
{
    // Steps: +X<n> appends device X at 10.0.0.n, ~X<n> updates X's record
    // to it, =X<n> readdresses X's first row (a Modify), -X removes X's rows,
    // s sorts by address. "marked" lists the devices marked at the end.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("marked");
    QTest::newRow("distinct addresses") << "+A1 +B2 +C3" << "";
    QTest::newRow("two share one") << "+A1 +B2 +C1" << "AC";
    QTest::newRow("one device listed twice") << "+A1 +A1" << "";
    QTest::newRow("offline ends the conflict") << "+A1 +B1 -B" << "";
    QTest::newRow("third stays marked") << "+A1 +B1 +C1 -B" << "AC";
    QTest::newRow("update moves away") << "+A1 +B1 ~B2" << "";
    QTest::newRow("update moves onto") << "+A1 +B2 ~B1" << "AB";
    QTest::newRow("modify moves away") << "+A1 +B1 =A5" << "";
    QTest::newRow("modify moves onto") << "+A1 +B2 +C3 =C2" << "BC";
    QTest::newRow("marks survive a sort") << "+C3 +A1 +B3 s -A" << "BC";
    QTest::newRow("twice listed with another") << "+A1 +A1 +B1 -B" << "";
}

void TestQtVexaItemModel::conflictMarksFollowEvents()
{
    QFETCH(QString, steps);
    QFETCH(QString, marked);
    constexpr int kIpv4 = QtVexaItemModel::ColumnIpv4Addr;
    // What a view shows: rows re-read their mark when the model says so.
    QList<bool> shown;
    const auto reread = [this, &shown](int first, int last) {
        for (int row = first; row <= last; ++row)
            shown[row] = m_model->index(row, kIpv4).data(Qt::BackgroundRole).isValid();
    };
    connect(m_model.get(), &QAbstractItemModel::rowsInserted, this, [&](const QModelIndex &, int first, int last) {
        shown.insert(first, last - first + 1, false);
        reread(first, last);
    });
    connect(m_model.get(), &QAbstractItemModel::rowsRemoved, this,
            [&](const QModelIndex &, int first, int last) { shown.remove(first, last - first + 1); });
    connect(m_model.get(), &QAbstractItemModel::dataChanged, this,
            [&](const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles) {
                if (roles.isEmpty() || roles.contains(Qt::BackgroundRole))
                    reread(topLeft.row(), bottomRight.row());
            });
    connect(m_model.get(), &QAbstractItemModel::layoutChanged, this, [&] { reread(0, m_model->rowCount() - 1); });

    const auto serialOf = [](QChar device) { return "SN-" + QString(device); };
    const auto macOf = [](QChar device) { return "m-" + QString(device); };
    for (const QString &step : steps.split(u' ')) {
        const QChar device = step.size() > 1 ? step[1] : QChar();
        const QString address = "10.0.0." + step.mid(2);
        const int row = m_model->FirstRowOf(DeviceId::FromTexts(serialOf(device), macOf(device)));
        const VEXA_DEVICE_INFO_MY record = MakeRecord(serialOf(device).toStdString(), macOf(device).toStdString(),
                                                      address.toStdString());
        switch (step[0].unicode()) {
        case u'+': m_model->AppendDeviceRow(record); break;
        case u'~': m_model->SetRowData(row, record); break;
        case u'=': m_model->UpdateRowNetParam(row, address.toLatin1().constData(), nullptr, 80, nullptr); break;
        case u'-': m_model->RemoveDeviceRows(DeviceId::FromTexts(serialOf(device), macOf(device))); break;
        case u's': m_model->sort(kIpv4); break;
        }
        for (int r = 0; r < m_model->rowCount(); ++r)
            QVERIFY2(shown[r] == m_model->HasAddressConflict(r), qPrintable(step + " row " + QString::number(r)));
    }
    QString devices;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        const QChar device = Cell(r, QtVexaItemModel::ColumnSerial).back();
        if (m_model->HasAddressConflict(r) && !devices.contains(device))
            devices += device;
        QCOMPARE(m_model->index(r, QtVexaItemModel::ColumnId).data(Qt::ToolTipRole).isValid(),
                 m_model->HasAddressConflict(r));
        QVERIFY(m_model->RowsAtAddress(Cell(r, kIpv4)).contains(r));
    }
    std::sort(devices.begin(), devices.end());
    QCOMPARE(devices, marked);
}

void TestQtVexaItemModel::conflictToolTipNamesTheOthers()
{
    VEXA_DEVICE_INFO_MY fixed = MakeRecord("SN-FIXED", "m-1", "192.168.001.064");
    fixed.dhcpOn = 0;
    m_model->AppendDeviceRow(fixed);
    m_model->AppendDeviceRow(MakeRecord("SN-DHCP", "m-2", "192.168.1.64")); // DHCP on
    for (int i = 0; i < 7; ++i) {
        VEXA_DEVICE_INFO_MY other = MakeRecord("SN-X" + std::to_string(i), "m-x", "192.168.1.64");
        other.dhcpOn = 0;
        m_model->AppendDeviceRow(other);
    }
    // Leading zeros name the same address.
    QCOMPARE(m_model->RowsAtAddress("192.168.1.64").size(), 9);
    for (const char *other : {"192.168.1.64.1", "192.168.1", "192.168.1.", "192.168.1.0064x", "192.168.1.320", ""})
        QVERIFY2(m_model->RowsAtAddress(other).isEmpty(), other);
    const QString tip = m_model->index(0, QtVexaItemModel::ColumnPort).data(Qt::ToolTipRole).toString();
    QVERIFY2(tip.contains("ID 002, serial number SN-DHCP (DHCP on"), qPrintable(tip));
    QVERIFY(tip.contains("ID 003, serial number SN-X0"));
    QVERIFY(!tip.contains("SN-FIXED") && !tip.contains("SN-X5"));
    QVERIFY(tip.contains("and 3 more devices"));
    QVERIFY(!m_model->index(1, QtVexaItemModel::ColumnPort).data(Qt::ToolTipRole).toString().contains("DHCP on"));
}

void TestQtVexaItemModel::reachabilityHint_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("reachedBy"); // the subnet the hint names; empty: no hint
    QTest::newRow("in the first subnet") << "192.168.1.64" << "255.255.255.0" << "";
    QTest::newRow("in the wide second one") << "10.200.3.4" << "255.255.0.0" << "";
    QTest::newRow("next to the first") << "192.168.2.64" << "255.255.255.0" << "192.168.2.0/24";
    QTest::newRow("its own mask") << "172.16.9.1" << "255.255.240.0" << "172.16.0.0/20";
    QTest::newRow("mask it does not report well") << "172.16.9.1" << "255.0.255.0" << "172.16.9.0/24";
    QTest::newRow("not an address") << "none" << "255.255.255.0" << "";
}

void TestQtVexaItemModel::reachabilityHint()
{
    QFETCH(QString, address);
    QFETCH(QString, mask);
    QFETCH(QString, reachedBy);
    VEXA_DEVICE_INFO_MY record = MakeRecord("SN-1", "m-1", address.toStdString());
    PutText(record.ipv4Mask, mask.toStdString());
    m_model->AppendDeviceRow(record);
    const QModelIndex cell = m_model->index(0, QtVexaItemModel::ColumnType);
    QVERIFY(!cell.data(Qt::ToolTipRole).isValid()); // no subnet known yet
    m_model->SetLocalSubnets({{0xC0A8010Au, 0xFFFFFF00u}, {0x0A000001u, 0xFF000000u}});
    const QString tip = cell.data(Qt::ToolTipRole).toString();
    QCOMPARE(tip.isEmpty(), reachedBy.isEmpty());
    if (!reachedBy.isEmpty())
        QVERIFY2(tip.contains(address) && tip.contains(" in " + reachedBy + " "), qPrintable(tip));
    QVERIFY(!cell.data(Qt::BackgroundRole).isValid());
}

void TestQtVexaItemModel::recordsFollowTheirRows_data()
{
    // Devices A, B, C are listed (A twice: rows 0 A1, 1 B2, 2 A3, 3 C4 by
    // address); then the steps: "s" sorts by serial, descending; "~B7"
    // updates B's record to 10.0.0.7; "=0:9" readdresses row 0 to 10.0.0.9;
    // "-A" removes A's rows; "r1" removes row 1 as a view would; "e0" edits
    // row 0's serial cell. At the end: each row's record as "<serial
    // letter><address's last octet>", in row order.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("records");
    QTest::newRow("as listed") << "" << "A1 B2 A3 C4";
    QTest::newRow("sorted") << "s" << "C4 B2 A1 A3";
    QTest::newRow("update after a sort") << "s ~B7" << "C4 B7 A1 A3";
    QTest::newRow("modify writes the record") << "=2:9" << "A1 B2 A9 C4";
    QTest::newRow("device leaves with its records") << "-A" << "B2 C4";
    QTest::newRow("removed by a view") << "r1" << "A1 A3 C4";
    QTest::newRow("sorted, then a device leaves") << "s -A" << "C4 B2";
    QTest::newRow("an edited cell keeps its record") << "e0 -A" << "B2 C4";
}

void TestQtVexaItemModel::recordsFollowTheirRows()
{
    QFETCH(QString, steps);
    for (const auto &[device, octet] : {std::pair{"A", 1}, {"B", 2}, {"A", 3}, {"C", 4}})
        m_model->AppendDeviceRow(MakeRecord(std::string("SN-") + device, "m", "10.0.0." + std::to_string(octet)));
    for (const QString &step : steps.split(u' ', Qt::SkipEmptyParts)) {
        const DeviceId device("SN-" + step.mid(1, 1).toLatin1(), "m");
        switch (step[0].unicode()) {
        case u's': m_model->sort(QtVexaItemModel::ColumnSerial, Qt::DescendingOrder); break;
        case u'~':
            m_model->SetRowData(m_model->FirstRowOf(device),
                                MakeRecord("SN-" + step.mid(1, 1).toStdString(), "m", "10.0.0." + step.mid(2).toStdString()));
            break;
        case u'=':
            m_model->UpdateRowNetParam(step.mid(1, 1).toInt(), ("10.0.0." + step.section(u':', 1)).toLatin1().constData(),
                                       nullptr, 80, nullptr);
            break;
        case u'-': QCOMPARE(m_model->RemoveDeviceRows(device), 2); break;
        case u'r': QVERIFY(m_model->removeRow(step.mid(1).toInt())); break;
        case u'e':
            QVERIFY(m_model->setData(m_model->index(step.mid(1).toInt(), QtVexaItemModel::ColumnSerial), "EDITED"));
            break;
        }
    }
    QStringList records;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const VEXA_DEVICE_INFO_MY *record = m_model->RecordAt(row);
        QVERIFY(record);
        records << QString::fromLatin1(record->serialNo).mid(3) + QString::fromLatin1(record->ipv4Addr).section(u'.', 3);
        // The row shows what its record says, wherever the row went.
        QCOMPARE(Cell(row, QtVexaItemModel::ColumnIpv4Addr), QString::fromLatin1(record->ipv4Addr));
    }
    QTEST(records.join(u' '), "records");
    // The list keeps exactly the records of the rows.
    QCOMPARE(m_records->size(), qsizetype(m_model->rowCount()));
}

void TestQtVexaItemModel::runOfRowsIsOneInsertion()
{
    AppendDevices(1);
    QSignalSpy inserted(m_model.get(), &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(m_model.get(), &QAbstractItemModel::dataChanged);
    DeviceRecordList::Records run;
    for (const char *serial : {"R1", "R2", "R3"})
        run.push_back(MakeRecord(serial, "m", "10.0.0.1")); // all on SN1's address
    QCOMPARE(m_model->AppendDeviceRows(std::move(run)), 1);
    QVERIFY(run.empty());
    QCOMPARE(inserted.count(), 1);
    QCOMPARE(inserted.first().at(1).toInt(), 1);
    QCOMPARE(inserted.first().at(2).toInt(), 3);
    QCOMPARE(Cell(3, QtVexaItemModel::ColumnSerial), QString("R3"));
    QCOMPARE(Cell(3, QtVexaItemModel::ColumnId), QString("004"));
    QCOMPARE(m_model->RowsAtAddress("10.0.0.1"), (QList<int>{0, 1, 2, 3}));
    // Every row at the shared address told its new mark, SN1's included.
    QSet<int> repainted;
    for (const QList<QVariant> &arguments : changed)
        repainted.insert(arguments.at(0).toModelIndex().row());
    QCOMPARE(repainted, (QSet<int>{0, 1, 2, 3}));
    for (int row = 0; row < 4; ++row)
        QVERIFY(m_model->HasAddressConflict(row));
    QCOMPARE(m_model->AppendDeviceRows({}), 4);
    QCOMPARE(inserted.count(), 1);
}

QTEST_GUILESS_MAIN(TestQtVexaItemModel)
#include "tst_qtvexaitemmodel.moc"
