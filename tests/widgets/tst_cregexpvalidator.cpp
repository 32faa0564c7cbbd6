#include "cregexpvalidator.h"

#include <QRegularExpression>
#include <QTest>

class TestCRegExpValidator : public QObject
{
    Q_OBJECT

private slots:
    void validate_data();
    void validate();
    void multiByteCharactersCountInBytes();
};

void TestCRegExpValidator::validate_data()
{
    QTest::addColumn<int>("maxBytes");
    QTest::addColumn<QString>("pattern"); // empty: the constructor without expression
    QTest::addColumn<QString>("input");
    QTest::addColumn<QValidator::State>("expected");

    const QString ascii39(39, QLatin1Char('1'));
    QTest::newRow("39 ASCII bytes fit 39") << 39 << QString() << ascii39 << QValidator::Acceptable;
    QTest::newRow("40th byte refused") << 39 << QString() << ascii39 + "1" << QValidator::Invalid;
    QTest::newRow("limit 0 takes empty text") << 0 << QString() << QString() << QValidator::Acceptable;
    QTest::newRow("limit 0 refuses one byte") << 0 << QString() << "a" << QValidator::Invalid;
    QTest::newRow("negative limit: no limit")
        << -1 << QString() << QString(5000, QLatin1Char('x')) << QValidator::Acceptable;
    QTest::newRow("default expression accepts anything")
        << 39 << QString() << "fe80::1%eth0 !\"#$ \t" << QValidator::Acceptable;
    QTest::newRow("expression matches") << 39 << "[0-9.]+" << "192.168.1.64" << QValidator::Acceptable;
    QTest::newRow("expression refuses") << 39 << "[0-9.]+" << "192.168.1.x" << QValidator::Invalid;
    QTest::newRow("expression partial") << 39 << "[0-9]{3}" << "19" << QValidator::Intermediate;
    QTest::newRow("limit wins over a match") << 39 << "[0-9]+" << ascii39 + "1" << QValidator::Invalid;
    QTest::newRow("expression without limit")
        << -1 << "[0-9]+" << QString(100, QLatin1Char('7')) << QValidator::Acceptable;
}

void TestCRegExpValidator::validate()
{
    QFETCH(int, maxBytes);
    QFETCH(QString, pattern);
    QFETCH(QString, input);
    QFETCH(QValidator::State, expected);

    const CRegExpValidator validator = pattern.isEmpty()
        ? CRegExpValidator(maxBytes)
        : CRegExpValidator(maxBytes, QRegularExpression(pattern));
    int pos = 0;
    QCOMPARE(validator.validate(input, pos), expected);
}

void TestCRegExpValidator::multiByteCharactersCountInBytes()
{
    // Two bytes each in a double-byte code page, three in UTF-8: count what
    // this locale really produces.
    const QString wide = QStringLiteral("\u4e2d");
    const qsizetype bytesPerChar = wide.toLocal8Bit().size();
    QVERIFY(bytesPerChar > 1);
    const int fitting = static_cast<int>(39 / bytesPerChar);

    const CRegExpValidator validator(39);
    QString text = wide.repeated(fitting);
    int pos = 0;
    QCOMPARE(validator.validate(text, pos), QValidator::Acceptable);
    text += wide;
    QCOMPARE(validator.validate(text, pos), QValidator::Invalid);
}

QTEST_APPLESS_MAIN(TestCRegExpValidator)
#include "tst_cregexpvalidator.moc"
