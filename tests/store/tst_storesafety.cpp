// Store files under conditions a running panel meets: the engine library
// missing, the cipher settings of old and new files, a station that may
// only read its store directory, files deleted or replaced under a running
// control, and control names a settings row cannot hold.

#include "quellix.h"
#include "error.h"
#include "logstore.h"
#include "connectioncache.h"
#include "sqlcipherapi.h"
#include "storefiles.h"
#include "testsupport.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <cstdio>
#include <grp.h>
#include <unistd.h>

using namespace quellix;
using namespace quellix::store;
using quellix::schema::Field;

namespace {

// The settings of SQLCipher 3 readers, and the defaults of SQLCipher 4 (an
// engine of the 3 series can express their page size and iterations only).
constexpr char kSqlCipher3Reader[] =
    "PRAGMA cipher_compatibility = 3; PRAGMA cipher_page_size = 1024; PRAGMA kdf_iter = 64000;";
constexpr char kSqlCipher4Reader[] =
    "PRAGMA cipher_compatibility = 4; PRAGMA cipher_page_size = 4096; PRAGMA kdf_iter = 256000;";

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

// Runs `sql` on a file past the library, keyed with the store password and
// the given cipher settings; the engine's result code, and the first column
// of the first row in `first`.
int rawRun(const QString &file, const char *cipher, const QString &sql, QVariant *first = nullptr)
{
    sqlite3 *db = nullptr;
    int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                             nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_key(db, kStorePassword, int(strlen(kStorePassword)));
        rc = sqlite3_exec(db, cipher, nullptr, nullptr, nullptr);
    }
    const QByteArray text = sql.toUtf8();
    const char *next = text.constData();
    while (rc == SQLITE_OK && *next) {
        sqlite3_stmt *st = nullptr;
        rc = sqlite3_prepare_v2(db, next, -1, &st, &next);
        while (st && (rc == SQLITE_OK || rc == SQLITE_ROW)) {
            rc = sqlite3_step(st);
            if (rc == SQLITE_ROW && first && !first->isValid())
                *first = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(st, 0)));
        }
        sqlite3_finalize(st);
        if (rc == SQLITE_DONE)
            rc = SQLITE_OK;
    }
    sqlite3_close(db);
    return rc;
}

bool opensWith(const QString &file, const char *cipher)
{
    return rawRun(file, cipher, QStringLiteral("SELECT count(*) FROM sqlite_master")) == SQLITE_OK;
}

// The engine's process-wide default settings, changed for the life of this
// object as another user of the engine in the same process might.
struct ChangedEngineDefaults
{
    QVariant pageSize, kdfIter;
    ChangedEngineDefaults()
    {
        rawRun(QStringLiteral(":memory:"), "", QStringLiteral("PRAGMA cipher_default_page_size"), &pageSize);
        rawRun(QStringLiteral(":memory:"), "", QStringLiteral("PRAGMA cipher_default_kdf_iter"), &kdfIter);
        rawRun(QStringLiteral(":memory:"), "PRAGMA cipher_default_page_size = 4096",
               QStringLiteral("PRAGMA cipher_default_kdf_iter = 4000"));
    }
    ~ChangedEngineDefaults()
    {
        rawRun(QStringLiteral(":memory:"), "",
               QStringLiteral("PRAGMA cipher_default_page_size = %1").arg(pageSize.toInt()));
        rawRun(QStringLiteral(":memory:"), "",
               QStringLiteral("PRAGMA cipher_default_kdf_iter = %1").arg(kdfIter.toInt()));
    }
};

