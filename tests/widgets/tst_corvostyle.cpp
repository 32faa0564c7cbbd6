#include "corvostyle.h"

#include <QFrame>
#include <QPainter>
#include <QPixmapCache>
#include <QProgressBar>
#include <QSlider>
#include <QStyleFactory>
#include <QStyleOption>
#include <QTabBar>
#include <QTest>

#include <memory>

namespace {

// Images the skin would supply, each a solid colour so a rendering can be
// searched for them. They go straight into the pixmap cache, where the
// style's loader looks first.
const struct
{
    const char *path;
    QSize size;
    QColor colour;
} kSkin[] = {
    {":images/public/ProgressBar/ProgressBarLeft.png", {4, 12}, Qt::red},
    {":images/public/ProgressBar/ProgressBar.png", {1, 12}, Qt::green},
    {":images/public/ProgressBar/ProgressBarRight.png", {4, 12}, Qt::blue},
    {":images/public/ProgressBar/ProgressBarLeftChunk.png", {4, 12}, Qt::yellow},
    {":images/public/ProgressBar/ProgressBarChunk.png", {1, 12}, Qt::cyan},
    {":images/public/ProgressBar/ProgressBarRightChunk.png", {4, 12}, Qt::magenta},
    {":/images/public/Slider/RightSlider.png", {10, 4}, Qt::darkRed},
    {":/images/public/Slider/LeftSlider.png", {10, 4}, Qt::darkGreen},
    {":/images/public/Slider/RadiobtnOff.png", {13, 10}, Qt::darkBlue},
    {":images/ControlPanel/ListView-hover.png", {8, 8}, Qt::darkCyan},
};

void InstallSkin()
{
    for (const auto &image : kSkin) {
        QPixmap pixmap(image.size);
        pixmap.fill(image.colour);
        QPixmapCache::insert(QString::fromLatin1(image.path), pixmap);
    }
}

QImage Render(QWidget &w)
{
    QImage image(w.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    w.render(&image, {}, {}, QWidget::DrawChildren);
    return image;
}

int CountColour(const QImage &image, const QColor &colour)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += image.pixelColor(x, y) == colour;
    return count;
}

bool IsBlank(const QImage &image)
{
    return CountColour(image, QColor(Qt::transparent)) == image.width() * image.height();
}

} // namespace

class TestCOrvoStyle : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void metrics_data();
    void metrics();
    void sizes_data();
    void sizes();
    void subElements();
    void horizontalSliderRects();
    void styledPanelHasNoFrame_data();
    void styledPanelHasNoFrame();
    void noFocusRectangle();
    void missingImagesFallBack();
    void progressBar_data();
    void progressBar();
    void emptyRangeProgressBar();
    void sliderIsDrawnFromImages();
    void viewItemSelectionMarksIconOnly();

private:
    COrvoStyle m_style;
    std::unique_ptr<QStyle> m_base{QStyleFactory::create("Windows")};
};

void TestCOrvoStyle::init()
{
    QPixmapCache::clear();
}

void TestCOrvoStyle::metrics_data()
{
    QTest::addColumn<int>("metric");
    QTest::addColumn<int>("expected");
    QTest::newRow("slider length") << int(QStyle::PM_SliderLength) << 13;
    QTest::newRow("tab close width") << int(QStyle::PM_TabCloseIndicatorWidth) << 20;
    QTest::newRow("tab close height") << int(QStyle::PM_TabCloseIndicatorHeight) << 20;
    QTest::newRow("menu button indicator") << int(QStyle::PM_MenuButtonIndicator) << 0;
    QTest::newRow("button margin, from the base")
        << int(QStyle::PM_ButtonMargin) << m_base->pixelMetric(QStyle::PM_ButtonMargin);
}

void TestCOrvoStyle::metrics()
{
    QFETCH(int, metric);
    QFETCH(int, expected);
    QCOMPARE(m_style.pixelMetric(QStyle::PixelMetric(metric)), expected);
}

void TestCOrvoStyle::sizes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("extraWidth");
    QTest::addColumn<int>("height"); // -1: as the base style
    QTest::newRow("radio button") << int(QStyle::CT_RadioButton) << 20 << -1;
    QTest::newRow("tab") << int(QStyle::CT_TabBarTab) << 0 << 40;
    QTest::newRow("slider") << int(QStyle::CT_Slider) << 0 << 10;
    QTest::newRow("push button") << int(QStyle::CT_PushButton) << 0 << -1;
}

