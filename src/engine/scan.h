#pragma once

// The rules of the scan, free of any widget: which range a displayed value
// lies in, what a tick in that range does every time, and what entering it
// from the range entered before does once.

#include "controlstate.h"

#include <optional>

namespace quellix::scan {

struct Limits
{
    double lower = 0, caution = 0, warning = 0, upper = 0;
};

/// A zero caution or warning limit means the limits are not set up: the
/// scan then only dims the indicators and stops the flashers.
bool limitsUnset(const Limits &l);

/// The range of a displayed value. The tests run in a fixed order (lower,
/// upper, normal, warning, otherwise caution), so limits in any order still
/// give one answer; a NaN fails every comparison and lands in caution.
Range classify(double d, const Limits &l, bool ascending);

/// The limit whose alarm settings belong to a range; none for normal.
std::optional<Limit> alarmLimit(Range r);

/// The event text of a limit record ("Lower Limit", "Normal Range", ...).
QString logEventText(Range r);

/// What follows the control's name in a prompt caption (" Lower Limit
/// Reached", ...); empty for normal, which has no prompt.
QString promptSuffix(Range r);

/// What entering `to` does, given the range entered before.
enum class Entry {
    Stay,     ///< no entry: only the every-tick steps run
    LogEvent, ///< log record and range event only (normal, or a move back towards normal)
    Full,     ///< log record, prompt, event program and range event, each as configured
};
Entry entryFrom(Range entered, Range to, bool ascending);

enum class Flasher { None, Normal, Warning };

/// The every-tick steps of a range, as a plan the control carries out.
struct TickPlan
{
    bool clearAlarmReset = false; ///< a change of range (every tick in normal)
    bool stopNormalFlasher = false;
    bool stopWarningFlasher = false;
    bool normalLit = false, cautionLit = false, warningLit = false;
    Flasher startFlasher = Flasher::None; ///< started unless it already runs
    bool playSound = false;               ///< the range's alarm sound, unless alarm reset is set
};

/// `current` is the range found by the tick before (None before the first).
TickPlan planTick(Range found, Range current, bool ascending, const ControlState &s);

/// Whether the control logs entering this range.
bool logsReaching(Range r, const ControlState &s);

} // namespace quellix::scan
