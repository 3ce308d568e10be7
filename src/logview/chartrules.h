#pragma once

// The data chart's rules without any widget: reading numbers from stored
// texts, the chart window (which samples are charted) after a fill, a move
// of the scroll bar and a change of the points field, the series a fill
// puts into the chart, and the details of a selected point.

#include "windowstate.h"

#include <QString>
#include <QStringView>
#include <QVector>

#include <array>
#include <optional>

namespace quellix::logview {

/// A number read from the start of a text: leading blanks skipped, the
/// longest leading part that forms a decimal number (sign, digits, one
/// decimal point, an exponent "E"/"e" with digits) taken, 0 when there is
/// none or when it lies beyond the range of a double.
double readNumber(QStringView text);

/// A number rounded to a whole one, halves to the even neighbour (2.5 -> 2,
/// 3.5 -> 4), limited to the range of int; 0 for NaN.
int roundHalfEven(double value);

/// What a window rule leaves: the window, and whether the points field must
/// be rewritten with the window's points shown.
struct WindowChange
{
    config::ChartWindow window;
    bool rewritePoints = false;
};

/// After a fill took `pointCount` samples: the first fill of the program
/// charts them all; later fills keep the window, clamped into the samples
/// now held (a window start beyond them moves back so that the window keeps
/// its width and ends at the newest sample; a window end beyond them becomes
/// the newest sample).
config::ChartWindow windowAfterFill(config::ChartWindow w, int pointCount);

/// The scroll bar moved to `position`. While the thumb is dragged only the
/// window moves; otherwise (arrows, page steps, the end of a drag) the
/// points shown shrink when the window would run past the newest sample.
WindowChange windowAfterScroll(config::ChartWindow w, int position, bool dragging);

/// The points field asks for `asked` points: they shrink to the samples from
/// the window start on when there are fewer (the field is then rewritten).
WindowChange windowAfterPoints(config::ChartWindow w, int asked);

/// Series labels: "Input", "Display", "Output", "Upper", "Warning",
/// "Caution", "Lower"; `source` 0…6 in that order.
QString seriesLabel(int source);
inline constexpr int kLimitSourceFirst = 3;

/// One series of a chart fill: what it shows and one value per chart row.
struct PlannedSeries
{
    int source = 0; ///< 0 input, 1 display, 2 output, 3…6 upper…lower limit
    QString label;
    QVector<double> values;
};

/// What a chart fill draws: rows firstRow … firstRow + rowCount − 1 of the
/// sample buffer (1-based), each labelled with its row number.
struct ChartPlan
{
    int firstRow = 1;
    int rowCount = 0;
    QVector<PlannedSeries> series;
    /// The label of chart row k (1-based): its sample buffer row.
    QString rowLabel(int k) const { return QString::number(firstRow + k - 1); }
};

/// The series of a fill: for 2D Line (`lineStyle`) the three data series
/// whatever the selectors and the four limits (`limits`: upper, warning,
/// caution, lower) as flat lines; otherwise one series per selected value in
/// the order input, display, output. Rows are the window's, cut at the end
/// of the buffer; no rows when the window is empty or starts before row 1.
ChartPlan planChart(bool lineStyle, const std::array<bool, 3> &selected, const std::array<double, 4> &limits,
                    const config::ChartWindow &window, const QVector<config::SampleText> &buffer);

/// A stored time split for the point details: the date is the text without
/// its last 11 characters, the time its last 11 (the whole text when shorter,
/// the date then empty).
struct TimeParts
{
    QString date;
    QString time;
};
TimeParts splitTime(const QString &text);

/// The details of a selected point.
struct PointDetails
{
    QString date;
    QString time;
    QString value; ///< the stored text of the series' value
};

/// The details of chart row `k` (1-based) of series `seriesIndex` (0-based,
/// in plan order), whose value is the stored text of that series itself.
/// Nothing for a limit line or a row outside the plan or the buffer.
std::optional<PointDetails> pointDetails(const ChartPlan &plan, int seriesIndex, int k,
                                         const QVector<config::SampleText> &buffer);

} // namespace quellix::logview
