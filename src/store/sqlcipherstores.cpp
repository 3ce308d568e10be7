#include "sqlcipherstores.h"

#include "error.h"
#include "connectioncache.h"
#include "sqlcipherapi.h"
#include "sqlcipherlog.h"
#include "storefiles.h"
#include "settingsbase.h"

#include <QLoggingCategory>
#include <QStringList>


Q_LOGGING_CATEGORY(lcSettingsStore, "quellix.settings")

namespace quellix::store {

using sqlcipher::api;

namespace {

/// Resets a prepared statement and clears its values when the call is
/// over, so no read transaction stays open between calls.
struct Statement
{
    sqlite3_stmt *st;
    ~Statement()
    {
        api().reset(st);
        api().clear_bindings(st);
    }
};

const QString &settingsSql()
{
    static const QString name = quoteIdentifier(QLatin1String(settingsTable().name));
    return name;
}

QString columnSql(Field field)
{
    return quoteIdentifier(schema::fieldName(field));
}

// The row a name addresses: the first of that name in row order. A value
// bound, never a pattern: the names are compared exactly, byte for byte.
QString firstRowOfName(int parameter)
{
    return QStringLiteral("SELECT rowid FROM %1 WHERE %2 = ?%3 ORDER BY rowid LIMIT 1")
        .arg(settingsSql(), columnSql(Field::ControlName))
        .arg(parameter);
}

void bindText(sqlite3_stmt *st, int index, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    api().bind_text(st, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

// Binds a field's value with the engine type of the field, whatever
// QVariant type holds it: the file's checks see the type they expect.
void bindField(sqlite3_stmt *st, int index, const FieldDef &f, const QVariant &typed)
{
    if (!typed.isValid()) {
        api().bind_null(st, index);
        return;
    }
    switch (f.type) {
    case FieldType::Text:
        bindText(st, index, typed.toString());
        break;
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Counter:
        api().bind_int64(st, index, typed.toLongLong());
        break;
    case FieldType::Double:
        api().bind_double(st, index, typed.toDouble());
        break;
    case FieldType::YesNo:
        api().bind_int(st, index, typed.toBool() ? 1 : 0);
        break;
    }
}

// A stored value as the engine holds it.
QVariant storedValue(sqlite3_stmt *st, int col)
{
    switch (api().column_type(st, col)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(api().column_int64(st, col)));
    case SQLITE_FLOAT:
        return QVariant(api().column_double(st, col));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(api().column_text(st, col)),
                                          api().column_bytes(st, col)));
    case SQLITE_BLOB:
        return QVariant(QByteArray(reinterpret_cast<const char *>(api().column_text(st, col)), api().column_bytes(st, col)));
    default:
        return {};
    }
}

class SqlCipherSettingsStore final : public FieldUpdatingSettingsStore
{
public:
    explicit SqlCipherSettingsStore(const QString &directory) : m_directory(directory) {}

    bool contains(const QString &control) override
    {
        if (control.isEmpty())
            return false; // an empty name is no name: no row carries it
        Connection &c = connection();
        Statement s{c.prepare(firstRowOfName(1))};
        bindText(s.st, 1, control);
        const int rc = api().step(s.st);
        if (rc != SQLITE_ROW && rc != SQLITE_DONE)
            failStore(c, QStringLiteral("Could not look for the settings row of '%1'").arg(control));
        return rc == SQLITE_ROW;
    }

    std::optional<SettingsRow> read(const QString &control) override
    {
        if (control.isEmpty())
            return std::nullopt;
        Connection &c = connection();
        Statement s{c.prepare(QStringLiteral("SELECT * FROM %1 WHERE %2 = ?1 ORDER BY rowid LIMIT 1")
                                  .arg(settingsSql(), columnSql(Field::ControlName)))};
        bindText(s.st, 1, control);
        const int rc = api().step(s.st);
        if (rc == SQLITE_DONE)
            return std::nullopt;
        if (rc != SQLITE_ROW)
            failStore(c, QStringLiteral("Could not read the settings row of '%1'").arg(control));
        // Fields are taken by name: a file whose table lacks one leaves it absent.
        SettingsRow row;
        const int columns = api().column_count(s.st);
        for (int col = 0; col < columns; ++col) {
            if (const auto f = schema::fieldByName(QString::fromUtf8(api().column_name(s.st, col))))
                row.setRead(*f, storedValue(s.st, col));
        }
        return row;
    }

