#pragma once

#include <QApplication>
#include <QTimer>

// Runs act(widget) once the widget that top() names is a visible T, so that a
// test can drive a modal dialog or a pop-up menu whose exec() it is blocked in.
template <typename T, typename Top, typename F>
void WhenUp(Top top, F act)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, top, act] {
        auto *widget = qobject_cast<T *>(top());
        if (!widget || !widget->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        act(widget);
    });
    poll->start();
}

template <typename T, typename F>
void WhenModal(F act)
{
    WhenUp<T>(&QApplication::activeModalWidget, act);
}

template <typename T, typename F>
void WhenPopup(F act)
{
    WhenUp<T>(&QApplication::activePopupWidget, act);
}
