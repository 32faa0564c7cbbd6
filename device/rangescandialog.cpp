#include "rangescandialog.h"

#include "cvexaclient.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace {
// The library's bounds (docs/onvif.md): a /16 at the default takes five and a half minutes.
constexpr int kDefaultRate = 200;
constexpr int kMaxRate = 2000;
} // namespace

RangeScanDialog::RangeScanDialog(CVexaClient &client, QWidget *parent)
    : QDialog(parent), m_client(client), m_ranges(new QLineEdit(this)), m_rate(new QSpinBox(this)),
      m_progress(new QProgressBar(this)), m_status(new QLabel(this)), m_poll(new QTimer(this))
{
    setObjectName(QStringLiteral("RangeScanDialog"));
    setWindowTitle(tr("Scan Addresses"));
    auto *note = new QLabel(tr("Finds ONVIF devices in other subnets, behind routers. VXDP devices are "
                               "link-local by design: they are found on this link only."),
                            this);
    note->setWordWrap(true);
    m_ranges->setObjectName(QStringLiteral("lineEditRanges"));
    m_ranges->setPlaceholderText(QStringLiteral("10.1.0.0/16, 192.168.5.0/24"));
    m_ranges->setAccessibleName(tr("Address ranges"));
    m_rate->setObjectName(QStringLiteral("spinBoxRate"));
    m_rate->setRange(1, kMaxRate);
    m_rate->setValue(kDefaultRate);
    m_rate->setAccessibleName(tr("Probes per second"));
    m_progress->setObjectName(QStringLiteral("progressBarScan"));
    m_progress->setAccessibleName(tr("Scan progress"));
    m_progress->setRange(0, 1);
    m_progress->setValue(0);
    m_status->setObjectName(QStringLiteral("labelScanStatus"));
    m_status->setWordWrap(true);

    auto *form = new QFormLayout;
    form->addRow(tr("Address ranges:"), m_ranges);
    form->addRow(tr("Probes per second:"), m_rate);
    auto *buttons = new QDialogButtonBox(this);
    m_start = buttons->addButton(tr("Scan"), QDialogButtonBox::ActionRole);
    m_start->setObjectName(QStringLiteral("pushButtonScan"));
    m_cancel = buttons->addButton(tr("Cancel"), QDialogButtonBox::ActionRole);
    m_cancel->setObjectName(QStringLiteral("pushButtonCancelScan"));
    m_cancel->setAccessibleName(tr("Cancel the scan"));
    QPushButton *close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("pushButtonClose"));
    m_start->setDefault(true);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(note);
    layout->addLayout(form);
    layout->addWidget(m_progress);
    layout->addWidget(m_status);
    layout->addWidget(buttons);

    connect(m_start, &QPushButton::clicked, this, &RangeScanDialog::Start);
    connect(m_cancel, &QPushButton::clicked, this, [this] {
        m_cancelled = true;
        m_client.CancelScan();
    });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_poll, &QTimer::timeout, this, &RangeScanDialog::Poll);
    SetRunning(false);
}

void RangeScanDialog::Start()
{
    QString error;
    if (!m_client.ScanRange(m_ranges->text(), m_rate->value(), &error)) {
        m_status->setText(tr("Not scanned: %1").arg(error));
        m_ranges->setFocus();
        return;
    }
    m_cancelled = false;
    m_status->setText(tr("Scanning..."));
    SetRunning(true);
    m_poll->start(kPollMs);
    Poll();
}

void RangeScanDialog::Poll()
{
    const CVexaClient::ScanState state = m_client.ScanProgress();
    m_progress->setRange(0, int(qMax<quint32>(state.total, 1)));
    m_progress->setValue(int(state.probed));
    if (state.running)
        return;
    m_poll->stop();
    SetRunning(false);
    m_status->setText(m_cancelled ? tr("Cancelled after %1 of %2 addresses.").arg(state.probed).arg(state.total)
                                  : tr("Scanned %1 addresses; the devices found are listed.").arg(state.total));
}

void RangeScanDialog::SetRunning(bool running)
{
    m_start->setEnabled(!running);
    m_ranges->setEnabled(!running);
    m_rate->setEnabled(!running);
    m_cancel->setEnabled(running);
}

void RangeScanDialog::done(int result)
{
    if (m_poll->isActive()) {
        m_poll->stop();
        m_client.CancelScan();
    }
    QDialog::done(result);
}
