#include "cvexaclient.h"

#include <QTest>

#include <algorithm>
#include <string>

class TestCVexaClient : public QObject
{
    Q_OBJECT

private slots:
    void recordFields();
    void nullTextsStayEmpty();
    void port_data();
    void port();
    void textsThatDoNotFitAreRefused_data();
    void textsThatDoNotFitAreRefused();
    void missingMacOrPasswordFails();
};

void TestCVexaClient::recordFields()
{
    const auto param = CVexaClient::BuildNetParam("192.168.1.64", "255.255.255.0", "8000", "192.168.1.1",
                                                  "2001:db8::64", "2001:db8::1", 64, 0);
    QVERIFY(param);
    QCOMPARE(QByteArray(param->ipv4Addr), QByteArray("192.168.1.64"));
    QCOMPARE(QByteArray(param->ipv4Mask), QByteArray("255.255.255.0"));
    QCOMPARE(QByteArray(param->ipv4Gateway), QByteArray("192.168.1.1"));
    QCOMPARE(QByteArray(param->ipv6Addr), QByteArray("2001:db8::64"));
    QCOMPARE(QByteArray(param->ipv6Gateway), QByteArray("2001:db8::1"));
    QCOMPARE(param->port, 8000);
    QCOMPARE(param->ipv6PrefixLen, 64);
    QCOMPARE(param->reserved1, 0);
    QVERIFY(std::all_of(std::begin(param->reserved2), std::end(param->reserved2), [](uint8_t b) { return b == 0; }));
    // Bytes after each text are zero: nothing of an earlier text leaks into the record.
    QVERIFY(std::all_of(param->ipv4Addr + 12, std::end(param->ipv4Addr), [](char c) { return c == 0; }));
}

void TestCVexaClient::nullTextsStayEmpty()
{
    const auto param = CVexaClient::BuildNetParam("10.0.0.2", "255.0.0.0", "2000", nullptr, nullptr, nullptr, 0, 0);
    QVERIFY(param);
    QCOMPARE(param->ipv4Gateway[0], '\0');
    QCOMPARE(param->ipv6Addr[0], '\0');
    QCOMPARE(param->ipv6Gateway[0], '\0');
    QCOMPARE(param->ipv6PrefixLen, 0);
}

void TestCVexaClient::port_data()
{
    // -1: refused, so no record is sent (a wrapped port would readdress the device to another one).
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("port");
    QTest::newRow("plain") << QByteArray("8000") << 8000;
    QTest::newRow("largest") << QByteArray("65535") << 65535;
    QTest::newRow("leading zeros") << QByteArray("0080") << 80;
    QTest::newRow("65536 is not wrapped") << QByteArray("65536") << -1;
    QTest::newRow("70000") << QByteArray("70000") << -1;
    QTest::newRow("no overflow") << QByteArray("99999999999999999999") << -1;
    QTest::newRow("trailing junk") << QByteArray("12ab") << -1;
    QTest::newRow("trailing blank") << QByteArray("8000 ") << -1;
    QTest::newRow("no digits") << QByteArray("abc") << -1;
    QTest::newRow("empty") << QByteArray("") << -1;
    QTest::newRow("sign") << QByteArray("-5") << -1;
}

void TestCVexaClient::port()
{
    QFETCH(QByteArray, text);
    QFETCH(int, port);
    const std::optional<uint16_t> parsed = CVexaClient::PortFromText(text.constData());
    QCOMPARE(parsed ? int(*parsed) : -1, port);
    QCOMPARE(bool(CVexaClient::BuildNetParam("10.0.0.2", "255.0.0.0", text.constData(), nullptr, nullptr, nullptr, 0, 0)),
             port >= 0);
    QVERIFY(!CVexaClient::PortFromText(nullptr));
}

void TestCVexaClient::textsThatDoNotFitAreRefused_data()
{
    QTest::addColumn<int>("field"); // 0 ipv4, 1 mask, 2 gateway, 3 ipv6, 4 ipv6 gateway
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("fits");
    for (int field : {0, 1, 2}) {
        QTest::addRow("field %d, 15 bytes", field) << field << 15 << true;
        QTest::addRow("field %d, 16 bytes", field) << field << 16 << false;
        QTest::addRow("field %d, 39 bytes", field) << field << 39 << false;
    }
    for (int field : {3, 4}) {
        QTest::addRow("field %d, 127 bytes", field) << field << 127 << true;
        QTest::addRow("field %d, 128 bytes", field) << field << 128 << false;
    }
}

void TestCVexaClient::textsThatDoNotFitAreRefused()
{
    QFETCH(int, field);
    QFETCH(int, length);
    QFETCH(bool, fits);
    const std::string text(size_t(length), '1');
    const char *texts[5] = {nullptr, nullptr, nullptr, nullptr, nullptr};
    texts[field] = text.c_str();
    const auto param = CVexaClient::BuildNetParam(texts[0], texts[1], "80", texts[2], texts[3], texts[4], 0, 0);
    QCOMPARE(bool(param), fits);
    if (!param)
        return;
    const char *stored[5] = {param->ipv4Addr, param->ipv4Mask, param->ipv4Gateway, param->ipv6Addr, param->ipv6Gateway};
    QCOMPARE(QByteArray(stored[field]), QByteArray(text.c_str()));
}

void TestCVexaClient::missingMacOrPasswordFails()
{
    CVexaClient client;
    QVERIFY(!client.ModifyNetParam(nullptr, "10.0.0.2", "255.0.0.0", "pw", "2000", "", "", "", 0, 0));
    QVERIFY(!client.ModifyNetParam("aa:bb", "10.0.0.2", "255.0.0.0", nullptr, "2000", "", "", "", 0, 0));
    QVERIFY(!client.ResetDefaultPassword(nullptr, "code"));
}

QTEST_APPLESS_MAIN(TestCVexaClient)
#include "tst_cvexaclient.moc"
