#include "cdlgabout.h"
#include "czel_vexamainwnd.h"
#include "devsimsession.h"
#include "dialogcatcher.h"
#include "modalhelper.h"
#include "qtvexa.h"
#include "vexareportcallback.h"

#include <ctabledelegate.h>
#include <ctableview.h>
#include <cwarndlg.h>

#include <QDateTime>
#include <QFile>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QToolButton>

#include <map>
#include <memory>

namespace {

enum Column { Id = 0, Ipv4 = 2, Port = 3, Gateway = 5, Serial = 6, Mask = 7 };
// Words of the simulator's "show" answer.
enum ShowWord { ShowIpv4 = 2, ShowMask, ShowGateway, ShowPort };

const QString kPassword = QStringLiteral("zel12345");
const QString kTwin = QStringLiteral("ZELTWIN");
constexpr int kDeviceCount = 5;

QString SerialOf(int device)
{
    return QStringLiteral("ZELX%1").arg(device, 4, 10, QLatin1Char('0'));
}

// The methods a class declares itself, as "signal name(types)" or "slot name(types)", in order.
QStringList DeclaredMethods(const QMetaObject &meta)
{
    QStringList methods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        const QMetaMethod method = meta.method(i);
        if (method.methodType() == QMetaMethod::Signal || method.methodType() == QMetaMethod::Slot)
            methods << (method.methodType() == QMetaMethod::Signal ? QStringLiteral("signal ") : QStringLiteral("slot "))
                           + QString::fromLatin1(method.methodSignature());
    }
    return methods;
}

// The names `nm -D` lists for the program with `option`.
QStringList DynamicSymbols(const QString &option)
{
    QProcess nm;
    nm.start(QStringLiteral(TEST_NM), {QStringLiteral("-D"), QStringLiteral("-C"), option, QStringLiteral(TEST_PROGRAM)});
    if (!nm.waitForFinished() || nm.exitCode() != 0)
        return {QStringLiteral("nm failed")};
    // "[address] type name", the name demangled and possibly with blanks.
    static const QRegularExpression entry(QStringLiteral("^\\s*(?:[0-9a-f]+\\s+)?\\S\\s+(.+)$"));
    QStringList names;
    for (const QString &line : QString::fromLatin1(nm.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
        names << entry.match(line).captured(1);
    return names;
}

} // namespace

// The older edition end to end: its page against two simulators on loopback,
// whose devices include two with one serial number, its main window, and what
// the program binds to and exports.
class TestZelVexa final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void declaredMethods_data();
    void declaredMethods();
    void programBindsOnlyTheEarlierInterface();
    void imagesAndStyleSheetAreCompiledIn();

    void listsDevicesWithTheOlderForm();
    void offlineTakesEveryDeviceOfTheSerial();
    void modifyOneDevice_data();
    void modifyOneDevice();
    void emptyGatewaySendsZeroes();
    void onlyTheCurrentDeviceIsChanged();
    void modifyAsksWhenTheCurrentDeviceIsNotSelected();
    void twinRowsAreOneDeviceForTheAddressCheck();
    void foldButtonNamesTheNextAction();
    void restoreDefaultPassword();

    void mainWindowAboutAndNoHelp();
    void confirmedCloseStopsDiscoveryAtOnce();

private:
    void StartPage();
    CTableView *View() const { return m_page->findChild<CTableView *>("tableWidgetDevice"); }
    QLineEdit *Edit(const char *name) const { return m_page->findChild<QLineEdit *>(name); }
    QString Cell(int row, int column) const { return View()->GetItemText(row, column); }
    QList<int> RowsOf(const QString &serial) const;
    int RowOf(int device) const { return RowsOf(SerialOf(device)).value(0, -1); }
    void ClickRow(int row, Qt::KeyboardModifiers modifiers = {});
    void Fill(const std::map<const char *, QString> &texts);
    void PressModify(DialogCatcher &catcher);

    DevsimSession m_devsim;
    DevsimSession m_twinSim;
    std::unique_ptr<QtVexa> m_page;
};

