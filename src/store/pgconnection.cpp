#include "pgconnection.h"

#include "error.h"
#include "tablesql.h"

#include <QRegularExpression>
#include <QUrl>

#include <libpq-fe.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace quellix::store::pg {

namespace {

[[noreturn]] void invalid(const QString &why)
{
    throw Error(Error::Kind::InvalidValue, why);
}

QString fromPg(const char *s)
{
    return QString::fromUtf8(s ? s : "").trimmed();
}

// The SQL type of a field on the server.
QString columnType(const FieldDef &f)
{
    switch (f.type) {
    case FieldType::Text:
        return QStringLiteral("varchar(%1)").arg(f.size); // counted in characters, like the files
    case FieldType::Int16:
        return QStringLiteral("smallint");
    case FieldType::Int32:
        return QStringLiteral("integer");
    case FieldType::Double:
        return QStringLiteral("double precision");
    case FieldType::YesNo:
        return QStringLiteral("boolean");
    case FieldType::Counter:
        // 64 bits: a plant's stations together can pass 2^31 records
        // within weeks, where a 32-bit counter would stop every append.
        return QStringLiteral("bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY");
    }
    return {};
}

QString createTable(const TableDef &t, const QStringList &extra)
{
    QStringList cols;
    for (const FieldDef &f : t.fields)
        cols << quoteIdentifier(QString::fromLatin1(f.name)) + QLatin1Char(' ') + columnType(f);
    cols << extra;
    return QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (%2)")
        .arg(quoteIdentifier(QString::fromLatin1(t.name)), cols.join(QStringLiteral(", ")));
}

QString createIndex(const char *name, const char *table, const char *columns)
{
    return QStringLiteral("CREATE INDEX IF NOT EXISTS \"%1\" ON \"%2\" (%3)")
        .arg(QLatin1String(name), QLatin1String(table), QLatin1String(columns));
}

QByteArray paramText(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return v.toBool() ? "true" : "false";
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = v.toDouble();
        if (std::isnan(d))
            return "NaN";
        if (std::isinf(d))
            return d > 0 ? "Infinity" : "-Infinity";
        return QByteArray::number(d, 'g', 17);
    }
    default:
        return v.toString().toUtf8();
    }
}

} // namespace

void requireServerUrl(const QString &url)
{
    if (!url.startsWith(QLatin1String("postgresql://")) && !url.startsWith(QLatin1String("postgres://")))
        invalid(QStringLiteral("'%1' is not a postgresql:// address").arg(shownUrl(url)));
    char *err = nullptr;
    PQconninfoOption *opts = PQconninfoParse(url.toUtf8().constData(), &err);
    if (!opts) {
        const QString why = fromPg(err);
        PQfreemem(err);
        invalid(QStringLiteral("'%1' is not an address the server library reads: %2").arg(shownUrl(url), why));
    }
    bool password = false;
    for (PQconninfoOption *o = opts; o->keyword; ++o) {
        if (qstrcmp(o->keyword, "password") == 0 && o->val && *o->val)
            password = true;
    }
    PQconninfoFree(opts);
    if (password)
        invalid(QStringLiteral("The address '%1' carries a password: give it in the password file (PGPASSFILE) or "
                               "the service file instead")
                    .arg(shownUrl(url)));
}

QString shownUrl(const QString &url)
{
    // scheme://[user[:password]@]hosts[/db][?params]: keep scheme, hosts
    // and database only.
    static const QRegularExpression re(QStringLiteral("^([a-z]+://)(?:[^@/?]*@)?([^/?]*)(/[^?]*)?"));
    const QRegularExpressionMatch m = re.match(url);
    if (!m.hasMatch())
        return QStringLiteral("(an address that is not a URL)");
    return m.captured(1) + QUrl::fromPercentEncoding(m.captured(2).toUtf8()) + m.captured(3);
}

// --- Result

Result::~Result()
{
    if (m_r)
        PQclear(m_r);
}

Result &Result::operator=(Result &&o) noexcept
{
    if (this != &o) {
        if (m_r)
            PQclear(m_r);
        m_r = o.m_r;
        o.m_r = nullptr;
    }
    return *this;
}

int Result::rows() const { return m_r ? PQntuples(m_r) : 0; }
bool Result::isNull(int row, int col) const { return PQgetisnull(m_r, row, col) != 0; }
QString Result::text(int row, int col) const
{
    return QString::fromUtf8(PQgetvalue(m_r, row, col), PQgetlength(m_r, row, col));
}
qint64 Result::integer(int row, int col) const { return std::strtoll(PQgetvalue(m_r, row, col), nullptr, 10); }
double Result::number(int row, int col) const
{
    // strtod reads "Infinity", "-Infinity" and "NaN" as PostgreSQL writes them.
    return std::strtod(PQgetvalue(m_r, row, col), nullptr);
}
bool Result::yes(int row, int col) const { return PQgetvalue(m_r, row, col)[0] == 't'; }
qint64 Result::changed() const { return m_r ? std::strtoll(PQcmdTuples(m_r), nullptr, 10) : 0; }

// --- Connection

Connection::~Connection()
{
    if (m_conn)
        PQfinish(m_conn);
}