void TestCOrvoStyle::sizes()
{
    QFETCH(int, type);
    QFETCH(int, extraWidth);
    QFETCH(int, height);
    QStyleOptionButton button;
    QStyleOptionTab tab;
    tab.text = "Devices";
    QStyleOptionSlider slider;
    slider.orientation = Qt::Horizontal;
    const QStyleOption *option = &button;
    if (type == QStyle::CT_TabBarTab)
        option = &tab;
    else if (type == QStyle::CT_Slider)
        option = &slider;
    const QSize contents(60, 18);
    const QSize base = m_base->sizeFromContents(QStyle::ContentsType(type), option, contents, nullptr);
    const QSize ours = m_style.sizeFromContents(QStyle::ContentsType(type), option, contents, nullptr);
    QCOMPARE(ours.width(), base.width() + extraWidth);
    QCOMPARE(ours.height(), height < 0 ? base.height() : height);
}

void TestCOrvoStyle::subElements()
{
    QStyleOptionViewItem item;
    item.rect = QRect(0, 0, 200, 24);
    item.features = QStyleOptionViewItem::HasCheckIndicator;
    QCOMPARE(m_style.subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &item).size(), QSize(16, 16));

    QStyleOptionProgressBar bar;
    bar.rect = QRect(0, 0, 200, 30);
    QCOMPARE(m_style.subElementRect(QStyle::SE_ProgressBarGroove, &bar).top(), 10);

    QStyleOptionTab tab;
    tab.rect = QRect(0, 0, 120, 40);
    tab.leftButtonSize = QSize(16, 16);
    tab.rightButtonSize = QSize(16, 16);
    QCOMPARE(m_style.subElementRect(QStyle::SE_TabBarTabLeftButton, &tab).height(), 0);
    const QRect baseRight = m_base->subElementRect(QStyle::SE_TabBarTabRightButton, &tab);
    const QRect right = m_style.subElementRect(QStyle::SE_TabBarTabRightButton, &tab);
    QCOMPARE(right.left(), baseRight.left() + m_style.pixelMetric(QStyle::PM_TabBarTabVSpace, &tab) + 1);
    QCOMPARE(right.top(), 2);
}

void TestCOrvoStyle::horizontalSliderRects()
{
    QSlider slider(Qt::Horizontal);
    slider.setStyle(&m_style);
    slider.resize(200, 20);
    QStyleOptionSlider option;
    option.initFrom(&slider);
    option.orientation = Qt::Horizontal;
    option.minimum = 0;
    option.maximum = 100;
    option.sliderPosition = 50;
    const QRect handle = m_style.subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle);
    const QRect groove = m_style.subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove);
    QCOMPARE(handle.height(), 10);
    QCOMPARE(groove.height(), 4);
    QCOMPARE(handle.width(), 13);
    // Both centred on the same line.
    QVERIFY(qAbs(handle.center().y() - groove.center().y()) <= 1);

    option.orientation = Qt::Vertical;
    QCOMPARE(m_style.subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove),
             m_base->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove));
}

void TestCOrvoStyle::styledPanelHasNoFrame_data()
{
    QTest::addColumn<int>("shape");
    QTest::addColumn<bool>("framed");
    QTest::newRow("styled panel") << int(QFrame::StyledPanel) << false;
    QTest::newRow("box") << int(QFrame::Box) << true;
    QTest::newRow("panel") << int(QFrame::Panel) << true;
}

void TestCOrvoStyle::styledPanelHasNoFrame()
{
    QFETCH(int, shape);
    QFETCH(bool, framed);
    QFrame frame;
    frame.setStyle(&m_style);
    frame.setFrameStyle(shape | QFrame::Sunken);
    frame.resize(40, 30);
    QCOMPARE(!IsBlank(Render(frame)), framed);

    // The base style does frame a styled panel: the check above means something.
    frame.setStyle(m_base.get());
    QVERIFY(!IsBlank(Render(frame)));
}

void TestCOrvoStyle::noFocusRectangle()
{
    QStyleOptionFocusRect option;
    option.rect = QRect(2, 2, 30, 20);
    option.state = QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
    QImage image(40, 30, QImage::Format_ARGB32);
    const auto draw = [&](const QStyle &style) {
        image.fill(Qt::transparent);
        QPainter painter(&image);
        style.drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter);
    };
    draw(*m_base);
    QVERIFY(!IsBlank(image));
    draw(m_style);
    QVERIFY(IsBlank(image));
}

