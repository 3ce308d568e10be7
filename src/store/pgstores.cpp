#include "pgstores.h"

#include "error.h"
#include "pgconnection.h"
#include "pglog.h"
#include "connectioncache.h"
#include "schema.h"
#include "tablesql.h"
#include "settingsrow.h"
#include "spool.h"
#include "sqlcipherapi.h"
#include "storefiles.h"
#include "settingsbase.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>

#include <QHash>
#include <QMutex>
#include <QStringList>

namespace quellix::store {

using sqlcipher::api;

namespace {

QString column(Field field)
{
    return quoteIdentifier(schema::fieldName(field));
}

// The row a name addresses: the first of that name in the order rows were
// added. The name is a bound value, compared exactly.
QString firstRowOfName(int parameter)
{
    return QStringLiteral("SELECT \"Row\" FROM \"Settings\" WHERE \"Control Name\" = $%1 ORDER BY \"Row\" LIMIT 1")
        .arg(parameter);
}

const QString &allColumns()
{
    static const QString cols = [] {
        QStringList names;
        for (Field f : schema::settingsFields())
            names << column(f);
        return names.join(QLatin1Char(','));
    }();
    return cols;
}

// A value as the server column of the field holds it.
QVariant serverValue(const pg::Result &r, int row, int col, const FieldDef &f)
{
    if (r.isNull(row, col))
        return {};
    switch (f.type) {
    case FieldType::Text:
        return r.text(row, col);
    case FieldType::Int16:
    case FieldType::Int32:
    case FieldType::Counter:
        return qlonglong(r.integer(row, col));
    case FieldType::Double:
        return r.number(row, col);
    case FieldType::YesNo:
        return r.yes(row, col);
    }
    return {};
}

const QString kNotSaved = QStringLiteral("The settings change is not saved");

Q_LOGGING_CATEGORY(lcServerSettings, "quellix.server.settings")

QString rowText(const SettingsRow &row)
{
    QJsonArray fields;
    for (Field f : schema::settingsFields())
        fields.append(QJsonValue::fromVariant(row.value(f)));
    return QString::fromUtf8(QJsonDocument(fields).toJson(QJsonDocument::Compact));
}

std::optional<SettingsRow> rowOfText(const QString &text)
{
    const QJsonArray fields = QJsonDocument::fromJson(text.toUtf8()).array();
    if (fields.size() != SettingsRow::kFieldCount)
        return std::nullopt;
    SettingsRow row;
    for (Field f : schema::settingsFields()) {
        const QJsonValue v = fields[schema::fieldIndex(f)];
        if (!v.isNull() && !v.isUndefined())
            row.setRead(f, v.toVariant());
    }
    return row;
}

class PgSettingsStore final : public FieldUpdatingSettingsStore
{
public:
    explicit PgSettingsStore(std::shared_ptr<ServerClient> client) : m_client(std::move(client)) {}

    bool containsOnServer(const QString &control)
    {
        bool found = false;
        m_client->run([&](pg::Connection &c) { found = c.exec(firstRowOfName(1), {control}).rows() > 0; },
                      QStringLiteral("The settings cannot be read"), true);
        return found;
    }

    std::optional<SettingsRow> read(const QString &control) override
    {
        if (control.isEmpty())
            return std::nullopt;
        std::optional<SettingsRow> row;
        try {
            row = readFromServer(control);
        } catch (const Error &) {
            // A station that starts while its server is away runs on the
            // row it read last, not on factory values.
            if (!serverAway(m_client->url()))
                throw;
            const QString kept = keptRow(control);
            if (kept.isEmpty())
                throw;
            qCWarning(lcServerSettings, "%s: the store server cannot be reached; the settings read last are used",
                      qPrintable(control));
            return rowOfText(kept);
        }
        if (row)
            keep(control, *row);
        return row;
    }

    bool contains(const QString &control) override
    {
        if (control.isEmpty())
            return false;
        try {
            return containsOnServer(control);
        } catch (const Error &) {
            if (!serverAway(m_client->url()) || keptRow(control).isEmpty())
                throw;
            return true;
        }
    }

    std::optional<SettingsRow> readFromServer(const QString &control)
    {
        std::optional<SettingsRow> row;
        m_client->run(
            [&](pg::Connection &c) {
                const pg::Result r = c.exec(QStringLiteral("SELECT %1 FROM \"Settings\" WHERE \"Row\" = (%2)")
                                                .arg(allColumns(), firstRowOfName(1)),
                                            {control});
                row.reset();
                if (r.rows() == 0)
                    return;
                row.emplace();
                // The columns come in table order (allColumns()).
                for (Field f : schema::settingsFields())
                    row->setRead(f, serverValue(r, 0, schema::fieldIndex(f), schema::definition(f)));
            },
            QStringLiteral("The settings cannot be read"), true);
        return row;
    }

