#include "pixmaputil.h"

#include <QImage>
#include <QPixmap>
#include <QPixmapCache>
#include <QString>

QPixmap LoadCachedPixmap(const QString &path)
{
    QPixmap pixmap;
    if (QPixmapCache::find(path, &pixmap))
        return pixmap;

    // No format given: the reader detects it from the data, so skins may ship
    // images under any file name.
    const QImage image(path);
    pixmap = QPixmap::fromImage(image, Qt::OrderedDither | Qt::OrderedAlphaDither);
    if (!pixmap.isNull())
        QPixmapCache::insert(path, pixmap);
    return pixmap;
}
