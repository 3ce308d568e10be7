#include "propsrules.h"

#include "recordtext.h"

#include <QLocale>

#include <cfloat>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <locale.h>

namespace quellix::config::props {

namespace {

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

// strtod in the C locale, whatever locale the application set.
double cStrtod(const QByteArray &number)
{
    static const locale_t c = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return strtod_l(number.constData(), nullptr, c);
}

// Joins the parts of a limit message with LF CR LF CR between them.
QString limitMessage(const char *heading, const char *rule, const char *request)
{
    const QString gap = QStringLiteral("\n\r\n\r");
    return QLatin1String(heading) + gap + QLatin1String(rule) + gap + QLatin1String(request);
}

struct Rule
{
    double failsIfAtLeast; // the value that must be smaller
    double mustExceed;     // the value that must be greater
    Level corrected;
    const char *rule;
    const char *request;
};

} // namespace

double readNumber(const QString &text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text.at(i) == QLatin1Char(' ') || text.at(i) == QLatin1Char('\t')))
        ++i;
    QByteArray number;
    if (i < n && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        number += char(text.at(i++).unicode());
    int digits = 0;
    while (i < n && isDigit(text.at(i))) {
        number += char(text.at(i++).unicode());
        ++digits;
    }
    if (i < n && text.at(i) == QLatin1Char('.')) {
        number += '.';
        ++i;
        while (i < n && isDigit(text.at(i))) {
            number += char(text.at(i++).unicode());
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    // An exponent counts only when digits follow it.
    if (i < n && (text.at(i) == QLatin1Char('e') || text.at(i) == QLatin1Char('E'))) {
        qsizetype j = i + 1;
        QByteArray exponent("e");
        if (j < n && (text.at(j) == QLatin1Char('+') || text.at(j) == QLatin1Char('-')))
            exponent += char(text.at(j++).unicode());
        if (j < n && isDigit(text.at(j))) {
            while (j < n && isDigit(text.at(j)))
                exponent += char(text.at(j++).unicode());
            number += exponent;
        }
    }
    const double value = cStrtod(number);
    if (std::isinf(value))
        return value < 0 ? -DBL_MAX : DBL_MAX;
    return value;
}

int characterCount(const QString &text)
{
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        ++count;
    }
    return count;
}

QString firstCharacters(const QString &text, int count)
{
    qsizetype i = 0;
    for (int taken = 0; taken < count && i < text.size(); ++taken) {
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
        ++i;
    }
    return text.left(i);
}

std::optional<LimitFault> checkLimits(const Limits &l, bool ascending)
{
    const char *title = ascending ? "Invalid Limit Value!" : "Invalid Limit Level Value!";
    const char *heading = ascending ? "For Ascending Limits...." : "For Descending Limits....";
    const Rule ascendingRules[] = {
        {l.warning, l.upper, Level::Upper, "The value of the Upper Limit must be greater than the Warning Limit.",
         "Please enter a new Upper Limit Value."},
        {l.caution, l.warning, Level::Warning, "The value of the Warning Limit must be greater than the Caution Limit.",
         "Please enter a new Warning Limit Value."},
        {l.lower, l.caution, Level::Caution, "The value of the Caution Limit must be greater than the Lower Limit.",
         "Please enter a new Caution OR Lower Limit Value."},
    };
    const Rule descendingRules[] = {
        {l.caution, l.upper, Level::Upper, "The value of the Upper Limit must be greater than the Caution Limit.",
         "Please enter a new Upper Limit Value."},
        {l.warning, l.caution, Level::Caution, "The value of the Caution Limit must be greater than the Warning Limit.",
         "Please enter a new Caution Limit Value."},
        {l.lower, l.warning, Level::Warning, "The value of the Warning Limit must be greater than the Lower Limit.",
         "Please enter a new Warning OR Lower Limit Value."},
    };
    for (const Rule &r : ascending ? ascendingRules : descendingRules) {
        if (r.failsIfAtLeast >= r.mustExceed) {
            return LimitFault{QLatin1String(title), limitMessage(heading, r.rule, r.request), r.corrected,
                              r.failsIfAtLeast + 1};
        }
    }
    return std::nullopt;
}

QString correctionText(double value) { return numberText(value, NumberForm::Str); }

QString clampScanRateText(const QString &text)
{
    QString result = text;
    if (!(readNumber(result) >= kScanRateMin))
        result = QString::number(kScanRateMin);
    if (readNumber(result) > kScanRateMax)
        result = QString::number(kScanRateMax);
    return result;
}

QString colourCode(ColourOption option)
{
    switch (option) {
    case ColourOption::Red:
        return QStringLiteral("255");
    case ColourOption::Green:
        return QStringLiteral("65280");
    case ColourOption::Yellow:
        return QStringLiteral("65535");
    case ColourOption::Blue:
        break;
    }
    // Blue is the high byte: 255 << 16 is 16711680, but the option has
    // always written 16776960 (blue and green), and rows hold that code.
    return QStringLiteral("16776960");
}

ColourOption optionForColour(ColourGroup group, const QString &text)
{
    switch (group) {
    case ColourGroup::Display: {
        const double v = readNumber(text);
        if (v == 65280)
            return ColourOption::Green;
        if (v == 65535)
            return ColourOption::Yellow;
        if (v == 16776960)
            return ColourOption::Blue;
        return ColourOption::Red;
    }
    case ColourGroup::Units:
        if (text == QLatin1String("255"))
            return ColourOption::Red;
        if (text == QLatin1String("65280"))
            return ColourOption::Green;
        if (text == QLatin1String("16776960"))
            return ColourOption::Blue;
        return ColourOption::Yellow;
    case ColourGroup::Output:
    case ColourGroup::Hold:
    case ColourGroup::Comm:
        break;
    }
    if (text == QLatin1String("255"))
        return ColourOption::Red;
    if (text == QLatin1String("65535"))
        return ColourOption::Yellow;
    if (text == QLatin1String("16776960"))
        return ColourOption::Blue;
    return ColourOption::Green;
}

QString inputFunctionLabel(const QString &multiplier, const QString &offset, bool offsetEdited)
{
    return (offsetEdited ? QStringLiteral("Displayed Value =") : QStringLiteral("Displayed Value=")) + multiplier
           + QStringLiteral("(Input Value) +") + offset;
}

QString outputFunctionLabel(const QString &multiplier, const QString &offset)
{
    return QStringLiteral("Output Value=") + multiplier + QStringLiteral("(Displayed Value) +") + offset;
}

bool selectsAscending(const QString &directionText) { return directionText == QLatin1String("Ascending"); }

int frameTopTwips(bool warning, int element, bool ascending)
{
    // The upper of the two slots goes to Warning for ascending limits.
    const bool upperSlot = warning == ascending;
    if (element == 0)
        return upperSlot ? 1830 : 2580;
    return upperSlot ? 1560 : 2400;
}

QVariant columnValue(schema::FieldType type, const QString &text, bool columnWasEmpty)
{
    using schema::FieldType;
    switch (type) {
    case FieldType::Text:
        if (text.isEmpty() && columnWasEmpty)
            return {};
        return text;
    case FieldType::YesNo:
        return text == QLatin1String("1");
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Double:
    case FieldType::Counter:
        if (text.trimmed().isEmpty() && columnWasEmpty)
            return {};
        return readNumber(text);
    }
    return {};
}

QString fieldText(const QVariant &stored)
{
    if (!stored.isValid() || stored.isNull())
        return {};
    switch (stored.typeId()) {
    case QMetaType::Double:
        return QString::number(stored.toDouble(), 'g', QLocale::FloatingPointShortest);
    case QMetaType::Bool:
        return stored.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    default:
        return stored.toString();
    }
}

} // namespace quellix::config::props
