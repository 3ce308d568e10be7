#include "numbertext.h"

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

// Applies half-away-from-zero rounding to a plain decimal digit string
// (no sign, no exponent) keeping `decimals` digits after the point.
QString roundDecimalDigits(const QString &digits, int decimals)
{
    QString intPart = digits.section(QLatin1Char('.'), 0, 0);
    QString frac = digits.contains(QLatin1Char('.')) ? digits.section(QLatin1Char('.'), 1) : QString();
    if (intPart.isEmpty())
        intPart = QStringLiteral("0");
    bool roundUp = frac.size() > decimals && frac.at(decimals) >= QLatin1Char('5');
    frac = frac.left(decimals).leftJustified(decimals, QLatin1Char('0'));
    QString all = intPart + frac;
    if (roundUp) {
        int i = int(all.size()) - 1;
        while (i >= 0) {
            if (all[i] == QLatin1Char('9')) {
                all[i] = QLatin1Char('0');
                --i;
            } else {
                all[i] = QChar(all[i].unicode() + 1);
                break;
            }
        }
        if (i < 0)
            all.prepend(QLatin1Char('1'));
    }
    QString ip = all.left(all.size() - decimals);
    while (ip.size() > 1 && ip.startsWith(QLatin1Char('0')))
        ip.remove(0, 1);
    if (decimals == 0)
        return ip;
    return ip + QLatin1Char('.') + all.right(decimals);
}

// Expands a decimal text that may have an exponent ("1.5E+20") into plain
// digits ("150000000000000000000").
QString expandExponent(const QString &text)
{
    const int e = int(text.indexOf(QLatin1Char('E')));
    if (e < 0)
        return text;
    QString mant = text.left(e);
    const int exp = text.mid(e + 1).toInt();
    QString ip = mant.section(QLatin1Char('.'), 0, 0);
    QString fp = mant.contains(QLatin1Char('.')) ? mant.section(QLatin1Char('.'), 1) : QString();
    QString digits = ip + fp;
    int point = int(ip.size()) + exp;
    if (point <= 0)
        return QStringLiteral("0.") + QString(-point, QLatin1Char('0')) + digits;
    if (point >= digits.size())
        return digits + QString(point - digits.size(), QLatin1Char('0'));
    return digits.left(point) + QLatin1Char('.') + digits.mid(point);
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

QString formatReadout(double value)
{
    if (!std::isfinite(value))
        return numberText(value, NumberForm::Plain);
    const bool negative = value < 0;
    const QString rounded = roundDecimalDigits(expandExponent(significantText(std::fabs(value))), 2);
    if (negative && rounded != QLatin1String("0.00"))
        return QLatin1Char('-') + rounded;
    return rounded;
}

QString formatReadout(const QString &text)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return text;
    bool ok = false;
    const double v = QLocale::c().toDouble(t, &ok);
    if (!ok || !std::isfinite(v))
        return text;
    return formatReadout(v);
}

} // namespace quellix
