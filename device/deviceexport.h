#pragma once

#include "vexadevice_export.h"
#include "vexadeviceinfo.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

/** The device list as it leaves the tool: clipboard text, CSV and JSON files. */
namespace DeviceExport {

/** Header line and rows as spreadsheets paste them: tab-separated, one line each; tabs and line breaks in a cell become blanks. */
VEXADEVICE_EXPORT QString TabSeparated(const QStringList &header, const QList<QStringList> &rows);

/** RFC 4180: CRLF line ends, a field quoted (quotes doubled) when it holds a comma, quote, CR or LF; UTF-8. */
VEXADEVICE_EXPORT QByteArray Csv(const QStringList &header, const QList<QStringList> &rows);

/**
 * A JSON array of one object per record, with the keys and values
 * `vexa-scan list --json` gives a device (all but its event code, which the
 * table does not keep), so scripts read both alike.
 */
VEXADEVICE_EXPORT QByteArray Json(const QList<VEXA_DEVICE_INFO_MY> &records);

/**
 * Replaces `path` with `data` at once (a temporary file beside it, renamed
 * over it): a failure leaves any file there as it was. The error text on
 * failure, nothing on success.
 */
VEXADEVICE_EXPORT std::optional<QString> WriteAtomically(const QString &path, const QByteArray &data);

} // namespace DeviceExport
