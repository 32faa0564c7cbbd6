#include "cbasedialog.h"

#include "regionutil.h"
#include "ui_cbasedialog.h"
#include "workarea.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace {

// Presses at or above this row (dialog coordinates) grab the window.
constexpr int kDragStripHeight = 32;
constexpr int kCornerRadius = 2;

const QString kBorderWithButtons = QStringLiteral(
    "QDialog#CBaseDialogClass{border-image:url(\":/images/Dialog/dialog_bg.png\") 58;\n"
    "border-width:58;}");
// The same border in the spelling the button-area switch has always used.
const QString kBorderWithButtonsShown = QStringLiteral(
    "QDialog#CBaseDialogClass{border-image:url(\":/images/Dialog/dialog_bg.png\") 58;"
    "                                        border-width:58;}");
const QString kBorderWithoutButtons = QStringLiteral(
    "QDialog#CBaseDialogClass{border-image:url(\":/images/Dialog/dialog_bg2.png\") 34 6 16 6;\n"
    "border-width:34 6 16 6;}");

} // namespace

CBaseDialog::CBaseDialog(QWidget *parent, bool bBtnArea, bool bOkBtn, bool bCancelBtn)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::CBaseDialogClass>())
{
    m_ui->setupUi(this);
    connect(m_ui->pCancelBtn, &QPushButton::clicked, this, &QDialog::reject);

    m_ui->m_pCloseBtn->hide();
    if (bBtnArea) {
        setStyleSheet(kBorderWithButtons);
    } else {
        m_ui->m_pBottomFrame->hide();
        m_ui->m_pgridBaseDialog->setContentsMargins(6, 4, 6, 11);
        setStyleSheet(kBorderWithoutButtons);
    }
    if (!bOkBtn)
        m_ui->pOkBtn->hide();
    if (!bCancelBtn)
        m_ui->pCancelBtn->hide();
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
}

CBaseDialog::~CBaseDialog() = default;

void CBaseDialog::SetTitle(const QString &title)
{
    m_ui->pLabelTitle->setText(title);
}

QString CBaseDialog::GetTitle() const
{
    return m_ui->pLabelTitle->text();
}

void CBaseDialog::ShowCloseBtn(bool bShow)
{
    m_ui->m_pCloseBtn->setVisible(bShow);
}

void CBaseDialog::ShowOkBtn(bool bShow)
{
    m_ui->pOkBtn->setVisible(bShow);
}

void CBaseDialog::SetBtnAreaVisible(bool bVisible)
{
    m_ui->pOkBtn->setVisible(bVisible);
    m_ui->pCancelBtn->setVisible(bVisible);
    m_ui->m_pBottomFrame->setVisible(bVisible);
    setStyleSheet(bVisible ? kBorderWithButtonsShown : kBorderWithoutButtons);
}

bool CBaseDialog::SetContentWidget(QWidget *w)
{
    if (!w)
        return false;
    if (!m_pContentLayout) {
        m_pContentLayout = new QGridLayout(m_ui->m_pContentFrame);
        m_pContentLayout->setContentsMargins(0, 0, 0, 0);
    }
    if (m_pContentLayout->indexOf(w) < 0)
        m_pContentLayout->addWidget(w, 0, 0);
    return true;
}

QWidget *CBaseDialog::GetContentFrame() const
{
    return m_ui->m_pContentFrame;
}

void CBaseDialog::SetOkBtnText(const QString &text)
{
    m_ui->pOkBtn->setText(text);
}

void CBaseDialog::SetCancelBtnText(const QString &text)
{
    m_ui->pCancelBtn->setText(text);
}

void CBaseDialog::SetOkBtnEnable(bool bEnabled)
{
    m_ui->pOkBtn->setEnabled(bEnabled);
}

void CBaseDialog::on_pOkBtn_clicked()
{
    if (m_bOkAccept)
        accept();
    else
        emit ClickedOKBtnSig();
}

void CBaseDialog::on_m_pCloseBtn_clicked()
{
    if (m_bCloseBtnClose)
        close();
    else
        emit ClickedCloseBtnSig();
}

void CBaseDialog::mousePressEvent(QMouseEvent *event)
{
    m_ptPress = event->position().toPoint();
    if (m_ptPress.y() <= kDragStripHeight)
        m_bDrag = 1;
}

void CBaseDialog::mouseReleaseEvent(QMouseEvent *event)
{
    m_bDrag = 0;
    QDialog::mouseReleaseEvent(event);
}

void CBaseDialog::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_bDrag) {
        QDialog::mouseMoveEvent(event);
        return;
    }
    move(ClampToWorkArea(event->globalPosition().toPoint()) - m_ptPress);
}

bool CBaseDialog::HandleDialogKey(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        // A skinned dialog closes only through its own buttons.
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Select:
        accept();
        break;
    default:
        break;
    }
    return false;
}

void CBaseDialog::keyPressEvent(QKeyEvent *event)
{
    if (!HandleDialogKey(event))
        QDialog::keyPressEvent(event);
}

void CBaseDialog::resizeEvent(QResizeEvent *event)
{
    setMask(EllipseCornerRegion(rect(), kCornerRadius));
    QDialog::resizeEvent(event);
}
