#pragma once

// The store files' engine connections: one keyed connection per file,
// shared by everyone in the process (the connection cache), the file's
// creation and its cipher settings, and the check of a value against its
// field before it is written.

#include "tablesql.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <memory>

struct sqlite3;
struct sqlite3_stmt;

namespace quellix::store {

/// Locale text and password of both store files.
inline constexpr char kLocaleText[] = ";LANGID=0x0409;CP=1252;COUNTRY=0";
inline constexpr char kStorePassword[] = "quibble";
/// The connect text of the store files.
QString storeConnectText(); // ";PWD=quibble"

/// The password in a connect text such as ";pwd=quibble" (key is case-blind).
QString passwordFromConnect(const QString &connect);

/// The cipher settings every store file is written with: those of SQLCipher 3
/// (1024-byte pages, 64000 key-derivation iterations, SHA1 HMAC and key
/// derivation), so the files open with SQLCipher 3 readers and with SQLCipher
/// 4 readers set to compatibility 3. Engines of the 4 series take them from
/// "cipher_compatibility"; those of the 3 series do not know that setting and
/// take page size and iterations from the explicit values, which are given
/// rather than left to the engine's process-wide defaults.
inline constexpr char kStoreCipherSettings[] =
    "PRAGMA cipher_compatibility = 3; PRAGMA cipher_page_size = 1024; PRAGMA kdf_iter = 64000;";

/// The defaults of SQLCipher 4 (4096-byte pages, 256000 iterations), tried
/// when a file does not open with kStoreCipherSettings: files written before
/// the settings were pinned still open. An engine of the 3 series has no
/// SHA512, so there these are the page size and iterations only.
inline constexpr char kSqlCipher4Settings[] =
    "PRAGMA cipher_compatibility = 4; PRAGMA cipher_page_size = 4096; PRAGMA kdf_iter = 256000;";

/// One open, keyed SQLCipher connection to a store file. Deriving the key
/// costs tens of milliseconds, so a process keeps one connection per file and
/// every user of that file shares it. A file replaced on disk (another
/// inode) gets a new connection.
///
/// A file that cannot be opened for writing (a station that may only look)
/// is opened for reading; every write through it is then refused. A
/// connection also refuses every write once its file was deleted or replaced
/// on disk: such writes would vanish with the old file.
class Connection
{
public:
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    /// The shared connection for this file, opened on first use. Throws
    /// Error(Store) when the file is missing, is not a store file or has
    /// another password; the file is never created or changed by this.
    static std::shared_ptr<Connection> acquire(const QString &path, const QString &password);

    /// A connection of the caller's own to this file, opened like
    /// acquire() but never shared or cached: for a thread that writes the
    /// file beside the shared connection. Given a device and inode, only
    /// that file is opened: another one at the path is refused unopened.
    /// Throws Error(Store) as acquire().
    static std::unique_ptr<Connection> openPrivate(const QString &path, const QString &password,
                                                   quint64 device = 0, quint64 inode = 0);

    /// Adds a function that acquire() calls before it opens the file at an
    /// (absolute) path, with the file's device and inode. A part holding
    /// connections of its own to that path must close those to any other
    /// file there before it returns: the engine would take the write-ahead
    /// log they keep beside the path for the new file's.
    static void addOpeningHook(void (*hook)(const QString &path, quint64 device, quint64 inode));

    /// Drops every cached connection (tests use it to simulate a new
    /// process). Runs the hooks added with addCloseAllHook() first, so that
    /// parts holding connections of their own close them too.
    static void closeAll();
    static void addCloseAllHook(void (*hook)());

    QString path() const { return m_path; }
    sqlite3 *handle() const { return m_db; }

    /// True when the file could only be opened for reading.
    bool isReadOnly() const { return m_readOnly; }

    /// The file opened (st_dev and st_ino when it was opened): two
    /// connections with the same pair have the same file open.
    quint64 device() const { return m_device; }
    quint64 inode() const { return m_inode; }

    /// The cipher settings in use on this connection, as the engine reports them.
    struct CipherSettings
    {
        int pageSize = 0;
        int kdfIterations = 0;
        bool sqlCipher4 = false; ///< opened with kSqlCipher4Settings, not kStoreCipherSettings
    };
    CipherSettings cipherSettings() const;

    /// Throws Error(Store) when nothing may be written through this
    /// connection: the file was opened read-only, or the file at its path was
    /// deleted or replaced since it was opened (one stat per call). A
    /// connection that finds its file gone is retired.
    void requireWritable();

    /// Closes the engine's handle for good; every later use of this
    /// connection fails with Error(Store). Used once the file at the path is
    /// no longer the one opened.
    void retire();
    bool isRetired() const { return !m_db; }

    /// A prepared statement for this SQL text, kept for the life of the
    /// connection and reset before it is handed out. Throws Error(Store).
    sqlite3_stmt *prepare(const QString &sql);

    /// Runs a statement that returns no rows. Throws Error(Store).
    void exec(const QString &sql);

    /// The engine's last error text of this connection.
    QString lastError() const;

private:
    struct Opened;
    explicit Connection(const Opened &opened);
    void requireFile() const; ///< throws once retired
    QString m_path;
    QByteArray m_encodedPath; // for the stat before each write
    sqlite3 *m_db = nullptr;
    quint64 m_device = 0;     // the file opened: st_dev, st_ino
    quint64 m_inode = 0;
    bool m_readOnly = false;
    bool m_sqlCipher4 = false;
    QVector<std::pair<QString, sqlite3_stmt *>> m_statements;
};

/// Gives a table of a file made with the older, stricter checks the checks
/// of new files, which take every value a column keeps exactly; no field and
/// no stored value changes. Does nothing on a read-only file or a table of
/// any other definition. Returns true when it changed the table. Throws
/// Error(Store) when the file refuses (the table is then as it was).
bool loosenLegacyChecks(Connection &c, const TableDef &table);

/// Creates a new store file holding the given tables, encrypted with the
/// password. The file is built beside its final name and linked into place
/// only when complete, so an existing file is never touched or replaced and
/// no other program sees a half-made file. Throws Error(Store) when the file
/// exists already or cannot be made.
/// `extraSql` runs after the tables are made, in the same transaction
/// (the indexes of the file).
void createStoreFile(const QString &path, const QString &localeText, const QString &password,
                     std::span<const TableDef *const> tables, const QStringList &extraSql = {});

/// A value checked against a field before it is written: the value to
/// store, or Error(InvalidValue) when the field cannot hold it (wrong type,
/// text too long, integer out of range). A fractional number for an integer
/// field is rounded to the nearest integer, halves to even; a null value
/// empties the field.
QVariant checkedFieldValue(const FieldDef &field, const QVariant &value);

} // namespace quellix::store
