// The log viewer on a full log: LOG of 1,000,000 records of 60 controls
// (70% USER, 29% LIMIT, 1% SYSTEM), built once with raw INSERTs in one
// transaction; the viewer looks at Meter07.
//
//   BM_OpenViewer/<0|1>  the viewer built, shown and drawn once (its first
//                     screen) for the current list of every record, with the
//                     store file opened by the viewer (0: its key derived
//                     anew) or held by the viewed control (1); counter
//                     max_ms, bound 200 ms; ratio against the baseline
//   BM_FilterCommand/<n>  one filter command (button clicked, grid drawn):
//                     All Controls, This Control, then under each control
//                     filter All Msgs, System, User, Limit; counter max_ms,
//                     bound 200 ms; ratio against the baseline
//   BM_RawFirstPage   baseline: a raw SELECT of the first 256 rows of every
//                     record, in "Num" order, on a connection of its own,
//                     every column read as text
//   BM_ScrollMemory   resident memory growth from before opening the viewer
//                     to after scrolling the grid through 100,000 records;
//                     counter grown_MB, bound 64 MB
//   BM_ScanWhileViewing  a registered control scanning every 100 ms while
//                     the viewer opens, runs the eight filter commands and
//                     scrolls 20,000 records; counter worst_gap_ms (longest
//                     time between two scans), bound 200 ms
//
// A bound that is exceeded ends its benchmark with an error.

#include "benchsupport.h"
#include "windowstate.h"
#include "logmodel.h"
#include "logstore.h"
#include "logviewer.h"
#include "quellix.h"
#include "connectioncache.h"
#include "stores.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScrollBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>

#include <chrono>
#include <cstdio>
#include <unistd.h>

#include <sqlcipher/sqlite3.h>

using namespace quellix;
using namespace quellix::store;
using Clock = std::chrono::steady_clock;
using benchsupport::ms;
using benchsupport::residentKb;

