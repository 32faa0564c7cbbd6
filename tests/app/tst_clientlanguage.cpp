#include "clientconfig.h"
#include "clientlanguage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

namespace {

enum class ZhFile { None, Valid, Corrupt };

// A program directory whose "translations" folder holds the Chinese file, or
// a broken one, or nothing.
QString MakeAppDir(const QTemporaryDir &tmp, ZhFile zh)
{
    const QString appDir = tmp.filePath(QString::number(int(zh)));
    QDir().mkpath(appDir + QStringLiteral("/translations"));
    const QString target = appDir + QStringLiteral("/translations/KRO-VEXA_zh.qm");
    if (zh == ZhFile::Valid && !QFile::exists(target)) {
        QFile::copy(QStringLiteral(TEST_ZH_QM), target);
        QFile::copy(QStringLiteral(TEST_QT_ZH_QM), appDir + QStringLiteral("/translations/qtbase_zh_CN.qm"));
    }
    if (zh == ZhFile::Corrupt) {
        QFile file(target);
        if (file.open(QIODevice::WriteOnly))
            file.write("not a translation");
    }
    return appDir;
}

QList<int> Indices(const ClientLanguageManager &manager)
{
    QList<int> indices;
    for (const auto &language : manager.Languages())
        indices << language->m_iLanguageIndex;
    return indices;
}

} // namespace

Q_DECLARE_METATYPE(ZhFile)

class TestClientLanguage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();

    void variants_data();
    void variants();
    void currentLanguage_data();
    void currentLanguage();
    void chineseVariantTranslates();
    void englishWithoutFileShowsSourceText();
    void oneInstance();

private:
    void UseConfig(const QByteArray &keys);

    QTemporaryDir m_tmp;
};

void TestClientLanguage::initTestCase()
{
    QVERIFY(m_tmp.isValid());
    QVERIFY2(QFile::exists(QStringLiteral(TEST_ZH_QM)), TEST_ZH_QM);
}

void TestClientLanguage::cleanup()
{
    ClientConfigManager::Instance()->ClearConfig();
}

