// ONVIF cameras on the device page, against vexa-devsim on loopback, through
// real clicks: a camera on HTTP port 80 is readdressed with its port
// unchanged, the port rule follows the device's kind, the result says why an
// ONVIF device refused, and a double click opens the camera's web page at
// its HTTP port; "Scan Addresses..." probes the cameras' range and lists none twice.

#include "devsimsession.h"
#include "dialogcatcher.h"
#include "modalhelper.h"
#include "qtvexa.h"
#include "rangescandialog.h"
#include "urlcatcher.h"

#include <ctableview.h>
#include <ctooltip.h>

#include <QAccessible>
#include <QDesktopServices>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTcpSocket>
#include <QTest>

#include <memory>

namespace {

enum Column { Id = 0, Ipv4 = 2, Port = 3, Serial = 6 };
const QByteArray kPassword = "onvif1234";

// What the device itself says, asked over HTTP as any client would.
QByteArray AskDevice(const QString &address, quint16 port, const QByteArray &operation)
{
    const QByteArray body = "<s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\"><s:Body><" + operation
        + " xmlns=\"http://www.onvif.org/ver10/device/wsdl\"/></s:Body></s:Envelope>";
    QTcpSocket socket;
    socket.connectToHost(address, port);
    if (!socket.waitForConnected(3000))
        return {};
    socket.write("POST /onvif/device_service HTTP/1.1\r\nHost: " + address.toLatin1()
                 + "\r\nContent-Type: application/soap+xml\r\nConnection: close\r\nContent-Length: "
                 + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QByteArray answer;
    while (socket.waitForReadyRead(3000))
        answer += socket.readAll();
    return answer;
}

} // namespace

class TestQtVexaOnvif final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void cameraOnPort80IsReaddressedWithItsPort();
    void portRuleFollowsTheDeviceKind_data();
    void portRuleFollowsTheDeviceKind();
    void onvifRefusalsSayWhy_data();
    void onvifRefusalsSayWhy();
    void doubleClickOpensTheWebPageAtItsPort_data();
    void doubleClickOpensTheWebPageAtItsPort();
    void scanAddressesListsNoDeviceTwice();

private:
    CTableView *View() const { return m_page->findChild<CTableView *>("tableWidgetDevice"); }
    QLineEdit *Edit(const char *name) const { return m_page->findChild<QLineEdit *>(name); }
    QString Cell(int row, int column) const { return View()->GetItemText(row, column); }
    int RowOf(const QString &serial) const;
    QPoint CellCentre(const QString &serial, int column) const;
    void Select(const QString &serial);
    void Modify();
    QList<QUrl> DoubleClickAddress(const QString &serial);

    DevsimSession m_devsim;
    QString m_skip;
    std::unique_ptr<QtVexa> m_page;
};

void TestQtVexaOnvif::initTestCase()
{
    QCOMPARE(qgetenv("VEXA_INTERFACES"), QByteArray("lo"));
    const QString network = QFINDTESTDATA("onvif-network.json");
    QVERIFY(!network.isEmpty());
    const QString error = m_devsim.Start(network);
    // A camera's port 80 is a privileged port.
    if (error.contains(QStringLiteral(":80:")))
        m_skip = QStringLiteral("port 80 needs root: ") + error;
    else
        QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestQtVexaOnvif::cleanupTestCase()
{
    m_devsim.Stop();
}

void TestQtVexaOnvif::init()
{
    if (!m_skip.isEmpty())
        QSKIP(qPrintable(m_skip));
    m_page = std::make_unique<QtVexa>();
    m_page->show();
    QVERIFY(QTest::qWaitForWindowActive(m_page.get()));
    for (const char *serial : {"OVFCAM0080", "OVFCAM8081", "OVFVXDP001"})
        QTRY_VERIFY2_WITH_TIMEOUT(RowOf(QString::fromLatin1(serial)) >= 0, serial, 15000);
}

void TestQtVexaOnvif::cleanup()
{
    m_page.reset();
}

int TestQtVexaOnvif::RowOf(const QString &serial) const
{
    for (int row = 0; row < View()->RowCount(); ++row) {
        if (Cell(row, Serial) == serial)
            return row;
    }
    return -1;
}

QPoint TestQtVexaOnvif::CellCentre(const QString &serial, int column) const
{
    const QModelIndex index = View()->model()->index(RowOf(serial), column);
    View()->scrollTo(index);
    return View()->visualRect(index).center();
}

void TestQtVexaOnvif::Select(const QString &serial)
{
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, {}, CellCentre(serial, Port));
}

