// The store files: how they are made, what they themselves refuse, and the
// one shared connection per file.

#include "logstore.h"
#include "connectioncache.h"
#include "error.h"
#include "connectioncache.h"
#include "storefiles.h"
#include "testsupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTest>

#include <sqlcipher/sqlite3.h>

using namespace quellix;
using namespace quellix::store;

namespace {

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

Error::Kind errorKind(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const Error &e) {
        return e.kind();
    }
    QTest::qFail("no error was raised", __FILE__, __LINE__);
    return Error::Kind::NotFound;
}

// Runs SQL on a store file past every check of the stores, as another
// program might.
int rawExec(const QString &file, const QString &sql)
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    sqlite3_key(db, kStorePassword, int(strlen(kStorePassword)));
    sqlite3_exec(db, kStoreCipherSettings, nullptr, nullptr, nullptr);
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return rc;
}

} // namespace

class TestStoreFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What the stores check before they write (settingsstore_contract), the
    // file checks again for any other program that writes it.
    void fileRefusesWhatNoFieldHolds()
    {
        testsupport::StoreDir dir;
        createSettingsStore(dir.file("SETTINGS.MDB"));
        const QString f = dir.file("SETTINGS.MDB");
        QCOMPARE(rawExec(f, "INSERT INTO Settings (\"Password\") VALUES ('123456789')"), SQLITE_CONSTRAINT);
        QCOMPARE(rawExec(f, "INSERT INTO Settings (\"Input Offset\") VALUES ('abc')"), SQLITE_CONSTRAINT);
        QCOMPARE(rawExec(f, "INSERT INTO Settings (\"Upper Limit Value\") VALUES (75.5)"), SQLITE_CONSTRAINT);
        QCOMPARE(rawExec(f, "INSERT INTO Settings (\"Scanrate\") VALUES (32768)"), SQLITE_CONSTRAINT);
        QCOMPARE(rawExec(f, "INSERT INTO Settings (\"Enabled\") VALUES (2)"), SQLITE_CONSTRAINT);
        QCOMPARE(rawExec(f, "INSERT INTO Settings (\"Units\") VALUES ('%')"), SQLITE_OK);
    }

    void schemaOrderAndEncryption()
    {
        testsupport::StoreDir dir;
        createLogStore(dir.file("LOG.MDB"));
        createSettingsStore(dir.file("SETTINGS.MDB"));
        const QString schema = testsupport::querySingle(dir.file("LOG.MDB"),
                                                        "SELECT sql FROM sqlite_master WHERE name='LOG'").toString();
        QVERIFY(!schema.isEmpty());
        const QStringList expected{"Num", "Control", "Time", "Type", "Event", "Input Value", "Input Function",
                                   "Display Value", "Output Function", "Output Value", "Hold Status"};
        int last = -1;
        for (const QString &field : expected) {
            const int at = int(schema.indexOf('"' + field + '"'));
            QVERIFY2(at > last, qPrintable(field));
            last = at;
        }
        const QString settings = testsupport::querySingle(
            dir.file("SETTINGS.MDB"), "SELECT sql FROM sqlite_master WHERE name='Settings'").toString();
        QCOMPARE(settings.count(" CHECK("), 72);
        QVERIFY(settings.indexOf("\"Control Name\"") < settings.indexOf("\"Enabled\""));

        // Encrypted: neither the engine's header nor any table text is readable.
        QFile raw(dir.file("LOG.MDB"));
        QVERIFY(raw.open(QIODevice::ReadOnly));
        const QByteArray bytes = raw.readAll();
        QVERIFY(!bytes.startsWith("SQLite format 3"));
        QVERIFY(!bytes.contains("Input Function"));
    }

    void badFilesAreNeverChanged()
    {
        testsupport::StoreDir dir;
        // Not a database at all.
        {
            QFile f(dir.file("LOG.MDB"));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(8192, 'x'));
        }
        // A store file of another password.
        {
            sqlite3 *db = nullptr;
            sqlite3_open(QFile::encodeName(dir.file("SETTINGS.MDB")).constData(), &db);
            sqlite3_key(db, "other", 5);
            sqlite3_exec(db, "CREATE TABLE Settings (x); INSERT INTO Settings VALUES (1);", nullptr, nullptr, nullptr);
            sqlite3_close(db);
        }
        const QByteArray logBefore = fileHash(dir.file("LOG.MDB"));
        const QByteArray settingsBefore = fileHash(dir.file("SETTINGS.MDB"));

        for (const char *file : {"LOG.MDB", "SETTINGS.MDB"}) {
            QCOMPARE(errorKind([&] { Connection::acquire(dir.file(file), kStorePassword); }), Error::Kind::Store);
            // A second attempt is refused again (from the remembered refusal).
            QCOMPARE(errorKind([&] { Connection::acquire(dir.file(file), kStorePassword); }), Error::Kind::Store);
        }
        QCOMPARE(errorKind([&] { createLogStore(dir.file("LOG.MDB")); }), Error::Kind::Store);
        QCOMPARE(errorKind([&] { createSettingsStore(dir.file("SETTINGS.MDB")); }), Error::Kind::Store);
        QCOMPARE(fileHash(dir.file("LOG.MDB")), logBefore);
        QCOMPARE(fileHash(dir.file("SETTINGS.MDB")), settingsBefore);
        // Nothing was left beside them either.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

        // A missing file is not created by opening it.
        QCOMPARE(errorKind([&] { Connection::acquire(dir.file("NONE.MDB"), kStorePassword); }), Error::Kind::Store);
        QVERIFY(!QFile::exists(dir.file("NONE.MDB")));
    }

    // The stand-by message goes to the host's handler, else to the default
    // a window library installed, else to the log: the store itself never
    // opens a window or waits for anyone.
    void standByMessageGoesToOneHandler_data()
    {
        QTest::addColumn<bool>("host");
        QTest::addColumn<bool>("fallback");
        QTest::addColumn<QString>("shownBy");
        QTest::newRow("host and default") << true << true << "host";
        QTest::newRow("default only") << false << true << "default";
        QTest::newRow("neither") << false << false << "log";
    }
    void standByMessageGoesToOneHandler()
    {
        QFETCH(bool, host);
        QFETCH(bool, fallback);
        QFETCH(QString, shownBy);
        testsupport::StoreDir dir;
        QStringList shown;
        store::setInformationHandler(host ? store::InformationHandler([&](const QString &, const QString &title) {
            shown << "host " + title;
        }) : store::InformationHandler());
        store::setDefaultInformationHandler(fallback ? store::InformationHandler([&](const QString &, const QString &title) {
            shown << "default " + title;
        }) : store::InformationHandler());
        if (shownBy == "log")
            QTest::ignoreMessage(QtInfoMsg, "Create New LOG File.: Please Standby While The New LOG File Is Created.");
        createLogStore(dir.file("LOG.MDB"));
        store::setDefaultInformationHandler(nullptr);
        QVERIFY(QFile::exists(dir.file("LOG.MDB")));
        QCOMPARE(shown, shownBy == "log" ? QStringList() : QStringList{shownBy + " Create New LOG File."});
    }

    void fileNamesIgnoreLetterCase()
    {
        testsupport::StoreDir dir;
        QVERIFY(!storeFileExists(dir.path(), "SETTINGS.MDB"));
        QCOMPARE(storeFilePath(dir.path(), "SETTINGS.MDB"), dir.file("SETTINGS.MDB"));
        createSettingsStore(dir.file("Settings.MDB"));
        QVERIFY(storeFileExists(dir.path(), "SETTINGS.MDB"));
        QCOMPARE(storeFilePath(dir.path(), "SETTINGS.MDB"), dir.file("Settings.MDB"));
        QCOMPARE(storeFilePath(dir.path() + "/", "settings.mdb"), dir.file("Settings.MDB"));
    }

    void oneConnectionPerFile()
    {
        testsupport::StoreDir dir;
        createLogStore(dir.file("LOG.MDB"));
        auto a = Connection::acquire(dir.file("LOG.MDB"), kStorePassword);
        auto b = Connection::acquire(dir.path() + "/./LOG.MDB", kStorePassword);
        QCOMPARE(a.get(), b.get());
        a->exec("INSERT INTO LOG (\"Control\") VALUES ('old file')");
        // A file replaced on disk gets a connection of its own; the old one
        // refuses every write, which would vanish with the old file.
        QFile::remove(dir.file("LOG.MDB"));
        createLogStore(dir.file("LOG.MDB"));
        auto c = Connection::acquire(dir.file("LOG.MDB"), kStorePassword);
        QVERIFY(c.get() != a.get());
        QCOMPARE(errorKind([&] { a->requireWritable(); }), Error::Kind::Store);
        c->exec("INSERT INTO LOG (\"Control\") VALUES ('new file')");
        const QVector<QVariantMap> rows = testsupport::logRows(dir.path());
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].value("Control").toString(), QStringLiteral("new file"));
    }
};

QTEST_GUILESS_MAIN(TestStoreFiles)
#include "tst_storefiles.moc"
