#include "pluginloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QPluginLoader>
#include <QTest>

namespace {

// Built by the test's CMake: "shared" holds two plug-ins offering "Shared",
// one offering "Other" and files that are no plug-ins; "single" holds one
// plug-in offering "Only" and "Refused"; "junk" holds no plug-in at all.
const QString kSkinRoot = QStringLiteral(TEST_SKIN_ROOT);

QString SkinDir(const char *name)
{
    return kSkinRoot + QLatin1Char('/') + QLatin1String(name);
}

QString Applied()
{
    return QCoreApplication::instance()->property("appliedSkin").toString();
}

bool IsLoaded(const QString &path)
{
    return QPluginLoader(path).isLoaded();
}

QString PluginPath(const char *dir, const char *target)
{
    return SkinDir(dir) + QStringLiteral("/lib") + QLatin1String(target) + QStringLiteral(".so");
}

} // namespace

class TestPluginLoader : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void noPluginOffersKey();
    void directoryWithoutPlugins_data();
    void directoryWithoutPlugins();
    void firstOfTwoOfferingTheKeyWins();
    void keyComparedExactly();
    void refusedSkinStaysLoaded();
    void loadedPluginEndsTheSearch();
};

void TestPluginLoader::initTestCase()
{
    const QStringList shared = QDir(SkinDir("shared")).entryList(QDir::Files);
    QVERIFY2(shared.size() == 6, qPrintable(shared.join(QLatin1Char(' '))));
}

void TestPluginLoader::init()
{
    QCoreApplication::instance()->setProperty("appliedSkin", QVariant());
}

void TestPluginLoader::noPluginOffersKey()
{
    QVERIFY(!LoadPluginByKey(QStringLiteral("Missing"), SkinDir("shared")));
    QCOMPARE(Applied(), QString());
    // Every plug-in was asked and unloaded again.
    for (const char *target : {"tstskin_first", "tstskin_second", "tstskin_other"})
        QVERIFY2(!IsLoaded(PluginPath("shared", target)), target);
}

void TestPluginLoader::directoryWithoutPlugins_data()
{
    QTest::addColumn<QString>("dir");
    QTest::newRow("no plug-in in it") << SkinDir("junk");
    QTest::newRow("missing") << SkinDir("missing");
    QTest::newRow("empty name") << QString();
}

void TestPluginLoader::directoryWithoutPlugins()
{
    QFETCH(QString, dir);
    QVERIFY(!LoadPluginByKey(QStringLiteral("Default"), dir));
    QCOMPARE(Applied(), QString());
}

void TestPluginLoader::firstOfTwoOfferingTheKeyWins()
{
    // The directory's own order decides, not the names.
    QStringList offering;
    for (const QString &name : QDir(SkinDir("shared")).entryList(QDir::Files, QDir::Unsorted)) {
        if (name.contains(QLatin1String("first")) || name.contains(QLatin1String("second")))
            offering << name;
    }
    QCOMPARE(offering.size(), 2);
    const QString winner = offering[0].mid(3).chopped(3); // lib<target>.so

    QVERIFY(LoadPluginByKey(QStringLiteral("Shared"), SkinDir("shared") + QStringLiteral("//")));
    QCOMPARE(Applied(), winner + QStringLiteral(":Shared"));
    QVERIFY(IsLoaded(SkinDir("shared") + QStringLiteral("/") + offering[0]));
    QVERIFY(!IsLoaded(SkinDir("shared") + QStringLiteral("/") + offering[1]));
}

void TestPluginLoader::keyComparedExactly()
{
    QVERIFY(!LoadPluginByKey(QStringLiteral("only"), SkinDir("single")));
    QVERIFY(!LoadPluginByKey(QStringLiteral("Only "), SkinDir("single")));
    QCOMPARE(Applied(), QString());
    QVERIFY(!IsLoaded(PluginPath("single", "tstskin_single")));
}

void TestPluginLoader::refusedSkinStaysLoaded()
{
    QVERIFY(!LoadPluginByKey(QStringLiteral("Refused"), SkinDir("single")));
    QCOMPARE(Applied(), QStringLiteral("tstskin_single:Refused"));
    QVERIFY(IsLoaded(PluginPath("single", "tstskin_single")));
}

void TestPluginLoader::loadedPluginEndsTheSearch()
{
    // A skin is applied once per process; a second request finds the loaded plug-in.
    QVERIFY(IsLoaded(PluginPath("single", "tstskin_single")));
    QVERIFY(LoadPluginByKey(QStringLiteral("Only"), SkinDir("single")));
    QCOMPARE(Applied(), QString());
}

QTEST_GUILESS_MAIN(TestPluginLoader)
#include "tst_pluginloader.moc"
