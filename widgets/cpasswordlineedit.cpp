#include "cpasswordlineedit.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

CPasswordLineEdit::CPasswordLineEdit(QWidget *parent)
    : QLineEdit(parent)
{
    setEchoMode(QLineEdit::Password);
    setAcceptDrops(false);
}

void CPasswordLineEdit::keyPressEvent(QKeyEvent *event)
{
    // matches() covers every platform binding (Ctrl+V, Shift+Insert, ...).
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Copy)
        || event->matches(QKeySequence::Cut)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void CPasswordLineEdit::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createStandardContextMenu();
    // The standard actions carry stable object names; positions differ
    // between editable and read-only fields.
    const QList<QAction *> actions = menu->actions();
    for (qsizetype i = 0; i < actions.size(); ++i) {
        const QString name = actions.at(i)->objectName();
        if (name != QLatin1String("edit-cut") && name != QLatin1String("edit-copy")
            && name != QLatin1String("edit-paste"))
            continue;
        // The separator that opened the clipboard group goes with it.
        if (i > 0 && actions.at(i - 1)->isSeparator())
            menu->removeAction(actions.at(i - 1));
        menu->removeAction(actions.at(i));
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

void CPasswordLineEdit::mouseReleaseEvent(QMouseEvent *event)
{
    // The line edit pastes the X11 selection on a middle-button release.
    if (event->button() == Qt::MiddleButton) {
        event->accept();
        return;
    }
    QLineEdit::mouseReleaseEvent(event);
}
