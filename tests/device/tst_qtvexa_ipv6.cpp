#include "dialogcatcher.h"
#include "qtvexa.h"

#include <ctableview.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

enum Column { Ipv4 = 2, Serial = 6, Mask = 7, Ipv6 = 12 };

const QString kSerial = QStringLiteral("IPV6GUI01");
const QString kPassword = QStringLiteral("ipv6gui1");
// The device's namespace; the test's own is the tool's.
const QString kDeviceNs = QStringLiteral("vxg6d%1").arg(::getpid());

bool Run(const QString &program, const QStringList &arguments)
{
    if (QProcess::execute(program, arguments) == 0)
        return true;
    qWarning("%s %s failed", qPrintable(program), qPrintable(arguments.join(u' ')));
    return false;
}

bool Ip(const QString &arguments)
{
    return Run(QStringLiteral("ip"), arguments.split(u' '));
}

bool InDevice(const QString &arguments)
{
    return Run(QStringLiteral("ip"), QStringList{"netns", "exec", kDeviceNs} + arguments.split(u' '));
}

// Whether `ip` (after `prefix`: another namespace's `ip`) shows a usable link-local address.
bool LinkLocal(const QStringList &prefix)
{
    QProcess ip;
    ip.start(QStringLiteral("ip"), prefix + QStringList{"-6", "addr", "show", "scope", "link", "-tentative"});
    ip.waitForFinished();
    return ip.readAllStandardOutput().contains("inet6 fe80::");
}

} // namespace

// A device with no usable IPv4 address, on the far end of a veth pair whose
// device side carries IPv6 link-local addresses alone: the page lists it as
// found over IPv6 and readdresses it through the panel's Modify, clicked.
// VEXA_SCREENSHOT=FILE saves the page before and after, one above the other.
class TestQtVexaIpv6 final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void readdressesADeviceFoundOverIpv6();

private:
    int Row() const;
    QString Cell(int column) const { return m_view->GetItemText(Row(), column); }

    QTemporaryDir m_dir;
    QProcess m_devsim;
    QtVexa *m_page = nullptr;
    CTableView *m_view = nullptr;
};

void TestQtVexaIpv6::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QFile devices(m_dir.filePath("devices.json"));
    QVERIFY(devices.open(QIODevice::WriteOnly));
    // It believes in a 169.254 address its link does not carry.
    devices.write(QStringLiteral(R"({"password": "%1", "devices": [
        {"serialNo": "%2", "macAddr": "02:36:47:00:00:01", "ipv4Addr": "169.254.7.7", "ipv4Mask": "255.255.0.0",
         "ipv4Gateway": "0.0.0.0", "typeCode": 8209, "typeName": "IPC-V6", "port": 8000, "capabilities": 1}]})")
                      .arg(kPassword, kSerial)
                      .toUtf8());
    devices.close();
    m_devsim.setProgram(QStringLiteral("ip"));
    m_devsim.setArguments({"netns", "exec", kDeviceNs, "env", "VEXA_INTERFACES=dv0",
                           QCoreApplication::applicationDirPath() + "/vexa-devsim", "--devices", devices.fileName(),
                           "--state", m_dir.filePath("devices.state")});
    m_devsim.start();
    QVERIFY(m_devsim.waitForStarted());
    QByteArray out;
    QTRY_VERIFY2_WITH_TIMEOUT((out += m_devsim.readAllStandardOutput()).contains("ready 1 devices"),
                              m_devsim.readAllStandardError().constData(), 10000);
}

void TestQtVexaIpv6::cleanupTestCase()
{
    delete m_page;
    m_devsim.closeWriteChannel(); // the simulator ends with its input
    if (!m_devsim.waitForFinished(5000))
        m_devsim.kill();
}

int TestQtVexaIpv6::Row() const
{
    for (int row = 0; row < m_view->RowCount(); ++row) {
        if (m_view->GetItemText(row, Serial) == kSerial)
            return row;
    }
    return -1;
}

