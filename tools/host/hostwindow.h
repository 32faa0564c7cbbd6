#pragma once

#include <zel_vexa_embed.h>

#include <vexa.h>

#include <QList>
#include <QMainWindow>

class QGridLayout;

/**
 * A host program's main window that embeds the main edition: a frame with a
 * grid layout for the tool, buttons to open it and switch its styling, and a
 * discovery of its own whose reports it forwards to the tool.
 */
class HostWindow final : public QMainWindow
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HostWindow)

public:
    explicit HostWindow(QWidget *parent = nullptr);
    ~HostWindow() override;

    /** Starts the host's discovery and asks the network; false when discovery cannot start. */
    bool StartDiscovery();
    /** Loads the tool if needed and opens it in the frame; false when it cannot be loaded or opened. */
    bool OpenTool();
    void ChangeToolSize(bool full);
    /** The frame's grid layout, where the tool's window lives once opened. */
    QGridLayout *ToolLayout() const { return m_pToolLayout; }

private:
    static void OnReport(const VEXA_DEVICE_REPORT *report, void *userData);
    bool LoadTool();
    void Forward(const VEXA_DEVICE_REPORT &report);

    QGridLayout *m_pToolLayout = nullptr;
    bool m_bDiscovering = false;
    bool m_bToolOpen = false;
    ZEL_VEXA_OpenDialogFn m_openDialog = nullptr;
    ZEL_VEXA_ChangeSizeFn m_changeSize = nullptr;
    ZEL_VEXA_CallBackFn m_callBack = nullptr;
    /** Reports that arrived before the tool was open, handed over when it opens. */
    QList<VEXA_DEVICE_REPORT> m_pending;
};