// The station of readOnlyStation(): runs without the right to write `dir`.
// Prints what did not hold; the exit code is their number.
int runReadOnlyStation(const QString &dir)
{
    QDir::setCurrent(dir);
    quellix::store::setInformationHandler([](const QString &, const QString &) {});
    QStringList failed;
    auto check = [&](bool ok, const QString &what) {
        if (!ok)
            failed << what;
    };
    check(::access(".", W_OK) != 0, QStringLiteral("the station may write the directory"));
    {
        Quellix known;
        known.setObjectName(QStringLiteral("Meter1"));
        known.REGISTER();
        check(known.UpperLimit() == 250, QStringLiteral("upper limit %1, not the file's 250").arg(known.UpperLimit()));
        check(known.Units() == QLatin1String("bar"), QStringLiteral("units '%1', not the file's 'bar'").arg(known.Units()));
        check(Connection::acquire(dir + QStringLiteral("/SETTINGS.MDB"), QLatin1String(kStorePassword))->isReadOnly(),
              QStringLiteral("SETTINGS.MDB not opened read-only"));
        const QString refused = testsupport::storeErrorOf([&] { known.setUpperLimit(300); });
        check(refused.contains(QLatin1String("read-only")), QStringLiteral("write not refused as read-only: ") + refused);

        // A name without a row: nothing can be added, so factory values.
        Quellix unknown;
        unknown.setObjectName(QStringLiteral("Meter2"));
        unknown.REGISTER();
        check(unknown.UpperLimit() == 100, QStringLiteral("new control's upper limit %1").arg(unknown.UpperLimit()));
    }
    for (const QString &f : failed)
        std::fprintf(stderr, "%s\n", qPrintable(f));
    return int(failed.size());
}

} // namespace

