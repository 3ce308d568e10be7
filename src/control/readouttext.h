#pragma once

// The number form of the readout boxes: what the control's face shows for
// a displayed or output value.

#include <QString>

namespace quellix {

/// The readout pattern "###0.00" applied to a text: at least one integer
/// digit, no thousands separator, exactly two decimals, rounded half away
/// from zero on the decimal digits. A text that is not a number comes back
/// unchanged.
QString formatReadout(const QString &text);

/// The same pattern applied to a number.
QString formatReadout(double value);

} // namespace quellix
