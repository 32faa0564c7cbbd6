#include "devicerecords.h"
#include "vexareportcallback.h"

#include <QTest>

#include <algorithm>
#include <string>

Q_DECLARE_METATYPE(VexaReportPath)

class TestVexaReport : public QObject
{
    Q_OBJECT

private slots:
    void nullReportIsIgnored();
    void eventCodes_data();
    void eventCodes();
    void termination_data();
    void termination();
    void longTextsWithValidCode();
    void filter_data();
    void filter();
    void recordFromReport();
    void recordKeepsBytesAfterTerminator();
};

void TestVexaReport::nullReportIsIgnored()
{
    QCOMPARE(ClassifyReport(nullptr), VexaReportPath::Ignored);
}

void TestVexaReport::eventCodes_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<VexaReportPath>("path");
    QTest::newRow("1 online") << 1 << VexaReportPath::Online;
    QTest::newRow("2 update") << 2 << VexaReportPath::Update;
    QTest::newRow("3 offline") << 3 << VexaReportPath::Offline;
    QTest::newRow("4 online too") << 4 << VexaReportPath::Online;
    QTest::newRow("0") << 0 << VexaReportPath::Ignored;
    QTest::newRow("5") << 5 << VexaReportPath::Ignored;
    QTest::newRow("negative") << -1 << VexaReportPath::Ignored;
}

void TestVexaReport::eventCodes()
{
    QFETCH(int, code);
    const VEXA_DEVICE_REPORT report = MakeReport(code);
    QTEST(ClassifyReport(&report), "path");
}

// Offsets of the eight texts that are tested for a terminator.
static constexpr size_t kTested[] = {0, 12, 60, 80, 96, 128, 176, 224};

static void FillLong(VEXA_DEVICE_REPORT &report, size_t offset)
{
    std::memset(reinterpret_cast<char *>(&report) + offset, 'x', 64);
}

void TestVexaReport::termination_data()
{
    QTest::addColumn<int>("shortOffset"); // -1: none short
    QTest::addColumn<int>("nulAt");       // where the short text ends
    QTest::addColumn<bool>("accepted");
    QTest::newRow("all eight 64 bytes or longer") << -1 << 0 << false;
    QTest::newRow("only the serial short") << 12 << 10 << true;
    QTest::newRow("only the serial short, ends at 63") << 12 << 63 << true;
    QTest::newRow("only the first text short") << 0 << 5 << true;
    QTest::newRow("only the start time short") << 224 << 0 << true;
}

void TestVexaReport::termination()
{
    QFETCH(int, shortOffset);
    QFETCH(int, nulAt);
    QFETCH(bool, accepted);
    VEXA_DEVICE_REPORT report = MakeReport(1);
    // An earlier text's window overlaps the next field, so fill from the end.
    for (auto it = std::rbegin(kTested); it != std::rend(kTested); ++it)
        FillLong(report, *it);
    if (shortOffset >= 0)
        reinterpret_cast<char *>(&report)[shortOffset + nulAt] = '\0';
    QCOMPARE(HasTerminatedText(report), accepted);
}

void TestVexaReport::longTextsWithValidCode()
{
    // The start time's window reaches the event code, whose high bytes end it.
    for (int code : {1, 2, 3, 4}) {
        VEXA_DEVICE_REPORT report = MakeReport(code);
        for (auto it = std::rbegin(kTested); it != std::rend(kTested); ++it)
            FillLong(report, *it);
        report.eventCode = code;
        QVERIFY(ClassifyReport(&report) != VexaReportPath::Ignored);
        report.eventCode = 0x01010101;
        QCOMPARE(ClassifyReport(&report), VexaReportPath::Ignored);
    }
}

