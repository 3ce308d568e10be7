#include "testsupport.h"

#include "recordstore.h"
#include "sqlcipherlog.h"
#include "storefiles.h"
#include "stores.h"
#include "error.h"

#include <QDir>
#include <QTest>

#include <sqlcipher/sqlite3.h>

namespace testsupport {

StoreDir::StoreDir() : m_previous(QDir::currentPath())
{
    QVERIFY2(m_dir.isValid(), "temporary directory");
    QDir::setCurrent(m_dir.path());
    quellix::store::Connection::closeAll();
    quellix::store::setInformationHandler([this](const QString &, const QString &title) { messages << title; });
}

StoreDir::~StoreDir()
{
    quellix::store::setInformationHandler(nullptr);
    quellix::store::Connection::closeAll();
    QDir::setCurrent(m_previous);
}

namespace {

sqlite3 *openKeyed(const QString &file)
{
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return nullptr;
    }
    sqlite3_key(db, quellix::store::kStorePassword, int(strlen(quellix::store::kStorePassword)));
    sqlite3_exec(db, quellix::store::kStoreCipherSettings, nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(db, 10000);
    return db;
}

QVariant column(sqlite3_stmt *st, int c)
{
    switch (sqlite3_column_type(st, c)) {
    case SQLITE_INTEGER: return QVariant(qlonglong(sqlite3_column_int64(st, c)));
    case SQLITE_FLOAT: return QVariant(sqlite3_column_double(st, c));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, c)),
                                          sqlite3_column_bytes(st, c)));
    default: return {};
    }
}

} // namespace

QVector<QVariantMap> readTable(const QString &file, const QString &table)
{
    QVector<QVariantMap> rows;
    quellix::store::flushEventLogs(); // the records appended so far are in the file
    sqlite3 *db = openKeyed(file);
    if (!db)
        return rows;
    sqlite3_stmt *st = nullptr;
    const QByteArray sql = QStringLiteral("SELECT * FROM \"%1\" ORDER BY rowid").arg(table).toUtf8();
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) == SQLITE_OK) {
        while (sqlite3_step(st) == SQLITE_ROW) {
            QVariantMap row;
            for (int c = 0; c < sqlite3_column_count(st); ++c) {
                const QVariant v = column(st, c);
                if (v.isValid())
                    row.insert(QString::fromUtf8(sqlite3_column_name(st, c)), v);
            }
            rows << row;
        }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
}

QVector<QVariantMap> logRows(const QString &dir)
{
    return readTable(dir + QStringLiteral("/LOG.MDB"), QStringLiteral("LOG"));
}

QVector<QVariantMap> logRowsWhere(const QString &dir, const QString &field, const QVariant &value)
{
    QVector<QVariantMap> out;
    for (const QVariantMap &r : logRows(dir))
        if (r.value(field) == value)
            out << r;
    return out;
}

QVariant querySingle(const QString &file, const QString &sql)
{
    QVariant result;
    quellix::store::flushEventLogs();
    sqlite3 *db = openKeyed(file);
    if (!db)
        return result;
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK
        && sqlite3_step(st) == SQLITE_ROW)
        result = column(st, 0);
    sqlite3_finalize(st);
    sqlite3_close(db);
    return result;
}

int execSql(const QString &file, const QString &sql)
{
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_key(db, quellix::store::kStorePassword, int(strlen(quellix::store::kStorePassword)));
        sqlite3_exec(db, quellix::store::kStoreCipherSettings, nullptr, nullptr, nullptr);
        sqlite3_busy_timeout(db, 10000);
        rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
    return rc;
}

} // namespace testsupport

namespace testsupport {

void setSettingsField(const QString &control, const QString &field, const QVariant &value)
{
    using namespace quellix::store;
    try {
        openStores(StoreLocation::directory(QDir::currentPath()))->settings().writeField(control, field, value);
    } catch (const quellix::Error &e) {
        QTest::qFail(qPrintable(QStringLiteral("setting %1 of %2: %3").arg(field, control, e.message())), __FILE__,
                     __LINE__);
    }
}

QVariantMap settingsRow(const QString &dir, const QString &control)
{
    for (const QVariantMap &row : readTable(dir + QStringLiteral("/SETTINGS.MDB"), QStringLiteral("Settings"))) {
        if (row.value(QStringLiteral("Control Name")).toString() == control)
            return row;
    }
    return {};
}

QString storeErrorOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const quellix::Error &e) {
        return e.kind() == quellix::Error::Kind::Store ? e.message()
                                                       : QStringLiteral("not a store error: ") + e.message();
    }
    return QStringLiteral("no error");
}

std::vector<std::unique_ptr<QTemporaryDir>> &scratchDirs()
{
    static std::vector<std::unique_ptr<QTemporaryDir>> dirs;
    return dirs;
}

Raw::Raw(const QString &file)
{
    sqlite3_open_v2(QFile::encodeName(file).constData(), &m_db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    sqlite3_key(m_db, quellix::store::kStorePassword, int(strlen(quellix::store::kStorePassword)));
    sqlite3_exec(m_db, quellix::store::kStoreCipherSettings, nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(m_db, 10000);
}

Raw::~Raw() { sqlite3_close(m_db); }

int Raw::exec(const QString &sql)
{
    return sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
}

int Raw::run(const QString &sql, const QVariantList &values)
{
    sqlite3_stmt *st = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &st, nullptr);
    for (int i = 0; rc == SQLITE_OK && i < values.size(); ++i) {
        const QVariant &v = values.at(i);
        if (!v.isValid())
            sqlite3_bind_null(st, i + 1);
        else if (v.typeId() == QMetaType::LongLong)
            sqlite3_bind_int64(st, i + 1, v.toLongLong());
        else if (v.typeId() == QMetaType::Double)
            sqlite3_bind_double(st, i + 1, v.toDouble());
        else
            sqlite3_bind_text(st, i + 1, v.toString().toUtf8().constData(), -1, SQLITE_TRANSIENT);
    }
    if (rc == SQLITE_OK)
        rc = sqlite3_step(st);
    sqlite3_finalize(st);
    return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

qint64 Raw::number(const QString &sql)
{
    sqlite3_stmt *st = nullptr;
    qint64 v = -1;
    if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW)
        v = sqlite3_column_int64(st, 0);
    sqlite3_finalize(st);
    return v;
}

QString Raw::error() const { return QString::fromUtf8(sqlite3_errmsg(m_db)); }

} // namespace testsupport
