#include "cmutiroledialog.h"

#include "cbasedialog.h"

CMutiroleDialog::CMutiroleDialog(QWidget *parent)
    : QFrame(parent)
{
}

CMutiroleDialog::~CMutiroleDialog()
{
    if (m_pBaseDialog) {
        // Leave the dialog first, or deleting it would delete this frame too.
        setParent(nullptr);
        delete m_pBaseDialog.data();
    }
}

CBaseDialog *CMutiroleDialog::WrapInDialog(QWidget *parent, const QString &title, const QSize &size)
{
    if (!m_pBaseDialog) {
        m_pBaseDialog = new CBaseDialog(nullptr, true, true, true);
        connect(m_pBaseDialog, &CBaseDialog::ClickedCloseBtnSig, this,
                &CMutiroleDialog::DialogCloseSlot);
        // When the dialog's parent deletes it, the dialog deletes this frame
        // with its content, and this frame must not delete the dialog again.
        // Children go in stacking order, so a lowered marker goes first and
        // tells the frame in time.
        auto *marker = new QWidget(m_pBaseDialog);
        marker->hide();
        marker->lower();
        connect(marker, &QObject::destroyed, this, [this] { m_pBaseDialog = nullptr; });
    }
    CBaseDialog *dialog = m_pBaseDialog;
    dialog->SetCloseBtnClose(false);
    dialog->resize(size);
    dialog->setParent(parent, Qt::Dialog | Qt::FramelessWindowHint);
    dialog->SetContentWidget(this);
    setStyleSheet(QStringLiteral("QFrame#CMutiroleDialog{background-color: transparent;}"));
    dialog->SetTitle(title);
    return dialog;
}

void CMutiroleDialog::ExecInDialog(QWidget *parent, const QString &title)
{
    if (parent)
        WrapInDialog(parent, title, size())->exec();
}

int CMutiroleDialog::ExecDialog(QWidget *parent, const QString &title)
{
    return WrapInDialog(parent, title, size())->exec();
}

void CMutiroleDialog::ShowInDialog(QWidget *parent, const QString &title, int width, int height)
{
    if (!parent)
        return;
    CBaseDialog *dialog = WrapInDialog(parent, title, QSize(width, height));
    dialog->ShowCloseBtn(true);
    dialog->SetBtnAreaVisible(false);
    dialog->show();
}

void CMutiroleDialog::MoveDlg(int x, int y)
{
    if (m_pBaseDialog)
        m_pBaseDialog->move(x, y);
    else
        move(x, y);
}

int CMutiroleDialog::DlgWidth() const
{
    return m_pBaseDialog ? m_pBaseDialog->width() : width();
}

int CMutiroleDialog::DlgHeight() const
{
    return m_pBaseDialog ? m_pBaseDialog->height() : height();
}

void CMutiroleDialog::DialogCloseSlot()
{
    if (m_pBaseDialog)
        m_pBaseDialog->close();
}

void CMutiroleDialog::keyPressEvent(QKeyEvent *event)
{
    if (m_pBaseDialog && !m_pBaseDialog->HandleDialogKey(event))
        QFrame::keyPressEvent(event);
}
