#pragma once

// What every benchmark program shares: a scratch store directory made
// current, and a main() that runs the benchmarks inside a QApplication
// (offscreen unless a platform is chosen).

#include "connectioncache.h"
#include "storefiles.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <unistd.h>

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

/// A duration in milliseconds.
inline double ms(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

/// The process's resident memory in KiB.
inline long residentKb()
{
    long size = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &size, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

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