std::unique_ptr<Connection> Connection::open(const QString &url, int timeoutSeconds)
{
    requireServerUrl(url);
    const QByteArray address = url.toUtf8();
    const QByteArray timeout = QByteArray::number(timeoutSeconds);
    // Given before the address, so the address's own values win; the
    // address is expanded as a connection URL.
    const char *keys[] = {"connect_timeout", "application_name", "dbname", nullptr};
    const char *values[] = {timeout.constData(), "quellix", address.constData(), nullptr};
    pg_conn *c = PQconnectdbParams(keys, values, 1);
    const QString shown = shownUrl(url);
    if (!c)
        throw Error(Error::Kind::Store, QStringLiteral("The store server %1 cannot be reached: out of memory").arg(shown));
    if (PQstatus(c) != CONNECTION_OK) {
        const QString why = fromPg(PQerrorMessage(c));
        PQfinish(c);
        throw Error(Error::Kind::Store, QStringLiteral("The store server %1 cannot be reached: %2").arg(shown, why));
    }
    // Numbers travel as text; the server writes doubles exactly.
    PQclear(PQexec(c, "SET extra_float_digits = 3"));
    return std::unique_ptr<Connection>(new Connection(c, shown));
}

Result Connection::exec(const QString &sql, const QVariantList &params)
{
    std::vector<QByteArray> texts;
    std::vector<const char *> values;
    texts.reserve(size_t(params.size()));
    values.reserve(size_t(params.size()));
    for (const QVariant &p : params) {
        if (!p.isValid() || p.isNull()) {
            texts.emplace_back();
            values.push_back(nullptr);
        } else {
            texts.push_back(paramText(p));
            values.push_back(texts.back().constData());
        }
    }
    pg_result *raw = PQexecParams(m_conn, sql.toUtf8().constData(), int(values.size()), nullptr, values.data(),
                                  nullptr, nullptr, 0);
    const ExecStatusType status = raw ? PQresultStatus(raw) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
        m_lastState.clear();
        return Result(raw);
    }
    QString why = fromPg(raw ? PQresultErrorMessage(raw) : nullptr);
    if (why.isEmpty())
        why = fromPg(PQerrorMessage(m_conn));
    m_lastState = raw ? fromPg(PQresultErrorField(raw, PG_DIAG_SQLSTATE)) : QString();
    if (raw)
        PQclear(raw);
    if (lost())
        why = QStringLiteral("the connection to the store server %1 is lost: %2").arg(m_shown, why);
    throw Error(Error::Kind::Store, why);
}

bool Connection::lost()
{
    if (PQstatus(m_conn) == CONNECTION_BAD)
        return true;
    // A server that went away has closed the socket: reading finds it out.
    PQconsumeInput(m_conn);
    return PQstatus(m_conn) == CONNECTION_BAD;
}

QStringList schemaSql()
{
    const QString station = QStringLiteral("\"Station\" varchar(255)"); // the host name of the writer
    return {
        // "Row" keeps the order in which rows were added: the first row of
        // a name is the one used.
        createTable(settingsTable(), {QStringLiteral("\"Row\" bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY")}),
        createIndex("Settings by name", "Settings", "\"Control Name\", \"Row\""),
        createTable(logTable(), {station}),
        createIndex("LOG by control and type", "LOG", "\"Control\", \"Type\", \"Num\""),
        createIndex("LOG by control", "LOG", "\"Control\", \"Num\""),
        createIndex("LOG by type", "LOG", "\"Type\", \"Num\""),
        createTable(dataTable(), {station}),
        createIndex("DATA by control", "DATA", "\"Control\", \"Num\""),
        // The last record of each stream of records (a spool file, a
        // writer) that reached the server: records are sent again after a
        // lost connection, and the server keeps each once.
        QStringLiteral("CREATE TABLE IF NOT EXISTS \"Delivered\" (\"Stream\" varchar(64) PRIMARY KEY, "
                       "\"Last\" bigint NOT NULL)"),
    };
}

QStringList rolesSql(const QString &panel, const QString &operatorRole)
{
    static const QRegularExpression plain(QStringLiteral("^[a-z_][a-z0-9_]{0,62}$"));
    for (const QString &r : {panel, operatorRole})
        if (!plain.match(r).hasMatch())
            invalid(QStringLiteral("'%1' is not a role name of small letters, digits and underscores").arg(r));
    auto makeRole = [](const QString &r) {
        return QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN "
                              "CREATE ROLE %1 NOLOGIN; END IF; END $$")
            .arg(r);
    };
    return {
        makeRole(panel),
        makeRole(operatorRole),
        QStringLiteral("DO $$ BEGIN EXECUTE format('GRANT USAGE ON SCHEMA %I TO %1, %2', current_schema()); END $$")
            .arg(panel, operatorRole),
        QStringLiteral("GRANT SELECT, INSERT, UPDATE ON \"Settings\" TO %1").arg(panel),
        QStringLiteral("GRANT SELECT, INSERT ON \"LOG\", \"DATA\" TO %1").arg(panel),
        QStringLiteral("GRANT SELECT, INSERT, UPDATE ON \"Delivered\" TO %1").arg(panel),
        QStringLiteral("GRANT %1 TO %2").arg(panel, operatorRole),
        QStringLiteral("GRANT DELETE ON \"LOG\", \"DATA\" TO %1").arg(operatorRole),
    };
}

} // namespace quellix::store::pg
