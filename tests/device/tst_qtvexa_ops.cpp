#include "devsimsession.h"
#include "dialogcatcher.h"
#include "qtvexa.h"

#include <ctableview.h>
#include <ctooltip.h>

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QFileDialog>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <map>
#include <memory>

namespace {

enum Column { Id = 0, Ipv4 = 2, Port = 3, Gateway = 5, Serial = 6, Mask = 7 };
// Words of the simulator's "show" answer.
enum ShowWord { ShowIpv4 = 2, ShowMask, ShowGateway, ShowPort, ShowIpv6, ShowIpv6Gateway, ShowPrefix };

const QByteArray kPassword = "ops12345";
constexpr int kDeviceCount = 14;

QString SerialOf(int device)
{
    return QStringLiteral("OPSX%1").arg(device, 4, 10, QLatin1Char('0'));
}

} // namespace

// Modify and the default password restore from the device page, against
// vexa-devsim on loopback: what the devices end up with, what the page shows
// and what the user is told.
class TestQtVexaOps final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void cleanup();

    void noCurrentRowOnlyAsksForADevice();
    void readdressesOneDevice();
    void leadingZerosAreSentInPlainDecimal();
    void batchFollowsTheSelectionOrder();
    void wrongPasswordFailsOnlyItsDevice();
    void rowWithoutRecordIsReportedFailed();
    void keyboardSelectionSendsNoIpv6ToSeveral();
    void emptiedSelectionChangesNothing();
    void validationFailureSendsNothing_data();
    void validationFailureSendsNothing();
    void batchPastTheLastOctetIsRefused();
    void batchOntoAListedDeviceIsRefused();
    void exportedJsonReadsAsTheScanner();
    void restoreDefaultPassword();
    void emptySecurityCodeIsRefusedAtTheField();

private:
    void StartPage();
    CTableView *View() const { return m_page->findChild<CTableView *>("tableWidgetDevice"); }
    QLineEdit *Edit(const char *name) const { return m_page->findChild<QLineEdit *>(name); }
    QString Cell(int row, int column) const { return View()->GetItemText(row, column); }
    int RowOf(int device) const;
    void Click(int device, Qt::KeyboardModifiers modifiers = {});
    void Fill(const std::map<const char *, QString> &texts);
    void Press(const char *button, DialogCatcher &catcher);
    qint64 RequestsSent() { return m_devsim.Stat("nonce") + m_devsim.Stat("modify") + m_devsim.Stat("reset"); }
    void VerifyTipAt(const char *field, const QString &message);

    DevsimSession m_devsim;
    std::unique_ptr<QtVexa> m_page;
};

void TestQtVexaOps::initTestCase()
{
    QCOMPARE(qgetenv("VEXA_INTERFACES"), QByteArray("lo"));
    const QString network = QFINDTESTDATA("ops-network.json");
    QVERIFY(!network.isEmpty());
    QCOMPARE(DevsimSession::DevicesOf(network).size(), kDeviceCount);
    const QString error = m_devsim.Start(network);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestQtVexaOps::cleanupTestCase()
{
    m_devsim.Stop();
}

void TestQtVexaOps::cleanup()
{
    m_page.reset();
}

void TestQtVexaOps::StartPage()
{
    m_page = std::make_unique<QtVexa>();
    m_page->show();
    QVERIFY(QTest::qWaitForWindowActive(m_page.get()));
    for (int device = 1; device <= kDeviceCount; ++device)
        QTRY_VERIFY2_WITH_TIMEOUT(RowOf(device) >= 0, qPrintable(SerialOf(device)), 15000);
}

int TestQtVexaOps::RowOf(int device) const
{
    const QString serial = SerialOf(device);
    for (int row = 0; row < View()->RowCount(); ++row) {
        if (Cell(row, Serial) == serial)
            return row;
    }
    return -1;
}

void TestQtVexaOps::Click(int device, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex index = View()->model()->index(RowOf(device), Port);
    View()->scrollTo(index);
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, modifiers, View()->visualRect(index).center());
}

void TestQtVexaOps::Fill(const std::map<const char *, QString> &texts)
{
    for (const auto &[name, text] : texts)
        Edit(name)->setText(text);
}

