// Device-event storm against the device page, with a minimal table as the
// yardstick. N reports per phase (online, update, offline) are fed through
// the report callback from a second thread, as the discovery library does;
// a phase ends when the page has handled its last event.
//
// Then N devices arriving all on one address (a site of unconfigured
// devices), whose conflict marks all concern one another, and keystrokes in
// the quick filter of that page.
//
//   vexa-bench-page [N [RUNS]]   (defaults 10000 and 5; every figure is a median over the runs)

#include "qtvexa.h"
#include "vexareportcallback.h"

#include <vexa.h>

#include <QAbstractItemView>
#include <QAbstractTableModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QTableView>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <numeric>
#include <random>
#include <thread>
#include <vector>

namespace {

// The reference: a table model over a vector of the same records, fed by the
// same kind of queued signals, with the same linear-order lookups a naive
// page would do.
class ReferenceModel final : public QAbstractTableModel
{
public:
    int rowCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : int(m_rows.size()); }
    int columnCount(const QModelIndex &parent = {}) const override { return parent.isValid() ? 0 : 19; }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role != Qt::DisplayRole)
            return {};
        const VEXA_DEVICE_INFO_MY &r = m_rows[size_t(index.row())];
        switch (index.column()) {
        case 0: return QString::asprintf("%03d", index.row() + 1);
        case 2: return QString::fromLatin1(r.ipv4Addr, qsizetype(strnlen(r.ipv4Addr, sizeof r.ipv4Addr)));
        case 3: return QString::asprintf("%5d", r.port);
        case 6: return QString::fromLatin1(r.serialNo, qsizetype(strnlen(r.serialNo, sizeof r.serialNo)));
        case 8: return QString::fromLatin1(r.macAddr, qsizetype(strnlen(r.macAddr, sizeof r.macAddr)));
        default: return QString::fromLatin1(r.typeName, qsizetype(strnlen(r.typeName, sizeof r.typeName)));
        }
    }

    void Online(const VEXA_DEVICE_INFO_MY &record)
    {
        beginInsertRows({}, rowCount(), rowCount());
        m_rows.push_back(record);
        endInsertRows();
    }
    void Update(const VEXA_DEVICE_INFO_MY &record)
    {
        const auto it = Find(record.serialNo, record.macAddr);
        if (it == m_rows.end())
            return;
        *it = record;
        const int row = int(it - m_rows.begin());
        emit dataChanged(index(row, 0), index(row, 18));
    }
    void Offline(const QString &serial, const QString &mac)
    {
        const QByteArray s = serial.toLocal8Bit(), m = mac.toLocal8Bit();
        const auto it = Find(s.constData(), m.constData());
        if (it == m_rows.end())
            return;
        const int row = int(it - m_rows.begin());
        beginRemoveRows({}, row, row);
        m_rows.erase(it);
        endRemoveRows();
    }

private:
    std::vector<VEXA_DEVICE_INFO_MY>::iterator Find(const char *serial, const char *mac)
    {
        return std::find_if(m_rows.begin(), m_rows.end(), [&](const VEXA_DEVICE_INFO_MY &r) {
            return strncmp(r.serialNo, serial, sizeof r.serialNo) == 0 && strncmp(r.macAddr, mac, sizeof r.macAddr) == 0;
        });
    }

    std::vector<VEXA_DEVICE_INFO_MY> m_rows;
};

class ReferencePage final : public QObject
{
    Q_OBJECT

public:
    ReferencePage()
    {
        m_view.setModel(&m_model);
        m_view.resize(1024, 700);
        m_view.show();
        connect(this, &ReferencePage::OnlineSignal, this, [this](VEXA_DEVICE_INFO_MY r) { m_model.Online(r); });
        connect(this, &ReferencePage::UpdateSignal, this, [this](VEXA_DEVICE_INFO_MY r) { m_model.Update(r); });
        connect(this, &ReferencePage::OfflineSignal, this,
                [this](QString serial, QString mac) { m_model.Offline(serial, mac); });
    }

