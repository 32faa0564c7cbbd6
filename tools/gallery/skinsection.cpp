#include "sections.h"

#include "cbasedialog.h"
#include "corvostyle.h"
#include "cwarndlg.h"
#include "pluginloader.h"

#include <QApplication>
#include <QDirIterator>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTabBar>
#include <QVBoxLayout>

namespace {

const QColor kLight(0xf4, 0xf6, 0xf9);
const QColor kDark(0x1b, 0x3a, 0x5c);
// Images up to this size are also shown enlarged, so single pixels can be judged.
constexpr int kSmallImage = 32;
constexpr int kZoom = 3;
// Pictures wider than this get a row of their own.
constexpr int kWideImage = 200;
const QString kImagesRoot = QStringLiteral(":/images");

// One image on the light content colour and on the dark title colour.
QPixmap Swatch(const QPixmap &image, int scale)
{
    const QSize size = image.size() * scale;
    const int pad = 4;
    QPixmap swatch(size.width() * 2 + pad * 4, size.height() + pad * 2);
    QPainter painter(&swatch);
    painter.fillRect(0, 0, swatch.width() / 2, swatch.height(), kLight);
    painter.fillRect(swatch.width() / 2, 0, swatch.width() - swatch.width() / 2, swatch.height(), kDark);
    painter.drawPixmap(QRect(QPoint(pad, pad), size), image);
    painter.drawPixmap(QRect(QPoint(swatch.width() / 2 + pad, pad), size), image);
    return swatch;
}

QWidget *ImageTile(const QString &path)
{
    const QPixmap image(path);
    auto *tile = new QWidget;
    auto *column = new QVBoxLayout(tile);
    column->setContentsMargins(2, 2, 2, 2);
    auto *name = new QLabel(QStringLiteral("%1\n%2 x %3").arg(path.mid(kImagesRoot.size() + 1)).arg(image.width()).arg(image.height()));
    column->addWidget(name);
    auto *shown = new QLabel;
    const bool small = image.width() <= kSmallImage && image.height() <= kSmallImage;
    // Wide pictures are opaque backgrounds; one copy is enough.
    shown->setPixmap(image.width() > kWideImage ? image : Swatch(image, small ? kZoom : 1));
    column->addWidget(shown);
    if (small) {
        auto *actual = new QLabel;
        actual->setPixmap(Swatch(image, 1));
        column->addWidget(actual);
    }
    column->addStretch();
    return tile;
}

QWidget *ImageGrid()
{
    QStringList paths;
    QDirIterator it(kImagesRoot, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        paths.append(it.next());
    paths.sort();
    auto *grid = new QWidget;
    auto *layout = new QGridLayout(grid);
    auto *wide = new QHBoxLayout;
    constexpr int kColumns = 7;
    int placed = 0;
    for (const QString &path : std::as_const(paths)) {
        if (QPixmap(path).width() > kWideImage) {
            wide->addWidget(ImageTile(path));
            continue;
        }
        layout->addWidget(ImageTile(path), placed / kColumns, placed % kColumns, Qt::AlignTop | Qt::AlignLeft);
        ++placed;
    }
    layout->addLayout(wide, placed / kColumns + 1, 0, 1, kColumns, Qt::AlignLeft);
    return grid;
}

// Top-level dialogs are pictured rather than opened, so they appear in a screenshot.
QLabel *Picture(QWidget *window)
{
    window->adjustSize();
    auto *label = new QLabel;
    label->setPixmap(window->grab());
    return label;
}

QLabel *FramedDialogPicture()
{
    CBaseDialog dialog(nullptr, false, false, false);
    dialog.SetTitle(QStringLiteral("About"));
    dialog.ShowCloseBtn(true);
    dialog.SetContentWidget(new QLabel(QStringLiteral("Framed dialog without a button row.")));
    dialog.resize(320, 140);
    return Picture(&dialog);
}

QLabel *MessagePicture(bool question)
{
    CWarnDlg dialog(nullptr);
    const QString text = question ? QStringLiteral("Sure to close software")
                                  : QStringLiteral("Modify network parameter succeed.");
    dialog.FitWidthToText(text);
    dialog.ShowCloseBtn(true);
    dialog.SetBtnAreaVisible(question);
    dialog.SetMsg(question ? QStringLiteral("Confirm") : QStringLiteral("Information"), text);
    return Picture(&dialog);
}

QLabel *MenuPicture()
{
    QMenu menu;
    menu.addAction(QIcon(QStringLiteral(":/images/Help.png")), QStringLiteral("Help"))->setShortcut(Qt::Key_F1);
    menu.addAction(QIcon(QStringLiteral(":/images/About.png")), QStringLiteral("Version"));
    return Picture(&menu);
}

// The main window's tab strip, built as its form builds it.
QWidget *TabStrip()
{
    auto *strip = new QFrame;
    strip->setStyleSheet(QStringLiteral("QFrame{background-image:url(:/images/Tab/tab_bg.png); border:none;}"));
    strip->setMinimumHeight(40);
    auto *row = new QHBoxLayout(strip);
    row->setContentsMargins(5, 0, 5, 1);
    row->setSpacing(3);
    const struct
    {
        const char *text;
        const char *icon;
        const char *image;
    } tabs[] = {
        {"Online Devices", ":/images/ButtonIcon/menu_search.png", ":/images/Tab/TabSelect.png"},
        {"Help", ":/images/ButtonIcon/menu_info.png", ":/images/Tab/TabUnselect.png"},
    };
    for (const auto &tab : tabs) {
        auto *button = new QPushButton(QIcon(QString::fromLatin1(tab.icon)), QString::fromLatin1(tab.text));
        button->setObjectName(QStringLiteral("m_pBtnVexa"));
        button->setMinimumSize(140, 40);
        button->setIconSize(QSize(32, 32));
        button->setStyleSheet(QStringLiteral("QPushButton{border-image:url(%1); color: rgb(255, 255, 255); border-width:0px;}")
                                  .arg(QString::fromLatin1(tab.image)));
        row->addWidget(button);
    }
    row->addStretch();
    return strip;
}

QWidget *TabBar()
{
    auto *bar = new QTabBar;
    bar->setExpanding(false);
    bar->addTab(QStringLiteral("Devices"));
    bar->addTab(QStringLiteral("Channels"));
    bar->addTab(QStringLiteral("Log"));
    bar->setTabsClosable(true);
    return bar;
}

} // namespace

bool installSkin(const QString &key)
{
    const bool applied = LoadPluginByKey(key, QApplication::applicationDirPath() + QStringLiteral("/plugins/skins/"));
    QApplication::setStyle(new COrvoStyle);
    QFile sheet(QStringLiteral(":/Tarnwell/Qss/Qss/VEXA.qss"));
    if (sheet.open(QIODevice::ReadOnly))
        qApp->setStyleSheet(QString::fromLatin1(sheet.readAll()));
    return applied;
}

QWidget *buildSkinSection()
{
    auto *section = new QWidget;
    auto *rows = new QVBoxLayout(section);
    auto *dialogs = new QHBoxLayout;
    dialogs->addWidget(FramedDialogPicture(), 0, Qt::AlignTop);
    dialogs->addWidget(MessagePicture(false), 0, Qt::AlignTop);
    dialogs->addWidget(MessagePicture(true), 0, Qt::AlignTop);
    dialogs->addWidget(MenuPicture(), 0, Qt::AlignTop);
    dialogs->addStretch();
    rows->addLayout(dialogs);
    rows->addWidget(TabStrip());
    rows->addWidget(TabBar());
    rows->addWidget(ImageGrid());
    return section;
}
