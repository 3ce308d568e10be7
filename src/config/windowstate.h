#pragma once

// The values the configuration and log-viewer windows share across the
// process: one object, one set per process, shared by every control and
// every opening of the windows. Each value keeps what was last written until
// its next writer. Everything else a window works on it takes as arguments
// (the stores, the control's name, a viewer request) and what it produces it
// returns.
//
// Who writes and who reads:
// - config: the Config button writes all three; the Logs button writes
//   passwordExpected; the log viewer's Clear commands write passwordMode
//   (and hand the gate the password of their request). The password prompt
//   reads them.
// - viewer: the Logs button writes what it opens the viewer with (name,
//   store, chart style, limits); the viewer writes the chart style the
//   operator chose, the current list and the control filter, and reads the
//   last two again at its next opening, also for another control.
// - chartWindow and sampleBuffer: written by the chart's fill and its window
//   rules, read by the chart and by printing.
// - chosenProgramPath: written by the event-program browser on OK and on
//   Cancel.

#include "stores.h"

#include <QString>
#include <QVector>

#include <array>

namespace quellix::config {

inline constexpr const char *kModeSetup = "SETUP";
inline constexpr const char *kModeLog = "LOG";
inline constexpr const char *kModeData = "DATA";

/// What the password prompt works on.
struct ConfigContext
{
    QString controlName;      ///< the control whose configuration was asked for last
    QString passwordExpected; ///< the password the prompt accepts
    QString passwordMode;     ///< what a right password opens: "SETUP", "LOG" or "DATA"
};

/// What the Logs button opened the viewer with last, and what the viewer
/// keeps from one opening to the next.
struct ViewerContext
{
    QString controlName;                ///< the viewed control
    store::StoreLocation storeLocation; ///< where the viewed control's log is
    int graphType = 0;                  ///< the chart style code
    std::array<double, 4> limits{};     ///< upper, warning, caution, lower
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

struct SharedWindowState
{
    ConfigContext config;
    ViewerContext viewer;
    ChartWindow chartWindow;
    /// The samples of the latest fill: the newest (at most 5000) of the
    /// viewed control, oldest first; entry i is sample i + 1 of the window.
    QVector<SampleText> sampleBuffer;
    /// The path the event-program browser chose last; empty after Cancel.
    QString chosenProgramPath;
};

/// The process's shared window state.
SharedWindowState &sharedWindowState();

} // namespace quellix::config
