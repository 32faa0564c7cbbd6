#include "vexareportcallback.h"

#include "qtvexa.h"

#include <vexa.h>

#include <QString>

#include <cstring>

QtVexa *g_pQtVexa = nullptr;

namespace {

template <size_t N>
QString LocalText(const char (&field)[N])
{
    return QString::fromLocal8Bit(field, qsizetype(::strnlen(field, N)));
}

} // namespace

void VexaReportCallback(const VEXA_DEVICE_REPORT *report, void * /*userData*/)
{
    QtVexa *page = g_pQtVexa;
    const VexaReportPath path = ClassifyReport(report);
    if (!page || path == VexaReportPath::Ignored)
        return;

    if (path == VexaReportPath::Offline) {
#ifdef VEXA_OLDER_EDITION
        emit page->DeviceOfflineSignal(LocalText(report->serialNo));
#else
        emit page->DeviceOfflineSignal(LocalText(report->serialNo), LocalText(report->macAddr));
#endif
        return;
    }
    if (page->IsDeviceFiltered(static_cast<unsigned int>(report->typeCode)))
        return;
    const VEXA_DEVICE_INFO_MY record = BuildDeviceRecord(*report);
    if (path == VexaReportPath::Online) {
        // The page locks only around the append; the signal goes out unlocked.
        page->AppendDeviceRecord(record);
        emit page->DeviceOnlineSignal(record);
    } else {
        emit page->DeviceUpdateSignal(record);
    }
}
