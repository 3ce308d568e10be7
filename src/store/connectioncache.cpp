#include "connectioncache.h"

#include "error.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QStringList>
#include <QUrl>

#include <cerrno>
#include <cmath>
#include <sys/stat.h>
#include <unistd.h>

#include "sqlcipherapi.h"

namespace quellix::store {

using sqlcipher::api;

namespace {

[[noreturn]] void fail(Error::Kind kind, const QString &message)
{
    throw Error(kind, message);
}

[[noreturn]] void failStore(sqlite3 *db, const QString &what)
{
    fail(Error::Kind::Store, QStringLiteral("%1: %2").arg(what, QString::fromUtf8(api().errmsg(db))));
}

struct FileId
{
    dev_t dev = 0;
    ino_t ino = 0;
    qint64 mtime = 0;
    qint64 size = 0;
    bool sameFile(const FileId &o) const { return dev == o.dev && ino == o.ino; }
    bool sameState(const FileId &o) const { return sameFile(o) && mtime == o.mtime && size == o.size; }
};

bool statFile(const QString &path, FileId *id)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    id->dev = st.st_dev;
    id->ino = st.st_ino;
    id->mtime = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id->size = st.st_size;
    return true;
}

struct CachedConnection
{
    std::shared_ptr<Connection> conn;
    FileId id;
};

struct CachedFailure
{
    FileId id;
    QString message;
};

// Process-wide: one keyed connection per store file, and the last refusal of
// a file that is not a store file (so a hundred controls do not each pay the
// key derivation again for a file that has not changed).
QHash<QString, CachedConnection> &connectionCache()
{
    static QHash<QString, CachedConnection> cache;
    return cache;
}

QHash<QString, CachedFailure> &failureCache()
{
    static QHash<QString, CachedFailure> cache;
    return cache;
}

QVector<void (*)(const QString &, quint64, quint64)> &openingHooks()
{
    static QVector<void (*)(const QString &, quint64, quint64)> hooks;
    return hooks;
}

void applyKey(sqlite3 *db, const QString &password)
{
    const QByteArray key = password.toUtf8();
    api().key(db, key.constData(), int(key.size()));
}

} // namespace

QString storeConnectText()
{
    return QStringLiteral(";PWD=") + QLatin1String(kStorePassword);
}

QString passwordFromConnect(const QString &connect)
{
    const QStringList parts = connect.split(QLatin1Char(';'), Qt::SkipEmptyParts);
    for (const QString &part : parts) {
        const int eq = part.indexOf(QLatin1Char('='));
        if (eq > 0 && part.left(eq).trimmed().compare(QLatin1String("pwd"), Qt::CaseInsensitive) == 0)
            return part.mid(eq + 1);
    }
    return {};
}

// ---------------------------------------------------------------------------
// Connection

