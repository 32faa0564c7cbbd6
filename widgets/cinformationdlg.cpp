#include "cinformationdlg.h"

#include <QCursor>
#include <QGridLayout>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTextEdit>
#include <QTimer>

namespace {

constexpr int kCheckIntervalMs = 3000;
constexpr int kTextPadding = 15;

// The shared notice; it dies with its parent, hence the guard.
QPointer<CInformationDlg> &SharedNotice()
{
    static QPointer<CInformationDlg> notice;
    return notice;
}

CInformationDlg *EnsureNotice()
{
    if (!SharedNotice())
        SharedNotice() = new CInformationDlg(nullptr, true);
    return SharedNotice();
}

} // namespace

CInformationDlg::CInformationDlg(QWidget *parent, bool bWithContent)
    : QFrame(parent)
    , m_pTimer(new QTimer(this))
{
    connect(m_pTimer, &QTimer::timeout, this, &CInformationDlg::HideWnd);
    if (bWithContent) {
        m_pLayout = new QGridLayout(this);
        m_pTextEdit = new QTextEdit(this);
        m_pLabel = new QLabel(this);
        m_pLayout->addWidget(m_pTextEdit, 0, 0);
        m_pLayout->addWidget(m_pLabel, 1, 0);
        resize(m_iWidth, m_iHeight);
        setObjectName(QStringLiteral("m_this"));
        setStyleSheet(
            QStringLiteral("QFrame#m_this{background: rgb(15, 15, 15); border: 2px solid gray;}"));
        const QString plain = QStringLiteral("background-color: transparent; border:none; color: white;");
        m_pLabel->setStyleSheet(plain);
        m_pTextEdit->setStyleSheet(plain);
        m_pLabel->setAlignment(Qt::AlignCenter);
        m_pLabel->setWordWrap(true);
        m_pTextEdit->setTextInteractionFlags(Qt::NoTextInteraction);
    }
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
}

void CInformationDlg::SetInfoText(const QString &text)
{
    if (!m_pLabel)
        return;
    const int textWidth = m_pLabel->fontMetrics().horizontalAdvance(text) + kTextPadding;
    m_strText = text;
    // Short notices read best centred; long ones need the text edit's scrolling.
    if (textWidth < m_iWidth) {
        m_pLabel->show();
        m_pLabel->setAlignment(Qt::AlignCenter);
        m_pLabel->setWordWrap(true);
        m_pLabel->setText(text);
        m_pTextEdit->hide();
        m_pTextEdit->clear();
    } else {
        m_pLabel->hide();
        m_pLabel->clear();
        m_pLabel->setAlignment(Qt::AlignVCenter);
        m_pTextEdit->show();
        m_pTextEdit->setText(text);
    }
}

void CInformationDlg::SetAnchor(int right, int bottom)
{
    m_iAnchorX = right;
    m_iAnchorY = bottom;
    move(right - width(), bottom - height());
}

void CInformationDlg::ShowInfo(const QString &text)
{
    const QWidget *parent = parentWidget();
    const QScreen *screen = parent ? parent->screen() : nullptr;
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    SetAnchor(area.x() + area.width(), area.y() + area.height());
    SetInfoText(text);
    Present();
}

void CInformationDlg::Present()
{
    show();
    m_pTimer->start(kCheckIntervalMs);
}

void CInformationDlg::HideWnd()
{
    if (rect().contains(mapFromGlobal(QCursor::pos())))
        return;
    m_pTimer->stop();
    hide();
}

void CInformationDlg::resizeEvent(QResizeEvent *event)
{
    // A size that changes after SetAnchor() must keep the corner in place.
    if (m_iAnchorX != -1 || m_iAnchorY != -1) {
        move(m_iAnchorX - width(), m_iAnchorY - height());
        m_iAnchorX = -1;
        m_iAnchorY = -1;
    }
    QFrame::resizeEvent(event);
}

void CInformationDlg::SetInfoParent(QWidget *parent)
{
    if (CInformationDlg *notice = SharedNotice())
        notice->setParent(parent, notice->windowFlags());
    else
        SharedNotice() = new CInformationDlg(parent, true);
}

void CInformationDlg::ShowInfoText(const QString &text)
{
    CInformationDlg *notice = EnsureNotice();
    notice->SetInfoText(text);
    notice->Present();
}

void CInformationDlg::ShowInfoTextAt(const QString &text, int right, int bottom)
{
    CInformationDlg *notice = EnsureNotice();
    notice->SetAnchor(right, bottom);
    notice->SetInfoText(text);
    notice->Present();
}

void CInformationDlg::ShowInfoFor(const QString &text, QWidget *parent)
{
    SetInfoParent(parent);
    SharedNotice()->ShowInfo(text);
}
