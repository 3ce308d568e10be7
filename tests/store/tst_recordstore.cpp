// The record store: files, cursors and what the files themselves refuse.

#include "logstore.h"
#include "error.h"
#include "recordstore.h"
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

// Runs SQL on a store file past every cursor check, as another program might.
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

class TestRecordStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cursorOnEmptyAndFilledTable()
    {
        testsupport::StoreDir dir;
        createLogStore(dir.file("LOG.MDB"));
        QCOMPARE(dir.messages, QStringList{"Create New LOG File."});

        Cursor c;
        c.setDatabaseName(dir.file("LOG.MDB"));
        c.setRecordSource("LOG");
        c.refresh();
        QVERIFY(c.isOpen());
        QVERIFY(c.isEmpty());
        QVERIFY(c.bof() && c.eof());
        QCOMPARE(errorKind([&] { c.moveFirst(); }), Error::Kind::NoCurrentRow);
        QCOMPARE(errorKind([&] { c.field("Control"); }), Error::Kind::NoCurrentRow);
        QCOMPARE(errorKind([&] { c.edit(); }), Error::Kind::NoCurrentRow);

        for (int i = 0; i < 3; ++i) {
            c.addNew();
            c.setField("Control", QStringLiteral("M%1").arg(i));
            c.setField("Input Value", i * 1.5);
            c.setField("Hold Status", i == 1);
            c.update();
            // The cursor rests on the row just committed.
            QCOMPARE(c.field("Control").toString(), QStringLiteral("M%1").arg(i));
            QCOMPARE(c.field("Num").toInt(), i + 1);
        }
        QVERIFY(!c.isEmpty());
        QCOMPARE(c.recordCount(), 3);
        QVERIFY(c.field("Event").isNull()); // an empty field reads as no value

        c.moveFirst();
        QStringList seen;
        while (!c.eof()) {
            seen << c.field("Control").toString();
            c.moveNext();
        }
        QCOMPARE(seen, (QStringList{"M0", "M1", "M2"}));
        QCOMPARE(errorKind([&] { c.moveNext(); }), Error::Kind::NoCurrentRow);
        c.moveLast();
        QCOMPARE(c.field("Hold Status").toBool(), false);
        QCOMPARE(c.field("Input Value").toDouble(), 3.0);

        // Edit the current row, then delete it; the counter is never reused.
        c.edit();
        c.setField("Event", "edited");
        c.update();
        QCOMPARE(c.field("Event").toString(), QStringLiteral("edited"));
        c.deleteCurrent();
        QCOMPARE(c.recordCount(), 2);
        c.addNew();
        c.setField("Control", "after");
        c.update();
        QCOMPARE(c.field("Num").toInt(), 4);

        QCOMPARE(errorKind([&] { c.field("No Such Field"); }), Error::Kind::InvalidField);
    }

    void fieldChecksAndRounding()
    {
        testsupport::StoreDir dir;
        createSettingsStore(dir.file("SETTINGS.MDB"));
        Cursor c;
        c.setDatabaseName(dir.file("SETTINGS.MDB"));
        c.setRecordSource("Settings");
        c.refresh();

        c.addNew();
        c.setField("Control Name", "Meter");
        QCOMPARE(errorKind([&] { c.setField("Password", "123456789"); }), Error::Kind::InvalidValue);
        QCOMPARE(errorKind([&] { c.setField("Units", "12345678901"); }), Error::Kind::InvalidValue);
        QCOMPARE(errorKind([&] { c.setField("Scanrate", 40000); }), Error::Kind::InvalidValue);
        QCOMPARE(errorKind([&] { c.setField("Input Offset", "abc"); }), Error::Kind::InvalidValue);
        QCOMPARE(errorKind([&] { c.setField("Upper Limit Value", "abc"); }), Error::Kind::InvalidValue);
        c.setField("Units", "1234567890"); // exactly ten fits
        c.setField("Caution Limit Value", 75.5);
        c.setField("Warning Limit Value", 74.5);
        c.setField("Lower Limit Value", -0.6);
        c.setField("Scanrate", -32768);
        c.update();
        QCOMPARE(c.field("Caution Limit Value").toInt(), 76);
        QCOMPARE(c.field("Warning Limit Value").toInt(), 74); // halves go to even
        QCOMPARE(c.field("Lower Limit Value").toInt(), -1);
        QCOMPARE(c.field("Scanrate").toInt(), -32768);
        QCOMPARE(c.field("Units").toString(), QStringLiteral("1234567890"));

        // A failed step fails that step only: the cursor goes on working.
        c.edit();
        c.setField("Units", "%");
        c.update();
        QCOMPARE(c.field("Units").toString(), QStringLiteral("%"));
        QCOMPARE(errorKind([&] { c.setField("Units", "x"); }), Error::Kind::Store); // no edit begun

        // The file itself refuses what the cursor would never send.
        c.close();
        Connection::closeAll();
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

        for (const auto &[file, table] : {std::pair{"LOG.MDB", "LOG"}, std::pair{"SETTINGS.MDB", "Settings"}}) {
            Cursor c;
            c.setDatabaseName(dir.file(file));
            c.setRecordSource(table);
            QCOMPARE(errorKind([&] { c.refresh(); }), Error::Kind::Store);
            QVERIFY(!c.isOpen());
            QCOMPARE(errorKind([&] { c.addNew(); }), Error::Kind::NotOpen);
            // A second attempt is refused again (from the remembered refusal).
            QCOMPARE(errorKind([&] { c.refresh(); }), Error::Kind::Store);
        }
        QCOMPARE(errorKind([&] { createLogStore(dir.file("LOG.MDB")); }), Error::Kind::Store);
        QCOMPARE(errorKind([&] { createSettingsStore(dir.file("SETTINGS.MDB")); }), Error::Kind::Store);
        QCOMPARE(fileHash(dir.file("LOG.MDB")), logBefore);
        QCOMPARE(fileHash(dir.file("SETTINGS.MDB")), settingsBefore);
        // Nothing was left beside them either.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

        // A missing file is not created by opening a cursor on it.
        Cursor missing;
        missing.setDatabaseName(dir.file("NONE.MDB"));
        missing.setRecordSource("LOG");
        QCOMPARE(errorKind([&] { missing.refresh(); }), Error::Kind::Store);
        QVERIFY(!QFile::exists(dir.file("NONE.MDB")));
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
        // A file replaced on disk gets a connection of its own.
        QFile::remove(dir.file("LOG.MDB"));
        Connection::closeAll();
        a.reset();
        b.reset();
        createLogStore(dir.file("LOG.MDB"));
        auto c = Connection::acquire(dir.file("LOG.MDB"), kStorePassword);
        QVERIFY(c);
        Cursor cur;
        cur.setDatabaseName(dir.file("LOG.MDB"));
        cur.setRecordSource("LOG");
        cur.refresh();
        QVERIFY(cur.isEmpty());
    }

    void sqlSourceBindsItsValues()
    {
        testsupport::StoreDir dir;
        createLogStore(dir.file("LOG.MDB"));
        Cursor log;
        log.setDatabaseName(dir.file("LOG.MDB"));
        log.setRecordSource("LOG");
        log.refresh();
        const QString tricky = QStringLiteral("x' OR '1'='1");
        for (const QString &name : {QStringLiteral("A"), tricky, QStringLiteral("B")}) {
            log.addNew();
            log.setField("Control", name);
            log.setField("Type", "USER");
            log.setField("Event", "e");
            log.update();
        }
        Cursor q;
        q.setDatabaseName(dir.file("LOG.MDB"));
        q.setRecordSource("Select * from LOG where Control = ?1 order by Num", {tricky});
        q.refresh();
        QCOMPARE(q.recordCount(), 1);
        QCOMPARE(q.field("Control").toString(), tricky);
        QCOMPARE(q.field("Num").toInt(), 2);
        q.setRecordSource("Select * from LOG where Control > ?1 order by Num", {QString()});
        q.refresh();
        QCOMPARE(q.recordCount(), 3);
        q.moveLast();
        QCOMPARE(q.field("Control").toString(), QStringLiteral("B"));
        q.deleteCurrent();
        QCOMPARE(testsupport::logRows(dir.path()).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TestRecordStore)
#include "tst_recordstore.moc"
