#include "ctooltip.h"

#include <QFontMetrics>
#include <QPointer>
#include <QTest>

class TestCToolTip : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void expiry_data();
    void expiry();
    void placement_data();
    void placement();
    void sameTextSameWidgetDoesNotMove();
    void otherTextResizesAndMoves();
    void emptyTextHidesAfterDelay();
    void emptyTextWithoutTipDoesNothing();
    void activationChangeClosesAtOnce();
    void leavingTheRectChangesTheTip();
    void nullWidgetWithRectIsRefused();
    void newTipReplacesHiddenOne();
    void longPlainTextWraps_data();
    void longPlainTextWraps();
    void clickGoesThroughAndEndsTheTip();

private:
    static QWidget *showHost(QWidget &host);
};

QWidget *TestCToolTip::showHost(QWidget &host)
{
    host.setGeometry(50, 50, 300, 200);
    host.show();
    return QTest::qWaitForWindowExposed(&host) ? &host : nullptr;
}

void TestCToolTip::cleanup()
{
    delete CToolLabel::instance();
    QVERIFY(!CToolLabel::instance());
}

void TestCToolTip::expiry_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("interval");

    QTest::newRow("short") << 24 << 8000;
    QTest::newRow("100 characters") << 100 << 8000;
    QTest::newRow("101 characters") << 101 << 8040;
    QTest::newRow("150 characters") << 150 << 10000;
}

void TestCToolTip::expiry()
{
    QFETCH(int, length);
    QFETCH(int, interval);
    QCOMPARE(CToolTip::expiryInterval(QString(length, 'x')), interval);
}

void TestCToolTip::placement_data()
{
    QTest::addColumn<QRect>("screen");
    QTest::addColumn<QPoint>("pointer");
    QTest::addColumn<QSize>("tip");
    QTest::addColumn<QPoint>("expected");

    const QRect s(0, 0, 800, 600);
    const QSize tip(100, 30);
    QTest::newRow("open space") << s << QPoint(100, 100) << tip << QPoint(102, 121);
    QTest::newRow("right edge flips left") << s << QPoint(750, 100) << tip << QPoint(648, 121);
    QTest::newRow("bottom edge flips up") << s << QPoint(100, 580) << tip << QPoint(102, 547);
    QTest::newRow("bottom-right corner") << s << QPoint(790, 590) << tip << QPoint(688, 557);
    QTest::newRow("too wide for either side, left edge") << s << QPoint(400, 100) << QSize(700, 30)
                                                          << QPoint(0, 121);
    QTest::newRow("too tall for either side, top edge") << s << QPoint(100, 50) << QSize(100, 580)
                                                         << QPoint(102, 0);
    QTest::newRow("pointer left of the screen") << QRect(1000, 0, 800, 600) << QPoint(990, 100)
                                                << tip << QPoint(1000, 121);
    QTest::newRow("second screen, bottom-right") << QRect(800, 0, 1024, 768) << QPoint(1810, 760)
                                                 << tip << QPoint(1708, 727);
    QTest::newRow("exactly fits at the right") << s << QPoint(698, 100) << tip << QPoint(700, 121);
}

void TestCToolTip::placement()
{
    QFETCH(QRect, screen);
    QFETCH(QPoint, pointer);
    QFETCH(QSize, tip);
    QFETCH(QPoint, expected);

    const QPoint pos = CToolTip::tipPosition(pointer, tip, screen);
    QCOMPARE(pos, expected);
    QVERIFY(screen.contains(QRect(pos, tip)));
}

void TestCToolTip::sameTextSameWidgetDoesNotMove()
{
    QWidget host;
    QVERIFY(showHost(host));
    CToolTip::showText(QPoint(100, 100), "Password cannot be empty.", &host);
    QVERIFY(CToolTip::isVisible());
    QCOMPARE(CToolTip::text(), QString("Password cannot be empty."));
    const QRect before = CToolLabel::instance()->geometry();

    CToolTip::showText(QPoint(200, 160), "Password cannot be empty.", &host);
    QCOMPARE(CToolLabel::instance()->geometry(), before);
}

void TestCToolTip::otherTextResizesAndMoves()
{
    QWidget host;
    QVERIFY(showHost(host));
    CToolTip::showText(QPoint(100, 100), "Short.", &host);
    QPointer<CToolLabel> tip = CToolLabel::instance();
    const QRect before = tip->geometry();

    CToolTip::showText(QPoint(200, 160), "The port number must lie between 1 and 65535.", &host);
    QCOMPARE(CToolLabel::instance(), tip.data());
    QCOMPARE(tip->pos(), QPoint(202, 181));
    QVERIFY(tip->width() > before.width());
}

void TestCToolTip::emptyTextHidesAfterDelay()
{
    QWidget host;
    QVERIFY(showHost(host));
    CToolTip::showText(QPoint(100, 100), "Invalid IP address.", &host);
    QPointer<CToolLabel> tip = CToolLabel::instance();

    CToolTip::showText(QPoint(100, 100), QString(), &host);
    QVERIFY(CToolTip::isVisible());
    QTRY_VERIFY(!CToolTip::isVisible());
    QTRY_VERIFY(tip.isNull());
    QVERIFY(CToolTip::text().isEmpty());
}

void TestCToolTip::emptyTextWithoutTipDoesNothing()
{
    CToolTip::showText(QPoint(100, 100), QString());
    QVERIFY(!CToolLabel::instance());
}