class TestStoreSafety : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void engineThatCannotBeLoaded_data()
    {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("named");
        QTest::newRow("missing") << "libquellix-no-such-engine.so.0" << "libquellix-no-such-engine.so.0";
        QTest::newRow("not the engine") << "libz.so.1" << "sqlite3_key";
    }
    void engineThatCannotBeLoaded()
    {
        QFETCH(QString, library);
        QFETCH(QString, named);
        const sqlcipher::Loaded loaded = sqlcipher::load(library.toLocal8Bit().constData());
        QVERIFY(!loaded.handle);
        QVERIFY2(loaded.error.contains(library) && loaded.error.contains(named), qPrintable(loaded.error));
    }

    void cipherSettingsOfNewFiles()
    {
        testsupport::StoreDir dir;
        {
            // The engine's defaults changed by someone else in the process
            // must not reach the files.
            ChangedEngineDefaults changed;
            testsupport::registeredControl(QStringLiteral("Meter1"));
        }
        for (const char *name : {"SETTINGS.MDB", "LOG.MDB"}) {
            const QString file = dir.file(QLatin1String(name));
            QVERIFY2(opensWith(file, kSqlCipher3Reader), name);
            QVERIFY2(!opensWith(file, kSqlCipher4Reader), name);
            const auto settings = Connection::acquire(file, QLatin1String(kStorePassword))->cipherSettings();
            QCOMPARE(settings.pageSize, 1024);
            QCOMPARE(settings.kdfIterations, 64000);
            QVERIFY(!settings.sqlCipher4);
        }
    }

    void fileOfSqlCipher4DefaultsStillRegisters()
    {
        testsupport::StoreDir dir;
        const QString file = dir.file(QStringLiteral("SETTINGS.MDB"));
        QCOMPARE(rawRun(file, kSqlCipher4Reader,
                        QStringLiteral("PRAGMA journal_mode=WAL; %1; INSERT INTO Settings (\"Control Name\", \"Scanrate\", "
                                       "\"Upper Limit Value\", \"Units\") VALUES ('Meter4', 500, 250, 'bar')")
                            .arg(createTableSql(settingsTable()))),
                 SQLITE_OK);

        auto c = testsupport::registeredControl(QStringLiteral("Meter4"));
        QCOMPARE(c->UpperLimit(), 250.0);
        QCOMPARE(c->Units(), QStringLiteral("bar"));
        const auto settings = Connection::acquire(file, QLatin1String(kStorePassword))->cipherSettings();
        QVERIFY(settings.sqlCipher4);
        QCOMPARE(settings.pageSize, 4096);
        QCOMPARE(settings.kdfIterations, 256000);

        // Writes go on in the file's own settings.
        c->setUpperLimit(260);
        c.reset();
        Connection::closeAll();
        QVariant upper, rows;
        QCOMPARE(rawRun(file, kSqlCipher4Reader, QStringLiteral("SELECT \"Upper Limit Value\" FROM Settings"), &upper),
                 SQLITE_OK);
        QCOMPARE(upper.toInt(), 260);
        QCOMPARE(rawRun(file, kSqlCipher4Reader, QStringLiteral("SELECT count(*) FROM Settings"), &rows), SQLITE_OK);
        QCOMPARE(rows.toInt(), 1);
        QVERIFY(!opensWith(file, kSqlCipher3Reader));
    }

    void readOnlyStation()
    {
        testsupport::StoreDir dir;
        testsupport::registeredControl(QStringLiteral("Meter1"),
                                       {{Field::UpperLimitValue, 250}, {Field::Units, "bar"}});
        Connection::closeAll(); // the last connection folds its write-ahead log into the file
        const QStringList files{QStringLiteral("LOG.MDB"), QStringLiteral("SETTINGS.MDB")};
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), files);
        QHash<QString, QByteArray> before;
        for (const QString &f : files) {
            before[f] = fileHash(dir.file(f));
            QVERIFY(QFile::setPermissions(dir.file(f), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        }
        const auto readAndEnter = QFile::ReadOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup
                                  | QFile::ReadOther | QFile::ExeOther;
        QVERIFY(QFile::setPermissions(dir.path(), readAndEnter));

        // Root writes whatever the permissions say: the station runs as nobody.
        QProcess station;
        station.setProgram(QCoreApplication::applicationFilePath());
        station.setArguments({QStringLiteral("--read-only-station"), dir.path()});
        station.setProcessChannelMode(QProcess::MergedChannels);
        if (::geteuid() == 0) {
            station.setChildProcessModifier([] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
                    ::_exit(90);
            });
        }
        station.start();
        QVERIFY(station.waitForFinished(120000));
        const QByteArray out = station.readAll();
        QFile::setPermissions(dir.path(), readAndEnter | QFile::WriteOwner);
        QVERIFY2(station.exitStatus() == QProcess::NormalExit && station.exitCode() == 0,
                 qPrintable(QStringLiteral("exit %1: %2").arg(station.exitCode()).arg(QString::fromLocal8Bit(out))));

        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), files);
        for (const QString &f : files)
            QVERIFY2(fileHash(dir.file(f)) == before[f], qPrintable(f));
    }

    void storeFileGoneWhileRunning_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("replaced");
        QTest::newRow("LOG.MDB deleted") << "LOG.MDB" << false;
        QTest::newRow("LOG.MDB replaced") << "LOG.MDB" << true;
        QTest::newRow("SETTINGS.MDB deleted") << "SETTINGS.MDB" << false;
        QTest::newRow("SETTINGS.MDB replaced") << "SETTINGS.MDB" << true;
    }
    void storeFileGoneWhileRunning()
    {
        QFETCH(QString, file);
        QFETCH(bool, replaced);
        testsupport::StoreDir dir;
        // User actions are logged, so the setter below writes both files.
        auto c = testsupport::registeredControl(QStringLiteral("Meter1"),
                                                {{Field::LogUserActions, true}, {Field::Scanrate, 20}});
        int scans = 0;
        connect(c.get(), &Quellix::ScanComplete, this, [&] { ++scans; });
        c->setUpperLimit(110);

        const QString path = dir.file(file);
        QByteArray replacement;
        auto takeAway = [&] {
            if (replaced) {
                QTemporaryDir elsewhere;
                const QString made = elsewhere.filePath(file);
                file == QLatin1String("LOG.MDB") ? createLogStore(made) : createSettingsStore(made);
                QVERIFY(::rename(QFile::encodeName(made).constData(), QFile::encodeName(path).constData()) == 0);
                replacement = fileHash(path);
            } else {
                QVERIFY(QFile::remove(path));
            }
        };
        takeAway();

        const QString refused = testsupport::storeErrorOf([&] { c->setUpperLimit(120); });
        QVERIFY2(refused.contains(QLatin1String("was deleted or replaced")), qPrintable(refused));
        // Nothing went into what is at the path now.
        QCOMPARE(fileHash(path), replacement);
        const int scansBefore = scans;
        QTRY_VERIFY(scans >= scansBefore + 3);

        // Registering again reopens the files, and writes land again; also
        // when the file goes once more and no write noticed it before.
        for (int value : {130, 140}) {
            if (value == 140)
                takeAway();
            c->REGISTER();
            QCOMPARE(testsupport::storeErrorOf([&] { c->setUpperLimit(value); }), QStringLiteral("no error"));
            QCOMPARE(testsupport::settingsRow(dir.path(), QStringLiteral("Meter1")).value("Upper Limit Value").toInt(),
                     value);
            for (const char *name : {"LOG.MDB", "SETTINGS.MDB"})
                QCOMPARE(testsupport::querySingle(dir.file(QLatin1String(name)), "PRAGMA integrity_check").toString(),
                         QStringLiteral("ok"));
        }
    }

    void controlNameLongerThanItsField_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("fits");
        // Up to 50 characters a log record holds the name too; beyond it the
        // control registers but is told its records cannot be kept.
        QTest::newRow("50 characters") << 50 << true;
        QTest::newRow("51 characters") << 51 << true;
        QTest::newRow("255 characters") << 255 << true;
        QTest::newRow("256 characters") << 256 << false;
    }
    void controlNameLongerThanItsField()
    {
        QFETCH(int, length);
        QFETCH(bool, fits);
        testsupport::StoreDir dir;
        testsupport::registeredControl(QStringLiteral("Meter1"));
        const QString name(length, QLatin1Char('N'));
        const auto settingsBefore = testsupport::readTable(dir.file("SETTINGS.MDB"), "Settings");
        const int logBefore = int(testsupport::logRows(dir.path()).size());

        QStringList errors;
        for (int start = 0; start < 2; ++start) {
            if (!fits)
                QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^N+: The control name has 256 characters")));
            Quellix c;
            c.setObjectName(name);
            connect(&c, &Quellix::errorOccurred, this, [&](const QString &property, const QString &) { errors << property; });
            c.REGISTER();
            QCoreApplication::processEvents(); // reports raised once registration is over
            // A name that fits finds its row again on the second start.
            QCOMPARE(c.UpperLimit(), fits && start == 1 ? 120.0 : 100.0);
            // A setter writes into no other control's row.
            testsupport::storeErrorOf([&] { c.setUpperLimit(fits ? 120 : 140); });
        }
        const auto settingsAfter = testsupport::readTable(dir.file("SETTINGS.MDB"), "Settings");
        if (fits) {
            QCOMPARE(settingsAfter.size(), settingsBefore.size() + 1);
            QCOMPARE(settingsAfter.last().value("Control Name").toString(), name);
            QCOMPARE(errors.size(), length > 50 ? 2 : 0);
        } else {
            QCOMPARE(settingsAfter, settingsBefore);
            QCOMPARE(testsupport::logRows(dir.path()).size(), logBefore);
            QCOMPARE(errors, QStringList({QStringLiteral("Control Name"), QStringLiteral("Control Name")}));
        }
    }
};

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--read-only-station") == 0) {
        QApplication app(argc, argv);
        return runReadOnlyStation(QString::fromLocal8Bit(argv[2]));
    }
    QApplication app(argc, argv);
    TestStoreSafety t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_storesafety.moc"
