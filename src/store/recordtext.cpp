#include "recordtext.h"

#include <QLocale>

#include <cmath>
#include <cstdio>

namespace quellix {

namespace {

// The shortest decimal text with at most 15 significant digits, as printf's
// %.15g gives it, with an upper-case exponent padded the usual way.
QString significantText(double magnitude)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", magnitude);
    return QString::fromLatin1(buf);
}

} // namespace

QString numberText(double value, NumberForm form)
{
    if (std::isnan(value))
        return form == NumberForm::Str ? QStringLiteral(" NaN") : QStringLiteral("NaN");
    if (value == 0.0)
        value = 0.0; // no negative zero
    const bool negative = value < 0;
    if (std::isinf(value)) {
        const QString inf = QStringLiteral("Inf");
        return negative ? QStringLiteral("-") + inf : (form == NumberForm::Str ? QStringLiteral(" ") + inf : inf);
    }
    QString text = significantText(std::fabs(value));
    if (form == NumberForm::Str) {
        if (text.startsWith(QLatin1String("0.")))
            text.remove(0, 1);
        return (negative ? QStringLiteral("-") : QStringLiteral(" ")) + text;
    }
    const QString sep = QLocale().decimalPoint();
    if (sep != QLatin1String("."))
        text.replace(QLatin1Char('.'), sep);
    return negative ? QStringLiteral("-") + text : text;
}

QString functionText(double multiplier, double offset, NumberForm form)
{
    return QLatin1Char('*') + numberText(multiplier, form) + QStringLiteral(" +") + numberText(offset, form);
}

} // namespace quellix
