#pragma once

// The throwaway PostgreSQL server of the tests (scripts/pg-test-server.sh,
// started by CTest): its address, fresh stores on it (one schema each), and
// statements past the library.

#include "error.h"
#include "pgconnection.h"
#include "pgstores.h"

#include <QFile>
#include <QTest>
#include <QUuid>

namespace pgtest {

inline QString serverDir() { return qEnvironmentVariable("QUELLIX_PG_TEST_DIR"); }
inline QString serverUrl() { return qEnvironmentVariable("QUELLIX_PG_TEST_URL"); }

/// Why the tests cannot run, empty when the server is there. Only a
/// machine without PostgreSQL is a reason to skip; the caller fails on
/// anything else.
inline QString skipReason()
{
    QFile absent(serverDir() + QStringLiteral("/absent"));
    if (!serverDir().isEmpty() && absent.open(QIODevice::ReadOnly))
        return QString::fromUtf8(absent.readAll()).trimmed();
    return {};
}

/// Empty when the server answers; else why not.
inline QString serverProblem()
{
    if (serverUrl().isEmpty())
        return QStringLiteral("QUELLIX_PG_TEST_URL is not set: run the test through ctest, which starts the server");
    try {
        quellix::store::pg::Connection::open(serverUrl());
    } catch (const quellix::Error &e) {
        return e.message();
    }
    return {};
}

/// The address of `base` with the search path set to `schema`.
inline QString inSchema(const QString &base, const QString &schema)
{
    return base + QStringLiteral("?options=-csearch_path%3D") + schema;
}

/// The address of a new, empty schema on the server of `base`, with the
/// stores' tables made in it.
inline QString freshStore(const QString &base = serverUrl())
{
    const QString schema = QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128);
    quellix::store::pg::Connection::open(base)->exec(QStringLiteral("CREATE SCHEMA %1").arg(schema));
    const QString url = inSchema(base, schema);
    quellix::store::initServerStore(url);
    return url;
}

/// Runs one statement on the store at `url`, past the library; the first
/// value of the result ("" when none).
inline QString sql(const QString &url, const QString &statement, const QVariantList &params = {})
{
    const auto r = quellix::store::pg::Connection::open(url)->exec(statement, params);
    return r.rows() ? r.text(0, 0) : QString();
}

/// For a test's initTestCase(): skips when PostgreSQL is not installed
/// (the only reason to skip), fails when the server should answer but does
/// not.
#define PGTEST_REQUIRE_SERVER()                                                                  \
    do {                                                                                         \
        if (const QString why = pgtest::skipReason(); !why.isEmpty())                            \
            QSKIP(qPrintable(why));                                                              \
        if (const QString problem = pgtest::serverProblem(); !problem.isEmpty())                 \
            QFAIL(qPrintable(QStringLiteral("the test server does not answer: ") + problem));    \
    } while (false)

} // namespace pgtest