namespace {

// One attempt at opening a store file with one set of cipher settings. The
// first read proves key and settings: a file of another password, a damaged
// file or one that is no database at all fails it with SQLITE_NOTADB, and
// nothing is written to the file by this.
struct Attempt
{
    sqlite3 *db = nullptr;
    int rc = SQLITE_OK;
    QString error;
};

Attempt openWith(const QByteArray &name, int flags, const QString &password, const char *cipherSettings)
{
    const sqlcipher::Api &sq = api();
    Attempt a;
    a.rc = sq.open_v2(name.constData(), &a.db, flags, nullptr);
    if (a.rc == SQLITE_OK) {
        applyKey(a.db, password);
        a.rc = sq.exec(a.db, cipherSettings, nullptr, nullptr, nullptr);
    }
    if (a.rc == SQLITE_OK) {
        sq.busy_timeout(a.db, 10000);
        a.rc = sq.exec(a.db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    }
    if (a.rc != SQLITE_OK) {
        a.error = a.db ? QString::fromUtf8(sq.errmsg(a.db)) : QStringLiteral("out of memory");
        sq.close(a.db);
        a.db = nullptr;
    }
    return a;
}

bool refusedKey(int rc)
{
    return rc == SQLITE_NOTADB || rc == SQLITE_CORRUPT;
}

// The name that opens a file for reading only and as immutable. The engine
// reads a file in write-ahead-log mode only through the log's shared-memory
// file, which it cannot make in a directory it may not write; an immutable
// file is read without it and without locks. That is safe only while no
// program writes the file, and a writer always has the log file beside it.
QByteArray immutableName(const QString &path)
{
    return QUrl::fromLocalFile(path).toEncoded() + "?mode=ro&immutable=1";
}

// A store file opened with the first cipher settings that fit, for writing
// when the process may write it. db is null on failure, with `error` saying
// why and `refused` set when the file is no store file or has another
// password.
struct OpenedFile
{
    sqlite3 *db = nullptr;
    bool readOnly = false;
    bool sqlCipher4 = false;
    bool refused = false;
    QString error;
};

OpenedFile openStoreFile(const QString &key, const QString &password)
{
    // The pinned settings first, then the SQLCipher 4 defaults of files
    // written before they were pinned. Each is tried for writing, and for
    // reading only when the file cannot be opened for writing.
    const QByteArray encoded = QFile::encodeName(key);
    const QByteArray walName = encoded + "-wal";
    const std::pair<const char *, bool> settings[] = {{kStoreCipherSettings, false}, {kSqlCipher4Settings, true}};
    Attempt a;
    OpenedFile out;
    for (const auto &[pragmas, sqlCipher4] : settings) {
        a = openWith(encoded, SQLITE_OPEN_READWRITE, password, pragmas);
        if (a.rc == SQLITE_CANTOPEN && ::access(walName.constData(), F_OK) != 0)
            a = openWith(immutableName(key), SQLITE_OPEN_READONLY | SQLITE_OPEN_URI, password, pragmas);
        out.sqlCipher4 = sqlCipher4;
        if (!refusedKey(a.rc))
            break;
    }
    if (refusedKey(a.rc)) {
        out.refused = true;
        out.error = QStringLiteral("'%1' is not a store file or has another password: %2").arg(key, a.error);
        return out;
    }
    if (a.rc != SQLITE_OK) {
        out.error = QStringLiteral("Could not open file '%1': %2").arg(key, a.error);
        return out;
    }
    out.db = a.db;
    // A file the process may not write opens read-only even when asked for
    // writing; the engine says so.
    out.readOnly = api().db_readonly(a.db, "main") == 1;
    // Write-ahead log (set when the file is made) with NORMAL sync: a commit
    // that returned survives the death of the process.
    if (!out.readOnly)
        api().exec(a.db, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    return out;
}

} // namespace

struct Connection::Opened
{
    QString path;
    sqlite3 *db = nullptr;
    FileId id;
    bool readOnly = false;
    bool sqlCipher4 = false;
};

Connection::Connection(const Opened &o)
    : m_path(o.path), m_encodedPath(QFile::encodeName(o.path)), m_db(o.db), m_device(quint64(o.id.dev)),
      m_inode(quint64(o.id.ino)), m_readOnly(o.readOnly), m_sqlCipher4(o.sqlCipher4)
{
}

Connection::~Connection()
{
    retire();
}

void Connection::retire()
{
    if (!m_db)
        return;
    // A connection exists only once the engine was loaded.
    const sqlcipher::Api &sq = api();
    for (auto &[sql, stmt] : m_statements)
        sq.finalize(stmt);
    m_statements.clear();
    sq.close(m_db);
    m_db = nullptr;
}

void Connection::requireFile() const
{
    if (!m_db)
        fail(Error::Kind::Store,
             QStringLiteral("The store file '%1' was deleted or replaced while it was open: nothing is read from "
                            "or written to it until the control registers again.")
                 .arg(m_path));
}

std::shared_ptr<Connection> Connection::acquire(const QString &path, const QString &password)
{
    const QString key = QFileInfo(path).absoluteFilePath();
    FileId id;
    const bool present = statFile(key, &id);

    auto &cache = connectionCache();
    auto it = cache.find(key);
    if (it != cache.end()) {
        // (A retired connection holds its file no longer, so the number of
        // its file may already belong to another.)
        if (present && it->id.sameFile(id) && !it->conn->isRetired())
            return it->conn;
        // Deleted or replaced on disk. The old connection is closed now, so
        // that the engine folds and removes the log files it keeps beside
        // the path before another file there is opened: they would otherwise
        // be taken for that file's log. Users still holding it get errors.
        it->conn->retire();
        cache.erase(it);
    }
    if (!present)
        fail(Error::Kind::Store, QStringLiteral("Could not find file '%1'.").arg(key));

    auto &failures = failureCache();
    auto fit = failures.find(key);
    if (fit != failures.end()) {
        if (fit->id.sameState(id))
            fail(Error::Kind::Store, fit->message);
        failures.erase(fit);
    }

    for (const auto hook : openingHooks())
        hook(key, quint64(id.dev), quint64(id.ino));
    const OpenedFile f = openStoreFile(key, password);
    if (f.refused) {
        failures.insert(key, {id, f.error});
        fail(Error::Kind::Store, f.error);
    }
    if (!f.db)
        fail(Error::Kind::Store, f.error);
    const Opened opened{key, f.db, id, f.readOnly, f.sqlCipher4};

    std::shared_ptr<Connection> conn(new Connection(opened));
    cache.insert(key, {conn, id});
    return conn;
}

std::unique_ptr<Connection> Connection::openPrivate(const QString &path, const QString &password,
                                                    quint64 device, quint64 inode)
{
    const QString key = QFileInfo(path).absoluteFilePath();
    FileId id;
    if (!statFile(key, &id))
        fail(Error::Kind::Store, QStringLiteral("Could not find file '%1'.").arg(key));
    auto isExpected = [&](const FileId &f) {
        return (device == 0 && inode == 0) || (quint64(f.dev) == device && quint64(f.ino) == inode);
    };
    // Another file at the path is not opened at all: the write-ahead log
    // beside the path may still be the expected file's.
    if (!isExpected(id))
        fail(Error::Kind::Store, QStringLiteral("The store file '%1' was deleted or replaced while it was open.").arg(key));
    const OpenedFile f = openStoreFile(key, password);
    if (!f.db)
        fail(Error::Kind::Store, f.error);
    std::unique_ptr<Connection> conn(new Connection(Opened{key, f.db, id, f.readOnly, f.sqlCipher4}));
    FileId after;
    if (!statFile(key, &after) || !after.sameFile(id))
        fail(Error::Kind::Store, QStringLiteral("The store file '%1' was replaced while it was being opened.").arg(key));
    return conn;
}

namespace {

QVector<void (*)()> &closeAllHooks()
{
    static QVector<void (*)()> hooks;
    return hooks;
}

} // namespace

void Connection::addOpeningHook(void (*hook)(const QString &, quint64, quint64))
{
    if (!openingHooks().contains(hook))
        openingHooks().append(hook);
}

void Connection::addCloseAllHook(void (*hook)())
{
    if (!closeAllHooks().contains(hook))
        closeAllHooks().append(hook);
}

void Connection::closeAll()
{
    for (void (*hook)() : closeAllHooks())
        hook();
    connectionCache().clear();
    failureCache().clear();
}

Connection::CipherSettings Connection::cipherSettings() const
{
    requireFile();
    const sqlcipher::Api &sq = api();
    auto number = [&](const char *pragma) {
        sqlite3_stmt *st = nullptr;
        int value = 0;
        if (sq.prepare_v2(m_db, pragma, -1, &st, nullptr) == SQLITE_OK && sq.step(st) == SQLITE_ROW)
            value = sq.column_int(st, 0);
        sq.finalize(st);
        return value;
    };
    return {number("PRAGMA cipher_page_size"), number("PRAGMA kdf_iter"), m_sqlCipher4};
}

void Connection::requireWritable()
{
    requireFile();
    if (m_readOnly)
        fail(Error::Kind::Store,
             QStringLiteral("The store '%1' is read-only: it could only be opened for reading, so nothing is written to it.")
                 .arg(m_path));
    struct stat st;
    if (::stat(m_encodedPath.constData(), &st) != 0 || quint64(st.st_dev) != m_device
        || quint64(st.st_ino) != m_inode) {
        retire();
        requireFile();
    }
}

sqlite3_stmt *Connection::prepare(const QString &sql)
{
    requireFile();
    for (auto &[text, stmt] : m_statements) {
        if (text == sql)
            return stmt;
    }
    sqlite3_stmt *stmt = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    if (api().prepare_v2(m_db, utf8.constData(), int(utf8.size()), &stmt, nullptr) != SQLITE_OK) {
        api().finalize(stmt);
        failStore(m_db, QStringLiteral("Could not prepare '%1'").arg(sql));
    }
    // Most recently added first: the statements of a busy user stay near
    // the front of this short list.
    m_statements.prepend({sql, stmt});
    return stmt;
}

void Connection::exec(const QString &sql)
{
    requireFile();
    char *err = nullptr;
    if (api().exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK) {
        const QString msg = QString::fromUtf8(err ? err : api().errmsg(m_db));
        api().free(err);
        fail(Error::Kind::Store, msg);
    }
}

QString Connection::lastError() const
{
    if (!m_db)
        return {};
    return QString::fromUtf8(api().errmsg(m_db));
}

// ---------------------------------------------------------------------------
// Older files

namespace {

QString storedTableSql(sqlite3 *db, const char *table)
{
    sqlite3_stmt *st = nullptr;
    QString sql;
    if (api().prepare_v2(db, "SELECT sql FROM sqlite_master WHERE type = 'table' AND name = ?1", -1, &st, nullptr)
            == SQLITE_OK
        && api().bind_text(st, 1, table, -1, SQLITE_TRANSIENT) == SQLITE_OK && api().step(st) == SQLITE_ROW)
        sql = QString::fromUtf8(reinterpret_cast<const char *>(api().column_text(st, 0)));
    api().finalize(st);
    return sql;
}

int schemaVersion(sqlite3 *db)
{
    sqlite3_stmt *st = nullptr;
    int v = -1;
    if (api().prepare_v2(db, "PRAGMA schema_version", -1, &st, nullptr) == SQLITE_OK && api().step(st) == SQLITE_ROW)
        v = api().column_int(st, 0);
    api().finalize(st);
    return v;
}

} // namespace

bool loosenLegacyChecks(Connection &c, const TableDef &table)
{
    if (c.isReadOnly() || c.isRetired())
        return false;
    sqlite3 *db = c.handle();
    const QString legacy = legacyCreateTableSql(table);
    if (storedTableSql(db, table.name) != legacy)
        return false;
    // Only the checks change, not what is stored: the table's text in the
    // schema is replaced and the schema version raised, so every connection
    // (of any program) reads the new checks before its next statement.
    const QByteArray replacement = createTableSql(table).toUtf8();
    c.exec(QStringLiteral("BEGIN IMMEDIATE"));
    try {
        // Another program may have done it while this one waited for the lock.
        if (storedTableSql(db, table.name) == legacy) {
            const int version = schemaVersion(db);
            if (version < 0)
                throw Error(Error::Kind::Store, QStringLiteral("Could not read the schema version"));
            c.exec(QStringLiteral("PRAGMA writable_schema = ON"));
            sqlite3_stmt *st = nullptr;
            int rc = api().prepare_v2(db, "UPDATE sqlite_master SET sql = ?1 WHERE type = 'table' AND name = ?2", -1,
                                      &st, nullptr);
            if (rc == SQLITE_OK)
                rc = api().bind_text(st, 1, replacement.constData(), int(replacement.size()), SQLITE_TRANSIENT);
            if (rc == SQLITE_OK)
                rc = api().bind_text(st, 2, table.name, -1, SQLITE_TRANSIENT);
            if (rc == SQLITE_OK)
                rc = api().step(st);
            api().finalize(st);
            if (rc != SQLITE_DONE) {
                c.exec(QStringLiteral("PRAGMA writable_schema = OFF"));
                throw Error(Error::Kind::Store, QStringLiteral("Could not update the table's checks: %1").arg(c.lastError()));
            }
            c.exec(QStringLiteral("PRAGMA schema_version = %1").arg(version + 1));
            c.exec(QStringLiteral("PRAGMA writable_schema = OFF"));
        }
        c.exec(QStringLiteral("COMMIT"));
    } catch (...) {
        api().exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return true;
}

// ---------------------------------------------------------------------------
// File creation

void createStoreFile(const QString &path, const QString &localeText, const QString &password,
                     std::span<const TableDef *const> tables, const QStringList &extraSql)
{
    Q_UNUSED(localeText); // the engine orders and encodes text in UTF-8 whatever the locale text
    const QFileInfo fi(path);
    if (fi.exists())
        fail(Error::Kind::Store, QStringLiteral("File '%1' already exists.").arg(path));

    static int serial = 0;
    const QString tmp = fi.absolutePath() + QStringLiteral("/.%1.%2.%3.creating")
                                                .arg(fi.fileName()).arg(::getpid()).arg(++serial);
    const QByteArray tmpName = QFile::encodeName(tmp);
    ::unlink(tmpName.constData());

    sqlite3 *db = nullptr;
    if (api().open_v2(tmpName.constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        const QString msg = QStringLiteral("Could not create '%1': %2").arg(path, QString::fromUtf8(api().errmsg(db)));
        api().close(db);
        ::unlink(tmpName.constData());
        fail(Error::Kind::Store, msg);
    }
    applyKey(db, password);
    QString error;
    auto run = [&](const QString &sql) {
        if (!error.isEmpty())
            return;
        char *err = nullptr;
        if (api().exec(db, sql.toUtf8().constData(), nullptr, nullptr, &err) != SQLITE_OK)
            error = QString::fromUtf8(err ? err : api().errmsg(db));
        api().free(err);
    };
    // The cipher settings are fixed before the first page is written.
    run(QLatin1String(kStoreCipherSettings));
    run(QStringLiteral("PRAGMA journal_mode=WAL"));
    run(QStringLiteral("BEGIN"));
    for (const TableDef *t : tables)
        run(createTableSql(*t));
    for (const QString &sql : extraSql)
        run(sql);
    run(QStringLiteral("COMMIT"));
    if (api().close(db) != SQLITE_OK && error.isEmpty())
        error = QStringLiteral("could not close the new file");
    if (!error.isEmpty()) {
        ::unlink(tmpName.constData());
        fail(Error::Kind::Store, QStringLiteral("Could not create '%1': %2").arg(path, error));
    }
    // link() never replaces: if another program made the file meanwhile, ours is dropped.
    const int rc = ::link(tmpName.constData(), QFile::encodeName(fi.absoluteFilePath()).constData());
    const int linkErrno = errno;
    ::unlink(tmpName.constData());
    ::unlink((tmpName + "-wal").constData());
    ::unlink((tmpName + "-shm").constData());
    if (rc != 0)
        fail(Error::Kind::Store, QStringLiteral("Could not create '%1': %2").arg(path, QString::fromLocal8Bit(strerror(linkErrno))));
}

namespace {

QVariant checkedValue(const FieldDef &f, const QVariant &value)
{
    const QString fieldName = QString::fromLatin1(f.name);
    if (!value.isValid() || value.isNull())
        return {};
    auto wrongType = [&]() -> QVariant {
        fail(Error::Kind::InvalidValue, QStringLiteral("Data type conversion error in field '%1'.").arg(fieldName));
    };
    switch (f.type) {
    case FieldType::Counter:
        fail(Error::Kind::InvalidValue, QStringLiteral("Field '%1' cannot be updated.").arg(fieldName));
    case FieldType::Text: {
        if (!value.canConvert<QString>())
            return wrongType();
        QString text;
        if (value.typeId() == QMetaType::Double)
            text = QString::number(value.toDouble(), 'g', 15);
        else
            text = value.toString();
        if (text.size() > f.size)
            fail(Error::Kind::InvalidValue,
                 QStringLiteral("The field '%1' is too small to accept the amount of data (%2 of at most %3 characters).")
                     .arg(fieldName).arg(text.size()).arg(f.size));
        return text;
    }
    case FieldType::Int16:
    case FieldType::Int32: {
        bool ok = false;
        const double d = value.typeId() == QMetaType::QString ? value.toString().trimmed().toDouble(&ok)
                                                               : value.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            return wrongType();
        const double r = std::nearbyint(d); // halves to even
        const double lo = f.type == FieldType::Int16 ? -32768.0 : -2147483648.0;
        const double hi = f.type == FieldType::Int16 ? 32767.0 : 2147483647.0;
        if (r < lo || r > hi)
            fail(Error::Kind::InvalidValue, QStringLiteral("Overflow: %1 does not fit field '%2'.").arg(d).arg(fieldName));
        return QVariant(qint64(r));
    }
    case FieldType::Double: {
        bool ok = false;
        const double d = value.typeId() == QMetaType::QString ? value.toString().trimmed().toDouble(&ok)
                                                               : value.toDouble(&ok);
        if (!ok || !std::isfinite(d))
            return wrongType();
        return QVariant(d);
    }
    case FieldType::YesNo: {
        if (value.typeId() == QMetaType::Bool)
            return QVariant(value.toBool());
        bool ok = false;
        const double d = value.toDouble(&ok);
        if (!ok)
            return wrongType();
        return QVariant(d != 0.0);
    }
    }
    return value;
}

} // namespace

QVariant checkedFieldValue(const FieldDef &field, const QVariant &value)
{
    return checkedValue(field, value);
}

} // namespace quellix::store