// A double click as the window system delivers it: a click, then the double click and its release.
QList<QUrl> TestQtVexaOnvif::DoubleClickAddress(const QString &serial)
{
    UrlCatcher urls;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &urls, "open");
    const QPoint pos = CellCentre(serial, Ipv4);
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(View()->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(View()->viewport(), Qt::LeftButton, {}, pos);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    return urls.urls;
}

void TestQtVexaOnvif::Modify()
{
    auto *button = m_page->findChild<QPushButton *>("pushButtonModifyNetwork");
    QVERIFY(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
}

void TestQtVexaOnvif::cameraOnPort80IsReaddressedWithItsPort()
{
    // Its web page: a URL leaves out port 80.
    QCOMPARE(DoubleClickAddress(QStringLiteral("OVFCAM0080")), QList<QUrl>{QUrl(QStringLiteral("http://127.31.0.80"))});

    Select(QStringLiteral("OVFCAM0080"));
    // The page fills in the camera's own port, and lets it through.
    QCOMPARE(Edit("lineEditPort")->text(), QStringLiteral("80"));
    Edit("lineEditIPAddr")->selectAll();
    QTest::keyClicks(Edit("lineEditIPAddr"), QStringLiteral("127.31.0.85"));
    QTest::keyClicks(Edit("lineEditPort_Password"), QString::fromLatin1(kPassword));
    DialogCatcher catcher;
    Modify();
    const int row = RowOf(QStringLiteral("OVFCAM0080"));
    QCOMPARE(catcher.text, QStringLiteral("Modify network parameter succeed.ID:%1 ").arg(Cell(row, Id)));
    QCOMPARE(Cell(row, Port), QStringLiteral("   80"));
    // The camera itself serves its web pages at the new address, still on port 80.
    const QByteArray interfaces = AskDevice(QStringLiteral("127.31.0.85"), 80, "GetNetworkInterfaces");
    QVERIFY2(interfaces.contains("<tt:Address>127.31.0.85</tt:Address>"), interfaces.constData());
    const QByteArray protocols = AskDevice(QStringLiteral("127.31.0.85"), 80, "GetNetworkProtocols");
    QVERIFY2(protocols.contains("<tt:Port>80</tt:Port>"), protocols.constData());
    QVERIFY(AskDevice(QStringLiteral("127.31.0.80"), 80, "GetNetworkProtocols").isEmpty());
}

void TestQtVexaOnvif::portRuleFollowsTheDeviceKind_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("tip");
    QTest::newRow("ONVIF camera, port 0") << "OVFCAM8081" << "0" << "HTTP port ranges from 1 to 65535.";
    QTest::newRow("ONVIF camera, port 65536") << "OVFCAM8081" << "65536" << "HTTP port ranges from 1 to 65535.";
    QTest::newRow("VXDP device, port 80") << "OVFVXDP001" << "80" << "Device port ranges from 2000 to 65535.";
}

void TestQtVexaOnvif::portRuleFollowsTheDeviceKind()
{
    QFETCH(QString, serial);
    QFETCH(QString, port);
    QFETCH(QString, tip);
    Select(serial);
    Edit("lineEditPort")->setText(port);
    QTest::keyClicks(Edit("lineEditPort_Password"), QString::fromLatin1(kPassword));
    DialogCatcher catcher;
    Modify();
    QVERIFY(catcher.text.isEmpty());
    QVERIFY(CToolTip::isVisible());
    QCOMPARE(CToolTip::text(), tip);
}

void TestQtVexaOnvif::onvifRefusalsSayWhy_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("cause");
    QTest::newRow("no SetNetworkInterfaces") << "OVFCAM8081" << QString::fromLatin1(kPassword)
                                             << " (the device does not support this change)";
    QTest::newRow("wrong password") << "OVFCAM8081" << "not-" + QString::fromLatin1(kPassword)
                                    << " (wrong user name or password)";
    // Our own devices keep the fixed text alone.
    QTest::newRow("VXDP device") << "OVFVXDP001" << "not-" + QString::fromLatin1(kPassword) << "";
}

void TestQtVexaOnvif::onvifRefusalsSayWhy()
{
    QFETCH(QString, serial);
    QFETCH(QString, password);
    QFETCH(QString, cause);
    Select(serial);
    Edit("lineEditIPAddr")->setText(QStringLiteral("127.31.0.99"));
    QTest::keyClicks(Edit("lineEditPort_Password"), password);
    DialogCatcher catcher;
    Modify();
    QCOMPARE(catcher.text,
             QStringLiteral("Modify network parameter failed!ID:%1%2 ").arg(Cell(RowOf(serial), Id), cause));
}

