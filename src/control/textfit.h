#pragma once

// Fitting a line of text into the width of its box, free of any widget: the
// font size at which a text is shown whole, and a quick bound that tells
// without laying a number out that it fits.
//
// A readout must never show part of a number: "-12345.67" cut to "2345.67"
// reads as a different value. Its font is scaled down instead, never above
// the size the face layout gives it.

#include <QFont>
#include <QString>
#include <QStringView>

#include <functional>

namespace quellix::face {

/// No text is shrunk below this size, in points.
inline constexpr qreal kSmallestPoints = 1.0;
/// A shrunk size is a whole number of quarter points, so texts of nearly
/// the same width share one size and one font.
inline constexpr qreal kPointStep = 0.25;

/// The font size, at most `largest` points, at which a text whose width at
/// a size is `widthAt(points)` fits into `room`: `largest` when it fits
/// there, otherwise a quarter-point size it fits at (the largest one when
/// widths grow in proportion to the size), but not below kSmallestPoints.
qreal fitPoints(qreal largest, qreal room, const std::function<qreal(qreal points)> &widthAt);

/// The same for `text` in `font`, measured with QFontMetricsF; the largest
/// size is the font's own.
qreal fitPoints(const QFont &font, const QString &text, qreal room);

/// Upper bounds of the width of numbers in one font, added up from the
/// advances of their characters, so that a new reading can be found to fit
/// without shaping it.
class NumberWidths
{
public:
    NumberWidths() = default;
    explicit NumberWidths(const QFont &font);

    /// At least the width of `text` in the font; negative when the text has
    /// a character other than digits, signs, point, comma, blank and 'E'.
    qreal bound(QStringView text) const;

private:
    qreal advance(QChar c) const;

    qreal m_digit = -1; // the widest of the ten digits
    qreal m_minus = -1, m_plus = -1, m_point = -1, m_comma = -1, m_blank = -1, m_upperE = -1, m_lowerE = -1;
};

} // namespace quellix::face
