#pragma once

#include "vexawidgets_export.h"

#include <QLineEdit>

/**
 * A password field whose text cannot be copied, cut or pasted: the
 * clipboard key bindings are swallowed and the context menu lacks those
 * entries. Pasting the X11 selection with the middle button and dropping
 * text are refused as well, since they are pastes by another route.
 */
class VEXAWIDGETS_EXPORT CPasswordLineEdit : public QLineEdit
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CPasswordLineEdit)

public:
    explicit CPasswordLineEdit(QWidget *parent = nullptr);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
};
