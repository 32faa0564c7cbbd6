#pragma once

#include "vexawidgets_export.h"

#include <QDialog>
#include <QPoint>

#include <memory>

class QGridLayout;
class QKeyEvent;
namespace Ui {
class CBaseDialogClass;
}

/** Frameless skinned dialog: image border, own title and close button, a
 *  content frame and an optional OK/Cancel area. Dragged by its title strip. */
class VEXAWIDGETS_EXPORT CBaseDialog : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CBaseDialog)

public:
    explicit CBaseDialog(QWidget *parent = nullptr, bool bBtnArea = true, bool bOkBtn = true,
                         bool bCancelBtn = true);
    ~CBaseDialog() override;

    void SetTitle(const QString &title);
    QString GetTitle() const;
    void ShowCloseBtn(bool bShow);
    void ShowOkBtn(bool bShow);
    /** Shows or hides OK, Cancel and their frame, and picks the matching border. */
    void SetBtnAreaVisible(bool bVisible);
    void SetOkAccept(bool bAccept) { m_bOkAccept = bAccept; }
    void SetCloseBtnClose(bool bClose) { m_bCloseBtnClose = bClose; }
    /** Adds @p w to the content frame; false for a null widget. */
    bool SetContentWidget(QWidget *w);
    QWidget *GetContentFrame() const;
    void SetOkBtnText(const QString &text);
    void SetCancelBtnText(const QString &text);
    /** The dialog's own keys: Escape is swallowed, Enter and Select accept.
     *  True when @p event is finished with; otherwise it goes on to the base class. */
    bool HandleDialogKey(QKeyEvent *event);

signals:
    void leftBtn_clicked();
    void ClickedOKBtnSig();
    void ClickedCloseBtnSig();

public slots:
    void SetOkBtnEnable(bool bEnabled);
    void on_pOkBtn_clicked();
    void on_m_pCloseBtn_clicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    std::unique_ptr<Ui::CBaseDialogClass> m_ui;
    int m_bDrag = 0;
    QPoint m_ptPress;
    QGridLayout *m_pContentLayout = nullptr;
    bool m_bOkAccept = true;
    bool m_bCloseBtnClose = true;
};
