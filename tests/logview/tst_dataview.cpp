// The data view over a real LOG.MDB: the newest samples charted, the 2D Line
// series, the selectors, the points field with its stepper, the scroll bar,
// a clicked point's details and the ten styles drawn differently.

#include "windowstate.h"
#include "dataview.h"
#include "stores.h"
#include "testsupport.h"

#include <QAbstractSeries>
#include <QBarSeries>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

using namespace quellix;
using namespace quellix::logview;

namespace {

// Quotation marks, an apostrophe, a percent sign and non-ASCII letters.
const QString kName = QStringLiteral("Tank \"1\" O'Brien 50%_Kühl");

// `count` samples of `control` (input i, display 10 i, output 100 i, for
// i = 1 … count) interleaved with as many of another control; `time` is the
// stored time text.
void addSamples(const QString &dir, const QString &control, int count,
                const QString &values = QStringLiteral("x * (1 - k) - k, (x % 7) * 10.0, x * 100"))
{
    const QString time = QStringLiteral("12/07/1997 10:15:32 AM");
    const QString quoted = QString(control).replace("'", "''");
    const QString sql = QStringLiteral(
        "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1) "
        "INSERT INTO DATA (\"Control\", \"Time\", \"Input Value\", \"Display Value\", \"Output Value\") "
        "SELECT CASE WHEN k = 0 THEN '%2' ELSE 'Tank' END, '%3', %4 "
        "FROM c, (SELECT 0 AS k UNION ALL SELECT 1) ORDER BY x, k")
        .arg(count).arg(quoted, time, values);
    QCOMPARE(testsupport::execSql(dir + "/LOG.MDB", sql), 0);
}

QStringList seriesNames(QChart *chart)
{
    QStringList names;
    for (QAbstractSeries *s : chart->series()) {
        if (s->property("depthShadow").toBool())
            continue;
        if (auto *bars = qobject_cast<QBarSeries *>(s))
            for (QBarSet *set : bars->barSets())
                names << set->label();
        else
            names << s->name();
    }
    return names;
}

} // namespace

class TestDataView : public QObject
{
    Q_OBJECT
    std::unique_ptr<testsupport::StoreDir> m_dir;
    std::unique_ptr<DataView> m_view;
    std::shared_ptr<store::Stores> m_stores;

    store::EventLog &log() { return m_stores->log(); }
    template<typename T>
    T *child(const char *name) { return m_view->findChild<T *>(QString::fromLatin1(name)); }
    QLineEdit *points() { return child<QLineEdit>("t_NUMDATS"); }
    // The drawn (not shadow) line series of this name.
    QLineSeries *drawn(const QString &name)
    {
        for (QAbstractSeries *s : m_view->chart()->series())
            if (s->name() == name && !s->property("depthShadow").toBool())
                return qobject_cast<QLineSeries *>(s);
        return nullptr;
    }
    QString window()
    {
        const config::ChartWindow &w = config::sharedWindowState().chartWindow;
        return QStringLiteral("%1-%2 of %3, %4 shown").arg(w.windowStart).arg(w.windowEnd).arg(w.pointCount).arg(w.pointsShown);
    }
    // A data view entered for kName with `count` samples in style `style`.
    void enter(int count, int style = kStyle2DLine)
    {
        addSamples(m_dir->path(), kName, count);
        m_view->setStyle(style);
        m_view->enter(log());
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<testsupport::StoreDir>();
        store::createLogStore(m_dir->file("LOG.MDB"));
        m_stores = store::openStores(store::StoreLocation::directory(m_dir->path()));
        config::sharedWindowState().chartWindow = {};
        config::sharedWindowState().sampleBuffer.clear();
        m_view = std::make_unique<DataView>();
        m_view->setSubject(kName, {90, 70, 30, 10});
        m_view->resize(900, 520);
        m_view->show();
    }
    void cleanup()
    {
        m_view.reset();
        m_stores.reset();
        m_dir.reset();
    }

    void chartsNewestSamplesOfItsControl()
    {
        enter(5003);
        QCOMPARE(window(), QStringLiteral("1-5000 of 5000, 5000 shown"));
        const QVector<config::SampleText> &b = config::sharedWindowState().sampleBuffer;
        QCOMPARE(b.first().input, QStringLiteral(" 4"));
        QCOMPARE(b.last().input, QStringLiteral(" 5003"));
        QCOMPARE(b.last().output, QStringLiteral(" 500300"));
        QCOMPARE(child<QScrollBar>("scr_POSITION")->maximum(), 5000);
        QCOMPARE(child<QSpinBox>("UpDown1")->maximum(), 5000);
        QCOMPARE(points()->text(), QStringLiteral(" 5000"));
    }

