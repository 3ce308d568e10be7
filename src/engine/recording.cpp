#include "recording.h"

#include <limits>

namespace quellix {

std::optional<int16_t> recordingMinutes(const QString &intervalText)
{
    static const struct { const char *text; int16_t minutes; } table[] = {
        {"1 Minute", 1}, {"2 Minutes", 2}, {"5 Minutes", 5}, {"10 Minutes", 10},
        {"15 Minutes", 15}, {"30 Minutes", 30}, {"1 Hour", 60},
    };
    for (const auto &row : table) {
        if (intervalText == QLatin1String(row.text))
            return row.minutes;
    }
    return std::nullopt;
}

bool advanceRecordTicks(int16_t &ticks, int16_t every)
{
    if (ticks < std::numeric_limits<int16_t>::max())
        ++ticks;
    if (every > 0 && ticks >= every) {
        ticks = 0;
        return true;
    }
    return false;
}

} // namespace quellix
