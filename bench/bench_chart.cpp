// The data chart on a full store: a DATA of 1,000,000 samples of 200
// controls (5,000 each, interleaved), built once with raw multi-row INSERTs
// in one transaction.
//
//   BM_ChartFill/0   the sample buffer of one control (fillSampleBuffer():
//                    its newest 5,000 samples read and kept as texts)
//   BM_ChartFill/1   the whole fill of the data view in 2D Line (the buffer,
//                    then the seven series of 5,000 rows put into the chart)
// each against a raw SELECT ... ORDER BY "Num" DESC LIMIT 5000 of the same
// control read into rows, on the event log's own connection (baseline);
// counters ratio (bound 1.5), raw_ms and rows.
//
//   BM_ChartDraw/<code>  one style drawn: the chart filled from the buffer
//                    of 5,000 samples and the view painted at 900 x 520; no
//                    bound (what a scroll bar step costs the operator)
//
// A bound that is exceeded ends its benchmark with an error.

#include "benchsupport.h"
#include "rawsamples.h"
#include "windowstate.h"
#include "dataview.h"
#include "logstore.h"
#include "connectioncache.h"
#include "sqlcipherlog.h"
#include "storefiles.h"

#include <benchmark/benchmark.h>

#include <QChart>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdio>

#include <sqlcipher/sqlite3.h>

using namespace quellix;
using namespace quellix::store;
using Clock = std::chrono::steady_clock;
using benchsupport::ms;

namespace {

constexpr int kSamples = 1000000;
constexpr int kControls = 200;
const QString kViewed = QStringLiteral("Tank042");

QString control(int i) { return QStringLiteral("Tank%1").arg(i % kControls, 3, 10, QLatin1Char('0')); }

void exec(sqlite3 *db, const char *sql)
{
    char *err = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &err) != SQLITE_OK)
        std::fprintf(stderr, "%s: %s\n", sql, err ? err : "?");
    sqlite3_free(err);
}

// LOG.MDB in `dir` with kSamples samples, written on a connection of its own.
QString buildStore(const QString &dir)
{
    setInformationHandler([](const QString &, const QString &) {});
    const QString path = dir + QStringLiteral("/LOG.MDB");
    createLogStore(path);
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_key(db, kStorePassword, int(strlen(kStorePassword)));
    exec(db, kStoreCipherSettings);
    exec(db, "BEGIN");
    constexpr int perStatement = 125; // 5 values a row, at most 999 a statement
    QString sql = QStringLiteral("INSERT INTO DATA (\"Control\",\"Time\",\"Input Value\",\"Display Value\","
                                 "\"Output Value\") VALUES ");
    for (int r = 0; r < perStatement; ++r)
        sql += r ? QStringLiteral(",(?,?,?,?,?)") : QStringLiteral("(?,?,?,?,?)");
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr);
    const QByteArray time = logTimeNow().toUtf8();
    std::vector<QByteArray> names;
    for (int c = 0; c < kControls; ++c)
        names.push_back(control(c).toUtf8());
    for (int start = 0; start < kSamples; start += perStatement) {
        for (int r = 0; r < perStatement; ++r) {
            const int i = start + r;
            const int b = r * 5;
            sqlite3_bind_text(st, b + 1, names[size_t(i % kControls)].constData(), -1, SQLITE_STATIC);
            sqlite3_bind_text(st, b + 2, time.constData(), -1, SQLITE_STATIC);
            sqlite3_bind_double(st, b + 3, i * 0.25);
            sqlite3_bind_double(st, b + 4, i * 0.5);
            sqlite3_bind_double(st, b + 5, -i * 1.5);
        }
        if (sqlite3_step(st) != SQLITE_DONE)
            std::fprintf(stderr, "insert: %s\n", sqlite3_errmsg(db));
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    exec(db, "COMMIT");
    exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    sqlite3_close(db);
    return path;
}

struct Dataset
{
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<EventLog> log;
    std::shared_ptr<Connection> connection; // the event log's own
    Dataset()
    {
        const auto start = Clock::now();
        path = buildStore(dir.path());
        log = makeSqlCipherEventLog(path);
        log->newestSamples(kViewed, 1); // opened, indexes looked at
        connection = Connection::acquire(path, QLatin1String(kStorePassword));
        std::fprintf(stderr, "dataset built in %.1f s\n", ms(Clock::now() - start) / 1000);
    }
};

Dataset &dataset()
{
    static Dataset d;
    return d;
}

void BM_ChartFill(benchmark::State &state)
{
    Dataset &d = dataset();
    const bool wholeChart = state.range(0) == 1;
    state.SetLabel(wholeChart ? "buffer and 2D Line chart" : "sample buffer");
    logview::DataView view;
    view.setSubject(kViewed, {900000, 600000, 300000, 1000});
    view.setStyle(logview::kStyle2DLine);

    sqlite3_stmt *sel = nullptr;
    sqlite3_prepare_v2(d.connection->handle(),
                       "SELECT \"Num\",\"Control\",\"Time\",\"Input Value\",\"Display Value\",\"Output Value\" "
                       "FROM DATA WHERE \"Control\" = ? ORDER BY \"Num\" DESC LIMIT 5000",
                       -1, &sel, nullptr);
    double ours = 0, baseline = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        if (wholeChart)
            view.fill(*d.log);
        else
            logview::fillSampleBuffer(*d.log, kViewed);
        const auto took = Clock::now() - t0;
        state.SetIterationTime(ms(took) / 1000);
        ours += ms(took);

        const auto t1 = Clock::now();
        const QVector<SampleRow> raws = benchsupport::rawNewestSamples(sel, kViewed.toUtf8());
        baseline += ms(Clock::now() - t1);
        benchmark::DoNotOptimize(raws.data());
    }
    sqlite3_finalize(sel);
    const double ratio = ours / baseline;
    const int rows = int(config::sharedWindowState().sampleBuffer.size());
    state.counters["rows"] = rows;
    state.counters["raw_ms"] = baseline / double(state.iterations());
    state.counters["ratio"] = ratio;
    if (rows != 5000 || config::sharedWindowState().sampleBuffer.last().input != QStringLiteral(" 249960.5"))
        state.SkipWithError("not the newest 5000 samples of the control");
    else if (wholeChart && view.chart()->series().size() != 7)
        state.SkipWithError("not the seven series of 2D Line");
    else if (ratio > 1.5)
        state.SkipWithError("the fill beyond 1.5x the raw SELECT");
}
BENCHMARK(BM_ChartFill)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

void BM_ChartDraw(benchmark::State &state)
{
    Dataset &d = dataset();
    logview::DataView view;
    view.setSubject(kViewed, {});
    view.resize(900, 520);
    view.enter(*d.log);
    for (auto _ : state) {
        view.setStyle(int(state.range(0)));
        QCoreApplication::processEvents(); // the chart's layout requests
        benchmark::DoNotOptimize(view.grab());
    }
    state.counters["points"] = config::sharedWindowState().chartWindow.windowEnd - config::sharedWindowState().chartWindow.windowStart + 1;
}
BENCHMARK(BM_ChartDraw)->DenseRange(0, 9)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

QUELLIX_BENCHMARK_MAIN()