    void add(const SettingsRow &row) override
    {
        if (row.controlName().isEmpty())
            throw Error(Error::Kind::InvalidValue, QStringLiteral("A settings row needs a control name."));
        const QVector<Field> fields = checkedFields(row);
        QStringList names, marks;
        QVariantList params;
        for (Field f : fields) {
            names << column(f);
            params << row.value(f);
            marks << QStringLiteral("$%1").arg(params.size());
        }
        m_client->run(
            [&](pg::Connection &c) {
                c.exec(QStringLiteral("INSERT INTO \"Settings\" (%1) VALUES (%2)")
                           .arg(names.join(QLatin1Char(',')), marks.join(QLatin1Char(','))),
                       params);
            },
            kNotSaved, false);
    }

private:
    // One statement: every field or none.
    void update(const QString &control, const SettingsRow &row, const QVector<Field> &fields) override
    {
        if (control.isEmpty())
            notFound(control);
        QStringList sets;
        QVariantList params;
        for (Field f : fields) {
            params << row.value(f);
            sets << column(f) + QStringLiteral("=$%1").arg(params.size());
        }
        params << control;
        qint64 changed = 0;
        m_client->run(
            [&](pg::Connection &c) {
                changed = c.exec(QStringLiteral("UPDATE \"Settings\" SET %1 WHERE \"Row\" = (%2)")
                                     .arg(sets.join(QLatin1Char(',')), firstRowOfName(int(params.size()))),
                                 params)
                              .changed();
            },
            kNotSaved, false);
        if (changed == 0)
            notFound(control);
        // The copy kept on the station follows the row.
        try {
            if (const auto written = readFromServer(control))
                keep(control, *written);
        } catch (const Error &) {
        }
    }

    // The station's copy of a row, kept beside its spool.
    void keep(const QString &control, const SettingsRow &row)
    {
        try {
            kept().keepSettings(control, rowText(row));
        } catch (const Error &e) {
            qCDebug(lcServerSettings, "%s: no copy kept: %s", qPrintable(control), qPrintable(e.message()));
        }
    }
    QString keptRow(const QString &control)
    {
        try {
            return kept().keptSettings(control);
        } catch (const Error &) {
            return {};
        }
    }
    Spool &kept()
    {
        if (!m_kept)
            m_kept = std::make_unique<Spool>(spoolPathFor(m_client->url()));
        return *m_kept;
    }

    std::shared_ptr<ServerClient> m_client;
    std::unique_ptr<Spool> m_kept;
};

class PgStores final : public Stores
{
public:
    explicit PgStores(const StoreLocation &location)
        : m_location(location), m_client(new ServerClient(location.address())),
          m_settings(makePgSettingsStore(m_client)), m_log(makePgEventLog(location.address(), m_client))
    {
    }

    StoreLocation location() const override { return m_location; }
    SettingsStore &settings() override { return *m_settings; }
    EventLog &log() override { return *m_log; }

private:
    StoreLocation m_location;
    std::shared_ptr<ServerClient> m_client;
    std::unique_ptr<SettingsStore> m_settings;
    std::unique_ptr<EventLog> m_log;
};

struct OpenServers
{
    QMutex mutex;
    QHash<QString, std::weak_ptr<Stores>> stores;
};

OpenServers &openServers()
{
    static OpenServers s;
    return s;
}

// --- import

struct Statement
{
    sqlite3_stmt *st;
    ~Statement() { api().reset(st); }
};

// A stored value of the file as its field declares, empty when the field
// cannot hold it (another program may have written anything).
QVariant fileValue(sqlite3_stmt *st, int col, const FieldDef &f)
{
    QVariant v;
    switch (api().column_type(st, col)) {
    case SQLITE_INTEGER:
        v = qlonglong(api().column_int64(st, col));
        break;
    case SQLITE_FLOAT:
        v = api().column_double(st, col);
        break;
    case SQLITE_TEXT:
        v = QString::fromUtf8(reinterpret_cast<const char *>(api().column_text(st, col)), api().column_bytes(st, col));
        break;
    default:
        return {};
    }
    if (f.type == FieldType::Counter)
        return v;
    try {
        return toFieldValue(f, v);
    } catch (const Error &) {
        return {};
    }
}

Q_LOGGING_CATEGORY(lcImport, "quellix.store.import")

// Imported rows carry no station: the files do not say which one wrote them.
qint64 copyTable(quellix::store::Connection &file, pg::Connection &server, const TableDef &table, const QString &order)
{
    sqlite3_stmt *st = file.prepare(QStringLiteral("SELECT * FROM %1 ORDER BY %2")
                                        .arg(quoteIdentifier(QLatin1String(table.name)), order));
    Statement scope{st};
    // The file's columns by name: a field the file lacks is left empty.
    QVector<int> fileCol;
    QVector<const FieldDef *> fields;
    QStringList names;
    for (const FieldDef &f : table.fields) {
        if (f.type == FieldType::Counter)
            continue; // the server numbers the rows, in the order they come
        int col = -1;
        for (int c = 0; c < api().column_count(st); ++c)
            if (QString::fromUtf8(api().column_name(st, c)) == QLatin1String(f.name))
                col = c;
        fileCol << col;
        fields << &f;
        names << quoteIdentifier(QLatin1String(f.name));
    }
    // A column the table does not have (added by another program) has no
    // place on the server: say so rather than drop it unseen.
    for (int c = 0; c < api().column_count(st); ++c) {
        const QString column = QString::fromUtf8(api().column_name(st, c));
        if (table.indexOf(column) < 0)
            qCWarning(lcImport, "%s: the column \"%s\" of table %s is not one of its fields; it is not imported",
                      qPrintable(file.path()), qPrintable(column), table.name);
    }
    qint64 n = 0;
    QStringList rows;
    QVariantList params;
    auto send = [&] {
        if (rows.isEmpty())
            return;
        server.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                        .arg(quoteIdentifier(QLatin1String(table.name)), names.join(QLatin1Char(',')),
                             rows.join(QLatin1Char(','))),
                    params);
        rows.clear();
        params.clear();
    };
    int rc;
    while ((rc = api().step(st)) == SQLITE_ROW) {
        QStringList marks;
        for (int i = 0; i < fields.size(); ++i) {
            params << (fileCol[i] < 0 ? QVariant() : fileValue(st, fileCol[i], *fields[i]));
            marks << QStringLiteral("$%1").arg(params.size());
        }
        rows << QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
        ++n;
        if (params.size() > 30000)
            send();
    }
    if (rc != SQLITE_DONE)
        throw Error(Error::Kind::Store, QStringLiteral("Could not read %1 of '%2': %3")
                                            .arg(QLatin1String(table.name), file.path(), file.lastError()));
    send();
    return n;
}

} // namespace

