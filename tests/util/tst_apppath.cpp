#include "apppath.h"

#include <QCoreApplication>
#include <QTest>

class TestAppPath : public QObject
{
    Q_OBJECT

private slots:
    void resolve_data();
    void resolve();
};

void TestAppPath::resolve_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("expected");

    const QString dir = QCoreApplication::applicationDirPath() + "/";
    QTest::newRow("plain file name") << "Setup.xml" << dir + "Setup.xml";
    QTest::newRow("relative subdirectory") << "translations/KRO-VEXA_en.qm"
                                           << dir + "translations/KRO-VEXA_en.qm";
    QTest::newRow("dot relative") << "./Setup.xml" << dir + "./Setup.xml";
    QTest::newRow("absolute") << "/etc/vexa/Setup.xml" << "/etc/vexa/Setup.xml";
    QTest::newRow("resource") << ":/images/public/close.png" << ":/images/public/close.png";
}

void TestAppPath::resolve()
{
    QFETCH(QString, name);
    QFETCH(QString, expected);
    QCOMPARE(ResolveAppPath(name), expected);
}

QTEST_GUILESS_MAIN(TestAppPath)
#include "tst_apppath.moc"