void TestZelVexa::initTestCase()
{
    QCOMPARE(qgetenv("VEXA_INTERFACES"), QByteArray("lo"));
    for (auto [sim, file] : {std::pair{&m_devsim, "zel-network.json"}, std::pair{&m_twinSim, "zel-twin.json"}}) {
        const QString error = sim->Start(QFINDTESTDATA(file));
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }
}

void TestZelVexa::cleanupTestCase()
{
    m_devsim.Stop();
    m_twinSim.Stop();
}

void TestZelVexa::cleanup()
{
    m_page.reset();
}

void TestZelVexa::StartPage()
{
    m_page = std::make_unique<QtVexa>();
    m_page->show();
    QVERIFY(QTest::qWaitForWindowActive(m_page.get()));
    for (int device = 1; device <= kDeviceCount; ++device)
        QTRY_VERIFY2_WITH_TIMEOUT(RowOf(device) >= 0, qPrintable(SerialOf(device)), 15000);
    QTRY_COMPARE_WITH_TIMEOUT(RowsOf(kTwin).size(), 2, 15000);
}

QList<int> TestZelVexa::RowsOf(const QString &serial) const
{
    QList<int> rows;
    for (int row = 0; row < View()->RowCount(); ++row) {
        if (Cell(row, Serial) == serial)
            rows << row;
    }
    return rows;
}

void TestZelVexa::ClickRow(int row, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex index = View()->model()->index(row, Port);
    View()->scrollTo(index);
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, modifiers, View()->visualRect(index).center());
}

void TestZelVexa::Fill(const std::map<const char *, QString> &texts)
{
    for (const auto &[name, text] : texts)
        Edit(name)->setText(text);
}

void TestZelVexa::PressModify(DialogCatcher &catcher)
{
    auto *button = m_page->findChild<QPushButton *>("pushButtonModifyNetwork");
    QVERIFY(button->isEnabled());
    button->click();
    QVERIFY(catcher.seen);
}

void TestZelVexa::declaredMethods_data()
{
    QTest::addColumn<const QMetaObject *>("meta");
    QTest::addColumn<QStringList>("methods");
    QTest::newRow("QtVexa") << &QtVexa::staticMetaObject
                            << QStringList{"signal DeviceOnlineSignal(VEXA_DEVICE_INFO)",
                                           "signal DeviceOfflineSignal(QString)",
                                           "signal DeviceUpdateSignal(VEXA_DEVICE_INFO)",
                                           "slot OnDeviceTableClicked(QModelIndex)",
                                           "slot OnModifyNetPara()",
                                           "slot OnDefaultPassword()",
                                           "slot OnManualUpdate()",
                                           "slot OnItemChanged(QModelIndex,QModelIndex)",
                                           "slot OnDeviceOnline(VEXA_DEVICE_INFO)",
                                           "slot OnDeviceOffline(QString)",
                                           "slot OnDeviceUpdate(VEXA_DEVICE_INFO)",
                                           "slot SortTable(int)",
                                           "slot OnHeaderCountChanged(int,int,int)",
                                           "slot OnHeaderPress(int)",
                                           "slot on_m_pBtnShrink_clicked()",
                                           "slot OnClickAction(QModelIndex)"};
    QTest::newRow("CTableView") << &CTableView::staticMetaObject
                                << QStringList{"signal SignalClickRelease(QModelIndex)", "signal PressedBtn(QModelIndex)",
                                               "signal ClickedBtn(QModelIndex)",
                                               "signal currentItemChanged(QModelIndex,QModelIndex)"};
    QTest::newRow("CTableDelegate") << &CTableDelegate::staticMetaObject << QStringList{};
    QTest::newRow("CZEL_VEXAMainWnd") << &CZEL_VEXAMainWnd::staticMetaObject
                                      << QStringList{"slot on_m_pBtnVexa_clicked()", "slot on_m_pBtnAbout_clicked()"};
}