void TestQtVexaOps::Press(const char *button, DialogCatcher &catcher)
{
    auto *pushButton = m_page->findChild<QPushButton *>(button);
    QVERIFY(pushButton->isEnabled());
    pushButton->click();
    QVERIFY(!catcher.cursorBusy);
}

void TestQtVexaOps::VerifyTipAt(const char *field, const QString &message)
{
    QVERIFY(CToolTip::isVisible());
    QCOMPARE(CToolTip::text(), message);
    // Just under the field: not at a neighbouring row of the panel.
    const QLineEdit *edit = Edit(field);
    const int fieldBottom = edit->mapToGlobal(QPoint(0, edit->height())).y();
    QVERIFY2(qAbs(CToolLabel::instance()->y() - fieldBottom) <= 8,
             qPrintable(QStringLiteral("tip at %1, field ends at %2").arg(CToolLabel::instance()->y()).arg(fieldBottom)));
}

void TestQtVexaOps::noCurrentRowOnlyAsksForADevice()
{
    StartPage();
    QVERIFY(!View()->currentIndex().isValid());
    const qint64 before = RequestsSent();
    for (const char *command : {"OnModifyNetPara", "OnDefaultPassword"}) {
        DialogCatcher catcher;
        // The buttons are disabled without a selection; the commands still guard themselves.
        QVERIFY(QMetaObject::invokeMethod(m_page.get(), command));
        QVERIFY(catcher.seen);
        QCOMPARE(catcher.title, QStringLiteral("Information"));
        QCOMPARE(catcher.text, QStringLiteral("Please select a device."));
    }
    QCOMPARE(RequestsSent(), before);
}

void TestQtVexaOps::readdressesOneDevice()
{
    StartPage();
    Click(1);
    QVERIFY(Edit("lineEditIPv6Addr")->isEnabled());
    Fill({{"lineEditIPAddr", "10.31.5.21"},
          {"lineEditIPMask", "255.255.0.0"},
          {"lineEditPort", "8100"},
          {"lineEditIPGateway", "10.31.0.254"},
          {"lineEditIPv6Addr", "fd00:31::99"},
          {"lineEditIPv6Gateway", "fd00:31::1"},
          {"lineEditIPv6Mask", "48"},
          {"lineEditPort_Password", kPassword}});
    DialogCatcher catcher;
    Press("pushButtonModifyNetwork", catcher);
    const int row = RowOf(1);
    QCOMPARE(catcher.title, QStringLiteral("Information"));
    QCOMPARE(catcher.text, QStringLiteral("Modify network parameter succeed.ID:%1 ").arg(Cell(row, Id)));

    QCOMPARE(Cell(row, Ipv4), QStringLiteral("10.31.5.21"));
    QCOMPARE(Cell(row, Port), QStringLiteral(" 8100"));
    QCOMPARE(Cell(row, Mask), QStringLiteral("255.255.0.0"));
    QCOMPARE(Cell(row, Gateway), QStringLiteral("10.31.0.254"));
    const QStringList device = m_devsim.Show(SerialOf(1));
    QCOMPARE(device.mid(ShowIpv4, 7), QStringList({"10.31.5.21", "255.255.0.0", "10.31.0.254", "8100", "fd00:31::99",
                                                   "fd00:31::1", "48"}));
    // The panel keeps what was typed.
    QCOMPARE(Edit("lineEditIPAddr")->text(), QStringLiteral("10.31.5.21"));
}

void TestQtVexaOps::leadingZerosAreSentInPlainDecimal()
{
    StartPage();
    Click(12);
    Fill({{"lineEditIPAddr", "010.031.000.099"},
          {"lineEditIPGateway", " 010.031.000.001 "},
          {"lineEditPort_Password", kPassword}});
    DialogCatcher catcher;
    Press("pushButtonModifyNetwork", catcher);
    QVERIFY2(catcher.text.startsWith(QLatin1String("Modify network parameter succeed.")), qPrintable(catcher.text));
    const int row = RowOf(12);
    QCOMPARE(Cell(row, Ipv4), QStringLiteral("10.31.0.99"));
    QCOMPARE(Cell(row, Gateway), QStringLiteral("10.31.0.1"));
    QCOMPARE(m_devsim.Show(SerialOf(12)).mid(ShowIpv4, 3), QStringList({"10.31.0.99", "255.255.255.0", "10.31.0.1"}));
}

