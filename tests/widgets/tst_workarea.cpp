#include "workarea.h"

#include <QTest>

using Screens = QList<ScreenArea>;
Q_DECLARE_METATYPE(Screens)

namespace {

const QRect kFullHd(0, 0, 1920, 1080);

ScreenArea WithBottomBar(const QRect &g, int bar)
{
    return {g, g.adjusted(0, 0, 0, -bar)};
}

ScreenArea Plain(const QRect &g)
{
    return {g, g};
}

} // namespace

class TestWorkArea : public QObject
{
    Q_OBJECT

private slots:
    void clamp_data();
    void clamp();
    void popupPosition_data();
    void popupPosition();
};

void TestWorkArea::clamp_data()
{
    QTest::addColumn<Screens>("screens");
    QTest::addColumn<QPoint>("point");
    QTest::addColumn<QPoint>("expected");

    const Screens bottomBar{WithBottomBar(kFullHd, 40)};
    QTest::newRow("no screens") << Screens{} << QPoint(5, 5) << QPoint(5, 5);
    QTest::newRow("inside work area") << bottomBar << QPoint(500, 700) << QPoint(500, 700);
    QTest::newRow("last free row") << bottomBar << QPoint(500, 1039) << QPoint(500, 1039);
    QTest::newRow("into bottom bar") << bottomBar << QPoint(500, 1040) << QPoint(500, 1039);
    QTest::newRow("below the screen") << bottomBar << QPoint(500, 1300) << QPoint(500, 1039);
    QTest::newRow("screen below the bar")
        << Screens{WithBottomBar(kFullHd, 40), Plain(kFullHd.translated(0, 1080))}
        << QPoint(500, 1060) << QPoint(500, 1060);
    QTest::newRow("screen below, but not under the cursor")
        << Screens{WithBottomBar(kFullHd, 40), Plain(QRect(0, 1080, 1280, 1024))}
        << QPoint(1500, 1060) << QPoint(1500, 1039);
    QTest::newRow("taller neighbour does not free the bar")
        << Screens{WithBottomBar(kFullHd, 40), Plain(QRect(1920, 0, 1280, 1440))}
        << QPoint(500, 1060) << QPoint(500, 1039);
    QTest::newRow("bar of the second screen")
        << Screens{Plain(kFullHd), WithBottomBar(kFullHd.translated(1920, 0), 30)}
        << QPoint(2000, 1070) << QPoint(2000, 1049);

    const ScreenArea rightBar{kFullHd, QRect(0, 0, 1860, 1080)};
    QTest::newRow("into right bar") << Screens{rightBar} << QPoint(1900, 300) << QPoint(1859, 300);
    QTest::newRow("screen right of the bar")
        << Screens{rightBar, Plain(kFullHd.translated(1920, 0))} << QPoint(1900, 300)
        << QPoint(1900, 300);

    const ScreenArea leftBar{kFullHd, QRect(60, 0, 1860, 1080)};
    QTest::newRow("into left bar") << Screens{leftBar} << QPoint(10, 300) << QPoint(60, 300);
    QTest::newRow("screen left of the bar")
        << Screens{Plain(kFullHd.translated(-1920, 0)), leftBar} << QPoint(10, 300)
        << QPoint(10, 300);

    const ScreenArea topBar{kFullHd, QRect(0, 28, 1920, 1052)};
    QTest::newRow("into top bar") << Screens{topBar} << QPoint(800, 5) << QPoint(800, 28);
    QTest::newRow("screen above the bar")
        << Screens{Plain(kFullHd.translated(0, -1080)), topBar} << QPoint(800, 5) << QPoint(800, 5);
}

void TestWorkArea::clamp()
{
    QFETCH(Screens, screens);
    QFETCH(QPoint, point);
    QFETCH(QPoint, expected);
    QCOMPARE(ClampToWorkArea(point, screens), expected);
}

void TestWorkArea::popupPosition_data()
{
    QTest::addColumn<Screens>("screens");
    QTest::addColumn<QRect>("anchor");
    QTest::addColumn<QPoint>("expected");

    // A 183 x 200 calendar under a 150 x 20 editor.
    const Screens bottomBar{WithBottomBar(kFullHd, 40)};
    QTest::newRow("room below") << bottomBar << QRect(300, 400, 150, 20) << QPoint(300, 419);
    QTest::newRow("above the task bar") << bottomBar << QRect(300, 900, 150, 20) << QPoint(300, 700);
    QTest::newRow("right edge") << bottomBar << QRect(1850, 400, 60, 20) << QPoint(1737, 419);
    QTest::newRow("left of the screen") << bottomBar << QRect(-40, 400, 150, 20) << QPoint(0, 419);
    QTest::newRow("second screen") << Screens{Plain(kFullHd), WithBottomBar(kFullHd.translated(1920, 0), 40)}
                                   << QRect(3800, 1000, 100, 20) << QPoint(3657, 800);
    QTest::newRow("no screens") << Screens{} << QRect(10, 10, 100, 20) << QPoint(10, 29);
    QTest::newRow("screen too small") << Screens{Plain(QRect(0, 0, 150, 150))} << QRect(0, 50, 100, 20)
                                      << QPoint(0, 0);
}

void TestWorkArea::popupPosition()
{
    QFETCH(Screens, screens);
    QFETCH(QRect, anchor);
    QFETCH(QPoint, expected);
    QCOMPARE(PopupPosition(anchor, QSize(183, 200), screens), expected);
}

QTEST_APPLESS_MAIN(TestWorkArea)
#include "tst_workarea.moc"
