#pragma once

#include "vexawidgets_export.h"

#include <QFrame>
#include <QPointer>

class CBaseDialog;

/** A frame that can live embedded in a page or show itself wrapped in a
 *  CBaseDialog created on first use. */
class VEXAWIDGETS_EXPORT CMutiroleDialog : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CMutiroleDialog)

public:
    explicit CMutiroleDialog(QWidget *parent = nullptr);
    ~CMutiroleDialog() override;

    void ExecInDialog(QWidget *parent, const QString &title);
    int ExecDialog(QWidget *parent, const QString &title);
    void ShowInDialog(QWidget *parent, const QString &title, int width, int height);
    void MoveDlg(int x, int y);
    int DlgWidth() const;
    int DlgHeight() const;

public slots:
    virtual void DialogCloseSlot();

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    CBaseDialog *WrapInDialog(QWidget *parent, const QString &title, const QSize &size);

    // Guarded: the wrapping dialog dies with its parent widget.
    QPointer<CBaseDialog> m_pBaseDialog;
};
