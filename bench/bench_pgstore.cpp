// The stores on a PostgreSQL server: what an append costs the GUI thread
// next to an append to the local files, and the viewer's first page and
// filters on a LOG of millions of rows. Runs a throwaway server of its own
// (scripts/pg-test-server.sh) in a temporary folder.
//
//   bench_pgstore [--rows=N] [--stations-seconds=S]
//     N LOG rows for the page benchmarks (default 2000000); S seconds of
//     the 20 appending stations (default 60)

#include "benchsupport.h"

#include "logstore.h"
#include "pgconnection.h"
#include "pglog.h"
#include "pgstores.h"
#include "spool.h"
#include "sqlcipherlog.h"

#include <QElapsedTimer>
#include <QFileInfo>
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

constexpr char kStationArg[] = "--station";
int stationSeconds = 60;

// One station: appends `rate` records a second for `seconds` seconds on
// its GUI thread, each to the server and to a LOG.MDB of its own, and
// prints the number and, for the server and the file, the mean and the
// longest time an append took there, in microseconds.
int runStation(const QString &url, int rate, int seconds, const QString &tag)
{
    using namespace std::chrono;
    QTemporaryDir dir;
    setInformationHandler([](const QString &, const QString &) {});
    createLogStore(dir.filePath(QStringLiteral("LOG.MDB")));
    auto file = makeSqlCipherEventLog(dir.filePath(QStringLiteral("LOG.MDB")));
    auto log = makePgEventLog(url);
    // Opened before the clock runs: the file's key derivation and the
    // server's login are paid once per process, not per append.
    for (EventLog *l : {log.get(), file.get()}) {
        l->append(record(0));
        l->flush();
    }
    const auto start = steady_clock::now();
    const auto step = microseconds(1000000 / rate);
    double total[2] = {0, 0}, longest[2] = {0, 0};
    int n = 0;
    for (auto next = start; next < start + seconds * 1s; next += step) {
        std::this_thread::sleep_until(next);
        LogRecord r = record(n);
        r.control = tag;
        int k = 0;
        for (EventLog *l : {log.get(), file.get()}) {
            const auto t0 = steady_clock::now();
            l->append(r);
            const double us = duration<double, std::micro>(steady_clock::now() - t0).count();
            total[k] += us;
            longest[k] = std::max(longest[k], us);
            ++k;
        }
        ++n;
    }
    log->flush();
    file->flush();
    std::printf("%d %.3f %.3f %.3f %.3f\n", n, total[0] / n, longest[0], total[1] / n, longest[1]);
    return 0;
}

// 20 stations appending 1,000 records a second in all: what an append
// costs each GUI thread, and whether anything had to wait in the spool.
void BM_TwentyStations(benchmark::State &state)
{
    const int stations = 20, rate = 1000 / stations;
    const QString url = server->url;
    const QString spool = spoolPathFor(url);
    const qint64 before = pg::Connection::open(url)->exec(QStringLiteral("SELECT count(*) FROM \"LOG\"")).integer(0, 0);
    double meanUs[2] = {0, 0}, longestUs[2] = {0, 0}; // server, file
    int records = 0, spoolSeen = 0;
    for (auto _ : state) {
        std::vector<std::unique_ptr<QProcess>> ps;
        for (int i = 0; i < stations; ++i) {
            ps.push_back(std::make_unique<QProcess>());
            ps.back()->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            ps.back()->start(QCoreApplication::applicationFilePath(),
                             {QLatin1String(kStationArg), url, QString::number(rate), QString::number(stationSeconds),
                              QStringLiteral("Station %1").arg(i), QFileInfo(spool).absolutePath()});
        }
        // The spool is looked at all the while they run.
        for (bool running = true; running;) {
            running = false;
            for (auto &p : ps)
                running |= !p->waitForFinished(50) && p->state() != QProcess::NotRunning;
            spoolSeen += QFile::exists(spool) && Spool(spool).count() > 0;
        }
        for (auto &p : ps) {
            const QList<QByteArray> f = p->readAllStandardOutput().trimmed().split(' ');
            if (f.size() == 5) {
                records += f[0].toInt();
                meanUs[0] += f[1].toDouble() / stations;
                longestUs[0] = std::max(longestUs[0], f[2].toDouble());
                meanUs[1] += f[3].toDouble() / stations;
                longestUs[1] = std::max(longestUs[1], f[4].toDouble());
            }
        }
    }
    const qint64 after = pg::Connection::open(url)->exec(QStringLiteral("SELECT count(*) FROM \"LOG\"")).integer(0, 0);
    state.counters["records"] = records;
    state.counters["on_server"] = double(after - before);
    state.counters["server_mean_us"] = meanUs[0];
    state.counters["server_max_us"] = longestUs[0];
    state.counters["file_mean_us"] = meanUs[1];
    state.counters["file_max_us"] = longestUs[1];
    state.counters["ratio"] = meanUs[0] / meanUs[1];
    state.counters["spool_nonempty_looks"] = spoolSeen;
}
BENCHMARK(BM_TwentyStations)->Unit(benchmark::kSecond)->Iterations(1);

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
    if (argc == 7 && std::strcmp(argv[1], kStationArg) == 0) {
        QCoreApplication app(argc, argv);
        setSpoolDirectory(QString::fromLocal8Bit(argv[6]));
        return runStation(QString::fromLocal8Bit(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]),
                          QString::fromLocal8Bit(argv[5]));
    }
    qint64 rows = 2000000;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--rows=", 7) == 0)
            rows = std::atoll(argv[i] + 7);
        if (std::strncmp(argv[i], "--stations-seconds=", 19) == 0)
            stationSeconds = std::atoi(argv[i] + 19);
    }
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
