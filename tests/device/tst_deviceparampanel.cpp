#include "deviceparampanel.h"

#include <QTest>

Q_DECLARE_METATYPE(NetParamTexts)

namespace {

#ifdef VEXA_OLDER_EDITION
// The earlier interface always sends a gateway.
const QString kNoGateway = QStringLiteral("0.0.0.0");
#else
const QString kNoGateway;
#endif

NetParamTexts Fine()
{
    NetParamTexts texts;
    texts.address = QStringLiteral("10.0.0.5");
    texts.mask = QStringLiteral("255.255.255.0");
    texts.port = QStringLiteral("8000");
    texts.gateway = QStringLiteral("10.0.0.1");
    texts.ipv6Addr = QStringLiteral("fe80::5");
    texts.ipv6Gateway = QStringLiteral("fe80::1");
    texts.ipv6Prefix = QStringLiteral("64");
    texts.password = QStringLiteral("pw");
    return texts;
}

} // namespace

// The parameter panel's checks, in the order a Modify makes them, without a
// window: what is refused at which field, and what is sent otherwise.
class TestDeviceParamPanel : public QObject
{
    Q_OBJECT

private slots:
    void check_data();
    void check();
    void nextBatchAddress_data();
    void nextBatchAddress();
};

void TestDeviceParamPanel::check_data()
{
    QTest::addColumn<NetParamTexts>("texts");
    QTest::addColumn<int>("devices");
    QTest::addColumn<bool>("onvifOnly");
    // The refusal as "<field>: <message>", or what is sent as
    // "mask port gateway ipv6" (gateway "-" for none, ipv6 "-" for none).
    QTest::addColumn<QString>("result");

    const auto with = [](auto change) {
        NetParamTexts texts = Fine();
        change(texts);
        return texts;
    };
    const auto ipv6 = [](NetParamTexts &t) { t.ipv6Shown = true; };
    QTest::newRow("fine") << Fine() << 1 << false << "255.255.255.0 8000 10.0.0.1 -";
    QTest::newRow("address empty") << with([](auto &t) { t.address = "  "; }) << 1 << false
                                   << "Address: IP address cannot be empty.";
    QTest::newRow("address ends in 0") << with([](auto &t) { t.address = "10.0.0.0"; }) << 1 << false
                                       << "Address: IP Address not correct.";
    QTest::newRow("address and mask wrong: the address first")
        << with([](auto &t) { t.address = "x"; t.mask = "y"; }) << 1 << false << "Address: IP Address not correct.";
    QTest::newRow("batch to .255") << with([](auto &t) { t.address = "10.0.0.250"; }) << 6 << false
                                   << "255.255.255.0 8000 10.0.0.1 -";
    QTest::newRow("batch past .255") << with([](auto &t) { t.address = "10.0.0.250"; }) << 7 << false
                                     << "Address: Not enough addresses after the start IP address for 7 devices.";
    QTest::newRow("address owned by another") << with([](auto &t) { t.address = "10.0.0.66"; }) << 1 << false
                                              << "Address: owned by VX-66";
    QTest::newRow("mask empty") << with([](auto &t) { t.mask = ""; }) << 1 << false
                                << "Mask: Subnet mask cannot be empty.";
    QTest::newRow("mask with a gap") << with([](auto &t) { t.mask = "255.0.255.0"; }) << 1 << false
                                     << "Mask: Subnet Mask not correct.";
    QTest::newRow("port 80 of a VXDP device") << with([](auto &t) { t.port = "80"; }) << 1 << false
                                              << "Port: Device port ranges from 2000 to 65535.";
    QTest::newRow("port 80 of ONVIF devices") << with([](auto &t) { t.port = " 80 "; }) << 2 << true
                                              << "255.255.255.0 80 10.0.0.1 -";
    QTest::newRow("port 0 of ONVIF devices") << with([](auto &t) { t.port = "0"; }) << 1 << true
                                             << "Port: HTTP port ranges from 1 to 65535.";
    QTest::newRow("port past 65535") << with([](auto &t) { t.port = "65536"; }) << 1 << false
                                     << "Port: Device port ranges from 2000 to 65535.";
    QTest::newRow("port not a number") << with([](auto &t) { t.port = "80x"; }) << 1 << true
                                       << "Port: HTTP port ranges from 1 to 65535.";
    QTest::newRow("port with leading zeros sent plain") << with([](auto &t) { t.port = "08000"; }) << 1 << false
                                                        << "255.255.255.0 8000 10.0.0.1 -";
    QTest::newRow("gateway not a host") << with([](auto &t) { t.gateway = "10.0.0.0"; }) << 1 << false
                                        << "Gateway: Gateway not correct.";
    QTest::newRow("no gateway") << with([](auto &t) { t.gateway = " "; }) << 1 << false
                                << "255.255.255.0 8000 " + (kNoGateway.isEmpty() ? "-" : kNoGateway) + " -";
    QTest::newRow("gateway with leading zeros sent plain") << with([](auto &t) { t.gateway = "010.000.000.001"; })
                                                           << 1 << false << "255.255.255.0 8000 10.0.0.1 -";
    QTest::newRow("IPv6 sent to one device") << with(ipv6) << 1 << false << "255.255.255.0 8000 10.0.0.1 fe80::5/64";
    QTest::newRow("IPv6 never to several") << with(ipv6) << 2 << false << "255.255.255.0 8000 10.0.0.1 -";
    QTest::newRow("IPv6 fields not in use are not checked")
        << with([](auto &t) { t.ipv6Addr = "junk"; t.ipv6Prefix = "99"; }) << 1 << false
        << "255.255.255.0 8000 10.0.0.1 -";
    QTest::newRow("IPv6 empty") << with([&](auto &t) { ipv6(t); t.ipv6Addr = ""; }) << 1 << false
                                << "Ipv6Addr: IPv6 address cannot be empty.";
    QTest::newRow("IPv6 over-long") << with([&](auto &t) { ipv6(t); t.ipv6Addr = "1:2:3:4:5:6:7:1.2.3.4"; }) << 1
                                    << false << "Ipv6Addr: IPv6 Address not correct.";
    QTest::newRow("IPv6 gateway") << with([&](auto &t) { ipv6(t); t.ipv6Gateway = "fe80::1::2"; }) << 1 << false
                                  << "Ipv6Gateway: IPv6 gateway not correct.";
    QTest::newRow("IPv6 without gateway") << with([&](auto &t) { ipv6(t); t.ipv6Gateway = ""; }) << 1 << false
                                          << "255.255.255.0 8000 10.0.0.1 fe80::5/64";
    QTest::newRow("prefix 65") << with([&](auto &t) { ipv6(t); t.ipv6Prefix = "65"; }) << 1 << false
                               << "Ipv6Prefix: IPv6 prefix length ranges from 0 to 64.";
    QTest::newRow("prefix not a number is 0") << with([&](auto &t) { ipv6(t); t.ipv6Prefix = "x"; }) << 1 << false
                                              << "255.255.255.0 8000 10.0.0.1 fe80::5/0";
}

