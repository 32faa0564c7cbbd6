// The interface choice beside Refresh: its own settings file, read safely
// whatever a hand edit left there, and the menu driven by real clicks.

#include "interfacechoice.h"

#include "modalhelper.h"

#include <QFile>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <cstring>

namespace {

PKT_Link Link(const char *name, uint32_t kind, bool multicast, std::initializer_list<const char *> addresses)
{
    PKT_Link link{};
    std::strncpy(link.name, name, sizeof link.name - 1);
    link.index = 1 + uint32_t(name[0]);
    link.kind = kind;
    link.flags = PKT_IF_UP | (multicast ? PKT_IF_MULTICAST : 0);
    for (const char *text : addresses) {
        PKT_LinkAddress &entry = link.addresses[link.addressCount++];
        const bool v6 = std::strchr(text, ':') != nullptr;
        entry.addr.family = v6 ? PKT_FAMILY_V6 : PKT_FAMILY_V4;
        inet_pton(v6 ? AF_INET6 : AF_INET, text, entry.addr.bytes);
        entry.prefixLength = v6 ? 64 : 24;
    }
    return link;
}

std::vector<PKT_Link> Site()
{
    return {
        Link("lo", PKT_KIND_LOOPBACK, false, {"127.0.0.1", "::1"}),  // no multicast: not offered
        Link("eth0", PKT_KIND_WIRED, true, {"192.168.1.5", "fe80::1"}),
        Link("wlan0", PKT_KIND_WIRELESS, true, {"fe80::2"}),           // IPv6 alone still serves
        Link("tun0", PKT_KIND_TUNNEL, false, {"10.8.0.2"}),            // no multicast
        Link("docker0", PKT_KIND_BRIDGE, true, {"2001:db8::1"}),       // no IPv4, no link-local
    };
}

} // namespace

