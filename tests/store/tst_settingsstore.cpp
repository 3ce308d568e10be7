// The settings store in SETTINGS.MDB: the contract every settings store
// keeps, and what the SQLCipher file adds: what the file itself takes from
// other programs, files made before its checks were widened, one set of
// stores per location, and the location a host chooses.

#include "settingsstore_contract.h"

#include "error.h"
#include "logstore.h"
#include "quellix.h"
#include "connectioncache.h"
#include "schema.h"
#include "tablesql.h"
#include "storefiles.h"
#include "stores.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>
#include <memory>
#include <vector>

#include <sqlcipher/sqlite3.h>

using namespace quellix;
using namespace quellix::store;

namespace {

QString settingsFileOf(Stores &stores)
{
    return storeFilePath(stores.location().address(), QLatin1String(kSettingsFileName));
}

const char kFirstRowOf[] = "(SELECT rowid FROM Settings WHERE \"Control Name\" = ?%1 ORDER BY rowid LIMIT 1)";

settingsstorecontract::Backend sqlCipherBackend()
{
    settingsstorecontract::Backend b;
    b.open = [] {
        setInformationHandler([](const QString &, const QString &) {}); // no stand-by message box
        auto dir = std::make_unique<QTemporaryDir>();
        createSettingsStore(dir->filePath(QLatin1String(kSettingsFileName)));
        auto stores = openStores(StoreLocation::directory(dir->path()));
        testsupport::scratchDirs().push_back(std::move(dir));
        return stores;
    };
    b.writeRaw = [](Stores &stores, const QString &control, const QString &field, const QVariant &value) {
        testsupport::Raw raw(settingsFileOf(stores));
        raw.exec(QStringLiteral("PRAGMA ignore_check_constraints = ON"));
        const QString sql = QStringLiteral("UPDATE Settings SET %1 = ?1 WHERE rowid = %2")
                                .arg(quoteIdentifier(field), QString::fromLatin1(kFirstRowOf).arg(2));
        if (raw.run(sql, {value, control}) != SQLITE_OK)
            QTest::qFail(qPrintable(raw.error()), __FILE__, __LINE__);
    };
    b.deleteAndCompact = [](Stores &stores, const QString &control) {
        testsupport::Raw raw(settingsFileOf(stores));
        if (raw.run(QStringLiteral("DELETE FROM Settings WHERE rowid = %1").arg(QString::fromLatin1(kFirstRowOf).arg(1)),
                    {control}) != SQLITE_OK
            || raw.exec(QStringLiteral("VACUUM")) != SQLITE_OK)
            QTest::qFail(qPrintable(raw.error()), __FILE__, __LINE__);
    };
    b.refuse = [](Stores &stores, const QString &field, const QString &value) {
        testsupport::Raw raw(settingsFileOf(stores));
        for (const char *when : {"INSERT", "UPDATE"}) {
            const QString sql = QStringLiteral("CREATE TRIGGER \"refuse %1 %2\" BEFORE %1 ON Settings WHEN NEW.%3 = '%4' "
                                               "BEGIN SELECT RAISE(ABORT, 'refused'); END")
                                    .arg(QLatin1String(when), field, quoteIdentifier(field), value);
            if (raw.exec(sql) != SQLITE_OK)
                QTest::qFail(qPrintable(raw.error()), __FILE__, __LINE__);
        }
    };
    return b;
}

// The table as files made before the checks were widened have it: each
// value of its column's own type only.
QString tableOfOlderFiles()
{
    QString sql = createTableSql(settingsTable());
    sql.replace(QRegularExpression(QStringLiteral("typeof\\((\"[^\"]+\")\\) IN \\('text', 'integer', 'real'\\)")),
                QStringLiteral("typeof(\\1) = 'text'"));
    sql.replace(QRegularExpression(QStringLiteral("typeof\\((\"[^\"]+\")\\) IN \\('integer', 'real'\\) AND \"[^\"]+\" = round\\(\"[^\"]+\"\\)")),
                QStringLiteral("typeof(\\1) = 'integer'"));
    sql.replace(QRegularExpression(QStringLiteral("typeof\\((\"[^\"]+\")\\) IN \\('real', 'integer'\\)")),
                QStringLiteral("typeof(\\1) = 'real'"));
    return sql;
}

// What `fn` threw, empty when it threw nothing: a test runs its steps
// through it so a store that throws fails the test, not the program.
QString thrown(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const std::exception &e) {
        return QString::fromUtf8(e.what());
    }
    return {};
}

int errorOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const Error &e) {
        return int(e.kind());
    }
    return -1;
}

