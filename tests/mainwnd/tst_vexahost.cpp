// vexa-host end to end: the host's own discovery against the simulator's demo
// network on loopback, its reports forwarded into the embedded page.
#include "devsimsession.h"
#include "hostwindow.h"

#include <QAbstractItemView>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

class TestVexaHost final : public QObject
{
    Q_OBJECT

private slots:
    void embeddedPageShowsEachDeviceOnce();
};

void TestVexaHost::embeddedPageShowsEachDeviceOnce()
{
    QCOMPARE(qgetenv("VEXA_INTERFACES"), QByteArray("lo"));
    const QString network = QFINDTESTDATA("../../tools/devsim/demo-network.json");
    QVERIFY(!network.isEmpty());
    const QJsonArray devices = DevsimSession::DevicesOf(network);
    QVERIFY(devices.size() > 1);
    DevsimSession devsim;
    const QString error = devsim.Start(network);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    HostWindow host;
    QVERIFY(host.StartDiscovery());
    QVERIFY(host.OpenTool());
    host.show();
    QWidget *tool = host.ToolLayout()->itemAtPosition(0, 0)->widget();
    QVERIFY(tool);
    const auto *view = tool->findChild<QAbstractItemView *>(QStringLiteral("tableWidgetDevice"));
    QVERIFY(view);
    const QAbstractItemModel *model = view->model();

    QTRY_COMPARE_WITH_TIMEOUT(model->rowCount(), devices.size(), 15000);
    // Any device reported twice (by the page's own discovery too) would show here.
    QTest::qWait(500);
    QCOMPARE(model->rowCount(), devices.size());
    QStringList shown;
    for (int row = 0; row < model->rowCount(); ++row)
        shown.append(model->index(row, 6).data().toString());
    for (const QJsonValue &device : devices)
        QCOMPARE(shown.count(device.toObject().value(QLatin1String("serialNo")).toString()), 1);
    devsim.Stop();
}

QTEST_MAIN(TestVexaHost)
#include "tst_vexahost.moc"