    void lineStyleDrawsSevenSeries()
    {
        enter(3);
        QChart *chart = m_view->chart();
        QCOMPARE(chart->title(), QStringLiteral("Recorded Data For ") + kName);
        QCOMPARE(seriesNames(chart), (QStringList{"Input", "Display", "Output", "Upper", "Warning", "Caution", "Lower"}));
        for (QCheckBox *c : m_view->findChildren<QCheckBox *>("chk_SELECTOR"))
            QVERIFY(c->isHidden());
        QCOMPARE(drawn("Input")->points(), (QList<QPointF>{{0, 1}, {1, 2}, {2, 3}}));
        QCOMPARE(drawn("Upper")->points(), (QList<QPointF>{{0, 90}, {1, 90}, {2, 90}}));
    }

    void selectorsChooseSeries()
    {
        enter(3, 1); // 2D Bar
        const auto boxes = m_view->findChildren<QCheckBox *>("chk_SELECTOR");
        QCOMPARE(boxes.size(), 3);
        QCheckBox *display = nullptr;
        for (QCheckBox *c : boxes) {
            QVERIFY(c->isVisible());
            if (c->property("index").toInt() == 1)
                display = c;
        }
        display->click();
        QCOMPARE(seriesNames(m_view->chart()), (QStringList{"Input", "Output"}));
        QCOMPARE(config::sharedWindowState().chartWindow.seriesCount, 2);
        for (QCheckBox *c : boxes)
            if (c->isChecked())
                c->click();
        QVERIFY(m_view->chart()->series().isEmpty());
        QCOMPARE(config::sharedWindowState().chartWindow.seriesCount, 0);
    }

