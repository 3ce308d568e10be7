// The event log on a full store: a LOG of 1,000,000 records of 60 controls
// (16,667 each; 70% USER, 29% LIMIT, 1% SYSTEM) and a DATA of 1,000,000
// samples of 200 controls (5,000 each), built once with raw multi-row
// INSERTs in one transaction.
//
//   BM_Page/<filter>/<first|later>  one page of 100 rows for every control,
//                      one control, one type, or one control's SYSTEM
//                      records, from the start and from Num 250,000;
//                      counter max_ms, bound 20 ms
//   BM_PageMemory      resident memory growth across 100 pages walked in
//                      turn through the four filters; counter grown_MB,
//                      bound 16 MB
//   BM_RemoveOneControl  removeLog() of one control's 16,667 records against
//                      a raw DELETE ... WHERE on a connection of its own
//                      (baseline, the same rows rebuilt before each); counter
//                      ratio, bound 3
//   BM_NewestSamples   newestSamples() of 5,000 against a raw indexed SELECT
//                      ... ORDER BY "Num" DESC LIMIT 5000 read into rows
//                      (baseline); counter ratio, bound 1.5
//   BM_StallWhileAnotherProgramClears/0  a registered control's limit records
//                      every 10 ms through the scan while a child process
//                      deletes all 1,000,000 LOG records in one transaction;
//                      counters stall_ms (the longest gap of a 1 ms timer on
//                      the GUI thread, bound 100 ms), records and lost (0)
//   BM_StallWhileAnotherProgramClears/1  baseline: the same records as raw
//                      prepared INSERTs on the GUI thread (busy timeout 10 s),
//                      as each append was written before it had a writer
//                      thread; no bound
//
// A bound that is exceeded ends its benchmark with an error.

#include "benchsupport.h"
#include "rawsamples.h"
#include "logstore.h"
#include "quellix.h"
#include "connectioncache.h"
#include "sqlcipherlog.h"
#include "store.h"
#include "storefiles.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <unistd.h>

#include <sqlcipher/sqlite3.h>

using namespace quellix::store;
using Clock = std::chrono::steady_clock;
using benchsupport::ms;
using benchsupport::residentKb;