std::unique_ptr<SettingsStore> makePgSettingsStore(std::shared_ptr<ServerClient> client)
{
    return std::make_unique<PgSettingsStore>(std::move(client));
}

std::shared_ptr<Stores> openServerStores(const StoreLocation &location)
{
    const QString url = location.address();
    if (!url.startsWith(QLatin1String("postgresql://")) && !url.startsWith(QLatin1String("postgres://")))
        throw Error(Error::Kind::Store, QStringLiteral("The stores at '%1' cannot be reached: this build reaches "
                                                       "PostgreSQL servers (postgresql://) only.")
                                            .arg(pg::shownUrl(url)));
    pg::requireServerUrl(url);
    OpenServers &all = openServers();
    QMutexLocker lock(&all.mutex);
    if (auto s = all.stores.value(location.address()).lock())
        return s;
    auto made = std::shared_ptr<Stores>(new PgStores(location));
    all.stores.insert(location.address(), made);
    return made;
}

void initServerStore(const QString &url, const QString &panelRole, const QString &operatorRole)
{
    QStringList sql = pg::schemaSql();
    if (!panelRole.isEmpty() || !operatorRole.isEmpty())
        sql += pg::rolesSql(panelRole, operatorRole);
    auto c = pg::Connection::open(url);
    c->exec(QStringLiteral("BEGIN"));
    for (const QString &s : sql)
        c->exec(s);
    c->exec(QStringLiteral("COMMIT"));
}

ImportCount importDirectory(const QString &directory, const QString &url)
{
    const QString settingsPath = storeFilePath(directory, QLatin1String(kSettingsFileName));
    const QString logPath = storeFilePath(directory, QLatin1String(kLogFileName));
    const bool hasSettings = storeFileExists(directory, QLatin1String(kSettingsFileName));
    const bool hasLog = storeFileExists(directory, QLatin1String(kLogFileName));
    if (!hasSettings && !hasLog)
        throw Error(Error::Kind::NotFound, QStringLiteral("No SETTINGS.MDB or LOG.MDB in '%1'").arg(directory));
    auto server = pg::Connection::open(url);
    ImportCount n;
    server->exec(QStringLiteral("BEGIN"));
    if (hasSettings) {
        auto file = quellix::store::Connection::openPrivate(settingsPath, QLatin1String(kStorePassword));
        n.settings = copyTable(*file, *server, settingsTable(), QStringLiteral("rowid"));
    }
    if (hasLog) {
        auto file = quellix::store::Connection::openPrivate(logPath, QLatin1String(kStorePassword));
        n.log = copyTable(*file, *server, logTable(), QStringLiteral("\"Num\""));
        n.data = copyTable(*file, *server, dataTable(), QStringLiteral("\"Num\""));
    }
    server->exec(QStringLiteral("COMMIT"));
    return n;
}

} // namespace quellix::store
