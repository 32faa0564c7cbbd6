#include "cwarninfodlg.h"

#include "cwarndlg.h"

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

namespace {

// Guarded so a parent closed in the meantime is not used.
QPointer<QWidget> &DialogParent()
{
    static QPointer<QWidget> parent;
    return parent;
}

} // namespace

CWarnInfoDlg::CWarnInfoDlg()
{
    // A first call from a worker thread must not leave the object, and with
    // it the dialogs, on a thread without an event loop.
    if (const QCoreApplication *app = QCoreApplication::instance())
        moveToThread(app->thread());
    connect(this, &CWarnInfoDlg::ShowMsgInfoSig, this, &CWarnInfoDlg::ShowMsgInfo);
}

CWarnInfoDlg *CWarnInfoDlg::Instance()
{
    static CWarnInfoDlg instance;
    return &instance;
}

void CWarnInfoDlg::Init(QWidget *parent)
{
    Instance();
    DialogParent() = parent;
}

void CWarnInfoDlg::PostMsgInfo(const QString &title, const QString &content)
{
    emit ShowMsgInfoSig(title, content);
}

void CWarnInfoDlg::ShowMsgInfo(QString strTitle, QString strContent)
{
    CWarnDlg dlg(DialogParent());
    dlg.ShowMsg(strTitle, strContent);
}
