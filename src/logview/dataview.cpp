#include "dataview.h"

#include "chartrules.h"
#include "windowstate.h"
#include "recordtext.h"

#include <QAreaSeries>
#include <QBarSeries>
#include <QBarSet>
#include <QCategoryAxis>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegend>
#include <QLegendMarker>
#include <QLineEdit>
#include <QLineSeries>
#include <QLinearGradient>
#include <QLoggingCategory>
#include <QPointer>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <exception>

Q_LOGGING_CATEGORY(lcChart, "quellix.chart")

namespace quellix::logview {

namespace {

// Runs a step of a slot, a connected lambda or a fill: what it throws is
// logged and goes no further (never through the event loop).
template<typename Fn>
void guarded(const char *what, Fn &&fn) noexcept
{
    try {
        fn();
    } catch (const std::exception &e) {
        qCWarning(lcChart, "%s: %s", what, e.what());
    } catch (...) {
        qCWarning(lcChart, "%s: unknown error", what);
    }
}

constexpr std::array<ChartStyle, 10> kStyles{{
    {"m_2DAREA", "2D Area", 5},
    {"m_3DAREA", "3D Area", 4},
    {"m_2DBAR", "2D Bar", 1},
    {"m_3DBAR", "3D Bar", 0},
    {"m_2DCOMBINATION", "2D Combination", 9},
    {"m_3DCOMBINATION", "3D Combination", 8},
    {"m_2DLINE", "2D Line", 3},
    {"m_3DLINE", "3D Line", 2},
    {"m_2DSTEP", "2D Step", 7},
    {"m_3DSTEP", "3D Step", 6},
}};

// How a style draws its series.
enum class Shape { Area, Bar, Combination, Line, Step };
struct Look
{
    Shape shape = Shape::Line;
    bool depth = false; // the 3D styles: shading and a shadow behind
};

Look lookOf(int code)
{
    switch (code) {
    case 5: return {Shape::Area, false};
    case 4: return {Shape::Area, true};
    case 1: return {Shape::Bar, false};
    case 0: return {Shape::Bar, true};
    case 9: return {Shape::Combination, false};
    case 8: return {Shape::Combination, true};
    case 7: return {Shape::Step, false};
    case 6: return {Shape::Step, true};
    case 2: return {Shape::Line, true};
    default: return {Shape::Line, false};
    }
}

QColor colourOf(int source)
{
    static const QColor colours[] = {
        QColor(0x1f, 0x5f, 0xbf), // input: blue
        QColor(0x2c, 0x9a, 0x2c), // display: green
        QColor(0xd9, 0x6a, 0x00), // output: orange
        QColor(0xc0, 0x00, 0x20), // upper limit: red
        QColor(0xe6, 0x8a, 0x00), // warning: amber
        QColor(0xc8, 0xb4, 0x00), // caution: yellow
        QColor(0x70, 0x30, 0xa0), // lower limit: purple
    };
    return colours[std::clamp(source, 0, 6)];
}

const char kPlanIndex[] = "planIndex"; // a drawn series' place in the plan
const char kDepth[] = "depthShadow";   // a shadow series of a 3D style

// Chart row k (1-based) sits at x = k - 1; a click at x picks the row it is
// nearest to.
int rowAt(double x) { return int(std::lround(x)) + 1; }

QList<QPointF> linePoints(const QVector<double> &values, double dx = 0, double dy = 0)
{
    QList<QPointF> points;
    points.reserve(values.size());
    for (qsizetype i = 0; i < values.size(); ++i)
        points.append(QPointF(double(i) + dx, values[i] + dy));
    return points;
}

// A flat step half a row either side of each row.
QList<QPointF> stepPoints(const QVector<double> &values, double dx = 0, double dy = 0)
{
    QList<QPointF> points;
    points.reserve(values.size() * 2);
    for (qsizetype i = 0; i < values.size(); ++i) {
        points.append(QPointF(double(i) - 0.5 + dx, values[i] + dy));
        points.append(QPointF(double(i) + 0.5 + dx, values[i] + dy));
    }
    return points;
}

// The zero line under an area.
QLineSeries *baseline(qsizetype rows, double dx = 0, double dy = 0)
{
    auto *line = new QLineSeries;
    QList<QPointF> points;
    for (qsizetype i = 0; i < rows; ++i)
        points.append(QPointF(double(i) + dx, dy));
    line->append(points);
    return line;
}

QBrush shadedBrush(const QColor &c, Qt::Orientation across)
{
    QLinearGradient g(0, 0, across == Qt::Horizontal ? 1 : 0, across == Qt::Vertical ? 1 : 0);
    g.setCoordinateMode(QGradient::ObjectMode);
    g.setColorAt(0, c.lighter(165));
    g.setColorAt(0.45, c);
    g.setColorAt(1, c.darker(190));
    return QBrush(g);
}

// The labels of the x axis: the row numbers, at most about a dozen of them.
QCategoryAxis *rowAxis(const ChartPlan &plan)
{
    auto *axis = new QCategoryAxis;
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    axis->setStartValue(-0.5);
    axis->setRange(-0.5, std::max(plan.rowCount, 1) - 0.5);
    int step = 1;
    for (const int s : {1, 2, 5, 10, 20, 25, 50, 100, 200, 250, 500, 1000})
        if ((step = s) * 12 >= plan.rowCount)
            break;
    for (int i = 0; i < plan.rowCount; i += step)
        axis->append(plan.rowLabel(i + 1), i);
    axis->setGridLineVisible(false);
    return axis;
}

} // namespace

const std::array<ChartStyle, 10> &chartStyles()
{
    return kStyles;
}

void fillSampleBuffer(store::EventLog &log, const QString &control)
{
    QVector<store::SampleRow> rows;
    try {
        rows = log.newestSamples(control, 5000);
    } catch (const std::exception &e) {
        qCWarning(lcChart, "reading the samples of %s: %s", qUtf8Printable(control), e.what());
        return;
    }
    QVector<config::SampleText> buffer;
    buffer.reserve(rows.size());
    for (const store::SampleRow &r : std::as_const(rows))
        buffer.append({r.time, numberText(r.record.inputValue, NumberForm::Str),
                       numberText(r.record.displayValue, NumberForm::Str),
                       numberText(r.record.outputValue, NumberForm::Str)});
    config::SharedWindowState &shared = config::sharedWindowState();
    shared.sampleBuffer = std::move(buffer);
    shared.chartWindow = windowAfterFill(shared.chartWindow, int(shared.sampleBuffer.size()));
}

void populateChart(QChart *chart, int style, const std::array<bool, 3> &selected,
                   const std::array<double, 4> &limits)
{
    if (!chart)
        return;
    chart->removeAllSeries();
    for (QAbstractAxis *axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
    const config::SharedWindowState &shared = config::sharedWindowState();
    const ChartPlan plan = planChart(style == kStyle2DLine, selected, limits, shared.chartWindow, shared.sampleBuffer);
    if (plan.series.isEmpty())
        return;
    if (plan.rowCount == 0) {
        // Named series without rows and without axes: an axis over no
        // values has no range.
        for (int i = 0; i < plan.series.size(); ++i) {
            auto *empty = new QLineSeries;
            empty->setName(plan.series[i].label);
            empty->setProperty(kPlanIndex, i);
            chart->addSeries(empty);
        }
        return;
    }
    const Look look = lookOf(style);

    // The value range, with the zero line for shapes that stand on it.
    double low = 0, high = 0;
    bool any = false;
    for (const PlannedSeries &s : plan.series)
        for (const double v : s.values) {
            low = any ? std::min(low, v) : v;
            high = any ? std::max(high, v) : v;
            any = true;
        }
    if (look.shape != Shape::Line && look.shape != Shape::Step) {
        low = std::min(low, 0.0);
        high = std::max(high, 0.0);
    }
    const double span = high - low > 0 ? high - low : std::max(1.0, std::fabs(high));
    // The depth of a 3D style: its shadows lie up and to the right, behind.
    const double dx = look.depth ? std::max(0.2, plan.rowCount * 0.006) : 0;
    const double dy = look.depth ? span * 0.035 : 0;
    double bottom = low - span * 0.06;
    double top = high + dy + span * 0.06;
    if (low >= 0 && bottom < 0) // no room below a zero that no value goes under
        bottom = 0;
    if (high <= 0 && top > 0)
        top = 0;

    auto *xAxis = rowAxis(plan);
    auto *yAxis = new QValueAxis;
    yAxis->setRange(bottom, top);
    yAxis->applyNiceNumbers();
    chart->addAxis(xAxis, Qt::AlignBottom);
    chart->addAxis(yAxis, Qt::AlignLeft);
    const auto attach = [&](QAbstractSeries *series) {
        chart->addSeries(series);
        series->attachAxis(xAxis);
        series->attachAxis(yAxis);
    };
    const auto hideFromLegend = [&](QAbstractSeries *series) {
        for (QLegendMarker *m : chart->legend()->markers(series))
            m->setVisible(false);
    };

    // Shadows first, so the series are drawn over them.
    const auto addShadow = [&](const PlannedSeries &s, bool area, bool step) {
        // Opaque: a dense line's segments would darken each other.
        const QColor shade(185, 185, 185);
        auto *line = new QLineSeries;
        line->append(step ? stepPoints(s.values, dx, dy) : linePoints(s.values, dx, dy));
        line->setProperty(kDepth, true);
        QAbstractSeries *shadow = line;
        if (area) {
            auto *a = new QAreaSeries(line, baseline(s.values.size(), dx, dy));
            a->setBrush(shade);
            a->setPen(Qt::NoPen);
            a->setProperty(kDepth, true);
            shadow = a;
        } else {
            line->setPen(QPen(shade, 5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        }
        shadow->setName(s.label);
        attach(shadow);
        hideFromLegend(shadow);
    };

    // The bar part of the bar and combination styles: one bar set a series,
    // named by its label.
    QBarSeries *bars = nullptr;
    const auto addBar = [&](const PlannedSeries &s, int index) {
        if (!bars) {
            bars = new QBarSeries;
            bars->setBarWidth(look.shape == Shape::Combination ? 0.6 : 0.85);
        }
        auto *set = new QBarSet(s.label);
        set->append(QList<qreal>(s.values.cbegin(), s.values.cend()));
        const QColor c = colourOf(s.source);
        if (look.depth) {
            set->setBrush(shadedBrush(c, Qt::Horizontal));
            set->setPen(QPen(c.darker(220), 1));
        } else {
            set->setBrush(c);
            set->setPen(Qt::NoPen);
        }
        set->setProperty(kPlanIndex, index);
        bars->append(set);
    };

    QVector<int> asLines, asBars;
    for (int i = 0; i < plan.series.size(); ++i) {
        const bool bar = look.shape == Shape::Bar || (look.shape == Shape::Combination && i == 0);
        (bar ? asBars : asLines) << i;
    }
    // Areas further back first, so that each stays visible in front of the
    // next (their legend then reads from the back).
    if (look.shape == Shape::Area && look.depth)
        std::reverse(asLines.begin(), asLines.end());
    if (look.depth) {
        for (const int i : asLines)
            addShadow(plan.series[i], look.shape == Shape::Area, look.shape == Shape::Step);
    }
    for (const int i : asBars)
        addBar(plan.series[i], i);
    if (bars)
        attach(bars);

    const bool markers = plan.rowCount <= 60;
    for (const int i : asLines) {
        const PlannedSeries &s = plan.series[i];
        const QColor c = colourOf(s.source);
        auto *line = new QLineSeries;
        line->append(look.shape == Shape::Step ? stepPoints(s.values) : linePoints(s.values));
        line->setName(s.label);
        QAbstractSeries *drawn = line;
        if (s.source >= kLimitSourceFirst) {
            line->setPen(QPen(c, 2, Qt::DashLine));
        } else if (look.shape == Shape::Area) {
            auto *area = new QAreaSeries(line, baseline(s.values.size()));
            area->setName(s.label);
            QColor fill = c;
            fill.setAlpha(look.depth ? 200 : 90); // the series behind show through
            area->setBrush(look.depth ? shadedBrush(fill, Qt::Vertical) : QBrush(fill));
            area->setPen(QPen(c.darker(look.depth ? 160 : 110), 2));
            drawn = area;
        } else {
            line->setPen(QPen(c, look.depth ? 4 : 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            line->setPointsVisible(markers && look.shape != Shape::Step);
            line->setMarkerSize(look.depth ? 9 : 7);
        }
        drawn->setProperty(kPlanIndex, i);
        attach(drawn);
    }
    chart->legend()->setVisible(true);
    chart->legend()->setAlignment(Qt::AlignBottom);
}

// The stepper on the points field: only its two arrows.
class UpDown : public QSpinBox
{
public:
    explicit UpDown(QWidget *parent) : QSpinBox(parent)
    {
        lineEdit()->hide();
        setFrame(false);
        setFixedWidth(18);
        setFocusPolicy(Qt::NoFocus);
    }
};

struct DataView::Private
{
    DataView *q = nullptr;
    QChart *chart = nullptr;
    QChartView *view = nullptr;
    std::array<QCheckBox *, 3> selectors{};
    QLabel *pointsLabel = nullptr;
    QLineEdit *points = nullptr;
    UpDown *stepper = nullptr;
    QScrollBar *scroll = nullptr;
    QLabel *dateLabel = nullptr, *timeLabel = nullptr, *valueLabel = nullptr;
    QLineEdit *date = nullptr, *time = nullptr, *value = nullptr;
    QLabel *message = nullptr;
    QString control;                // the viewed control
    std::array<double, 4> limits{}; // its limits: upper, warning, caution, lower
    int style = kStyle2DLine;
    bool active = false;   // between enter() and leave()
    bool rewriting = false; // the points field is written by a rule
    ChartPlan plan;        // what the chart shows now

    void redraw();
    void connectClicks();
    void showPoint(int seriesIndex, int k);
    void showDetails(bool details);
    void applyWindow(const WindowChange &change);
    void scrolled(int position, bool dragging);
    void pointsEdited();
    void writePoints(int shown);
};

void DataView::Private::redraw()
{
    config::SharedWindowState &shared = config::sharedWindowState();
    shared.chartWindow.seriesCount = int(std::count_if(selectors.cbegin(), selectors.cend(),
                                                       [](const QCheckBox *c) { return c->isChecked(); }));
    for (QCheckBox *c : selectors)
        c->setVisible(active && style != kStyle2DLine);
    const std::array<bool, 3> chosen = q->selectors();
    populateChart(chart, style, chosen, limits);
    plan = planChart(style == kStyle2DLine, chosen, limits, shared.chartWindow, shared.sampleBuffer);
    connectClicks();
}

void DataView::Private::connectClicks()
{
    for (QAbstractSeries *series : chart->series()) {
        if (series->property(kDepth).toBool())
            continue;
        const int index = series->property(kPlanIndex).toInt();
        if (auto *line = qobject_cast<QLineSeries *>(series)) {
            QObject::connect(line, &QXYSeries::clicked, q, [this, index](const QPointF &p) {
                guarded("selecting a point", [&] { showPoint(index, rowAt(p.x())); });
            });
        } else if (auto *area = qobject_cast<QAreaSeries *>(series)) {
            QObject::connect(area, &QAreaSeries::clicked, q, [this, index](const QPointF &p) {
                guarded("selecting a point", [&] { showPoint(index, rowAt(p.x())); });
            });
        } else if (auto *bars = qobject_cast<QBarSeries *>(series)) {
            for (QBarSet *set : bars->barSets()) {
                const int setIndex = set->property(kPlanIndex).toInt();
                QObject::connect(set, &QBarSet::clicked, q, [this, setIndex](int i) {
                    guarded("selecting a point", [&] { showPoint(setIndex, i + 1); });
                });
            }
        }
    }
}

void DataView::Private::showPoint(int seriesIndex, int k)
{
    const std::optional<PointDetails> details = pointDetails(plan, seriesIndex, k, config::sharedWindowState().sampleBuffer);
    if (!details)
        return;
    date->setText(details->date);
    time->setText(details->time);
    value->setText(details->value);
    showDetails(true);
}

void DataView::Private::showDetails(bool details)
{
    message->setVisible(active && !details);
    for (QWidget *w : {static_cast<QWidget *>(dateLabel), static_cast<QWidget *>(date),
                       static_cast<QWidget *>(timeLabel), static_cast<QWidget *>(time),
                       static_cast<QWidget *>(valueLabel), static_cast<QWidget *>(value)})
        w->setVisible(active && details);
}

void DataView::Private::writePoints(int shown)
{
    const QString text = numberText(shown, NumberForm::Str);
    rewriting = true;
    if (points->text() != text)
        points->setText(text);
    rewriting = false;
    const QSignalBlocker block(stepper);
    stepper->setValue(shown);
}

void DataView::Private::applyWindow(const WindowChange &change)
{
    config::sharedWindowState().chartWindow = change.window;
    if (change.rewritePoints)
        writePoints(change.window.pointsShown);
    redraw();
}

void DataView::Private::scrolled(int position, bool dragging)
{
    applyWindow(windowAfterScroll(config::sharedWindowState().chartWindow, position, dragging));
}

void DataView::Private::pointsEdited()
{
    if (rewriting)
        return;
    const int asked = roundHalfEven(readNumber(points->text()));
    {
        const QSignalBlocker block(stepper);
        stepper->setValue(asked);
    }
    applyWindow(windowAfterPoints(config::sharedWindowState().chartWindow, asked));
}

DataView::DataView(QWidget *parent) : QWidget(parent), d(std::make_unique<Private>())
{
    d->q = this;
    d->chart = new QChart;
    d->chart->setAnimationOptions(QChart::NoAnimation);
    d->view = new QChartView(d->chart, this);
    d->view->setObjectName(QStringLiteral("graph_DATA"));
    d->view->setRenderHint(QPainter::Antialiasing);
    d->view->setFocusPolicy(Qt::ClickFocus);
    d->view->installEventFilter(this);
    d->view->setMinimumSize(360, 240);

    static const char *const selectorTexts[] = {"Input Value", "Display Value", "Output Value"};
    auto *selectorRow = new QHBoxLayout;
    for (int i = 0; i < 3; ++i) {
        auto *box = new QCheckBox(QString::fromLatin1(selectorTexts[i]), this);
        box->setObjectName(QStringLiteral("chk_SELECTOR"));
        box->setProperty("index", i);
        box->setToolTip(QStringLiteral("Press To Select/Deselect The Display Of The %1")
                            .arg(QString::fromLatin1(selectorTexts[i])));
        box->setChecked(true);
        connect(box, &QCheckBox::clicked, this, [this] { guarded("choosing the series", [&] { d->redraw(); }); });
        d->selectors[size_t(i)] = box;
        selectorRow->addWidget(box);
    }
    selectorRow->addStretch(1);

    d->pointsLabel = new QLabel(QStringLiteral("# Points Shown"), this);
    d->pointsLabel->setObjectName(QStringLiteral("l_NUMDATS"));
    d->points = new QLineEdit(this);
    d->points->setObjectName(QStringLiteral("t_NUMDATS"));
    d->points->setToolTip(QStringLiteral("Enter The Number Of Data Points To Display"));
    d->points->setFixedWidth(70);
    d->pointsLabel->setBuddy(d->points);
    d->stepper = new UpDown(this);
    d->stepper->setObjectName(QStringLiteral("UpDown1"));
    d->stepper->setToolTip(QStringLiteral("Scroll Up Or Down To Select The Number Of Points"));
    d->stepper->setRange(0, 0);
    selectorRow->addWidget(d->pointsLabel);
    selectorRow->addWidget(d->points);
    selectorRow->addWidget(d->stepper);
    selectorRow->setSpacing(6);
    connect(d->points, &QLineEdit::textChanged, this,
            [this] { guarded("changing the points shown", [&] { d->pointsEdited(); }); });
    connect(d->stepper, &QSpinBox::valueChanged, this, [this](int v) {
        guarded("stepping the points shown", [&] { d->points->setText(numberText(v, NumberForm::Str)); });
    });

    d->scroll = new QScrollBar(Qt::Horizontal, this);
    d->scroll->setObjectName(QStringLiteral("scr_POSITION"));
    d->scroll->setRange(0, 0);
    connect(d->scroll, &QScrollBar::valueChanged, this, [this](int v) {
        guarded("moving the window", [&] { d->scrolled(v, d->scroll->isSliderDown()); });
    });
    connect(d->scroll, &QScrollBar::sliderReleased, this, [this] {
        guarded("moving the window", [&] { d->scrolled(d->scroll->value(), false); });
    });

    const auto label = [this](const char *name, const char *text) {
        auto *l = new QLabel(QString::fromLatin1(text), this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    const auto field = [this](const char *name) {
        auto *f = new QLineEdit(this);
        f->setObjectName(QString::fromLatin1(name));
        f->setReadOnly(true);
        return f;
    };
    d->dateLabel = label("t_DATELABEL", "Date Recorded  :");
    d->date = field("t_DATE");
    d->timeLabel = label("t_TIMELABEL", "Time Recorded  :");
    d->time = field("t_TIME");
    d->valueLabel = label("t_VALUELABEL", "Value Recorded :");
    d->value = field("t_VALUE");
    d->message = label("t_DATAPOINTMESSAGE",
                       "No Data Point is currently selected.  \r\nSelect Data Point on graph to view \r\n"
                       "data details by clicking on the top of a bar or line point.\r\n");
    d->message->setWordWrap(true);
    d->message->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    auto *details = new QGridLayout;
    details->addWidget(d->message, 0, 0, 1, 2);
    details->addWidget(d->dateLabel, 1, 0);
    details->addWidget(d->date, 1, 1);
    details->addWidget(d->timeLabel, 2, 0);
    details->addWidget(d->time, 2, 1);
    details->addWidget(d->valueLabel, 3, 0);
    details->addWidget(d->value, 3, 1);
    details->setRowStretch(4, 1);
    auto *detailsBox = new QWidget(this);
    detailsBox->setLayout(details);
    detailsBox->setFixedWidth(230);

    auto *top = new QHBoxLayout;
    top->addWidget(d->view, 1);
    top->addWidget(detailsBox);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(top, 1);
    layout->addLayout(selectorRow);
    layout->addWidget(d->scroll);

    leave();
}

DataView::~DataView() = default;

void DataView::setStyle(int code)
{
    if (code < 0 || code > 9)
        return;
    d->style = code;
    guarded("drawing the chart", [&] { d->redraw(); });
}

int DataView::style() const
{
    return d->style;
}

void DataView::setSubject(const QString &controlName, const std::array<double, 4> &limits)
{
    d->control = controlName;
    d->limits = limits;
}

std::array<bool, 3> DataView::selectors() const
{
    return {d->selectors[0]->isChecked(), d->selectors[1]->isChecked(), d->selectors[2]->isChecked()};
}

QChart *DataView::chart() const
{
    return d->chart;
}

void DataView::fill(store::EventLog &log)
{
    guarded("filling the chart", [&] {
        fillSampleBuffer(log, d->control);
        d->redraw();
        // The scroll bar and the stepper reach no further than the samples
        // now held (after Clear Data: none), so no position names a sample
        // that is gone.
        const config::ChartWindow &w = config::sharedWindowState().chartWindow;
        const QSignalBlocker blockScroll(d->scroll);
        d->scroll->setRange(std::min(1, w.pointCount), w.pointCount);
        d->scroll->setValue(w.windowStart);
        const QSignalBlocker blockStepper(d->stepper);
        d->stepper->setRange(std::min(1, w.pointCount), w.pointCount);
    });
}

void DataView::enter(store::EventLog &log)
{
    d->active = true;
    guarded("entering the data view", [&] {
        d->chart->setTitle(QStringLiteral("Recorded Data For ") + d->control);
        for (QWidget *w : {static_cast<QWidget *>(d->view), static_cast<QWidget *>(d->pointsLabel),
                           static_cast<QWidget *>(d->points), static_cast<QWidget *>(d->stepper),
                           static_cast<QWidget *>(d->scroll)})
            w->show();
        for (QCheckBox *c : d->selectors)
            c->show();
        d->showDetails(false);
        fill(log);

        config::ChartWindow &w = config::sharedWindowState().chartWindow;
        w.pointsShown = w.pointCount;
        {
            const QSignalBlocker block(d->stepper);
            d->stepper->setRange(std::min(1, w.pointCount), w.pointCount);
        }
        // The points field takes the count, which applies the points rule
        // (also when the field showed that text already).
        d->rewriting = true;
        d->points->setText(numberText(w.pointsShown, NumberForm::Str));
        d->rewriting = false;
        d->pointsEdited();
    });
}

void DataView::leave()
{
    d->active = false;
    for (QWidget *w : {static_cast<QWidget *>(d->view), static_cast<QWidget *>(d->pointsLabel),
                       static_cast<QWidget *>(d->points), static_cast<QWidget *>(d->stepper),
                       static_cast<QWidget *>(d->scroll)})
        w->hide();
    for (QCheckBox *c : d->selectors)
        c->hide();
    d->showDetails(false);
}

bool DataView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == d->view && event->type() == QEvent::FocusOut)
        d->showDetails(false);
    return QWidget::eventFilter(watched, event);
}

} // namespace quellix::logview
