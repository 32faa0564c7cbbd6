// vexa-svg2png INPUT.svg OUTPUT.png WIDTHxHEIGHT
//
// Renders one SVG into a transparent PNG of exactly the given pixel size.
// The skin's images are drawn on a pixel grid equal to their view box, so a
// size whose aspect ratio differs from the view box is a mistake in the image
// list and fails the build instead of producing a squashed image.

#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QString>
#include <QSvgRenderer>

#include <cmath>
#include <cstdio>
#include <optional>

namespace {

std::optional<QSize> ParseSize(const QString &text)
{
    static const QRegularExpression pattern(QRegularExpression::anchoredPattern(QStringLiteral("(\\d{1,4})x(\\d{1,4})")));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const QSize size(match.captured(1).toInt(), match.captured(2).toInt());
    if (size.isEmpty())
        return std::nullopt;
    return size;
}

int Fail(const char *what, const QString &detail)
{
    std::fprintf(stderr, "vexa-svg2png: %s: %s\n", what, qPrintable(detail));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: vexa-svg2png INPUT.svg OUTPUT.png WIDTHxHEIGHT\n");
        return 2;
    }
    const QString input = QString::fromLocal8Bit(argv[1]);
    const QString output = QString::fromLocal8Bit(argv[2]);
    const std::optional<QSize> size = ParseSize(QString::fromLocal8Bit(argv[3]));
    if (!size)
        return Fail("not a size", QString::fromLocal8Bit(argv[3]));

    QSvgRenderer renderer(input);
    if (!renderer.isValid())
        return Fail("cannot read SVG", input);
    const QRectF box = renderer.viewBoxF();
    if (box.isEmpty())
        return Fail("SVG has no view box", input);
    const double boxAspect = box.width() / box.height();
    const double aspect = double(size->width()) / size->height();
    if (std::abs(boxAspect - aspect) > 0.01 * aspect)
        return Fail("size does not match the view box", input);

    QImage image(*size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(QPointF(0, 0), *size));
    }
    if (!image.save(output, "PNG"))
        return Fail("cannot write", output);
    return 0;
}
