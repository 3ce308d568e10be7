#include "spool.h"

#include "error.h"
#include "connectioncache.h"
#include "sqlcipherapi.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QMutex>
#include <QStandardPaths>
#include <QUuid>

namespace quellix::store {

using sqlcipher::api;
using sqlcipher::bindValue;

namespace {

using T = FieldType;

// The fields of LOG after "Num" hold every record; a sample fills those of
// its own fields and leaves the others empty.
constexpr FieldDef kSpoolFields[] = {
    {"Num", T::Counter},
    {"Table", T::Int16},
    {"Control", T::Text, 50},
    {"Time", T::Text, 50},
    {"Type", T::Text, 50},
    {"Event", T::Text, 255},
    {"Input Value", T::Double},
    {"Input Function", T::Text, 255},
    {"Display Value", T::Double},
    {"Output Function", T::Text, 255},
    {"Output Value", T::Double},
    {"Hold Status", T::YesNo},
    {"Station", T::Text, 255},
};
constexpr FieldDef kStreamFields[] = {
    {"Num", T::Counter},
    {"Stream", T::Text, 64},
};
// The settings rows last read from the server, each as a JSON array of its
// fields: what a station starting while the server is away runs on.
constexpr FieldDef kKeptFields[] = {
    {"Num", T::Counter},
    {"Control Name", T::Text, 255},
    {"Row", T::Text, 1000000},
};
const TableDef kSpoolTable{"Spool", kSpoolFields};
const TableDef kStreamTable{"Stream", kStreamFields};
const TableDef kKeptTable{"Settings Kept", kKeptFields};

struct Scope
{
    sqlite3_stmt *st;
    ~Scope()
    {
        api().reset(st);
        api().clear_bindings(st);
    }
};

// The spool column of each field after "Num" of a table, and the station.
QVector<int> spoolColumns(const TableDef &t)
{
    QVector<int> cols;
    for (size_t i = 1; i < t.fields.size(); ++i)
        cols << kSpoolTable.indexOf(QString::fromLatin1(t.fields[i].name));
    cols << kSpoolTable.indexOf(QStringLiteral("Station"));
    return cols;
}

QVariant columnValue(sqlite3_stmt *st, int col, const FieldDef &f)
{
    if (api().column_type(st, col) == SQLITE_NULL)
        return {};
    switch (f.type) {
    case T::Double:
        return api().column_double(st, col);
    case T::YesNo:
        return api().column_int(st, col) != 0;
    case T::Int16:
    case T::Int32:
    case T::Counter:
        return qlonglong(api().column_int64(st, col));
    case T::Text:
        break;
    }
    const auto *p = reinterpret_cast<const char *>(api().column_text(st, col));
    return QString::fromUtf8(p ? p : "", api().column_bytes(st, col));
}

QMutex spoolDirMutex;
QString spoolDir;

} // namespace

Spool::Spool(const QString &path) : m_path(path) {}
Spool::~Spool() = default;

bool Spool::exists() const
{
    return QFileInfo::exists(m_path);
}

void Spool::open(bool create)
{
    if (m_conn)
        return;
    if (!exists()) {
        if (!create)
            return;
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        static const TableDef *const tables[] = {&kSpoolTable, &kStreamTable, &kKeptTable};
        const QString stream = QUuid::createUuid().toString(QUuid::WithoutBraces);
        try {
            createStoreFile(m_path, QLatin1String(kLocaleText), QLatin1String(kStorePassword), tables,
                            {QStringLiteral("INSERT INTO \"Stream\" (\"Stream\") VALUES ('%1')").arg(stream)});
        } catch (const Error &) {
            if (!exists()) // another process made it first: that one is used
                throw;
        }
    }
    m_conn = Connection::openPrivate(m_path, QLatin1String(kStorePassword));
    if (m_conn->isReadOnly()) {
        m_conn.reset();
        throw Error(Error::Kind::Store, QStringLiteral("The spool '%1' may not be written.").arg(m_path));
    }
}

QString Spool::streamId()
{
    if (!m_stream.isEmpty())
        return m_stream;
    open(true);
    sqlite3_stmt *st = m_conn->prepare(QStringLiteral("SELECT \"Stream\" FROM \"Stream\" ORDER BY \"Num\" LIMIT 1"));
    Scope scope{st};
    if (api().step(st) != SQLITE_ROW)
        throw Error(Error::Kind::Store, QStringLiteral("The spool '%1' has no stream name.").arg(m_path));
    m_stream = columnValue(st, 0, kStreamFields[1]).toString();
    return m_stream;
}

qint64 Spool::append(const QVector<const OutgoingRecord *> &records)
{
    if (records.isEmpty())
        return 0;
    open(true);
    static const QVector<int> logCols = spoolColumns(logTable());
    static const QVector<int> dataCols = spoolColumns(dataTable());
    m_conn->exec(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        for (const OutgoingRecord *r : records) {
            const bool isLog = r->table == &logTable();
            const QVector<int> &cols = isLog ? logCols : dataCols;
            QStringList names{QStringLiteral("\"Table\"")}, marks{QStringLiteral("?")};
            for (int c : cols) {
                names << quoteIdentifier(QString::fromLatin1(kSpoolFields[c].name));
                marks << QStringLiteral("?");
            }
            sqlite3_stmt *st = m_conn->prepare(QStringLiteral("INSERT INTO \"Spool\" (%1) VALUES (%2)")
                                                   .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))));
            Scope scope{st};
            api().bind_int(st, 1, isLog ? 0 : 1);
            for (int i = 0; i < cols.size(); ++i)
                bindValue(st, i + 2, r->values.value(i));
            if (api().step(st) != SQLITE_DONE)
                throw Error(Error::Kind::Store,
                            QStringLiteral("Could not keep a record in the spool '%1': %2").arg(m_path, m_conn->lastError()));
        }
        // The file is locked until the commit: the records are numbered
        // one after the other.
        const qint64 last = api().last_insert_rowid(m_conn->handle());
        m_conn->exec(QStringLiteral("COMMIT"));
        return last;
    } catch (const Error &) {
        try {
            m_conn->exec(QStringLiteral("ROLLBACK"));
        } catch (const Error &) {
        }
        throw;
    }
}

