#include "deviceexport.h"
#include "devicerecords.h"
#include "dialogcatcher.h"
#include "modalhelper.h"
#include "qtvexa.h"
#include "qtvexaitemmodel.h"
#include "skinless.h"
#include "urlcatcher.h"
#include "vexareportcallback.h"

#include <clabel.h>
#include <ctableview.h>
#include <ctooltip.h>
#include <cwarndlg.h>

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QApplication>
#include <QDialog>
#include <QItemSelectionModel>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <thread>
#include <tuple>

namespace {

enum Column { Id = 0, Ipv4 = 2, Port = 3, Serial = 6, Mac = 8 };

QString MacOf(int i)
{
    return QStringLiteral("00:11:22:33:44:%1").arg(i, 2, 10, QLatin1Char('0'));
}

QString SerialOf(int i)
{
    return QStringLiteral("VX-%1").arg(i);
}

VEXA_DEVICE_INFO_MY Device(int i, const QString &ipv4 = {})
{
    const QByteArray serial = SerialOf(i).toLatin1();
    const QByteArray mac = MacOf(i).toLatin1();
    const QByteArray ip = ipv4.isEmpty() ? QByteArray("192.168.1.") + QByteArray::number(i) : ipv4.toLatin1();
    return MakeRecord(serial.toStdString(), mac.toStdString(), ip.toStdString());
}

} // namespace

class TestQtVexa final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void onlineAppendsNumberedRows();
    void reportsFromTheLibraryThreadAreQueued();
    void offlineRemovesRowAndRenumbers();
    void offlineOfUnknownDeviceOnlyRenumbers();
    void deviceListedTwiceLosesBothRows();
    void relistedDeviceShowsItsNewRecord();
    void eachRowOfADeviceShowsItsOwnRecord();
    void updateRefillsPanelOfSingleCurrentRow();
    void updateLeavesPanelDuringMultiSelection();
    void updateOfUnknownDeviceChangesNothing();
    void panelFollowsDevice_data();
    void panelFollowsDevice();
    void readOnlyTypeDisablesEverything();
    void clickSwitchesBetweenSingleAndBatch();
    void headerGuardKeepsIdFirst();
    void sortingByIpv4OrdersByValue();
    void doubleClickOnAddressOpensWebPage();
    void serialEditIsUndone();
    void expandAndShrink();
    void fieldLimits();
    void panelFieldsAreNamedByTheirLabels();
    void tableExposesColumnHeaders();
    void focusOrder();
    void layoutAt1024x768();
    void modifyRefusesAnotherDevicesAddress_data();
    void modifyRefusesAnotherDevicesAddress();
    void refusalTipLiesBelowItsField();
    void listMenuReadsAlikeOnEveryOpening();
    void deviceCountTraceIsWritten();
    void quickFilter_data();
    void quickFilter();
    void exportAndCopy_data();
    void exportAndCopy();
    void exportFailureKeepsTheFile_data();
    void exportFailureKeepsTheFile();

private:
    CTableView *View() const { return m_page->findChild<CTableView *>("tableWidgetDevice"); }
    QLineEdit *Edit(const char *name) const { return m_page->findChild<QLineEdit *>(name); }
    QString Cell(int row, int column) const { return View()->GetItemText(row, column); }
    QString Count() const { return m_page->findChild<QLabel *>("m_pLabelCount")->text(); }
    QStringList Ids() const;
    void Online(int i, const QString &ipv4 = {}) { emit m_page->DeviceOnlineSignal(Device(i, ipv4)); }
    void Offline(int i) { emit m_page->DeviceOfflineSignal(SerialOf(i), MacOf(i)); }
    void SelectRow(int row);
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = {});
    void DoubleClick(QPoint pos);

    std::unique_ptr<QtVexa> m_page;
};

QStringList TestQtVexa::Ids() const
{
    QStringList ids;
    for (int row = 0; row < View()->RowCount(); ++row)
        ids << Cell(row, Id);
    return ids;
}

