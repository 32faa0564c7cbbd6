#include "vexareportcallback.h"

#include "qtvexa.h"

#include <vexa.h>

#include <QString>

#include <cstring>

QtVexa *g_pQtVexa = nullptr;

namespace {

// Decoded as the rows' cells are (Latin-1, every byte one character), so an
// offline report matches its rows whatever bytes its serial number holds.
template <size_t N>
QString RowText(const char (&field)[N])
{
    return QString::fromLatin1(field, qsizetype(::strnlen(field, N)));
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
        emit page->DeviceOfflineSignal(RowText(report->serialNo));
#else
        emit page->DeviceOfflineSignal(RowText(report->serialNo), RowText(report->macAddr));
#endif
        return;
    }
    if (page->IsDeviceFiltered(static_cast<unsigned int>(report->typeCode)))
        return;
    const VEXA_DEVICE_INFO_MY record = BuildDeviceRecord(*report);
    if (path == VexaReportPath::Online) {
        // Handed over without the page's lock; the page files it on its own thread.
        page->AppendDeviceRecord(record);
        emit page->DeviceOnlineSignal(record);
    } else {
        emit page->DeviceUpdateSignal(record);
    }
}
