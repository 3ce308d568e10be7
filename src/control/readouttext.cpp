#include "readouttext.h"

#include "recordtext.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quellix {

QString formatReadout(double value)
{
    if (!std::isfinite(value))
        return numberText(value, NumberForm::Plain);
    // Rounds the 15 significant digits the value is shown with (the digits
    // of %.15G, which %.14E gives in scientific form) to two decimals, half
    // away from zero. Works in a character buffer: this runs for both
    // readouts on every new value.
    char sci[40];
    std::snprintf(sci, sizeof sci, "%.14E", std::fabs(value));
    char digits[16];
    int count = 0;
    const char *c = sci;
    for (; *c && *c != 'E'; ++c)
        if (*c >= '0' && *c <= '9' && count < 15)
            digits[count++] = *c;
    const int point = (*c == 'E' ? std::atoi(c + 1) : 0) + 1; // digits before the decimal point
    const auto digitAt = [&](int i) { return i >= 0 && i < count ? digits[i] : '0'; };

    // Integer digits, then two decimals; one more digit decides the rounding.
    // The largest double has 309 integer digits.
    char out[320];
    int o = 0;
    if (point <= 0)
        out[o++] = '0';
    for (int i = 0; i < point; ++i)
        out[o++] = digitAt(i);
    out[o++] = digitAt(point);
    out[o++] = digitAt(point + 1);
    if (digitAt(point + 2) >= '5') {
        int i = o - 1;
        while (i >= 0 && out[i] == '9')
            out[i--] = '0';
        if (i >= 0) {
            ++out[i];
        } else {
            std::memmove(out + 1, out, std::size_t(o));
            out[0] = '1';
            ++o;
        }
    }

    char text[330];
    int t = 0;
    const bool zero = std::all_of(out, out + o, [](char d) { return d == '0'; });
    if (value < 0 && !zero)
        text[t++] = '-';
    const int intDigits = o - 2;
    int start = 0;
    while (start < intDigits - 1 && out[start] == '0')
        ++start;
    for (int i = start; i < intDigits; ++i)
        text[t++] = out[i];
    text[t++] = '.';
    text[t++] = out[intDigits];
    text[t++] = out[intDigits + 1];
    return QString::fromLatin1(text, t);
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
