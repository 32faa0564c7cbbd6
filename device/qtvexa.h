#pragma once

#include "cvexaclient.h"
#include "devicehandover.h"
#include "devicerecordlist.h"
#include "vexadevice_export.h"
#include "vexadeviceinfo.h"

#include <tum/tum.h>

#include <QByteArray>
#include <QModelIndex>
#include <QPersistentModelIndex>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <optional>

struct NetParams;
struct VEXA_DEVICE_REPORT;
class DeviceId;
class DeviceListActions;
class DeviceParamPanel;
class DeviceRowFilter;
class InterfaceChoice;
class QtVexaItemModel;
namespace Ui {
class QtVexaClass;
}

/**
 * The device list page: starts discovery, keeps the device table live as
 * devices come online, change and go offline, and shows the selected
 * device's network parameters in the panel beside the table.
 *
 * Device events reach it as queued signals from the discovery library's
 * thread. `m_hDeviceMutex` guards the device records and the table; the
 * device and selection slots hold it for their whole body. The library's
 * thread never takes it: a slot may hold it across a modal dialog, and a
 * receive thread waiting for the dialog would drop reports (or deadlock a
 * page destroyed meanwhile, whose destructor joins that thread).
 */
class VEXADEVICE_EXPORT QtVexa final : public QWidget
{
    Q_OBJECT
    friend void VexaReportCallback(const VEXA_DEVICE_REPORT *report, void *userData);

public:
    /** `filterMode` selects the device classes shown; the three integers come from a host and are only kept. */
    explicit QtVexa(QWidget *parent = nullptr, int filterMode = 0, int i1 = 0, int i2 = 0, int i3 = 0);
    ~QtVexa() override;
    Q_DISABLE_COPY_MOVE(QtVexa)

    /** The three integers a host program passed, unchanged. */
    std::array<int, 3> HostValues() const { return m_hostValues; }

    // The older edition's page carries its own record, knows a device by its
    // serial number alone, has one fold button and does not react to edits.
signals:
#ifdef VEXA_OLDER_EDITION
    void DeviceOnlineSignal(VEXA_DEVICE_INFO dev_info);
    void DeviceOfflineSignal(QString strDeviceID);
    void DeviceUpdateSignal(VEXA_DEVICE_INFO dev_info);
#else
    void DeviceOnlineSignal(VEXA_DEVICE_INFO_MY dev_info);
    void DeviceOfflineSignal(QString strDeviceSer, QString strDeviceMac);
    void DeviceUpdateSignal(VEXA_DEVICE_INFO_MY dev_info);
#endif

private slots:
    void OnDeviceTableClicked(QModelIndex index);
    void OnModifyNetPara();
    void OnDefaultPassword();
    void OnManualUpdate();
    void OnItemChanged(QModelIndex current, QModelIndex previous);
#ifdef VEXA_OLDER_EDITION
    void OnDeviceOnline(VEXA_DEVICE_INFO dev_info);
    void OnDeviceOffline(QString strDeviceID);
    void OnDeviceUpdate(VEXA_DEVICE_INFO dev_info);
#else
    void OnDeviceOnline(VEXA_DEVICE_INFO_MY dev_info);
    void OnDeviceOffline(QString strDeviceSer, QString strDeviceMac);
    void OnDeviceUpdate(VEXA_DEVICE_INFO_MY dev_info);
#endif
    void SortTable(int iIndex);
    void OnHeaderCountChanged(int logicalIndex, int oldVisualIndex, int newVisualIndex);
    void OnHeaderPress(int logicalIndex);
#ifdef VEXA_OLDER_EDITION
    void on_m_pBtnShrink_clicked();
#endif
    void OnClickAction(QModelIndex index);
#ifndef VEXA_OLDER_EDITION
    void ResetData(QModelIndex mindexPre, QModelIndex mindexNow);
    void OnClickExpandBtn();
    void OnClickShrinkBtn();
#endif

private:
    /** The parameter panel's fold buttons and the table's editing, which differ between the editions. */
    void InitEditionPanel();
    /** Removes the device's rows and their records, and lowers the count. */
    void RemoveDevice(const DeviceId &device);

    bool IsDeviceFiltered(unsigned int code) const;

    void InitTable();
    void ConnectSignals();
    void StartDiscovery();
    /** Tells the model the subnets of the interfaces discovery runs on, for its reachability hints;
     *  again whenever the system's interfaces change while the page runs. */
    void ShowLocalSubnets();
    /** The interface button beside Refresh and its menu, and "Scan Addresses…" after it. */
    void InitInterfaceChoice();
    /** Hands the user's interface choice to the library (VEXA_INTERFACES still decides when set). */
    void ApplyInterfaceChoice();

    /** The row's device in the parameter panel, in its single-device form. */
    void ShowDeviceParam(int row);
    void ShowDeviceCount();
    /** The selected rows the quick filter shows: selection, batch and Modify act on these alone. */
    QModelIndexList SelectedRows() const;
    /** Whether the library speaks ONVIF to the device of the record. */
    bool IsOnvif(const VEXA_DEVICE_INFO_MY &record) const;

    /** Checks the panel's fields in order for the selected `rows`; at the first fault shows its tip and gives nothing. */
    std::optional<NetParams> ValidatedNetParams(const QModelIndexList &rows);
    /**
     * The refusal text when an address the batch from `start` gives `rows`
     * belongs to another listed device (devices on DHCP own none). A device
     * that keeps its address is never refused.
     */
    std::optional<QString> AddressOwnerOutside(const QString &start, const QModelIndexList &rows) const;
    /**
     * Sends the parameters to the device of `row` and, when it accepts them,
     * updates its row and record. When an ONVIF device refuses, `cause` (if
     * given) gets why, as the result's detail.
     */
    bool ModifyDevice(int row, const QString &address, const NetParams &params, QString *cause = nullptr);
    /** The text of a VEXA_CAUSE_*; empty where the library knows no cause. */
    static QString ModifyCauseText(int cause);

    std::unique_ptr<Ui::QtVexaClass> m_ui;
    CVexaClient m_vexaClient;
    /** The records the table shows; its model keeps it. */
    DeviceRecordList m_listDevice;
    TUM_MUTEX m_hDeviceMutex = nullptr;
    /** Reports from the library's thread on their way to the slots; its own lock, never m_hDeviceMutex. */
    DeviceHandOver m_handOver;
    int m_nDeviceCount = 0;
    int m_nDeviceFilter = 0;
    std::array<int, 3> m_hostValues{};
    QByteArray m_headerState;
    QString m_strEditBackup;
    /** The "Serial Number" cell whose text m_strEditBackup holds. */
    QPersistentModelIndex m_editBackupIndex;
    QtVexaItemModel *m_pModel = nullptr;
#ifdef VEXA_OLDER_EDITION
    /** Folds the parameter panel away or brings it back. */
    void ShowFolded(bool folded);
    bool m_bFolded = false;
#endif
    /** Owned by the table view. */
    DeviceRowFilter *m_pRowFilter = nullptr;
    std::unique_ptr<DeviceParamPanel> m_panel;
    /** The interfaces the user chose, from their own settings file; applied on Refresh. */
    std::unique_ptr<InterfaceChoice> m_interfaceChoice;
    std::unique_ptr<DeviceListActions> m_listActions;
};
