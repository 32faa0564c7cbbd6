#pragma once

#include <QApplication>
#include <QTimer>

// Runs act(dialog) once a modal dialog of type T is up, so that a test can
// drive a dialog whose exec() it is blocked in.
template <typename T, typename F>
void WhenModal(F act)
{
    auto *poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, act] {
        auto *dialog = qobject_cast<T *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        act(dialog);
    });
    poll->start();
}
