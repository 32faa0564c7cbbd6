#pragma once

#include "vexawidgets_export.h"

#include <QBasicTimer>
#include <QLabel>
#include <QPointer>
#include <QRect>

class QFont;
class QFontMetrics;
class QPalette;
class QPoint;
class QSize;

/**
 * The floating tip window of CToolTip. At most one exists; creating a new one
 * deletes the previous one, and it deletes itself once hidden by its timers or
 * by a change of the active window.
 */
class VEXAWIDGETS_EXPORT CToolLabel final : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CToolLabel)

public:
    explicit CToolLabel(const QString &text, QWidget *parent = nullptr);
    ~CToolLabel() override;

    /** The current tip, or null. */
    static CToolLabel *instance();

    /** Shows \a text, a long plain text wrapped to CToolTip::maximumWidth() for \a w. */
    void reuseTip(const QString &text, const QWidget *w = nullptr);
    void hideTip();
    void hideTipImmediately();
    void setTipRect(QWidget *w, const QRect &rect);
    void placeTip(const QPoint &globalPos, QWidget *w);
    bool tipChanged(const QPoint &pos, const QString &text, QWidget *w) const;

    bool eventFilter(QObject *watched, QEvent *e) override;

protected:
    void timerEvent(QTimerEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;

private:
    void restartExpireTimer();

    QBasicTimer m_hideTimer;
    QBasicTimer m_expireTimer;
    // Guarded: the widget may be destroyed while its tip is still up.
    QPointer<QWidget> m_pWidget;
    QRect m_rcTip;
};

/**
 * The library's tool-tip service: one tip at a time, kept on screen, long
 * plain texts wrapped, expiring with its length. A tip takes no input: a
 * click goes to what lies under it, and any click or wheel turn hides it.
 */
class VEXAWIDGETS_EXPORT CToolTip
{
public:
    CToolTip() = delete;

    /**
     * Shows \a text at \a globalPos for \a w, moves or changes a visible tip,
     * or with an empty text hides it after a short delay. The tip stays valid
     * while the pointer is inside \a rect of \a w (anywhere if \a rect is null).
     */
    static void showText(const QPoint &globalPos, const QString &text, QWidget *w, const QRect &rect);
    static void showText(const QPoint &globalPos, const QString &text, QWidget *w = nullptr);
    static void hideText();
    static bool isVisible();
    static QString text();

    static QPalette palette();
    static void setPalette(const QPalette &palette);
    static QFont font();
    static void setFont(const QFont &font);

    /**
     * The widest a plain-text tip in \a metrics' font gets before its text
     * wraps: about 45 characters, and, for a tip asked for at the left edge
     * of \a w (the widget it is for), no wider than fits inside it (but at
     * least about 15 characters).
     */
    static int maximumWidth(const QFontMetrics &metrics, const QWidget *w = nullptr);

    /** How long a tip with \a text stays up: 8 s, plus 40 ms per character beyond 100. */
    static int expiryInterval(const QString &text);

    /**
     * Where a tip of \a tipSize requested at \a globalPos goes on a screen of
     * \a screenRect: below right of the pointer, flipped to the left or above
     * it near the right or bottom edge, and never off the screen.
     */
    static QPoint tipPosition(const QPoint &globalPos, const QSize &tipSize, const QRect &screenRect);
};
