#pragma once

// The print form's rules without a window: how many pages a list takes,
// the texts of the page labels, and the name of the PDF file a print goes
// to when no printer is configured.

#include <QDateTime>
#include <QString>

namespace quellix::logview {

/// Records on one printed page of the list.
inline constexpr int kRecordsPerPage = 35;

/// Pages for `records` records: 35 to a page, a started page counts, none
/// for an empty list (and for a count below zero).
int printPageCount(qint64 records);

/// `l_LOGTITLE`: "Log File For " + the control's name.
QString printTitle(const QString &control);
/// `l_PAGENUM`: "Page #" + page + " Of" + pages, both numbers in the Str
/// form (a blank before each): "Page # 1 Of 3".
QString printPageLabel(int page, int pages);
/// `l_TIME`: "Printed @ " + the date and time in the log's text form.
QString printTimeLabel(const QDateTime &when);
/// The chart's title on the chart page: "Recorded Data For " + the name.
QString printChartTitle(const QString &control);

/// "Log Print yyyyMMdd-hhmmss.pdf" of the print's time; `attempt` above 1
/// adds " (attempt)" before ".pdf", for a second print in the same second.
QString printFileName(const QDateTime &when, int attempt = 1);

} // namespace quellix::logview
