// A host that uses SQLite itself, through the system library and through
// Qt's QSQLITE driver, next to the control's encrypted store: each engine
// keeps to its own files, in one process.

#include <quellix/quellix.h>
#include <quellix/store.h>

#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

#include <memory>

namespace {

// Runs SQL through the system library; the first column of each row.
QStringList systemQuery(sqlite3 *db, const char *sql, int *rc = nullptr)
{
    QStringList values;
    sqlite3_stmt *st = nullptr;
    int r = sqlite3_prepare_v2(db, sql, -1, &st, nullptr);
    while (r == SQLITE_OK || r == SQLITE_ROW) {
        r = sqlite3_step(st);
        if (r == SQLITE_ROW)
            values << QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
    }
    sqlite3_finalize(st);
    if (rc)
        *rc = r;
    return values;
}

QStringList qtQuery(const QSqlDatabase &db, const QString &sql)
{
    QStringList values;
    QSqlQuery q(db);
    if (!q.exec(sql))
        return {QStringLiteral("error: ") + q.lastError().text()};
    while (q.next())
        values << q.value(0).toString();
    return values;
}

} // namespace

class TestSqliteAlongside : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void hostDatabaseAndStoreInOneProcess()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir.path());
        quellix::setInformationHandler([](const QString &, const QString &) {});
        auto restore = qScopeGuard([&] {
            quellix::setInformationHandler(nullptr);
            QDir::setCurrent(previous);
        });

        // The host's own plain database, open through both engines of the host.
        const QString plainPath = dir.filePath(QStringLiteral("host.db"));
        sqlite3 *plain = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(plainPath).constData(), &plain), SQLITE_OK);
        auto closePlain = qScopeGuard([&] { sqlite3_close(plain); });
        QCOMPARE(sqlite3_exec(plain, "CREATE TABLE readings (v TEXT); INSERT INTO readings VALUES ('c api 1')",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        QVERIFY(QSqlDatabase::isDriverAvailable(QStringLiteral("QSQLITE")));
        {
            QSqlDatabase qt = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("host"));
            qt.setDatabaseName(plainPath);
            QVERIFY2(qt.open(), qPrintable(qt.lastError().text()));
            QCOMPARE(qtQuery(qt, QStringLiteral("INSERT INTO readings VALUES ('qsqlite 1')")), QStringList());

            // The control's store, with user actions logged, between the host's writes.
            std::vector<std::unique_ptr<Quellix>> meters;
            for (const char *name : {"Meter1", "Meter2"}) {
                meters.push_back(std::make_unique<Quellix>());
                meters.back()->setObjectName(QLatin1String(name));
                meters.back()->REGISTER();
                quellix::setSettingsField(dir.path(), QLatin1String(name), QStringLiteral("Log User Actions"), true);
                meters.back()->REGISTER();
            }
            meters[0]->setUnits(QStringLiteral("bar"));
            meters[0]->setInputValue(12.5);
            meters[1]->setUpperLimit(150);
            QCOMPARE(sqlite3_exec(plain, "INSERT INTO readings VALUES ('c api 2')", nullptr, nullptr, nullptr), SQLITE_OK);
            QCOMPARE(qtQuery(qt, QStringLiteral("INSERT INTO readings VALUES ('qsqlite 2')")), QStringList());
            meters[0]->setUpperLimit(175);

            QCOMPARE(quellix::settingsField(dir.path(), QStringLiteral("Meter1"), QStringLiteral("Units")).toString(),
                     QStringLiteral("bar"));
            QCOMPARE(quellix::settingsField(dir.path(), QStringLiteral("Meter1"), QStringLiteral("Upper Limit Value")).toInt(),
                     175);
            QCOMPARE(quellix::settingsField(dir.path(), QStringLiteral("Meter2"), QStringLiteral("Upper Limit Value")).toInt(),
                     150);
            QCOMPARE(quellix::settingsField(dir.path(), QStringLiteral("Meter2"), QStringLiteral("Log User Actions")).toBool(),
                     true);

            // The host's database holds every row, read through either engine.
            const QStringList rows{"c api 1", "qsqlite 1", "c api 2", "qsqlite 2"};
            QCOMPARE(systemQuery(plain, "SELECT v FROM readings ORDER BY rowid"), rows);
            QCOMPARE(qtQuery(qt, QStringLiteral("SELECT v FROM readings ORDER BY rowid")), rows);
            QCOMPARE(systemQuery(plain, "PRAGMA integrity_check"), QStringList{"ok"});

            // Both are the system's SQLite, which knows nothing of ciphers.
            QCOMPARE(sqlite3_libversion_number(), SQLITE_VERSION_NUMBER);
            QCOMPARE(qtQuery(qt, QStringLiteral("SELECT sqlite_version()")), QStringList{SQLITE_VERSION});
            QCOMPARE(systemQuery(plain, "PRAGMA cipher_version"), QStringList());
            QCOMPARE(qtQuery(qt, QStringLiteral("PRAGMA cipher_version")), QStringList());
            qt.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("host"));

        // The store files were written by the cipher engine: the system's
        // SQLite cannot read them.
        for (const char *name : {"SETTINGS.MDB", "LOG.MDB"}) {
            sqlite3 *store = nullptr;
            QCOMPARE(sqlite3_open_v2(QFile::encodeName(dir.filePath(QLatin1String(name))).constData(), &store,
                                     SQLITE_OPEN_READONLY, nullptr),
                     SQLITE_OK);
            int rc = SQLITE_OK;
            systemQuery(store, "SELECT count(*) FROM sqlite_master", &rc);
            sqlite3_close(store);
            QCOMPARE(rc, SQLITE_NOTADB);
        }
    }
};

QTEST_MAIN(TestSqliteAlongside)
#include "tst_sqlitealongside.moc"