void TestZelVexa::declaredMethods()
{
    QFETCH(const QMetaObject *, meta);
    QFETCH(QStringList, methods);
    QCOMPARE(DeclaredMethods(*meta), methods);
}

void TestZelVexa::programBindsOnlyTheEarlierInterface()
{
    const QStringList undefined = DynamicSymbols(QStringLiteral("--undefined-only"));
    QStringList library = undefined.filter(QRegularExpression(QStringLiteral("^VEXA_")));
    library.sort();
    QCOMPARE(library, QStringList({"VEXA_ResetDefaultPasswd", "VEXA_SendInquiry", "VEXA_Start_V20", "VEXA_Stop",
                                   "VEXA_UpdateIpV20"}));
    // Nothing of the tool for a host program, and no plug-in machinery.
    static const QRegularExpression tool(QStringLiteral(
        "Vexa|VEXA|ZEL|Orvo|CTable|CBase|CWarn|CTool|CLabel|CPushButton|CWindowTitle|CDlgAbout|Client|DeviceRecord"));
    QCOMPARE(DynamicSymbols(QStringLiteral("--defined-only")).filter(tool), QStringList());
    QCOMPARE(undefined.filter(QStringLiteral("QPluginLoader")), QStringList());
}

void TestZelVexa::imagesAndStyleSheetAreCompiledIn()
{
    for (const char *path : {":/qss/VEXA.qss", ":/images/ButtonIcon/fold.png", ":/images/ButtonIcon/unfold.png",
                             ":/images/title/Eye.png", ":/images/Dialog/dialog_bg2.png", ":images/public/ProgressBar/ProgressBar.png"})
        QVERIFY2(QFile::exists(QString::fromLatin1(path)), path);
}

void TestZelVexa::listsDevicesWithTheOlderForm()
{
    StartPage();
    QCOMPARE(View()->RowCount(), kDeviceCount + 2);
    QCOMPARE(m_page->findChild<QLabel *>("m_pLabelCount")->text(), QString::number(kDeviceCount + 2));
    QCOMPARE(Cell(RowOf(3), Ipv4), QStringLiteral("10.32.0.13"));
    QCOMPARE(Edit("m_pDefaultPwdLEdit")->placeholderText(), QStringLiteral("Serial code"));
    QCOMPARE(m_page->findChild<QLabel *>("label_6")->text(),
             QStringLiteral("Tips:Serial Number is produced by device serial and start time."));
    QVERIFY(!m_page->findChild<QToolButton *>("m_pBtnExpand")->isVisible());
    // Several rows: no batch title and no start address, and no cell opens an editor.
    ClickRow(RowOf(1));
    ClickRow(RowOf(2), Qt::ControlModifier);
    QCOMPARE(m_page->findChild<QLabel *>("label_162")->text(), QStringLiteral("Modify Network parameters"));
    QCOMPARE(m_page->findChild<QLabel *>("label_7")->text(), QStringLiteral("IP Address:"));
    QCOMPARE(Edit("lineEditSerial")->text(), SerialOf(2));
    QCOMPARE(View()->editTriggers(), QAbstractItemView::NoEditTriggers);
    // IPv4 only: the IPv6 fields stay closed even on a device that could change them.
    ClickRow(RowOf(1));
    QCOMPARE(Edit("lineEditIPv6Addr")->text(), QStringLiteral("fd00:32::11"));
    QVERIFY(!Edit("lineEditIPv6Addr")->isEnabled());
}

