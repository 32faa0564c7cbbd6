#include "devicerecords.h"
#include "qtvexa.h"
#include "skinless.h"
#include "vexareportcallback.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QAbstractItemView>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <thread>

// The report callback in front of a real page: which signal each report
// becomes, the filter, and reports fired from a second thread as the
// discovery library does.
class TestVexaBridge : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { IgnoreMissingSkinImages(); }
    void eventPaths_data();
    void eventPaths();
    void filterAppliesToOnlineAndUpdateOnly_data();
    void filterAppliesToOnlineAndUpdateOnly();
    void offlineStringsAreBounded();
    void noPageNoEffect();
    void reportsFromAnotherThread();
    void burstListsInRunsInReportOrder_data();
    void burstListsInRunsInReportOrder();
    void noReportLostWhileADialogIsOpen();
    void offlineMatchesRowsOfAnySerialBytes_data();
    void offlineMatchesRowsOfAnySerialBytes();
};

static QAbstractItemModel *TableOf(QtVexa &page)
{
    return page.findChild<QAbstractItemView *>("tableWidgetDevice")->model();
}

void TestVexaBridge::eventPaths_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("online");
    QTest::addColumn<int>("update");
    QTest::addColumn<int>("offline");
    QTest::newRow("1") << 1 << 1 << 0 << 0;
    QTest::newRow("4") << 4 << 1 << 0 << 0;
    QTest::newRow("2") << 2 << 0 << 1 << 0;
    QTest::newRow("3") << 3 << 0 << 0 << 1;
    QTest::newRow("0") << 0 << 0 << 0 << 0;
    QTest::newRow("9") << 9 << 0 << 0 << 0;
}

void TestVexaBridge::eventPaths()
{
    QFETCH(int, code);
    QtVexa page;
    QCOMPARE(g_pQtVexa, &page);
    QSignalSpy online(&page, &QtVexa::DeviceOnlineSignal);
    QSignalSpy update(&page, &QtVexa::DeviceUpdateSignal);
    QSignalSpy offline(&page, &QtVexa::DeviceOfflineSignal);
    const VEXA_DEVICE_REPORT report = MakeReport(code);
    VexaReportCallback(&report, nullptr);
    VexaReportCallback(nullptr, nullptr);
    QTEST(int(online.count()), "online");
    QTEST(int(update.count()), "update");
    QTEST(int(offline.count()), "offline");
    if (!online.isEmpty()) {
        const auto record = online.first().first().value<VEXA_DEVICE_INFO_MY>();
        QCOMPARE(QByteArray(record.serialNo), QByteArray("VX-1001"));
        QCOMPARE(record.valid, 1);
        QCOMPARE(TableOf(page)->rowCount(), 1);
    }
    if (!offline.isEmpty()) {
        QCOMPARE(offline.first().at(0).toString(), QString("VX-1001"));
        QCOMPARE(offline.first().at(1).toString(), QString("00:11:22:33:44:55"));
    }
}

void TestVexaBridge::filterAppliesToOnlineAndUpdateOnly_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("typeCode");
    QTest::addColumn<bool>("shown");
    QTest::newRow("mode 0 keeps a recorder") << 0 << 0x9F00 << true;
    QTest::newRow("mode 1 drops 0x49FF") << 1 << 0x49FF << false;
    QTest::newRow("mode 1 keeps 0x4A00") << 1 << 0x4A00 << true;
    QTest::newRow("mode 2 keeps 0x9FFF") << 2 << 0x9FFF << true;
    QTest::newRow("mode 2 drops 0x9EFF") << 2 << 0x9EFF << false;
    QTest::newRow("mode 3 keeps 0x5900") << 3 << 0x5900 << true;
    QTest::newRow("mode 3 drops 0x9F00") << 3 << 0x9F00 << false;
}

