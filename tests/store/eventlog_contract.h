#pragma once

// What every event log must do, whatever holds its rows: the tests run
// through the EventLog interface only, against a backend given as two
// functions. A test program runs them with runEventLogContract() and lets
// its main() answer the child processes first with runContractChild().

#include "stores.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace eventlogcontract {

struct Backend
{
    /// Makes a new, empty store and returns its address (a file path, a
    /// server URL); every call makes another one.
    std::function<QString()> create;
    /// An event log on the store at the address. Also called in child
    /// processes of the test program, given the same address.
    std::function<std::unique_ptr<quellix::store::EventLog>(const QString &address)> open;
    /// Optional: the store's own consistency check, empty when it is sound.
    std::function<QString(const QString &address)> check;
};

/// Runs the contract tests on the backend; the number of failures.
int runEventLogContract(const Backend &backend, int argc, char **argv);

/// In a child process started by the contract tests: does what it was
/// started for and returns its exit code. Otherwise returns -1.
int runContractChild(const Backend &backend, int argc, char **argv);

} // namespace eventlogcontract