void TestDeviceParamPanel::check()
{
    QFETCH(NetParamTexts, texts);
    QFETCH(int, devices);
    QFETCH(bool, onvifOnly);
    NetTargets targets;
    targets.devices = devices;
    targets.onvifOnly = onvifOnly;
    QStringList asked;
    targets.addressOwner = [&asked](const QString &start) -> std::optional<QString> {
        asked << start;
        if (start == u"10.0.0.66")
            return QStringLiteral("owned by VX-66");
        return std::nullopt;
    };
    const auto checked = DeviceParamPanel::Check(texts, targets);
    QString result;
    if (const auto *refusal = std::get_if<NetRefusal>(&checked)) {
        static const char *const fields[] = {"Address", "Mask", "Port", "Gateway", "Ipv6Addr", "Ipv6Gateway",
                                             "Ipv6Prefix"};
        result = QString::fromLatin1(fields[int(refusal->field)]) + QStringLiteral(": ") + refusal->message;
    } else {
        const NetParams &params = std::get<NetParams>(checked);
        result = QStringList{QString::fromLatin1(params.mask), QString::fromLatin1(params.port),
                             params.gateway.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(params.gateway),
                             params.withIpv6 ? QString::fromLatin1(params.ipv6Addr) + u'/'
                                                   + QString::number(params.ipv6PrefixLen)
                                             : QStringLiteral("-")}
                     .join(u' ');
        QCOMPARE(params.password, QByteArray("pw"));
    }
    QTEST(result, "result");
    // The owners are asked once, about the start address, and only for a valid one.
    if (!asked.isEmpty())
        QCOMPARE(asked, QStringList{texts.address.trimmed()});
}

void TestDeviceParamPanel::nextBatchAddress_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("address");
    QTest::newRow("first device gets the start") << "192.168.1.10" << 0 << "192.168.1.10";
    QTest::newRow("third device") << "192.168.1.10" << 2 << "192.168.1.12";
    QTest::newRow("up to 255") << "192.168.1.250" << 5 << "192.168.1.255";
    QTest::newRow("past 255") << "192.168.1.250" << 6 << "";
    QTest::newRow("leading zeros dropped") << "010.001.001.010" << 1 << "10.1.1.11";
    QTest::newRow("blanks around the start") << " 10.0.0.1 " << 1 << "10.0.0.2";
    QTest::newRow("not an address") << "10.0.1" << 0 << "";
}

void TestDeviceParamPanel::nextBatchAddress()
{
    QFETCH(QString, start);
    QFETCH(int, position);
    QFETCH(QString, address);
    QCOMPARE(DeviceParamPanel::NextBatchAddress(start, position).value_or(QString()), address);
}

QTEST_APPLESS_MAIN(TestDeviceParamPanel)
#include "tst_deviceparampanel.moc"
