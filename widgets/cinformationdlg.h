#pragma once

#include "vexawidgets_export.h"

#include <QFrame>
#include <QString>

class QGridLayout;
class QLabel;
class QTextEdit;
class QTimer;

/** A small dark notice in the lower-right corner of the screen. It hides
 *  itself on the first check, every three seconds, that finds the mouse
 *  pointer outside it. */
class VEXAWIDGETS_EXPORT CInformationDlg : public QFrame
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CInformationDlg)

public:
    explicit CInformationDlg(QWidget *parent = nullptr, bool bWithContent = true);

    void SetInfoText(const QString &text);
    /** Places the notice so that its bottom-right corner is at (right, bottom). */
    void SetAnchor(int right, int bottom);
    /** Shows @p text in the corner of the parent's screen; needs a parent. */
    virtual void ShowInfo(const QString &text);

    /** The functions below act on one shared notice, created on first use. */
    static void SetInfoParent(QWidget *parent);
    static void ShowInfoText(const QString &text);
    static void ShowInfoTextAt(const QString &text, int right, int bottom);
    static void ShowInfoFor(const QString &text, QWidget *parent);

public slots:
    void HideWnd();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void Present();

    QString m_strText;
    QGridLayout *m_pLayout = nullptr;
    const int m_iWidth = 200;
    const int m_iHeight = 150;
    int m_iAnchorX = -1;
    int m_iAnchorY = -1;
    QTextEdit *m_pTextEdit = nullptr;
    QLabel *m_pLabel = nullptr;
    QTimer *m_pTimer = nullptr;
};
