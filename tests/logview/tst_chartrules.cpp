// The data chart's rules: numbers read from stored texts, the chart window
// after fills, scrolling and the points field, the series of a fill and the
// details of a selected point.

#include "chartrules.h"

#include <QTest>

#include <climits>

using namespace quellix::logview;
using quellix::config::ChartWindow;
using quellix::config::SampleText;

namespace {

ChartWindow win(int count, int start, int end, int shown = 0)
{
    ChartWindow w;
    w.pointCount = count;
    w.windowStart = start;
    w.windowEnd = end;
    w.pointsShown = shown;
    return w;
}

QString text(const ChartWindow &w)
{
    return QStringLiteral("%1-%2 of %3, %4 shown").arg(w.windowStart).arg(w.windowEnd).arg(w.pointCount).arg(w.pointsShown);
}

// Samples at "12/07/97 10:15:32 AM" with values i, 10 i and 100 i for i = 1 … n.
QVector<SampleText> samples(int n, const QString &time = QStringLiteral("12/07/97 10:15:32 AM"))
{
    QVector<SampleText> b;
    for (int i = 1; i <= n; ++i)
        b.append({time, QStringLiteral(" %1").arg(i), QStringLiteral(" %1").arg(10 * i), QStringLiteral(" %1").arg(100 * i)});
    return b;
}

} // namespace

class TestChartRules : public QObject
{
    Q_OBJECT
private slots:
    void readsNumbersFromTexts()
    {
        const struct { const char *text; double number; } rows[] = {
            {" 12.5", 12.5}, {" .5", 0.5}, {"-.25", -0.25}, {"+7", 7}, {"  -3E+2 volts", -300},
            {"1e+x", 1}, {"12abc", 12}, {"1.2.3", 1.2}, {"abc", 0}, {"", 0}, {"- 5", 0}, {" .", 0},
            {" NaN", 0}, {"1e999", 0},
        };
        for (const auto &r : rows)
            QVERIFY2(readNumber(QString::fromUtf8(r.text)) == r.number, r.text);
        // The points field: halves to the even neighbour.
        const struct { const char *text; int points; } points[] = {
            {"2.5", 2}, {"3.5", 4}, {"-2.5", -2}, {" 7.49", 7}, {"1e300", INT_MAX}, {"ten", 0},
        };
        for (const auto &p : points)
            QVERIFY2(roundHalfEven(readNumber(QString::fromUtf8(p.text))) == p.points, p.text);
    }

    void windowRules()
    {
        enum Rule { Fill, Scroll, Drag, Points };
        const struct { const char *name; ChartWindow before; Rule rule; int value; const char *after; bool rewrite; } rows[] = {
            {"first fill charts all", win(0, 0, 0), Fill, 3, "1-3 of 3, 0 shown", false},
            {"later fill keeps window", win(100, 11, 20, 10), Fill, 100, "11-20 of 100, 10 shown", false},
            {"start beyond, width kept", win(100, 40, 42, 3), Fill, 8, "6-8 of 8, 3 shown", false},
            {"start beyond, wider", win(100, 40, 49, 10), Fill, 8, "1-8 of 8, 10 shown", false},
            {"end beyond", win(100, 2, 100, 99), Fill, 8, "2-8 of 8, 99 shown", false},
            {"no samples", win(8, 5, 8, 4), Fill, 0, "5-8 of 0, 4 shown", false},
            {"scroll shrinks points", win(8, 4, 8, 10), Scroll, 4, "4-8 of 8, 5 shown", true},
            {"scroll inside", win(8, 1, 3, 3), Scroll, 2, "2-4 of 8, 3 shown", false},
            {"drag keeps points", win(8, 1, 8, 10), Drag, 4, "4-8 of 8, 10 shown", false},
            {"fewer points", win(8, 1, 8, 8), Points, 3, "1-3 of 8, 3 shown", false},
            {"too many points", win(8, 1, 3, 3), Points, 20, "1-8 of 8, 8 shown", true},
            {"points from start 5", win(8, 5, 6, 2), Points, 4, "5-8 of 8, 4 shown", true},
            {"no points", win(8, 3, 8, 6), Points, 0, "3-2 of 8, 0 shown", false},
            {"huge points", win(8, 3, 8, 6), Points, INT_MAX, "3-8 of 8, 6 shown", true},
        };
        for (const auto &r : rows) {
            const WindowChange c = r.rule == Fill     ? WindowChange{windowAfterFill(r.before, r.value), false}
                                   : r.rule == Points ? windowAfterPoints(r.before, r.value)
                                                      : windowAfterScroll(r.before, r.value, r.rule == Drag);
            QVERIFY2(text(c.window) == QLatin1String(r.after), qPrintable(QString::fromLatin1(r.name) + ": " + text(c.window)));
            QVERIFY2(c.rewritePoints == r.rewrite, r.name);
        }
    }

