#include "ctooltip.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPalette>
#include <QScreen>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QStylePainter>
#include <QTextDocument>
#include <QTimerEvent>

#include <algorithm>

namespace {

constexpr int kHideDelayMs = 300;
// Where a tip goes from the point it is asked for: below right, clear of the cursor shape.
constexpr QPoint kTipOffset(2, 21);

CToolLabel *s_pInstance = nullptr;

QPalette &tipPalette()
{
    static QPalette palette;
    return palette;
}

QRect tipScreenGeometry(const QPoint &globalPos, QWidget *w)
{
    // screenAt() searches the whole virtual desktop; off every screen, fall
    // back to the widget's screen and then the primary one.
    QScreen *screen = QGuiApplication::screenAt(globalPos);
    if (!screen && w)
        screen = w->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

} // namespace

CToolLabel::CToolLabel(const QString &text, QWidget *parent)
    // Transparent for input: a click on the tip reaches what lies under it.
    : QLabel(parent, Qt::ToolTip | Qt::BypassGraphicsProxyWidget | Qt::WindowTransparentForInput)
{
    delete s_pInstance;
    s_pInstance = this;

    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
    setPalette(CToolTip::palette());
    ensurePolished();
    setMargin(1 + style()->pixelMetric(QStyle::PM_ToolTipLabelFrameWidth, nullptr, this));
    setFrameStyle(QFrame::NoFrame);
    setAlignment(Qt::AlignLeft);
    setIndent(1);
    qApp->installEventFilter(this);
    setWindowOpacity(style()->styleHint(QStyle::SH_ToolTipLabel_Opacity, nullptr, this) / 255.0);
    setMouseTracking(true);
    reuseTip(text);
}

CToolLabel::~CToolLabel()
{
    if (s_pInstance == this)
        s_pInstance = nullptr;
}

CToolLabel *CToolLabel::instance()
{
    return s_pInstance;
}

void CToolLabel::reuseTip(const QString &text, const QWidget *w)
{
    const bool richText = Qt::mightBeRichText(text);
    setWordWrap(richText);
    setText(text);
    const QFontMetrics fm(font());
    QSize extra(1, 0);
    // Fonts with a descent of 2 clip their descenders in a label of exact height.
    if (fm.descent() == 2 && fm.ascent() > 10)
        ++extra.rheight();
    QSize size = sizeHint();
    // A long plain text wraps: one line across the screen would cover what
    // the tip is about, and be pushed aside by the screen's edge.
    const int maxWidth = CToolTip::maximumWidth(fm, w) - extra.width();
    if (!richText && size.width() > maxWidth) {
        setWordWrap(true);
        size = QSize(maxWidth, heightForWidth(maxWidth));
    }
    resize(size + extra);
    restartExpireTimer();
}

void CToolLabel::restartExpireTimer()
{
    m_expireTimer.start(CToolTip::expiryInterval(text()), this);
    m_hideTimer.stop();
}

void CToolLabel::hideTip()
{
    if (!m_hideTimer.isActive())
        m_hideTimer.start(kHideDelayMs, this);
}

void CToolLabel::hideTipImmediately()
{
    close();
    deleteLater();
}

void CToolLabel::setTipRect(QWidget *w, const QRect &rect)
{
    if (!m_rcTip.isNull() && !w) {
        qWarning("CToolTip::setTipRect: Cannot pass null widget if rect is set");
        return;
    }
    m_pWidget = w;
    m_rcTip = rect;
}

void CToolLabel::placeTip(const QPoint &globalPos, QWidget *w)
{
    move(CToolTip::tipPosition(globalPos, size(), tipScreenGeometry(globalPos, w)));
}

bool CToolLabel::tipChanged(const QPoint &pos, const QString &text, QWidget *w) const
{
    return text != this->text() || w != m_pWidget || (!m_rcTip.isNull() && !m_rcTip.contains(pos));
}

bool CToolLabel::eventFilter(QObject *, QEvent *e)
{
    switch (e->type()) {
    case QEvent::Leave:
        hideTip();
        break;
    case QEvent::WindowActivate:
    case QEvent::WindowDeactivate:
        // The user turned to another window: a complaint about a field there is stale.
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
        // The user acts: the tip has been read, and the click goes where it was aimed.
        hideTipImmediately();
        break;
    default:
        break;
    }
    return false;
}

void CToolLabel::timerEvent(QTimerEvent *e)
{
    if (e->timerId() == m_hideTimer.timerId() || e->timerId() == m_expireTimer.timerId()) {
        m_hideTimer.stop();
        m_expireTimer.stop();
        hideTipImmediately();
    }
}

void CToolLabel::mouseMoveEvent(QMouseEvent *e)
{
    if (m_rcTip.isNull())
        return;
    QPoint pos = e->globalPosition().toPoint();
    if (m_pWidget)
        pos = m_pWidget->mapFromGlobal(pos);
    if (!m_rcTip.contains(pos))
        hideTip();
    QLabel::mouseMoveEvent(e);
}

void CToolLabel::paintEvent(QPaintEvent *e)
{
    QStylePainter painter(this);
    QStyleOptionFrame option;
    option.initFrom(this);
    painter.setPen(Qt::red);
    painter.drawPrimitive(QStyle::PE_PanelTipLabel, option);
    painter.end();
    QLabel::paintEvent(e);
}

void CToolLabel::resizeEvent(QResizeEvent *e)
{
    QStyleHintReturnMask mask;
    QStyleOption option;
    option.initFrom(this);
    if (style()->styleHint(QStyle::SH_ToolTip_Mask, &option, this, &mask))
        setMask(mask.region);
    QLabel::resizeEvent(e);
}

void CToolTip::showText(const QPoint &globalPos, const QString &text, QWidget *w, const QRect &rect)
{
    if (s_pInstance && s_pInstance->isVisible()) {
        if (text.isEmpty()) {
            s_pInstance->hideTip();
            return;
        }
        const QPoint localPos = w ? w->mapFromGlobal(globalPos) : globalPos;
        if (s_pInstance->tipChanged(localPos, text, w)) {
            s_pInstance->reuseTip(text, w);
            s_pInstance->setTipRect(w, rect);
            s_pInstance->placeTip(globalPos, w);
        }
        return;
    }
    if (text.isEmpty())
        return;

    // A top-level tool-tip window: it is placed by global coordinates on
    // whichever screen globalPos lies.
    auto *label = new CToolLabel(text);
    label->reuseTip(text, w);
    label->setTipRect(w, rect);
    label->placeTip(globalPos, w);
    label->setObjectName(QStringLiteral("ctooltip_label"));
    label->show();
}

void CToolTip::showText(const QPoint &globalPos, const QString &text, QWidget *w)
{
    showText(globalPos, text, w, QRect());
}

void CToolTip::hideText()
{
    if (s_pInstance && s_pInstance->isVisible())
        s_pInstance->hide();
}

bool CToolTip::isVisible()
{
    return s_pInstance && s_pInstance->isVisible();
}

QString CToolTip::text()
{
    return s_pInstance ? s_pInstance->text() : QString();
}

QPalette CToolTip::palette()
{
    return tipPalette();
}

void CToolTip::setPalette(const QPalette &palette)
{
    tipPalette() = palette;
    if (s_pInstance)
        s_pInstance->setPalette(palette);
}

QFont CToolTip::font()
{
    return QApplication::font("CToolLabel");
}

void CToolTip::setFont(const QFont &font)
{
    QApplication::setFont(font, "CToolLabel");
}

int CToolTip::maximumWidth(const QFontMetrics &metrics, const QWidget *w)
{
    const int characters = 45 * metrics.averageCharWidth();
    if (!w)
        return characters;
    // Asked for at w's left edge, the tip starts kTipOffset to the right and
    // still ends inside w.
    return std::min(characters, std::max(w->width() - 2 * kTipOffset.x(), 15 * metrics.averageCharWidth()));
}

int CToolTip::expiryInterval(const QString &text)
{
    return 8000 + 40 * std::max<int>(0, int(text.size()) - 100);
}

QPoint CToolTip::tipPosition(const QPoint &globalPos, const QSize &tipSize, const QRect &screenRect)
{
    const int left = screenRect.x();
    const int top = screenRect.y();
    const int right = screenRect.x() + screenRect.width();
    const int bottom = screenRect.y() + screenRect.height();
    const int w = tipSize.width();
    const int h = tipSize.height();

    // Below right of the pointer, clear of the cursor shape.
    QPoint p = globalPos + kTipOffset;
    if (p.x() + w > right)
        p.rx() -= w + 4;
    if (p.y() + h > bottom)
        p.ry() -= h + 24;
    if (p.y() < top)
        p.setY(top);
    if (p.x() + w > right)
        p.setX(right - w);
    if (p.x() < left)
        p.setX(left);
    if (p.y() + h > bottom)
        p.setY(bottom - h);
    return p;
}
