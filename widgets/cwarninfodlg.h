#pragma once

#include "vexawidgets_export.h"

#include <QObject>
#include <QString>

class QWidget;

/** Lets any thread have a message dialog shown on the user-interface thread. */
class VEXAWIDGETS_EXPORT CWarnInfoDlg : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CWarnInfoDlg)

public:
    /** The one instance; it always lives in the application's thread. */
    static CWarnInfoDlg *Instance();
    /** Sets the parent of the dialogs shown from now on. User-interface thread only. */
    static void Init(QWidget *parent);

    /** Safe from any thread: the dialog opens on the user-interface thread. */
    void PostMsgInfo(const QString &title, const QString &content);

signals:
    void ShowMsgInfoSig(QString strTitle, QString strContent);

protected slots:
    void ShowMsgInfo(QString strTitle, QString strContent);

private:
    CWarnInfoDlg();
};
