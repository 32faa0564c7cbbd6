#include "devicehandover.h"
#include "devicerecords.h"
#include "recordtext.h"

#include <QTest>

#include <deque>
#include <thread>
#include <vector>

// The way reports take from the library's thread to the page: every signal
// finds its own report, in report order, and a burst of devices becomes one
// run of rows. A small table stands in for the page and does what its slots do.
class TestDeviceHandOver : public QObject
{
    Q_OBJECT

private slots:
    void reportOrderIsKept_data();
    void reportOrderIsKept();
    void offlineTakesTheReportedBytes();
    void onlyThePageThreadIsThePagesThread();
};

namespace {

VEXA_DEVICE_INFO_MY Record(QChar device, int report)
{
    const std::string name(1, char(device.unicode()));
    VEXA_DEVICE_INFO_MY record = MakeRecord("SN-" + name, "m-" + name);
    record.port = report;
    return record;
}

// The page's side of it: rows as "<device><report>", and how many runs of rows were made.
class Page
{
public:
    explicit Page(DeviceHandOver &handOver) : m_handOver(handOver) {}

    void Online(const VEXA_DEVICE_INFO_MY &record)
    {
        DeviceRecordList::Records listed = m_handOver.TakeOnline(record);
        if (listed.empty())
            return;
        ++runs;
        for (const VEXA_DEVICE_INFO_MY &row : listed)
            rows.push_back(row);
    }
    void Update(const VEXA_DEVICE_INFO_MY &record)
    {
        m_handOver.TakeUpdate(record);
        for (VEXA_DEVICE_INFO_MY &row : rows) {
            if (DeviceId::Of(row) == DeviceId::Of(record)) {
                row = record;
                break;
            }
        }
    }
    void Offline(const QString &serial, const QString &mac)
    {
        const DeviceId device = m_handOver.TakeOffline(serial, mac).value_or(DeviceId::FromTexts(serial, mac));
        std::erase_if(rows, [&device](const VEXA_DEVICE_INFO_MY &row) { return DeviceId::Of(row) == device; });
    }
    QString Rows() const
    {
        QStringList shown;
        for (const VEXA_DEVICE_INFO_MY &row : rows)
            shown << FieldText(row.serialNo).mid(3) + QString::number(row.port);
        return shown.join(u' ');
    }

    std::vector<VEXA_DEVICE_INFO_MY> rows;
    int runs = 0;

private:
    DeviceHandOver &m_handOver;
};

} // namespace

void TestDeviceHandOver::reportOrderIsKept_data()
{
    // Reports numbered from 0 in order: "+A" online, "~A" update, "-A"
    // offline, handed over and their signals queued; "d" delivers the next
    // signal, "D" all of them; "!+A" and "!-A" are signals emitted on the
    // page's thread, handled at once without the hand-over.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<int>("runs");
    QTest::newRow("a burst is one run") << "+A +B +C D" << "A0 B1 C2" << 1;
    QTest::newRow("delivered one by one") << "+A d +B d" << "A0 B1" << 2;
    QTest::newRow("second online, second row; one offline, both go") << "+A +A -A D" << "" << 1;
    QTest::newRow("offline waits for the rows before it") << "+A +B -A +A D" << "B1 A3" << 2;
    QTest::newRow("update applies after its device's row") << "+A +B ~A +C D" << "A2 B1 C3" << 2;
    QTest::newRow("reports after a delivered run") << "+A +B d -B +C D" << "A0 C3" << 2;
    QTest::newRow("update of a device not listed") << "~A +A D" << "A1" << 1;
    QTest::newRow("online, offline, online again") << "+A -A +A D" << "A2" << 2;
    QTest::newRow("direct online beside a burst") << "+A +B !+X D" << "X2 A0 B1" << 2;
    QTest::newRow("direct offline of a row listed ahead") << "+A +B d !-B D" << "A0" << 1;
    QTest::newRow("direct offline before the row is listed") << "+A !-A D" << "A0" << 1;
    QTest::newRow("direct reports alone") << "!+A !+B !-A" << "B1" << 2;
}

void TestDeviceHandOver::reportOrderIsKept()
{
    QFETCH(QString, steps);
    DeviceHandOver handOver;
    Page page(handOver);
    struct Signal {
        QChar kind;
        VEXA_DEVICE_INFO_MY record;
    };
    std::deque<Signal> queued;
    const auto deliver = [&page](const Signal &signal) {
        const QString serial = FieldText(signal.record.serialNo);
        const QString mac = FieldText(signal.record.macAddr);
        switch (signal.kind.unicode()) {
        case u'+': page.Online(signal.record); break;
        case u'~': page.Update(signal.record); break;
        case u'-': page.Offline(serial, mac); break;
        }
    };
    int report = 0;
    for (const QString &step : steps.split(u' ')) {
        if (step == u'd' || step == u'D') {
            do {
                QVERIFY(!queued.empty());
                deliver(queued.front());
                queued.pop_front();
            } while (step == u'D' && !queued.empty());
            continue;
        }
        const bool direct = step.startsWith(u'!');
        const QChar kind = step[direct ? 1 : 0];
        const Signal signal{kind, Record(step.back(), report++)};
        if (direct) {
            deliver(signal);
            continue;
        }
        switch (kind.unicode()) {
        case u'+': handOver.Online(signal.record); break;
        case u'~': handOver.Update(signal.record); break;
        case u'-': handOver.Offline(DeviceId::Of(signal.record)); break;
        }
        queued.push_back(signal);
    }
    QTEST(page.Rows(), "rows");
    QTEST(page.runs, "runs");
    // Nothing left behind: a later burst is found again.
    const VEXA_DEVICE_INFO_MY later = Record(u'Z', 99);
    handOver.Online(later);
    QCOMPARE(handOver.TakeOnline(later).size(), size_t(1));
    QVERIFY(handOver.TakeOnline(Record(u'Y', 98)).front().port == 98);
}

void TestDeviceHandOver::offlineTakesTheReportedBytes()
{
    DeviceHandOver handOver;
    const DeviceId reported(QByteArray("VX-\xE9\xFF"), QByteArray("00:11:\xAA"));
    handOver.Offline(reported);
    // A signal for another device is not this report's: it stays.
    QVERIFY(!handOver.TakeOffline(QStringLiteral("VX-1"), QStringLiteral("00:11:\u00AA")));
    const std::optional<DeviceId> taken = handOver.TakeOffline(QString::fromLatin1("VX-\xE9\xFF"),
                                                               QString::fromLatin1("00:11:\xAA"));
    QVERIFY(taken && *taken == reported);
    QVERIFY(!handOver.TakeOffline(QString::fromLatin1("VX-\xE9\xFF"), QString::fromLatin1("00:11:\xAA")));
}

void TestDeviceHandOver::onlyThePageThreadIsThePagesThread()
{
    DeviceHandOver handOver;
    QVERIFY(handOver.OnPageThread());
    bool elsewhere = true;
    std::thread library([&] { elsewhere = handOver.OnPageThread(); });
    library.join();
    QVERIFY(!elsewhere);
}

QTEST_APPLESS_MAIN(TestDeviceHandOver)
#include "tst_devicehandover.moc"
