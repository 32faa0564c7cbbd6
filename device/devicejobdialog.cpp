#include "devicejobdialog.h"

#include <cdatetimeedit.h>
#include <vexa.h>

#include <QButtonGroup>
#include <QClipboard>
#include <QDateTime>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

enum Column { SerialColumn, MacColumn, PasswordColumn, StatusColumn };
// How long a restarted device may take to return before it is reported as not returned.
constexpr int kRebootWaitS = 180;
constexpr int kMinNewPassword = 8;
constexpr int kMaxPassword = 64;

QString CauseText(int32_t cause)
{
    switch (cause) {
    case VEXA_CAUSE_BAD_ARGUMENT: return DeviceJobDialog::tr("invalid parameters");
    case VEXA_CAUSE_NOT_AUTHORIZED: return DeviceJobDialog::tr("wrong password");
    case VEXA_CAUSE_NOT_SUPPORTED: return DeviceJobDialog::tr("not offered by the device");
    case VEXA_CAUSE_NO_ANSWER: return DeviceJobDialog::tr("no answer");
    case VEXA_CAUSE_REFUSED: return DeviceJobDialog::tr("refused by the device");
    case VEXA_CAUSE_BUSY: return DeviceJobDialog::tr("locked after wrong passwords, try later");
    case VEXA_CAUSE_NOT_RETURNED: return DeviceJobDialog::tr("did not return within 3 minutes");
    case VEXA_CAUSE_CANCELLED: return DeviceJobDialog::tr("cancelled");
    default: return DeviceJobDialog::tr("failed");
    }
}

QLineEdit *PasswordEdit(const QString &accessibleName, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setEchoMode(QLineEdit::Password);
    edit->setMaxLength(kMaxPassword);
    edit->setAccessibleName(accessibleName);
    return edit;
}

// The servers typed, comma-separated, each trimmed; blanks are not servers.
QStringList ServersOf(const QString &text)
{
    QStringList servers;
    for (const QString &part : text.split(QLatin1Char(','))) {
        if (!part.trimmed().isEmpty())
            servers << part.trimmed();
    }
    return servers;
}

bool CopyText(char *field, size_t width, const QByteArray &text)
{
    if (size_t(text.size()) >= width)
        return false;
    std::memcpy(field, text.constData(), size_t(text.size()));
    field[text.size()] = '\0';
    return true;
}

} // namespace

