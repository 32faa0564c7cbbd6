#pragma once

// "Scan Addresses…": the user names IPv4 ranges beyond the tool's link and a
// rate; the library probes them for ONVIF devices behind routers, which join
// the page's table through the usual reports while the dialog shows progress.

#include "vexadevice_export.h"

#include <QDialog>

class CVexaClient;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTimer;

class VEXADEVICE_EXPORT RangeScanDialog final : public QDialog
{
    Q_OBJECT
public:
    RangeScanDialog(CVexaClient &client, QWidget *parent = nullptr);

    /** How often the progress is read while a scan runs. */
    static constexpr int kPollMs = 100;

protected:
    void done(int result) override; // a scan still running is cancelled

private:
    void Start();
    void Poll();
    void SetRunning(bool running);

    CVexaClient &m_client;
    QLineEdit *m_ranges;
    QSpinBox *m_rate;
    QProgressBar *m_progress;
    QLabel *m_status;
    QPushButton *m_start;
    QPushButton *m_cancel;
    QTimer *m_poll;
    bool m_cancelled = false;
};
