// The older edition's parts of the device page: one fold button for the
// parameter panel, its own texts for the restore area, a device known by its
// serial number alone, and a panel that always shows the current device.

#include "qtvexa.h"

#include "deviceid.h"
#include "devicelock.h"
#include "deviceparampanel.h"
#include "ui_qtvexa.h"

#include <QIcon>
#include <QItemSelectionModel>

void QtVexa::InitEditionPanel()
{
    Ui::QtVexaClass &ui = *m_ui;
    // Nothing undoes a cell edit here, and an edited serial number would part
    // a row from its record: no cell opens an editor.
    ui.tableWidgetDevice->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ui.m_pBtnExpand->hide();
    ui.m_pDefaultPwdLEdit->setPlaceholderText(tr("Serial code"));
    ui.m_pDefaultPwdLEdit->setAccessibleName(tr("Serial code"));
    ui.label_6->setText(tr("Tips:Serial Number is produced by device serial and start time."));
    ShowFolded(false);
}

void QtVexa::ShowFolded(bool folded)
{
    m_bFolded = folded;
    Ui::QtVexaClass &ui = *m_ui;
    ui.m_pSetFrame->setVisible(!folded);
    // Icon and tip name what the next click does.
    ui.m_pBtnShrink->setIcon(QIcon(folded ? QStringLiteral(":/images/ButtonIcon/unfold.png")
                                          : QStringLiteral(":/images/ButtonIcon/fold.png")));
    ui.m_pBtnShrink->setToolTip(folded ? tr("Show") : tr("Hide"));
    ui.m_pBtnShrink->setAccessibleName(ui.m_pBtnShrink->toolTip());
    ui.m_pBtnShrink->show();
}

void QtVexa::on_m_pBtnShrink_clicked()
{
    ShowFolded(!m_bFolded);
}

void QtVexa::OnDeviceTableClicked(QModelIndex)
{
    DeviceLock lock(&m_hDeviceMutex);
    const CTableView *view = m_ui->tableWidgetDevice;
    const QModelIndex current = view->currentIndex();
    // One device at a time: with several rows selected the panel shows the current one.
    if (view->selectionModel()->selectedRows().isEmpty() || !current.isValid()) {
        m_panel->Enable(false);
        return;
    }
    m_panel->Enable(true);
    ShowDeviceParam(current.row());
}

void QtVexa::OnDeviceOffline(QString strDeviceID)
{
    // Every row and every record of the serial number leave together.
    DeviceLock lock(&m_hDeviceMutex);
    const std::optional<DeviceId> reported = m_handOver.TakeOffline(strDeviceID, QString());
    RemoveDevice(reported ? *reported : DeviceId::FromTexts(strDeviceID, QString()));
}