// Two devices report one serial number: one goodbye takes both rows and both
// records, so that a device coming back shows its own parameters, never the
// other's left behind.
void TestZelVexa::offlineTakesEveryDeviceOfTheSerial()
{
    StartPage();
    QCOMPARE(m_devsim.Command("offline " + kTwin.toLatin1()).value(0), QStringLiteral("ok offline 1"));
    QTRY_COMPARE_WITH_TIMEOUT(RowsOf(kTwin).size(), 0, 10000);
    QCOMPARE(View()->RowCount(), kDeviceCount);
    QCOMPARE(m_page->findChild<QLabel *>("m_pLabelCount")->text(), QString::number(kDeviceCount));
    QCOMPARE(m_twinSim.Command("offline " + kTwin.toLatin1()).value(0), QStringLiteral("ok offline 1"));

    for (auto [sim, address] : {std::pair{&m_twinSim, "10.32.0.51"}, std::pair{&m_devsim, "10.32.0.50"}}) {
        QCOMPARE(sim->Command("online " + kTwin.toLatin1()).value(0), QStringLiteral("ok online 1"));
        QTRY_COMPARE_WITH_TIMEOUT(RowsOf(kTwin).size(), 1, 10000);
        ClickRow(RowsOf(kTwin).first());
        QCOMPARE(Cell(RowsOf(kTwin).first(), Ipv4), QString::fromLatin1(address));
        QCOMPARE(Edit("lineEditIPAddr")->text(), QString::fromLatin1(address));
        QCOMPARE(sim->Command("offline " + kTwin.toLatin1()).value(0), QStringLiteral("ok offline 1"));
        QTRY_COMPARE_WITH_TIMEOUT(RowsOf(kTwin).size(), 0, 10000);
    }
    for (DevsimSession *sim : {&m_devsim, &m_twinSim})
        QCOMPARE(sim->Command("online " + kTwin.toLatin1()).value(0), QStringLiteral("ok online 1"));
}

void TestZelVexa::modifyOneDevice_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("address");
    // Different devices: a wrong password locks its device out for a while.
    QTest::newRow("right password") << 1 << kPassword << "Information" << "Modify network parameter succeed."
                                    << "10.32.5.21";
    QTest::newRow("wrong password") << 3 << "not-it" << "Error" << "Modify network parameter failed!" << "10.32.0.13";
}

void TestZelVexa::modifyOneDevice()
{
    QFETCH(int, device);
    QFETCH(QString, password);
    QFETCH(QString, title);
    QFETCH(QString, message);
    QFETCH(QString, address);
    StartPage();
    const bool accepted = password == kPassword;
    const QStringList before = m_devsim.Show(SerialOf(device));
    ClickRow(RowOf(device));
    // An address of the device's own: another listed device's would be refused before sending.
    Fill({{"lineEditIPAddr", QStringLiteral("010.032.005.%1").arg(20 + device, 3, 10, QLatin1Char('0'))},
          {"lineEditIPMask", "255.255.0.0"},
          {"lineEditPort", "8100"},
          {"lineEditIPGateway", "10.32.0.254"},
          {"lineEditPort_Password", password}});
    DialogCatcher catcher;
    PressModify(catcher);
    QCOMPARE(catcher.title, title);
    QCOMPARE(catcher.text, message);

    const QStringList expected = accepted ? QStringList{"10.32.5.21", "255.255.0.0", "10.32.0.254", "8100"}
                                          : before.mid(ShowIpv4, 4);
    QCOMPARE(m_devsim.Show(SerialOf(device)).mid(ShowIpv4, 4), expected);
    const int row = RowOf(device);
    QCOMPARE(Cell(row, Ipv4), address);
    QCOMPARE(Cell(row, Mask), accepted ? QStringLiteral("255.255.0.0") : QStringLiteral("255.255.255.0"));
    QCOMPARE(Cell(row, Port), accepted ? QStringLiteral(" 8100") : QStringLiteral(" 8000"));
    // The record follows the row: selecting the device again shows what it now has.
    ClickRow(RowOf(2));
    ClickRow(row);
    QCOMPARE(Edit("lineEditIPAddr")->text(), address);
}

