#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include "schema.h"
#include <QVector>

#include <functional>
#include <memory>
#include <vector>

struct sqlite3;

/// Helpers shared by the tests: a temporary store directory made current,
/// stand-by messages answered without a window, and direct reads of the
/// store files.
namespace testsupport {

/// Makes a fresh temporary directory the current directory for its
/// lifetime, answers stand-by messages by recording them, and drops the
/// process's cached store connections so every test starts as a new process.
class StoreDir
{
public:
    StoreDir();
    ~StoreDir();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }
    /// The titles of the stand-by messages shown so far.
    QStringList messages;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

/// All rows of a table of a store file, read with the store password, each
/// as field name -> value, in row order. Empty fields are absent.
QVector<QVariantMap> readTable(const QString &file, const QString &table);

/// The rows of LOG.MDB's table LOG in the directory.
QVector<QVariantMap> logRows(const QString &dir);

/// The rows of LOG whose `field` holds `value`, in row order.
QVector<QVariantMap> logRowsWhere(const QString &dir, const QString &field, const QVariant &value);

/// Runs an SQL statement on a store file with the store password; returns
/// the first column of the first row (or an invalid QVariant).
QVariant querySingle(const QString &file, const QString &sql);

/// Runs SQL statements on a store file through a keyed connection of its
/// own, as another program would (the file's own checks apply); the
/// engine's result code.
int execSql(const QString &file, const QString &sql);

} // namespace testsupport

class Quellix;

namespace testsupport {

/// Records the events of a control in the order they are raised, each as
/// its name, with the argument for the value events ("DisplayChange 7").
class EventLog : public QObject
{
public:
    explicit EventLog(Quellix *control);
    QStringList events;
    /// Just the names, without arguments.
    QStringList names() const;
    void clear() { events.clear(); }
};

/// Settings fields with their values, written in this order.
using SettingsFields = QList<std::pair<quellix::schema::Field, QVariant>>;

/// Sets one field of the settings row of `control` in the current store
/// directory's SETTINGS.MDB (as the properties dialog would).
void setSettingsField(const QString &control, quellix::schema::Field field, const QVariant &value);

/// A control named `name`, registered in the current store directory, with
/// `fields` written into its settings row and the row loaded again.
std::unique_ptr<Quellix> registeredControl(const QString &name, const SettingsFields &fields = {});

/// The settings row of `control` (first match), as field -> value.
QVariantMap settingsRow(const QString &dir, const QString &control);

/// What a call fails with: the message of a store error, else a text
/// saying it was another error or none.
QString storeErrorOf(const std::function<void()> &fn);

/// Scratch directories that live until the program ends (stores made by a
/// contract suite's factory outlive the factory).
std::vector<std::unique_ptr<QTemporaryDir>> &scratchDirs();

/// A keyed connection of its own to a store file, past the library, as
/// another program has (the file is made when missing).
class Raw
{
public:
    explicit Raw(const QString &file);
    ~Raw();
    Raw(const Raw &) = delete;
    Raw &operator=(const Raw &) = delete;
    /// The engine's result code of running the statements.
    int exec(const QString &sql);
    /// One statement with values bound by their QVariant types; SQLITE_OK when done.
    int run(const QString &sql, const QVariantList &values);
    /// The first column of the first row as a number, -1 when there is none.
    qint64 number(const QString &sql);
    QString error() const;

private:
    ::sqlite3 *m_db = nullptr;
};

} // namespace testsupport
