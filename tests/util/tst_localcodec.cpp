#include "localcodec.h"

#include <QByteArray>
#include <QTest>

class TestLocalCodec : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void stdStringStopsAtNul();
    void boundedFieldWithoutTerminator();
    void nullPointerIsEmpty();
};

void TestLocalCodec::roundTrip_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("bytes");

    // The locale encoding here is UTF-8: three bytes per CJK character.
    QTest::newRow("ascii") << QString("VXC-7F12") << 8;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("chinese") << QString::fromUtf8("摄像机") << 9;
    QTest::newRow("mixed") << QString::fromUtf8("Cam 前门") << 10;
}

void TestLocalCodec::roundTrip()
{
    QFETCH(QString, text);
    QFETCH(int, bytes);

    const QByteArray encoded = ToLocal8Bit(text);
    QCOMPARE(encoded.size(), bytes);
    QCOMPARE(ToLocalStdString(text), std::string(encoded.constData(), encoded.size()));
    QCOMPARE(FromLocal8Bit(encoded.constData()), text);
}

void TestLocalCodec::stdStringStopsAtNul()
{
    const QString text = QString("abc") + QChar(0) + QString("def");
    QCOMPARE(ToLocal8Bit(text).size(), 7);
    QCOMPARE(ToLocalStdString(text), std::string("abc"));
}

void TestLocalCodec::boundedFieldWithoutTerminator()
{
    const char field[4] = {'C', 'A', 'M', '1'};
    QCOMPARE(FromLocal8Bit(field, sizeof field), QString("CAM1"));

    const char terminated[8] = "ab";
    QCOMPARE(FromLocal8Bit(terminated, sizeof terminated), QString("ab"));
}

void TestLocalCodec::nullPointerIsEmpty()
{
    QVERIFY(FromLocal8Bit(nullptr).isEmpty());
}

QTEST_APPLESS_MAIN(TestLocalCodec)
#include "tst_localcodec.moc"
