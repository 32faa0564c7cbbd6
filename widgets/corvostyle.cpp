#include "corvostyle.h"

#include "pixmaputil.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>

namespace {

const QString kViewItemSelected = QStringLiteral(":images/ControlPanel/ListView-hover.png");
const QString kTabClose = QStringLiteral(":images/Tab/TabClose.png");
const QString kTabCloseHover = QStringLiteral(":images/Tab/TabCloseHover.png");
const QString kTabSelected = QStringLiteral(":/images/Tab/TabSelect.png");
const QString kTabUnselected = QStringLiteral(":/images/Tab/TabUnselect.png");
const QString kBarLeft = QStringLiteral(":images/public/ProgressBar/ProgressBarLeft.png");
const QString kBarMiddle = QStringLiteral(":images/public/ProgressBar/ProgressBar.png");
const QString kBarRight = QStringLiteral(":images/public/ProgressBar/ProgressBarRight.png");
const QString kChunkLeft = QStringLiteral(":images/public/ProgressBar/ProgressBarLeftChunk.png");
const QString kChunk = QStringLiteral(":images/public/ProgressBar/ProgressBarChunk.png");
const QString kChunkRight = QStringLiteral(":images/public/ProgressBar/ProgressBarRightChunk.png");
const QString kSliderGroove = QStringLiteral(":/images/public/Slider/RightSlider.png");
const QString kSliderFilled = QStringLiteral(":/images/public/Slider/LeftSlider.png");
const QString kSliderHandle = QStringLiteral(":/images/public/Slider/RadiobtnOff.png");

constexpr int kTabCloseSize = 20;
constexpr int kSliderLength = 13;
constexpr int kSliderHandleHeight = 10;
constexpr int kSliderGrooveHeight = 4;
constexpr int kSliderHeight = 10;
constexpr int kTabHeight = 40;
constexpr int kRadioExtraWidth = 20;
constexpr int kCheckIndicatorSize = 16;
constexpr int kProgressGrooveTop = 10;
// Ticks narrower than this apart blur into a bar; the page step is used then.
constexpr int kMinTickSpacing = 3;

bool HasImage(const QString &path)
{
    return !LoadCachedPixmap(path).isNull();
}

} // namespace

COrvoStyle::COrvoStyle()
    : QProxyStyle(QStyleFactory::create(QStringLiteral("Windows")))
{
}

COrvoStyle::~COrvoStyle() = default;

void COrvoStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                               QPainter *painter, const QWidget *widget) const
{
    switch (element) {
    case PE_FrameFocusRect:
    case PE_FrameTabBarBase:
    case PE_IndicatorTabTear:
    case PE_PanelItemViewRow:
        return;
    case PE_PanelItemViewItem: {
        const auto *item = qstyleoption_cast<const QStyleOptionViewItem *>(option);
        if (!item || !(item->state & State_Selected))
            return;
        const QPixmap selected = LoadCachedPixmap(kViewItemSelected);
        if (selected.isNull())
            break;
        // The image marks the item's icon only; an item without icon gets none.
        const QRect decoration = proxy()->subElementRect(SE_ItemViewItemDecoration, item, widget);
        if (!decoration.isEmpty())
            painter->drawPixmap(decoration, selected);
        return;
    }
    case PE_IndicatorTabClose:
        if (DrawTabClose(option, painter))
            return;
        break;
    default:
        break;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

// False when the skin lacks the image, so that the base style draws a close mark.
bool COrvoStyle::DrawTabClose(const QStyleOption *option, QPainter *painter) const
{
    const QStyle::State state = option->state;
    QString path;
    if (state & State_MouseOver)
        path = kTabCloseHover;
    else if (state & State_Selected)
        path = kTabClose;
    else
        return true;
    const QPixmap image = LoadCachedPixmap(path);
    if (image.isNull())
        return false;

    QIcon::Mode mode = QIcon::Normal;
    if (!(state & State_Enabled))
        mode = QIcon::Disabled;
    else if (state & State_Raised)
        mode = QIcon::Active;
    const QIcon::State iconState = (state & State_Sunken) ? QIcon::On : QIcon::Off;
    const QIcon icon(image.scaled(kTabCloseSize, kTabCloseSize, Qt::IgnoreAspectRatio,
                                  Qt::SmoothTransformation));
    const QPixmap pixmap = icon.pixmap(QSize(kTabCloseSize, kTabCloseSize), mode, iconState);
    proxy()->drawItemPixmap(painter, option->rect, Qt::AlignCenter, pixmap);
    return true;
}

void COrvoStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                             const QWidget *widget) const
{
    switch (element) {
    case CE_TabBarTabShape: {
        const QPixmap tab = LoadCachedPixmap((option->state & State_Selected) ? kTabSelected
                                                                              : kTabUnselected);
        if (tab.isNull())
            break;
        painter->fillRect(option->rect.adjusted(2, 0, -1, 0), QBrush(tab));
        return;
    }
    case CE_ProgressBarGroove:
        if (const auto *bar = qstyleoption_cast<const QStyleOptionProgressBar *>(option);
            bar && HasImage(kBarMiddle)) {
            DrawProgressGroove(bar, painter, widget);
            return;
        }
        break;
    case CE_ProgressBarContents:
        // The skinned groove draws the filled part itself.
        if (HasImage(kBarMiddle))
            return;
        break;
    case CE_ShapedFrame:
        if (const auto *frame = qstyleoption_cast<const QStyleOptionFrame *>(option);
            frame && frame->frameShape == QFrame::StyledPanel) {
            QStyleOptionFrame plain(*frame);
            plain.frameShape = QFrame::NoFrame;
            QProxyStyle::drawControl(element, &plain, painter, widget);
            return;
        }
        break;
    default:
        break;
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

void COrvoStyle::DrawProgressGroove(const QStyleOptionProgressBar *bar, QPainter *painter,
                                    const QWidget *widget) const
{
    const QRect &r = bar->rect;
    const QPixmap left = LoadCachedPixmap(kBarLeft);
    const QPixmap middle = LoadCachedPixmap(kBarMiddle);
    const QPixmap right = LoadCachedPixmap(kBarRight);
    const int middleLeft = r.left() + left.width();
    const int rightLeft = r.left() + r.width() - right.width();
    painter->drawPixmap(r.topLeft(), left);
    if (rightLeft > middleLeft)
        painter->drawPixmap(QRect(middleLeft, r.top(), rightLeft - middleLeft, middle.height()), middle);
    painter->drawPixmap(rightLeft, r.top(), right);

    // An empty range has no filled part (and would divide by zero).
    if (bar->maximum <= bar->minimum || proxy()->pixelMetric(PM_ProgressBarChunkWidth, bar, widget) == 0)
        return;
    const int progress = std::min(bar->progress, bar->maximum);
    const qint64 done = qint64(progress) - bar->minimum;
    if (done <= 0)
        return;
    const QPixmap chunkLeft = LoadCachedPixmap(kChunkLeft);
    const qint64 room = qint64(r.width()) - chunkLeft.width() - right.width();
    const int span = int(room * done / (qint64(bar->maximum) - bar->minimum));
    painter->drawPixmap(r.topLeft(), chunkLeft);
    if (span > 0)
        painter->drawPixmap(QRect(middleLeft, r.top(), span, middle.height()), LoadCachedPixmap(kChunk));
    if (progress == bar->maximum)
        painter->drawPixmap(r.left() + chunkLeft.width() + span, r.top(), LoadCachedPixmap(kChunkRight));
}

void COrvoStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                                    QPainter *painter, const QWidget *widget) const
{
    if (control == CC_Slider) {
        if (const auto *slider = qstyleoption_cast<const QStyleOptionSlider *>(option);
            slider && slider->orientation == Qt::Horizontal && HasImage(kSliderGroove)) {
            DrawSlider(slider, painter, widget);
            return;
        }
    }
    QProxyStyle::drawComplexControl(control, option, painter, widget);
}

void COrvoStyle::DrawSlider(const QStyleOptionSlider *slider, QPainter *painter,
                            const QWidget *widget) const
{
    const QRect groove = proxy()->subControlRect(CC_Slider, slider, SC_SliderGroove, widget);
    const QRect handle = proxy()->subControlRect(CC_Slider, slider, SC_SliderHandle, widget);
    if ((slider->subControls & SC_SliderGroove) && groove.isValid()) {
        painter->drawPixmap(QRect(groove.left() + 3, groove.top(), groove.width() - 6, groove.height()),
                            LoadCachedPixmap(kSliderGroove));
        painter->drawPixmap(QRect(groove.left() + 3, groove.top(), handle.left(), groove.height()),
                            LoadCachedPixmap(kSliderFilled));
    }
    if ((slider->subControls & SC_SliderHandle) && handle.isValid())
        painter->drawPixmap(handle.topLeft(), LoadCachedPixmap(kSliderHandle));
    if ((slider->subControls & SC_SliderTickmarks) && slider->tickPosition != QSlider::NoTicks)
        DrawSliderTicks(slider, painter, widget);
}

void COrvoStyle::DrawSliderTicks(const QStyleOptionSlider *slider, QPainter *painter,
                                 const QWidget *widget) const
{
    const qint64 range = qint64(slider->maximum) - slider->minimum;
    const int available = proxy()->pixelMetric(PM_SliderSpaceAvailable, slider, widget);
    if (range < 0 || available <= 0)
        return;
    qint64 interval = slider->tickInterval;
    if (interval <= 0) {
        interval = slider->singleStep;
        if (range > 0 && interval * available / range < kMinTickSpacing)
            interval = slider->pageStep;
    }
    // Never more marks than pixels: a huge range would otherwise stall painting.
    interval = std::max({interval, qint64(1), range / available});

    const int halfHandle = proxy()->pixelMetric(PM_SliderLength, slider, widget) / 2;
    const int tickOffset = proxy()->pixelMetric(PM_SliderTickmarkOffset, slider, widget);
    const int thickness = proxy()->pixelMetric(PM_SliderControlThickness, slider, widget);
    painter->save();
    painter->translate(slider->rect.topLeft());
    painter->setPen(slider->palette.color(QPalette::WindowText));
    for (qint64 v = slider->minimum; v <= slider->maximum; v += interval) {
        const int x = QStyle::sliderPositionFromValue(slider->minimum, slider->maximum, int(v),
                                                      available, slider->upsideDown)
                      + halfHandle;
        if (slider->tickPosition & QSlider::TicksAbove)
            painter->drawLine(x, 10, x, tickOffset);
        if (slider->tickPosition & QSlider::TicksBelow)
            painter->drawLine(x, tickOffset + thickness - 4, x, tickOffset + thickness + 1);
    }
    painter->restore();
}

QRect COrvoStyle::subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                                 SubControl subControl, const QWidget *widget) const
{
    QRect r = QProxyStyle::subControlRect(control, option, subControl, widget);
    const auto *slider = qstyleoption_cast<const QStyleOptionSlider *>(option);
    if (control != CC_Slider || !slider || slider->orientation != Qt::Horizontal)
        return r;
    // Thin groove and small handle around the middle of the base rectangle.
    if (subControl == SC_SliderHandle) {
        r.moveTop(r.height() / 2 - 4);
        r.setHeight(kSliderHandleHeight);
    } else if (subControl == SC_SliderGroove) {
        r.moveTop(r.height() / 2 - 2);
        r.setHeight(kSliderGrooveHeight);
    }
    return r;
}

QRect COrvoStyle::subElementRect(SubElement element, const QStyleOption *option,
                                 const QWidget *widget) const
{
    QRect r = QProxyStyle::subElementRect(element, option, widget);
    switch (element) {
    case SE_TabBarTabRightButton:
        if (r.isValid()) {
            r.setLeft(r.left() + proxy()->pixelMetric(PM_TabBarTabVSpace, option, widget) + 1);
            r.setTop(2);
        }
        break;
    case SE_TabBarTabLeftButton:
        r.setHeight(0);
        break;
    case SE_ItemViewItemCheckIndicator:
        r.setSize(QSize(kCheckIndicatorSize, kCheckIndicatorSize));
        break;
    case SE_ProgressBarGroove:
        r.setTop(kProgressGrooveTop);
        break;
    default:
        break;
    }
    return r;
}

int COrvoStyle::pixelMetric(PixelMetric metric, const QStyleOption *option, const QWidget *widget) const
{
    switch (metric) {
    case PM_SliderLength:
        return kSliderLength;
    case PM_TabCloseIndicatorWidth:
    case PM_TabCloseIndicatorHeight:
        return kTabCloseSize;
    case PM_MenuButtonIndicator:
        return 0;
    default:
        return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

QSize COrvoStyle::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                                   const QWidget *widget) const
{
    QSize s = QProxyStyle::sizeFromContents(type, option, size, widget);
    switch (type) {
    case CT_RadioButton:
        s.rwidth() += kRadioExtraWidth;
        break;
    case CT_TabBarTab:
        s.setHeight(kTabHeight);
        break;
    case CT_Slider:
        s.setHeight(kSliderHeight);
        break;
    default:
        break;
    }
    return s;
}
