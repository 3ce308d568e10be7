#pragma once

#include <QString>
#include <cstdint>
#include <optional>

namespace quellix {

/// The minutes of a recording interval text: "1 Minute" 1, "2 Minutes" 2,
/// "5 Minutes" 5, "10 Minutes" 10, "15 Minutes" 15, "30 Minutes" 30,
/// "1 Hour" 60. The comparison is exact (case and blanks count); any other
/// text gives no value.
std::optional<int16_t> recordingMinutes(const QString &intervalText);

/// One minute tick of periodic recording: advances the minute counter and
/// says whether a sample is due now (the counter then restarts at 0). With
/// no interval ever applied (every ≤ 0) no sample is ever due and the
/// counter stays within its 16-bit range.
bool advanceRecordTicks(int16_t &ticks, int16_t every);

} // namespace quellix
