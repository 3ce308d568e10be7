// Cost of configuring a control on a store of 1,000 settings rows:
//
//   BM_ConfigClickToDialog      Config clicked, the password prompt answered
//                               by the bench, until the properties dialog
//                               is shown (then Cancel): time per opening
//   BM_ReloadVsRegistrationLoad the control's row read and reloaded as
//                               Config does after the dialog, against the
//                               same row read and loaded as registration
//                               does; counter "ratio" = reload / load
//   BM_ScanWhileDialogOpen      100 shown controls scanning every 100 ms
//                               while one of them has its dialog open for
//                               two seconds; ScanComplete events counted
//                               per control against the 20 due

#include "benchsupport.h"
#include "quellix.h"
#include "quellix_p.h"
#include "stores.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <sqlcipher/sqlite3.h>

#include <QFile>

#include <algorithm>
#include <cstring>
#include <numeric>

using namespace quellix::store;

namespace {

constexpr int kRows = 1000;
constexpr int kControls = 100;
constexpr int kScanMs = 100;
constexpr int kOpenMs = 2000;

// Copies the first settings row under other names until the table holds
// `rows` rows, in one transaction (as another program could).
void fillSettings(const QString &dir, int rows)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(dir + QStringLiteral("/SETTINGS.MDB")).constData(), &db, SQLITE_OPEN_READWRITE,
                    nullptr);
    sqlite3_key(db, kStorePassword, int(std::strlen(kStorePassword)));
    sqlite3_exec(db, kStoreCipherSettings, nullptr, nullptr, nullptr);
    QString sql = QStringLiteral("BEGIN; CREATE TEMP TABLE t AS SELECT * FROM Settings LIMIT 1;");
    for (int i = 1; i < rows; ++i)
        sql += QStringLiteral("UPDATE t SET \"Control Name\" = 'Filler%1'; INSERT INTO Settings SELECT * FROM t;").arg(i);
    sql += QStringLiteral("COMMIT;");
    char *error = nullptr;
    if (sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("filling the settings table: %s", error);
    sqlite3_close(db);
}

// A store of kRows - 1 filler rows; the control registered after them owns
// the last row.
struct Store
{
    benchsupport::ScratchDir scratch;
    Store()
    {
        Quellix first;
        first.setObjectName(QStringLiteral("Filler0"));
        first.REGISTER();
        fillSettings(scratch.path(), kRows - 1);
    }
};

// Answers the prompt with the right password; once the dialog is shown,
// notes the time and presses Cancel.
struct ConfigDriver
{
    QTimer poll;
    QElapsedTimer clock;
    qint64 shownNs = -1;
    ConfigDriver()
    {
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, [this] {
            QWidget *w = QApplication::activeModalWidget();
            if (!w)
                return;
            if (w->objectName() == QLatin1String("f_PASSWORD")) {
                w->findChild<QLineEdit *>(QStringLiteral("t_PASSWORD"))->setText(QStringLiteral("marigold"));
                w->findChild<QPushButton *>(QStringLiteral("c_PASSWORDOK"))->click();
            } else if (w->objectName() == QLatin1String("f_PROPS") && w->isVisible() && shownNs < 0) {
                shownNs = clock.nsecsElapsed();
                onShown(w);
            }
        });
    }
    std::function<void(QWidget *)> onShown = [](QWidget *dialog) {
        dialog->findChild<QPushButton *>(QStringLiteral("c_CANCEL"))->click();
    };
    qint64 click(Quellix &control)
    {
        shownNs = -1;
        poll.start();
        clock.start();
        control.findChild<QPushButton *>(QStringLiteral("c_PROPERTIES"))->click();
        poll.stop();
        return shownNs;
    }
};

