#include "cpushbutton.h"

#include <QTimerEvent>

void CDelayButton::mouseReleaseEvent(QMouseEvent *event)
{
    CPushButton::mouseReleaseEvent(event);
    m_delayTimer.start(DelayMs, this);
}

void CDelayButton::timerEvent(QTimerEvent *event)
{
    if (event->timerId() != m_delayTimer.timerId()) {
        CPushButton::timerEvent(event);
        return;
    }
    if (isChecked()) {
        m_delayTimer.start(DelayMs, this);
        return;
    }
    m_delayTimer.stop();
    emit SignalDelayRelease();
}
