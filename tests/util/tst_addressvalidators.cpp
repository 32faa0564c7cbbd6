#include <addressvalidators.h>

#include <QTest>

// The address checks of the parameter panel.
class TestAddressValidators final : public QObject
{
    Q_OBJECT

private slots:
    void ipv4Addr_data();
    void ipv4Addr();
    void ipv4Gateway_data();
    void ipv4Gateway();
    void subnetMask_data();
    void subnetMask();
    void ipv6Addr_data();
    void ipv6Addr();
    void plainIpv4_data();
    void plainIpv4();
};

void TestAddressValidators::ipv4Addr_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("host") << "192.168.1.64" << true;
    QTest::newRow("lowest") << "0.0.0.1" << true;
    QTest::newRow("all ones") << "255.255.255.255" << true;
    QTest::newRow("leading zeros") << "010.001.001.010" << true;
    QTest::newRow("many leading zeros") << "0000000000000000000000000000000001.1.1.1" << true;
    QTest::newRow("last octet 0") << "192.168.1.0" << false;
    QTest::newRow("any") << "0.0.0.0" << false;
    QTest::newRow("three pieces") << "1.2.3" << false;
    QTest::newRow("five pieces") << "1.2.3.4.5" << false;
    QTest::newRow("empty piece") << "1..2.3" << false;
    QTest::newRow("trailing dot") << "1.2.3.4." << false;
    QTest::newRow("256") << "256.1.1.1" << false;
    QTest::newRow("huge") << "1.2.3.99999999999999999999" << false;
    QTest::newRow("sign") << "+1.2.3.4" << false;
    QTest::newRow("minus") << "1.2.3.-4" << false;
    QTest::newRow("blank inside") << "1.2. 3.4" << false;
    QTest::newRow("hex") << "0x1.2.3.4" << false;
    QTest::newRow("arabic-indic digits") << QString::fromUtf8("١.2.3.4") << false;
    QTest::newRow("empty") << "" << false;
}

void TestAddressValidators::ipv4Addr()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(IsValidIPv4Addr(text), valid);
}

void TestAddressValidators::ipv4Gateway_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("host") << "192.168.1.1" << true;
    QTest::newRow("none") << "0.0.0.0" << true;
    QTest::newRow("none with zeros") << "000.0.0.0" << false;
    QTest::newRow("network") << "10.0.0.0" << false;
    QTest::newRow("leading zeros") << "010.000.000.001" << true;
    QTest::newRow("three pieces") << "0.0.0" << false;
    QTest::newRow("empty") << "" << false;
}

void TestAddressValidators::ipv4Gateway()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(IsValidIPv4Gateway(text), valid);
}

void TestAddressValidators::subnetMask_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("/0") << "0.0.0.0" << true;
    QTest::newRow("/1") << "128.0.0.0" << true;
    QTest::newRow("/8") << "255.0.0.0" << true;
    QTest::newRow("/20") << "255.255.240.0" << true;
    QTest::newRow("/24") << "255.255.255.0" << true;
    QTest::newRow("/31") << "255.255.255.254" << true;
    QTest::newRow("/32") << "255.255.255.255" << false;
    QTest::newRow("gap") << "255.0.255.0" << false;
    QTest::newRow("non-contiguous octet") << "255.255.253.0" << false;
    QTest::newRow("leading zeros") << "255.255.255.000" << false;
    QTest::newRow("surrounding text") << " 255.255.255.0" << false;
    QTest::newRow("trailing text") << "255.255.255.0x" << false;
    QTest::newRow("three pieces") << "255.255.0" << false;
    QTest::newRow("empty") << "" << false;
}

void TestAddressValidators::subnetMask()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(IsValidSubnetMask(text), valid);
}

void TestAddressValidators::ipv6Addr_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::newRow("unspecified") << "::" << true;
    QTest::newRow("loopback") << "::1" << true;
    QTest::newRow("trailing ::") << "1::" << true;
    QTest::newRow("numeric zone") << "fe80::1%2" << true;
    QTest::newRow("named zone") << "fe80::1%eth0" << true;
    QTest::newRow("compressed") << "2001:db8::8:800:200c:417a" << true;
    QTest::newRow("upper case") << "2001:DB8::8:800:200C:417A" << true;
    QTest::newRow("eight groups") << "1:2:3:4:5:6:7:8" << true;
    QTest::newRow("mapped IPv4") << "::ffff:192.168.1.10" << true;
    QTest::newRow("six groups and IPv4") << "1:2:3:4:5:6:1.2.3.4" << true;
    QTest::newRow("five groups, ::, IPv4") << "1:2:3:4:5::1.2.3.4" << true;
    QTest::newRow(":: for the first two") << "::3:4:5:6:7:8" << true;
    QTest::newRow("four-digit groups") << "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff" << true;

    QTest::newRow("seven groups") << "1:2:3:4:5:6:7" << false;
    QTest::newRow("two pieces") << "1:2" << false;
    QTest::newRow("leading colon") << ":1:2:3:4:5:6:7" << false;
    QTest::newRow("trailing colon") << "1:2:3:4:5:6:7:" << false;
    QTest::newRow("two ::") << "1::2::3" << false;
    QTest::newRow("five digits") << "1:2:3:4:5:6:7:12345" << false;
    QTest::newRow("five digits, small value") << "1::01234" << false;
    QTest::newRow("IPv4 tail ends in 0") << "::ffff:192.168.1.0" << false;
    QTest::newRow("IPv4 tail 1.2.3.0") << "::ffff:1.2.3.0" << false;
    QTest::newRow("IPv4 not last") << "::1.2.3.4:1" << false;
    QTest::newRow("three colons") << "1:::2" << false;
    QTest::newRow("not hex") << "fe80::g" << false;
    QTest::newRow("hex prefix") << "0x1::1" << false;
    QTest::newRow("sign") << "+1::1" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("only zone") << "%eth0" << false;
    // Texts that name more than eight groups.
    QTest::newRow("eight pieces and IPv4") << "1:2:3:4:5:6:7:1.2.3.4" << false;
    QTest::newRow("two :: and IPv4") << "1::2::3:4:1.2.3.4" << false;
    QTest::newRow("six groups, ::, IPv4") << "1:2:3:4:5:6::1.2.3.4" << false;
    QTest::newRow("eight groups and ::") << "1:2:3:4::5:6:7:8" << false;
    QTest::newRow("nine pieces") << "1:2:3:4:5:6:7:8:9" << false;
}

void TestAddressValidators::ipv6Addr()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QCOMPARE(IsValidIPv6Addr(text), valid);
}

void TestAddressValidators::plainIpv4_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("plain");
    QTest::newRow("plain stays") << "192.168.1.64" << "192.168.1.64";
    QTest::newRow("leading zeros go") << "010.001.001.010" << "10.1.1.10";
    QTest::newRow("widest passing text fits 15") << "000000000192.000000168.0000001.00000000255"
                                                 << "192.168.1.255";
    QTest::newRow("zero octets") << "000.000.000.000" << "0.0.0.0";
    QTest::newRow("not an address") << "1.2.3" << "";
    QTest::newRow("octet too big") << "1.2.3.256" << "";
}

void TestAddressValidators::plainIpv4()
{
    QFETCH(QString, text);
    QFETCH(QString, plain);
    QCOMPARE(PlainIPv4(text), plain);
}

QTEST_APPLESS_MAIN(TestAddressValidators)
#include "tst_addressvalidators.moc"
