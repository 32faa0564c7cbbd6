#include "devicerecords.h"
#include "linkfollower.h"
#include "qtvexa.h"
#include "qtvexaitemmodel.h"

#include <ctableview.h>

#include <QApplication>
#include <QProcess>
#include <QTest>

#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

// `ip` with these arguments, inside the namespace the test made for itself.
bool Ip(const QString &arguments)
{
    if (arguments.isEmpty())
        return true;
    for (const QString &command : arguments.split(u';')) {
        if (QProcess::execute(QStringLiteral("ip"), command.trimmed().split(u' ')) != 0) {
            qWarning("ip %s failed", qPrintable(command));
            return false;
        }
    }
    return true;
}

} // namespace

// The page's reachability hints follow interfaces that come and go while it
// runs, without a Refresh: in a network namespace of the test's own, with
// veth interfaces only it sees.
class TestQtVexaLinks final : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void hintFollowsTheInterfaces_data();
    void hintFollowsTheInterfaces();
};

void TestQtVexaLinks::cleanup()
{
    for (const char *name : {"vxl0", "vxl1"})
        QProcess::execute(QStringLiteral("ip"), {QStringLiteral("link"), QStringLiteral("del"), QLatin1String(name)});
}

void TestQtVexaLinks::hintFollowsTheInterfaces_data()
{
    // Before the page opens, while it runs; then whether a device at
    // 10.77.1.5/24 is hinted unreachable before and after. vxl0 (10.66.0.1/24)
    // is always there, so some subnet is known and the hint can show.
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("hintedBefore");
    QTest::addColumn<bool>("hintedAfter");
    const QString link = QStringLiteral("link add vxl1 type veth peer name vxl1p; link set vxl1 up");
    QTest::newRow("an interface comes") << "" << link + "; addr add 10.77.1.1/24 dev vxl1" << true << false;
    QTest::newRow("an address on an interface already up")
        << link << "addr add 10.77.1.1/24 dev vxl1" << true << false;
    QTest::newRow("an interface goes") << link + "; addr add 10.77.1.1/24 dev vxl1" << "link del vxl1" << false
                                       << true;
    QTest::newRow("its address is taken away")
        << link + "; addr add 10.77.1.1/24 dev vxl1" << "addr del 10.77.1.1/24 dev vxl1" << false << true;
    QTest::newRow("an interface goes down") << link + "; addr add 10.77.1.1/24 dev vxl1" << "link set vxl1 down"
                                            << false << true;
    QTest::newRow("another subnet comes") << "" << link + "; addr add 10.99.0.1/16 dev vxl1" << true << true;
}

void TestQtVexaLinks::hintFollowsTheInterfaces()
{
    QFETCH(QString, before);
    QFETCH(QString, change);
    QFETCH(bool, hintedBefore);
    QFETCH(bool, hintedAfter);
    QVERIFY(Ip(QStringLiteral("link add vxl0 type veth peer name vxl0p; link set vxl0 up; addr add 10.66.0.1/24 dev vxl0")));
    QVERIFY(Ip(before));

    QtVexa page;
    auto *model = qobject_cast<QtVexaItemModel *>(page.findChild<CTableView *>("tableWidgetDevice")->model());
    QVERIFY(model);
    model->AppendDeviceRow(MakeRecord("SN-LINK", "00:11:22:33:44:01", "10.77.1.5"));
    const QModelIndex cell = model->index(0, QtVexaItemModel::ColumnType);
    const auto hinted = [&] { return cell.data(Qt::ToolTipRole).toString().contains("10.77.1.0/24"); };
    QCOMPARE(hinted(), hintedBefore);

    QVERIFY(Ip(change));
    QTRY_COMPARE_WITH_TIMEOUT(hinted(), hintedAfter, 5000);
    // Settled, not flickering back.
    QTest::qWait(3 * LinkFollower::kSettleMs);
    QCOMPARE(hinted(), hintedAfter);
}

int main(int argc, char **argv)
{
    if (geteuid() != 0 || unshare(CLONE_NEWNET) != 0) {
        std::fprintf(stderr, "tst_qtvexa_links needs root for a network namespace of its own: skipped\n");
        return 77;
    }
    // Only this namespace's links exist: the page may choose among all of them.
    ::unsetenv("VEXA_INTERFACES");
    if (!Ip(QStringLiteral("link set lo up")))
        return 1;
    QApplication app(argc, argv);
    TestQtVexaLinks test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qtvexa_links.moc"
