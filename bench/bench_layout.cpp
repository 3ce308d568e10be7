// Cost of laying out the face on resize.
//
//   BM_Resize100Shown     one resize of each of 100 shown controls: the whole
//                         resize pass (Resize event, size rules, sixteen
//                         elements placed and their fonts set). Budget: 50 ms
//                         for the hundred.
//   BM_LayoutFace100      baseline: 100 calls of the pure geometry
//                         computation layoutFace(), no widgets touched.
//
// Each iteration moves every control between two sizes that satisfy the
// size rules, so every pass places every element anew and no pass nests.

#include "benchsupport.h"
#include "facelayout.h"
#include "quellix.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QGridLayout>
#include <QWidget>

#include <vector>

namespace {

constexpr int kControls = 100;
const QSize kSizes[2] = {QSize(176, 176), QSize(200, 190)};

void BM_Resize100Shown(benchmark::State &state)
{
    QWidget panel;
    std::vector<Quellix *> meters;
    for (int i = 0; i < kControls; ++i) {
        auto *m = new Quellix(&panel);
        m->setObjectName(QStringLiteral("Meter%1").arg(i));
        m->setGeometry((i % 10) * 200, (i / 10) * 190, kSizes[0].width(), kSizes[0].height());
        meters.push_back(m);
    }
    panel.resize(2000, 1900);
    panel.show();
    QCoreApplication::processEvents();

    int flip = 1;
    for (auto _ : state) {
        const QSize size = kSizes[flip];
        for (Quellix *m : meters)
            m->resize(size);
        flip ^= 1;
        // Paint and other posted work of the pass is not part of the layout.
        state.PauseTiming();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
    state.counters["controls"] = kControls;
}
BENCHMARK(BM_Resize100Shown)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_LayoutFace100(benchmark::State &state)
{
    using namespace quellix::face;
    int flip = 1;
    for (auto _ : state) {
        const HostSize size{kSizes[flip].width() * kUnitsPerPixel, kSizes[flip].height() * kUnitsPerPixel};
        for (int i = 0; i < kControls; ++i) {
            FaceGeometry g = layoutFace(size);
            benchmark::DoNotOptimize(g);
        }
        flip ^= 1;
    }
    state.counters["controls"] = kControls;
}
BENCHMARK(BM_LayoutFace100)->Unit(benchmark::kMicrosecond);

} // namespace

QUELLIX_BENCHMARK_MAIN()
