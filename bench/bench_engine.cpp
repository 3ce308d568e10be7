// What a control costs without its face: 10,000 headless engines scanning
// every 500 ms, next to 1,000 Quellix widgets (the baseline) in the same
// run, both per control.
//
//   BM_HeadlessEngines   10,000 registered engines, each in its normal
//                        range, scanning at 500 ms
//   BM_WidgetControls    1,000 registered Quellix controls (not shown), the
//                        same settings and values
//
// Counters: "core" the share of one core the process uses while the event
// loop runs for five seconds; "us_per_control_s" CPU microseconds per
// control and second; "kb_per_control" the resident memory the controls
// added, per control (after malloc_trim, so freed memory of an earlier
// benchmark does not count).

#include "benchsupport.h"

#include "engine.h"
#include "quellix.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <malloc.h>
#include <sys/resource.h>

#include <memory>
#include <vector>

namespace {

constexpr int kRunMs = 5000;

double processCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

template<typename Control>
void runControls(benchmark::State &state, int count)
{
    benchsupport::ScratchDir scratch;
    // One row of the name is made first, so the rest only read it; the
    // second registration loads the row and with it the 500 ms scan rate.
    {
        Control first;
        first.setObjectName(QStringLiteral("Meter"));
        first.REGISTER();
    }
    malloc_trim(0);
    const long before = benchsupport::residentKb();
    std::vector<std::unique_ptr<Control>> controls;
    controls.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        auto c = std::make_unique<Control>();
        c->setObjectName(QStringLiteral("Meter"));
        c->REGISTER();
        c->setValue(50);
        controls.push_back(std::move(c));
    }
    const long after = benchsupport::residentKb();

    double cpu = 0, wall = 0;
    for (auto _ : state) {
        QEventLoop loop;
        QTimer::singleShot(kRunMs, &loop, &QEventLoop::quit);
        const double c0 = processCpuSeconds();
        QElapsedTimer t;
        t.start();
        loop.exec();
        cpu += processCpuSeconds() - c0;
        wall += t.nsecsElapsed() / 1e9;
    }
    state.counters["core"] = cpu / wall;
    state.counters["us_per_control_s"] = cpu / wall / count * 1e6;
    state.counters["kb_per_control"] = double(after - before) / count;
    state.counters["controls"] = count;
}

void BM_HeadlessEngines(benchmark::State &state)
{
    runControls<quellix::Engine>(state, int(state.range(0)));
}
BENCHMARK(BM_HeadlessEngines)->Arg(10000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_WidgetControls(benchmark::State &state)
{
    runControls<Quellix>(state, int(state.range(0)));
}
BENCHMARK(BM_WidgetControls)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

QUELLIX_BENCHMARK_MAIN()
