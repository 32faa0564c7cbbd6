#include "devicerowindex.h"

#include <QStandardItem>
#include <QTest>

#include <memory>
#include <optional>
#include <vector>

// The table's index on its own: rows are plain items that no model or view
// holds, filed, moved and removed as the model's write functions do.
class TestDeviceRowIndex : public QObject
{
    Q_OBJECT

private slots:
    void followsWrites_data();
    void followsWrites();
    void othersAtNamesOnlyOtherDevices();
    void unfiledRowsStayOutside();
};

namespace {

DeviceId Device(QChar name)
{
    return DeviceId(QByteArray("SN-") + char(name.unicode()), QByteArray("m-") + char(name.unicode()));
}

// "n" is 10.0.0.n; "-" is a text that is no address.
std::optional<quint32> Address(const QString &text)
{
    if (text == u'-')
        return std::nullopt;
    return 0x0A000000u + text.toUInt();
}

} // namespace

void TestDeviceRowIndex::followsWrites_data()
{
    // Steps: "+A1" files a new row (numbered from 0) of device A at 10.0.0.1,
    // "=2:5" moves row 2 to 10.0.0.5, "~2:B5" files row 2 under B at .5,
    // "-2" removes row 2. Then the marked rows and each device's rows in
    // filing order.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("marked");
    QTest::addColumn<QString>("devices");
    QTest::newRow("distinct addresses") << "+A1 +B2 +C3" << "" << "A:0 B:1 C:2";
    QTest::newRow("two share one") << "+A1 +B2 +C1" << "0 2" << "A:0 B:1 C:2";
    QTest::newRow("one device listed twice") << "+A1 +A1" << "" << "A:0,1";
    QTest::newRow("offline ends the conflict") << "+A1 +B1 -1" << "" << "A:0";
    QTest::newRow("third stays marked") << "+A1 +B1 +C1 -1" << "0 2" << "A:0 C:2";
    QTest::newRow("move away") << "+A1 +B1 =1:2" << "" << "A:0 B:1";
    QTest::newRow("move onto") << "+A1 +B2 =1:1" << "0 1" << "A:0 B:1";
    QTest::newRow("no address never conflicts") << "+A- +B- +C1" << "" << "A:0 B:1 C:2";
    QTest::newRow("address lost") << "+A1 +B1 =0:-" << "" << "A:0 B:1";
    QTest::newRow("becomes another device beside it") << "+A1 +A1 ~1:B1" << "0 1" << "A:0 B:1";
    QTest::newRow("becomes the device beside it") << "+A1 +B1 ~1:A1" << "" << "A:0,1";
    QTest::newRow("changed device goes last") << "+A1 +B2 +A3 ~0:B4" << "" << "A:2 B:1,0";
    QTest::newRow("twice listed with another") << "+A1 +A1 +B1 -2" << "" << "A:0,1";
    QTest::newRow("one of a pair leaves, the pair stays") << "+A1 +A1 +B1 -0" << "1 2" << "A:1 B:2";
    QTest::newRow("removed twice") << "+A1 +B1 -1 -1" << "" << "A:0";
    QTest::newRow("refiled as it is") << "+A1 +B1 ~1:B1" << "0 1" << "A:0 B:1";
}