void TestVexaBridge::filterAppliesToOnlineAndUpdateOnly()
{
    QFETCH(int, mode);
    QFETCH(int, typeCode);
    QFETCH(bool, shown);
    QtVexa page(nullptr, mode);
    QSignalSpy online(&page, &QtVexa::DeviceOnlineSignal);
    QSignalSpy update(&page, &QtVexa::DeviceUpdateSignal);
    QSignalSpy offline(&page, &QtVexa::DeviceOfflineSignal);
    for (int code : {1, 2, 3}) {
        const VEXA_DEVICE_REPORT report = MakeReport(code, "VX-1001", "00:11:22:33:44:55", typeCode);
        VexaReportCallback(&report, nullptr);
    }
    QCOMPARE(online.count(), shown ? 1 : 0);
    QCOMPARE(update.count(), shown ? 1 : 0);
    QCOMPARE(offline.count(), 1);
}

void TestVexaBridge::offlineStringsAreBounded()
{
    QtVexa page;
    QSignalSpy offline(&page, &QtVexa::DeviceOfflineSignal);
    VEXA_DEVICE_REPORT report = MakeReport(3);
    std::memset(report.serialNo, 'S', sizeof report.serialNo); // no terminator in the field
    VexaReportCallback(&report, nullptr);
    QCOMPARE(offline.count(), 1);
    QCOMPARE(offline.first().at(0).toString(), QString(48, u'S'));
}

void TestVexaBridge::noPageNoEffect()
{
    {
        QtVexa page;
    }
    QCOMPARE(g_pQtVexa, nullptr);
    const VEXA_DEVICE_REPORT report = MakeReport(1);
    VexaReportCallback(&report, nullptr);
}

