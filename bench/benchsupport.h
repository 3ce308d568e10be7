#pragma once

// What every benchmark program shares: a scratch store directory made
// current, and a main() that runs the benchmarks inside a QApplication
// (offscreen unless a platform is chosen).

#include "recordstore.h"
#include "storefiles.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

namespace benchsupport {

/// A fresh temporary directory, current for its lifetime, with stand-by
/// messages answered silently and no store connection left over.
struct ScratchDir
{
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    ScratchDir()
    {
        QDir::setCurrent(dir.path());
        quellix::store::Connection::closeAll();
        quellix::store::setInformationHandler([](const QString &, const QString &) {});
    }
    ~ScratchDir()
    {
        quellix::store::Connection::closeAll();
        QDir::setCurrent(previous);
    }
    QString path() const { return dir.path(); }
};

inline int run(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace benchsupport

#define QUELLIX_BENCHMARK_MAIN() \
    int main(int argc, char **argv) { return benchsupport::run(argc, argv); }
