#pragma once

#include "vexawidgets_export.h"

#include <QBasicTimer>
#include <QPushButton>

/** The library's push button; a class of its own so style sheets can select it. */
class VEXAWIDGETS_EXPORT CPushButton : public QPushButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPushButton)

public:
    using QPushButton::QPushButton;
};

/**
 * A push button that reports SignalDelayRelease() once the user has left it
 * alone for DelayMs after a release; every release starts the wait again,
 * and while the button is checked the signal is held back.
 */
class VEXAWIDGETS_EXPORT CDelayButton : public CPushButton
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CDelayButton)

public:
    static constexpr int DelayMs = 2000;

    using CPushButton::CPushButton;

signals:
    void SignalDelayRelease();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

    QBasicTimer m_delayTimer;
};