void TestQtVexa::SelectRow(int row)
{
    View()->selectionModel()->setCurrentIndex(View()->model()->index(row, 0),
                                              QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TestQtVexa::ClickRow(int row, Qt::KeyboardModifiers modifiers)
{
    const QRect rect = View()->visualRect(View()->model()->index(row, Port));
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, modifiers, rect.center());
}

// A double click as the window system delivers it: a click, then the double
// click event and its release.
void TestQtVexa::DoubleClick(QPoint pos)
{
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseDClick(View()->viewport(), Qt::LeftButton, {}, pos);
    QTest::mouseRelease(View()->viewport(), Qt::LeftButton, {}, pos);
}

void TestQtVexa::initTestCase()
{
    IgnoreMissingSkinImages();
    // The application's own font, which the panel's fixed label width is made for.
    QFont font(QStringLiteral("Arial"), 10);
    font.setStyleHint(QFont::SansSerif);
    QApplication::setFont(font);
    // No discovery: the pages under test hear only the events fed to them.
    qputenv("VEXA_INTERFACES", "vexa-none0");
}

void TestQtVexa::init()
{
    m_page = std::make_unique<QtVexa>();
    m_page->resize(1016, 690);
}

void TestQtVexa::cleanup()
{
    m_page.reset();
    QCOMPARE(g_pQtVexa, nullptr);
}

void TestQtVexa::onlineAppendsNumberedRows()
{
    QCOMPARE(g_pQtVexa, m_page.get());
    QCOMPARE(Count(), QString());
    for (int i = 1; i <= 4; ++i)
        Online(i);
    QCOMPARE(Ids(), QStringList({"001", "002", "003", "004"}));
    QCOMPARE(Count(), QStringLiteral("4"));
    QCOMPARE(Cell(3, Serial), SerialOf(4));
    QCOMPARE(Cell(3, Mac), MacOf(4));
    QCOMPARE(Cell(3, Ipv4), QStringLiteral("192.168.1.4"));
}

void TestQtVexa::reportsFromTheLibraryThreadAreQueued()
{
    std::thread library([] {
        for (int i = 1; i <= 3; ++i) {
            const std::string serial = SerialOf(i).toStdString();
            const std::string mac = MacOf(i).toStdString();
            const VEXA_DEVICE_REPORT online = MakeReport(VEXA_EVENT_ONLINE, serial, mac);
            VexaReportCallback(&online, nullptr);
        }
        const VEXA_DEVICE_REPORT offline = MakeReport(VEXA_EVENT_OFFLINE, "VX-2", MacOf(2).toStdString());
        VexaReportCallback(&offline, nullptr);
    });
    library.join();
    QTRY_COMPARE(Count(), QStringLiteral("2"));
    QCOMPARE(Ids(), QStringList({"001", "002"}));
    QCOMPARE(Cell(1, Serial), SerialOf(3));
    SelectRow(1);
    QCOMPARE(Edit("lineEditSerial")->text(), SerialOf(3));
}

void TestQtVexa::offlineRemovesRowAndRenumbers()
{
    for (int i = 1; i <= 5; ++i)
        Online(i);
    Offline(3);
    QCOMPARE(Ids(), QStringList({"001", "002", "003", "004"}));
    QCOMPARE(Count(), QStringLiteral("4"));
    QCOMPARE(Cell(2, Serial), SerialOf(4));
}

void TestQtVexa::offlineOfUnknownDeviceOnlyRenumbers()
{
    Offline(9); // empty table: nothing at all
    QCOMPARE(Count(), QString());

    Online(1, "10.0.0.20");
    Online(2, "10.0.0.30");
    Online(3, "10.0.0.10");
    View()->sortByColumn(Ipv4, Qt::AscendingOrder);
    QCOMPARE(Ids(), QStringList({"003", "001", "002"}));
    Offline(9);
    QCOMPARE(Ids(), QStringList({"001", "002", "003"}));
    QCOMPARE(Cell(0, Serial), SerialOf(3));
    QCOMPARE(Count(), QStringLiteral("3"));
}

void TestQtVexa::deviceListedTwiceLosesBothRows()
{
    Online(1);
    Online(2);
    Online(1);
    QCOMPARE(Count(), QStringLiteral("3"));
    Offline(1);
    QCOMPARE(View()->RowCount(), 1);
    QCOMPARE(Ids(), QStringList({"001"}));
    QCOMPARE(Cell(0, Serial), SerialOf(2));
    QCOMPARE(Count(), QStringLiteral("1"));
}

// The records of a device that went offline leave with its rows, so a device
// that comes back is shown with what it reports now.
void TestQtVexa::relistedDeviceShowsItsNewRecord()
{
    for (int pass = 0; pass < 2; ++pass) {
        const VEXA_DEVICE_REPORT online = MakeReport(VEXA_EVENT_ONLINE, "VX-1", MacOf(1).toStdString());
        VexaReportCallback(&online, nullptr);
    }
    const VEXA_DEVICE_REPORT offline = MakeReport(VEXA_EVENT_OFFLINE, "VX-1", MacOf(1).toStdString());
    VexaReportCallback(&offline, nullptr);
    QCOMPARE(View()->RowCount(), 0);

    VEXA_DEVICE_REPORT back = MakeReport(VEXA_EVENT_ANNOUNCE, "VX-1", MacOf(1).toStdString());
    PutText(back.ipv4Addr, "10.1.1.9");
    VexaReportCallback(&back, nullptr);
    SelectRow(0);
    QCOMPARE(Edit("lineEditIPAddr")->text(), QStringLiteral("10.1.1.9"));
}

// A device listed twice has a record per row: the panel shows the selected
// row's parameters, also after a sort and an update of the device.
void TestQtVexa::eachRowOfADeviceShowsItsOwnRecord()
{
    VEXA_DEVICE_INFO_MY first = Device(1, "10.1.0.16");
    first.port = 8016;
    VEXA_DEVICE_INFO_MY second = Device(1, "10.1.0.26");
    second.port = 8026;
    emit m_page->DeviceOnlineSignal(first);
    Online(2, "10.1.0.20");
    emit m_page->DeviceOnlineSignal(second);
    const auto panel = [this] { return Edit("lineEditIPAddr")->text() + u' ' + Edit("lineEditPort")->text(); };
    SelectRow(2);
    QCOMPARE(panel(), QStringLiteral("10.1.0.26 8026"));
    SelectRow(0);
    QCOMPARE(panel(), QStringLiteral("10.1.0.16 8016"));

    View()->sortByColumn(Ipv4, Qt::DescendingOrder); // rows: .26, .20, .16
    SelectRow(0);
    QCOMPARE(panel(), QStringLiteral("10.1.0.26 8026"));
    // An update reaches the device's first row; the other keeps its own record.
    emit m_page->DeviceUpdateSignal(Device(1, "10.1.0.36"));
    QCOMPARE(Cell(0, Ipv4), QStringLiteral("10.1.0.36"));
    QCOMPARE(Edit("lineEditIPAddr")->text(), QStringLiteral("10.1.0.36"));
    SelectRow(2);
    QCOMPARE(panel(), QStringLiteral("10.1.0.16 8016"));
    QCOMPARE(Cell(2, Ipv4), QStringLiteral("10.1.0.16"));
}

void TestQtVexa::updateRefillsPanelOfSingleCurrentRow()
{
    Online(1);
    Online(2);
    SelectRow(1);
    QCOMPARE(Edit("lineEditIPAddr")->text(), QStringLiteral("192.168.1.2"));
    Edit("lineEditIPAddr")->setText(QStringLiteral("typed by the user"));

    emit m_page->DeviceUpdateSignal(Device(2, "172.16.0.2"));
    QCOMPARE(Cell(1, Ipv4), QStringLiteral("172.16.0.2"));
    QCOMPARE(Cell(1, Id), QStringLiteral("002"));
    QCOMPARE(Edit("lineEditIPAddr")->text(), QStringLiteral("172.16.0.2"));

    // The record follows too: selecting the row again shows the new address.
    SelectRow(0);
    SelectRow(1);
    QCOMPARE(Edit("lineEditIPAddr")->text(), QStringLiteral("172.16.0.2"));
}

void TestQtVexa::updateLeavesPanelDuringMultiSelection()
{
    Online(1);
    Online(2);
    SelectRow(1);
    View()->selectionModel()->select(View()->model()->index(0, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    Edit("lineEditIPAddr")->setText(QStringLiteral("typed"));
    emit m_page->DeviceUpdateSignal(Device(2, "172.16.0.2"));
    QCOMPARE(Cell(1, Ipv4), QStringLiteral("172.16.0.2"));
    QCOMPARE(Edit("lineEditIPAddr")->text(), QStringLiteral("typed"));
}

void TestQtVexa::updateOfUnknownDeviceChangesNothing()
{
    Online(1);
    emit m_page->DeviceUpdateSignal(Device(7, "172.16.0.7"));
    QCOMPARE(View()->RowCount(), 1);
    QCOMPARE(Cell(0, Ipv4), QStringLiteral("192.168.1.1"));
    QCOMPARE(Count(), QStringLiteral("1"));
}

void TestQtVexa::panelFollowsDevice_data()
{
    QTest::addColumn<int>("extInfo");
    QTest::addColumn<int>("capabilities");
    QTest::addColumn<bool>("gatewayEnabled");
    QTest::addColumn<bool>("ipv6Enabled");
    QTest::addColumn<bool>("ipv6Shown");

    QTest::newRow("no extended information") << 0 << 0x07 << false << false << false;
    QTest::newRow("IPv6 modifiable") << 1 << 0x03 << true << true << true;
    QTest::newRow("IPv6 shown, fixed") << 1 << 0x01 << true << false << true;
    QTest::newRow("no IPv6") << 1 << 0x00 << true << false << false;
}

void TestQtVexa::panelFollowsDevice()
{
    QFETCH(int, extInfo);
    QFETCH(int, capabilities);
    QFETCH(bool, gatewayEnabled);
    QFETCH(bool, ipv6Enabled);
    QFETCH(bool, ipv6Shown);

    VEXA_DEVICE_INFO_MY device = Device(1);
    device.extInfo = uint8_t(extInfo);
    device.capabilities = uint8_t(capabilities);
    device.port = 8000;
    emit m_page->DeviceOnlineSignal(device);
    SelectRow(0);

    QCOMPARE(Edit("lineEditSerial")->text(), SerialOf(1));
    QCOMPARE(Edit("lineEditSerial")->cursorPosition(), 0);
    QCOMPARE(Edit("lineEditPort")->text(), QStringLiteral("8000"));
    QCOMPARE(Edit("lineEditIPMask")->text(), QStringLiteral("255.255.255.0"));
    QVERIFY(Edit("lineEditIPAddr")->isEnabled());
    QCOMPARE(Edit("lineEditIPGateway")->isEnabled(), gatewayEnabled);
    QCOMPARE(Edit("lineEditIPGateway")->text().isEmpty(), !gatewayEnabled);
    for (const char *name : {"lineEditIPv6Addr", "lineEditIPv6Gateway", "lineEditIPv6Mask"}) {
        QCOMPARE(Edit(name)->isEnabled(), ipv6Enabled);
        QCOMPARE(Edit(name)->text().isEmpty(), !ipv6Shown);
    }
}

void TestQtVexa::readOnlyTypeDisablesEverything()
{
    VEXA_DEVICE_INFO_MY device = Device(1);
    device.typeCode = 0x9E10;
    emit m_page->DeviceOnlineSignal(device);
    m_page->show();
    ClickRow(0);

    QCOMPARE(Edit("lineEditIPAddr")->text(), QStringLiteral("192.168.1.1"));
    for (const char *name : {"lineEditIPAddr", "lineEditPort", "lineEditIPMask", "lineEditIPGateway",
                             "lineEditIPv6Addr", "lineEditIPv6Gateway", "lineEditIPv6Mask",
                             "lineEditPort_Password", "m_pDefaultPwdLEdit"})
        QVERIFY2(!Edit(name)->isEnabled(), name);
    QVERIFY(!m_page->findChild<QPushButton *>("pushButtonModifyNetwork")->isEnabled());
    QVERIFY(!m_page->findChild<QPushButton *>("pushButtonModifyPassword")->isEnabled());
}

void TestQtVexa::clickSwitchesBetweenSingleAndBatch()
{
    Online(1);
    VEXA_DEVICE_INFO_MY fixed = Device(2);
    fixed.typeCode = 0x9F01;
    fixed.extInfo = 0;
    emit m_page->DeviceOnlineSignal(fixed);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));

    const auto label = [this](const char *name) { return m_page->findChild<QLabel *>(name)->text(); };
    ClickRow(0);
    ClickRow(1, Qt::ControlModifier);
    QCOMPARE(View()->selectionModel()->selectedRows().size(), 2);
    QCOMPARE(label("label_7"), QStringLiteral("Start IP Address:"));
    QCOMPARE(label("label_162"), QStringLiteral("Batch Modify Network parameters"));
    QVERIFY(Edit("lineEditSerial")->isHidden());
    QVERIFY(Edit("m_pDefaultPwdLEdit")->isHidden());
    QVERIFY(Edit("lineEditIPAddr")->text().isEmpty());
    QVERIFY(Edit("lineEditIPAddr")->isEnabled()); // device 1 is of an editable type
    QVERIFY(Edit("lineEditIPGateway")->isEnabled());
    QVERIFY(!Edit("lineEditIPv6Addr")->isEnabled());

    ClickRow(1);
    QCOMPARE(label("label_7"), QStringLiteral("IP Address:"));
    QCOMPARE(label("label_162"), QStringLiteral("Modify Network parameters"));
    QVERIFY(!Edit("lineEditSerial")->isHidden());
    QCOMPARE(Edit("lineEditSerial")->text(), SerialOf(2));

    View()->clearSelection();
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, {}, View()->viewport()->rect().bottomLeft() - QPoint(-5, 5));
    QVERIFY(!Edit("lineEditIPAddr")->isEnabled());
    QVERIFY(Edit("lineEditSerial")->text().isEmpty());
}