    void pointsFieldAndStepper_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("window");
        QTest::newRow("2.5 asks for 2") << "2.5" << "2.5" << "1-2 of 8, 2 shown";
        QTest::newRow("3.5 asks for 4") << "3.5" << "3.5" << "1-4 of 8, 4 shown";
        QTest::newRow("too many rewritten") << "20" << " 8" << "1-8 of 8, 8 shown";
        QTest::newRow("not a number") << "x" << "x" << "1-0 of 8, 0 shown";
    }
    void pointsFieldAndStepper()
    {
        QFETCH(QString, typed);
        QFETCH(QString, field);
        QFETCH(QString, window);
        enter(8);
        points()->selectAll();
        QTest::keyClicks(points(), typed);
        QCOMPARE(points()->text(), field);
        QCOMPARE(this->window(), window);

        auto *stepper = child<QSpinBox>("UpDown1");
        stepper->setValue(3); // a step of the stepper writes the field
        QCOMPARE(points()->text(), QStringLiteral(" 3"));
        QCOMPARE(this->window(), QStringLiteral("1-3 of 8, 3 shown"));
    }

    void scrollBarMovesWindow()
    {
        enter(8);
        config::sharedWindowState().chartWindow.pointsShown = 10;
        auto *scroll = child<QScrollBar>("scr_POSITION");
        scroll->setValue(4);
        QCOMPARE(window(), QStringLiteral("4-8 of 8, 5 shown"));
        QCOMPARE(points()->text(), QStringLiteral(" 5"));

        scroll->setValue(1);
        points()->setText("3");
        scroll->setSliderDown(true); // a drag moves the window only
        scroll->setValue(7);
        QCOMPARE(window(), QStringLiteral("7-8 of 8, 3 shown"));
        QCOMPARE(points()->text(), QStringLiteral("3"));
        scroll->setSliderDown(false); // its end applies the change rule
        QCOMPARE(window(), QStringLiteral("7-8 of 8, 2 shown"));
        QCOMPARE(points()->text(), QStringLiteral(" 2"));
    }

    void keptStartBeyondNewControl()
    {
        enter(20);
        child<QScrollBar>("scr_POSITION")->setValue(15);
        m_view->setSubject("Small", {90, 70, 30, 10});
        addSamples(m_dir->path(), "Small", 4);
        m_view->enter(log());
        QCOMPARE(window(), QStringLiteral("1-4 of 4, 4 shown"));
        QCOMPARE(seriesNames(m_view->chart()).size(), 7);
    }

    void anotherProgramChangesSamples()
    {
        enter(5);
        testsupport::Raw other(m_dir->file("LOG.MDB"));
        QCOMPARE(other.exec("BEGIN EXCLUSIVE; DELETE FROM DATA;"), 0); // locked, not yet committed
        m_view->fill(log());
        QCOMPARE(window(), QStringLiteral("1-5 of 5, 5 shown"));
        QCOMPARE(other.exec("COMMIT"), 0);
        m_view->fill(log());
        QCOMPARE(config::sharedWindowState().chartWindow.pointCount, 0);
        QCOMPARE(child<QScrollBar>("scr_POSITION")->maximum(), 0); // no position names a gone sample
        for (QAbstractSeries *s : m_view->chart()->series())
            QCOMPARE(static_cast<QLineSeries *>(s)->count(), 0);

        // A time shorter than 11 characters (the file refuses values that
        // are not numbers).
        QVERIFY2(other.run("INSERT INTO DATA (\"Control\", \"Time\", \"Input Value\") VALUES (?, ?, ?)",
                           {kName, "1:05", 7.0}) == 0, qPrintable(other.error()));
        m_view->enter(log());
        QCOMPARE(window(), QStringLiteral("1-1 of 1, 1 shown"));
        QCOMPARE(config::sharedWindowState().sampleBuffer.last().time, QStringLiteral("1:05"));
        QCOMPARE(config::sharedWindowState().sampleBuffer.last().input, QStringLiteral(" 7"));
    }

    void clickedPointShowsDetails()
    {
        enter(20);
        child<QScrollBar>("scr_POSITION")->setValue(11);
        QChart *chart = m_view->chart();
        QLineSeries *output = drawn("Output");
        QVERIFY(output);
        auto *view = child<QChartView>("graph_DATA");
        m_view->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
        const QPoint at = view->mapFromScene(chart->mapToScene(chart->mapToPosition(QPointF(1, 1200), output)));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);

        QVERIFY(child<QLabel>("t_DATAPOINTMESSAGE")->isHidden());
        QCOMPARE(child<QLineEdit>("t_DATE")->text(), QStringLiteral("12/07/1997 "));
        QCOMPARE(child<QLineEdit>("t_TIME")->text(), QStringLiteral("10:15:32 AM"));
        QCOMPARE(child<QLineEdit>("t_VALUE")->text(), QStringLiteral(" 1200"));
        for (const char *name : {"t_DATELABEL", "t_TIMELABEL", "t_VALUELABEL"})
            QVERIFY2(child<QLabel>(name)->isVisible(), name);

        points()->setFocus(); // the chart loses the focus
        QVERIFY(child<QLabel>("t_DATAPOINTMESSAGE")->isVisible());
        QVERIFY(child<QLineEdit>("t_DATE")->isHidden());
        QCOMPARE(child<QLabel>("t_DATAPOINTMESSAGE")->text(),
                 QStringLiteral("No Data Point is currently selected.  \r\nSelect Data Point on graph to view \r\n"
                                "data details by clicking on the top of a bar or line point.\r\n"));
    }

    void tenStylesLookDifferent()
    {
        addSamples(m_dir->path(), kName, 12, "40 + (x * 7 % 13) * 3, 20 + (x * 5 % 9) * 6, 30 + x * 6");
        m_view->enter(log());
        QCOMPARE(int(chartStyles().size()), 10);
        QList<QImage> seen;
        const QString out = qEnvironmentVariable("QUELLIX_CHART_PNG_DIR");
        for (const ChartStyle &s : chartStyles()) {
            m_view->setStyle(s.code);
            QCOMPARE(m_view->style(), s.code);
            QTest::qWait(50); // the chart lays its series out from posted events
            const QImage image = child<QChartView>("graph_DATA")->grab().toImage();
            if (!out.isEmpty())
                image.save(QStringLiteral("%1/%2.png").arg(out, QString::fromLatin1(s.objectName)));
            for (const QImage &other : seen)
                QVERIFY2(image != other, s.caption);
            seen << image;
        }
        if (!out.isEmpty())
            m_view->grab().save(out + QStringLiteral("/dataview.png"));
        m_view->setStyle(12); // not a style: nothing changes
        QCOMPARE(m_view->style(), chartStyles().back().code);
    }
};

QTEST_MAIN(TestDataView)
#include "tst_dataview.moc"
