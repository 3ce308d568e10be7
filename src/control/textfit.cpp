// The font size that shows a text whole in its box.

#include "textfit.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>

namespace quellix::face {

qreal fitPoints(qreal largest, qreal room, const std::function<qreal(qreal)> &widthAt)
{
    // Nothing to shrink (this also lets a size that is not a number through
    // unchanged, as the font would take it).
    if (!(largest > kSmallestPoints))
        return largest;
    qreal points = largest;
    qreal width = widthAt(points);
    if (width <= room)
        return points;
    // Widths grow about in proportion to the size, but hinting rounds the
    // advance of every glyph: each guess is measured, and a guess that is
    // still too wide leads to the next, smaller one. Every guess lies at
    // least a quarter point below the one before, so the search ends.
    while (points > kSmallestPoints) {
        const qreal guess = width > 0 && room > 0 ? points * room / width : 0;
        points = std::max(kSmallestPoints, std::floor(guess / kPointStep) * kPointStep);
        width = widthAt(points);
        if (width <= room)
            break;
    }
    return points;
}

qreal fitPoints(const QFont &font, const QString &text, qreal room)
{
    QFont sized = font;
    return fitPoints(font.pointSizeF(), room, [&](qreal points) {
        sized.setPointSizeF(points);
        return QFontMetricsF(sized).horizontalAdvance(text);
    });
}

NumberWidths::NumberWidths(const QFont &font)
{
    const QFontMetricsF fm(font);
    m_digit = 0;
    for (char16_t c = u'0'; c <= u'9'; ++c)
        m_digit = std::max(m_digit, fm.horizontalAdvance(QChar(c)));
    m_minus = fm.horizontalAdvance(QLatin1Char('-'));
    m_plus = fm.horizontalAdvance(QLatin1Char('+'));
    m_point = fm.horizontalAdvance(QLatin1Char('.'));
    m_comma = fm.horizontalAdvance(QLatin1Char(','));
    m_blank = fm.horizontalAdvance(QLatin1Char(' '));
    m_upperE = fm.horizontalAdvance(QLatin1Char('E'));
    m_lowerE = fm.horizontalAdvance(QLatin1Char('e'));
}

qreal NumberWidths::advance(QChar c) const
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return m_digit;
    switch (u) {
    case u'-': return m_minus;
    case u'+': return m_plus;
    case u'.': return m_point;
    case u',': return m_comma;
    case u' ': return m_blank;
    case u'E': return m_upperE;
    case u'e': return m_lowerE;
    default: return -1;
    }
}

qreal NumberWidths::bound(QStringView text) const
{
    // Fonts hardly kern these characters, and then mostly closer; the pixel
    // added covers that and the rounding of the shaped width.
    constexpr qreal kSlack = 1.0;
    qreal sum = kSlack;
    for (QChar c : text) {
        const qreal a = advance(c);
        if (a < 0)
            return -1;
        sum += a;
    }
    return sum;
}

} // namespace quellix::face
