#include "devsimsession.h"
#include "qtvexa.h"

#include <ctableview.h>

#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QTest>

namespace {

// Row of the device with this serial number and MAC, or -1.
int RowOf(const CTableView *view, const QString &serial, const QString &mac)
{
    for (int row = 0; row < view->RowCount(); ++row) {
        if (view->GetItemText(row, 6) == serial && view->GetItemText(row, 8) == mac)
            return row;
    }
    return -1;
}

} // namespace

// The page against the device simulator's demo network on loopback: real
// discovery, real reports, real goodbyes.
class TestQtVexaDevsim final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    // First: the next one takes a device offline.
    void marksConflictsAndUnreachableDevices();
    void showsTheDemoNetworkAndLosesAnOfflineDevice();

private:
    DevsimSession m_devsim;
    QJsonArray m_devices;
};


void TestQtVexaDevsim::initTestCase()
{
    QCOMPARE(qgetenv("VEXA_INTERFACES"), QByteArray("lo"));
    const QString network = QFINDTESTDATA("../../tools/devsim/demo-network.json");
    QVERIFY(!network.isEmpty());
    m_devices = DevsimSession::DevicesOf(network);
    QVERIFY(m_devices.size() > 1);
    const QString error = m_devsim.Start(network);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestQtVexaDevsim::cleanupTestCase()
{
    m_devsim.Stop();
}

void TestQtVexaDevsim::showsTheDemoNetworkAndLosesAnOfflineDevice()
{
    QtVexa page;
    const auto *view = page.findChild<CTableView *>("tableWidgetDevice");
    const auto *count = page.findChild<QLabel *>("m_pLabelCount");

    for (const QJsonValue &value : std::as_const(m_devices)) {
        const QJsonObject device = value.toObject();
        const QString serial = device.value(QLatin1String("serialNo")).toString();
        const QString mac = device.value(QLatin1String("macAddr")).toString();
        QTRY_VERIFY2_WITH_TIMEOUT(RowOf(view, serial, mac) >= 0, qPrintable(serial), 15000);
        const int row = RowOf(view, serial, mac);
        QCOMPARE(view->GetItemText(row, 1), device.value(QLatin1String("typeName")).toString());
        QCOMPARE(view->GetItemText(row, 2), device.value(QLatin1String("ipv4Addr")).toString());
        QCOMPARE(view->GetItemText(row, 3),
                 QString::asprintf("%5d", device.value(QLatin1String("port")).toInt()));
        QCOMPARE(view->GetItemText(row, 7), device.value(QLatin1String("ipv4Mask")).toString());
        QCOMPARE(view->GetItemText(row, 10), device.value(QLatin1String("dspVersion")).toString());
    }
    const int shown = view->RowCount();
    QCOMPARE(count->text(), QString::number(shown));

    const QJsonObject leaving = m_devices.at(1).toObject();
    const QString serial = leaving.value(QLatin1String("serialNo")).toString();
    QCOMPARE(m_devsim.Command("offline " + serial.toLatin1()).last(), QStringLiteral("ok offline 1"));
    QTRY_COMPARE_WITH_TIMEOUT(RowOf(view, serial, leaving.value(QLatin1String("macAddr")).toString()), -1, 10000);
    QCOMPARE(view->RowCount(), shown - 1);
    QCOMPARE(count->text(), QString::number(shown - 1));
    for (int row = 0; row < view->RowCount(); ++row)
        QCOMPARE(view->GetItemText(row, 0), QString::asprintf("%03d", row + 1));
}

void TestQtVexaDevsim::marksConflictsAndUnreachableDevices()
{
    // The demo network has two devices on 192.168.1.64; from loopback
    // (127.0.0.0/8) only the simulated ONVIF devices, which serve on
    // loopback addresses of their own, can be reached.
    QtVexa page;
    const auto *view = page.findChild<CTableView *>("tableWidgetDevice");
    QTRY_COMPARE_WITH_TIMEOUT(view->RowCount(), int(m_devices.size()), 15000);
    QStringList marked;
    for (int row = 0; row < view->RowCount(); ++row) {
        const QModelIndex cell = view->model()->index(row, 1);
        if (cell.data(Qt::BackgroundRole).isValid())
            marked << view->GetItemText(row, 2);
        const QString tip = cell.data(Qt::ToolTipRole).toString();
        const bool onLoopback = view->GetItemText(row, 2).startsWith(QLatin1String("127."));
        QVERIFY2(tip.contains(QLatin1String("cannot be reached from this computer")) != onLoopback, qPrintable(tip));
    }
    QCOMPARE(marked, QStringList({"192.168.1.64", "192.168.1.64"}));
}

QTEST_MAIN(TestQtVexaDevsim)
#include "tst_qtvexa_devsim.moc"
