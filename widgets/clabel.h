#pragma once

#include "vexawidgets_export.h"

#include <QLabel>

/** A label that reports double clicks and, lacking a tool tip of its own, shows its text as one. */
class VEXAWIDGETS_EXPORT CLabel : public QLabel
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CLabel)

public:
    using QLabel::QLabel;

signals:
    void SignalDoubleClicked();

protected:
    bool event(QEvent *e) override;
};