    void Report(const VEXA_DEVICE_REPORT &report)
    {
        switch (ClassifyReport(&report)) {
        case VexaReportPath::Online: emit OnlineSignal(BuildDeviceRecord(report)); break;
        case VexaReportPath::Update: emit UpdateSignal(BuildDeviceRecord(report)); break;
        case VexaReportPath::Offline:
            emit OfflineSignal(QString::fromLocal8Bit(report.serialNo), QString::fromLocal8Bit(report.macAddr));
            break;
        case VexaReportPath::Ignored: break;
        }
    }

signals:
    void OnlineSignal(VEXA_DEVICE_INFO_MY record);
    void UpdateSignal(VEXA_DEVICE_INFO_MY record);
    void OfflineSignal(QString serial, QString mac);

private:
    ReferenceModel m_model;
    QTableView m_view;
};

std::vector<VEXA_DEVICE_REPORT> MakeReports(int count, int eventCode)
{
    std::vector<VEXA_DEVICE_REPORT> reports(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        VEXA_DEVICE_REPORT &r = reports[size_t(i)];
        std::memset(&r, 0, sizeof r);
        std::snprintf(r.protocol, sizeof r.protocol, "VXDP/1");
        std::snprintf(r.serialNo, sizeof r.serialNo, "BENCH%06d", i);
        std::snprintf(r.macAddr, sizeof r.macAddr, "02:00:00:%02x:%02x:%02x", (i >> 16) & 0xff, (i >> 8) & 0xff, i & 0xff);
        std::snprintf(r.ipv4Addr, sizeof r.ipv4Addr, "10.%d.%d.%d", eventCode, (i >> 8) & 0xff, i & 0xff);
        std::snprintf(r.ipv4Mask, sizeof r.ipv4Mask, "255.255.0.0");
        r.typeCode = 0x1001;
        r.port = 8000 + eventCode;
        r.channelCount = 4;
        std::snprintf(r.softwareVersion, sizeof r.softwareVersion, "V5.4.0 build 160530");
        std::snprintf(r.dspVersion, sizeof r.dspVersion, "V7.3 build 160511");
        std::snprintf(r.startTime, sizeof r.startTime, "2024-05-01 08:00:00");
        r.eventCode = eventCode;
        std::snprintf(r.typeName, sizeof r.typeName, "VXC-B120");
        std::snprintf(r.ipv4Gateway, sizeof r.ipv4Gateway, "10.%d.0.1", eventCode);
        std::snprintf(r.ipv6Addr, sizeof r.ipv6Addr, "fe80::%x", i);
        std::snprintf(r.ipv6Gateway, sizeof r.ipv6Gateway, "fe80::1");
        r.ipv6PrefixLen = 64;
        r.capabilities = 0x07;
        r.dhcpOn = 0;
        r.extInfo = 1;
    }
    return reports;
}