    void planSeries()
    {
        const QString all = QStringLiteral("Input Display Output Upper Warning Caution Lower");
        const struct { const char *name; bool line; std::array<bool, 3> selected; ChartWindow w; QString labels, rows, first; } rows[] = {
            // first: the first value of each series
            {"2D Line ignores selectors", true, {false, false, false}, win(5, 2, 3), all, "2 3", "2 20 200 9 7 3 -1"},
            {"checked in order", false, {false, true, true}, win(5, 1, 3), "Display Output", "1 2 3", "10 100"},
            {"none checked", false, {false, false, false}, win(5, 1, 5), "", "1 2 3 4 5", ""},
            {"window cut at buffer end", false, {true, false, false}, win(5, 4, 9), "Input", "4 5", "4"},
            {"empty window", false, {true, false, false}, win(5, 3, 2), "Input", "", ""},
            {"start before buffer", true, {true, true, true}, win(5, 0, 3), all, "", ""},
        };
        for (const auto &r : rows) {
            const ChartPlan plan = planChart(r.line, r.selected, {9, 7, 3, -1}, r.w, samples(5));
            QStringList labels, rowLabels, first;
            for (const PlannedSeries &s : plan.series) {
                labels << s.label;
                QVERIFY2(s.values.size() == plan.rowCount, r.name);
                if (plan.rowCount)
                    first << QString::number(s.values.first());
            }
            for (int k = 1; k <= plan.rowCount; ++k)
                rowLabels << plan.rowLabel(k);
            QCOMPARE(labels.join(' '), r.labels);
            QCOMPARE(rowLabels.join(' '), r.rows);
            QCOMPARE(first.join(' '), r.first);
        }
        const QVector<SampleText> odd{{"x", "volts", " 2.5kPa", ""}}; // texts that are no numbers read as 0
        QCOMPARE(planChart(false, {true, true, true}, {}, win(1, 1, 1), odd).series[1].values.first(), 2.5);
        QCOMPARE(planChart(false, {true, true, true}, {}, win(1, 1, 1), odd).series[0].values.first(), 0.0);
    }

    void pointDetails()
    {
        // Window 11 … 20; Display and Output checked (2D Line draws all three).
        const struct { const char *name; QString time; bool line; int series, k; QString expected; } rows[] = {
            {"second point at start 11", "12/07/97 10:15:32 AM", false, 0, 2, "12/07/97 |10:15:32 AM| 120"},
            {"2D Line: the clicked series", "12/07/97 10:15:32 AM", true, 2, 1, "12/07/97 |10:15:32 AM| 1100"},
            {"short time", "10:15", false, 0, 1, "|10:15| 110"},
            {"empty time", "", false, 0, 1, "|| 110"},
            {"limit line", "12/07/97 10:15:32 AM", true, 3, 1, "none"},
            {"row past window", "12/07/97 10:15:32 AM", false, 0, 11, "none"},
            {"no such series", "12/07/97 10:15:32 AM", false, 2, 1, "none"},
        };
        for (const auto &r : rows) {
            const QVector<SampleText> b = samples(20, r.time);
            const ChartPlan plan = planChart(r.line, {false, true, true}, {}, win(20, 11, 20), b);
            const auto got = quellix::logview::pointDetails(plan, r.series, r.k, b);
            const QString shown = got ? got->date + '|' + got->time + '|' + got->value : QStringLiteral("none");
            QCOMPARE(shown, r.expected);
        }
    }
};

QTEST_APPLESS_MAIN(TestChartRules)
#include "tst_chartrules.moc"
