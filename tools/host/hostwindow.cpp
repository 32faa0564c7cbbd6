#include "hostwindow.h"

#include <tum/tum.h>

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

HostWindow::HostWindow(QWidget *parent)
    : QMainWindow(parent)
{
    setWindowTitle(tr("Site tool"));
    auto *central = new QWidget(this);
    auto *column = new QVBoxLayout(central);

    auto *buttons = new QHBoxLayout;
    auto *open = new QPushButton(tr("Open"), central);
    auto *full = new QPushButton(tr("Full size"), central);
    auto *compact = new QPushButton(tr("Compact"), central);
    buttons->addWidget(open);
    buttons->addWidget(full);
    buttons->addWidget(compact);
    buttons->addStretch();
    column->addLayout(buttons);

    // The tool's window has a fixed size of 1024 x 768.
    auto *frame = new QFrame(central);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setMinimumSize(1024, 768);
    m_pToolLayout = new QGridLayout(frame);
    m_pToolLayout->setContentsMargins(0, 0, 0, 0);
    column->addWidget(frame, 1);
    setCentralWidget(central);

    connect(open, &QPushButton::clicked, this, [this] {
        if (!OpenTool())
            QMessageBox::warning(this, windowTitle(), tr("The device tool cannot be opened."));
    });
    connect(full, &QPushButton::clicked, this, [this] { ChangeToolSize(true); });
    connect(compact, &QPushButton::clicked, this, [this] { ChangeToolSize(false); });
}

HostWindow::~HostWindow()
{
    // Before the frame and the tool's page go: no report may be on its way to them.
    if (m_bDiscovering)
        VEXA_Stop();
}

bool HostWindow::StartDiscovery()
{
    // One discovery per process: started here, before the tool opens, the
    // tool's page finds it running and leaves the devices to us.
    m_bDiscovering = VEXA_Start_V30(&HostWindow::OnReport, 0, this) == 1;
    if (m_bDiscovering)
        VEXA_SendInquiry();
    return m_bDiscovering;
}

// On the discovery library's thread: the report is only valid during the
// call, so a copy travels to the user-interface thread.
void HostWindow::OnReport(const VEXA_DEVICE_REPORT *report, void *userData)
{
    auto *window = static_cast<HostWindow *>(userData);
    if (!report)
        return;
    QMetaObject::invokeMethod(window, [window, copy = *report] { window->Forward(copy); }, Qt::QueuedConnection);
}

void HostWindow::Forward(const VEXA_DEVICE_REPORT &report)
{
    if (m_bToolOpen)
        m_callBack(&report);
    else
        m_pending.append(report);
}

bool HostWindow::LoadTool()
{
    if (m_openDialog)
        return true;
    // Never unloaded: the tool's window lives in this window's widget tree.
    void *tool = TUM_LoadDSo("KRO-VEXA.dll");
    if (!tool)
        return false;
    auto open = reinterpret_cast<ZEL_VEXA_OpenDialogFn>(ZEL_VEXA_FindEntry(TUM_GetSymbol, tool, ZEL_VEXA_OPENDIALOG_NAME));
    auto size = reinterpret_cast<ZEL_VEXA_ChangeSizeFn>(ZEL_VEXA_FindEntry(TUM_GetSymbol, tool, ZEL_VEXA_CHANGESIZE_NAME));
    auto callBack = reinterpret_cast<ZEL_VEXA_CallBackFn>(ZEL_VEXA_FindEntry(TUM_GetSymbol, tool, ZEL_VEXA_CALLBACK_NAME));
    if (!open || !size || !callBack)
        return false;
    m_openDialog = open;
    m_changeSize = size;
    m_callBack = callBack;
    return true;
}

bool HostWindow::OpenTool()
{
    if (!LoadTool() || !m_openDialog(m_pToolLayout->parentWidget(), m_pToolLayout, true, 0, 0, 0))
        return false;
    m_bToolOpen = true;
    for (const VEXA_DEVICE_REPORT &report : std::as_const(m_pending))
        m_callBack(&report);
    m_pending.clear();
    return true;
}

void HostWindow::ChangeToolSize(bool full)
{
    if (m_bToolOpen)
        m_changeSize(full);
}