    void add(const SettingsRow &row) override
    {
        // A row without a name could never be found again: every start
        // would add another.
        if (row.controlName().isEmpty())
            throw Error(Error::Kind::InvalidValue, QStringLiteral("A settings row needs a control name."));
        const QVector<Field> fields = checkedFields(row);
        Connection &c = connection();
        c.requireWritable();
        QStringList names, marks;
        for (Field f : fields) {
            names << columnSql(f);
            marks << QStringLiteral("?");
        }
        Statement s{c.prepare(QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                  .arg(settingsSql(), names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))))};
        int b = 1;
        for (Field f : fields)
            bindField(s.st, b++, schema::definition(f), row.value(f));
        if (api().step(s.st) != SQLITE_DONE)
            failStore(c, QStringLiteral("Could not add the settings row of '%1'").arg(row.controlName()));
    }

private:
    Connection &connection()
    {
        // Bound once: a store that found its file gone refuses from then on
        // instead of following the path to whatever file is there now.
        if (!m_connection) {
            m_connection = Connection::acquire(storeFilePath(m_directory, QLatin1String(kSettingsFileName)),
                                               QLatin1String(kStorePassword));
            // A file made with the older checks takes what other programs
            // may write from now on; failing that, it works as it is.
            try {
                loosenLegacyChecks(*m_connection, settingsTable());
            } catch (const Error &e) {
                qCWarning(lcSettingsStore, "%s: the table's checks stay as they are: %s",
                          qPrintable(m_connection->path()), qPrintable(e.message()));
            }
        }
        return *m_connection;
    }

    [[noreturn]] static void failStore(const Connection &c, const QString &what)
    {
        throw Error(Error::Kind::Store, QStringLiteral("%1: %2").arg(what, c.lastError()));
    }

    // One statement, so one transaction: every field of `fields` or none.
    void update(const QString &control, const SettingsRow &row, const QVector<Field> &fields) override
    {
        if (control.isEmpty())
            notFound(control);
        Connection &c = connection();
        c.requireWritable();
        QStringList sets;
        for (Field f : fields)
            sets << columnSql(f) + QStringLiteral("=?%1").arg(sets.size() + 1);
        const int nameParameter = int(fields.size()) + 1;
        Statement s{c.prepare(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = (%3)")
                                  .arg(settingsSql(), sets.join(QLatin1Char(',')), firstRowOfName(nameParameter)))};
        int b = 1;
        for (Field f : fields)
            bindField(s.st, b++, schema::definition(f), row.value(f));
        bindText(s.st, nameParameter, control);
        if (api().step(s.st) != SQLITE_DONE)
            failStore(c, QStringLiteral("Could not write the settings row of '%1'").arg(control));
        if (api().changes(c.handle()) == 0)
            notFound(control);
    }

    QString m_directory;
    std::shared_ptr<Connection> m_connection;
};

class SqlCipherDirectoryStores final : public Stores
{
public:
    explicit SqlCipherDirectoryStores(const StoreLocation &location)
        : m_location(location), m_settings(makeSqlCipherSettingsStore(location.address())),
          m_log(makeSqlCipherEventLog(storeFilePath(location.address(), QLatin1String(kLogFileName))))
    {
    }

    StoreLocation location() const override { return m_location; }
    SettingsStore &settings() override { return *m_settings; }
    EventLog &log() override { return *m_log; }

private:
    StoreLocation m_location;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<EventLog> m_log;
};

} // namespace

std::unique_ptr<SettingsStore> makeSqlCipherSettingsStore(const QString &directory)
{
    return std::make_unique<SqlCipherSettingsStore>(directory);
}

std::shared_ptr<Stores> makeSqlCipherDirectoryStores(const StoreLocation &location)
{
    // Not make_shared: its type tag would be one more symbol the shared
    // library exports.
    return std::shared_ptr<Stores>(new SqlCipherDirectoryStores(location));
}

} // namespace quellix::store