void BM_ConfigClickToDialog(benchmark::State &state)
{
    Store store;
    Quellix control;
    control.setObjectName(QStringLiteral("Meter"));
    control.REGISTER();
    control.show();
    ConfigDriver driver;
    double worstMs = 0;
    for (auto _ : state) {
        const qint64 ns = driver.click(control);
        if (ns < 0) {
            state.SkipWithError("the properties dialog was not shown");
            return;
        }
        worstMs = std::max(worstMs, ns / 1e6);
        state.SetIterationTime(ns / 1e9);
    }
    state.counters["worst_ms"] = worstMs;
}

void BM_ReloadVsRegistrationLoad(benchmark::State &state)
{
    Store store;
    Quellix control;
    control.setObjectName(QStringLiteral("Meter"));
    control.REGISTER();
    QuellixPrivate *d = QuellixPrivate::get(&control);
    const QString name = control.objectName();
    QElapsedTimer t;
    qint64 loadNs = 0, reloadNs = 0, rounds = 0;
    for (auto _ : state) {
        t.start();
        const std::optional<SettingsRow> row = d->e->settingsStore().read(name);
        d->e->loadRow(*row, quellix::EnginePrivate::RowLoad::Registration);
        loadNs += t.nsecsElapsed();
        t.start();
        d->reloadAfterConfig();
        reloadNs += t.nsecsElapsed();
        ++rounds;
    }
    state.counters["load_us"] = loadNs / 1e3 / rounds;
    state.counters["reload_us"] = reloadNs / 1e3 / rounds;
    state.counters["ratio"] = double(reloadNs) / double(loadNs);
}

void BM_ScanWhileDialogOpen(benchmark::State &state)
{
    Store store;
    QWidget window;
    auto *grid = new QGridLayout(&window);
    grid->setSpacing(0);
    std::vector<Quellix *> controls;
    for (int i = 0; i < kControls; ++i) {
        auto *m = new Quellix(&window);
        m->setObjectName(QStringLiteral("Meter%1").arg(i));
        m->setMinimumSize(67, 67);
        grid->addWidget(m, i / 10, i % 10);
        controls.push_back(m);
    }
    std::shared_ptr<Stores> stores = openStores(StoreLocation::directory(store.scratch.path()));
    for (Quellix *m : controls) {
        m->REGISTER();
        stores->settings().writeField(m->objectName(), QStringLiteral("Scanrate"), kScanMs);
        m->REGISTER();
        m->setInputValue(50);
    }
    window.resize(1000, 1000);
    window.show();
    QCoreApplication::processEvents();

    std::vector<int> ticks(kControls, 0);
    bool counting = false;
    for (int i = 0; i < kControls; ++i)
        QObject::connect(controls[size_t(i)], &Quellix::ScanComplete, controls[size_t(i)], [&ticks, &counting, i] {
            if (counting)
                ++ticks[size_t(i)];
        });

    Quellix *configured = controls[kControls / 2];
    ConfigDriver driver;
    QElapsedTimer open;
    driver.onShown = [&](QWidget *dialog) {
        counting = true;
        open.start();
        // Cancel once the dialog has been open for the whole window.
        QTimer::singleShot(kOpenMs, dialog, [dialog, &counting] {
            counting = false;
            dialog->findChild<QPushButton *>(QStringLiteral("c_CANCEL"))->click();
        });
    };
    double openSeconds = 0;
    for (auto _ : state) {
        std::fill(ticks.begin(), ticks.end(), 0);
        if (driver.click(*configured) < 0) {
            state.SkipWithError("the properties dialog was not shown");
            return;
        }
        openSeconds = open.nsecsElapsed() / 1e9;
        state.SetIterationTime(openSeconds);
    }
    const double due = kOpenMs / double(kScanMs);
    state.counters["due_per_control"] = due;
    state.counters["min_per_control"] = *std::min_element(ticks.begin(), ticks.end());
    state.counters["mean_per_control"] = std::accumulate(ticks.begin(), ticks.end(), 0.0) / kControls;
    state.counters["configured"] = ticks[kControls / 2];
}

BENCHMARK(BM_ConfigClickToDialog)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReloadVsRegistrationLoad)->Iterations(200)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScanWhileDialogOpen)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

QUELLIX_BENCHMARK_MAIN()
