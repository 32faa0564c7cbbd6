#include "clabel.h"

#include <QHelpEvent>
#include <QToolTip>

bool CLabel::event(QEvent *e)
{
    switch (e->type()) {
    case QEvent::MouseButtonDblClick:
        emit SignalDoubleClicked();
        break;
    case QEvent::ToolTip:
        // Labels on the device page are often elided; their full text is the useful tip.
        if (toolTip().isEmpty() && !text().isEmpty()) {
            QToolTip::showText(static_cast<QHelpEvent *>(e)->globalPos(), text());
            e->ignore();
        }
        break;
    default:
        break;
    }
    return QLabel::event(e);
}
