// Costs of registration, of appending log records and of a value write.
//
// Baselines measured in the same run:
//   BM_KeyedOpen            one SQLCipher open with key derivation (what
//                           every cursor would pay without shared connections)
//   BM_RawPreparedInsert    a prepared INSERT of a LOG row on the shared
//                           connection, committed at once
//   BM_TwoSetTexts          two bare QLineEdit::setText calls with the final texts
//
// BM_AppendLogRecord is what the caller of EventLog::append() pays: the
// record checked and queued; the file's writer thread writes it meanwhile
// (the queue is written out after the timed loop, untimed).

#include "benchsupport.h"
#include "logstore.h"
#include "quellix.h"
#include "connectioncache.h"
#include "sqlcipherlog.h"
#include "storefiles.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>

#include <sqlcipher/sqlite3.h>

using namespace quellix::store;

namespace {

using benchsupport::ScratchDir;

void BM_KeyedOpen(benchmark::State &state)
{
    ScratchDir s;
    createLogStore(s.dir.path() + "/LOG.MDB");
    const QByteArray path = QFile::encodeName(s.dir.path() + "/LOG.MDB");
    for (auto _ : state) {
        sqlite3 *db = nullptr;
        sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_key(db, kStorePassword, int(strlen(kStorePassword)));
        sqlite3_exec(db, kStoreCipherSettings, nullptr, nullptr, nullptr);
        sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
}
BENCHMARK(BM_KeyedOpen)->Unit(benchmark::kMillisecond)->Iterations(10);

void registerHundred(benchmark::State &state, bool fresh)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto s = std::make_unique<ScratchDir>();
        std::vector<std::unique_ptr<Quellix>> meters;
        for (int i = 0; i < 100; ++i) {
            meters.push_back(std::make_unique<Quellix>());
            meters.back()->setObjectName(QStringLiteral("Meter%1").arg(i));
        }
        if (!fresh) {
            for (auto &m : meters)
                m->REGISTER();
            meters.clear();
            Connection::closeAll(); // a new program on a directory that holds the rows
            for (int i = 0; i < 100; ++i) {
                meters.push_back(std::make_unique<Quellix>());
                meters.back()->setObjectName(QStringLiteral("Meter%1").arg(i));
            }
        }
        state.ResumeTiming();
        for (auto &m : meters)
            m->REGISTER();
        state.PauseTiming();
        meters.clear();
        s.reset();
        state.ResumeTiming();
    }
}

void BM_Register100Fresh(benchmark::State &state) { registerHundred(state, true); }
void BM_Register100Existing(benchmark::State &state) { registerHundred(state, false); }
BENCHMARK(BM_Register100Fresh)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_Register100Existing)->Unit(benchmark::kMillisecond)->Iterations(3);

struct LogFixture
{
    ScratchDir s;
    std::unique_ptr<EventLog> log;
    LogRecord r;
    LogFixture()
    {
        createLogStore(s.dir.path() + "/LOG.MDB");
        log = makeSqlCipherEventLog(s.dir.path() + "/LOG.MDB");
        r.control = "Meter1";
        r.type = "USER";
        r.event = "Input Multiplier Change";
        r.inputValue = 12.5;
        r.inputFunction = "* 1 + 0";
        r.displayValue = 12.5;
        r.outputFunction = "* 1 + 0";
        r.outputValue = 12.5;
        // Seed rows so both measurements run on a table that is not empty.
        for (int i = 0; i < 1000; ++i)
            log->append(r);
        log->flush();
    }
};

void BM_AppendLogRecord(benchmark::State &state)
{
    LogFixture f;
    for (auto _ : state)
        f.log->append(f.r);
    f.log->flush(); // after the timed loop
}
BENCHMARK(BM_AppendLogRecord)->Unit(benchmark::kMicrosecond);

void BM_RawPreparedInsert(benchmark::State &state)
{
    LogFixture f;
    auto conn = Connection::acquire(f.s.dir.path() + "/LOG.MDB", kStorePassword);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(conn->handle(),
                       "INSERT INTO LOG (\"Control\",\"Time\",\"Type\",\"Event\",\"Input Value\",\"Input Function\","
                       "\"Display Value\",\"Output Function\",\"Output Value\",\"Hold Status\") "
                       "VALUES (?,?,?,?,?,?,?,?,?,?)",
                       -1, &st, nullptr);
    const QByteArray control = f.r.control.toUtf8(), time = logTimeNow().toUtf8(), type = f.r.type.toUtf8(),
                     event = f.r.event.toUtf8(), fn = f.r.inputFunction.toUtf8();
    for (auto _ : state) {
        sqlite3_bind_text(st, 1, control.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 2, time.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 3, type.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 4, event.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_double(st, 5, f.r.inputValue);
        sqlite3_bind_text(st, 6, fn.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_double(st, 7, f.r.displayValue);
        sqlite3_bind_text(st, 8, fn.constData(), -1, SQLITE_STATIC);
        sqlite3_bind_double(st, 9, f.r.outputValue);
        sqlite3_bind_int(st, 10, 0);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
}
BENCHMARK(BM_RawPreparedInsert)->Unit(benchmark::kMicrosecond);

void BM_TwoSetTexts(benchmark::State &state)
{
    QWidget w;
    auto *a = new QLineEdit(&w);
    auto *b = new QLineEdit(&w);
    w.show();
    QCoreApplication::processEvents();
    int i = 0;
    const QString texts[2][2] = {{"12.35", "123.50"}, {"12.36", "123.60"}};
    for (auto _ : state) {
        const auto &t = texts[i++ & 1];
        a->setText(t[0]);
        b->setText(t[1]);
    }
}
BENCHMARK(BM_TwoSetTexts)->Unit(benchmark::kMicrosecond);

void BM_InputValueWrite(benchmark::State &state)
{
    ScratchDir s;
    Quellix m;
    m.setObjectName("Meter1");
    m.REGISTER();
    m.setOutputMultiplier(10);
    m.resize(176, 176);
    m.show();
    QCoreApplication::processEvents();
    int i = 0;
    const double values[2] = {12.3456, 12.3567};
    for (auto _ : state)
        m.setInputValue(values[i++ & 1]);
}
BENCHMARK(BM_InputValueWrite)->Unit(benchmark::kMicrosecond);

} // namespace

QUELLIX_BENCHMARK_MAIN()