void TestQtVexa::headerGuardKeepsIdFirst()
{
    QHeaderView *header = View()->header();
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    const QPoint portSection(header->sectionViewportPosition(Port) + 5, header->height() / 2);

    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, portSection);
    QVERIFY(header->sectionsMovable());
    header->moveSection(header->visualIndex(Port), 0);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, portSection);
    QCOMPARE(header->logicalIndex(0), int(Id));
    QCOMPARE(header->visualIndex(Port), int(Port));

    // A move that keeps "ID" first stays.
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, portSection);
    header->moveSection(header->visualIndex(Port), 5);
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, portSection);
    QCOMPARE(header->visualIndex(Port), 5);

    // Pressing "ID" itself freezes the columns.
    QTest::mousePress(header->viewport(), Qt::LeftButton, {}, QPoint(5, header->height() / 2));
    QVERIFY(!header->sectionsMovable());
    QTest::mouseRelease(header->viewport(), Qt::LeftButton, {}, QPoint(5, header->height() / 2));
}

void TestQtVexa::sortingByIpv4OrdersByValue()
{
    Online(1, "192.168.1.10");
    Online(2, "192.168.1.9");
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    QHeaderView *header = View()->header();
    const QPoint ipv4Section(header->sectionViewportPosition(Ipv4) + 10, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, ipv4Section);
    QCOMPARE(header->sortIndicatorSection(), int(Ipv4));
    const Qt::SortOrder order = header->sortIndicatorOrder();
    QCOMPARE(Cell(0, Ipv4), QLatin1String(order == Qt::AscendingOrder ? "192.168.1.9" : "192.168.1.10"));
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, ipv4Section);
    QVERIFY(header->sortIndicatorOrder() != order);
    QCOMPARE(Cell(0, Ipv4), QLatin1String(order == Qt::AscendingOrder ? "192.168.1.10" : "192.168.1.9"));
}

