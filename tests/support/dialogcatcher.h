#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

/**
 * Closes the first message dialog that comes up while it lives and keeps
 * what it showed; a test that expects none checks that none came.
 */
class DialogCatcher final : public QObject
{
public:
    DialogCatcher();

    bool seen = false;
    QString title;
    QString text;
    bool cursorBusy = false;

private:
    void Poll();

    QTimer m_poll;
};