void TestQtVexaOps::batchFollowsTheSelectionOrder()
{
    StartPage();
    Click(4);
    Click(2, Qt::ControlModifier);
    Click(3, Qt::ControlModifier);
    QVERIFY(!Edit("lineEditSerial")->isVisible());
    QVERIFY(Edit("lineEditIPAddr")->text().isEmpty());
    QVERIFY(!Edit("lineEditIPv6Addr")->isEnabled());
    Fill({{"lineEditIPAddr", "10.31.7.50"},
          {"lineEditIPMask", "255.255.255.0"},
          {"lineEditPort", "8000"},
          {"lineEditPort_Password", kPassword}});
    DialogCatcher catcher;
    Press("pushButtonModifyNetwork", catcher);
    QCOMPARE(catcher.text, QStringLiteral("Modify network parameter succeed.ID:%1 %2 %3 ")
                               .arg(Cell(RowOf(4), Id), Cell(RowOf(2), Id), Cell(RowOf(3), Id)));
    int position = 0;
    for (int device : {4, 2, 3}) {
        const QString address = QStringLiteral("10.31.7.%1").arg(50 + position++);
        QCOMPARE(Cell(RowOf(device), Ipv4), address);
        const QStringList shown = m_devsim.Show(SerialOf(device));
        QCOMPARE(shown.value(ShowIpv4), address);
        // The empty gateway was not sent: the device kept its own, and so did the row.
        QCOMPARE(shown.value(ShowGateway), QStringLiteral("10.31.0.1"));
        QCOMPARE(Cell(RowOf(device), Gateway), QStringLiteral("10.31.0.1"));
    }
}

void TestQtVexaOps::wrongPasswordFailsOnlyItsDevice()
{
    StartPage();
    Click(5);
    Click(6, Qt::ControlModifier);
    Click(7, Qt::ControlModifier);
    Fill({{"lineEditIPAddr", "10.31.8.10"},
          {"lineEditIPMask", "255.255.255.0"},
          {"lineEditPort", "8000"},
          {"lineEditPort_Password", kPassword}});
    DialogCatcher catcher;
    Press("pushButtonModifyNetwork", catcher);
    QCOMPARE(catcher.title, QStringLiteral("Information"));
    QCOMPARE(catcher.text, QStringLiteral("Modify network parameter succeed.ID:%1 %2 Modify network parameter failed!ID:%3 ")
                               .arg(Cell(RowOf(5), Id), Cell(RowOf(7), Id), Cell(RowOf(6), Id)));
    QCOMPARE(m_devsim.Show(SerialOf(5)).value(ShowIpv4), QStringLiteral("10.31.8.10"));
    QCOMPARE(m_devsim.Show(SerialOf(6)).value(ShowIpv4), QStringLiteral("10.31.0.16"));
    QCOMPARE(m_devsim.Show(SerialOf(7)).value(ShowIpv4), QStringLiteral("10.31.8.12"));
    QCOMPARE(Cell(RowOf(6), Ipv4), QStringLiteral("10.31.0.16"));
}

