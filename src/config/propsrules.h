#pragma once

// The rules of the properties dialog f_PROPS that need no window: reading a
// number from a field's text, the limit check with its message and
// correction, the scan-rate clamp, the colour options, the function labels
// and the frame positions. The dialog only applies their results.

#include "schema.h"

#include <QString>
#include <QVariant>

#include <optional>

namespace quellix::config::props {

/// The number at the start of a text: leading blanks (spaces and tabs)
/// skipped, then the longest leading part that forms a decimal number
/// (sign, digits, one decimal point, an exponent "E" with digits); 0 when
/// the text starts with no number. A number beyond the range of double
/// reads as the largest double of its sign.
double readNumber(const QString &text);

/// The first `count` characters of a text, never splitting a character
/// that takes two UTF-16 units.
QString firstCharacters(const QString &text, int count);

/// How many characters the store counts in a text (code points).
int characterCount(const QString &text);

enum class Level { Upper, Warning, Caution, Lower };

struct Limits
{
    double upper = 0;
    double warning = 0;
    double caution = 0;
    double lower = 0;
};

/// The first limit rule that fails: the message to show and the limit text
/// to replace once it has been closed.
struct LimitFault
{
    QString title;
    QString text;       ///< heading, LF CR LF CR, rule, LF CR LF CR, request
    Level corrected;    ///< the limit whose text is replaced
    double correction;  ///< the other limit's value plus 1
};

/// The limit rules in their order for the direction; every comparison is
/// strict, so equal values fail. std::nullopt when all hold.
std::optional<LimitFault> checkLimits(const Limits &limits, bool ascending);

/// The text a corrected limit gets: the number in Str form (a leading blank
/// for values of 0 and above).
QString correctionText(double value);

inline constexpr int kScanRateMin = 100;
inline constexpr int kScanRateMax = 60000;

/// The scan-rate text after its check: "100" when its number is below 100,
/// then "60000" when the number is above 60000, else the text unchanged.
QString clampScanRateText(const QString &text);

enum class ColourGroup { Display, Units, Output, Hold, Comm };
enum class ColourOption { Red, Green, Yellow, Blue };

/// The code text an option writes into its group's colour field.
QString colourCode(ColourOption option);
/// The option a colour field's text selects in its group; a value outside
/// the group's table selects the group's default colour.
ColourOption optionForColour(ColourGroup group, const QString &text);

/// The input function label after an edit of the multiplier
/// ("Displayed Value=") or of the offset ("Displayed Value =").
QString inputFunctionLabel(const QString &multiplier, const QString &offset, bool offsetEdited);
/// The output function label after an edit of either field.
QString outputFunctionLabel(const QString &multiplier, const QString &offset);

/// True when a direction text selects the Ascending option: exactly
/// "Ascending", any other text selects Descending.
bool selectsAscending(const QString &directionText);

/// The top edge, in host units (1/1440 inch) from the top of the tab set,
/// of element `element` (0 to 3) of fr_WARNING (`warning`) or fr_CAUTION.
int frameTopTwips(bool warning, int element, bool ascending);

/// The value a field's text writes into its column: a text column the text
/// itself, a number column the number read from the text, a yes/no column
/// true for "1". An empty text over a column that was empty gives an
/// invalid QVariant: the column stays empty.
QVariant columnValue(schema::FieldType type, const QString &text, bool columnWasEmpty);

/// The text a field shows for a stored value: numbers in their shortest
/// exact form with a full stop, texts as they are, an absent value empty.
QString fieldText(const QVariant &stored);

} // namespace quellix::config::props
