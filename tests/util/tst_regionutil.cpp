#include "regionutil.h"

#include <QRegion>
#include <QTest>

class TestRegionUtil : public QObject
{
    Q_OBJECT

private slots:
    void zeroRadiusIsTheRectangle_data();
    void zeroRadiusIsTheRectangle();
    void corners_data();
    void corners();
    void oversizedRadiusStaysInside();
};

void TestRegionUtil::zeroRadiusIsTheRectangle_data()
{
    QTest::addColumn<bool>("topOnly");
    QTest::newRow("all corners") << false;
    QTest::newRow("top corners") << true;
}

void TestRegionUtil::zeroRadiusIsTheRectangle()
{
    QFETCH(bool, topOnly);
    const QRect rect(5, 7, 120, 80);
    const QRegion region = topOnly ? TopEllipseCornerRegion(rect, 0) : EllipseCornerRegion(rect, 0);
    QCOMPARE(region, QRegion(rect));
}

void TestRegionUtil::corners_data()
{
    QTest::addColumn<bool>("topOnly");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<bool>("inside");

    // Rectangle (10,20) 100 x 60, radius 10: right = 109, bottom = 79.
    const struct {
        const char *name;
        QPoint point;
        bool allCut;
        bool topCut;
    } cases[] = {
        {"top-left corner", {10, 20}, false, false},
        {"top-left near corner", {12, 22}, false, false},
        {"top-right corner", {109, 20}, false, false},
        {"bottom-left corner", {10, 79}, false, true},
        {"bottom-right corner", {109, 79}, false, true},
        {"top edge middle", {60, 20}, true, true},
        {"left edge middle", {10, 50}, true, true},
        {"bottom edge middle", {60, 79}, true, true},
        {"inside the top-left arc", {14, 24}, true, true},
        {"centre", {60, 50}, true, true},
        {"outside", {110, 50}, false, false},
    };
    for (const auto &c : cases) {
        QTest::addRow("all: %s", c.name) << false << c.point << c.allCut;
        QTest::addRow("top: %s", c.name) << true << c.point << c.topCut;
    }
}

void TestRegionUtil::corners()
{
    QFETCH(bool, topOnly);
    QFETCH(QPoint, point);
    QFETCH(bool, inside);
    const QRect rect(10, 20, 100, 60);
    const QRegion region = topOnly ? TopEllipseCornerRegion(rect, 10) : EllipseCornerRegion(rect, 10);
    QCOMPARE(region.contains(point), inside);
    QCOMPARE(region.boundingRect(), rect);
}

void TestRegionUtil::oversizedRadiusStaysInside()
{
    const QRect rect(0, 0, 40, 20);
    for (const QRegion &region : {EllipseCornerRegion(rect, 500), TopEllipseCornerRegion(rect, 500),
                                  EllipseCornerRegion(rect, -3)}) {
        QVERIFY(!region.isEmpty());
        QVERIFY(rect.contains(region.boundingRect()));
        QVERIFY(region.contains(rect.center()));
    }
}

QTEST_APPLESS_MAIN(TestRegionUtil)
#include "tst_regionutil.moc"
