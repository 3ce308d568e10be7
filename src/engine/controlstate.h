#pragma once

#include "range.h"

#include <QString>
#include <array>
#include <cstdint>

namespace quellix {

/// The host colour value of red, green and blue (red in the lowest byte,
/// green in the next, blue in the third).
constexpr int32_t hostRgb(int r, int g, int b)
{
    return r | (g << 8) | (b << 16);
}

/// The four limits, in the order the settings row keeps their groups.
enum class Limit { Upper = 0, Warning = 1, Caution = 2, Lower = 3 };


/// "LOWER", "UPPER", "NORMAL", "WARNING", "CAUTION", or "" for none.
QString rangeText(Range r);

/// Alarm configuration of one limit, loaded from the settings row.
struct LimitAlarm {
    bool limitEnabled = false;  ///< kept for the configuration dialog; the scan ignores it
    bool light = false;
    bool sound = false;
    QString soundName;
    bool prompt = false;
    QString promptText;
    bool event = false;
    QString eventPath;
};

/// Everything a control knows about itself. Before registration the values
/// are zero, the texts empty and the switches off.
struct ControlState {
    // values and scaling
    double lowerLimit = 0, cautionLimit = 0, warningLimit = 0, upperLimit = 0;
    double inputValue = 0, displayValue = 0, outputValue = 0;
    double inputMultiplier = 0, inputOffset = 0, outputMultiplier = 0, outputOffset = 0;
    QString units;
    bool onHold = false;
    bool autoRedraw = false;
    bool enabled = false;
    QString password;
    int32_t scanrate = 0;      ///< milliseconds; exposed as 16 bits
    bool ascending = false;
    QString hiddenCaption;

    // alarm configuration, indexed by Limit
    std::array<LimitAlarm, 4> alarms;
    LimitAlarm &alarm(Limit l) { return alarms[size_t(l)]; }
    const LimitAlarm &alarm(Limit l) const { return alarms[size_t(l)]; }

    // logging switches
    bool logUserActions = false;
    bool logSystemErrors = false;
    bool logDisplayedEvery = false;
    QString logEveryTimeInterval;
    bool logUpperReaching = false, logWarningReaching = false, logCautionReaching = false,
         logNormalReaching = false, logLowerReaching = false;

    // colours (red in the lowest byte) and the viewer's chart type
    int32_t displayColor = 0, unitsColor = 0, outputColor = 0, holdIndicatorColor = 0, commIndicatorColor = 0;
    int16_t graphType = 0;

    // range bookkeeping of the scan
    bool alarmReset = false;
    Range currentRange = Range::None;
    Range enteredRange = Range::None;  ///< the range whose entry steps ran last

    // periodic recording
    int16_t recordEvery = 0;   ///< minutes between samples
    int16_t recordTicks = 0;   ///< minutes counted since the last sample
};

} // namespace quellix
