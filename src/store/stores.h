#pragma once

// The store interfaces the control, the properties dialog and the log viewer
// work through. They know nothing of the engine that holds the rows: the
// SQLCipher files of a directory (sqlcipherstores.h, sqlcipherlog.h) or a
// PostgreSQL server (pgstores.h, pglog.h). Every failure is a quellix::Error.

#include "logstore.h"
#include "settingsrow.h"

#include <QDateTime>
#include <QString>
#include <QVector>

#include <memory>
#include <optional>

namespace quellix::store {

/// Where the stores are: a directory holding SETTINGS.MDB and LOG.MDB, or a
/// server address (postgresql://host:port/dbname). Chosen by the host once
/// per process; without a choice each registration takes the current
/// directory, as it always did.
class StoreLocation
{
public:
    enum class Kind { Directory, Server };

    static StoreLocation directory(const QString &path);
    static StoreLocation server(const QString &url);

    Kind kind() const { return m_kind; }
    /// The directory path (absolute and clean, without a trailing
    /// separator: every spelling of one directory is one location) or the
    /// server URL.
    QString address() const { return m_address; }
    bool operator==(const StoreLocation &) const = default;

private:
    Kind m_kind = Kind::Directory;
    QString m_address;
};

/// The settings table: one row per control name. A row is addressed by the
/// control's name (the first row of that name, in row order), which no
/// rebuild of the table by another program can renumber. Names are compared
/// exactly (letter case and blanks count) and never as patterns; an empty
/// name is no name: no row has it.
class SettingsStore
{
public:
    virtual ~SettingsStore() = default;

    /// True when a row of this name exists.
    virtual bool contains(const QString &control) = 0;
    /// The row of this name with every field as its type declares it;
    /// a field that is empty or holds a value its type cannot hold (written
    /// by another program) is absent from the value. std::nullopt when there
    /// is no row of this name.
    virtual std::optional<SettingsRow> read(const QString &control) = 0;
    /// Adds a row after the others (its "Control Name" says whose). Throws
    /// Error when the store refuses a field, or InvalidValue for a row
    /// without a name (it could never be found); then nothing is added.
    virtual void add(const SettingsRow &row) = 0;
    /// Writes one field of the row of this name, converted by toFieldValue()
    /// (an empty value empties the field). Throws Error (InvalidValue when
    /// the field cannot hold the value, NotFound when there is no such row);
    /// the row is then unchanged.
    virtual void writeField(const QString &control, Field field, const QVariant &value) = 0;
    /// Writes every field present in `row` into the row of this name in one
    /// transaction: all of them or none (absent fields are left as they
    /// are). Throws Error (NotFound when there is no such row, also for a row
    /// without fields).
    virtual void writeRow(const QString &control, const SettingsRow &row) = 0;
};

/// What a list of the log shows: every record, or those of one control, of
/// one type, or both. Values are data: they never become SQL text.
struct LogFilter {
    QString control; ///< empty: every control (every record with a control name)
    QString type;    ///< empty: every type ("USER", "SYSTEM", "LIMIT"); names and types match exactly
    bool operator==(const LogFilter &) const = default;
};

/// One stored row of LOG.
struct LogRow {
    qint64 num = 0;
    QString time; ///< "MM/dd/yyyy hh:mm:ss AP"
    LogRecord record;
};

/// One stored row of DATA.
struct SampleRow {
    qint64 num = 0;
    QString time;
    SampleRecord record;
};

/// The event log: LOG and DATA.
class EventLog
{
public:
    virtual ~EventLog() = default;

    /// Appends a log record, "Time" now, "Num" assigned by the store. A
    /// record the fields cannot hold is refused with Error at once; a store
    /// that is busy never blocks the caller's thread for long.
    virtual void append(const LogRecord &record) = 0;
    virtual void append(const SampleRecord &record) = 0;

    /// Waits until every append made before it is in the store. Throws
    /// Error(Store) when one of them could not be written after append()
    /// had returned (the first such failure since the last flush()); such a
    /// failure is also warned about when it happens. page(), count() and
    /// newestSamples() see every append made before them without a flush().
    virtual void flush() = 0;

    /// Takes the store found at its place now as the one written from here
    /// on, and opens it (throws Error when it cannot be opened). Registration
    /// calls it after creating a missing file. The log first takes the store
    /// it finds at its first use; once that store was deleted or replaced,
    /// every append is refused until reopen(), so no record goes silently
    /// into a file nobody reads or into another one.
    virtual void reopen() = 0;

    /// Up to `limit` rows of the filter with "Num" greater than `afterNum`,
    /// in "Num" order. Each page costs the same wherever it starts.
    virtual QVector<LogRow> page(const LogFilter &filter, qint64 afterNum, int limit) = 0;
    /// The number of rows the filter selects.
    virtual qint64 count(const LogFilter &filter) = 0;
    /// The newest `n` samples of a control, oldest first.
    virtual QVector<SampleRow> newestSamples(const QString &control, int n) = 0;

    /// Deletes what the filter selects from LOG, in one transaction; returns
    /// how many rows went.
    virtual qint64 removeLog(const LogFilter &filter) = 0;
    /// Deletes the samples of a control (every sample for an empty name),
    /// in one transaction; returns how many rows went.
    virtual qint64 removeSamples(const QString &control) = 0;
};

/// The stores at a location. Opening creates nothing: registration creates
/// missing files (behind its stand-by messages) with createStores().
class Stores
{
public:
    virtual ~Stores() = default;
    virtual StoreLocation location() const = 0;
    virtual SettingsStore &settings() = 0;
    virtual EventLog &log() = 0;
};

/// The stores at a location, shared by every user in the process: one per
/// location while anyone holds it. Opening reads nothing: a file that
/// cannot be read fails the calls that need it. The stores of a directory
/// stay bound to the files they opened; once one of them was deleted or
/// replaced on disk, openStores() returns new stores on the files there
/// now, while the old ones refuse every write. The stores of a server
/// are opened without reaching it: while it cannot be reached, appends wait
/// in the station's spool and settings changes are refused.
std::shared_ptr<Stores> openStores(const StoreLocation &location);

/// The location the host chose, if it did.
std::optional<StoreLocation> chosenStoreLocation();
/// Chooses the location once per process; a second, different choice throws
/// Error (InvalidValue).
void chooseStoreLocation(const StoreLocation &location);

} // namespace quellix::store