void TestQtVexa::doubleClickOnAddressOpensWebPage()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &catcher, "open");
    VEXA_DEVICE_INFO_MY device = Device(1, "192.168.1.64");
    device.port = 8000;
    emit m_page->DeviceOnlineSignal(device);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));

    const QPoint cell = View()->visualRect(View()->model()->index(0, Ipv4)).center();
    DoubleClick(cell);
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QStringLiteral("http://192.168.1.64"))});

    // Other columns open nothing.
    DoubleClick(View()->visualRect(View()->model()->index(0, Port)).center());
    QCOMPARE(catcher.urls.size(), 1);
}

void TestQtVexa::serialEditIsUndone()
{
    Online(1);
    Online(2);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    const QModelIndex serial = View()->model()->index(1, Serial);
    View()->scrollTo(serial);

    DoubleClick(View()->visualRect(serial).center());
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    QCOMPARE(editor->text(), SerialOf(2)); // there to be selected and copied
    editor->setText(QStringLiteral("EDITED"));
    QTest::keyClick(editor, Qt::Key_Return);
    QCOMPARE(Cell(1, Serial), SerialOf(2));

    // The device is still found by its serial number.
    Offline(2);
    QCOMPARE(View()->RowCount(), 1);

    // No editor opens from the keyboard, where no text would be saved first.
    View()->setCurrentIndex(View()->model()->index(0, Serial));
    View()->setFocus();
    QTest::keyClick(View(), Qt::Key_F2);
    QVERIFY(!qobject_cast<QLineEdit *>(QApplication::focusWidget()));
}

void TestQtVexa::expandAndShrink()
{
    auto *expand = m_page->findChild<QToolButton *>("m_pBtnExpand");
    auto *shrink = m_page->findChild<QToolButton *>("m_pBtnShrink");
    QWidget *panel = m_page->findChild<QWidget *>("m_pSetFrame");
    QVERIFY(!expand->isHidden());
    QVERIFY(shrink->isHidden());

    expand->click();
    QVERIFY(expand->isHidden());
    QVERIFY(panel->isHidden());
    QVERIFY(!shrink->isHidden());

    shrink->click();
    QVERIFY(!expand->isHidden());
    QVERIFY(!panel->isHidden());
    QVERIFY(shrink->isHidden());
}

void TestQtVexa::fieldLimits()
{
    QCOMPARE(Edit("lineEditPort")->maxLength(), 5);
    QCOMPARE(Edit("lineEditPort")->toolTip(), QStringLiteral("Device port ranges from 2000 to 65535."));
    QCOMPARE(Edit("lineEditPort_Password")->maxLength(), 16);
    QCOMPARE(Edit("m_pDefaultPwdLEdit")->maxLength(), 32);
    QCOMPARE(Edit("m_pDefaultPwdLEdit")->echoMode(), QLineEdit::Password);
    QCOMPARE(Edit("lineEditPort_Password")->echoMode(), QLineEdit::Password);
    QVERIFY(Edit("lineEditSerial")->isReadOnly());

    QLineEdit *address = Edit("lineEditIPAddr");
    address->clear();
    QTest::keyClicks(address, QString(39, QLatin1Char('a')));
    QTest::keyClick(address, Qt::Key_B);
    QCOMPARE(address->text(), QString(39, QLatin1Char('a')));

    QLineEdit *port = Edit("lineEditPort");
    port->clear();
    QTest::keyClicks(port, QStringLiteral("800001"));
    QCOMPARE(port->text(), QStringLiteral("80000"));
    QVERIFY(!port->hasAcceptableInput());
    port->setText(QStringLiteral("1999"));
    QVERIFY(!port->hasAcceptableInput());
    port->setText(QStringLiteral("2000"));
    QVERIFY(port->hasAcceptableInput());

    QLineEdit *prefix = Edit("lineEditIPv6Mask");
    prefix->setEnabled(true);
    prefix->clear();
    QTest::keyClicks(prefix, QStringLiteral("65"));
    QVERIFY(!prefix->hasAcceptableInput());
    prefix->setText(QStringLiteral("64"));
    QVERIFY(prefix->hasAcceptableInput());
}