void TestClientLanguage::UseConfig(const QByteArray &keys)
{
    const QString path = m_tmp.filePath(QStringLiteral("Setup.xml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("<Configs>" + keys + "</Configs>");
    file.close();
    ClientConfigManager *config = ClientConfigManager::Instance();
    config->ClearConfig();
    QVERIFY(config->ReadConfigFile(path));
}

void TestClientLanguage::variants_data()
{
    QTest::addColumn<ZhFile>("zh");
    QTest::addColumn<QList<int>>("indices");

    QTest::newRow("no Chinese file") << ZhFile::None << QList<int>{0, 2};
    QTest::newRow("Chinese file") << ZhFile::Valid << QList<int>{0, 1, 2, 3};
    QTest::newRow("broken Chinese file") << ZhFile::Corrupt << QList<int>{0, 2};
}

void TestClientLanguage::variants()
{
    QFETCH(ZhFile, zh);
    QFETCH(QList<int>, indices);

    const ClientLanguageManager manager(MakeAppDir(m_tmp, zh));
    QCOMPARE(Indices(manager), indices);
    for (const auto &language : manager.Languages()) {
        const bool chinese = language->m_iLanguageIndex % 2 == 1;
        QCOMPARE(language->m_locale, chinese ? QLocale(QLocale::Chinese, QLocale::China)
                                             : QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY(language->m_pTranslator);
        QCOMPARE(language->m_pTranslator->isEmpty(), !chinese);
        QCOMPARE(language->m_pQtTranslator->isEmpty(), !chinese);
    }
}

void TestClientLanguage::currentLanguage_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<ZhFile>("zh");
    QTest::addColumn<int>("index");

    const QByteArray t0 = "<Translator><Value>0</Value></Translator>";
    const QByteArray t1 = "<Translator><Value>1</Value></Translator>";
    const QByteArray v0 = "<VersionType><Value>0</Value></VersionType>";
    const QByteArray v1 = "<VersionType><Value>1</Value></VersionType>";
    const QByteArray v5 = "<VersionType><Value>5</Value></VersionType>";

    QTest::newRow("no keys") << QByteArray() << ZhFile::Valid << 2;
    QTest::newRow("English, version absent") << t0 << ZhFile::Valid << 2;
    QTest::newRow("English, version 0") << t0 + v0 << ZhFile::Valid << 2;
    QTest::newRow("English, version 1") << t0 + v1 << ZhFile::Valid << 0;
    QTest::newRow("Chinese, version 5") << t1 + v5 << ZhFile::Valid << 1;
    QTest::newRow("Chinese, version 0") << t1 + v0 << ZhFile::Valid << 3;
    QTest::newRow("Chinese, version absent") << t1 << ZhFile::Valid << 3;
    QTest::newRow("Chinese, version 5, no file") << t1 + v5 << ZhFile::None << 0;
    QTest::newRow("Chinese, version 0, no file") << t1 + v0 << ZhFile::None << 0;
    QTest::newRow("index 2 taken directly")
        << QByteArray("<Translator><Value>2</Value></Translator>") + v1 << ZhFile::Valid << 2;
    QTest::newRow("index 3 taken directly")
        << QByteArray("<Translator><Value>3</Value></Translator>") + v1 << ZhFile::Valid << 3;
    QTest::newRow("unknown index falls back to 0")
        << QByteArray("<Translator><Value>7</Value></Translator>") << ZhFile::Valid << 0;
    QTest::newRow("negative index falls back to 0")
        << QByteArray("<Translator><Value>-1</Value></Translator>") << ZhFile::Valid << 0;
    QTest::newRow("text counts as 0")
        << QByteArray("<Translator><Value>zh</Value></Translator>") + v1 << ZhFile::Valid << 0;
    QTest::newRow("first Translator wins")
        << t1 + t0 + v5 << ZhFile::Valid << 1;
}

void TestClientLanguage::currentLanguage()
{
    QFETCH(QByteArray, keys);
    QFETCH(ZhFile, zh);
    QFETCH(int, index);

    UseConfig(keys);
    const ClientLanguageManager manager(MakeAppDir(m_tmp, zh));
    QCOMPARE(manager.GetCurrentLanguage().m_iLanguageIndex, index);
}

void TestClientLanguage::chineseVariantTranslates()
{
    UseConfig("<Translator><Value>1</Value></Translator>");
    const ClientLanguageManager manager(MakeAppDir(m_tmp, ZhFile::Valid));
    const ClientLanguageProperty &language = manager.GetCurrentLanguage();
    QCOMPARE(language.m_locale.language(), QLocale::Chinese);
    QCOMPARE(language.m_pTranslator->translate("TestClientLanguage", "Online Devices"),
             QStringLiteral("在线设备"));
    // Installed, the toolkit's own texts are Chinese too, and a second install does not stack them.
    language.InstallTranslators();
    language.InstallTranslators();
    QCOMPARE(QCoreApplication::translate("TestClientLanguage", "Online Devices"), QStringLiteral("在线设备"));
    const QString undo = QCoreApplication::translate("QLineEdit", "&Undo");
    QVERIFY2(!undo.isEmpty() && undo != QLatin1String("&Undo"), qPrintable(undo));
    QCoreApplication::removeTranslator(language.m_pTranslator.get());
    QCoreApplication::removeTranslator(language.m_pQtTranslator.get());
}

void TestClientLanguage::englishWithoutFileShowsSourceText()
{
    UseConfig("<Translator><Value>0</Value></Translator>");
    const ClientLanguageManager manager(MakeAppDir(m_tmp, ZhFile::None));
    QVERIFY(manager.GetCurrentLanguage().m_pTranslator->translate("TestClientLanguage", "Online Devices")
                .isEmpty());
}

void TestClientLanguage::oneInstance()
{
    ClientLanguageManager *instance = ClientLanguageManager::Instance();
    QCOMPARE(ClientLanguageManager::Instance(), instance);
    const QList<int> indices = Indices(*instance);
    QVERIFY(indices.contains(0) && indices.contains(2));
}

QTEST_MAIN(TestClientLanguage)
#include "tst_clientlanguage.moc"