void TestZelVexa::emptyGatewaySendsZeroes()
{
    StartPage();
    ClickRow(RowOf(4));
    Fill({{"lineEditIPGateway", "  "}, {"lineEditPort_Password", kPassword}});
    DialogCatcher catcher;
    PressModify(catcher);
    QCOMPARE(catcher.text, QStringLiteral("Modify network parameter succeed."));
    QCOMPARE(Edit("lineEditIPGateway")->text(), QStringLiteral("0.0.0.0"));
    QCOMPARE(Cell(RowOf(4), Gateway), QStringLiteral("0.0.0.0"));
    // The device takes 0.0.0.0 as no gateway at all.
    QCOMPARE(m_devsim.Show(SerialOf(4)).value(ShowGateway), QStringLiteral("-"));
}

void TestZelVexa::onlyTheCurrentDeviceIsChanged()
{
    StartPage();
    ClickRow(RowOf(2));
    ClickRow(RowOf(3), Qt::ControlModifier);
    ClickRow(RowOf(5), Qt::ControlModifier);
    QCOMPARE(View()->selectionModel()->selectedRows().size(), 3);
    Fill({{"lineEditIPAddr", "10.32.6.5"}, {"lineEditPort_Password", kPassword}});
    DialogCatcher catcher;
    PressModify(catcher);
    QCOMPARE(catcher.text, QStringLiteral("Modify network parameter succeed."));
    QCOMPARE(m_devsim.Show(SerialOf(5)).value(ShowIpv4), QStringLiteral("10.32.6.5"));
    QCOMPARE(m_devsim.Show(SerialOf(2)).value(ShowIpv4), QStringLiteral("10.32.0.12"));
    QCOMPARE(m_devsim.Show(SerialOf(3)).value(ShowIpv4), QStringLiteral("10.32.0.13"));
    QCOMPARE(Cell(RowOf(3), Ipv4), QStringLiteral("10.32.0.13"));
}

// Ctrl+Space on the current row clears the selection and leaves the row
// current, its parameters in the panel: Modify asks for a device and sends nothing.
void TestZelVexa::modifyAsksWhenTheCurrentDeviceIsNotSelected()
{
    StartPage();
    const QStringList before = m_devsim.Show(SerialOf(2));
    const QModelIndex serial = View()->model()->index(RowOf(2), Serial);
    View()->scrollTo(serial);
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, {}, View()->visualRect(serial).center());
    QTest::keyClick(View(), Qt::Key_Space, Qt::ControlModifier);
    QVERIFY(View()->selectionModel()->selectedRows().isEmpty());
    QCOMPARE(View()->currentIndex().row(), RowOf(2));
    Fill({{"lineEditIPAddr", "10.32.7.2"}, {"lineEditPort_Password", kPassword}});
    DialogCatcher catcher;
    PressModify(catcher);
    QCOMPARE(catcher.title, QStringLiteral("Information"));
    QCOMPARE(catcher.text, QStringLiteral("Please select a device."));
    QCOMPARE(m_devsim.Show(SerialOf(2)), before);
}

// A device is its serial number here: the two rows of the twin serial are one
// device, so moving one onto the other's address is not refused (a wrong
// password shows that the request went out, and changes nothing).
void TestZelVexa::twinRowsAreOneDeviceForTheAddressCheck()
{
    StartPage();
    const QList<int> twins = RowsOf(kTwin);
    QVERIFY(Cell(twins[0], Ipv4) != Cell(twins[1], Ipv4));
    ClickRow(twins[0]);
    Fill({{"lineEditIPAddr", Cell(twins[1], Ipv4)}, {"lineEditPort_Password", "not-it"}});
    DialogCatcher catcher;
    PressModify(catcher);
    QCOMPARE(catcher.text, QStringLiteral("Modify network parameter failed!"));
}