class TestInterfaceChoice : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        qunsetenv("VEXA_INTERFACES"); // nothing is opened or sent here: the links are made up
        m_dir = std::make_unique<QTemporaryDir>();
        m_file = m_dir->filePath(QStringLiteral("sub/interfaces.ini"));
    }
    void cleanup() { qputenv("VEXA_INTERFACES", "lo"); }

    void fileIsReadSafely_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("chosen");
        QTest::newRow("none") << QByteArray() << QStringList();
        QTest::newRow("two") << QByteArray("[Discovery]\nInterfaces=eth0, wlan0\n") << QStringList{"eth0", "wlan0"};
        QTest::newRow("one") << QByteArray("[Discovery]\nInterfaces=eth0\n") << QStringList{"eth0"};
        QTest::newRow("junk dropped")
            << QByteArray("[Discovery]\nInterfaces=eth0, , averyveryverylongname0, eth0, \"a,b\", wlan0\n")
            << QStringList{"eth0", "wlan0"};
        QTest::newRow("not ini") << QByteArray("\x01\x02garbage\n[[[") << QStringList();
    }
    void fileIsReadSafely()
    {
        QFETCH(QByteArray, content);
        QFETCH(QStringList, chosen);
        QDir().mkpath(QFileInfo(m_file).absolutePath());
        QFile file(m_file);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QCOMPARE(InterfaceChoice(m_file).Chosen(), chosen);
    }

    void choiceSurvivesARestart()
    {
        InterfaceChoice choice(m_file); // its folder does not exist yet
        QVERIFY(choice.SetChosen({"eth0", "wlan0", "eth0"}));
        QCOMPARE(InterfaceChoice(m_file).Chosen(), (QStringList{"eth0", "wlan0"}));
        QVERIFY(choice.SetChosen({}));
        QCOMPARE(InterfaceChoice(m_file).Chosen(), QStringList());
    }

    void menuOffersSuitableInterfacesAndTicksTheChoice()
    {
        QPushButton button(QStringLiteral("Interfaces"));
        button.show();
        InterfaceChoice choice(m_file);
        InterfaceMenu menu(&button, choice, Site);
        QSignalSpy changed(&menu, &InterfaceMenu::ChoiceChanged);

        // All, then eth0 and wlan0; lo, tun0 and docker0 cannot carry discovery.
        QStringList offered;
        Click(button, "eth0", [&](QMenu *popup) {
            for (QAction *a : popup->actions()) {
                if (!a->isSeparator())
                    offered << a->text();
            }
            QVERIFY(popup->findChild<QAction *>(QStringLiteral("actionAllInterfaces"))->isChecked());
        });
        QCOMPARE(offered, (QStringList{"All suitable interfaces", "eth0 (wired) 192.168.1.5/24 fe80::1/64",
                                       "wlan0 (wireless) fe80::2/64"}));
        QCOMPARE(choice.Chosen(), QStringList{"eth0"});
        QCOMPARE(InterfaceChoice(m_file).Chosen(), QStringList{"eth0"}); // saved at once

        Click(button, "wlan0", [](QMenu *popup) {
            QVERIFY(!popup->findChild<QAction *>(QStringLiteral("actionAllInterfaces"))->isChecked());
            QVERIFY(popup->findChild<QAction *>(QStringLiteral("actionInterface_eth0"))->isChecked());
        });
        QCOMPARE(choice.Chosen(), (QStringList{"eth0", "wlan0"}));
        Click(button, "eth0", [](QMenu *) {}); // untick
        QCOMPARE(choice.Chosen(), QStringList{"wlan0"});
        Click(button, "All", [](QMenu *) {});
        QCOMPARE(choice.Chosen(), QStringList());
        QCOMPARE(changed.count(), 4);
    }

    void absentChosenInterfaceStaysChosenAndShown()
    {
        QPushButton button;
        button.show();
        InterfaceChoice choice(m_file);
        choice.SetChosen({"eth9"});
        InterfaceMenu menu(&button, choice, Site);
        QString text;
        Click(button, "eth9", [&](QMenu *popup) {
            QAction *absent = popup->findChild<QAction *>(QStringLiteral("actionInterface_eth9"));
            QVERIFY(absent && absent->isChecked());
            text = absent->text();
        });
        QCOMPARE(text, QStringLiteral("eth9 (absent)"));
        QCOMPARE(choice.Chosen(), QStringList()); // unticking the absent one leaves all
    }

    void environmentHasTheLastWord()
    {
        qputenv("VEXA_INTERFACES", "lo");
        QPushButton button;
        button.show();
        InterfaceChoice choice(m_file);
        choice.SetChosen({"eth0"});
        InterfaceMenu menu(&button, choice, Site);
        QSignalSpy changed(&menu, &InterfaceMenu::ChoiceChanged);
        QStringList texts;
        bool enabled = true;
        WhenPopup<QMenu>([&](QMenu *popup) {
            for (QAction *a : popup->actions()) {
                texts << a->text();
                enabled = a->isEnabled();
            }
            QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(popup->actions().value(0)).center());
            popup->close();
        });
        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(texts, QStringList{"Set by VEXA_INTERFACES: lo"});
        QVERIFY(!enabled);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(choice.Chosen(), QStringList{"eth0"});
    }

private:
    // Opens the button's menu with a click, lets `look` see it, then clicks the entry whose name starts with `entry`.
    template <typename F>
    void Click(QPushButton &button, const char *entry, F look)
    {
        bool clicked = false;
        WhenPopup<QMenu>([&](QMenu *popup) {
            look(popup);
            for (QAction *a : popup->actions()) {
                if (!a->isSeparator() && a->text().startsWith(QLatin1String(entry))) {
                    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(a).center());
                    clicked = true;
                    break;
                }
            }
            if (popup->isVisible())
                popup->close();
        });
        QTest::mouseClick(&button, Qt::LeftButton);
        QVERIFY2(clicked, entry);
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

QTEST_MAIN(TestInterfaceChoice)
#include "tst_interfacechoice.moc"
