#pragma once

#include "vexadevice_export.h"

#include <cbasedialog.h>

#include <QList>
#include <QString>

#include <atomic>
#include <memory>
#include <thread>

class CDateTimeEdit;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTableWidget;
struct VEXA_JOB_STATUS;

/**
 * One commissioning job for the devices chosen on the page: set the time,
 * change the administrator password, or restart. The devices are copied in
 * when the dialog is made, so the page's lock is never held across the
 * network. The job runs on a thread of the dialog's own, through
 * VEXA_RunJobs (at most VEXA_JOB_PARALLEL devices at a time); each device's
 * status comes back to the user-interface thread as it is finished with.
 * Cancel stops the devices not started yet; the dialog closes only once no
 * device is being worked on. The current password is typed once for the
 * batch; devices that differ are given their own, and the job then runs
 * once per password.
 */
class VEXADEVICE_EXPORT DeviceJobDialog final : public CBaseDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DeviceJobDialog)

public:
    enum class Kind { Time, Password, Reboot };
    struct Device {
        QString serial;
        QString mac;
    };

    DeviceJobDialog(Kind kind, QList<Device> devices, QWidget *parent = nullptr);
    ~DeviceJobDialog() override;

    /** The results as text, one line per device (what "Copy results" puts on the clipboard). */
    QString ResultText() const;

protected:
    void reject() override;

private:
    enum class State { Waiting, Working, Done, Failed };
    void Start(const QList<int> &rows);
    void MarkWorking(int from, int end);
    void Finished(int index, int end, const VEXA_JOB_STATUS &status);
    void SetStatus(int row, State state, const QString &text);
    void RetryFailed();
    /** Gives the selected rows the password typed for them, or the batch's again when it is empty. */
    void UseOwnPassword();
    /** The job's parameters for these rows from the form; an empty text when they are valid, else why not. */
    QString Problem(const QList<int> &rows) const;
    void UpdateButtons();

    Kind m_kind;
    QList<Device> m_devices;
    QList<State> m_states;
    QList<QByteArray> m_ownPasswords; // per row; empty: the batch's password (wiped with the dialog)
    QTableWidget *m_pTable = nullptr;
    QProgressBar *m_pProgress = nullptr;
    QLineEdit *m_pPassword = nullptr;
    QLineEdit *m_pNewPassword = nullptr;
    QLineEdit *m_pConfirm = nullptr;
    QRadioButton *m_pNow = nullptr;
    QRadioButton *m_pTyped = nullptr;
    QRadioButton *m_pNtp = nullptr;
    CDateTimeEdit *m_pDateTime = nullptr;
    QLineEdit *m_pNtpServers = nullptr;
    QLineEdit *m_pOwnPassword = nullptr;
    QPushButton *m_pUseOwn = nullptr;
    QPushButton *m_pRetry = nullptr;
    QPushButton *m_pCopy = nullptr;
    // Read by the job thread's callback: set, the devices not started yet are cancelled.
    std::atomic<bool> m_cancel{false};
    std::unique_ptr<std::thread> m_job;
    QList<int> m_running; // rows of the batch being run, grouped by password, in the job's order
    int m_finished = 0;
};