void TestQtVexa::panelFieldsAreNamedByTheirLabels()
{
    // The labels show the product's texts exactly, with no added '&' (their
    // hover tips and translation keys are those texts), and still name their fields.
    const QList<std::tuple<const char *, const char *, QString>> fields = {
        {"label_7", "lineEditIPAddr", "IP Address:"},         {"label_9", "lineEditPort", "Port:"},
        {"label_8", "lineEditIPMask", "Subnet Mask:"},        {"label_12", "lineEditIPGateway", "Gateway:"},
        {"label_13", "lineEditIPv6Addr", "IPv6 Address:"},    {"label_14", "lineEditIPv6Gateway", "IPv6 Gateway:"},
        {"label_15", "lineEditIPv6Mask", "IPv6 Prefix Length:"}, {"label_5", "lineEditSerial", "Device Serial:"},
    };
    for (const auto &[labelName, fieldName, text] : fields) {
        auto *label = m_page->findChild<CLabel *>(labelName);
        QVERIFY2(label, labelName);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->buddy(), Edit(fieldName));
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(Edit(fieldName));
        QVERIFY(accessible);
        QCOMPARE(accessible->text(QAccessible::Name), text);
    }
    for (const auto &[button, text] : {std::pair{"pushButtonModifyNetwork", "Modify"},
                                       {"pushButtonModifyPassword", "Comeback"},
                                       {"pushButtonManualUpdate", "Refresh"}})
        QCOMPARE(m_page->findChild<QPushButton *>(button)->text(), QLatin1String(text));
    // The interface choice beside Refresh, named for a screen reader and with its menu.
    auto *interfaces = m_page->findChild<QPushButton *>("pushButtonInterfaces");
    QVERIFY(interfaces && interfaces->menu());
    QCOMPARE(interfaces->text(), QStringLiteral("Interfaces"));
    QCOMPARE(QAccessible::queryAccessibleInterface(interfaces)->text(QAccessible::Name),
             QStringLiteral("Network interfaces for discovery"));
    QCOMPARE(interfaces->parentWidget(), m_page->findChild<QPushButton *>("pushButtonManualUpdate")->parentWidget());
    QCOMPARE(QAccessible::queryAccessibleInterface(Edit("lineEditPort_Password"))->text(QAccessible::Name),
             QStringLiteral("Password"));
    QCOMPARE(QAccessible::queryAccessibleInterface(Edit("m_pDefaultPwdLEdit"))->text(QAccessible::Name),
             QStringLiteral("Security code"));
    QVERIFY(!QAccessible::queryAccessibleInterface(m_page->findChild<QToolButton *>("m_pBtnExpand"))
                 ->text(QAccessible::Name).contains(QLatin1String("...")));
}

void TestQtVexa::tableExposesColumnHeaders()
{
    Online(1);
    QAccessibleInterface *table = QAccessible::queryAccessibleInterface(View());
    QVERIFY(table);
    QVERIFY(table->tableInterface());
    QCOMPARE(table->tableInterface()->columnCount(), 19);
    QCOMPARE(table->tableInterface()->columnDescription(Ipv4), QStringLiteral("IPv4 Address"));
    QCOMPARE(table->tableInterface()->columnDescription(Serial), QStringLiteral("Serial Number"));
    QCOMPARE(table->text(QAccessible::Name), QStringLiteral("Devices"));
}

void TestQtVexa::focusOrder()
{
    const QStringList order = {"lineEditIPAddr", "lineEditPort", "lineEditIPMask", "lineEditIPGateway",
                               "lineEditIPv6Addr", "lineEditIPv6Gateway", "lineEditIPv6Mask", "lineEditSerial",
                               "lineEditPort_Password", "pushButtonModifyNetwork", "m_pDefaultPwdLEdit",
                               "pushButtonModifyPassword", "pushButtonManualUpdate", "pushButtonInterfaces",
                               "pushButtonScanAddresses", "tableWidgetDevice"};
    for (qsizetype i = 0; i + 1 < order.size(); ++i) {
        auto *widget = m_page->findChild<QWidget *>(order[i]);
        QVERIFY(widget);
        QWidget *next = widget->nextInFocusChain();
        while (!(next->focusPolicy() & Qt::TabFocus))
            next = next->nextInFocusChain();
        QCOMPARE(next->objectName(), order[i + 1]);
    }
}

