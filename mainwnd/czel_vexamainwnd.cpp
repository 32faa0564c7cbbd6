#include "czel_vexamainwnd.h"

#include "cdlgabout.h"
#include "cwindowtitle.h"
#include "ui_czel_vexamainwnd.h"
#include "usermanual.h"

#include <cwarndlg.h>
#include <qtvexa.h>
#include <vexareportcallback.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QStackedWidget>
#include <QUrl>

namespace {

// Everything that differs between the stand-alone look and the compact one
// a host gives the window.
struct Styling {
    QString window;
    QString tabSelected;
    QString tabUnselected;
    QString tabFrame;
    int tabHeight;
    int iconSize;
    bool icons;
};

const Styling kFull{
    QStringLiteral("QMainWindow#CZEL_VEXAMainWndClass{border-image:url(\":/images/Dialog/dialog_bg2.png\") 58;\n"
                   "border-width:58;}"),
    QStringLiteral("QPushButton{border-image:url(:/images/Tab/TabSelect.png); color: rgb(255, 255, 255); "
                   "border-width:0px;}"),
    QStringLiteral("QPushButton{border-image:url(:/images/Tab/TabUnselect.png); color: rgb(255, 255, 255); "
                   "border-width:0px;}"),
    QStringLiteral("QFrame{background-image:url(:/images/Tab/tab_bg.png); border:none;}"),
    40,
    32,
    true,
};

const Styling kCompact{
    QStringLiteral("QMainWindow#CZEL_VEXAMainWndClass{border-image:url(\":/images/Dialog/dialog_bg2.png\") 58;\n"
                   "border-width:23 58 58 58;}"),
    // Red in every state: the sub-tab is light, and the button holds the
    // focus from the start, so white text for focus or hover would vanish.
    QStringLiteral("QPushButton{border-image:url(:/images/Tab/SubTabSelect.png); color: rgb(255, 0, 0); "
                   "border-width:0px;}"),
    QStringLiteral("QPushButton{border-image:url(:/images/Tab/SubTabUnselect.png); color: rgb(0, 0, 0); "
                   "border-width:0px;}"),
    QStringLiteral("QFrame{background-image:url(:/images/Tab/Subtab_bg.png); border:none;}"),
    23,
    16,
    false,
};

} // namespace

CZEL_VEXAMainWnd::CZEL_VEXAMainWnd(QWidget *parent, Qt::WindowFlags flags, int i1, int i2, int i3)
    : QMainWindow(parent, flags)
    , m_ui(std::make_unique<Ui::CZEL_VEXAMainWndClass>())
    , m_i1(i1)
    , m_i2(i2)
    , m_i3(i3)
{
    m_ui->setupUi(this);

    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint);
    m_pTitle = new CWindowTitle(this, m_ui->centralWidget);
    m_ui->pGridLayout->addWidget(m_pTitle, 0, 0, 1, 2);
    m_pStack = new QStackedWidget(m_ui->centralWidget);
    m_ui->pGridLayout->addWidget(m_pStack, 2, 0, 1, 2);
    m_pVexa = new QtVexa(this, 0, m_i1, m_i2, m_i3);
    m_pStack->addWidget(m_pVexa);
    ApplyStyling();

    on_m_pBtnVexa_clicked();
    setFixedSize(1024, 768);
    ShowTitle(true);
}

CZEL_VEXAMainWnd::~CZEL_VEXAMainWnd() = default;

void CZEL_VEXAMainWnd::ShowTitle(bool show)
{
    m_pTitle->setVisible(show);
}

void CZEL_VEXAMainWnd::ChangeSize(bool full)
{
    if (full == m_bFullSize)
        return;
    m_bFullSize = full;
    ApplyStyling();
}

void CZEL_VEXAMainWnd::ApplyStyling()
{
    const Styling &styling = m_bFullSize ? kFull : kCompact;
    setStyleSheet(styling.window);
    m_ui->m_pBtnVexa->setStyleSheet(styling.tabSelected);
    m_ui->m_pBtnAbout->setStyleSheet(styling.tabUnselected);
    m_ui->pTabFrame->setStyleSheet(styling.tabFrame);
    m_ui->pTabFrame->setMinimumHeight(styling.tabHeight);
    m_ui->m_pBtnVexa->setFixedHeight(styling.tabHeight);
    m_ui->m_pBtnAbout->setFixedHeight(styling.tabHeight);
    m_ui->m_pBtnVexa->setIcon(styling.icons ? QIcon(QStringLiteral(":/images/ButtonIcon/menu_search.png")) : QIcon());
    m_ui->m_pBtnAbout->setIcon(styling.icons ? QIcon(QStringLiteral(":/images/ButtonIcon/menu_info.png")) : QIcon());
    m_ui->m_pBtnVexa->setIconSize(QSize(styling.iconSize, styling.iconSize));
    m_ui->m_pBtnAbout->setIconSize(QSize(styling.iconSize, styling.iconSize));
}

void CZEL_VEXAMainWnd::OnCallBack(const VEXA_DEVICE_REPORT *report)
{
    VexaReportCallback(report, m_pVexa);
}

void CZEL_VEXAMainWnd::SetManualLanguage(const QLocale &language)
{
    m_manualLanguage = language;
}

bool CZEL_VEXAMainWnd::OpenManual()
{
    const QString path = UserManualPath(m_manualLanguage);
    // Desktops hand a file to an opener without waiting for it, so a missing
    // manual would otherwise go unnoticed.
    if (!QFileInfo(path).isFile())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void CZEL_VEXAMainWnd::on_m_pBtnVexa_clicked()
{
    m_pStack->setCurrentIndex(0);
    m_ui->m_pBtnVexa->setStyleSheet(m_bFullSize ? kFull.tabSelected : kCompact.tabSelected);
}

void CZEL_VEXAMainWnd::on_m_pBtnAbout_clicked()
{
    QMenu menu(this);
    QAction *help = menu.addAction(QIcon(QStringLiteral(":/images/Help.png")), tr("Help"));
    help->setShortcut(Qt::Key_F1);
    // Shortcuts of a pop-up menu's entries only count through a menu bar, and
    // the open menu holds the keyboard: F1 reaches the entry through this
    // window instead, for as long as the menu exists. The menu closes first,
    // so that a message about the manual is not hidden behind it.
    help->setShortcutContext(Qt::ApplicationShortcut);
    addAction(help);
    connect(help, &QAction::triggered, &menu, &QMenu::close);
    connect(help, &QAction::triggered, this, &CZEL_VEXAMainWnd::OnGetHelp);
    menu.addAction(QIcon(QStringLiteral(":/images/About.png")), tr("Version"), this, &CZEL_VEXAMainWnd::GetVersion);
    menu.exec(QCursor::pos());
}

void CZEL_VEXAMainWnd::OnGetHelp()
{
    if (!OpenManual())
        CWarnDlg::MsgBox(tr("Info"), tr("Can not find Manual."), this);
}

void CZEL_VEXAMainWnd::GetVersion()
{
    CDlgAbout about;
    about.exec();
}

void CZEL_VEXAMainWnd::closeEvent(QCloseEvent *event)
{
    if (CWarnDlg::AskBox(tr("Confirm"), tr("Sure to close software"), this) != 1) {
        event->ignore();
        return;
    }
    // Queued: the application quits once this close has been accepted.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    event->accept();
}

void CZEL_VEXAMainWnd::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_F1)
        OnGetHelp();
    else
        QMainWindow::keyPressEvent(event);
}
