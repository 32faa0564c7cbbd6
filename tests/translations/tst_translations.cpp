#include "clientlanguage.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>
#include <QTranslator>
#include <QXmlStreamReader>

#include <algorithm>

namespace {

struct TsMessage
{
    QString context;
    QString source;
    QString translation;
    bool finished = false;
};

// Every message of a .ts file; an empty list when it cannot be read.
QList<TsMessage> ReadTs(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<TsMessage> messages;
    QString context;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            messages.append({context, {}, {}, false});
        } else if (xml.name() == u"source" && !messages.isEmpty()) {
            messages.last().source = xml.readElementText();
        } else if (xml.name() == u"translation" && !messages.isEmpty()) {
            // Obsolete and vanished entries count as untranslated: they no longer ship.
            messages.last().finished = xml.attributes().value(QStringLiteral("type")).isEmpty();
            messages.last().translation = xml.readElementText();
        }
    }
    return xml.hasError() ? QList<TsMessage>{} : messages;
}

QString TranslationsDir()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/translations/");
}

QStringList Placeholders(const QString &text)
{
    static const QRegularExpression placeholder(QStringLiteral("%\\d+"));
    QStringList found;
    for (const QRegularExpressionMatch &match : placeholder.globalMatch(text))
        found << match.captured();
    found.sort();
    return found;
}

// The characters marked as shortcuts; "&&" is a literal ampersand.
QString Mnemonics(const QString &text)
{
    QString marked;
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text.at(i) != u'&')
            continue;
        if (text.at(i + 1) != u'&')
            marked += text.at(i + 1).toUpper();
        ++i;
    }
    return marked;
}

bool HasChinese(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() >= 0x4e00 && c.unicode() <= 0x9fff; });
}

} // namespace

class TestTranslations : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void keyTexts_data();
    void keyTexts();
    void messages_data();
    void messages();
    void sourcesAllCovered();
    void englishFileCompiles();
    void languageManagerBuildsChinese();

private:
    QTranslator m_zh;
};

void TestTranslations::initTestCase()
{
    const QString file = TranslationsDir() + QStringLiteral(TEST_PROGRAM_NAME "_zh.qm");
    QVERIFY2(m_zh.load(file), qPrintable(file));
}

void TestTranslations::keyTexts_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");

    const auto add = [](const char *context, std::initializer_list<const char *> sources) {
        for (const char *source : sources)
            QTest::addRow("%s: %s", context, source) << QString::fromLatin1(context) << QString::fromLatin1(source);
    };
    add("QtVexaItemModel",
        {"ID", "Device Type", "IPv4 Address", "Port", "Soft Vision", "IPv4 GateWay", "Serial Number", "IPv4 Mask",
         "MAC", "Channel NO", "DSP Vision", "Start Time", "IPv6 Address", "IPv6 GateWay", "IPv6 Prefix Length",
         "Is Support IPv6", "Is Support Mod IPv6", "Is Support DHCP"});
    add("QtVexa",
        {"Yes", "No", "ON", "OFF", "Information", "Error", "Please select a device.",
         "IP address cannot be empty.", "IP Address not correct.",
         "Not enough addresses after the start IP address for %1 devices.", "Subnet mask cannot be empty.",
         "Subnet Mask not correct.", "Device port ranges from 2000 to 65535.", "Gateway not correct.",
         "IPv6 address cannot be empty.", "IPv6 Address not correct.", "IPv6 gateway not correct.",
         "IPv6 prefix length ranges from 0 to 64.", "Password cannot be empty.",
         "Modify network parameter succeed.", "Modify network parameter failed!", "ID:%1",
         "Restore default password succeed.", "Restore default password failed!", "Start IP Address:",
         "Batch Modify Network parameters", "Modify Network parameters"});
    add("QtVexaClass",
        {"Modify", "Refresh", "Comeback", "The total devices number:", "Security code", "Reset Default Password",
         "Password", "IP Address:", "Subnet Mask:", "Port:", "Gateway:", "IPv6 Prefix Length:",
         "Hide parameter panel", "Show parameter panel"});
#ifdef VEXA_OLDER_EDITION
    add("QtVexa", {"Serial code", "Tips:Serial Number is produced by device serial and start time.", "Show", "Hide"});
    add("CZEL_VEXAMainWnd", {"Sure to close software", "Confirm", "About"});
    add("CDlgAbout", {"About"});
