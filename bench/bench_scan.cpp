// Cost of the scan on a full panel: 100 shown controls whose scan timers
// fire every 100 ms, measured as the share of one core the process uses
// while its event loop runs for two seconds.
//
//   BM_IdlePanel      the same panel with every timer stopped (baseline:
//                     what the event loop costs by itself)
//   BM_SteadyScan     every control in the normal range, logging on,
//                     sounds off: ticks that change nothing
//   BM_FlashingScan   every control in its lower range with the light on:
//                     each tick dims an indicator and the 250 ms flashers
//                     toggle it in between
//
// The counter "core%" is CPU time over wall time, in percent of one core.

#include "benchsupport.h"
#include "logstore.h"
#include "quellix.h"
#include "stores.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QGridLayout>
#include <QTemporaryDir>
#include <QTimer>

#include <sys/resource.h>

using namespace quellix::store;

namespace {

constexpr int kControls = 100;
constexpr int kScanMs = 100;
constexpr int kRunMs = 2000;

double processCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

enum class Mode { Idle, Steady, Flashing };

struct Panel
{
    benchsupport::ScratchDir scratch;
    QWidget window;
    std::vector<Quellix *> controls;

    explicit Panel(Mode mode)
    {
        auto *grid = new QGridLayout(&window);
        grid->setSpacing(0);
        grid->setContentsMargins(0, 0, 0, 0);
        for (int i = 0; i < kControls; ++i) {
            auto *m = new Quellix(&window);
            m->setObjectName(QStringLiteral("Meter%1").arg(i + 1));
            m->setMinimumSize(67, 67);
            grid->addWidget(m, i / 10, i % 10);
            controls.push_back(m);
        }
        for (Quellix *m : controls)
            m->REGISTER(); // creates every row with factory values
        {
            // Scan rate and logging switches as a configured panel has them.
            SettingsRow configured;
            using quellix::schema::Field;
            configured.set(Field::Scanrate, kScanMs);
            for (const Field f : {Field::LogUpperReaching, Field::LogWarningReaching, Field::LogCautionReaching,
                                  Field::LogNormalReaching, Field::LogLowerReaching, Field::LogUserActions})
                configured.set(f, true);
            const std::shared_ptr<Stores> stores = openStores(StoreLocation::directory(scratch.path()));
            for (Quellix *m : controls)
                stores->settings().writeRow(m->objectName(), configured);
        }
        for (Quellix *m : controls) {
            m->REGISTER();
            m->setInputValue(mode == Mode::Flashing ? -5.0 : 50.0);
        }
        window.resize(1760, 1760);
        window.show();
        QCoreApplication::processEvents();
        if (mode == Mode::Idle) {
            for (Quellix *m : controls)
                for (QTimer *t : m->findChildren<QTimer *>())
                    t->stop();
        }
        // One scan so every control has entered its range before measuring.
        run(2 * kScanMs);
    }

    // Runs the event loop as a host program does, sleeping between events.
    static void run(int ms)
    {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    }
};

void measure(benchmark::State &state, Mode mode)
{
    Panel panel(mode);
    long ticks = 0;
    for (Quellix *m : panel.controls)
        QObject::connect(m, &Quellix::ScanComplete, m, [&ticks] { ++ticks; });
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        const double before = processCpuSeconds();
        Panel::run(kRunMs);
        cpu += processCpuSeconds() - before;
        wall += t.nsecsElapsed() / 1e9;
        state.SetIterationTime(t.nsecsElapsed() / 1e9);
    }
    state.counters["core%"] = 100.0 * cpu / wall;
    // Scan ticks per second over the whole panel (1000 when all keep pace).
    state.counters["ticks/s"] = ticks / wall;
}

void BM_IdlePanel(benchmark::State &state) { measure(state, Mode::Idle); }
void BM_SteadyScan(benchmark::State &state) { measure(state, Mode::Steady); }
void BM_FlashingScan(benchmark::State &state) { measure(state, Mode::Flashing); }

BENCHMARK(BM_IdlePanel)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SteadyScan)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FlashingScan)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

QUELLIX_BENCHMARK_MAIN()
