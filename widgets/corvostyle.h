#pragma once

#include "vexawidgets_export.h"

#include <QProxyStyle>

class QStyleOptionProgressBar;
class QStyleOptionSlider;

/** The application style: the classic Windows look with image-based tabs,
 *  progress bars and horizontal sliders, an image for selected view items,
 *  no focus rectangles and no frame around styled panels. Images come from
 *  the skin's resources; where one is missing the base style draws instead. */
class VEXAWIDGETS_EXPORT COrvoStyle : public QProxyStyle
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(COrvoStyle)

public:
    COrvoStyle();
    ~COrvoStyle() override;

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    QRect subElementRect(SubElement element, const QStyleOption *option,
                         const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                            QPainter *painter, const QWidget *widget = nullptr) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex *option,
                         SubControl subControl, const QWidget *widget = nullptr) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption *option = nullptr,
                    const QWidget *widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override;

private:
    bool DrawTabClose(const QStyleOption *option, QPainter *painter) const;
    void DrawProgressGroove(const QStyleOptionProgressBar *bar, QPainter *painter,
                            const QWidget *widget) const;
    void DrawSlider(const QStyleOptionSlider *slider, QPainter *painter, const QWidget *widget) const;
    void DrawSliderTicks(const QStyleOptionSlider *slider, QPainter *painter,
                         const QWidget *widget) const;
};