#else
    add("CZEL_VEXAMainWnd", {"Sure to close software", "Confirm", "Help", "Version", "Info", "Can not find Manual."});
    add("CDlgAbout", {"About"});
    add("CDlgAboutClass", {"Name:", "Version:", "OK"});
#endif
    add("CZEL_VEXAMainWndClass", {"Online Devices", "Help"});
    add("CWindowTitle", {"Minimize", "Full screen", "Close"});
    add("CBaseDialogClass", {"OK", "Cancel"});
    add("COrvoApplication", {"Software is already running.", "The least resolution is 1024*768."});
    add("QLineEdit", {"Cu&t", "&Copy", "&Paste"});
}

void TestTranslations::keyTexts()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    const QString translated = m_zh.translate(context.toLatin1().constData(), source.toLatin1().constData());
    QVERIFY2(HasChinese(translated), qPrintable(translated));
}

void TestTranslations::messages_data()
{
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("translation");
    QTest::addColumn<bool>("finished");

    const QList<TsMessage> messages = ReadTs(QStringLiteral(TEST_ZH_TS));
    QVERIFY(messages.size() > 50);
    for (const TsMessage &message : messages) {
        QTest::addRow("%s: %s", qPrintable(message.context), qPrintable(message.source.left(40)))
            << message.context << message.source << message.translation << message.finished;
    }
}

void TestTranslations::messages()
{
    QFETCH(QString, context);
    QFETCH(QString, source);
    QFETCH(QString, translation);
    QFETCH(bool, finished);

    QVERIFY(finished);
    QVERIFY(!translation.trimmed().isEmpty());
    QCOMPARE(Placeholders(translation), Placeholders(source));
    QCOMPARE(Qt::mightBeRichText(translation), Qt::mightBeRichText(source));
    if (!Qt::mightBeRichText(source))
        QCOMPARE(Mnemonics(translation), Mnemonics(source));
    // The built file carries what the .ts says.
    QCOMPARE(m_zh.translate(context.toUtf8().constData(), source.toUtf8().constData()), translation);
}

void TestTranslations::sourcesAllCovered()
{
    // lupdate over today's sources, into a copy: anything it adds is a text
    // nobody translated; anything it drops is a stale entry.
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString copy = tmp.filePath(QStringLiteral(TEST_PROGRAM_NAME "_zh.ts"));
    QVERIFY(QFile::copy(QStringLiteral(TEST_ZH_TS), copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);

    QProcess lupdate;
    lupdate.setProcessChannelMode(QProcess::MergedChannels);
    lupdate.start(QStringLiteral(TEST_LUPDATE),
                  {QStringLiteral("-no-obsolete"), QStringLiteral("-silent"),
                   QLatin1Char('@') + QStringLiteral(TEST_SOURCE_LIST), QStringLiteral("-ts"), copy});
    QVERIFY(lupdate.waitForFinished(60000));
    QVERIFY2(lupdate.exitStatus() == QProcess::NormalExit && lupdate.exitCode() == 0,
             lupdate.readAll().constData());

    const QList<TsMessage> committed = ReadTs(QStringLiteral(TEST_ZH_TS));
    const QList<TsMessage> current = ReadTs(copy);
    QStringList untranslated;
    for (const TsMessage &message : current) {
        if (!message.finished)
            untranslated << message.context + QStringLiteral(": ") + message.source;
    }
    QVERIFY2(untranslated.isEmpty(), qPrintable(untranslated.join(u'\n')));
    QCOMPARE(current.size(), committed.size());
}

void TestTranslations::englishFileCompiles()
{
    // English is the source language: the file loads and changes nothing.
    QTranslator en;
    QVERIFY(en.load(TranslationsDir() + QStringLiteral(TEST_PROGRAM_NAME "_en.qm")));
    QVERIFY(en.translate("QtVexaClass", "Modify").isEmpty());
}

void TestTranslations::languageManagerBuildsChinese()
{
    // The program's own lookup finds the built file under its directory.
    const ClientLanguageManager manager(QCoreApplication::applicationDirPath());
    const auto chinese = std::find_if(manager.Languages().cbegin(), manager.Languages().cend(),
                                      [](const auto &language) { return language->m_iLanguageIndex == 1; });
    QVERIFY(chinese != manager.Languages().cend());
    QCOMPARE((*chinese)->m_pTranslator->translate("CZEL_VEXAMainWnd", "Sure to close software"),
             QStringLiteral("确定关闭软件"));
}

QTEST_MAIN(TestTranslations)
#include "tst_translations.moc"
