#include "chartrules.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

namespace quellix::logview {

namespace {

bool isDigit(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

int clampToInt(qint64 v) { return int(std::clamp<qint64>(v, INT_MIN, INT_MAX)); }

// The window end for a start and a number of points: never past the newest
// sample.
int windowEnd(qint64 start, qint64 shown, int pointCount)
{
    return clampToInt(std::min<qint64>(start + shown - 1, pointCount));
}

} // namespace

double readNumber(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == QLatin1Char(' ') || text[i] == QLatin1Char('\t')))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        negative = text[i++] == QLatin1Char('-');

    // Digits, an optional point with digits, then an exponent only when it
    // has digits of its own.
    std::string number;
    qsizetype mantissaDigits = 0;
    for (; i < n && isDigit(text[i]); ++i, ++mantissaDigits)
        number += char(text[i].unicode());
    if (i < n && text[i] == QLatin1Char('.')) {
        number += '.';
        for (++i; i < n && isDigit(text[i]); ++i, ++mantissaDigits)
            number += char(text[i].unicode());
    }
    if (mantissaDigits == 0)
        return 0;
    if (i < n && (text[i] == QLatin1Char('E') || text[i] == QLatin1Char('e'))) {
        qsizetype j = i + 1;
        std::string exponent = "e";
        if (j < n && (text[j] == QLatin1Char('+') || text[j] == QLatin1Char('-')))
            exponent += char(text[j++].unicode());
        const qsizetype digitsFrom = j;
        for (; j < n && isDigit(text[j]); ++j)
            exponent += char(text[j].unicode());
        if (j > digitsFrom)
            number += exponent;
    }
    double value = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (ec != std::errc() || !std::isfinite(value))
        return 0;
    return negative ? -value : value;
}

int roundHalfEven(double value)
{
    if (std::isnan(value))
        return 0;
    if (value >= double(INT_MAX))
        return INT_MAX;
    if (value <= double(INT_MIN))
        return INT_MIN;
    // The default rounding mode rounds halves to the even neighbour.
    return int(std::nearbyint(value));
}

config::ChartWindow windowAfterFill(config::ChartWindow w, int pointCount)
{
    w.pointCount = std::max(0, pointCount);
    if (w.windowStart == 0) {
        w.windowStart = 1;
        w.windowEnd = w.pointCount;
        return w;
    }
    if (w.pointCount == 0)
        return w;
    if (w.windowStart > w.pointCount) {
        const qint64 width = std::max<qint64>(1, qint64(w.windowEnd) - w.windowStart + 1);
        w.windowStart = clampToInt(std::max<qint64>(1, w.pointCount - width + 1));
        w.windowEnd = w.pointCount;
    }
    w.windowEnd = std::min(w.windowEnd, w.pointCount);
    return w;
}

WindowChange windowAfterScroll(config::ChartWindow w, int position, bool dragging)
{
    WindowChange change;
    w.windowStart = position;
    if (!dragging && qint64(w.windowStart) + w.pointsShown > w.pointCount) {
        w.pointsShown = clampToInt(qint64(w.pointCount) - w.windowStart + 1);
        change.rewritePoints = true;
    }
    w.windowEnd = windowEnd(w.windowStart, w.pointsShown, w.pointCount);
    change.window = w;
    return change;
}

WindowChange windowAfterPoints(config::ChartWindow w, int asked)
{
    WindowChange change;
    w.pointsShown = asked;
    if (qint64(w.pointCount) - w.windowStart < w.pointsShown) {
        w.pointsShown = clampToInt(qint64(w.pointCount) - w.windowStart + 1);
        change.rewritePoints = true;
    }
    w.windowEnd = windowEnd(w.windowStart, w.pointsShown, w.pointCount);
    change.window = w;
    return change;
}

QString seriesLabel(int source)
{
    static const char *const labels[] = {"Input", "Display", "Output", "Upper", "Warning", "Caution", "Lower"};
    return source >= 0 && source < 7 ? QString::fromLatin1(labels[source]) : QString();
}

namespace {

const QString &valueText(const config::SampleText &s, int source)
{
    return source == 0 ? s.input : source == 1 ? s.display : s.output;
}

} // namespace

ChartPlan planChart(bool lineStyle, const std::array<bool, 3> &selected, const std::array<double, 4> &limits,
                    const config::ChartWindow &window, const QVector<config::SampleText> &buffer)
{
    ChartPlan plan;
    plan.firstRow = window.windowStart;
    if (window.windowStart >= 1) {
        const qint64 last = std::min<qint64>(window.windowEnd, buffer.size());
        plan.rowCount = int(std::max<qint64>(0, last - window.windowStart + 1));
    }
    const qsizetype first = qsizetype(plan.firstRow) - 1;

    for (int source = 0; source < 3; ++source) {
        if (!lineStyle && !selected[size_t(source)])
            continue;
        PlannedSeries s{source, seriesLabel(source), {}};
        s.values.resize(plan.rowCount);
        for (int k = 0; k < plan.rowCount; ++k)
            s.values[k] = readNumber(valueText(buffer[first + k], source));
        plan.series << s;
    }
    if (lineStyle) {
        for (int l = 0; l < 4; ++l)
            plan.series << PlannedSeries{kLimitSourceFirst + l, seriesLabel(kLimitSourceFirst + l),
                                         QVector<double>(plan.rowCount, limits[size_t(l)])};
    }
    return plan;
}

TimeParts splitTime(const QString &text)
{
    if (text.size() <= 11)
        return {QString(), text};
    return {text.left(text.size() - 11), text.right(11)};
}

std::optional<PointDetails> pointDetails(const ChartPlan &plan, int seriesIndex, int k,
                                         const QVector<config::SampleText> &buffer)
{
    if (seriesIndex < 0 || seriesIndex >= plan.series.size() || k < 1 || k > plan.rowCount)
        return std::nullopt;
    const int source = plan.series[seriesIndex].source;
    if (source >= kLimitSourceFirst)
        return std::nullopt;
    const qint64 b = qint64(plan.firstRow) + k - 1;
    if (b < 1 || b > buffer.size())
        return std::nullopt;
    const config::SampleText &s = buffer[qsizetype(b - 1)];
    const TimeParts parts = splitTime(s.time);
    return PointDetails{parts.date, parts.time, valueText(s, source)};
}

} // namespace quellix::logview
