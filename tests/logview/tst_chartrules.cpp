// The data chart's rules: numbers read from stored texts, the chart window
// after fills, scrolling and the points field, the series of a fill and the
// details of a selected point.

#include "chartrules.h"

#include <QTest>

#include <climits>
#include <cmath>

using namespace quellix::logview;
using quellix::config::ChartWindow;
using quellix::config::SampleText;

Q_DECLARE_METATYPE(ChartWindow)

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

QString describe(const ChartWindow &w)
{
    return QStringLiteral("count %1 start %2 end %3 shown %4")
        .arg(w.pointCount).arg(w.windowStart).arg(w.windowEnd).arg(w.pointsShown);
}

// Samples "time i", values i, 10 i and 100 i for i = 1 … n.
QVector<SampleText> samples(int n)
{
    QVector<SampleText> b;
    for (int i = 1; i <= n; ++i)
        b.append({QStringLiteral("01/02/2026 0%1:00:00 AM").arg(i % 10), QStringLiteral(" %1").arg(i),
                  QStringLiteral(" %1").arg(10 * i), QStringLiteral(" %1").arg(100 * i)});
    return b;
}

} // namespace

class TestChartRules : public QObject
{
    Q_OBJECT
private slots:
    void readsLeadingNumber_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("Str form") << " 12.5" << 12.5;
        QTest::newRow("no zero before point") << " .5" << 0.5;
        QTest::newRow("negative point") << "-.25" << -0.25;
        QTest::newRow("plus sign") << "+7" << 7.0;
        QTest::newRow("exponent") << "  -3E+2 volts" << -300.0;
        QTest::newRow("exponent without digits") << "1e+x" << 1.0;
        QTest::newRow("trailing text") << "12abc" << 12.0;
        QTest::newRow("tab before") << "\t4" << 4.0;
        QTest::newRow("second point ends it") << "1.2.3" << 1.2;
        QTest::newRow("not a number") << "abc" << 0.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("sign only") << "- 5" << 0.0;
        QTest::newRow("point only") << " ." << 0.0;
        QTest::newRow("NaN text") << " NaN" << 0.0;
        QTest::newRow("beyond a double") << "1e999" << 0.0;
    }
    void readsLeadingNumber()
    {
        QFETCH(QString, text);
        QFETCH(double, expected);
        QCOMPARE(readNumber(text), expected);
    }

    void roundsHalvesToEven_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        QTest::newRow("2.5 asks for 2") << "2.5" << 2;
        QTest::newRow("3.5 asks for 4") << "3.5" << 4;
        QTest::newRow("negative half") << "-2.5" << -2;
        QTest::newRow("below half") << " 7.49" << 7;
        QTest::newRow("huge") << "1e300" << INT_MAX;
        QTest::newRow("text") << "ten" << 0;
    }
    void roundsHalvesToEven()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(roundHalfEven(readNumber(text)), expected);
        QCOMPARE(roundHalfEven(std::nan("")), 0);
    }

    void windowAfterFill_data()
    {
        QTest::addColumn<ChartWindow>("before");
        QTest::addColumn<int>("count");
        QTest::addColumn<ChartWindow>("expected");
        QTest::newRow("first fill charts all") << win(0, 0, 0) << 3 << win(3, 1, 3);
        QTest::newRow("kept window") << win(100, 11, 20, 10) << 100 << win(100, 11, 20, 10);
        QTest::newRow("start beyond, width kept") << win(100, 40, 42, 3) << 8 << win(8, 6, 8, 3);
        QTest::newRow("start beyond, wider than count") << win(100, 40, 49, 10) << 8 << win(8, 1, 8, 10);
        QTest::newRow("end beyond") << win(100, 2, 100, 99) << 8 << win(8, 2, 8, 99);
        QTest::newRow("no samples") << win(8, 5, 8, 4) << 0 << win(0, 5, 8, 4);
    }
    void windowAfterFill()
    {
        QFETCH(ChartWindow, before);
        QFETCH(int, count);
        QFETCH(ChartWindow, expected);
        QCOMPARE(describe(quellix::logview::windowAfterFill(before, count)), describe(expected));
    }

    void windowAfterScrollAndPoints_data()
    {
        QTest::addColumn<ChartWindow>("before");
        QTest::addColumn<QString>("rule"); // "scroll", "drag" or "points"
        QTest::addColumn<int>("value");
        QTest::addColumn<ChartWindow>("expected");
        QTest::addColumn<bool>("rewrite");
        QTest::newRow("scroll shrinks points") << win(8, 4, 8, 10) << "scroll" << 4 << win(8, 4, 8, 5) << true;
        QTest::newRow("scroll inside") << win(8, 1, 3, 3) << "scroll" << 2 << win(8, 2, 4, 3) << false;
        QTest::newRow("drag keeps points") << win(8, 1, 8, 10) << "drag" << 4 << win(8, 4, 8, 10) << false;
        QTest::newRow("fewer points") << win(8, 1, 8, 8) << "points" << 3 << win(8, 1, 3, 3) << false;
        QTest::newRow("too many points") << win(8, 1, 3, 3) << "points" << 20 << win(8, 1, 8, 8) << true;
        QTest::newRow("points from start 5") << win(8, 5, 6, 2) << "points" << 4 << win(8, 5, 8, 4) << true;
        QTest::newRow("no points") << win(8, 3, 8, 6) << "points" << 0 << win(8, 3, 2, 0) << false;
        QTest::newRow("huge points") << win(8, 3, 8, 6) << "points" << INT_MAX << win(8, 3, 8, 6) << true;
    }
    void windowAfterScrollAndPoints()
    {
        QFETCH(ChartWindow, before);
        QFETCH(QString, rule);
        QFETCH(int, value);
        QFETCH(ChartWindow, expected);
        QFETCH(bool, rewrite);
        const WindowChange c = rule == QLatin1String("points") ? windowAfterPoints(before, value)
                                                                : windowAfterScroll(before, value, rule == QLatin1String("drag"));
        QCOMPARE(describe(c.window), describe(expected));
        QCOMPARE(c.rewritePoints, rewrite);
    }

    void planSeries_data()
    {
        QTest::addColumn<bool>("line");
        QTest::addColumn<QVector<bool>>("selected");
        QTest::addColumn<ChartWindow>("window");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QStringList>("rowLabels");
        QTest::addColumn<QVector<double>>("lastSeries");
        const QStringList all{"Input", "Display", "Output", "Upper", "Warning", "Caution", "Lower"};
        QTest::newRow("2D Line ignores selectors") << true << QVector<bool>{false, false, false} << win(5, 2, 3)
                                                   << all << QStringList{"2", "3"} << QVector<double>{-1, -1};
        QTest::newRow("checked in order") << false << QVector<bool>{false, true, true} << win(5, 1, 3)
                                          << QStringList{"Display", "Output"} << QStringList{"1", "2", "3"}
                                          << QVector<double>{100, 200, 300};
        QTest::newRow("one checked") << false << QVector<bool>{true, false, false} << win(5, 4, 5)
                                     << QStringList{"Input"} << QStringList{"4", "5"} << QVector<double>{4, 5};
        QTest::newRow("none checked") << false << QVector<bool>{false, false, false} << win(5, 1, 5)
                                      << QStringList{} << QStringList{"1", "2", "3", "4", "5"} << QVector<double>{};
        QTest::newRow("window past buffer cut") << false << QVector<bool>{true, false, false} << win(5, 4, 9)
                                                << QStringList{"Input"} << QStringList{"4", "5"} << QVector<double>{4, 5};
        QTest::newRow("empty window") << false << QVector<bool>{true, false, false} << win(5, 3, 2)
                                      << QStringList{"Input"} << QStringList{} << QVector<double>{};
        QTest::newRow("start before buffer") << true << QVector<bool>{true, true, true} << win(5, 0, 3)
                                             << all << QStringList{} << QVector<double>{};
    }
    void planSeries()
    {
        QFETCH(bool, line);
        QFETCH(QVector<bool>, selected);
        QFETCH(ChartWindow, window);
        QFETCH(QStringList, labels);
        QFETCH(QStringList, rowLabels);
        QFETCH(QVector<double>, lastSeries);
        const ChartPlan plan = planChart(line, {selected[0], selected[1], selected[2]}, {9, 7, 3, -1}, window, samples(5));
        QStringList gotLabels, gotRows;
        for (const PlannedSeries &s : plan.series) {
            gotLabels << s.label;
            QCOMPARE(s.values.size(), plan.rowCount);
        }
        for (int k = 1; k <= plan.rowCount; ++k)
            gotRows << plan.rowLabel(k);
        QCOMPARE(gotLabels, labels);
        QCOMPARE(gotRows, rowLabels);
        QCOMPARE(plan.series.isEmpty() ? QVector<double>{} : plan.series.last().values, lastSeries);
        if (line && plan.rowCount > 0) { // the upper limit and the input texts
            QCOMPARE(plan.series[3].values.first(), 9.0);
            QCOMPARE(plan.series[0].values.first(), double(window.windowStart));
        }
    }

    void unreadableValuesChartAsZero()
    {
        QVector<SampleText> b{{QStringLiteral("x"), QStringLiteral("volts"), QStringLiteral(" 2.5kPa"), QString()}};
        const ChartPlan plan = planChart(false, {true, true, true}, {}, win(1, 1, 1), b);
        QCOMPARE(plan.series.size(), 3);
        QCOMPARE(plan.series[0].values, QVector<double>{0});
        QCOMPARE(plan.series[1].values, QVector<double>{2.5});
        QCOMPARE(plan.series[2].values, QVector<double>{0});
    }

    void pointDetails_data()
    {
        QTest::addColumn<QString>("time");
        QTest::addColumn<bool>("line");
        QTest::addColumn<int>("series");
        QTest::addColumn<int>("k");
        QTest::addColumn<QStringList>("expected"); // date, time, value; empty: nothing selected
        QTest::newRow("second point at start 11") << "12/07/97 10:15:32 AM" << false << 0 << 2
                                                  << QStringList{"12/07/97 ", "10:15:32 AM", " 120"};
        QTest::newRow("2D Line shows the clicked series") << "12/07/97 10:15:32 AM" << true << 2 << 1
                                                          << QStringList{"12/07/97 ", "10:15:32 AM", " 1100"};
        QTest::newRow("short time") << "10:15" << false << 0 << 1 << QStringList{"", "10:15", " 110"};
        QTest::newRow("empty time") << "" << false << 0 << 1 << QStringList{"", "", " 110"};
        QTest::newRow("exactly 11") << "10:15:32 AM" << false << 0 << 1 << QStringList{"", "10:15:32 AM", " 110"};
        QTest::newRow("limit line") << "12/07/97 10:15:32 AM" << true << 3 << 1 << QStringList{};
        QTest::newRow("row past window") << "12/07/97 10:15:32 AM" << false << 0 << 11 << QStringList{};
        QTest::newRow("no such series") << "12/07/97 10:15:32 AM" << false << 2 << 1 << QStringList{};
    }
    void pointDetails()
    {
        QFETCH(QString, time);
        QFETCH(bool, line);
        QFETCH(int, series);
        QFETCH(int, k);
        QFETCH(QStringList, expected);
        QVector<SampleText> b = samples(20);
        for (SampleText &s : b)
            s.time = time;
        // Window 11 … 20; Display and Output checked (in 2D Line all three drawn).
        const ChartPlan plan = planChart(line, {false, true, true}, {}, win(20, 11, 20), b);
        const auto got = quellix::logview::pointDetails(plan, series, k, b);
        QCOMPARE(got.has_value(), !expected.isEmpty());
        if (got)
            QCOMPARE((QStringList{got->date, got->time, got->value}), expected);
    }
};

QTEST_APPLESS_MAIN(TestChartRules)
#include "tst_chartrules.moc"
