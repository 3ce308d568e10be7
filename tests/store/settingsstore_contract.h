#pragma once

// What every settings store must do, whatever holds its rows: the tests run
// through the SettingsStore interface only, against a backend given as
// functions. A test program runs them with runSettingsStoreContract().

#include "stores.h"

#include <QString>
#include <QVariant>

#include <functional>
#include <memory>

namespace settingsstorecontract {

struct Backend
{
    /// The stores of a new location whose settings table is empty; every
    /// call makes another location.
    std::function<std::shared_ptr<quellix::store::Stores>()> open;
    /// Sets a field of the first row of `control` as another program could,
    /// past every check of the library and of the store itself (an invalid
    /// QVariant empties the field). Integers come as qlonglong, numbers with
    /// a fraction as double, texts as QString.
    std::function<void(quellix::store::Stores &, const QString &control, const QString &field, const QVariant &value)>
        writeRaw;
    /// Deletes the first row of `control` and compacts the table as another
    /// program may, renumbering the rows the way the engine does.
    std::function<void(quellix::store::Stores &, const QString &control)> deleteAndCompact;
    /// From now on the store itself refuses every write that sets `field`
    /// to the text `value`.
    std::function<void(quellix::store::Stores &, const QString &field, const QString &value)> refuse;
};

/// Runs the contract tests on the backend; the number of failures.
int runSettingsStoreContract(const Backend &backend, int argc, char **argv);

} // namespace settingsstorecontract
