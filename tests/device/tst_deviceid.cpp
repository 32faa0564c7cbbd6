#include "deviceid.h"
#include "devicerecords.h"
#include "recordtext.h"

#include <QSet>
#include <QTest>

#include <cstring>

namespace {

#ifdef VEXA_OLDER_EDITION
constexpr bool kSerialAlone = true;
#else
constexpr bool kSerialAlone = false;
#endif

} // namespace

// A device's identity by the edition's rule (this program is built for both
// editions), and the record text fields it is read from.
class TestDeviceId : public QObject
{
    Q_OBJECT

private slots:
    void identity_data();
    void identity();
    void shownAs_data();
    void shownAs();
    void fromRecordReadsWithinTheField();
    void fieldText_data();
    void fieldText();
    void putFieldText_data();
    void putFieldText();
};

void TestDeviceId::identity_data()
{
    QTest::addColumn<QByteArray>("serialA");
    QTest::addColumn<QByteArray>("macA");
    QTest::addColumn<QByteArray>("serialB");
    QTest::addColumn<QByteArray>("macB");
    QTest::addColumn<bool>("same");
    QTest::newRow("same serial and MAC") << QByteArray("VX-1") << QByteArray("aa") << QByteArray("VX-1")
                                         << QByteArray("aa") << true;
    QTest::newRow("same serial, other MAC") << QByteArray("VX-1") << QByteArray("aa") << QByteArray("VX-1")
                                            << QByteArray("bb") << kSerialAlone;
    QTest::newRow("other serial, same MAC") << QByteArray("VX-1") << QByteArray("aa") << QByteArray("VX-2")
                                            << QByteArray("aa") << false;
    QTest::newRow("serial a prefix of the other") << QByteArray("VX-1") << QByteArray("aa")
                                                  << QByteArray("VX-10") << QByteArray("aa") << false;
    QTest::newRow("boundary between serial and MAC") << QByteArray("AB") << QByteArray("C") << QByteArray("A")
                                                     << QByteArray("BC") << false;
    QTest::newRow("case counts") << QByteArray("vx-1") << QByteArray("aa") << QByteArray("VX-1")
                                 << QByteArray("aa") << false;
    QTest::newRow("bytes beyond ASCII") << QByteArray("VX-\xE9\xFF") << QByteArray("\xAA") << QByteArray("VX-\xE9\xFF")
                                        << QByteArray("\xAA") << true;
    QTest::newRow("empty serial") << QByteArray() << QByteArray("aa") << QByteArray() << QByteArray("aa") << true;
}

void TestDeviceId::identity()
{
    QFETCH(QByteArray, serialA);
    QFETCH(QByteArray, macA);
    QFETCH(QByteArray, serialB);
    QFETCH(QByteArray, macB);
    QFETCH(bool, same);
    const DeviceId a(serialA, macA);
    const DeviceId b(serialB, macB);
    QCOMPARE(a == b, same);
    QVERIFY(!a.IsNull() && !b.IsNull());
    QVERIFY(!(a == DeviceId()));
    // Found again through a hash, as the table's index finds it.
    const QSet<DeviceId> known{a};
    QCOMPARE(known.contains(b), same);
    // The record's fields name the same device as their bytes.
    const VEXA_DEVICE_INFO_MY record = MakeRecord(serialA.toStdString(), macA.toStdString());
    QVERIFY(DeviceId::Of(record) == a);
    // And the table's texts of them read back to it.
    QVERIFY(DeviceId::FromTexts(QString::fromLatin1(serialA), QString::fromLatin1(macA)) == a);
}

