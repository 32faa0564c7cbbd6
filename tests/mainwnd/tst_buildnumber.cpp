#include "buildnumber.h"

#include <QDate>
#include <QTest>

class TestBuildNumber final : public QObject
{
    Q_OBJECT

private slots:
    void fromDate_data();
    void fromDate();
    void ownBuildDateIsADate();
};

void TestBuildNumber::fromDate_data()
{
    QTest::addColumn<QString>("date");
    QTest::addColumn<unsigned>("number");

    QTest::newRow("one-digit day padded with a blank") << "May  2 2012" << 20120502u;
    QTest::newRow("September") << "Sep  3 2013" << 20130903u;
    QTest::newRow("first day of the year") << "Jan  1 2014" << 20140101u;
    QTest::newRow("two-digit day") << "Oct 17 2024" << 20241017u;
    QTest::newRow("last day of the year") << "Dec 31 1999" << 19991231u;
    QTest::newRow("February") << "Feb 29 2028" << 20280229u;
    QTest::newRow("zero-padded day") << "Nov 05 2021" << 20211105u;

    QTest::newRow("empty") << "" << 0u;
    QTest::newRow("unknown month") << "Foo  1 2014" << 0u;
    QTest::newRow("month in lower case") << "jan  1 2014" << 0u;
    QTest::newRow("day not padded") << "Jan 1 2014" << 0u;
    QTest::newRow("day zero") << "Jan  0 2014" << 0u;
    QTest::newRow("day 32") << "Jan 32 2014" << 0u;
    QTest::newRow("letters in the day") << "Jan 1x 2014" << 0u;
    QTest::newRow("letters in the year") << "Jan  1 20x4" << 0u;
    QTest::newRow("trailing text") << "Jan  1 2014 " << 0u;
    QTest::newRow("ISO date") << "2014-01-01" << 0u;
}

void TestBuildNumber::fromDate()
{
    QFETCH(QString, date);
    QFETCH(unsigned, number);
    const QByteArray text = date.toLatin1();
    QCOMPARE(BuildNumberFromDate(std::string_view(text.constData(), size_t(text.size()))), number);
}

// The library's own compile date, whichever day that was.
void TestBuildNumber::ownBuildDateIsADate()
{
    const unsigned number = GetBuildNumber();
    QVERIFY(number > 20000101u);
    QVERIFY(QDate::fromString(QString::number(number), QStringLiteral("yyyyMMdd")).isValid());
}

QTEST_APPLESS_MAIN(TestBuildNumber)
#include "tst_buildnumber.moc"
