#include "interfacechoice.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>

#include <arpa/inet.h>
#include <cstdlib>

namespace {

const QString kKey = QStringLiteral("Discovery/Interfaces");

// Whether the interface can carry discovery in either family.
bool Suitable(const PKT_Link &link)
{
    if (!(link.flags & PKT_IF_MULTICAST))
        return false;
    for (uint8_t i = 0; i < link.addressCount && i < PKT_LINK_ADDRESSES; ++i) {
        const PKT_Address &a = link.addresses[i].addr;
        if (a.family == PKT_FAMILY_V4 || (a.family == PKT_FAMILY_V6 && a.bytes[0] == 0xFE && (a.bytes[1] & 0xC0) == 0x80))
            return true;
    }
    return false;
}

QString KindText(uint32_t kind)
{
    switch (kind) {
    case PKT_KIND_LOOPBACK:
        return InterfaceMenu::tr("loopback");
    case PKT_KIND_WIRED:
        return InterfaceMenu::tr("wired");
    case PKT_KIND_WIRELESS:
        return InterfaceMenu::tr("wireless");
    case PKT_KIND_BRIDGE:
        return InterfaceMenu::tr("bridge");
    case PKT_KIND_VIRTUAL:
        return InterfaceMenu::tr("virtual");
    case PKT_KIND_TUNNEL:
        return InterfaceMenu::tr("tunnel");
    default:
        return InterfaceMenu::tr("other");
    }
}

} // namespace

InterfaceChoice::InterfaceChoice(QString file) : m_file(std::move(file))
{
    const QSettings settings(m_file, QSettings::IniFormat);
    for (const QString &name : settings.value(kKey).toStringList()) {
        // A hand-edited file may hold anything: only names an interface can have, each once.
        const QString trimmed = name.trimmed();
        if (!trimmed.isEmpty() && trimmed.size() < PKT_IFNAME_SIZE && !trimmed.contains(u',')
            && !m_chosen.contains(trimmed))
            m_chosen.append(trimmed);
    }
}

QString InterfaceChoice::DefaultFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation))
        .filePath(QStringLiteral("interfaces.ini"));
}

bool InterfaceChoice::SetChosen(const QStringList &names)
{
    m_chosen.clear();
    for (const QString &name : names) {
        if (!m_chosen.contains(name))
            m_chosen.append(name);
    }
    QDir().mkpath(QFileInfo(m_file).absolutePath());
    QSettings settings(m_file, QSettings::IniFormat);
    if (m_chosen.isEmpty())
        settings.remove(kKey);
    else
        settings.setValue(kKey, m_chosen);
    settings.sync();
    return settings.status() == QSettings::NoError;
}

InterfaceMenu::InterfaceMenu(QPushButton *button, InterfaceChoice &choice, Links links)
    : QObject(button), m_menu(new QMenu(button)), m_choice(choice), m_links(std::move(links))
{
    m_menu->setObjectName(QStringLiteral("menuInterfaces"));
    m_menu->setAccessibleName(tr("Interfaces"));
    button->setMenu(m_menu);
    connect(m_menu, &QMenu::aboutToShow, this, &InterfaceMenu::Rebuild);
}

QString InterfaceMenu::LinkText(const PKT_Link &link)
{
    QStringList parts{QString::fromUtf8(link.name), u'(' + KindText(link.kind) + u')'};
    for (uint8_t i = 0; i < link.addressCount && i < PKT_LINK_ADDRESSES; ++i) {
        const PKT_LinkAddress &entry = link.addresses[i];
        char text[INET6_ADDRSTRLEN] = {};
        const int family = entry.addr.family == PKT_FAMILY_V4 ? AF_INET : entry.addr.family == PKT_FAMILY_V6 ? AF_INET6 : 0;
        if (family == 0 || !inet_ntop(family, entry.addr.bytes, text, sizeof text))
            continue;
        parts.append(QString::fromLatin1(text) + u'/' + QString::number(entry.prefixLength));
    }
    return parts.join(u' ');
}

void InterfaceMenu::Rebuild()
{
    m_menu->clear();
    if (const char *setting = std::getenv("VEXA_INTERFACES")) {
        QAction *fixed = m_menu->addAction(tr("Set by VEXA_INTERFACES: %1").arg(QString::fromLocal8Bit(setting)));
        fixed->setEnabled(false);
        return;
    }
    QAction *all = m_menu->addAction(tr("All suitable interfaces"));
    all->setObjectName(QStringLiteral("actionAllInterfaces"));
    all->setCheckable(true);
    all->setChecked(m_choice.Chosen().isEmpty());
    connect(all, &QAction::triggered, this, [this] {
        m_choice.SetChosen({});
        emit ChoiceChanged();
    });
    m_menu->addSeparator();
    QStringList offered;
    for (const PKT_Link &link : m_links()) {
        if (!Suitable(link))
            continue;
        const QString name = QString::fromUtf8(link.name);
        offered.append(name);
        QAction *action = m_menu->addAction(LinkText(link));
        action->setObjectName(QStringLiteral("actionInterface_") + name);
        action->setCheckable(true);
        action->setChecked(m_choice.Chosen().contains(name));
        connect(action, &QAction::toggled, this, [this, name](bool on) { Toggle(name, on); });
    }
    // A chosen interface that is absent now (a cable out, a VPN down) stays chosen and is shown.
    for (const QString &name : m_choice.Chosen()) {
        if (offered.contains(name))
            continue;
        QAction *absent = m_menu->addAction(tr("%1 (absent)").arg(name));
        absent->setObjectName(QStringLiteral("actionInterface_") + name);
        absent->setCheckable(true);
        absent->setChecked(true);
        connect(absent, &QAction::toggled, this, [this, name](bool on) { Toggle(name, on); });
    }
}

void InterfaceMenu::Toggle(const QString &name, bool on)
{
    QStringList chosen = m_choice.Chosen();
    if (on)
        chosen.append(name);
    else
        chosen.removeAll(name);
    m_choice.SetChosen(chosen);
    emit ChoiceChanged();
}
