// The stores on a PostgreSQL server: what an append costs the GUI thread
// next to an append to the local files, and the viewer's first page and
// filters on a LOG of millions of rows. Runs a throwaway server of its own
// (scripts/pg-test-server.sh) in a temporary folder.
//
//   bench_pgstore [--rows=N]   N LOG rows for the page benchmarks (default 2000000)

#include "benchsupport.h"

#include "logstore.h"
#include "pgconnection.h"
#include "pglog.h"
#include "pgstores.h"
#include "spool.h"
#include "sqlcipherlog.h"

#include <QElapsedTimer>
#include <QProcess>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

using namespace quellix::store;

namespace {

struct Server
{
    QTemporaryDir work;
    QString dir;
    QString url; // the store's schema on it
    qint64 rows = 2000000;

    int script(const char *command)
    {
        return QProcess::execute(QStringLiteral("bash"), {QStringLiteral(QUELLIX_PG_SCRIPT), QLatin1String(command), dir});
    }
    bool start()
    {
        QFile::setPermissions(work.path(), QFile::permissions(work.path()) | QFile::ExeOther | QFile::ExeGroup);
        dir = work.filePath(QStringLiteral("pg"));
        if (script("start") != 0 || QFile::exists(dir + QStringLiteral("/absent")))
            return false;
        qputenv("PGPASSFILE", QFile::encodeName(dir + QStringLiteral("/pgpass")));
        qputenv("PGUSER", "quellix_admin");
        setSpoolDirectory(work.filePath(QStringLiteral("spool")));
        QString host = dir;
        host.replace(QLatin1Char('/'), QLatin1String("%2F"));
        url = QStringLiteral("postgresql://%1:5432/quellix").arg(host);
        initServerStore(url);
        return true;
    }
    ~Server()
    {
        if (!dir.isEmpty())
            script("stop");
    }
};

Server *server = nullptr;

LogRecord record(int i)
{
    LogRecord r;
    r.control = QStringLiteral("Meter %1").arg(i % 50);
    r.type = QStringLiteral("LIMIT");
    r.event = QStringLiteral("Warning Range");
    r.inputValue = i;
    r.inputFunction = r.outputFunction = QStringLiteral("*1 + 0");
    return r;
}

// Mean microseconds one append() takes on the calling thread, over n
// appends in bursts of 100 with a pause between (the writer keeps up).
double appendMicros(EventLog &log, int n)
{
    using namespace std::chrono;
    nanoseconds spent{0};
    for (int i = 0; i < n; i += 100) {
        const auto t0 = steady_clock::now();
        for (int j = 0; j < 100; ++j)
            log.append(record(i + j));
        spent += steady_clock::now() - t0;
        std::this_thread::sleep_for(milliseconds(2));
    }
    log.flush();
    return duration<double, std::micro>(spent).count() / n;
}

void BM_AppendOnGuiThread(benchmark::State &state)
{
    benchsupport::ScratchDir scratch;
    createLogStore(scratch.dir.filePath(QStringLiteral("LOG.MDB")));
    auto files = makeSqlCipherEventLog(scratch.dir.filePath(QStringLiteral("LOG.MDB")));
    auto onServer = makePgEventLog(server->url);
    appendMicros(*files, 1000); // warm: connections opened, threads running
    appendMicros(*onServer, 1000);
    double f = 0, s = 0;
    for (auto _ : state) {
        f = appendMicros(*files, 20000);
        s = appendMicros(*onServer, 20000);
        state.SetIterationTime((f + s) * 20000 / 1e6);
    }
    state.counters["files_us"] = f;
    state.counters["server_us"] = s;
    state.counters["ratio"] = s / f;
    state.counters["spooled"] = double(Spool(spoolPathFor(server->url)).count()); // 0: the server was up
}
BENCHMARK(BM_AppendOnGuiThread)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// LOG filled on the server itself: 50 controls, three types, in "Num" order.
void fillLog()
{
    static bool filled = false;
    if (filled)
        return;
    filled = true;
    QElapsedTimer t;
    t.start();
    auto c = pg::Connection::open(server->url);
    c->exec(QStringLiteral("DELETE FROM \"LOG\""));
    for (qint64 done = 0; done < server->rows; done += 500000) {
        c->exec(QStringLiteral(
                    "INSERT INTO \"LOG\" (\"Control\",\"Time\",\"Type\",\"Event\",\"Input Value\",\"Input Function\","
                    "\"Display Value\",\"Output Function\",\"Output Value\",\"Hold Status\",\"Station\") "
                    "SELECT 'Meter ' || (i % 50), '12/09/2026 07:00:00 AM', (ARRAY['USER','SYSTEM','LIMIT'])[1 + i % 3], "
                    "'Warning Range', i, '* 1 + 0', i, '* 1 + 0', i, i % 2 = 0, 'bench' "
                    "FROM generate_series($1::bigint, $2::bigint) AS i"),
                {done, std::min(done + 500000, server->rows) - 1});
    }
    c->exec(QStringLiteral("VACUUM ANALYZE \"LOG\""));
    std::fprintf(stderr, "bench_pgstore: %lld LOG rows filled in %.1f s\n", qlonglong(server->rows), t.elapsed() / 1000.0);
}

const LogFilter kFilters[] = {
    {},                                                       // every record
    {QStringLiteral("Meter 7"), {}},                          // one control
    {{}, QStringLiteral("SYSTEM")},                           // one type
    {QStringLiteral("Meter 7"), QStringLiteral("LIMIT")},     // both
    {QStringLiteral("Meter 99"), {}},                         // a control without records
};

void BM_FirstPage(benchmark::State &state)
{
    fillLog();
    auto log = makePgEventLog(server->url);
    const LogFilter &f = kFilters[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(log->page(f, 0, 100));
    state.counters["rows"] = double(server->rows);
}
BENCHMARK(BM_FirstPage)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

void BM_LaterPage(benchmark::State &state)
{
    fillLog();
    auto log = makePgEventLog(server->url);
    const LogFilter &f = kFilters[state.range(0)];
    const qint64 middle = server->rows / 2;
    for (auto _ : state)
        benchmark::DoNotOptimize(log->page(f, middle, 100));
}
BENCHMARK(BM_LaterPage)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_Count(benchmark::State &state)
{
    fillLog();
    auto log = makePgEventLog(server->url);
    const LogFilter &f = kFilters[state.range(0)];
    for (auto _ : state)
        benchmark::DoNotOptimize(log->count(f));
}
BENCHMARK(BM_Count)->DenseRange(0, 4)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    qint64 rows = 2000000;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--rows=", 7) == 0)
            rows = std::atoll(argv[i] + 7);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Server s;
    s.rows = rows;
    if (!s.start()) {
        std::fprintf(stderr, "bench_pgstore: no PostgreSQL server could be started\n");
        return 1;
    }
    server = &s;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