void Spool::keepSettings(const QString &control, const QString &row)
{
    open(true);
    m_conn->exec(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        for (const char *sql : {"DELETE FROM \"Settings Kept\" WHERE \"Control Name\" = ?",
                                "INSERT INTO \"Settings Kept\" (\"Control Name\", \"Row\") VALUES (?, ?)"}) {
            sqlite3_stmt *st = m_conn->prepare(QLatin1String(sql));
            Scope scope{st};
            bindValue(st, 1, control);
            if (qstrncmp(sql, "INSERT", 6) == 0)
                bindValue(st, 2, row);
            if (api().step(st) != SQLITE_DONE)
                throw Error(Error::Kind::Store,
                            QStringLiteral("Could not keep settings in '%1': %2").arg(m_path, m_conn->lastError()));
        }
        m_conn->exec(QStringLiteral("COMMIT"));
    } catch (const Error &) {
        try {
            m_conn->exec(QStringLiteral("ROLLBACK"));
        } catch (const Error &) {
        }
        throw;
    }
}

QString Spool::keptSettings(const QString &control)
{
    open(false);
    if (!m_conn)
        return {};
    sqlite3_stmt *st = m_conn->prepare(
        QStringLiteral("SELECT \"Row\" FROM \"Settings Kept\" WHERE \"Control Name\" = ? ORDER BY \"Num\" LIMIT 1"));
    Scope scope{st};
    bindValue(st, 1, control);
    if (api().step(st) != SQLITE_ROW)
        return {};
    return columnValue(st, 0, kKeptFields[2]).toString();
}

QVector<SpooledRecord> Spool::oldest(int n)
{
    QVector<SpooledRecord> out;
    open(false);
    if (!m_conn)
        return out;
    sqlite3_stmt *st = m_conn->prepare(QStringLiteral("SELECT * FROM \"Spool\" ORDER BY \"Num\" LIMIT ?"));
    Scope scope{st};
    api().bind_int(st, 1, n);
    static const QVector<int> logCols = spoolColumns(logTable());
    static const QVector<int> dataCols = spoolColumns(dataTable());
    int rc;
    while ((rc = api().step(st)) == SQLITE_ROW) {
        SpooledRecord s;
        s.num = api().column_int64(st, 0);
        const bool isLog = api().column_int(st, 1) == 0;
        s.record.table = isLog ? &logTable() : &dataTable();
        for (int c : isLog ? logCols : dataCols)
            s.record.values << columnValue(st, c, kSpoolFields[c]);
        out << s;
    }
    if (rc != SQLITE_DONE)
        throw Error(Error::Kind::Store, QStringLiteral("Could not read the spool '%1': %2").arg(m_path, m_conn->lastError()));
    return out;
}

void Spool::remove(qint64 first, qint64 last)
{
    open(false);
    if (!m_conn)
        return;
    sqlite3_stmt *st = m_conn->prepare(QStringLiteral("DELETE FROM \"Spool\" WHERE \"Num\" BETWEEN ? AND ?"));
    Scope scope{st};
    api().bind_int64(st, 1, first);
    api().bind_int64(st, 2, last);
    if (api().step(st) != SQLITE_DONE)
        throw Error(Error::Kind::Store, QStringLiteral("Could not empty the spool '%1': %2").arg(m_path, m_conn->lastError()));
}

qint64 Spool::count()
{
    open(false);
    if (!m_conn)
        return 0;
    sqlite3_stmt *st = m_conn->prepare(QStringLiteral("SELECT count(*) FROM \"Spool\""));
    Scope scope{st};
    if (api().step(st) != SQLITE_ROW)
        throw Error(Error::Kind::Store, QStringLiteral("Could not read the spool '%1': %2").arg(m_path, m_conn->lastError()));
    return api().column_int64(st, 0);
}

QString spoolPathFor(const QString &serverUrl)
{
    QString dir;
    {
        QMutexLocker lock(&spoolDirMutex);
        dir = spoolDir;
    }
    if (dir.isEmpty()) {
        dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        if (dir.isEmpty())
            dir = QDir::homePath() + QStringLiteral("/.local/share");
        dir += QStringLiteral("/quellix/spool");
    }
    const QByteArray hash = QCryptographicHash::hash(serverUrl.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return QDir(dir).filePath(QStringLiteral("SPOOL-%1.MDB").arg(QString::fromLatin1(hash)));
}

void setSpoolDirectory(const QString &dir)
{
    QMutexLocker lock(&spoolDirMutex);
    spoolDir = dir.isEmpty() ? QString() : QDir(dir).absolutePath();
}

} // namespace quellix::store