void TestCOrvoStyle::missingImagesFallBack()
{
    QProgressBar bar;
    bar.setStyle(&m_style);
    bar.setTextVisible(false);
    bar.resize(200, 30);
    bar.setValue(60);
    QVERIFY(!IsBlank(Render(bar)));

    QSlider slider(Qt::Horizontal);
    slider.setStyle(&m_style);
    slider.setTickPosition(QSlider::TicksBothSides);
    slider.resize(200, 30);
    QVERIFY(!IsBlank(Render(slider)));

    QTabBar tabs;
    tabs.setStyle(&m_style);
    tabs.setTabsClosable(true);
    tabs.addTab("Devices");
    tabs.addTab("Settings");
    tabs.resize(tabs.sizeHint());
    QVERIFY(!IsBlank(Render(tabs)));
}

void TestCOrvoStyle::progressBar_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("chunk");
    QTest::addColumn<bool>("rightChunk");
    QTest::newRow("minimum") << 0 << false << false;
    QTest::newRow("half") << 50 << true << false;
    QTest::newRow("maximum") << 100 << true << true;
}

void TestCOrvoStyle::progressBar()
{
    QFETCH(int, value);
    QFETCH(bool, chunk);
    QFETCH(bool, rightChunk);
    InstallSkin();
    QProgressBar bar;
    bar.setStyle(&m_style);
    bar.setTextVisible(false);
    bar.setRange(0, 100);
    bar.setValue(value);
    bar.resize(208, 30);
    const QImage image = Render(bar);
    // The chunk end pieces cover the groove's end pieces.
    QCOMPARE(CountColour(image, Qt::red) > 0, !chunk);
    QCOMPARE(CountColour(image, Qt::blue) > 0, !rightChunk);
    QCOMPARE(CountColour(image, Qt::yellow) > 0, chunk);
    QCOMPARE(CountColour(image, Qt::magenta) > 0, rightChunk);
    // The chunk spans its share of the bar between the end pieces, 12 rows tall.
    const int span = (208 - 4 - 4) * value / 100;
    QCOMPARE(CountColour(image, Qt::cyan), span * 12);
}

void TestCOrvoStyle::emptyRangeProgressBar()
{
    InstallSkin();
    QStyleOptionProgressBar option;
    option.rect = QRect(0, 0, 100, 20);
    option.minimum = 5;
    option.maximum = 5;
    option.progress = 9;
    QImage image(100, 20, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    m_style.drawControl(QStyle::CE_ProgressBarGroove, &option, &painter);
    painter.end();
    QVERIFY(CountColour(image, Qt::green) > 0);
    QCOMPARE(CountColour(image, Qt::cyan), 0);
}

void TestCOrvoStyle::sliderIsDrawnFromImages()
{
    InstallSkin();
    QSlider slider(Qt::Horizontal);
    slider.setStyle(&m_style);
    slider.setRange(0, 100);
    slider.setValue(50);
    slider.resize(200, 20);
    const QImage image = Render(slider);
    QCOMPARE(CountColour(image, Qt::darkBlue), 13 * 10);
    QVERIFY(CountColour(image, Qt::darkGreen) > 0);
    QVERIFY(CountColour(image, Qt::darkRed) > 0);
}

void TestCOrvoStyle::viewItemSelectionMarksIconOnly()
{
    InstallSkin();
    QStyleOptionViewItem item;
    item.rect = QRect(0, 0, 120, 24);
    item.state = QStyle::State_Selected | QStyle::State_Enabled;
    item.text = "192.168.1.64";
    item.features = QStyleOptionViewItem::HasDisplay;
    QImage image(120, 24, QImage::Format_ARGB32);
    const auto draw = [&] {
        image.fill(Qt::transparent);
        QPainter painter(&image);
        m_style.drawPrimitive(QStyle::PE_PanelItemViewItem, &item, &painter);
    };
    draw();
    QVERIFY(IsBlank(image));

    item.features |= QStyleOptionViewItem::HasDecoration;
    item.decorationSize = QSize(16, 16);
    QPixmap icon(16, 16);
    icon.fill(Qt::black);
    item.icon = QIcon(icon);
    draw();
    QVERIFY(CountColour(image, Qt::darkCyan) > 0);

    item.state &= ~QStyle::State_Selected;
    draw();
    QVERIFY(IsBlank(image));
}

QTEST_MAIN(TestCOrvoStyle)
#include "tst_corvostyle.moc"
