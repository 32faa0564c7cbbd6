#pragma once

#include "cvexaclient.h"
#include "devicerecordlist.h"
#include "vexadevice_export.h"
#include "vexadeviceinfo.h"

#include <tum.h>

#include <QByteArray>
#include <QModelIndex>
#include <QPersistentModelIndex>
#include <QString>
#include <QWidget>

#include <array>
#include <memory>
#include <mutex>
#include <optional>

struct VEXA_DEVICE_REPORT;
class DeviceRowFilter;
class QAction;
class QMenu;
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

    /**
     * The address a batch gives the device at `position` (from 0) of the
     * selection: the start address with its last octet raised by the
     * position, in plain dotted decimal. Nothing when the start is not four
     * decimal octets or the last octet would pass 255.
     */
    static std::optional<QString> NextBatchAddress(const QString &start, int position);

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
    /** Removes the device's rows and every record they showed, and lowers the count. */
    void RemoveDevice(const QString &serial, const QString &mac);

    bool IsDeviceFiltered(unsigned int code) const;
    /**
     * The report callback's one way into the page: hands an online record
     * over, holding only the hand-over lock, which no slot keeps for longer
     * than a swap.
     */
    void AppendDeviceRecord(const VEXA_DEVICE_INFO_MY &record);
    /** Moves the handed-over records into m_listDevice; called with m_hDeviceMutex held. */
    void AdoptHandedRecords();

    void AttachFieldLimits();
    void InitTable();
    void ConnectSignals();
    void StartDiscovery();
    /** Tells the model the subnets of the interfaces discovery runs on, for its reachability hints. */
    void ShowLocalSubnets();

    void ShowDeviceParam(int row);
    void EnableParamPanel(bool enable);
    void EnableParamEdits();
    void DisableParamEdits();
    void SetBatchMode(bool batch);
    void PrepareBatchPanel(const QModelIndexList &rows);
    void ShowDeviceCount();
    /** The selected rows the quick filter shows: selection, batch and Modify act on these alone. */
    QModelIndexList SelectedRows() const;

    /** The table's context menu: copy, export all, export selected. */
    void AttachListActions();
    QStringList HeaderTexts() const;
    /** Every row, or the shown selected ones, ascending. */
    QList<int> ListedRows(bool selectedOnly) const;
    QList<QStringList> RowTexts(const QList<int> &rows) const;
    /** Selected rows to the clipboard, tab-separated with the header line. */
    void CopySelectedRows();
    /** Asks for a file and writes the rows there as CSV or JSON, by the name's suffix or the chosen type. */
    void ExportRows(bool selectedOnly);
    /** The record of the device a table row shows, matched on its serial and MAC cells, or null. */
    VEXA_DEVICE_INFO_MY *RecordOfRow(int row);

    /** What a Modify sends, checked and in the form the devices take it. */
    struct NetParams;
    /** Checks the panel's fields in order for the selected `rows`; at the first fault shows its tip and gives nothing. */
    std::optional<NetParams> ValidatedNetParams(const QModelIndexList &rows);
    /**
     * The refusal text when an address the batch from `start` gives `rows`
     * belongs to another listed device (devices on DHCP own none). A device
     * that keeps its address is never refused.
     */
    std::optional<QString> AddressOwnerOutside(const QString &start, const QModelIndexList &rows);
    /**
     * Sends the parameters to the device of `row` and, when it accepts them,
     * updates its row and record. When an ONVIF device refuses, `cause` (if
     * given) gets why, as the result's detail.
     */
    bool ModifyDevice(int row, const QString &address, const NetParams &params, QString *cause = nullptr);
    /** The text of a VEXA_CAUSE_*; empty where the library knows no cause. */
    static QString ModifyCauseText(int cause);
    /** Shows `message` as a tip just below a field of the parameter panel. */
    void ShowFieldTip(const QWidget *field, const QString &message);

    std::unique_ptr<Ui::QtVexaClass> m_ui;
    CVexaClient m_vexaClient;
    DeviceRecordList m_listDevice;
    TUM_MUTEX m_hDeviceMutex = nullptr;
    /** Records handed over by the callback, in report order, not yet in m_listDevice. */
    DeviceRecordList::Entries m_handedRecords;
    std::mutex m_handOverMutex;
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
    /** Owned by the table view. */
    QAction *m_pCopyAction = nullptr;
    QAction *m_pExportAllAction = nullptr;
    QAction *m_pExportSelectedAction = nullptr;
    /** The table's context menu, made once; owned by the page. */
    QMenu *m_pListMenu = nullptr;
};
