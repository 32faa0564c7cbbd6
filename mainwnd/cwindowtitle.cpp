#include "cwindowtitle.h"

#include <cpushbutton.h>
#include <pixmaputil.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QScreen>
#include <QSpacerItem>

namespace {

const QSize kLeastScreen(1024, 768);
constexpr int kButtonSize = 20;
constexpr int kLogoSize = 32;

// Border image plus its hover variant: ":/images/title/<name>.png" and "<name>_hover.png".
QString TitleButtonStyle(const QString &name)
{
    return QStringLiteral("QPushButton{border:none; margin:0px; border-image:url(:/images/title/%1.png);}\n"
                          "QPushButton:hover{border:none; margin:0px; border-image:url(:/images/title/%1_hover.png);}")
        .arg(name);
}

CPushButton *MakeTitleButton(QWidget *parent, const char *objectName, const QString &image, const QString &name)
{
    auto *button = new CPushButton(parent);
    button->setObjectName(QLatin1String(objectName));
    button->setFixedSize(kButtonSize, kButtonSize);
    button->setFocusPolicy(Qt::ClickFocus);
    button->setStyleSheet(TitleButtonStyle(image));
    // The buttons show only an image: screen readers and tool tips need the words.
    button->setAccessibleName(name);
    button->setToolTip(name);
    return button;
}

} // namespace

CWindowTitle::CWindowTitle(QWidget *window, QWidget *parent)
    : QWidget(parent)
    , m_pWindow(window)
{
    m_pRowLayout = new QHBoxLayout(this);
    m_pRowLayout->setSpacing(1);
    m_pRowLayout->setContentsMargins(4, 1, 4, 1);

    m_pLeftLayout = new QHBoxLayout;
    m_pLeftLayout->setSpacing(1);
    setObjectName(QStringLiteral("CWindowTitle"));
    m_pBtnLogo = new CPushButton(this);
    m_pBtnLogo->setObjectName(QStringLiteral("m_pBtnLogo"));
    m_pBtnLogo->setFixedSize(kLogoSize, kLogoSize);
    m_pBtnLogo->setFocusPolicy(Qt::NoFocus);
    m_pBtnLogo->setStyleSheet(QStringLiteral("QPushButton{border-image:url(:/images/title/VEXAEye.png);}"));
    m_pLeftSpacer = new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum);
    m_pLeftLayout->addWidget(m_pBtnLogo);
    m_pLeftLayout->addItem(m_pLeftSpacer);

    m_pLabelTitle = new QLabel(tr("VEXA"), this);
    m_pLabelTitle->setObjectName(QStringLiteral("m_pLabelTitle"));
    m_pLabelTitle->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    m_pLabelTitle->setAlignment(Qt::AlignCenter);
    m_pLabelTitle->setStyleSheet(QStringLiteral("color:rgb(255, 255, 255);"));
    m_pBtnLogo->setAccessibleName(m_pLabelTitle->text());

    m_pRightLayout = new QHBoxLayout;
    m_pRightLayout->setSpacing(1);
    m_pRightSpacer = new QSpacerItem(0, 0, QSizePolicy::Expanding, QSizePolicy::Minimum);
    m_pBtnMin = MakeTitleButton(this, "m_pBtnMin", QStringLiteral("mini"), tr("Minimize"));
    m_pBtnFull = MakeTitleButton(this, "m_pBtnFull", QStringLiteral("full-screen"), tr("Full screen"));
    m_pBtnClose = MakeTitleButton(this, "m_pBtnClose", QStringLiteral("close"), tr("Close"));
    m_pRightLayout->addItem(m_pRightSpacer);
    m_pRightLayout->addWidget(m_pBtnMin);
    m_pRightLayout->addWidget(m_pBtnFull);
    m_pRightLayout->addWidget(m_pBtnClose);

    m_pRowLayout->addLayout(m_pLeftLayout, 1);
    m_pRowLayout->addWidget(m_pLabelTitle, 1);
    m_pRowLayout->addLayout(m_pRightLayout, 1);

    connect(m_pBtnMin, &QPushButton::clicked, this, &CWindowTitle::showSmall);
    connect(m_pBtnFull, &QPushButton::clicked, this, &CWindowTitle::ChaneMaxSizeOrRestore);
    connect(m_pBtnClose, &QPushButton::clicked, this, &CWindowTitle::OnCloseWindow);

    setAutoFillBackground(true);
    ScaleBackground();
}

CWindowTitle::~CWindowTitle() = default;

void CWindowTitle::showSmall()
{
    m_pWindow->showMinimized();
}

void CWindowTitle::ChangSizeToFull()
{
    if (!ScreenAllowsFullScreen())
        return;
    m_pWindow->showFullScreen();
    m_pBtnFull->setStyleSheet(TitleButtonStyle(QStringLiteral("back")));
}

void CWindowTitle::ChaneMaxSizeOrRestore()
{
    if (!ScreenAllowsFullScreen())
        return;
    if (m_pWindow->isFullScreen()) {
        m_pWindow->showNormal();
        m_pBtnFull->setStyleSheet(TitleButtonStyle(QStringLiteral("full-screen")));
    } else {
        ChangSizeToFull();
    }
}

void CWindowTitle::OnCloseWindow()
{
    m_pWindow->close();
}

void CWindowTitle::mousePressEvent(QMouseEvent *event)
{
    if (m_pWindow->isFullScreen())
        return;
    m_iDragging = 1;
    // The bar sits at the top left of the window's central widget, so a
    // point in the parent's coordinates is the grab point in the window.
    m_ptGrab = mapToParent(event->position().toPoint());
}

void CWindowTitle::mouseMoveEvent(QMouseEvent *event)
{
    if (m_iDragging)
        m_pWindow->move(event->globalPosition().toPoint() - m_ptGrab);
}

void CWindowTitle::mouseReleaseEvent(QMouseEvent *)
{
    m_iDragging = 0;
}

void CWindowTitle::mouseDoubleClickEvent(QMouseEvent *)
{
    ChaneMaxSizeOrRestore();
}

void CWindowTitle::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    // Scaled once for the bar's real width, not tiled from the size it had
    // before the layout placed it.
    ScaleBackground();
}

bool CWindowTitle::ScreenAllowsFullScreen() const
{
    const QScreen *screen = m_pWindow->screen();
    if (!screen)
        return false;
    const QSize size = screen->geometry().size();
    return size.width() >= kLeastScreen.width() && size.height() >= kLeastScreen.height();
}

void CWindowTitle::ScaleBackground()
{
    const QPixmap background = LoadCachedPixmap(QStringLiteral(":/images/title/title_bg.png"));
    if (background.isNull())
        return;
    QPalette pal = palette();
    pal.setBrush(QPalette::Window,
                 QBrush(background.scaled(size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    setPalette(pal);
}
