#pragma once

// The number forms of the log texts: the values and functions a log record
// or a sample carries, written as the store keeps them.

#include <QString>

namespace quellix {

/// The two number forms of log texts.
enum class NumberForm {
    /// A blank before a number that is not negative, "-" before a negative
    /// one, a full stop as decimal point and no zero before the point of a
    /// magnitude below 1 (" .5"); up to 15 significant digits.
    Str,
    /// No leading blank, the locale's decimal separator and the zero before
    /// the separator kept ("0.5"); up to 15 significant digits.
    Plain,
};

/// A number in the given form. Magnitudes of 1E15 and more, or below 1E-4,
/// are written in exponent form ("1E+15", " 1.5E-05").
QString numberText(double value, NumberForm form);

/// "*" multiplier " +" offset, each number in the given form:
/// multiplier 1, offset 0 give "* 1 + 0" (Str) or "*1 +0" (Plain).
QString functionText(double multiplier, double offset, NumberForm form);

} // namespace quellix
