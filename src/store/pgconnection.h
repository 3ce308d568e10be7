#pragma once

// A connection to a PostgreSQL server through libpq, for the server stores.
// The address is a postgresql:// URL; user, password, TLS and the rest come
// from libpq's own conventions (PGUSER, PGPASSFILE, the service file,
// sslmode in the URL), so no password ever passes through this code. Every
// message it makes names the server by its address without credentials.

#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>

struct pg_conn;
struct pg_result;

namespace quellix::store::pg {

/// Throws Error(InvalidValue) for an address that is not a postgresql://
/// (or postgres://) URL libpq can read, or that carries a password: a
/// password belongs in the password file or the service file, never in an
/// address that ends up on command lines and in log records.
void requireServerUrl(const QString &url);

/// The address as it may be shown: user and query parameters removed.
QString shownUrl(const QString &url);

/// One result of a statement.
class Result
{
public:
    Result() = default;
    explicit Result(pg_result *r) : m_r(r) {}
    ~Result();
    Result(Result &&o) noexcept : m_r(o.m_r) { o.m_r = nullptr; }
    Result &operator=(Result &&o) noexcept;
    Result(const Result &) = delete;
    Result &operator=(const Result &) = delete;

    int rows() const;
    bool isNull(int row, int col) const;
    QString text(int row, int col) const;
    qint64 integer(int row, int col) const;
    double number(int row, int col) const; ///< "Infinity" and "NaN" as such
    bool yes(int row, int col) const;
    /// Rows changed by an INSERT, UPDATE or DELETE.
    qint64 changed() const;

private:
    pg_result *m_r = nullptr;
};

/// An open connection. Not shared between threads.
class Connection
{
public:
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    /// Connects, waiting at most `timeoutSeconds` (unless the URL says
    /// otherwise). Throws Error(Store) when the server cannot be reached
    /// or refuses the login.
    static std::unique_ptr<Connection> open(const QString &url, int timeoutSeconds = 5);

    /// Runs one statement with its values bound ($1, $2, ...; never pasted
    /// into the text). A null or invalid QVariant is NULL, a bool true or
    /// false, a double its shortest exact text. Throws Error(Store) with the
    /// server's message; lost() tells whether the connection went with it.
    Result exec(const QString &sql, const QVariantList &params = {});

    /// True once the connection to the server is gone (the server stopped,
    /// the network broke): nothing more can be done through it.
    bool lost();

    /// The SQLSTATE of the last failed statement, empty when none.
    QString lastState() const { return m_lastState; }

private:
    Connection(pg_conn *c, QString shown) : m_conn(c), m_shown(std::move(shown)) {}
    pg_conn *m_conn = nullptr;
    QString m_shown;
    QString m_lastState;
};

/// The SQL that makes the server tables of the stores in the first schema
/// of the connection's search path: "Settings", "LOG", "DATA" and the
/// delivery marks of spooled records, with their indexes. Tables that exist
/// are left as they are.
QStringList schemaSql();

/// The SQL that makes the two roles (when missing) and grants them what
/// they may do on the tables: `panel` reads the settings, writes settings
/// rows and appends records; `operatorRole` may also delete records.
QStringList rolesSql(const QString &panel, const QString &operatorRole);

} // namespace quellix::store::pg
