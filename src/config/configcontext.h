#pragma once

// Every process-wide value of the configuration and log-viewer windows, in
// one place. One set per process, shared by every control and every opening
// of the windows; the values keep what was last written until the next
// writer.
//
// Configuration context (written by the Config and Logs buttons):
// - controlName: the control whose configuration was asked for last; the
//   properties dialog finds its settings row by it. Written by Config.
// - passwordExpected: the password the prompt accepts. Written by Config
//   (the control's Password) and by Logs (for the log viewer's deletes).
// - passwordMode: what a right password opens: kModeSetup (the properties
//   dialog), kModeLog (deleting the viewer's log records) or kModeData
//   (deleting the viewer's samples of its control).
//
// Viewer context (written by the Logs button, read by the viewer, the chart
// and printing), the chart window and sample buffer, and the program path
// the event-program browser chose last.

#include "stores.h"

#include <QString>
#include <QVector>

#include <array>

namespace quellix::config {

inline constexpr const char *kModeSetup = "SETUP";
inline constexpr const char *kModeLog = "LOG";
inline constexpr const char *kModeData = "DATA";

struct ConfigContext
{
    QString controlName;      ///< ConfigControlName
    QString passwordExpected; ///< PasswordExpected (also the viewer's)
    QString passwordMode;     ///< PasswordMode: "SETUP", "LOG" or "DATA"
};

/// The process's configuration context.
ConfigContext &configContext();

struct ViewerContext
{
    QString controlName;            ///< ViewerControlName
    store::StoreLocation storeLocation; ///< where the viewed control's log is
    int graphType = 0;              ///< ViewerGraphType: a chart style code
    std::array<double, 4> limits{}; ///< ViewerLimits: upper, warning, caution, lower
    /// The list query text the last filter command built; empty until the
    /// first one. It names what the list shows, prints and clears; it runs
    /// as `currentFilter`, the control name a bound value, never SQL text.
    QString currentLogQuery;
    store::LogFilter currentFilter;
    /// The current list names no record at all (this control's records, for
    /// a control without a name): nothing is listed, printed or cleared.
    bool currentListNone = false;
    /// "ALL" or "THIS" after a control-filter command; empty until the first.
    QString controlFilter;
};

/// The process's viewer context.
ViewerContext &viewerContext();

/// One recorded sample as the chart reads it: its time and three values as
/// stored texts.
struct SampleText
{
    QString time;
    QString input;
    QString display;
    QString output;
};

/// The chart window: all 0 when the program starts, never reset; later
/// fills keep the window the operator set, also for another control.
struct ChartWindow
{
    int pointCount = 0;  ///< samples the latest fill took
    int windowStart = 0; ///< first charted sample, 1-based
    int windowEnd = 0;   ///< last charted sample
    int pointsShown = 0; ///< points asked for in the points field
    int seriesCount = 0; ///< checked selectors at the latest fill
};

ChartWindow &chartWindow();
/// The samples of the latest fill: the newest (at most 5000) of the viewed
/// control, oldest first; entry i is sample i + 1 of the window.
QVector<SampleText> &sampleBuffer();

/// The path the event-program browser chose last; empty after Cancel.
QString &chosenProgramPath();

} // namespace quellix::config