namespace {

constexpr int kLogRows = 1000000;
constexpr int kLogControls = 60;
constexpr int kSamples = 1000000;
constexpr int kSampleControls = 200;
constexpr char kDeleteArg[] = "--delete-all";

QString logControl(int i) { return QStringLiteral("Meter%1").arg(i % kLogControls, 2, 10, QLatin1Char('0')); }
QString sampleControl(int i) { return QStringLiteral("Tank%1").arg(i % kSampleControls, 3, 10, QLatin1Char('0')); }
// By the record's place among its control's: 1% SYSTEM, 29% LIMIT, 70% USER.
const char *logType(int i)
{
    const int k = (i / kLogControls) % 100;
    return k == 0 ? "SYSTEM" : k < 30 ? "LIMIT" : "USER";
}

// A keyed connection of its own, as another program has.
struct Raw
{
    sqlite3 *db = nullptr;
    explicit Raw(const QString &file)
    {
        sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_key(db, kStorePassword, int(strlen(kStorePassword)));
        sqlite3_exec(db, kStoreCipherSettings, nullptr, nullptr, nullptr);
        sqlite3_busy_timeout(db, 60000);
    }
    ~Raw() { sqlite3_close(db); }
    Raw(const Raw &) = delete;
    Raw &operator=(const Raw &) = delete;
    bool exec(const char *sql)
    {
        char *err = nullptr;
        const int rc = sqlite3_exec(db, sql, nullptr, nullptr, &err);
        if (rc != SQLITE_OK)
            std::fprintf(stderr, "%s: %s\n", sql, err ? err : "?");
        sqlite3_free(err);
        return rc == SQLITE_OK;
    }
};

// Multi-row INSERTs of LOG rows: `rowsOf(i)` gives the model row i.
void insertLogRows(Raw &raw, const std::vector<int> &rows)
{
    constexpr int perStatement = 90; // 10 values a row, at most 999 a statement
    auto sqlFor = [](int n) {
        QString sql = QStringLiteral("INSERT INTO LOG (\"Control\",\"Time\",\"Type\",\"Event\",\"Input Value\","
                                     "\"Input Function\",\"Display Value\",\"Output Function\",\"Output Value\","
                                     "\"Hold Status\") VALUES ");
        for (int r = 0; r < n; ++r)
            sql += r ? QStringLiteral(",(?,?,?,?,?,?,?,?,?,?)") : QStringLiteral("(?,?,?,?,?,?,?,?,?,?)");
        return sql.toUtf8();
    };
    const QByteArray full = sqlFor(perStatement);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(raw.db, full.constData(), -1, &st, nullptr);
    const QByteArray time = logTimeNow().toUtf8();
    std::vector<QByteArray> keep;
    for (size_t start = 0; start < rows.size(); start += perStatement) {
        const int n = int(std::min<size_t>(perStatement, rows.size() - start));
        sqlite3_stmt *use = st;
        if (n != perStatement)
            sqlite3_prepare_v2(raw.db, sqlFor(n).constData(), -1, &use, nullptr);
        keep.clear();
        for (int r = 0; r < n; ++r) {
            const int i = rows[start + r];
            keep.push_back(logControl(i).toUtf8());
            keep.push_back(QStringLiteral("Input Multiplier Change %1").arg(i).toUtf8());
            const int b = r * 10;
            sqlite3_bind_text(use, b + 1, keep[keep.size() - 2].constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(use, b + 2, time.constData(), -1, SQLITE_STATIC);
            sqlite3_bind_text(use, b + 3, logType(i), -1, SQLITE_STATIC);
            sqlite3_bind_text(use, b + 4, keep.back().constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(use, b + 5, i * 0.5);
            sqlite3_bind_text(use, b + 6, " * 1 + 0", -1, SQLITE_STATIC);
            sqlite3_bind_double(use, b + 7, i * 0.5);
            sqlite3_bind_text(use, b + 8, " * 1 + 0", -1, SQLITE_STATIC);
            sqlite3_bind_double(use, b + 9, i * 0.5);
            sqlite3_bind_int(use, b + 10, i % 2);
        }
        if (sqlite3_step(use) != SQLITE_DONE)
            std::fprintf(stderr, "insert: %s\n", sqlite3_errmsg(raw.db));
        sqlite3_reset(use);
        if (use != st)
            sqlite3_finalize(use);
    }
    sqlite3_finalize(st);
}

void insertSamples(Raw &raw, int count)
{
    constexpr int perStatement = 199; // 5 values a row
    QString sql = QStringLiteral("INSERT INTO DATA (\"Control\",\"Time\",\"Input Value\",\"Display Value\","
                                 "\"Output Value\") VALUES ");
    for (int r = 0; r < perStatement; ++r)
        sql += r ? QStringLiteral(",(?,?,?,?,?)") : QStringLiteral("(?,?,?,?,?)");
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(raw.db, sql.toUtf8().constData(), -1, &st, nullptr);
    const QByteArray time = logTimeNow().toUtf8();
    std::vector<QByteArray> names;
    for (int c = 0; c < kSampleControls; ++c)
        names.push_back(sampleControl(c).toUtf8());
    for (int start = 0; start + perStatement <= count; start += perStatement) {
        for (int r = 0; r < perStatement; ++r) {
            const int i = start + r;
            const int b = r * 5;
            sqlite3_bind_text(st, b + 1, names[i % kSampleControls].constData(), -1, SQLITE_STATIC);
            sqlite3_bind_text(st, b + 2, time.constData(), -1, SQLITE_STATIC);
            sqlite3_bind_double(st, b + 3, i);
            sqlite3_bind_double(st, b + 4, i * 2.0);
            sqlite3_bind_double(st, b + 5, i * 3.0);
        }
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    // The rest one by one.
    for (int i = count - count % perStatement; i < count; ++i) {
        const QByteArray one = QStringLiteral("INSERT INTO DATA (\"Control\",\"Time\",\"Input Value\",\"Display Value\","
                                              "\"Output Value\") VALUES ('%1','%2',%3,%4,%5)")
                                   .arg(sampleControl(i), logTimeNow()).arg(i).arg(i * 2.0).arg(i * 3.0).toUtf8();
        raw.exec(one.constData());
    }
}

// LOG.MDB in a scratch folder with `logRows` records and `samples` samples.
QString buildStore(const QString &dir, int logRows, int samples)
{
    setInformationHandler([](const QString &, const QString &) {});
    const QString path = dir + QStringLiteral("/LOG.MDB");
    createLogStore(path);
    Raw raw(path);
    raw.exec("BEGIN");
    std::vector<int> rows(static_cast<size_t>(logRows));
    for (int i = 0; i < logRows; ++i)
        rows[size_t(i)] = i;
    insertLogRows(raw, rows);
    insertSamples(raw, samples);
    raw.exec("COMMIT");
    raw.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    return path;
}

struct Dataset
{
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<EventLog> log;
    Dataset()
    {
        const auto start = Clock::now();
        path = buildStore(dir.path(), kLogRows, kSamples);
        log = makeSqlCipherEventLog(path);
        log->count({QStringLiteral("Meter00"), {}}); // opened, indexes looked at
        std::fprintf(stderr, "dataset built in %.1f s\n", ms(Clock::now() - start) / 1000);
    }
};

Dataset &dataset()
{
    static Dataset d;
    return d;
}

const LogFilter kFilters[] = {
    {},
    {QStringLiteral("Meter07"), {}},
    {{}, QStringLiteral("SYSTEM")},
    {QStringLiteral("Meter07"), QStringLiteral("SYSTEM")},
};
const char *const kFilterNames[] = {"every control", "one control", "one type", "one control's SYSTEM"};

void BM_Page(benchmark::State &state)
{
    Dataset &d = dataset();
    const LogFilter &f = kFilters[state.range(0)];
    const qint64 after = state.range(1) ? kLogRows / 4 : 0;
    state.SetLabel(QStringLiteral("%1, %2").arg(QLatin1String(kFilterNames[state.range(0)]),
                                                state.range(1) ? QStringLiteral("later") : QStringLiteral("first"))
                       .toStdString());
    double worst = 0;
    int rows = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const QVector<LogRow> page = d.log->page(f, after, 100);
        const double took = ms(Clock::now() - t0);
        state.SetIterationTime(took / 1000);
        worst = std::max(worst, took);
        rows = int(page.size());
    }
    state.counters["max_ms"] = worst;
    state.counters["rows"] = rows;
    if (rows != 100)
        state.SkipWithError("a page of fewer than 100 rows");
    else if (worst > 20)
        state.SkipWithError("a page took longer than the 20 ms bound");
}
BENCHMARK(BM_Page)
    ->ArgsProduct({{0, 1, 2, 3}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);

void BM_PageMemory(benchmark::State &state)
{
    Dataset &d = dataset();
    double grown = 0;
    for (auto _ : state) {
        qint64 after[4] = {0, 0, 0, 0};
        d.log->page({}, 0, 100); // caches warm for the first filter
        const long before = residentKb();
        for (int i = 0; i < 100; ++i) {
            const int f = i % 4;
            const QVector<LogRow> page = d.log->page(kFilters[f], after[f], 100);
            if (!page.isEmpty())
                after[f] = page.last().num;
            benchmark::DoNotOptimize(page.data());
        }
        grown = std::max(grown, (residentKb() - before) / 1024.0);
    }
    state.counters["grown_MB"] = grown;
    if (grown > 16)
        state.SkipWithError("resident memory grew beyond the 16 MB bound");
}
BENCHMARK(BM_PageMemory)->Unit(benchmark::kMillisecond)->Iterations(3);

// Puts back the records of Meter07 that a delete took (new numbers).
void rebuildMeter07(const QString &path)
{
    std::vector<int> rows;
    for (int i = 7; i < kLogRows; i += kLogControls)
        rows.push_back(i);
    Raw raw(path);
    raw.exec("BEGIN");
    insertLogRows(raw, rows);
    raw.exec("COMMIT");
}

void BM_RemoveOneControl(benchmark::State &state)
{
    Dataset &d = dataset();
    Raw raw(d.path);
    sqlite3_stmt *del = nullptr;
    sqlite3_prepare_v2(raw.db, "DELETE FROM LOG WHERE \"Control\" = ?", -1, &del, nullptr);
    auto rawDelete = [&] {
        raw.exec("BEGIN IMMEDIATE");
        sqlite3_bind_text(del, 1, "Meter07", -1, SQLITE_STATIC);
        sqlite3_step(del);
        sqlite3_reset(del);
        raw.exec("COMMIT");
    };
    // Both connections read the rows once before anything is timed: the
    // first reads of the file from disk are no one's cost.
    d.log->removeLog({QStringLiteral("Meter07"), {}});
    rebuildMeter07(d.path);
    rawDelete();
    rebuildMeter07(d.path);
    double ours = 0, baseline = 0;
    qint64 removed = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        removed = d.log->removeLog({QStringLiteral("Meter07"), {}});
        const auto took = Clock::now() - t0;
        state.SetIterationTime(ms(took) / 1000);
        ours += ms(took);
        rebuildMeter07(d.path);

        const auto t1 = Clock::now();
        rawDelete();
        baseline += ms(Clock::now() - t1);
        rebuildMeter07(d.path);
    }
    sqlite3_finalize(del);
    const double ratio = ours / baseline;
    state.counters["removed"] = double(removed);
    state.counters["raw_ms"] = baseline / state.iterations();
    state.counters["ratio"] = ratio;
    if (removed != (kLogRows + kLogControls - 1 - 7) / kLogControls)
        state.SkipWithError("not every record of the control was removed");
    else if (ratio > 3)
        state.SkipWithError("removeLog() beyond 3x the raw DELETE");
}
BENCHMARK(BM_RemoveOneControl)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(4);

void BM_NewestSamples(benchmark::State &state)
{
    Dataset &d = dataset();
    Raw raw(d.path);
    sqlite3_stmt *sel = nullptr;
    sqlite3_prepare_v2(raw.db,
                       "SELECT \"Num\",\"Control\",\"Time\",\"Input Value\",\"Display Value\",\"Output Value\" "
                       "FROM DATA WHERE \"Control\" = ? ORDER BY \"Num\" DESC LIMIT 5000",
                       -1, &sel, nullptr);
    double ours = 0, baseline = 0;
    int got = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const QVector<SampleRow> rows = d.log->newestSamples(QStringLiteral("Tank042"), 5000);
        const auto took = Clock::now() - t0;
        state.SetIterationTime(ms(took) / 1000);
        ours += ms(took);
        got = int(rows.size());

        // The same rows read into the same shape, oldest first.
        const auto t1 = Clock::now();
        const QVector<SampleRow> raws = benchsupport::rawNewestSamples(sel, QByteArrayLiteral("Tank042"));
        baseline += ms(Clock::now() - t1);
        benchmark::DoNotOptimize(raws.data());
    }
    sqlite3_finalize(sel);
    const double ratio = ours / baseline;
    state.counters["rows"] = got;
    state.counters["raw_ms"] = baseline / state.iterations();
    state.counters["ratio"] = ratio;
    if (got != 5000)
        state.SkipWithError("not 5000 samples");
    else if (ratio > 1.5)
        state.SkipWithError("newestSamples() beyond 1.5x the raw SELECT");
}
BENCHMARK(BM_NewestSamples)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(40);

// The child: deletes every LOG record up to `last` in one transaction.
int deleteAll(const QString &path, const QString &last)
{
    Raw raw(path);
    const auto t0 = Clock::now();
    const QByteArray sql = QStringLiteral("DELETE FROM LOG WHERE \"Num\" <= %1").arg(last.toLongLong()).toUtf8();
    const bool ok = raw.exec("BEGIN IMMEDIATE") && raw.exec(sql.constData()) && raw.exec("COMMIT");
    std::printf("%d %.0f\n", sqlite3_changes(raw.db), ms(Clock::now() - t0));
    return ok ? 0 : 1;
}

void BM_StallWhileAnotherProgramClears(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        const bool synchronous = state.range(0) == 1;
        benchsupport::ScratchDir scratch;
        const QString path = buildStore(scratch.path(), kLogRows, 0);
        Quellix control;
        control.setObjectName(QStringLiteral("Stall"));
        control.REGISTER();
        control.resize(176, 176);
        control.show();
        for (const char *field : {"Log Warning Reaching", "Log Normal Reaching"})
            quellix::setSettingsField(scratch.path(), QStringLiteral("Stall"), QLatin1String(field), true);
        quellix::setSettingsField(scratch.path(), QStringLiteral("Stall"), QStringLiteral("Scanrate"), 10);
        control.REGISTER();
        int entries = 0;
        QObject::connect(&control, &Quellix::ReachWarningRange, [&] { ++entries; });
        QObject::connect(&control, &Quellix::ReachNormalRange, [&] { ++entries; });

        // The value crosses into the warning range and back every 10 ms; the
        // baseline writes its records itself, on this thread.
        Raw direct(path);
        sqlite3_busy_timeout(direct.db, 10000);
        sqlite3_stmt *insert = nullptr;
        sqlite3_prepare_v2(direct.db,
                           "INSERT INTO LOG (\"Control\",\"Time\",\"Type\",\"Event\",\"Input Value\",\"Input Function\","
                           "\"Display Value\",\"Output Function\",\"Output Value\",\"Hold Status\") "
                           "VALUES ('Stall','01/01/2026 00:00:00 AM','LIMIT','Warning Range',95,'* 1 + 0',95,"
                           "'* 1 + 0',95,0)",
                           -1, &insert, nullptr);
        QTimer toggle;
        toggle.setTimerType(Qt::PreciseTimer);
        bool high = false;
        QObject::connect(&toggle, &QTimer::timeout, [&] {
            if (!synchronous) {
                control.setInputValue((high = !high) ? 95 : 50);
            } else if (sqlite3_step(insert) == SQLITE_DONE) {
                ++entries;
                sqlite3_reset(insert);
            } else {
                sqlite3_reset(insert);
            }
        });
        // The GUI thread's heartbeat.
        QTimer beat;
        beat.setTimerType(Qt::PreciseTimer);
        QElapsedTimer sinceBeat;
        qint64 worstGapNs = 0;
        bool measuring = false;
        QObject::connect(&beat, &QTimer::timeout, [&] {
            if (measuring)
                worstGapNs = std::max(worstGapNs, sinceBeat.nsecsElapsed());
            sinceBeat.restart();
        });

        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({QLatin1String(kDeleteArg), path, QString::number(kLogRows)});
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        state.ResumeTiming();

        toggle.start(10);
        beat.start(1);
        sinceBeat.start();
        QElapsedTimer wait;
        wait.start();
        while (wait.elapsed() < 300) // appends before the delete, settled
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        measuring = true;
        child.start();
        int duringDelete = entries;
        while (child.state() != QProcess::NotRunning)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        duringDelete = entries - duringDelete;
        wait.restart();
        while (wait.elapsed() < 300)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
        measuring = false;
        toggle.stop();
        beat.stop();

        state.PauseTiming();
        flushEventLogs();
        const QByteArray out = child.readAllStandardOutput().trimmed();
        Raw raw(path);
        sqlite3_stmt *st = nullptr;
        sqlite3_finalize(insert);
        sqlite3_prepare_v2(raw.db, "SELECT count(*), (SELECT count(*) FROM LOG) FROM LOG WHERE Control = 'Stall' "
                                   "AND Type = 'LIMIT'", -1, &st, nullptr);
        sqlite3_step(st);
        const int stored = sqlite3_column_int(st, 0);
        const int total = sqlite3_column_int(st, 1);
        sqlite3_finalize(st);
        const QList<QByteArray> parts = out.split(' ');
        state.counters["deleted"] = parts.value(0).toDouble();
        state.counters["delete_ms"] = parts.value(1).toDouble();
        state.counters["stall_ms"] = worstGapNs / 1e6;
        state.counters["records"] = entries;
        state.counters["during_delete"] = duringDelete;
        state.counters["lost"] = entries - stored;
        state.counters["left"] = total; // the control's own records
        if (child.exitCode() != 0 || parts.value(0).toInt() != kLogRows)
            state.SkipWithError("the child did not delete every record");
        else if (stored != entries)
            state.SkipWithError("a limit record was lost");
        else if (!synchronous && worstGapNs > 100'000'000)
            state.SkipWithError("the GUI thread stalled beyond the 100 ms bound");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StallWhileAnotherProgramClears)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], kDeleteArg) == 0) {
        QCoreApplication app(argc, argv);
        return deleteAll(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    return benchsupport::run(argc, argv);
}