DeviceJobDialog::DeviceJobDialog(Kind kind, QList<Device> devices, QWidget *parent)
    : CBaseDialog(parent)
    , m_kind(kind)
    , m_devices(std::move(devices))
{
    setObjectName(QStringLiteral("DeviceJobDialog"));
    SetTitle(kind == Kind::Time ? tr("Set Time") : kind == Kind::Password ? tr("Change Password") : tr("Reboot"));
    SetOkBtnText(tr("Start"));
    SetOkAccept(false);
    auto *content = new QWidget(this);
    auto *layout = new QVBoxLayout(content);
    auto *form = new QFormLayout;
    layout->addLayout(form);
    if (kind == Kind::Time) {
        auto *group = new QButtonGroup(content);
        m_pNow = new QRadioButton(tr("This computer's clock (UTC)"), content);
        m_pTyped = new QRadioButton(tr("Date and time (UTC):"), content);
        m_pNtp = new QRadioButton(tr("NTP servers:"), content);
        for (QRadioButton *button : {m_pNow, m_pTyped, m_pNtp})
            group->addButton(button);
        m_pNow->setChecked(true);
        m_pDateTime = new CDateTimeEdit(QDateTime::currentDateTimeUtc(), content);
        m_pDateTime->setTimeSpec(Qt::UTC);
        m_pDateTime->setAccessibleName(tr("Date and time (UTC)"));
        m_pNtpServers = new QLineEdit(content);
        m_pNtpServers->setPlaceholderText(tr("host[, host]"));
        m_pNtpServers->setAccessibleName(tr("NTP servers"));
        form->addRow(m_pNow);
        form->addRow(m_pTyped, m_pDateTime);
        form->addRow(m_pNtp, m_pNtpServers);
    }
    m_pPassword = PasswordEdit(tr("Current password"), content);
    form->addRow(tr("Current password:"), m_pPassword);
    if (kind == Kind::Password) {
        m_pNewPassword = PasswordEdit(tr("New password"), content);
        m_pConfirm = PasswordEdit(tr("Confirm new password"), content);
        form->addRow(tr("New password:"), m_pNewPassword);
        form->addRow(tr("Confirm:"), m_pConfirm);
        auto *rule = new QLabel(tr("8 to 64 characters; not the current password nor the one on the device's label."),
                                content);
        rule->setWordWrap(true);
        form->addRow(rule);
    }
    m_pTable = new QTableWidget(int(m_devices.size()), 4, content);
    m_pTable->setObjectName(QStringLiteral("tableJobDevices"));
    m_pTable->setAccessibleName(tr("Devices of the job"));
    m_pTable->setHorizontalHeaderLabels({tr("Serial Number"), tr("MAC Address"), tr("Password"), tr("Status")});
    m_pTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_pTable->horizontalHeader()->setStretchLastSection(true);
    m_pTable->verticalHeader()->hide();
    for (int row = 0; row < m_devices.size(); ++row) {
        m_pTable->setItem(row, SerialColumn, new QTableWidgetItem(m_devices[row].serial));
        m_pTable->setItem(row, MacColumn, new QTableWidgetItem(m_devices[row].mac));
        m_pTable->setItem(row, PasswordColumn, new QTableWidgetItem(tr("batch")));
        m_pTable->setItem(row, StatusColumn, new QTableWidgetItem);
        m_states.append(State::Waiting);
        m_ownPasswords.append(QByteArray());
        SetStatus(row, State::Waiting, tr("waiting"));
    }
    layout->addWidget(m_pTable);
    auto *own = new QHBoxLayout;
    m_pOwnPassword = PasswordEdit(tr("Own password of the selected devices"), content);
    m_pUseOwn = new QPushButton(tr("Use for Selected"), content);
    m_pUseOwn->setObjectName(QStringLiteral("btnUseOwnPassword"));
    m_pUseOwn->setAccessibleName(tr("Use the own password for the selected devices"));
    own->addWidget(new QLabel(tr("Where a device's password differs:"), content));
    own->addWidget(m_pOwnPassword, 1);
    own->addWidget(m_pUseOwn);
    layout->addLayout(own);
    m_pProgress = new QProgressBar(content);
    m_pProgress->setAccessibleName(tr("Progress of the job"));
    m_pProgress->setRange(0, int(m_devices.size()));
    m_pProgress->setValue(0);
    layout->addWidget(m_pProgress);
    auto *buttons = new QHBoxLayout;
    m_pRetry = new QPushButton(tr("Retry failed"), content);
    m_pRetry->setObjectName(QStringLiteral("btnRetryFailed"));
    m_pRetry->setAccessibleName(tr("Retry failed"));
    m_pCopy = new QPushButton(tr("Copy results"), content);
    m_pCopy->setObjectName(QStringLiteral("btnCopyResults"));
    m_pCopy->setAccessibleName(tr("Copy results"));
    buttons->addWidget(m_pRetry);
    buttons->addWidget(m_pCopy);
    buttons->addStretch();
    layout->addLayout(buttons);
    SetContentWidget(content);
    resize(620, 480);

    connect(this, &CBaseDialog::ClickedOKBtnSig, this, [this] {
        QList<int> rows;
        for (int row = 0; row < m_devices.size(); ++row)
            rows.append(row);
        Start(rows);
    });
    connect(m_pRetry, &QPushButton::clicked, this, [this] { RetryFailed(); });
    connect(m_pUseOwn, &QPushButton::clicked, this, [this] { UseOwnPassword(); });
    connect(m_pCopy, &QPushButton::clicked, this, [this] { QGuiApplication::clipboard()->setText(ResultText()); });
    UpdateButtons();
}

DeviceJobDialog::~DeviceJobDialog()
{
    // The dialog closes only when the job is over; this is for a parent's destruction.
    m_cancel = true;
    if (m_job)
        m_job->join();
    for (QByteArray &password : m_ownPasswords)
        password.fill('\0');
}

QString DeviceJobDialog::ResultText() const
{
    QString text;
    for (int row = 0; row < m_devices.size(); ++row)
        text += m_devices[row].serial + QLatin1Char('\t') + m_devices[row].mac + QLatin1Char('\t')
                + m_pTable->item(row, StatusColumn)->text() + QLatin1Char('\n');
    return text;
}

void DeviceJobDialog::reject()
{
    // While devices are worked on, Cancel stops only those not started yet.
    if (m_job) {
        m_cancel = true;
        return;
    }
    CBaseDialog::reject();
}

