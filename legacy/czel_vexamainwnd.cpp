#include "czel_vexamainwnd.h"

#include "cdlgabout.h"
#include "cwindowtitle.h"
#include "ui_czel_vexamainwnd.h"

#include <cpushbutton.h>
#include <cwarndlg.h>
#include <qtvexa.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QStackedWidget>

#include <utility>

namespace {

const QString kTabSelected = QStringLiteral(
    "QPushButton{border-image:url(:/images/Tab/TabSelect.png); color: rgb(255, 255, 255); border-width:0px;}");
const QString kTabUnselected = QStringLiteral(
    "QPushButton{border-image:url(:/images/Tab/TabUnselect.png); color: rgb(255, 255, 255); border-width:0px;}");

} // namespace

CZEL_VEXAMainWnd::CZEL_VEXAMainWnd(QWidget *parent, Qt::WindowFlags flags)
    : QMainWindow(parent, flags)
    , m_ui(std::make_unique<Ui::CZEL_VEXAMainWndClass>())
{
    setFixedSize(1024, 768);
    m_ui->setupUi(this);
    m_ui->m_pBtnAbout->setText(tr("About"));
    setStyleSheet(QStringLiteral("QMainWindow#CZEL_VEXAMainWndClass{border-image:url(\":/images/Dialog/dialog_bg2.png\") "
                                 "58;\nborder-width:58;}"));
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowSystemMenuHint);

    m_pTitle = new CWindowTitle(this, m_ui->centralWidget);
    // This edition's mark; the title bar is the main edition's.
    if (auto *logo = m_pTitle->findChild<CPushButton *>(QStringLiteral("m_pBtnLogo")))
        logo->setStyleSheet(QStringLiteral("QPushButton{border-image:url(:/images/title/Eye.png);}"));
    m_ui->pGridLayout->addWidget(m_pTitle, 0, 0, 1, 2);
    m_pStack = new QStackedWidget(m_ui->centralWidget);
    m_ui->pGridLayout->addWidget(m_pStack, 2, 0, 1, 2);
    m_pVexa = new QtVexa(this, 0);
    m_pStack->addWidget(m_pVexa);

    m_ui->pTabFrame->setStyleSheet(QStringLiteral("QFrame{background-image:url(:/images/Tab/tab_bg.png); border:none;}"));
    m_ui->m_pBtnVexa->setIcon(QIcon(QStringLiteral(":/images/ButtonIcon/menu_search.png")));
    m_ui->m_pBtnAbout->setIcon(QIcon(QStringLiteral(":/images/ButtonIcon/menu_info.png")));
    m_ui->m_pBtnAbout->setStyleSheet(kTabUnselected);
    on_m_pBtnVexa_clicked();
}

// The close handling deleted the title bar, the page and the page stack;
// anything left belongs to the widget tree.
CZEL_VEXAMainWnd::~CZEL_VEXAMainWnd() = default;

void CZEL_VEXAMainWnd::on_m_pBtnVexa_clicked()
{
    m_pStack->setCurrentIndex(0);
    m_ui->m_pBtnVexa->setStyleSheet(kTabSelected);
}

void CZEL_VEXAMainWnd::on_m_pBtnAbout_clicked()
{
    CDlgAbout about(this);
    about.exec();
}

void CZEL_VEXAMainWnd::closeEvent(QCloseEvent *event)
{
    if (CWarnDlg::AskBox(tr("Confirm"), tr("Sure to close software"), this) != 1) {
        event->ignore();
        return;
    }
    // Deleting the page stops discovery now, not when the event loop has ended.
    delete std::exchange(m_pTitle, nullptr);
    delete std::exchange(m_pVexa, nullptr);
    delete std::exchange(m_pStack, nullptr);
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    event->accept();
}