void TestVexaBridge::reportsFromAnotherThread()
{
    constexpr int kDevices = 200;
    QtVexa page;
    QAbstractItemModel *table = TableOf(page);
    QSignalSpy inserted(table, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(table, &QAbstractItemModel::rowsRemoved);
    std::thread library([] {
        for (int code : {1, 2, 3}) {
            for (int i = 0; i < kDevices; ++i) {
                const QByteArray serial = "SN" + QByteArray::number(i);
                VEXA_DEVICE_REPORT report = MakeReport(code, serial.constData());
                report.port = 2000 + code;
                VexaReportCallback(&report, nullptr);
            }
        }
    });
    // Arrivals that queue up while the page is busy come in runs of rows.
    const auto rows = [](const QSignalSpy &spy) {
        int count = 0;
        for (const QList<QVariant> &arguments : spy)
            count += arguments.at(2).toInt() - arguments.at(1).toInt() + 1;
        return count;
    };
    // The page processes events while the second thread still reports.
    QTRY_COMPARE_WITH_TIMEOUT(rows(removed), kDevices, 20000);
    library.join();
    QCOMPARE(rows(inserted), kDevices);
    QVERIFY(inserted.count() <= kDevices);
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(page.findChild<QLabel *>("m_pLabelCount")->text(), QString("0"));
}

void TestVexaBridge::burstListsInRunsInReportOrder_data()
{
    // Reports from the library's thread, all queued before the page handles
    // any: "+A" online, "-A" offline, "~A" update (to port 9). Then the rows
    // as "<serial>:<port>" and how many insertions made them.
    QTest::addColumn<QString>("reports");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<int>("insertions");
    QTest::newRow("a burst") << "+A +B +C +D" << "A:8000 B:8000 C:8000 D:8000" << 1;
    QTest::newRow("listed twice, gone at once") << "+A +B +A -A" << "B:8000" << 1;
    QTest::newRow("back after going") << "+A +B -A +A +C" << "B:8000 A:8000 C:8000" << 2;
    QTest::newRow("update between runs") << "+A +B ~A +C" << "A:9 B:8000 C:8000" << 2;
    QTest::newRow("offline of a device not listed") << "-X +A +B" << "A:8000 B:8000" << 1;
}

void TestVexaBridge::burstListsInRunsInReportOrder()
{
    QFETCH(QString, reports);
    QtVexa page;
    QAbstractItemModel *table = TableOf(page);
    QSignalSpy inserted(table, &QAbstractItemModel::rowsInserted);
    std::thread library([reports] {
        for (const QString &step : reports.split(u' ')) {
            const int code = step[0] == u'+' ? 1 : step[0] == u'~' ? 2 : 3;
            VEXA_DEVICE_REPORT report = MakeReport(code, step.mid(1).toStdString());
            if (code == 2)
                report.port = 9;
            VexaReportCallback(&report, nullptr);
        }
    });
    library.join();
    QCoreApplication::sendPostedEvents(&page, QEvent::MetaCall);
    QStringList rows;
    for (int row = 0; row < table->rowCount(); ++row)
        rows << table->index(row, 6).data().toString() + u':' + table->index(row, 3).data().toString().trimmed();
    QTEST(rows.join(u' '), "rows");
    QTEST(int(inserted.count()), "insertions");
    QCOMPARE(page.findChild<QLabel *>("m_pLabelCount")->text(), QString::number(table->rowCount()));
}

void TestVexaBridge::noReportLostWhileADialogIsOpen()
{
    // Modify without a device holds the page's lock across its dialog, as a
    // result dialog does. The library's thread must report on regardless,
    // and the rows arrive while the dialog is still up.
    constexpr int kDevices = 300;
    QtVexa page;
    QAbstractItemModel *table = TableOf(page);
    std::atomic<bool> reported = false;
    bool threadFinishedUnderDialog = false;
    int rowsUnderDialog = -1;
    std::thread library;
    QTimer::singleShot(0, &page, [&] {
        QVERIFY(QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 5000));
        library = std::thread([&reported] {
            for (int i = 0; i < kDevices; ++i) {
                const QByteArray serial = "DLG" + QByteArray::number(i);
                const VEXA_DEVICE_REPORT report = MakeReport(1, serial.constData());
                VexaReportCallback(&report, nullptr);
            }
            reported = true;
        });
        threadFinishedUnderDialog = QTest::qWaitFor([&reported] { return reported.load(); }, 10000);
        QTest::qWaitFor([table] { return table->rowCount() == kDevices; }, 10000);
        rowsUnderDialog = table->rowCount();
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    QVERIFY(QMetaObject::invokeMethod(&page, "OnModifyNetPara"));
    library.join();
    QVERIFY(threadFinishedUnderDialog);
    QCOMPARE(rowsUnderDialog, kDevices);
    QCOMPARE(page.findChild<QLabel *>("m_pLabelCount")->text(), QString::number(kDevices));
}

void TestVexaBridge::offlineMatchesRowsOfAnySerialBytes_data()
{
    QTest::addColumn<QByteArray>("serial");
    QTest::addColumn<QByteArray>("mac");
    QTest::newRow("ASCII") << QByteArray("VX-1001") << QByteArray("00:11:22:33:44:55");
    QTest::newRow("Latin-1 letter") << QByteArray("VX-\xE9t\xE9") << QByteArray("00:11:22:33:44:55");
    QTest::newRow("not UTF-8") << QByteArray("VX-\xFF\x80\xC3") << QByteArray("00:11:22:33:44:\xAA");
}

void TestVexaBridge::offlineMatchesRowsOfAnySerialBytes()
{
    QFETCH(QByteArray, serial);
    QFETCH(QByteArray, mac);
    QtVexa page;
    QAbstractItemModel *table = TableOf(page);
    for (int code : {1, 1, 3}) {
        const VEXA_DEVICE_REPORT report = MakeReport(code, serial.toStdString(), mac.toStdString());
        VexaReportCallback(&report, nullptr);
    }
    QCOMPARE(table->rowCount(), 0);
    QCOMPARE(page.findChild<QLabel *>("m_pLabelCount")->text(), QString("0"));
    // Its records went with the rows: listed again, the device shows its new record.
    VEXA_DEVICE_REPORT again = MakeReport(1, serial.toStdString(), mac.toStdString());
    std::strcpy(again.ipv4Addr, "10.9.9.9");
    VexaReportCallback(&again, nullptr);
    auto *view = page.findChild<QAbstractItemView *>("tableWidgetDevice");
    view->setCurrentIndex(table->index(0, 0));
    QCOMPARE(page.findChild<QLineEdit *>("lineEditIPAddr")->text(), QString("10.9.9.9"));
}

QTEST_MAIN(TestVexaBridge)
#include "tst_vexabridge.moc"
