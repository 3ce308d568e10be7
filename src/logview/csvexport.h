#pragma once

// Export of the log viewer's list or of a control's samples as CSV
// (RFC 4180: a header row, fields separated by commas, records ended by
// CR LF, a field holding a comma, a quotation mark or a line break quoted
// with its quotation marks doubled), in UTF-8.

#include "stores.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace quellix::logview {

/// One field, quoted when it must be.
QString csvField(const QString &text);
/// One record: the fields joined by commas, ended by CR LF, in UTF-8.
QByteArray csvRecord(const QStringList &fields);

/// Writes the records `filter` selects (none when `none`) to `path`, a
/// page at a time, with the eleven column names first; returns how many
/// records were written. The file is replaced only when every record was
/// written; throws quellix::Error otherwise.
qint64 exportLog(store::EventLog &log, const store::LogFilter &filter, bool none, const QString &path);
/// Writes every sample of `control`, oldest first, with the six column
/// names of DATA first; returns how many samples were written. Throws
/// quellix::Error when the store or the file fails.
qint64 exportSamples(store::EventLog &log, const QString &control, const QString &path);

/// Asks the operator for the file to export to, starting at `suggested`;
/// an empty answer means cancelled. Tests put an answer in its place.
using ExportPathChooser = std::function<QString(QWidget *parent, const QString &suggested)>;
void setExportPathChooser(ExportPathChooser chooser); ///< nullptr restores the file dialog
QString chooseExportPath(QWidget *parent, const QString &suggested);

} // namespace quellix::logview
