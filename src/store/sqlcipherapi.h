#pragma once

// The SQLCipher engine, loaded privately.
//
// SQLCipher exports the same unversioned sqlite3_* names as the system
// SQLite. Linked like any library, it would share one global symbol scope
// with whatever SQLite the host (or Qt's QSQLITE driver) brings, and one of
// the two would silently call into the other. The store therefore loads
// SQLCipher itself with dlopen(RTLD_LOCAL | RTLD_DEEPBIND), so its symbols
// stay out of the global scope and its own internal calls bind to itself,
// and calls it only through the function table below. This header is the
// only one that includes the SQLCipher declarations; only the store's
// sources include it.

#include <QString>
#include <QVariant>

#ifndef SQLITE_HAS_CODEC
#define SQLITE_HAS_CODEC 1
#endif
#include <sqlcipher/sqlite3.h>

namespace quellix::store::sqlcipher {

/// The shared object loaded: the SQLCipher library the store is built for.
inline constexpr char kLibraryName[] = "libsqlcipher.so.0";

// Every engine function the store calls, by name without "sqlite3_".
#define QUELLIX_SQLCIPHER_FUNCTIONS(X)                                                            \
    X(libversion) X(open_v2) X(close) X(key) X(exec) X(free) X(errmsg) X(busy_timeout)            \
    X(db_readonly) X(prepare_v2) X(step) X(reset) X(clear_bindings) X(finalize) X(bind_null)      \
    X(bind_int) X(bind_int64) X(bind_double) X(bind_text) X(column_count) X(column_type)          \
    X(column_int) X(column_int64) X(column_double) X(column_text) X(column_bytes) X(column_name) \
    X(changes) X(last_insert_rowid) X(threadsafe)

/// Pointers to the engine's functions, resolved in the privately loaded
/// library. Each member has the type of the sqlite3_ function of its name.
struct Api
{
#define QUELLIX_SQLCIPHER_MEMBER(name) decltype(&::sqlite3_##name) name = nullptr;
    QUELLIX_SQLCIPHER_FUNCTIONS(QUELLIX_SQLCIPHER_MEMBER)
#undef QUELLIX_SQLCIPHER_MEMBER
};

/// The outcome of loading an engine library: the table, or why not.
struct Loaded
{
    Api api;
    void *handle = nullptr; ///< null when loading failed
    QString error;          ///< names the library and what is missing
};

/// Loads `library` privately and resolves every function of the table. On
/// any failure the library is released again and `error` says which
/// library or which function is missing. Never throws.
Loaded load(const char *library);

/// The engine, loaded from kLibraryName on first use (thread-safe, once per
/// process; the library stays loaded). Throws quellix::Error (Store) naming
/// the library when it could not be loaded.
const Api &api();

/// Binds a value to a statement parameter by its type: null, an integer
/// (yes/no as 0 or 1), a double, or text as UTF-8 for anything else.
void bindValue(sqlite3_stmt *stmt, int index, const QVariant &v);

} // namespace quellix::store::sqlcipher
