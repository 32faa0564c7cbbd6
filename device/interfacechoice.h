#pragma once

// The user's choice of the interfaces discovery runs on: kept in a settings
// file of its own (never Setup.xml), offered in the menu of a button beside
// Refresh, applied by the page on Refresh. VEXA_INTERFACES, when set, has the
// last word, and the menu says so instead of offering a choice.

#include "vexadevice_export.h"

#include <packet/packetdriver.h>

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QAction;
class QMenu;
class QPushButton;

/** The chosen interface names (empty: every suitable one), read from and written to `file` at once. */
class VEXADEVICE_EXPORT InterfaceChoice final
{
public:
    explicit InterfaceChoice(QString file = DefaultFile());
    /** "interfaces.ini" in the user's configuration folder. */
    static QString DefaultFile();

    const QStringList &Chosen() const { return m_chosen; }
    /** Keeps `names` (each once, in order; empty: all) and writes the file; false when it cannot be written. */
    bool SetChosen(const QStringList &names);

private:
    QString m_file;
    QStringList m_chosen;
};

/**
 * The pop-up menu of `button`: "All suitable interfaces", then every
 * interface the system has that can carry discovery (up, multicast-capable,
 * with an IPv4 or a link-local IPv6 address) with its kind and addresses,
 * ticked as chosen. Rebuilt each time it opens. A click changes the choice,
 * which is saved at once; ChoiceChanged tells the page.
 */
class VEXADEVICE_EXPORT InterfaceMenu final : public QObject
{
    Q_OBJECT

public:
    using Links = std::function<std::vector<PKT_Link>()>;
    InterfaceMenu(QPushButton *button, InterfaceChoice &choice, Links links);

    /** The menu's text for one interface: "eth0 (wired) 192.168.1.5/24 fe80::1/64". */
    static QString LinkText(const PKT_Link &link);

signals:
    void ChoiceChanged();

private:
    void Rebuild();
    void Toggle(const QString &name, bool on);

    QMenu *m_menu;
    InterfaceChoice &m_choice;
    Links m_links;
};