// The page inside a 1024 x 768 main window gets about this much room. Every
// panel widget must lie inside the panel, and the table must keep most of the
// width. With VEXA_SCREENSHOT_DIR set, the page is saved there to be looked at.
void TestQtVexa::layoutAt1024x768()
{
    for (int i = 1; i <= 12; ++i) {
        VEXA_DEVICE_INFO_MY device = Device(i);
        device.extInfo = i % 3 ? 1 : 0;
        device.typeCode = i % 4 ? 0x1001 : 0x9E10;
        emit m_page->DeviceOnlineSignal(device);
    }
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    SelectRow(1);

    auto *panel = m_page->findChild<QFrame *>("m_pSetFrame");
    QVERIFY(panel->isVisible());
    QVERIFY(panel->geometry().bottom() < m_page->height());
    for (QWidget *child : panel->findChildren<QWidget *>()) {
        if (!child->isVisibleTo(panel))
            continue;
        const QRect inPanel(child->mapTo(panel, QPoint(0, 0)), child->size());
        QVERIFY2(panel->rect().contains(inPanel), qPrintable(child->objectName()));
    }
    QVERIFY(View()->width() > m_page->width() / 2);
    const QLabel *longest = m_page->findChild<QLabel *>("label_15");
    QVERIFY(longest->sizeHint().width() <= longest->width() + 1);

    if (const QByteArray dir = qgetenv("VEXA_SCREENSHOT_DIR"); !dir.isEmpty())
        QVERIFY(m_page->grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/device-page.png")));
}

void TestQtVexa::modifyRefusesAnotherDevicesAddress_data()
{
    // Rows: 0 VX-1 10.1.0.11, 1 VX-2 .12, 2 VX-3 .13, 3 VX-4 .14 (DHCP),
    // 4 VX-1 .11 again (listed twice), 5 VX-5 .11 (shares VX-1's address),
    // 6 VX-6 .16 and 7 VX-6 .26 (listed twice, at two addresses).
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("owner"); // the serial the tip names; empty: the request goes out
    QTest::newRow("onto another device") << QList<int>{0} << "10.1.0.12" << "VX-2";
    QTest::newRow("leading zeros") << QList<int>{0} << "10.1.0.013" << "VX-3";
    QTest::newRow("free address") << QList<int>{0} << "10.1.0.50" << "";
    QTest::newRow("batch reaches one outside") << QList<int>{0, 1} << "10.1.0.12" << "VX-3";
    QTest::newRow("batch over its own addresses") << QList<int>{0, 1, 2} << "10.1.0.11" << "";
    QTest::newRow("owner on DHCP") << QList<int>{0} << "10.1.0.14" << "";
    QTest::newRow("its own address, also in its second row") << QList<int>{0} << "10.1.0.11" << "";
    QTest::newRow("second row keeps its address") << QList<int>{4} << "10.1.0.11" << "";
    QTest::newRow("second row onto another device") << QList<int>{4} << "10.1.0.12" << "VX-2";
    QTest::newRow("onto the address of its own second row") << QList<int>{6} << "10.1.0.26" << "";
    QTest::newRow("sharing device keeps its address") << QList<int>{5} << "10.1.0.11" << "";
    QTest::newRow("sharing device moves to a free one") << QList<int>{5} << "10.1.0.60" << "";
    QTest::newRow("onto a shared address") << QList<int>{1} << "10.1.0.11" << "VX-1";
}

void TestQtVexa::modifyRefusesAnotherDevicesAddress()
{
    QFETCH(QList<int>, rows);
    QFETCH(QString, start);
    QFETCH(QString, owner);
    for (int i = 1; i <= 4; ++i) {
        VEXA_DEVICE_INFO_MY record = Device(i, QStringLiteral("10.1.0.%1").arg(10 + i));
        record.dhcpOn = i == 4;
        emit m_page->DeviceOnlineSignal(record);
    }
    for (const auto &[i, ipv4] : {std::pair{1, "10.1.0.11"}, {5, "10.1.0.11"}, {6, "10.1.0.16"}, {6, "10.1.0.26"}}) {
        VEXA_DEVICE_INFO_MY record = Device(i, QString::fromLatin1(ipv4));
        record.dhcpOn = 0;
        emit m_page->DeviceOnlineSignal(record);
    }
    QVERIFY(m_page->findChild<QtVexaItemModel *>()->HasAddressConflict(5));
    QItemSelectionModel *selection = View()->selectionModel();
    for (int row : rows)
        selection->select(View()->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->setCurrentIndex(View()->model()->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
    Edit("lineEditIPAddr")->setText(start);
    // A new mask, port and gateway: what a device sharing its address may still change.
    Edit("lineEditIPMask")->setText("255.255.0.0");
    Edit("lineEditPort")->setText("8100");
    Edit("lineEditIPGateway")->setText("10.1.0.1");
    Edit("lineEditPort_Password")->setText("pw");

    // Without discovery every request fails: a result dialog means one was sent.
    DialogCatcher catcher;
    CToolTip::hideText();
    QVERIFY(QMetaObject::invokeMethod(m_page.get(), "OnModifyNetPara"));
    QCOMPARE(catcher.seen, owner.isEmpty());
    QCOMPARE(CToolTip::isVisible(), !owner.isEmpty());
    if (!owner.isEmpty())
        QVERIFY2(CToolTip::text().contains(" device " + owner + " (ID "), qPrintable(CToolTip::text()));
}

// The tip stays over the panel, below the field it is about: wrapped, clear
// of the table, and a click on a row reaches the row and ends the tip.
void TestQtVexa::refusalTipLiesBelowItsField()
{
    VEXA_DEVICE_INFO_MY owner = Device(2, "10.1.0.12");
    PutText(owner.serialNo, "VXC212020210313DM000001ABCDEFGH");
    owner.dhcpOn = 0;
    emit m_page->DeviceOnlineSignal(owner);
    Online(1, "10.1.0.11");
    // The window's right edge on the screen's: no room for a tip right of the panel.
    const QRect screen = m_page->screen()->geometry();
    m_page->move(screen.right() + 1 - m_page->width(), screen.top());
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    ClickRow(1);
    Edit("lineEditIPAddr")->setText("10.1.0.12");
    Edit("lineEditPort_Password")->setText("pw");
    CToolTip::hideText();
    QTest::mouseClick(m_page->findChild<QPushButton *>("pushButtonModifyNetwork"), Qt::LeftButton);

    QVERIFY(CToolTip::isVisible());
    const CToolLabel *tip = CToolLabel::instance();
    QVERIFY2(tip->text().contains("VXC212020210313DM000001ABCDEFGH"), qPrintable(tip->text()));
    const QLineEdit *field = Edit("lineEditIPAddr");
    const QWidget *panel = m_page->findChild<QWidget *>("m_pSetFrame");
    const QRect fieldRect(field->mapToGlobal(QPoint(0, 0)), field->size());
    const QRect panelRect(panel->mapToGlobal(QPoint(0, 0)), panel->size());
    const QRect tableRect(View()->mapToGlobal(QPoint(0, 0)), View()->size());
    const QString where = QStringLiteral("tip %1,%2 %3x%4; field at %5,%6; panel from x %7 to %8")
                              .arg(tip->x()).arg(tip->y()).arg(tip->width()).arg(tip->height())
                              .arg(fieldRect.x()).arg(fieldRect.y()).arg(panelRect.left()).arg(panelRect.right());
    QVERIFY2(qAbs(tip->y() - fieldRect.bottom()) <= 4, qPrintable(where));
    QVERIFY2(tip->x() >= panelRect.left() && tip->geometry().right() <= panelRect.right(), qPrintable(where));
    QVERIFY2(!tip->geometry().intersects(tableRect), qPrintable(where));
    QVERIFY2(tip->height() > fieldRect.height(), qPrintable(where)); // wrapped
    QVERIFY(tip->windowFlags().testFlag(Qt::WindowTransparentForInput));

    ClickRow(0);
    QVERIFY(!CToolTip::isVisible());
    QCOMPARE(View()->currentIndex().row(), 0);
    QCOMPARE(Edit("lineEditSerial")->text(), QStringLiteral("VXC212020210313DM000001ABCDEFGH"));
}

// The context menu through the accessibility interface, as a screen reader
// reads it: every item, and the item that has the focus as the arrow keys
// move through the menu, the same on every opening.
void TestQtVexa::listMenuReadsAlikeOnEveryOpening()
{
    Online(1);
    Online(2);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    ClickRow(0);
    const QStringList actions{"Copy", "", "Export All…", "Export Selected…", "", "Set Time…", "Change Password…",
                              "Reboot…"};
    const QStringList focusOrder{"Copy", "Export All…", "Export Selected…", "Set Time…", "Change Password…",
                                 "Reboot…"};
    for (int opening = 1; opening <= 3; ++opening) {
        QStringList items;
        QStringList focused;
        WhenPopup<QMenu>([&](QMenu *menu) {
            QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(menu);
            for (int i = 0; i < accessible->childCount(); ++i) {
                QAccessibleInterface *item = accessible->child(i);
                items << (item && item->isValid() && item->parent() == accessible ? item->text(QAccessible::Name)
                                                                                    : QStringLiteral("(gone)"));
            }
            for (int step = 0; step < focusOrder.size(); ++step) {
                QTest::keyClick(menu, Qt::Key_Down);
                for (int i = 0; i < accessible->childCount(); ++i) {
                    QAccessibleInterface *item = accessible->child(i);
                    if (item && item->isValid() && item->state().focused)
                        focused << item->text(QAccessible::Name);
                }
            }
            menu->close();
        });
        const QPoint pos = View()->visualRect(View()->model()->index(0, Port)).center();
        QContextMenuEvent request(QContextMenuEvent::Mouse, pos, View()->viewport()->mapToGlobal(pos));
        QApplication::sendEvent(View()->viewport(), &request);
        QCOMPARE(items, actions);
        QCOMPARE(focused, focusOrder);
    }
}

// The fixed diagnostic reaches the debug stream with no logging rule set.
void TestQtVexa::deviceCountTraceIsWritten()
{
    QTest::ignoreMessage(QtDebugMsg, "===ws===1");
    Online(1);
    QTest::ignoreMessage(QtDebugMsg, "===ws===2");
    Online(2);
    QTest::ignoreMessage(QtDebugMsg, "===ws===1");
    Offline(1);
}

void TestQtVexa::quickFilter_data()
{
    // Devices VX-1 to VX-12 at 192.168.1.1 to 12; then the steps.
    QTest::addColumn<QStringList>("steps"); // "t:TEXT" types, "+N" online, "-N" offline, "~N:IP" update
    QTest::addColumn<QString>("shown");     // serials shown at the end, in row order
    QTest::addColumn<QString>("count");
    QTest::newRow("serial, any case") << QStringList{"t:vx-1"} << "VX-1 VX-10 VX-11 VX-12" << "4/12";
    QTest::newRow("address cell") << QStringList{"t:1.7"} << "VX-7" << "1/12";
    QTest::newRow("narrowed and widened") << QStringList{"t:VX-1", "t:VX-11", "t:VX-1"} << "VX-1 VX-10 VX-11 VX-12" << "4/12";
    QTest::newRow("replaced") << QStringList{"t:VX-11", "t:1.5"} << "VX-5" << "1/12";
    QTest::newRow("nothing matches") << QStringList{"t:zzz"} << "" << "0/12";
    QTest::newRow("arriving device") << QStringList{"t:VX-1", "+13", "+20"} << "VX-1 VX-10 VX-11 VX-12 VX-13" << "5/14";
    QTest::newRow("leaving devices") << QStringList{"t:VX-1", "-10", "-3"} << "VX-1 VX-11 VX-12" << "3/10";
    QTest::newRow("update into and out of it") << QStringList{"t:10.9.", "~4:10.9.0.4", "~5:10.9.0.5", "~4:10.8.0.4"} << "VX-5" << "1/12";
}

void TestQtVexa::quickFilter()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    QFETCH(QString, count);
    for (int i = 1; i <= 12; ++i)
        Online(i);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    View()->setFocus();
    QTest::keyClick(View(), Qt::Key_F, Qt::ControlModifier);
    QLineEdit *filter = Edit("lineEditFilter");
    QVERIFY(filter && filter->isVisible());
    QTRY_VERIFY(filter->hasFocus());
    for (const QString &step : steps) {
        if (step.startsWith("t:"))
            filter->setText(step.mid(2));
        else if (step.startsWith('+'))
            Online(step.mid(1).toInt());
        else if (step.startsWith('-'))
            Offline(step.mid(1).toInt());
        else
            emit m_page->DeviceUpdateSignal(Device(step.section(':', 0, 0).mid(1).toInt(), step.section(':', 1)));
    }
    QStringList visible;
    for (int row = 0; row < View()->RowCount(); ++row) {
        if (!View()->isRowHidden(row, {}))
            visible << Cell(row, Serial);
    }
    QCOMPARE(visible.join(' '), shown);
    QCOMPARE(m_page->findChild<QLabel *>("labelFilterCount")->text(), count);
    // The device count keeps counting every device.
    QCOMPARE(Count(), count.section('/', 1));

    // Selecting everything selects only what is shown: one shown row is the single-device panel.
    if (visible.size() == 1) {
        View()->selectAll();
        QVERIFY(QMetaObject::invokeMethod(m_page.get(), "OnDeviceTableClicked", Q_ARG(QModelIndex, QModelIndex())));
        QCOMPARE(Edit("lineEditSerial")->text(), visible.first());
        QVERIFY(!Edit("lineEditSerial")->isHidden());
    }

    QTest::keyClick(filter, Qt::Key_Escape);
    QVERIFY(!filter->isVisible());
    for (int row = 0; row < View()->RowCount(); ++row)
        QVERIFY(!View()->isRowHidden(row, {}));
}

namespace {

// RFC 4180 read back: quoted fields with doubled quotes, CRLF between records.
QList<QStringList> ParseCsv(const QString &text)
{
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"')
                field += c, ++i;
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            record << std::exchange(field, {});
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            record << std::exchange(field, {});
            records << std::exchange(record, {});
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

// Answers the next file dialog with `path`.
void AnswerFileDialog(const QString &path)
{
    QTimer::singleShot(0, [path] {
        QTRY_VERIFY(qobject_cast<QFileDialog *>(QApplication::activeModalWidget()));
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();
    });
}

} // namespace

void TestQtVexa::exportAndCopy_data()
{
    // JSON is checked against the scanner's output in tst_qtvexa_ops.
    QTest::addColumn<bool>("selectedOnly");
    QTest::newRow("all") << false;
    QTest::newRow("selected") << true;
}

void TestQtVexa::exportAndCopy()
{
    QFETCH(bool, selectedOnly);
    for (int i = 1; i <= 5; ++i) {
        VEXA_DEVICE_INFO_MY record = Device(i);
        if (i == 2)
            PutText(record.typeName, "VXC, \"HD\"\nB");
        if (i == 3)
            PutText(record.serialNo, "VX-\xE9\xFF");
        if (i == 1)
            PutText(record.typeName, "Other");
        emit m_page->DeviceOnlineSignal(record);
    }
    // Rows: VX-\xE9\xFF, VX-5, VX-4, VX-2, VX-1.
    View()->sortByColumn(Serial, Qt::DescendingOrder);
    // Shown and selected: rows 1 and 3; row 4 (VX-1) is selected but filtered out.
    QItemSelectionModel *selection = View()->selectionModel();
    for (int row : {1, 3, 4})
        selection->select(View()->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    const QString hiddenSerial = Cell(4, Serial);
    m_page->findChild<QLineEdit *>("lineEditFilter")->setText("vxc");
    QVERIFY(View()->isRowHidden(4, {}));
    const QList<int> rows = selectedOnly ? QList<int>{1, 3} : QList<int>{0, 1, 2, 3, 4};

    QTemporaryDir dir;
    const QString path = dir.filePath("devices.csv");
    AnswerFileDialog(path);
    m_page->findChild<QAction *>(selectedOnly ? "actionExportSelected" : "actionExportAll")->trigger();
    QFile written(path);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QList<QStringList> records = ParseCsv(QString::fromUtf8(written.readAll()));
    QCOMPARE(records.size(), rows.size() + 1);
    QCOMPARE(records.first().first(), QString("ID"));
    QCOMPARE(records.first().size(), 19);
    for (qsizetype i = 0; i < rows.size(); ++i) {
        for (int column = 0; column < 19; ++column)
            QCOMPARE(records[i + 1][column], Cell(rows[i], column));
    }

    // The clipboard gets the shown selected rows, as spreadsheets paste them.
    m_page->findChild<QAction *>("actionCopyRows")->trigger();
    const QStringList lines = QGuiApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].split(u'\t').size(), 19);
    QCOMPARE(lines[1].split(u'\t').value(Serial), Cell(1, Serial));
    QVERIFY(!QGuiApplication::clipboard()->text().contains(hiddenSerial));
}

void TestQtVexa::exportFailureKeepsTheFile_data()
{
    // Relative to a fresh directory holding "file" and "dir/kept"; the
    // first through the page and its "Error" dialog, the others straight.
    QTest::addColumn<QString>("target");
    QTest::newRow("under a file, from the page") << "file/devices.csv";
    QTest::newRow("onto a directory") << "dir";
    QTest::newRow("no such directory") << "missing/devices.json";
}

void TestQtVexa::exportFailureKeepsTheFile()
{
    QFETCH(QString, target);
    Online(1);
    QTemporaryDir dir;
    QFile file(dir.filePath("file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("before");
    file.close();
    QVERIFY(QDir(dir.path()).mkpath("dir"));
    QFile kept(dir.filePath("dir/kept"));
    QVERIFY(kept.open(QIODevice::WriteOnly));
    kept.close();

    if (QTest::currentDataTag() == QLatin1String("under a file, from the page")) {
        QString title;
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&title] {
            if (auto *dialog = qobject_cast<CWarnDlg *>(QApplication::activeModalWidget())) {
                title = dialog->GetTitle();
                dialog->reject();
            }
        });
        poll.start(10);
        AnswerFileDialog(dir.filePath(target));
        m_page->findChild<QAction *>("actionExportAll")->trigger();
        QCOMPARE(title, QString("Error"));
    } else {
        QVERIFY(DeviceExport::WriteAtomically(dir.filePath(target), "after"));
    }
    QVERIFY(QFile::exists(dir.filePath("dir/kept")));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("before"));
}

QTEST_MAIN(TestQtVexa)
#include "tst_qtvexa.moc"