void TestCToolTip::activationChangeClosesAtOnce()
{
    QWidget host;
    QVERIFY(showHost(host));
    CToolTip::showText(QPoint(100, 100), "Invalid subnet mask.", &host);
    QPointer<CToolLabel> tip = CToolLabel::instance();
    QVERIFY(tip);

    QEvent deactivate(QEvent::WindowDeactivate);
    QCoreApplication::sendEvent(&host, &deactivate);
    QVERIFY(!CToolTip::isVisible());
    QTRY_VERIFY(tip.isNull());
}

void TestCToolTip::leavingTheRectChangesTheTip()
{
    QWidget host;
    QVERIFY(showHost(host));
    const QRect field(10, 10, 100, 20);
    CToolTip::showText(host.mapToGlobal(QPoint(20, 20)), "Gateway is invalid.", &host, field);
    const QPoint before = CToolLabel::instance()->pos();

    // Same text and widget, still inside the field: the tip stays put.
    CToolTip::showText(host.mapToGlobal(QPoint(60, 25)), "Gateway is invalid.", &host, field);
    QCOMPARE(CToolLabel::instance()->pos(), before);

    // Outside the field the tip no longer belongs where it is.
    const QPoint outside = host.mapToGlobal(QPoint(200, 150));
    CToolTip::showText(outside, "Gateway is invalid.", &host, field);
    QCOMPARE(CToolLabel::instance()->pos(), outside + QPoint(2, 21));
}

void TestCToolTip::nullWidgetWithRectIsRefused()
{
    QWidget host;
    QVERIFY(showHost(host));
    CToolTip::showText(QPoint(100, 100), "Port cannot be empty.", &host, QRect(0, 0, 50, 20));

    QTest::ignoreMessage(QtWarningMsg, "CToolTip::setTipRect: Cannot pass null widget if rect is set");
    CToolTip::showText(QPoint(120, 120), "Port is out of range.", nullptr, QRect(0, 0, 10, 10));
    QCOMPARE(CToolTip::text(), QString("Port is out of range."));

    // The tip still belongs to the host's field: inside it, nothing moves.
    const QPoint before = CToolLabel::instance()->pos();
    CToolTip::showText(host.mapToGlobal(QPoint(30, 10)), "Port is out of range.", &host);
    QCOMPARE(CToolLabel::instance()->pos(), before);
}

void TestCToolTip::newTipReplacesHiddenOne()
{
    CToolTip::showText(QPoint(100, 100), "First.");
    QPointer<CToolLabel> first = CToolLabel::instance();
    CToolTip::hideText();
    QVERIFY(first);
    QVERIFY(!CToolTip::isVisible());

    CToolTip::showText(QPoint(100, 100), "Second.");
    QVERIFY(first.isNull());
    QVERIFY(CToolTip::isVisible());
    QCOMPARE(CToolTip::text(), QString("Second."));
    QCOMPARE(CToolLabel::instance()->objectName(), QString("ctooltip_label"));
}

void TestCToolTip::longPlainTextWraps_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("forWidth"); // the width of the widget the tip is for; 0: none
    QTest::addColumn<bool>("wrapped");
    const QString sentence = QStringLiteral("IP address 192.168.100.200 is in use by device VXC212020210313DM000001 (ID 123).");
    QTest::newRow("short") << QStringLiteral("Port cannot be empty.") << 0 << false;
    QTest::newRow("long") << sentence << 0 << true;
    QTest::newRow("long, for a narrow form") << sentence << 200 << true;
    QTest::newRow("long, for a wide window") << sentence << 2000 << true;
    QTest::newRow("short, for a narrow form") << QStringLiteral("Port cannot be empty.") << 200 << false;
    QTest::newRow("rich text is the label's to lay out") << QStringLiteral("<b>Bold</b> ") + sentence << 200 << true;
}

void TestCToolTip::longPlainTextWraps()
{
    QFETCH(QString, text);
    QFETCH(int, forWidth);
    QFETCH(bool, wrapped);
    QWidget host;
    QVERIFY(showHost(host));
    QWidget form(&host);
    form.resize(forWidth, 30);
    CToolTip::showText(QPoint(100, 100), text, forWidth ? &form : nullptr);
    const CToolLabel *tip = CToolLabel::instance();
    QVERIFY(tip);
    QCOMPARE(tip->wordWrap(), wrapped);
    const QFontMetrics metrics(tip->font());
    const int oneLine = metrics.height() + 2 * tip->margin() + 2;
    QCOMPARE(tip->height() > oneLine, wrapped);
    if (Qt::mightBeRichText(text))
        return;
    QVERIFY(tip->width() <= CToolTip::maximumWidth(metrics, forWidth ? &form : nullptr));
    QVERIFY(tip->width() <= std::max(forWidth ? forWidth - 4 : INT_MAX, 15 * metrics.averageCharWidth()));
}

void TestCToolTip::clickGoesThroughAndEndsTheTip()
{
    QWidget host;
    QVERIFY(showHost(host));
    CToolTip::showText(host.mapToGlobal(QPoint(10, 10)), "Gateway is invalid.", &host);
    QPointer<CToolLabel> tip = CToolLabel::instance();
    QVERIFY(tip->windowFlags().testFlag(Qt::WindowTransparentForInput));
    QTest::mousePress(&host, Qt::LeftButton, {}, QPoint(20, 40));
    QVERIFY(!CToolTip::isVisible());
    QTRY_VERIFY(tip.isNull());
}

QTEST_MAIN(TestCToolTip)
#include "tst_ctooltip.moc"