QString DeviceJobDialog::Problem(const QList<int> &rows) const
{
    const QByteArray batch = m_pPassword->text().toUtf8();
    const auto passwordOf = [&](int row) { return m_ownPasswords[row].isEmpty() ? batch : m_ownPasswords[row]; };
    if (std::any_of(rows.cbegin(), rows.cend(), [&](int row) { return passwordOf(row).isEmpty(); }))
        return tr("Enter the current password.");
    if (m_kind == Kind::Password) {
        const QString next = m_pNewPassword->text();
        if (next != m_pConfirm->text())
            return tr("The new passwords differ.");
        if (next.size() < kMinNewPassword || next.toUtf8().size() > kMaxPassword
            || std::any_of(rows.cbegin(), rows.cend(), [&](int row) { return passwordOf(row) == next.toUtf8(); }))
            return tr("The new password must have 8 to 64 characters and differ from the current one.");
    }
    if (m_kind == Kind::Time && m_pNtp->isChecked()) {
        const QStringList servers = ServersOf(m_pNtpServers->text());
        if (servers.isEmpty() || servers.size() > 2)
            return tr("Enter one or two NTP servers.");
    }
    return {};
}

void DeviceJobDialog::Start(const QList<int> &rows)
{
    if (m_job || rows.isEmpty())
        return;
    if (const QString problem = Problem(rows); !problem.isEmpty()) {
        for (const int row : rows)
            SetStatus(row, State::Failed, problem);
        return;
    }
    VEXA_JOB job{};
    job.kind = m_kind == Kind::Password ? VEXA_JOB_SET_PASSWORD : m_kind == Kind::Reboot ? VEXA_JOB_REBOOT
                                                                                          : VEXA_JOB_SET_TIME;
    job.waitS = kRebootWaitS;
    QByteArray newPassword;
    if (m_kind == Kind::Password) {
        newPassword = m_pNewPassword->text().toUtf8();
        CopyText(job.newPassword, sizeof job.newPassword, newPassword);
    } else if (m_kind == Kind::Time && m_pTyped->isChecked()) {
        job.utcMs = m_pDateTime->dateTime().toMSecsSinceEpoch();
    } else if (m_kind == Kind::Time && m_pNtp->isChecked()) {
        job.kind = VEXA_JOB_SET_NTP;
        const QStringList servers = ServersOf(m_pNtpServers->text());
        for (int i = 0; i < servers.size(); ++i)
            CopyText(job.ntpServers[i], sizeof job.ntpServers[i], servers[i].toLatin1());
    } // else this computer's clock: utcMs 0, read as each device's request is built
    // One run of the library per password; each holds a copy of its own, wiped once run.
    struct Group {
        QByteArray password;
        std::vector<QByteArray> macs;
        int offset = 0;
    };
    std::vector<Group> groups;
    std::vector<QList<int>> rowsOf;
    QByteArray batch = m_pPassword->text().toUtf8();
    for (const int row : rows) {
        const QByteArray &password = m_ownPasswords[row].isEmpty() ? batch : m_ownPasswords[row];
        auto group = std::find_if(groups.begin(), groups.end(), [&](const Group &g) { return g.password == password; });
        if (group == groups.end()) {
            group = groups.insert(groups.end(), Group{QByteArray(password.constData(), password.size()), {}, 0});
            rowsOf.emplace_back();
        }
        group->macs.push_back(m_devices[row].mac.toLatin1());
        rowsOf[size_t(group - groups.begin())].append(row);
    }
    m_running.clear();
    for (size_t i = 0; i < groups.size(); ++i) {
        groups[i].offset = int(m_running.size());
        m_running += rowsOf[i];
    }
    for (const int row : rows)
        SetStatus(row, State::Waiting, tr("waiting"));
    m_finished = 0;
    m_cancel = false;
    m_pProgress->setRange(0, int(rows.size()));
    m_pProgress->setValue(0);
    m_job = std::make_unique<std::thread>([this, job, groups = std::move(groups)]() mutable {
        struct Run {
            DeviceJobDialog *dialog;
            int offset, end;
        };
        for (Group &group : groups) {
            Run run{this, group.offset, group.offset + int(group.macs.size())};
            std::vector<VEXA_JOB_STATUS> statuses(group.macs.size());
            if (m_cancel) {
                // A later group is not begun at all.
                for (int i = 0; i < int(statuses.size()); ++i) {
                    statuses[size_t(i)].cause = VEXA_CAUSE_CANCELLED;
                    QMetaObject::invokeMethod(this, [run, i, status = statuses[size_t(i)]] {
                        run.dialog->Finished(run.offset + i, run.end, status);
                    }, Qt::QueuedConnection);
                }
                group.password.fill('\0');
                continue;
            }
            QMetaObject::invokeMethod(this, [run] { run.dialog->MarkWorking(run.offset, run.end); },
                                      Qt::QueuedConnection);
            std::vector<const char *> texts;
            for (const QByteArray &mac : group.macs)
                texts.push_back(mac.constData());
            const auto callback = [](int32_t index, const VEXA_JOB_STATUS *status, void *user) {
                const Run run = *static_cast<Run *>(user);
                const VEXA_JOB_STATUS copy = *status;
                QMetaObject::invokeMethod(run.dialog, [run, index, copy] {
                    run.dialog->Finished(run.offset + index, run.end, copy);
                }, Qt::QueuedConnection);
                return run.dialog->m_cancel ? 0 : 1;
            };
            VEXA_RunJobs(texts.data(), int32_t(texts.size()), group.password.constData(), &job, statuses.data(),
                         callback, &run);
            group.password.fill('\0');
        }
        std::memset(job.newPassword, 0, sizeof job.newPassword);
        QMetaObject::invokeMethod(this, [this] {
            m_job->join();
            m_job.reset();
            UpdateButtons();
        }, Qt::QueuedConnection);
    });
    newPassword.fill('\0');
    batch.fill('\0');
    UpdateButtons();
}

