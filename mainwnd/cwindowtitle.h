#pragma once

#include "vexamainwnd_export.h"

#include <QPoint>
#include <QWidget>

class CPushButton;
class QHBoxLayout;
class QLabel;
class QSpacerItem;

/**
 * The frameless main window's own title bar: logo, title, and minimise,
 * full-screen and close buttons. Dragging it moves the window.
 */
class VEXAMAINWND_EXPORT CWindowTitle final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CWindowTitle)

public:
    /** `window` is the window the bar moves, minimises, closes and switches to full screen. */
    explicit CWindowTitle(QWidget *window, QWidget *parent = nullptr);
    ~CWindowTitle() override;

public slots:
    void showSmall();

private slots:
    void ChangSizeToFull();
    void ChaneMaxSizeOrRestore();
    void OnCloseWindow();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    /** Full screen only makes sense on a screen that can hold the whole window. */
    bool ScreenAllowsFullScreen() const;
    void ScaleBackground();

    QHBoxLayout *m_pRowLayout = nullptr;
    QHBoxLayout *m_pLeftLayout = nullptr;
    QHBoxLayout *m_pRightLayout = nullptr;
    QSpacerItem *m_pLeftSpacer = nullptr;
    QSpacerItem *m_pRightSpacer = nullptr;
    CPushButton *m_pBtnMin = nullptr;
    CPushButton *m_pBtnClose = nullptr;
    CPushButton *m_pBtnFull = nullptr;
    CPushButton *m_pBtnLogo = nullptr;
    int m_iDragging = 0;
    QPoint m_ptGrab;
    QLabel *m_pLabelTitle = nullptr;
    QWidget *m_pWindow = nullptr;
};
