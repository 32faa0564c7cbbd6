#include "vexareportcallback.h"

#include "deviceid.h"
#include "qtvexa.h"
#include "recordtext.h"

#include <vexa.h>

QtVexa *g_pQtVexa = nullptr;

void VexaReportCallback(const VEXA_DEVICE_REPORT *report, void * /*userData*/)
{
    QtVexa *page = g_pQtVexa;
    const VexaReportPath path = ClassifyReport(report);
    if (!page || path == VexaReportPath::Ignored)
        return;
    // A report from another thread waits in the hand-over, in report order,
    // until the page's thread takes it with its signal; on the page's own
    // thread the signal is handled at once.
    DeviceHandOver *handOver = page->m_handOver.OnPageThread() ? nullptr : &page->m_handOver;

    if (path == VexaReportPath::Offline) {
        if (handOver)
            handOver->Offline(DeviceId(FieldBytes(report->serialNo), FieldBytes(report->macAddr)));
        // The texts as the rows show them (Latin-1), for whoever listens.
#ifdef VEXA_OLDER_EDITION
        emit page->DeviceOfflineSignal(FieldText(report->serialNo));
#else
        emit page->DeviceOfflineSignal(FieldText(report->serialNo), FieldText(report->macAddr));
#endif
        return;
    }
    if (page->IsDeviceFiltered(static_cast<unsigned int>(report->typeCode)))
        return;
    const VEXA_DEVICE_INFO_MY record = BuildDeviceRecord(*report);
    if (path == VexaReportPath::Online) {
        if (handOver)
            handOver->Online(record);
        emit page->DeviceOnlineSignal(record);
    } else {
        if (handOver)
            handOver->Update(record);
        emit page->DeviceUpdateSignal(record);
    }
}