void TestQtVexaOnvif::doubleClickOpensTheWebPageAtItsPort_data()
{
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("url");
    QTest::newRow("ONVIF camera on 8081") << "OVFCAM8081" << "http://127.31.0.81:8081";
    QTest::newRow("VXDP device: the address alone") << "OVFVXDP001" << "http://127.31.0.90";
}

void TestQtVexaOnvif::doubleClickOpensTheWebPageAtItsPort()
{
    QFETCH(QString, serial);
    QFETCH(QString, url);
    QCOMPARE(DoubleClickAddress(serial), QList<QUrl>{QUrl(url)});
}


void TestQtVexaOnvif::scanAddressesListsNoDeviceTwice()
{
    auto *scan = m_page->findChild<QPushButton *>("pushButtonScanAddresses");
    QVERIFY(scan);
    QCOMPARE(QAccessible::queryAccessibleInterface(scan)->text(QAccessible::Name),
             QStringLiteral("Scan address ranges for devices behind routers"));
    const int rows = View()->RowCount();
    QString refused, finished, cancelled;
    int progress = -1, progressMax = -1;
    bool driven = false;
    WhenModal<RangeScanDialog>([&](RangeScanDialog *dialog) {
        const auto closed = qScopeGuard([dialog] { QTest::mouseClick(dialog->findChild<QPushButton *>("pushButtonClose"), Qt::LeftButton); });
        auto *ranges = dialog->findChild<QLineEdit *>("lineEditRanges");
        auto *rate = dialog->findChild<QSpinBox *>("spinBoxRate");
        auto *start = dialog->findChild<QPushButton *>("pushButtonScan");
        auto *cancel = dialog->findChild<QPushButton *>("pushButtonCancelScan");
        auto *status = dialog->findChild<QLabel *>("labelScanStatus");
        auto *bar = dialog->findChild<QProgressBar *>("progressBarScan");
        QVERIFY(ranges && rate && start && cancel && status && bar);
        QCOMPARE(QAccessible::queryAccessibleInterface(ranges)->text(QAccessible::Name), QStringLiteral("Address ranges"));
        QCOMPARE(rate->value(), 200);
        QVERIFY(!cancel->isEnabled());
        const auto scanWith = [&](const QString &text, const QString &perSecond) {
            ranges->clear();
            QTest::keyClicks(ranges, text);
            rate->selectAll();
            QTest::keyClicks(rate, perSecond);
            QTest::mouseClick(start, Qt::LeftButton);
        };
        scanWith(QStringLiteral("127.31.0.0/8"), QStringLiteral("2000"));
        refused = status->text();
        QVERIFY(start->isEnabled());
        // The cameras' own /24, found before by multicast.
        scanWith(QStringLiteral("127.31.0.0/24"), QStringLiteral("2000"));
        QVERIFY(!start->isEnabled() && cancel->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 10000);
        finished = status->text();
        progress = bar->value();
        progressMax = bar->maximum();
        // A slow /16 of loopback addresses nobody holds, cancelled.
        scanWith(QStringLiteral("127.79.0.0/16"), QStringLiteral("100"));
        QTest::qWait(300);
        QTest::mouseClick(cancel, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(start->isEnabled(), 2000);
        cancelled = status->text();
        driven = true;
    });
    QTest::mouseClick(scan, Qt::LeftButton);
    QVERIFY(driven);
    QVERIFY2(refused.startsWith(QStringLiteral("Not scanned: ")) && refused.contains(QStringLiteral("at most a /16")),
             qPrintable(refused));
    QCOMPARE(finished, QStringLiteral("Scanned 254 addresses; the devices found are listed."));
    QCOMPARE(progress, 254);
    QCOMPARE(progressMax, 254);
    QVERIFY2(cancelled.startsWith(QStringLiteral("Cancelled after ")) && cancelled.endsWith(QStringLiteral(" of 65534 addresses.")),
             qPrintable(cancelled));
    // Found both ways, each camera is still one row.
    QTest::qWait(500);
    QCOMPARE(View()->RowCount(), rows);
    for (const char *serial : {"OVFCAM0080", "OVFCAM8081", "OVFVXDP001"}) {
        int found = 0;
        for (int row = 0; row < View()->RowCount(); ++row)
            found += Cell(row, Serial) == QLatin1String(serial);
        QCOMPARE(found, 1);
    }
}

QTEST_MAIN(TestQtVexaOnvif)
#include "tst_qtvexa_onvif.moc"
