#pragma once

// The event log of a directory: the tables LOG and DATA of its LOG.MDB,
// through SQLCipher.

#include "stores.h"

#include <QString>

#include <memory>

namespace quellix::store {

/// The event log kept in the SQLCipher file at `logFilePath` (LOG.MDB).
/// Making it opens nothing and creates nothing: the file is opened on the
/// first call that needs it, and a file missing then is an Error(Store) of
/// that call. Every event log of one file in the process shares one writer
/// thread, so appends made through any of them are written in the order
/// they were made.
std::unique_ptr<EventLog> makeSqlCipherEventLog(const QString &logFilePath);

} // namespace quellix::store