void DeviceJobDialog::MarkWorking(int from, int end)
{
    for (int i = from; i < std::min(end, from + VEXA_JOB_PARALLEL); ++i) {
        if (m_states[m_running[i]] == State::Waiting)
            SetStatus(m_running[i], State::Working, tr("working"));
    }
}

void DeviceJobDialog::Finished(int index, int end, const VEXA_JOB_STATUS &status)
{
    if (index < 0 || index >= m_running.size())
        return;
    const int row = m_running[index];
    // To a tenth of a second, and never "-0.0".
    const double offsetS = std::abs(status.offsetMs) < 50 ? 0.0 : double(status.offsetMs) / 1000;
    QString text = tr("done");
    if (status.done != 1)
        text = tr("failed: %1").arg(CauseText(status.cause));
    else if (m_kind == Kind::Reboot && status.rebootMs >= 0)
        text = tr("done, back after %1 s").arg(double(status.rebootMs) / 1000, 0, 'f', 1);
    else if (m_kind == Kind::Time && status.hasOffset)
        text = tr("done, clock offset %1 s").arg(offsetS, 0, 'f', 1);
    SetStatus(row, status.done == 1 ? State::Done : State::Failed, text);
    m_pProgress->setValue(++m_finished);
    // The library takes a group's devices in order: the next one waiting starts now.
    const int next = index + VEXA_JOB_PARALLEL;
    if (!m_cancel && next < end && m_states[m_running[next]] == State::Waiting)
        SetStatus(m_running[next], State::Working, tr("working"));
}

void DeviceJobDialog::SetStatus(int row, State state, const QString &text)
{
    m_states[row] = state;
    m_pTable->item(row, StatusColumn)->setText(text);
}

void DeviceJobDialog::RetryFailed()
{
    QList<int> rows;
    for (int row = 0; row < m_states.size(); ++row) {
        if (m_states[row] == State::Failed)
            rows.append(row);
    }
    Start(rows);
}

void DeviceJobDialog::UseOwnPassword()
{
    const QByteArray password = m_pOwnPassword->text().toUtf8();
    for (const QModelIndex &index : m_pTable->selectionModel()->selectedRows()) {
        m_ownPasswords[index.row()].fill('\0');
        m_ownPasswords[index.row()] = password;
        m_pTable->item(index.row(), PasswordColumn)->setText(password.isEmpty() ? tr("batch") : tr("own"));
    }
    m_pOwnPassword->clear();
}

void DeviceJobDialog::UpdateButtons()
{
    const bool idle = !m_job;
    SetOkBtnEnable(idle);
    m_pUseOwn->setEnabled(idle);
    m_pRetry->setEnabled(idle && m_states.contains(State::Failed));
    m_pCopy->setEnabled(idle);
}