void TestQtVexaOps::rowWithoutRecordIsReportedFailed()
{
    StartPage();
    // A row the page made no record for names no device to send to, whatever it shows.
    const int ghost = View()->AppendRow();
    QVERIFY(ghost >= 0);
    View()->SetItemText(ghost, Serial, SerialOf(14));
    Click(13);
    const QModelIndex ghostCell = View()->model()->index(ghost, Port);
    View()->scrollTo(ghostCell);
    QTest::mouseClick(View()->viewport(), Qt::LeftButton, Qt::ControlModifier, View()->visualRect(ghostCell).center());
    QCOMPARE(View()->selectionModel()->selectedRows().size(), 2);
    Fill({{"lineEditIPAddr", "10.31.10.1"},
          {"lineEditIPMask", "255.255.255.0"},
          {"lineEditPort", "8000"},
          {"lineEditPort_Password", kPassword}});
    const qint64 modifiesBefore = m_devsim.Stat("modify");
    DialogCatcher catcher;
    Press("pushButtonModifyNetwork", catcher);
    QCOMPARE(catcher.text, QStringLiteral("Modify network parameter succeed.ID:%1 Modify network parameter failed!ID:%2 ")
                               .arg(Cell(RowOf(13), Id), Cell(ghost, Id)));
    QCOMPARE(m_devsim.Stat("modify"), modifiesBefore + 1);
    QCOMPARE(m_devsim.Show(SerialOf(13)).value(ShowIpv4), QStringLiteral("10.31.10.1"));
    QCOMPARE(m_devsim.Show(SerialOf(14)).value(ShowIpv4), QStringLiteral("10.31.0.24"));
}

void TestQtVexaOps::keyboardSelectionSendsNoIpv6ToSeveral()
{
    StartPage();
    Click(9);
    // Extended from the keyboard: no mouse release, so the panel stays the single-device one.
    View()->selectionModel()->select(View()->model()->index(RowOf(10), Id),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QCOMPARE(View()->selectionModel()->selectedRows().size(), 2);
    QVERIFY(Edit("lineEditIPv6Addr")->isEnabled());
    Fill({{"lineEditIPAddr", "10.31.11.5"},
          {"lineEditIPv6Addr", "fd00:31::77"},
          {"lineEditPort_Password", kPassword}});
    DialogCatcher catcher;
    Press("pushButtonModifyNetwork", catcher);
    QVERIFY2(!catcher.text.contains(QLatin1String("failed")), qPrintable(catcher.text));
    QCOMPARE(m_devsim.Show(SerialOf(9)).mid(ShowIpv4, 1) + m_devsim.Show(SerialOf(9)).mid(ShowIpv6, 1),
             QStringList({"10.31.11.5", "fd00:31::19"}));
    QCOMPARE(m_devsim.Show(SerialOf(10)).mid(ShowIpv4, 1) + m_devsim.Show(SerialOf(10)).mid(ShowIpv6, 1),
             QStringList({"10.31.11.6", "fd00:31::20"}));
}

void TestQtVexaOps::emptiedSelectionChangesNothing()
{
    StartPage();
    Click(11);
    Fill({{"lineEditIPAddr", "10.31.13.1"}, {"lineEditPort_Password", kPassword}});
    // Emptied from the keyboard: the current row stays, no row is selected.
    View()->selectionModel()->clearSelection();
    QVERIFY(View()->currentIndex().isValid());
    const qint64 before = RequestsSent();
    DialogCatcher catcher;
    Press("pushButtonModifyNetwork", catcher);
    QCOMPARE(catcher.title, QStringLiteral("Information"));
    QCOMPARE(catcher.text, QString());
    QCOMPARE(RequestsSent(), before);
}

void TestQtVexaOps::validationFailureSendsNothing_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("address empty") << QByteArray("lineEditIPAddr") << "  " << "IP address cannot be empty.";
    QTest::newRow("address ends in 0") << QByteArray("lineEditIPAddr") << "10.31.12.0" << "IP Address not correct.";
    QTest::newRow("mask empty") << QByteArray("lineEditIPMask") << "" << "Subnet mask cannot be empty.";
    QTest::newRow("mask with a gap") << QByteArray("lineEditIPMask") << "255.0.255.0" << "Subnet Mask not correct.";
    QTest::newRow("port 80") << QByteArray("lineEditPort") << "80" << "Device port ranges from 2000 to 65535.";
    QTest::newRow("port not a number") << QByteArray("lineEditPort") << "x" << "Device port ranges from 2000 to 65535.";
    QTest::newRow("gateway") << QByteArray("lineEditIPGateway") << "10.31.0.0" << "Gateway not correct.";
    QTest::newRow("IPv6 empty") << QByteArray("lineEditIPv6Addr") << "" << "IPv6 address cannot be empty.";
    QTest::newRow("IPv6 over-long") << QByteArray("lineEditIPv6Addr") << "1:2:3:4:5:6:7:1.2.3.4"
                                    << "IPv6 Address not correct.";
    QTest::newRow("IPv6 gateway") << QByteArray("lineEditIPv6Gateway") << "fe80::1::2" << "IPv6 gateway not correct.";
    QTest::newRow("prefix 65") << QByteArray("lineEditIPv6Mask") << "65" << "IPv6 prefix length ranges from 0 to 64.";
}