// Feeds the reports from a second thread; returns once the receiver's thread
// has handled the last event (a queued marker sent after it).
qint64 RunPhase(QObject *receiver, const std::vector<VEXA_DEVICE_REPORT> &reports,
                const std::function<void(const VEXA_DEVICE_REPORT &)> &deliver)
{
    QEventLoop loop;
    QElapsedTimer timer;
    timer.start();
    std::thread feeder([&] {
        for (const VEXA_DEVICE_REPORT &report : reports)
            deliver(report);
        QMetaObject::invokeMethod(receiver, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    const qint64 elapsed = timer.elapsed();
    feeder.join();
    return elapsed;
}

qint64 Median(std::vector<qint64> values)
{
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

long StatusKb(const char *field)
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qsizetype(std::strlen(field))).trimmed().split(' ').first().toLong();
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    // No interface to discover on: the page starts without real discovery.
    qputenv("VEXA_INTERFACES", "vexa-bench-none");
    QApplication app(argc, argv);
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10000;
    const int runs = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 99) : 5;

    std::vector<VEXA_DEVICE_REPORT> online = MakeReports(n, VEXA_EVENT_ONLINE);
    std::vector<VEXA_DEVICE_REPORT> update = MakeReports(n, VEXA_EVENT_UPDATE);
    std::vector<VEXA_DEVICE_REPORT> offline = MakeReports(n, VEXA_EVENT_OFFLINE);
    // Devices leave in no particular order.
    std::shuffle(offline.begin(), offline.end(), std::mt19937(20240501));

    const long baselineKb = StatusKb("VmRSS:");
    // A phase takes tens of milliseconds for the reference: one run is mostly
    // noise, so every figure is the median of several runs.
    std::array<std::vector<qint64>, 3> pageMs, referenceMs;
    // How many insertions the views heard of while the devices arrived.
    std::vector<qint64> insertions;
    std::vector<qint64> filterMs; // microseconds, in fact
    std::map<std::string, std::vector<qint64>> keystrokeUs;
    std::vector<qint64> sharedMs;
    std::vector<VEXA_DEVICE_REPORT> shared = MakeReports(n, VEXA_EVENT_ONLINE);
    for (VEXA_DEVICE_REPORT &report : shared)
        std::snprintf(report.ipv4Addr, sizeof report.ipv4Addr, "192.168.1.64");
    long peakKb = 0;
    for (int run = 0; run < runs; ++run) {
        {
            QtVexa page;
            page.resize(1024, 700);
            page.show();
            const auto deliver = [](const VEXA_DEVICE_REPORT &report) { VexaReportCallback(&report, nullptr); };
            qint64 inserted = 0;
            QObject::connect(page.findChild<QAbstractItemView *>("tableWidgetDevice")->model(),
                             &QAbstractItemModel::rowsInserted, &page, [&inserted] { ++inserted; });
            pageMs[0].push_back(RunPhase(&page, online, deliver));
            insertions.push_back(inserted);
            pageMs[1].push_back(RunPhase(&page, update, deliver));
            pageMs[2].push_back(RunPhase(&page, offline, deliver));
        }
        // Memory of the first page alone: later runs reuse what the allocator kept.
        if (run == 0)
            peakKb = StatusKb("VmHWM:");
        {
            QtVexa page;
            page.resize(1024, 700);
            page.show();
            const auto deliver = [](const VEXA_DEVICE_REPORT &report) { VexaReportCallback(&report, nullptr); };
            sharedMs.push_back(RunPhase(&page, shared, deliver));
            // Each keystroke until the view has laid out the rows it shows.
            auto *filter = page.findChild<QLineEdit *>("lineEditFilter");
            for (const char *text : {"0", "00", "000", "0001", "00012", "0001", "00", "zz", "BENCH", ""}) {
                QElapsedTimer keystroke;
                keystroke.start();
                filter->setText(QString::fromLatin1(text));
                QCoreApplication::processEvents();
                filterMs.push_back(keystroke.nsecsElapsed() / 1000);
                keystrokeUs[text].push_back(filterMs.back());
            }
        }
        {
            ReferencePage reference;
            const auto deliver = [&reference](const VEXA_DEVICE_REPORT &report) { reference.Report(report); };
            referenceMs[0].push_back(RunPhase(&reference, online, deliver));
            referenceMs[1].push_back(RunPhase(&reference, update, deliver));
            referenceMs[2].push_back(RunPhase(&reference, offline, deliver));
        }
    }
    const char *phases[3] = {"online", "update", "offline"};
    for (int i = 0; i < 3; ++i) {
        const qint64 page = Median(pageMs[i]);
        const qint64 reference = Median(referenceMs[i]);
        std::printf("phase=%s devices=%d page_ms=%lld reference_ms=%lld ratio=%.2f\n", phases[i], n,
                    static_cast<long long>(page), static_cast<long long>(reference),
                    double(page) / double(std::max<qint64>(1, reference)));
    }
    std::printf("online_insertions devices=%d median=%lld\n", n, static_cast<long long>(Median(insertions)));
    std::printf("peak_kb_per_device=%.2f\n", double(peakKb - baselineKb) / n);
    std::printf("phase=online-one-address devices=%d page_ms=%lld\n", n, static_cast<long long>(Median(sharedMs)));
    std::printf("filter_keystroke devices=%d median_ms=%.1f max_ms=%.1f\n", n, double(Median(filterMs)) / 1000,
                double(*std::max_element(filterMs.begin(), filterMs.end())) / 1000);
    for (const auto &[text, us] : keystrokeUs)
        std::printf("filter_text=\"%s\" median_ms=%.1f\n", text.c_str(), double(Median(us)) / 1000);
    return 0;
}

#include "vexabenchpage.moc"
