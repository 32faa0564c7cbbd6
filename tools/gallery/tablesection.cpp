#include "sections.h"

#include "citemroles.h"
#include "ctableview.h"

#include <QIcon>
#include <QStringList>

namespace {

struct SampleDevice
{
    const char *type;
    const char *address;
    const char *serial;
    bool checked;
    const char *mode;
};

QVariantList comboEntries(const QStringList &texts)
{
    QVariantList entries;
    for (const QString &text : texts)
        entries.append(QVariant(QVariantList{text, QIcon()}));
    return entries;
}

} // namespace

QWidget *buildTableSection()
{
    static const SampleDevice devices[] = {
        {"VXC-7F12", "192.168.1.64", "VX-7F12-20210419AAWR", true, "Static"},
        {"VXR-3208", "192.168.1.65", "NV-3208-20200102BBQX", false, "DHCP"},
        {"VXE-0104", "192.168.1.66", "EN-0104-20191230CCZT", true, "Static"},
        {"VXC-2D31", "192.168.1.70", "VX-2D31-20220817DDPL", false, "PPPoE"},
    };

    auto *view = new CTableView;
    view->SetHeaderTexts({QStringLiteral("  ID"), QStringLiteral("Device Type"),
                          QStringLiteral("IPv4 Address"), QStringLiteral("Serial No."),
                          QStringLiteral("Address mode"), QStringLiteral("Web page")});
    view->SetHeaderCheckState(0, false);
    const QVariantList modes = comboEntries({QStringLiteral("Static"), QStringLiteral("DHCP"),
                                             QStringLiteral("PPPoE")});
    for (const SampleDevice &device : devices) {
        const int row = view->AppendRow();
        view->SetItemText(row, 0, QString::number(row + 1));
        view->SetItemChecked(row, 0, device.checked);
        view->SetItemText(row, 1, QString::fromLatin1(device.type));
        view->SetItemText(row, 2, QString::fromLatin1(device.address));
        view->SetItemMaxBytes(row, 2, 15);
        view->SetItemText(row, 3, QString::fromLatin1(device.serial));
        view->SetItemText(row, 4, QString::fromLatin1(device.mode));
        view->SetData(row, 4, modes, ComboItemsRole);
        // Editable cells open their editor on a single click.
        view->SetData(row, 4, int(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable),
                      CellFlagsRole);
        view->SetItemButton(row, 5, QStringLiteral("Open"), QIcon());
    }
    // One combo shown open, so the page shows what a combo cell looks like.
    view->openPersistentEditor(view->Index(0, 4));
    for (int column = 1; column < 6; ++column)
        view->resizeColumnToContents(column);
    // Room for the row check box and the header's own.
    view->setColumnWidth(0, 60);
    view->setMinimumHeight(170);
    return view;
}