void TestQtVexaOps::validationFailureSendsNothing()
{
    QFETCH(QByteArray, field);
    QFETCH(QString, text);
    QFETCH(QString, message);
    StartPage();
    Click(11);
    QVERIFY(Edit("lineEditIPv6Addr")->isEnabled());
    // Every field valid but the one under test.
    Fill({{"lineEditIPAddr", "10.31.12.11"},
          {"lineEditIPMask", "255.255.255.0"},
          {"lineEditPort", "8000"},
          {"lineEditIPGateway", "10.31.0.1"},
          {"lineEditIPv6Addr", "fd00:31::99"},
          {"lineEditIPv6Gateway", "fd00:31::1"},
          {"lineEditIPv6Mask", "64"},
          {"lineEditPort_Password", kPassword}});
    Edit(field.constData())->setText(text);
    const qint64 before = RequestsSent();
    DialogCatcher catcher;
    m_page->findChild<QPushButton *>("pushButtonModifyNetwork")->click();
    QVERIFY(!catcher.seen);
    VerifyTipAt(field.constData(), message);
    QCOMPARE(RequestsSent(), before);
    QCOMPARE(m_devsim.Show(SerialOf(11)).value(ShowIpv4), QStringLiteral("10.31.0.21"));
    QCOMPARE(Edit(field.constData())->text(), text);
}

void TestQtVexaOps::batchPastTheLastOctetIsRefused()
{
    StartPage();
    Click(2);
    Click(3, Qt::ControlModifier);
    Click(4, Qt::ControlModifier);
    Fill({{"lineEditIPAddr", "10.31.9.254"},
          {"lineEditIPMask", "255.255.255.0"},
          {"lineEditPort", "8000"},
          {"lineEditPort_Password", kPassword}});
    const qint64 before = RequestsSent();
    DialogCatcher catcher;
    m_page->findChild<QPushButton *>("pushButtonModifyNetwork")->click();
    QVERIFY(!catcher.seen);
    VerifyTipAt("lineEditIPAddr", QStringLiteral("Not enough addresses after the start IP address for 3 devices."));
    QCOMPARE(RequestsSent(), before);
    for (int device : {2, 3, 4})
        QVERIFY(!m_devsim.Show(SerialOf(device)).value(ShowIpv4).startsWith(QLatin1String("10.31.9.")));

    // One address fewer needed: the batch goes out.
    Edit("lineEditIPAddr")->setText(QStringLiteral("10.31.9.253"));
    DialogCatcher accepted;
    Press("pushButtonModifyNetwork", accepted);
    QVERIFY2(!accepted.text.contains(QLatin1String("failed")), qPrintable(accepted.text));
    QCOMPARE(m_devsim.Show(SerialOf(4)).value(ShowIpv4), QStringLiteral("10.31.9.255"));
}

void TestQtVexaOps::batchOntoAListedDeviceIsRefused()
{
    StartPage();
    Click(6);
    Click(7, Qt::ControlModifier);
    // The plan starts on device 9's address.
    const QString taken = Cell(RowOf(9), Ipv4);
    const QString start = taken;
    Fill({{"lineEditIPAddr", start},
          {"lineEditIPMask", "255.255.255.0"},
          {"lineEditPort", "8000"},
          {"lineEditPort_Password", kPassword}});
    const qint64 before = RequestsSent();
    DialogCatcher catcher;
    m_page->findChild<QPushButton *>("pushButtonModifyNetwork")->click();
    QVERIFY(!catcher.seen);
    QVERIFY(CToolTip::isVisible());
    QVERIFY2(CToolTip::text().contains(SerialOf(9)), qPrintable(CToolTip::text()));
    QCOMPARE(RequestsSent(), before);
    QCOMPARE(m_devsim.Show(SerialOf(9)).value(ShowIpv4), taken);
    QVERIFY(m_devsim.Show(SerialOf(6)).value(ShowIpv4) != start);
}

