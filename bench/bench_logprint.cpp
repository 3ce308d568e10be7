// Printing the log viewer's list to PDF (no printer is configured here):
//
//   BM_PrintList/<records>  printViewerContents() of one control's list of
//                      <records> records (10,000: 286 pages), 2,000 records of
//                      another control beside them; counters pages and
//                      seconds, bound 30 s for every size
//
// A bound that is exceeded ends its benchmark with an error.

#include "benchsupport.h"
#include "logprint.h"
#include "logstore.h"
#include "printrules.h"
#include "stores.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

using namespace quellix;

namespace {

void BM_PrintList(benchmark::State &state)
{
    const int records = int(state.range(0));
    benchsupport::ScratchDir scratch;
    store::createLogStore(scratch.path() + QStringLiteral("/LOG.MDB"));
    logview::PrintRequest job;
    job.storeLocation = store::StoreLocation::directory(scratch.path());
    job.controlName = QStringLiteral("Meter1");
    job.filter = {QStringLiteral("Meter1"), {}};
    const std::shared_ptr<store::Stores> stores = store::openStores(job.storeLocation);
    // Every sixth record is another control's, so the list is read past
    // records it does not print.
    int mine = 0, others = 0;
    for (int i = 1; mine < records || others < 2000; ++i) {
        const bool other = (i % 6 == 0 && others < 2000) || mine >= records;
        store::LogRecord r;
        r.control = other ? QStringLiteral("Other") : QStringLiteral("Meter1");
        r.type = QStringLiteral("USER");
        r.event = QStringLiteral("Input Multiplier Change %1").arg(i);
        r.inputFunction = r.outputFunction = QStringLiteral("* 1 + 0");
        r.inputValue = i;
        stores->log().append(r);
        ++(other ? others : mine);
    }
    stores->log().flush();
    const qint64 listed = stores->log().count(job.filter);

    double worst = 0;
    QString message;
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        message = logview::printViewerContents(job);
        worst = std::max(worst, clock.elapsed() / 1000.0);
        state.PauseTiming();
        for (const QString &pdf : QDir(scratch.path()).entryList({QStringLiteral("*.pdf")}))
            QFile::remove(QDir(scratch.path()).filePath(pdf));
        state.ResumeTiming();
    }
    const int pages = logview::printPageCount(listed);
    state.counters["records"] = double(listed);
    state.counters["pages"] = pages;
    state.counters["seconds"] = worst;
    if (!message.startsWith(QStringLiteral("Printed %1 pages").arg(pages)))
        state.SkipWithError(qPrintable(QStringLiteral("unexpected result: ") + message));
    else if (worst >= 30)
        state.SkipWithError("printing took 30 s or more");
}

} // namespace

BENCHMARK(BM_PrintList)->Arg(10000)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();

QUELLIX_BENCHMARK_MAIN()
