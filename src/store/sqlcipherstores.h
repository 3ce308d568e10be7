#pragma once

// The stores of a directory: the settings table of its SETTINGS.MDB and the
// event log of its LOG.MDB, through SQLCipher.

#include "stores.h"

#include <QString>

#include <memory>

namespace quellix::store {

/// The settings table of SETTINGS.MDB in `directory` (the file name in any
/// letter case). Making it opens nothing: the file is opened by the first
/// call that needs it, through the process's shared keyed connection, and
/// stays bound to the file opened then: once that file is deleted or
/// replaced on disk, every write is refused (Error(Store)) rather than
/// following the path to another file.
std::unique_ptr<SettingsStore> makeSqlCipherSettingsStore(const QString &directory);

/// The stores of a directory location. Opening creates nothing; use
/// openStores() (stores.h), which keeps one per location.
std::shared_ptr<Stores> makeSqlCipherDirectoryStores(const StoreLocation &location);

} // namespace quellix::store