namespace {

constexpr int kLogRows = 1000000;
constexpr int kLogControls = 60;
const QString kViewed = QStringLiteral("Meter07");

sqlite3 *openRaw(const QString &file)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_key(db, kStorePassword, int(strlen(kStorePassword)));
    sqlite3_exec(db, kStoreCipherSettings, nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(db, 60000);
    return db;
}

// What every viewer of the benchmarks is opened on.
logview::ViewerRequest request;

struct Dataset
{
    benchsupport::ScratchDir dir;
    sqlite3 *raw = nullptr;
    Dataset()
    {
        const auto start = Clock::now();
        const QString path = dir.path() + QStringLiteral("/LOG.MDB");
        createLogStore(path);
        raw = openRaw(path);
        sqlite3_exec(raw, "BEGIN", nullptr, nullptr, nullptr);
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(raw,
                           "INSERT INTO LOG (\"Control\",\"Time\",\"Type\",\"Event\",\"Input Value\",\"Input Function\","
                           "\"Display Value\",\"Output Function\",\"Output Value\",\"Hold Status\") "
                           "VALUES (?,?,?,?,?,' * 1 + 0',?,' * 1 + 0',?,?)",
                           -1, &st, nullptr);
        const QByteArray time = logTimeNow().toUtf8();
        for (int i = 0; i < kLogRows; ++i) {
            const QByteArray control = QStringLiteral("Meter%1").arg(i % kLogControls, 2, 10, QLatin1Char('0')).toUtf8();
            const int k = (i / kLogControls) % 100;
            const QByteArray event = QStringLiteral("Input Multiplier Change %1").arg(i).toUtf8();
            sqlite3_bind_text(st, 1, control.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 2, time.constData(), -1, SQLITE_STATIC);
            sqlite3_bind_text(st, 3, k == 0 ? "SYSTEM" : k < 30 ? "LIMIT" : "USER", -1, SQLITE_STATIC);
            sqlite3_bind_text(st, 4, event.constData(), -1, SQLITE_TRANSIENT);
            for (int c = 5; c <= 7; ++c)
                sqlite3_bind_double(st, c, i * 0.5);
            sqlite3_bind_int(st, 8, i % 2);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        sqlite3_exec(raw, "COMMIT", nullptr, nullptr, nullptr);
        sqlite3_exec(raw, "PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr);
        request.storeLocation = StoreLocation::directory(dir.path());
        request.controlName = kViewed;
        openStores(request.storeLocation)->log().count({}); // opened, indexes made
        std::fprintf(stderr, "dataset built in %.1f s\n", ms(Clock::now() - start) / 1000);
    }
};

Dataset &dataset()
{
    static Dataset d;
    return d;
}

// Medians of the latest runs, for the ratios.
double g_rawFirstPageMs = 0;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void resetList()
{
    config::ViewerContext &ctx = config::sharedWindowState().viewer;
    ctx.currentLogQuery.clear();
    ctx.currentFilter = {};
    ctx.currentListNone = false;
    ctx.controlFilter.clear();
}

void BM_RawFirstPage(benchmark::State &state)
{
    Dataset &d = dataset();
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = Clock::now();
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(d.raw, "SELECT * FROM LOG WHERE \"Control\" > '' ORDER BY \"Num\" LIMIT 256", -1, &st,
                           nullptr);
        int rows = 0;
        while (sqlite3_step(st) == SQLITE_ROW) {
            for (int c = 0; c < 11; ++c)
                benchmark::DoNotOptimize(sqlite3_column_text(st, c));
            ++rows;
        }
        sqlite3_finalize(st);
        times.push_back(ms(Clock::now() - start));
        state.SetIterationTime(times.back() / 1000);
        if (rows != 256)
            state.SkipWithError("the first page is not full");
    }
    g_rawFirstPageMs = median(times);
    state.counters["median_ms"] = g_rawFirstPageMs;
}
BENCHMARK(BM_RawFirstPage)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

void BM_OpenViewer(benchmark::State &state)
{
    dataset();
    resetList();
    std::vector<double> times;
    // 1: the viewed control holds its stores, as a registered control
    // does; 0: nobody does, so the viewer opens the file (and derives its
    // key) itself.
    std::shared_ptr<Stores> held;
    if (state.range(0) == 1)
        held = openStores(request.storeLocation);
    state.SetLabel(held ? "stores held by the control" : "stores opened by the viewer");
    for (auto _ : state) {
        const auto start = Clock::now();
        logview::LogViewer v(request);
        v.show();
        benchmark::DoNotOptimize(v.grab());
        times.push_back(ms(Clock::now() - start));
        state.SetIterationTime(times.back() / 1000);
    }
    const double worst = *std::max_element(times.begin(), times.end());
    state.counters["max_ms"] = worst;
    state.counters["median_ms"] = median(times);
    if (g_rawFirstPageMs > 0)
        state.counters["ratio"] = median(times) / g_rawFirstPageMs;
    if (worst > 200) {
        std::fprintf(stderr, "opening took %.1f ms at worst, median %.1f ms\n", worst, median(times));
        state.SkipWithError("the first screen took longer than 200 ms");
    }
}
BENCHMARK(BM_OpenViewer)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

const char *const kCommands[] = {"c_ALLCONTROLS", "c_THISCONTROLONLY"};
const char *const kMessages[] = {"c_ALLEVENTS", "c_SYSTEM", "c_USER", "c_LIMIT"};

void BM_FilterCommand(benchmark::State &state)
{
    dataset();
    resetList();
    const int n = int(state.range(0));
    logview::LogViewer v(request);
    v.show();
    auto *grid = v.findChild<QTableView *>(QStringLiteral("dbgrid_LOG"));
    // 0, 1: the control filters; 2-5: the messages under All Controls;
    // 6-9: under This Control.
    const auto click = [&](const char *name) { v.findChild<QToolButton *>(QLatin1String(name))->click(); };
    if (n >= 2)
        click(kCommands[n >= 6 ? 1 : 0]);
    const char *command = n < 2 ? kCommands[n] : kMessages[(n - 2) % 4];
    state.SetLabel(QStringLiteral("%1%2").arg(QLatin1String(command), n >= 6 ? QStringLiteral(" (this control)") : n >= 2 ? QStringLiteral(" (all controls)") : QString()).toStdString());
    std::vector<double> times;
    for (auto _ : state) {
        const auto start = Clock::now();
        click(command);
        grid->viewport()->repaint();
        times.push_back(ms(Clock::now() - start));
        state.SetIterationTime(times.back() / 1000);
    }
    if (grid->model()->rowCount() == 0 || !v.statusText().isEmpty())
        state.SkipWithError("the command listed nothing");
    const double worst = *std::max_element(times.begin(), times.end());
    state.counters["max_ms"] = worst;
    state.counters["median_ms"] = median(times);
    if (g_rawFirstPageMs > 0)
        state.counters["ratio"] = median(times) / g_rawFirstPageMs;
    if (worst > 200)
        state.SkipWithError("the first screen took longer than 200 ms");
}
BENCHMARK(BM_FilterCommand)->DenseRange(0, 9)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

// Drags the grid's scroll bar to its end until `rows` are listed.
void scrollThrough(QTableView *grid, int rows)
{
    while (grid->model()->rowCount() < rows && grid->model()->canFetchMore({})) {
        grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
        QCoreApplication::processEvents();
    }
}

void BM_ScrollMemory(benchmark::State &state)
{
    dataset();
    resetList();
    double grown = 0;
    int rows = 0;
    for (auto _ : state) {
        const long before = residentKb();
        logview::LogViewer v(request);
        v.show();
        auto *grid = v.findChild<QTableView *>(QStringLiteral("dbgrid_LOG"));
        scrollThrough(grid, 100000);
        grid->viewport()->repaint();
        rows = grid->model()->rowCount();
        grown = (residentKb() - before) / 1024.0;
    }
    state.counters["grown_MB"] = grown;
    state.counters["rows"] = rows;
    if (rows < 100000)
        state.SkipWithError("the grid did not fetch as it scrolled");
    else if (grown > 64)
        state.SkipWithError("memory grew by more than 64 MB");
}
BENCHMARK(BM_ScrollMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ScanWhileViewing(benchmark::State &state)
{
    Dataset &d = dataset();
    resetList();
    Quellix control;
    control.setObjectName(kViewed);
    control.REGISTER();
    // The scan period comes from the settings row when it is loaded.
    openStores(StoreLocation::directory(d.dir.path()))->settings().writeField(kViewed, quellix::schema::Field::Scanrate, 100);
    control.REGISTER();
    // The viewer is opened on the control's stores, as its Logs button would.
    request.storeLocation = StoreLocation::directory(d.dir.path());
    control.show();
    double worst = 0;
    int scans = 0;
    for (auto _ : state) {
        auto last = Clock::now();
        QObject::connect(&control, &Quellix::ScanComplete, &control, [&] {
            const auto now = Clock::now();
            worst = std::max(worst, ms(now - last));
            last = now;
            ++scans;
        });
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        {
            logview::LogViewer v(request);
            v.show();
            QCoreApplication::processEvents();
            for (const char *c : {"c_ALLCONTROLS", "c_SYSTEM", "c_USER", "c_LIMIT", "c_ALLEVENTS", "c_THISCONTROLONLY",
                                  "c_SYSTEM", "c_ALLEVENTS"}) {
                v.findChild<QToolButton *>(QLatin1String(c))->click();
                QCoreApplication::processEvents();
            }
            v.findChild<QToolButton *>(QStringLiteral("c_ALLCONTROLS"))->click();
            scrollThrough(v.findChild<QTableView *>(QStringLiteral("dbgrid_LOG")), 20000);
        }
        settle.restart();
        while (settle.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    state.counters["worst_gap_ms"] = worst;
    state.counters["scans"] = scans;
    if (worst > 200)
        state.SkipWithError("a scan came more than 200 ms after the one before");
}
BENCHMARK(BM_ScanWhileViewing)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

QUELLIX_BENCHMARK_MAIN()
