#include "clientconfig.h"

#include <QTemporaryDir>
#include <QTest>

#include <thread>
#include <vector>

namespace {

QString WriteFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

QStringList Entries(const ClientConfigManager &config)
{
    QStringList entries;
    for (ClientConfigKey key : {ClientConfigKey::Translator, ClientConfigKey::LogLevel,
                                ClientConfigKey::VersionType, ClientConfigKey::Skin}) {
        if (const ClientConfig *entry = config.FindConfig(key))
            entries << entry->m_strName + QLatin1Char('=') + entry->m_strValue;
    }
    return entries;
}

// Collects debug output, so a test can tell that nothing was written.
QStringList *s_messages = nullptr;

void CollectMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (s_messages)
        *s_messages << message;
}

} // namespace

class TestClientConfig : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void readFile_data();
    void readFile();
    void missingFileLeavesEntries();
    void emptyRootWritesNothing();
    void secondReadingAppendsAndFirstWins();
    void numericValue_data();
    void numericValue();
    void relativePathFromProgramDirectory();
    void clearConfig();
    void oneInstanceAcrossThreads();

private:
    QTemporaryDir m_dir;
};

void TestClientConfig::init()
{
    QVERIFY(m_dir.isValid());
}

void TestClientConfig::readFile_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<QStringList>("entries");

    QTest::newRow("every key") << QByteArray("<?xml version=\"1.0\"?><Configs>"
                                             "<Translator><Value>1</Value></Translator>"
                                             "<LogLevel><Value>4</Value></LogLevel>"
                                             "<VersionType><Value>5</Value></VersionType>"
                                             "<Skin><Value>Night Blue</Value></Skin></Configs>")
                               << QStringList{"Translator=1", "LogLevel=4", "VersionType=5",
                                              "Skin=Night Blue"};
    QTest::newRow("empty root") << QByteArray("<Configs/>") << QStringList{};
    QTest::newRow("key without Value takes the next Value")
        << QByteArray("<Configs><Translator/><LogLevel><Value>3</Value></LogLevel>"
                      "<Skin><Value>S</Value></Skin></Configs>")
        << QStringList{"Translator=3", "Skin=S"};
    QTest::newRow("two Translator, first wins")
        << QByteArray("<Configs><Translator><Value>1</Value></Translator>"
                      "<Translator><Value>0</Value></Translator></Configs>")
        << QStringList{"Translator=1"};
    QTest::newRow("names are case-sensitive")
        << QByteArray("<Configs><translator><Value>1</Value></translator>"
                      "<SKIN><Value>X</Value></SKIN></Configs>")
        << QStringList{};
    QTest::newRow("other elements change nothing")
        << QByteArray("<Configs><Foo><Value>1</Value></Foo><Skin><Value>K</Value></Skin></Configs>")
        << QStringList{"Skin=K"};
    QTest::newRow("attributes ignored")
        << QByteArray("<Configs version=\"2\"><Skin id=\"x\"><Value lang=\"en\">K</Value></Skin></Configs>")
        << QStringList{"Skin=K"};
    QTest::newRow("root need not be Configs")
        << QByteArray("<Settings><Translator><Value>1</Value></Translator></Settings>")
        << QStringList{"Translator=1"};
    QTest::newRow("XML error keeps what was read")
        << QByteArray("<Configs><Translator><Value>1</Value></Translator>"
                      "<Skin><Value>K</Value></Skinn><LogLevel><Value>2</Value></LogLevel></Configs>")
        << QStringList{"Translator=1", "Skin=K"};
    QTest::newRow("truncated in a key")
        << QByteArray("<Configs><Translator><Value>1</Value></Translator><Skin><Val")
        << QStringList{"Translator=1", "Skin="};
    QTest::newRow("not XML") << QByteArray("Translator=1\n") << QStringList{};
    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("Chinese text value")
        << QByteArray("<Configs><Skin><Value>\xe5\xa4\x9c\xe8\x93\x9d</Value></Skin></Configs>")
        << QStringList{QStringLiteral("Skin=夜蓝")};
}

void TestClientConfig::readFile()
{
    QFETCH(QByteArray, xml);
    QFETCH(QStringList, entries);

    ClientConfigManager config;
    QVERIFY(config.ReadConfigFile(WriteFile(m_dir, QStringLiteral("Setup.xml"), xml)));
    QCOMPARE(Entries(config), entries);
}