// The child of registrationUsesTheChosenLocation(): runs in `current`
// with `chosen` as the chosen store location. Prints what did not hold;
// the exit code is their number.
int runChosenLocation(const QString &chosen, const QString &current)
{
    QDir::setCurrent(current);
    setInformationHandler([](const QString &, const QString &) {});
    QStringList failed;
    auto check = [&](bool ok, const QString &what) {
        if (!ok)
            failed << what;
    };
    check(!chosenStoreLocation(), QStringLiteral("a location was chosen before the host chose one"));
    chooseStoreLocation(StoreLocation::directory(chosen));
    check(errorOf([&] { chooseStoreLocation(StoreLocation::directory(chosen + QStringLiteral("/."))); }) == -1,
          QStringLiteral("choosing the same location again was refused"));
    check(errorOf([&] { chooseStoreLocation(StoreLocation::directory(current)); }) == int(Error::Kind::InvalidValue),
          QStringLiteral("a second, different location was not refused"));
    {
        Quellix m;
        m.setObjectName(QStringLiteral("M"));
        m.REGISTER();
        m.setUpperLimit(120);
    }
    check(storeDirectory() == chosen, QStringLiteral("store directory '%1'").arg(storeDirectory()));
    check(QDir(current).entryList(QDir::Files | QDir::Hidden).isEmpty(), QStringLiteral("files in the current directory"));
    check(testsupport::settingsRow(chosen, QStringLiteral("M")).value(QStringLiteral("Upper Limit Value")).toInt() == 120,
          QStringLiteral("no row of M with the new upper limit in the chosen directory"));
    check(QFile::exists(chosen + QStringLiteral("/LOG.MDB")), QStringLiteral("no LOG.MDB in the chosen directory"));
    for (const QString &f : failed)
        std::fprintf(stderr, "%s\n", qPrintable(f));
    return int(failed.size());
}

} // namespace

class TestSettingsStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fileTakesWhatAnotherProgramMayWrite_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("literal");
        QTest::addColumn<QString>("storedAs"); // empty: the file refuses it
        QTest::newRow("integer into a double") << "Input Multiplier" << "2" << "real";
        QTest::newRow("text into a double") << "Input Multiplier" << "'abc'" << "";
        QTest::newRow("whole real into an integer") << "Upper Limit Value" << "150.0" << "integer";
        QTest::newRow("fraction into an integer") << "Upper Limit Value" << "75.5" << "";
        QTest::newRow("beyond 32 bits") << "Upper Limit Value" << "2147483648" << "";
        QTest::newRow("beyond 16 bits as real") << "Scanrate" << "32768.0" << "";
        QTest::newRow("number into a text") << "Parity" << "7" << "text";
        QTest::newRow("number longer than its text") << "Units" << "12345678901" << "";
        QTest::newRow("yes/no 1.0") << "Enabled" << "1.0" << "integer";
        QTest::newRow("yes/no 2") << "Enabled" << "2" << "";
    }
    void fileTakesWhatAnotherProgramMayWrite()
    {
        QFETCH(QString, field);
        QFETCH(QString, literal);
        QFETCH(QString, storedAs);
        testsupport::StoreDir dir;
        createSettingsStore(dir.file(QLatin1String(kSettingsFileName)));
        testsupport::Raw raw(dir.file(QLatin1String(kSettingsFileName)));
        const int rc = raw.exec(QStringLiteral("INSERT INTO Settings (\"Control Name\", %1) VALUES ('M', %2)")
                                    .arg(quoteIdentifier(field), literal));
        QCOMPARE(rc, storedAs.isEmpty() ? SQLITE_CONSTRAINT : SQLITE_OK);
        if (!storedAs.isEmpty())
            QCOMPARE(testsupport::querySingle(dir.file(QLatin1String(kSettingsFileName)),
                                              QStringLiteral("SELECT typeof(%1) FROM Settings").arg(quoteIdentifier(field)))
                         .toString(),
                     storedAs);
    }

    void filesMadeBeforeTakeWhatTheirFieldsHold()
    {
        const QString error = thrown([&] {
            // An older file kept every value to its column's own type. Opened
            // for writing, it gets the checks of new files (fields and values
            // untouched), so other programs' integer 2 for a double is taken.
            testsupport::StoreDir dir;
            const QString file = dir.file(QLatin1String(kSettingsFileName));
            const QString table = tableOfOlderFiles();
            QVERIFY(!table.contains(QLatin1String("round(")));
            {
                testsupport::Raw raw(file);
                QCOMPARE(raw.exec(QStringLiteral("PRAGMA journal_mode=WAL; ") + table), SQLITE_OK);
                QCOMPARE(raw.exec(QStringLiteral("INSERT INTO Settings (\"Input Multiplier\") VALUES (2)")), SQLITE_CONSTRAINT);
            }
            auto stores = openStores(StoreLocation::directory(dir.path()));
            SettingsRow row;
            row.set(Field::ControlName, QStringLiteral("M"));
            row.set(Field::InputMultiplier, 2);
            row.set(Field::UpperLimitValue, 99.0);
            stores->settings().add(row);
            stores->settings().writeField(QStringLiteral("M"), Field::InputOffset, 3);
            stores->settings().writeField(QStringLiteral("M"), Field::CautionLimitValue, 60.0);
            stores->settings().writeField(QStringLiteral("M"), Field::Parity, 7);
            const SettingsRow got = stores->settings().read(QStringLiteral("M")).value_or(SettingsRow());
            QCOMPARE(got.value(Field::InputMultiplier), QVariant(2.0));
            QCOMPARE(got.value(Field::InputOffset), QVariant(3.0));
            QCOMPARE(got.value(Field::UpperLimitValue), QVariant(99));
            QCOMPARE(got.value(Field::CautionLimitValue), QVariant(60));
            QCOMPARE(got.value(Field::Parity), QVariant(QStringLiteral("7")));
            QCOMPARE(testsupport::querySingle(file, QStringLiteral("SELECT sql FROM sqlite_master WHERE name = 'Settings'")).toString(),
                     createTableSql(settingsTable()));
            {
                testsupport::Raw raw(file);
                QCOMPARE(raw.exec(QStringLiteral("UPDATE Settings SET \"Input Multiplier\" = 5")), SQLITE_OK);
                QCOMPARE(raw.exec(QStringLiteral("UPDATE Settings SET \"Input Multiplier\" = 'five'")), SQLITE_CONSTRAINT);
            }
            QCOMPARE(stores->settings().read(QStringLiteral("M"))->value(Field::InputMultiplier), QVariant(5.0));
            QCOMPARE(testsupport::querySingle(file, QStringLiteral("PRAGMA integrity_check")).toString(), QStringLiteral("ok"));
        });
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void oneStoresPerLocation()
    {
        const QString error = thrown([&] {
            testsupport::StoreDir dir;
            createSettingsStore(dir.file(QLatin1String(kSettingsFileName)));
            createLogStore(dir.file(QLatin1String(kLogFileName)));
            auto stores = openStores(StoreLocation::directory(dir.path()));
            for (const QString &spelling : {dir.path() + QStringLiteral("/"), dir.path() + QStringLiteral("/./")})
                QCOMPARE(openStores(StoreLocation::directory(spelling)).get(), stores.get());
            QVERIFY(stores->location() == StoreLocation::directory(dir.path()));
            stores->settings().add([] {
                SettingsRow r;
                r.set(Field::ControlName, QStringLiteral("M"));
                return r;
            }());

            // The file replaced on disk: the stores holding the old one refuse
            // writes; the location's stores are new ones on the new file.
            QTemporaryDir elsewhere;
            createSettingsStore(elsewhere.filePath(QLatin1String(kSettingsFileName)));
            QVERIFY(::rename(QFile::encodeName(elsewhere.filePath(QLatin1String(kSettingsFileName))).constData(),
                             QFile::encodeName(dir.file(QLatin1String(kSettingsFileName))).constData())
                    == 0);
            QCOMPARE(errorOf([&] { stores->settings().writeField(QStringLiteral("M"), Field::Units, QStringLiteral("x")); }),
                     int(Error::Kind::Store));
            auto renewed = openStores(StoreLocation::directory(dir.path()));
            QVERIFY(renewed.get() != stores.get());
            QVERIFY(!renewed->settings().contains(QStringLiteral("M")));

            QCOMPARE(errorOf([] { openStores(StoreLocation::server(QStringLiteral("quellix://plant/stores"))); }),
                     int(Error::Kind::Store));
        });
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void registrationUsesTheChosenLocation()
    {
        // The choice holds for the whole process: it is tried in a child.
        QTemporaryDir chosen, current;
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({QStringLiteral("--chosen-location"), chosen.path(), current.path()});
        child.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")))
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        child.setProcessEnvironment(env);
        child.start();
        QVERIFY(child.waitForFinished(120000));
        const QByteArray out = child.readAll();
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 qPrintable(QStringLiteral("exit %1: %2").arg(child.exitCode()).arg(QString::fromLocal8Bit(out))));
    }
};

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--chosen-location") == 0) {
        QApplication app(argc, argv);
        return runChosenLocation(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    setInformationHandler([](const QString &, const QString &) {});
    TestSettingsStore t;
    int failures = QTest::qExec(&t, argc, argv);
    failures += settingsstorecontract::runSettingsStoreContract(sqlCipherBackend(), argc, argv);
    return failures;
}

#include "tst_settingsstore.moc"