void TestDeviceId::shownAs_data()
{
    QTest::addColumn<QByteArray>("serial");
    QTest::addColumn<QByteArray>("mac");
    QTest::addColumn<QString>("serialText");
    QTest::addColumn<QString>("macText");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<bool>("readBack"); // FromTexts names the device
    QTest::newRow("ASCII") << QByteArray("VX-1") << QByteArray("aa") << "VX-1" << "aa" << true << true;
    QTest::newRow("Latin-1 letter") << QByteArray("VX-\xE9") << QByteArray("aa") << QString::fromUtf8("VX-é") << "aa"
                                    << true << true;
    QTest::newRow("other MAC") << QByteArray("VX-1") << QByteArray("aa") << "VX-1" << "bb" << kSerialAlone
                               << kSerialAlone;
    QTest::newRow("longer serial text") << QByteArray("VX-1") << QByteArray("aa") << "VX-10" << "aa" << false << false;
    QTest::newRow("beyond Latin-1 names nothing") << QByteArray("VX-?") << QByteArray("aa")
                                                  << QString::fromUtf8("VX-€") << "aa" << false << false;
    QTest::newRow("a NUL names nothing") << QByteArray("VX-") << QByteArray("aa") << QString(QStringLiteral("VX-")).append(QChar(0)).append(u'x') << "aa"
                                         << false << false;
}

void TestDeviceId::shownAs()
{
    QFETCH(QByteArray, serial);
    QFETCH(QByteArray, mac);
    QFETCH(QString, serialText);
    QFETCH(QString, macText);
    QFETCH(bool, shown);
    QFETCH(bool, readBack);
    const DeviceId device(serial, mac);
    QCOMPARE(device.IsShownAs(serialText, macText), shown);
    QCOMPARE(DeviceId::FromTexts(serialText, macText) == device, readBack);
    QVERIFY(!DeviceId().IsShownAs(QString(), QString()));
}

void TestDeviceId::fromRecordReadsWithinTheField()
{
    // Fields that fill their width carry no terminator: the bytes after them
    // (the next field) are not part of the identity.
    VEXA_DEVICE_INFO_MY record = MakeRecord("", "");
    std::memset(record.serialNo, 'S', sizeof record.serialNo);
    std::memset(record.macAddr, 'M', sizeof record.macAddr);
    QVERIFY(DeviceId::Of(record) == DeviceId(QByteArray(48, 'S'), QByteArray(20, 'M')));
    // Bytes after a terminator are not either.
    PutText(record.serialNo, std::string_view("VX-1\0junk", 9));
    QVERIFY(DeviceId::Of(record) == DeviceId("VX-1", QByteArray(20, 'M')));
}

void TestDeviceId::fieldText_data()
{
    QTest::addColumn<QByteArray>("field"); // the 8 bytes of a field
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("terminated") << QByteArray("ab\0\0\0\0\0\0", 8) << QByteArray("ab") << "ab";
    QTest::newRow("full width") << QByteArray("abcdefgh") << QByteArray("abcdefgh") << "abcdefgh";
    QTest::newRow("bytes after the terminator") << QByteArray("a\0cdefgh", 8) << QByteArray("a") << "a";
    QTest::newRow("high bytes one character each") << QByteArray("\xE9\xFF\x80\0\0\0\0\0", 8)
                                                   << QByteArray("\xE9\xFF\x80") << QString::fromUtf8("é\u00FF\u0080");
    QTest::newRow("empty") << QByteArray(8, '\0') << QByteArray() << "";
}

void TestDeviceId::fieldText()
{
    QFETCH(QByteArray, field);
    char bytes[8];
    std::memcpy(bytes, field.constData(), sizeof bytes);
    QTEST(FieldBytes(bytes).toByteArray(), "bytes");
    QTEST(FieldText(bytes), "text");
}

void TestDeviceId::putFieldText_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("fits");
    QTest::newRow("short") << QByteArray("ab") << true;
    QTest::newRow("room left for the terminator") << QByteArray("abcdefg") << true;
    QTest::newRow("no room for the terminator") << QByteArray("abcdefgh") << false;
    QTest::newRow("far too long") << QByteArray(100, 'x') << false;
    QTest::newRow("empty") << QByteArray() << true;
}

void TestDeviceId::putFieldText()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, fits);
    char field[8];
    std::memset(field, 'z', sizeof field);
    QCOMPARE(PutFieldText(field, text), fits);
    // What was there before never survives, and the field stays terminated.
    QCOMPARE(QByteArray(field, sizeof field), (fits ? text : QByteArray()).leftJustified(8, '\0'));
}

QTEST_APPLESS_MAIN(TestDeviceId)
#include "tst_deviceid.moc"