void TestZelVexa::foldButtonNamesTheNextAction()
{
    StartPage();
    auto *fold = m_page->findChild<QToolButton *>("m_pBtnShrink");
    QWidget *panel = m_page->findChild<QWidget *>("m_pSetFrame");
    const QImage foldImage = QImage(QStringLiteral(":/images/ButtonIcon/fold.png"));
    const QImage unfoldImage = QImage(QStringLiteral(":/images/ButtonIcon/unfold.png"));
    QVERIFY(foldImage != unfoldImage);
    for (bool folded : {false, true, false, true}) {
        QCOMPARE(panel->isVisible(), !folded);
        QVERIFY(fold->isVisible());
        QCOMPARE(fold->toolTip(), folded ? QStringLiteral("Show") : QStringLiteral("Hide"));
        QCOMPARE(fold->icon().pixmap(foldImage.size()).toImage().convertToFormat(foldImage.format()),
                 folded ? unfoldImage : foldImage);
        QTest::mouseClick(fold, Qt::LeftButton);
    }
}

void TestZelVexa::restoreDefaultPassword()
{
    QProcess scan;
    scan.start(QCoreApplication::applicationDirPath() + QStringLiteral("/vexa-scan"),
               {QStringLiteral("code"), QStringLiteral("--serial"), SerialOf(2), QStringLiteral("--date"),
                QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate), QStringLiteral("--key"),
                QCoreApplication::applicationDirPath() + QStringLiteral("/demo-factory.key")});
    QVERIFY(scan.waitForFinished());
    QCOMPARE(scan.exitCode(), 0);
    const QString code = QString::fromLatin1(scan.readAllStandardOutput()).trimmed();

    StartPage();
    ClickRow(RowOf(2));
    for (const auto &[typed, title, text] :
         {std::tuple{code, "Information", "Restore default password succeed."},
          std::tuple{QStringLiteral("NOT-THE-CODE"), "Error", "Restore default password failed!"}}) {
        Edit("m_pDefaultPwdLEdit")->setText(typed);
        DialogCatcher catcher;
        m_page->findChild<QPushButton *>("pushButtonModifyPassword")->click();
        QCOMPARE(catcher.title, QString::fromLatin1(title));
        QCOMPARE(catcher.text, QString::fromLatin1(text));
    }
}

void TestZelVexa::mainWindowAboutAndNoHelp()
{
    CZEL_VEXAMainWnd window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.size(), QSize(1024, 768));
    auto *aboutTab = window.findChild<QPushButton *>("m_pBtnAbout");
    QCOMPARE(aboutTab->text(), QStringLiteral("About"));

    // F1 opens nothing: no dialog, no menu, no manual.
    QTest::keyClick(&window, Qt::Key_F1);
    QTest::qWait(50);
    QCOMPARE(QApplication::activeModalWidget(), nullptr);
    QCOMPARE(QApplication::activePopupWidget(), nullptr);

    QString text;
    QSize size;
    WhenModal<CDlgAbout>([&](CDlgAbout *about) {
        size = about->size();
        text = about->findChild<QLabel *>("pLabelAbout")->text();
        about->reject();
    });
    QTest::mouseClick(aboutTab, Qt::LeftButton);
    QCOMPARE(size, QSize(400, 200));
    static const QRegularExpression about(QStringLiteral("^VEXA\n v2\\.00\\.00\\.03 Build20\\d{6}$"));
    QVERIFY2(about.match(text).hasMatch(), qPrintable(text));
}

void TestZelVexa::confirmedCloseStopsDiscoveryAtOnce()
{
    auto window = std::make_unique<CZEL_VEXAMainWnd>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(g_pQtVexa);
    WhenModal<CWarnDlg>([](CWarnDlg *ask) { QTest::mouseClick(ask->findChild<QPushButton *>("pOkBtn"), Qt::LeftButton); });
    QVERIFY(window->close());
    // Before any event loop has run the queued quit.
    QCOMPARE(g_pQtVexa, nullptr);
    QCOMPARE(window->findChild<QtVexa *>(), nullptr);
    window.reset();
}

QTEST_MAIN(TestZelVexa)
#include "tst_zel_vexa.moc"