void TestClientConfig::missingFileLeavesEntries()
{
    ClientConfigManager config;
    QVERIFY(config.ReadConfigFile(
        WriteFile(m_dir, QStringLiteral("a.xml"), "<Configs><Skin><Value>A</Value></Skin></Configs>")));

    QTest::ignoreMessage(QtDebugMsg, "No file to read...");
    QVERIFY(!config.ReadConfigFile(m_dir.filePath(QStringLiteral("missing.xml"))));
    QCOMPARE(Entries(config), QStringList{"Skin=A"});
}

void TestClientConfig::emptyRootWritesNothing()
{
    QStringList messages;
    s_messages = &messages;
    const QtMessageHandler previous = qInstallMessageHandler(CollectMessage);
    ClientConfigManager config;
    const bool read = config.ReadConfigFile(WriteFile(m_dir, QStringLiteral("e.xml"), "<Configs></Configs>"));
    qInstallMessageHandler(previous);
    s_messages = nullptr;

    QVERIFY(read);
    QCOMPARE(messages, QStringList{});
    QCOMPARE(config.FindConfigInt(ClientConfigKey::Translator), 0);
    QVERIFY(!config.FindConfig(ClientConfigKey::Skin));
}

void TestClientConfig::secondReadingAppendsAndFirstWins()
{
    ClientConfigManager config;
    QVERIFY(config.ReadConfigFile(WriteFile(m_dir, QStringLiteral("a.xml"),
                                            "<Configs><Translator><Value>1</Value></Translator></Configs>")));
    QVERIFY(config.ReadConfigFile(WriteFile(m_dir, QStringLiteral("b.xml"),
                                            "<Configs><Translator><Value>0</Value></Translator>"
                                            "<Skin><Value>B</Value></Skin></Configs>")));
    QCOMPARE(Entries(config), (QStringList{"Translator=1", "Skin=B"}));
}

void TestClientConfig::numericValue_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<int>("number");

    QTest::newRow("one") << QByteArray("1") << 1;
    QTest::newRow("negative") << QByteArray("-2") << -2;
    QTest::newRow("leading zero is decimal") << QByteArray("010") << 10;
    QTest::newRow("hexadecimal is not a number") << QByteArray("0x1") << 0;
    QTest::newRow("trailing text") << QByteArray("1a") << 0;
    QTest::newRow("words") << QByteArray("Chinese") << 0;
    QTest::newRow("empty") << QByteArray("") << 0;
    QTest::newRow("too large") << QByteArray("99999999999") << 0;
}

void TestClientConfig::numericValue()
{
    QFETCH(QByteArray, value);
    QFETCH(int, number);

    ClientConfigManager config;
    QVERIFY(config.ReadConfigFile(WriteFile(
        m_dir, QStringLiteral("n.xml"), "<Configs><VersionType><Value>" + value + "</Value></VersionType></Configs>")));
    QCOMPARE(config.FindConfigInt(ClientConfigKey::VersionType), number);
    QCOMPARE(config.FindConfigInt(ClientConfigKey::Translator), 0);
}

void TestClientConfig::relativePathFromProgramDirectory()
{
    // The test program lies beside the default configuration of the build.
    ClientConfigManager config;
    QVERIFY(config.ReadConfigFile(QStringLiteral("Setup.xml")));
    QCOMPARE(config.FindConfigInt(ClientConfigKey::Translator), 0);
    QVERIFY(config.FindConfig(ClientConfigKey::Skin));
}

void TestClientConfig::clearConfig()
{
    ClientConfigManager config;
    QVERIFY(config.ReadConfigFile(WriteFile(m_dir, QStringLiteral("c.xml"),
                                            "<Configs><Skin><Value>A</Value></Skin></Configs>")));
    config.ClearConfig();
    QVERIFY(!config.FindConfig(ClientConfigKey::Skin));
}

void TestClientConfig::oneInstanceAcrossThreads()
{
    std::vector<ClientConfigManager *> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (auto &slot : seen)
        threads.emplace_back([&slot] { slot = ClientConfigManager::Instance(); });
    for (auto &thread : threads)
        thread.join();
    for (ClientConfigManager *instance : seen)
        QCOMPARE(instance, ClientConfigManager::Instance());
}

QTEST_GUILESS_MAIN(TestClientConfig)
#include "tst_clientconfig.moc"