void TestQtVexaOps::exportedJsonReadsAsTheScanner()
{
    StartPage();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("devices.json"));
    QTimer::singleShot(0, this, [path] {
        QTRY_VERIFY(qobject_cast<QFileDialog *>(QApplication::activeModalWidget()));
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept();
    });
    m_page->findChild<QAction *>(QStringLiteral("actionExportAll"))->trigger();
    QFile exported(path);
    QVERIFY(exported.open(QIODevice::ReadOnly));
    const QJsonArray pageDevices = QJsonDocument::fromJson(exported.readAll()).array();
    QCOMPARE(pageDevices.size(), kDeviceCount);

    QProcess scan;
    scan.start(QCoreApplication::applicationDirPath() + QStringLiteral("/vexa-scan"),
               {QStringLiteral("list"), QStringLiteral("--json")});
    QVERIFY(scan.waitForFinished(30000));
    QCOMPARE(scan.exitCode(), 0);
    std::map<QString, QJsonObject> scanned;
    for (const QJsonValue &device : QJsonDocument::fromJson(scan.readAllStandardOutput()).array())
        scanned[device[QStringLiteral("serialNo")].toString()] = device.toObject();
    for (const QJsonValue &device : pageDevices) {
        const QJsonObject page = device.toObject();
        const QString serial = page[QStringLiteral("serialNo")].toString();
        QVERIFY2(scanned.count(serial), qPrintable(serial));
        for (const QString &key : page.keys())
            QVERIFY2(page[key] == scanned[serial][key], qPrintable(serial + u' ' + key));
    }
}

void TestQtVexaOps::restoreDefaultPassword()
{
    QProcess scan;
    scan.start(QCoreApplication::applicationDirPath() + QStringLiteral("/vexa-scan"),
               {QStringLiteral("code"), QStringLiteral("--serial"), SerialOf(8), QStringLiteral("--date"),
                QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate), QStringLiteral("--key"),
                QCoreApplication::applicationDirPath() + QStringLiteral("/demo-factory.key")});
    QVERIFY(scan.waitForFinished());
    QCOMPARE(scan.exitCode(), 0);
    const QString code = QString::fromLatin1(scan.readAllStandardOutput()).trimmed();
    QVERIFY(!code.isEmpty());

    StartPage();
    Click(8);
    const qint64 resetsBefore = m_devsim.Stat("reset");
    Edit("m_pDefaultPwdLEdit")->setText(code);
    DialogCatcher restored;
    Press("pushButtonModifyPassword", restored);
    QCOMPARE(restored.title, QStringLiteral("Information"));
    QCOMPARE(restored.text, QStringLiteral("Restore default password succeed."));
    QVERIFY(m_devsim.Stat("reset") > resetsBefore);
    // The code stays for another try.
    QCOMPARE(Edit("m_pDefaultPwdLEdit")->text(), code);

    Edit("m_pDefaultPwdLEdit")->setText(QStringLiteral("NOT-THE-CODE"));
    DialogCatcher refused;
    Press("pushButtonModifyPassword", refused);
    QCOMPARE(refused.title, QStringLiteral("Error"));
    QCOMPARE(refused.text, QStringLiteral("Restore default password failed!"));
}

void TestQtVexaOps::emptySecurityCodeIsRefusedAtTheField()
{
    StartPage();
    Click(8);
    QLineEdit *code = Edit("m_pDefaultPwdLEdit");
    QVERIFY(code->text().isEmpty());
    const qint64 before = RequestsSent();
    DialogCatcher catcher;
    m_page->findChild<QPushButton *>("pushButtonModifyPassword")->click();
    QVERIFY(!catcher.seen);
    QVERIFY(CToolTip::isVisible());
    QCOMPARE(CToolTip::text(), QStringLiteral("Password cannot be empty."));
    QTRY_VERIFY(code->hasFocus());
    QCOMPARE(RequestsSent(), before);
}

QTEST_MAIN(TestQtVexaOps)
#include "tst_qtvexa_ops.moc"
