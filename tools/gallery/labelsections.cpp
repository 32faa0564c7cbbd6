#include "sections.h"

#include "clabel.h"
#include "cpasswordlineedit.h"
#include "cpushbutton.h"
#include "ctooltip.h"
#include "regionutil.h"

#include <QFormLayout>
#include <QHBoxLayout>
#include <QPainter>
#include <QPixmap>

QWidget *buildLabelSection()
{
    auto *section = new QWidget;
    auto *form = new QFormLayout(section);

    auto *elided = new CLabel(QStringLiteral("VXC-7F12 front door, firmware V5.5.3 build 210419"));
    elided->setMaximumWidth(220);
    form->addRow(QStringLiteral("Text as tool tip:"), elided);

    auto *own = new CLabel(QStringLiteral("192.168.1.64"));
    own->setToolTip(QStringLiteral("Double click to open the device's web page"));
    form->addRow(QStringLiteral("Own tool tip:"), own);

    auto *counter = new CLabel(QStringLiteral("Double-click me (0)"));
    QObject::connect(counter, &CLabel::SignalDoubleClicked, counter, [counter, clicks = 0]() mutable {
        counter->setText(QStringLiteral("Double-click me (%1)").arg(++clicks));
    });
    form->addRow(QStringLiteral("SignalDoubleClicked:"), counter);
    return section;
}

QWidget *buildToolTipSection()
{
    auto *section = new QWidget;
    auto *row = new QHBoxLayout(section);

    auto *field = new CPasswordLineEdit;
    field->setPlaceholderText(QStringLiteral("Admin password"));
    row->addWidget(field);

    auto *check = new CPushButton(QStringLiteral("Check field"));
    check->setObjectName(kToolTipDemoButton);
    QObject::connect(check, &CPushButton::clicked, field, [field] {
        if (field->text().isEmpty())
            CToolTip::showText(field->mapToGlobal(QPoint(0, field->height() - 12)),
                               QStringLiteral("Password cannot be empty."), field);
    });
    row->addWidget(check);

    auto *longTip = new CPushButton(QStringLiteral("Long tip"));
    QObject::connect(longTip, &CPushButton::clicked, longTip, [longTip] {
        CToolTip::showText(longTip->mapToGlobal(QPoint(0, longTip->height())),
                           QStringLiteral("<b>Batch modify</b><br>Selected devices get consecutive "
                                          "IPv4 addresses from the start address; the tip stays "
                                          "up longer when the text is long."),
                           longTip);
    });
    row->addWidget(longTip);
    row->addStretch();
    return section;
}

namespace {

QWidget *regionSample(const QRegion &region, const QSize &size, const QString &caption)
{
    QPixmap pixmap(size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setClipRegion(region);
    painter.fillRect(pixmap.rect(), QColor(0x2f, 0x6d, 0xb5));
    painter.setClipping(false);
    painter.setPen(Qt::white);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, caption);
    painter.end();

    auto *label = new CLabel;
    label->setPixmap(pixmap);
    return label;
}

} // namespace

QWidget *buildRegionSection()
{
    auto *section = new QWidget;
    auto *row = new QHBoxLayout(section);
    const QRect rect(0, 0, 180, 80);
    row->addWidget(regionSample(EllipseCornerRegion(rect, 14), rect.size(), QStringLiteral("EllipseCornerRegion")));
    row->addWidget(regionSample(TopEllipseCornerRegion(rect, 14), rect.size(),
                                QStringLiteral("TopEllipseCornerRegion")));
    row->addWidget(regionSample(EllipseCornerRegion(rect, 0), rect.size(), QStringLiteral("radius 0")));
    row->addStretch();
    return section;
}
