#pragma once

#include "cbasedialog.h"

#include <memory>

class QSizeF;
namespace Ui {
class CWarnDlgClass;
}

/** The message dialog: a title and a centred rich-text message in a framed
 *  dialog that sizes itself to the text, either with only the close button
 *  (message) or with OK and Cancel (question). */
class VEXAWIDGETS_EXPORT CWarnDlg : public CBaseDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CWarnDlg)

public:
    explicit CWarnDlg(QWidget *parent = nullptr);
    ~CWarnDlg() override;

    /** Runs modally with only the close button; returns the exec() result. */
    int ShowMsg(const QString &title, const QString &text);
    /** Runs modally with OK and Cancel; 1 for OK, 0 for Cancel or close. */
    int ShowAsk(const QString &title, const QString &text);
    /** ShowMsg() on a temporary dialog; -1 without showing anything when
     *  @p parent is null. */
    static int MsgBox(const QString &title, const QString &text, QWidget *parent);
    /** ShowAsk() on a temporary dialog; -1 when @p parent is null. */
    static int AskBox(const QString &title, const QString &text, QWidget *parent);

    void FitWidthToText(const QString &text);
    void SetMsg(const QString &title, const QString &text);
    void AdjustBrowserWidth();

public slots:
    void TextNeededSize(const QSizeF &sizeText);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    int Run(const QString &title, const QString &text, bool bAsk);

    std::unique_ptr<Ui::CWarnDlgClass> m_ui;
    const int m_iMinWidth = 300;
    const int m_iHeight = 225;
    const int m_iMaxWidth = 400;
    const int m_iMargin = 12;
};
