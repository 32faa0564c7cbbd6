#include "clabel.h"

#include <QHelpEvent>
#include <QSignalSpy>
#include <QTest>
#include <QToolTip>

class TestCLabel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void doubleClickIsReported();
    void toolTip_data();
    void toolTip();
};

void TestCLabel::init()
{
    QToolTip::hideText();
    QTRY_VERIFY(QToolTip::text().isEmpty());
}

void TestCLabel::doubleClickIsReported()
{
    CLabel label("192.168.1.64");
    QSignalSpy spy(&label, &CLabel::SignalDoubleClicked);
    QTest::mouseClick(&label, Qt::LeftButton);
    QCOMPARE(spy.count(), 0);
    QTest::mouseDClick(&label, Qt::LeftButton);
    QCOMPARE(spy.count(), 1);
}

void TestCLabel::toolTip_data()
{
    QTest::addColumn<QString>("ownTip");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");

    QTest::newRow("text as tip") << QString() << "The total devices number:"
                                 << "The total devices number:";
    QTest::newRow("own tip wins") << "Double click to open" << "192.168.1.64"
                                  << "Double click to open";
    QTest::newRow("nothing to show") << QString() << QString() << QString();
}

void TestCLabel::toolTip()
{
    QFETCH(QString, ownTip);
    QFETCH(QString, text);
    QFETCH(QString, shown);

    CLabel label(text);
    label.setToolTip(ownTip);
    label.resize(200, 30);
    label.show();
    QVERIFY(QTest::qWaitForWindowExposed(&label));

    const QPoint pos(10, 10);
    QHelpEvent request(QEvent::ToolTip, pos, label.mapToGlobal(pos));
    QCoreApplication::sendEvent(&label, &request);
    QCOMPARE(QToolTip::text(), shown);
    QCOMPARE(QToolTip::isVisible(), !shown.isEmpty());
}

QTEST_MAIN(TestCLabel)
#include "tst_clabel.moc"