void TestDeviceRowIndex::followsWrites()
{
    QFETCH(QString, steps);
    QFETCH(QString, marked);
    QFETCH(QString, devices);
    DeviceRowIndex index;
    std::vector<std::unique_ptr<QStandardItem>> rows;
    std::vector<bool> live;
    // What a view shows: a row's mark as last read, read again when the index names the row.
    std::vector<bool> shown;
    for (const QString &step : steps.split(u' ')) {
        const int row = step.mid(1).section(u':', 0, 0).toInt();
        switch (step[0].unicode()) {
        case u'+':
            rows.push_back(std::make_unique<QStandardItem>());
            live.push_back(true);
            shown.push_back(false);
            index.File(rows.back().get(), Device(step[1]), Address(step.mid(2)));
            break;
        case u'=': index.Readdress(rows[size_t(row)].get(), Address(step.section(u':', 1))); break;
        case u'~':
            index.File(rows[size_t(row)].get(), Device(step.section(u':', 1)[0]), Address(step.section(u':', 1).mid(1)));
            break;
        case u'-':
            index.Remove(rows[size_t(row)].get());
            live[size_t(row)] = false;
            break;
        }
        for (const DeviceRowIndex::Row changed : index.TakeMarksChanged()) {
            const auto at = std::find_if(rows.cbegin(), rows.cend(), [changed](const auto &r) { return r.get() == changed; });
            QVERIFY2(at != rows.cend() && live[size_t(at - rows.cbegin())], qPrintable(step + ": a removed row named"));
            shown[size_t(at - rows.cbegin())] = index.IsMarked(changed);
        }
        for (size_t r = 0; r < rows.size(); ++r) {
            if (live[r])
                QVERIFY2(shown[r] == index.IsMarked(rows[r].get()), qPrintable(step + " row " + QString::number(r)));
        }
    }

    QStringList markedRows;
    for (size_t r = 0; r < rows.size(); ++r) {
        if (live[r] && index.IsMarked(rows[r].get()))
            markedRows << QString::number(r);
        if (live[r] && index.AddressOf(rows[r].get()))
            QVERIFY(index.RowsAt(*index.AddressOf(rows[r].get())).contains(rows[r].get()));
        QCOMPARE(index.IsFiled(rows[r].get()), bool(live[r]));
    }
    QCOMPARE(markedRows.join(u' '), marked);
    QStringList filed;
    for (const QChar device : QStringLiteral("ABC")) {
        QStringList numbers;
        for (const DeviceRowIndex::Row row : index.RowsOf(Device(device))) {
            const auto at = std::find_if(rows.cbegin(), rows.cend(), [row](const auto &r) { return r.get() == row; });
            numbers << QString::number(at - rows.cbegin());
        }
        if (!numbers.isEmpty())
            filed << QString(device) + u':' + numbers.join(u',');
    }
    QCOMPARE(filed.join(u' '), devices);
}

void TestDeviceRowIndex::othersAtNamesOnlyOtherDevices()
{
    DeviceRowIndex index;
    QStandardItem a1, a2, b, c, elsewhere;
    for (auto [row, device] : {std::pair{&a1, u'A'}, {&a2, u'A'}, {&b, u'B'}, {&c, u'C'}})
        index.File(row, Device(device), Address(QStringLiteral("7")));
    index.File(&elsewhere, Device(u'D'), Address(QStringLiteral("8")));
    QList<DeviceRowIndex::Row> others = index.OthersAt(&a1);
    std::sort(others.begin(), others.end());
    QList<DeviceRowIndex::Row> expected{&b, &c};
    std::sort(expected.begin(), expected.end());
    QCOMPARE(others, expected);
    QCOMPARE(index.OthersAt(&b).size(), 3);
    QVERIFY(index.OthersAt(&elsewhere).isEmpty());
    QCOMPARE(index.RowsAt(*Address(QStringLiteral("7"))).size(), 4);
    QVERIFY(index.RowsAt(*Address(QStringLiteral("9"))).isEmpty());
}

void TestDeviceRowIndex::unfiledRowsStayOutside()
{
    DeviceRowIndex index;
    QStandardItem row;
    index.Readdress(&row, Address(QStringLiteral("1")));
    index.Remove(&row);
    QVERIFY(!index.IsFiled(&row));
    QVERIFY(!index.IsMarked(&row));
    QVERIFY(!index.AddressOf(&row));
    QVERIFY(index.OthersAt(&row).isEmpty());
    QVERIFY(index.RowsAt(*Address(QStringLiteral("1"))).isEmpty());
    QVERIFY(index.TakeMarksChanged().isEmpty());
}

QTEST_APPLESS_MAIN(TestDeviceRowIndex)
#include "tst_devicerowindex.moc"
