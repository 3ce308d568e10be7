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
///
/// Appends are checked at once (a record the fields cannot hold, or a store
/// that was deleted, replaced or may only be read, is refused with Error in
/// the caller's thread) and then written by the file's writer thread, which
/// waits out a file that another program keeps busy without holding up the
/// caller. What is still queued is written when the process ends (when the
/// application object goes, or at exit).
std::unique_ptr<EventLog> makeSqlCipherEventLog(const QString &logFilePath);

/// Waits until every append made in this process so far is written, to
/// every log file (for readers of the files themselves, such as tests).
void flushEventLogs();

} // namespace quellix::store