void TestQtVexaIpv6::readdressesADeviceFoundOverIpv6()
{
    m_page = new QtVexa;
    m_page->resize(1920, 400);
    m_page->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_page));
    m_view = m_page->findChild<CTableView *>("tableWidgetDevice");
    QTRY_VERIFY_WITH_TIMEOUT(Row() >= 0, 15000);
    QCOMPARE(m_view->RowCount(), 1);
    QCOMPARE(Cell(Ipv4), QStringLiteral("169.254.7.7"));
    // Its link-local address with this host's zone: the only address it is reached at.
    QVERIFY2(Cell(Ipv6).startsWith(QLatin1String("fe80::")) && Cell(Ipv6).endsWith(QLatin1String("%vx0")),
             qPrintable(Cell(Ipv6)));
    const QImage before = m_page->grab().toImage();

    const QModelIndex index = m_view->model()->index(Row(), Ipv4);
    QTest::mouseClick(m_view->viewport(), Qt::LeftButton, {}, m_view->visualRect(index).center());
    QTRY_COMPARE(m_page->findChild<QLineEdit *>("lineEditIPAddr")->text(), QStringLiteral("169.254.7.7"));
    const std::pair<const char *, QString> fields[] = {{"lineEditIPAddr", "10.0.0.100"},
                                                       {"lineEditIPMask", "255.255.255.0"},
                                                       {"lineEditIPGateway", "10.0.0.1"},
                                                       {"lineEditPort_Password", kPassword}};
    for (const auto &[name, text] : fields)
        m_page->findChild<QLineEdit *>(name)->setText(text);
    DialogCatcher catcher;
    m_page->findChild<QPushButton *>("pushButtonModifyNetwork")->click();
    QTRY_VERIFY_WITH_TIMEOUT(catcher.seen, 15000);
    QVERIFY2(catcher.text.startsWith(QLatin1String("Modify network parameter succeed.")), qPrintable(catcher.text));
    QCOMPARE(Cell(Ipv4), QStringLiteral("10.0.0.100"));
    QCOMPARE(Cell(Mask), QStringLiteral("255.255.255.0"));
    // The device itself took them, not only the row.
    m_devsim.readAllStandardOutput();
    m_devsim.write("show " + kSerial.toLatin1() + "\n");
    QByteArray shown;
    QTRY_VERIFY2_WITH_TIMEOUT((shown += m_devsim.readAllStandardOutput()).contains('\n'), shown.constData(), 5000);
    QVERIFY2(shown.contains(" 10.0.0.100 255.255.255.0 10.0.0.1 8000 "), shown.constData());
    // Still one device: the readdressed one answers over IPv6 under its new address.
    QTest::qWait(1500);
    QCOMPARE(m_view->RowCount(), 1);
    QCOMPARE(Cell(Ipv4), QStringLiteral("10.0.0.100"));

    if (const QByteArray file = qgetenv("VEXA_SCREENSHOT"); !file.isEmpty()) {
        const QImage after = m_page->grab().toImage();
        QImage both(after.width(), before.height() + after.height(), QImage::Format_RGB32);
        QPainter painter(&both);
        painter.drawImage(0, 0, before);
        painter.drawImage(0, before.height(), after);
        painter.end();
        QVERIFY(both.save(QString::fromLocal8Bit(file)));
    }
}

int main(int argc, char **argv)
{
    if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "tst_qtvexa_ipv6 needs root for network namespaces: skipped\n");
        return 77;
    }
    // The tool's end (vx0, 10.0.0.5/24) here, the device's (dv0, IPv6 link-local only) in a namespace of its own.
    const bool linked = Ip("link set lo up") && Ip("netns add " + kDeviceNs)
        && Ip("link add vx0 type veth peer name dv0 netns " + kDeviceNs) && InDevice("ip link set lo up")
        && Run("sysctl", {"-qw", "net.ipv6.conf.vx0.accept_dad=0"})
        && InDevice("sysctl -qw net.ipv6.conf.dv0.accept_dad=0") && Ip("addr add 10.0.0.5/24 dev vx0")
        && Ip("link set vx0 up") && InDevice("ip link set dv0 up");
    ::setenv("VEXA_INTERFACES", "vx0", 1);
    int rc = 1;
    if (linked) {
        // Link-local addresses come a moment after the link, on both ends.
        for (int tries = 0; tries < 50 && !(LinkLocal({}) && LinkLocal({"netns", "exec", kDeviceNs, "ip"})); ++tries)
            QThread::msleep(100);
        QApplication app(argc, argv);
        TestQtVexaIpv6 test;
        rc = QTest::qExec(&test, argc, argv);
    }
    Ip("netns del " + kDeviceNs);
    return rc;
}

#include "tst_qtvexa_ipv6.moc"