void TestVexaReport::filter_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<unsigned int>("code");
    QTest::addColumn<bool>("filtered");
    struct Range {
        unsigned int first, last;
    };
    const Range family[] = {{0x4900, 0x49FF}, {0x5900, 0x59FF}, {0x9E00, 0x9EFF}};
    const Range recorder{0x9F00, 0x9FFF};
    const unsigned int outside[] = {0x0, 0x48FF, 0x4A00, 0x58FF, 0x5A00, 0x9DFF, 0xA000, 0xFFFFFFFFu};

    for (int mode : {0, 4, -1}) {
        for (unsigned int code : {0x4900u, 0x9FFFu, 0x1234u})
            QTest::addRow("mode %d code %#x", mode, code) << mode << code << false;
    }
    for (const Range &r : family) {
        for (unsigned int code : {r.first, r.last}) {
            QTest::addRow("mode 1 code %#x", code) << 1 << code << true;
            QTest::addRow("mode 2 code %#x", code) << 2 << code << true;
            QTest::addRow("mode 3 code %#x", code) << 3 << code << false;
        }
    }
    for (unsigned int code : {recorder.first, recorder.last}) {
        QTest::addRow("mode 1 code %#x", code) << 1 << code << true;
        QTest::addRow("mode 2 code %#x", code) << 2 << code << false;
        QTest::addRow("mode 3 code %#x", code) << 3 << code << true;
    }
    for (unsigned int code : outside) {
        QTest::addRow("mode 1 code %#x", code) << 1 << code << false;
        QTest::addRow("mode 2 code %#x", code) << 2 << code << true;
        QTest::addRow("mode 3 code %#x", code) << 3 << code << true;
    }
}

void TestVexaReport::filter()
{
    QFETCH(int, mode);
    QFETCH(unsigned int, code);
    QTEST(IsDeviceFiltered(mode, code), "filtered");
}

void TestVexaReport::recordFromReport()
{
    VEXA_DEVICE_REPORT report = MakeReport(1);
    report.typeCode = 0x9E10;
    report.extraValue = -7;
    const VEXA_DEVICE_INFO_MY record = BuildDeviceRecord(report);

    QCOMPARE(record.valid, 1);
    QCOMPARE(record.reserved1, 0);
    QVERIFY(std::all_of(std::begin(record.reserved2), std::end(record.reserved2), [](uint8_t b) { return b == 0; }));
    QCOMPARE(QByteArray(record.serialNo), QByteArray("VX-1001"));
    QCOMPARE(QByteArray(record.macAddr), QByteArray("00:11:22:33:44:55"));
    QCOMPARE(QByteArray(record.typeName), QByteArray("VXC-B120"));
    QCOMPARE(QByteArray(record.ipv6Addr), QByteArray("fe80::211:22ff:fe33:4455"));
    QCOMPARE(record.typeCode, 0x9E10);
    QCOMPARE(record.port, 8000);
    QCOMPARE(record.channelCount, 4);
    QCOMPARE(record.extraValue, -7);
    QCOMPARE(record.ipv6PrefixLen, 64);
    QCOMPARE(record.capabilities, 0x07);
    QCOMPARE(record.dhcpOn, 1);
    QCOMPARE(record.extInfo, 1);
}

void TestVexaReport::recordKeepsBytesAfterTerminator()
{
    VEXA_DEVICE_REPORT report = MakeReport(1);
    std::memset(report.serialNo, 'S', sizeof report.serialNo); // fills the field, no terminator
    report.ipv4Addr[5] = '\0';
    report.ipv4Addr[6] = 'Z';
    const VEXA_DEVICE_INFO_MY record = BuildDeviceRecord(report);
    QCOMPARE(QByteArray(record.serialNo, sizeof record.serialNo), QByteArray(sizeof record.serialNo, 'S'));
    QCOMPARE(QByteArray(record.ipv4Addr, sizeof record.ipv4Addr),
             QByteArray(report.ipv4Addr, sizeof report.ipv4Addr));
    QCOMPARE(record.ipv4Addr[6], 'Z');
}

QTEST_APPLESS_MAIN(TestVexaReport)
#include "tst_vexareport.moc"
