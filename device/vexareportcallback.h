#pragma once

#include "vexadevice_export.h"
#include "vexadeviceinfo.h"

struct VEXA_DEVICE_REPORT;
class QtVexa;

/**
 * The one device page, reached by the report callback. The page sets it in
 * its constructor and clears it in its destructor after discovery stopped.
 */
extern VEXADEVICE_EXPORT QtVexa *g_pQtVexa;

/**
 * Report callback handed to the discovery library (and called with a host
 * program's reports). Runs on the caller's thread: filters the report, hands
 * it over to the page in report order when the caller is another thread than
 * the page's, and emits one of the page's device signals, which the page
 * receives queued on its own thread. `userData` is not used.
 */
VEXADEVICE_EXPORT void VexaReportCallback(const VEXA_DEVICE_REPORT *report, void *userData);

/** Whether a device of type `code` is left out under the device-class filter `mode`. */
VEXADEVICE_EXPORT bool IsDeviceFiltered(int mode, unsigned int code);

/** What the callback does with a report, decided by its texts and event code alone. */
enum class VexaReportPath { Ignored, Online, Update, Offline };

/**
 * Whether at least one of the report's eight tested texts (offsets 0, 12, 60,
 * 80, 96, 128, 176, 224) ends within 64 bytes; a report without one is dropped.
 */
VEXADEVICE_EXPORT bool HasTerminatedText(const VEXA_DEVICE_REPORT &report);

/** Null reports, reports none of whose tested texts ends within 64 bytes, and unknown event codes are Ignored. */
VEXADEVICE_EXPORT VexaReportPath ClassifyReport(const VEXA_DEVICE_REPORT *report);

/** The record of an online or update report: zero-filled, texts at full width, `valid` = 1. */
VEXADEVICE_EXPORT VEXA_DEVICE_INFO_MY BuildDeviceRecord(const VEXA_DEVICE_REPORT &report);
