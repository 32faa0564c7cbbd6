#include "pixmaputil.h"

#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QPixmapCache>
#include <QTemporaryDir>
#include <QTest>

class TestPixmapUtil : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void missingFileIsNotCached();
    void existingFileIsReadOnce();
    void formatComesFromTheData();

private:
    static bool writePng(const QString &path, const QSize &size);
    QTemporaryDir m_dir;
};

bool TestPixmapUtil::writePng(const QString &path, const QSize &size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(QColor(20, 120, 220, 128));
    return image.save(path, "PNG");
}

void TestPixmapUtil::init()
{
    QVERIFY(m_dir.isValid());
    QPixmapCache::clear();
}

void TestPixmapUtil::missingFileIsNotCached()
{
    const QString path = m_dir.filePath("later.png");
    QVERIFY(LoadCachedPixmap(path).isNull());

    QVERIFY(writePng(path, QSize(7, 5)));
    const QPixmap pixmap = LoadCachedPixmap(path);
    QCOMPARE(pixmap.size(), QSize(7, 5));
}

void TestPixmapUtil::existingFileIsReadOnce()
{
    const QString path = m_dir.filePath("once.png");
    QVERIFY(writePng(path, QSize(9, 4)));
    const QPixmap first = LoadCachedPixmap(path);
    QCOMPARE(first.size(), QSize(9, 4));

    // Once cached, the file itself is no longer consulted.
    QVERIFY(QFile::remove(path));
    const QPixmap second = LoadCachedPixmap(path);
    QCOMPARE(second.size(), QSize(9, 4));
    QCOMPARE(second.cacheKey(), first.cacheKey());
}

void TestPixmapUtil::formatComesFromTheData()
{
    const QString path = m_dir.filePath("skin-image.dat");
    QVERIFY(writePng(path, QSize(3, 3)));
    QCOMPARE(LoadCachedPixmap(path).size(), QSize(3, 3));
}

QTEST_MAIN(TestPixmapUtil)
#include "tst_pixmaputil.moc"
