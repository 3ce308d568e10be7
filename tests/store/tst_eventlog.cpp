// The event log in LOG.MDB: the contract every event log keeps, and what
// the SQLCipher file adds: indexes for older files, a file that is busy,
// deleted or replaced, deletes that are all or nothing, and records still
// queued when the process ends.

#include "eventlog_contract.h"

#include "error.h"
#include "logstore.h"
#include "connectioncache.h"
#include "schema.h"
#include "tablesql.h"
#include "sqlcipherlog.h"
#include "storefiles.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QCryptographicHash>
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

QStringList indexNames(const QString &file)
{
    QStringList names;
    for (const QVariantMap &row : testsupport::readTable(file, QStringLiteral("sqlite_master")))
        if (row.value("type") == QLatin1String("index") && !row.value("name").toString().startsWith("sqlite_"))
            names << row.value("name").toString();
    names.sort();
    return names;
}

QByteArray fileHash(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : QByteArray();
}

LogRecord record(const QString &control, int i)
{
    LogRecord r;
    r.control = control;
    r.type = QStringLiteral("LIMIT");
    r.event = QStringLiteral("record %1").arg(i);
    r.inputFunction = r.outputFunction = QStringLiteral("* 1 + 0");
    return r;
}

const eventlogcontract::Backend &sqlCipherBackend()
{
    static const eventlogcontract::Backend backend{
        [] {
            testsupport::scratchDirs().push_back(std::make_unique<QTemporaryDir>());
            const QString file = testsupport::scratchDirs().back()->filePath(QStringLiteral("LOG.MDB"));
            setInformationHandler([](const QString &, const QString &) {});
            createLogStore(file);
            return file;
        },
        [](const QString &address) { return makeSqlCipherEventLog(address); },
        [](const QString &address) {
            const QString ok = testsupport::querySingle(address, QStringLiteral("PRAGMA integrity_check")).toString();
            return ok == QLatin1String("ok") ? QString() : ok;
        },
    };
    return backend;
}

// The child of queuedRecordsWrittenWhenTheProcessEnds: appends and ends
// without a flush, through the application object going or through exit().
int appendAndEnd(int argc, char **argv)
{
    auto app = std::make_unique<QCoreApplication>(argc, argv);
    const QString how = QString::fromLocal8Bit(argv[3]);
    auto log = makeSqlCipherEventLog(QString::fromLocal8Bit(argv[2]));
    for (int i = 0; i < 300; ++i)
        log->append(record(QStringLiteral("ending"), i));
    std::printf("queued\n");
    std::fflush(stdout);
    if (how == QLatin1String("exit"))
        std::exit(0); // neither the log nor the application object is destroyed
    app.reset();      // the log outlives the application object
    return 0;
}

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void indexesOfNewAndOlderFiles()
    {
        testsupport::StoreDir dir;
        createLogStore(dir.file("LOG.MDB"));
        const QStringList indexes{"DATA Control Num", "LOG Control Num", "LOG Control Type Num", "LOG Type Num"};
        QCOMPARE(indexNames(dir.file("LOG.MDB")), indexes);

        // A file made before the indexes gets them from its first writer;
        // its fields stay as they were.
        const TableDef *tables[] = {&logTable(), &dataTable()};
        createStoreFile(dir.file("OLD.MDB"), QLatin1String(kLocaleText), QLatin1String(kStorePassword), tables);
        const QVariant tableSql = testsupport::querySingle(dir.file("OLD.MDB"),
                                                           "SELECT group_concat(sql) FROM sqlite_master WHERE type='table'");
        QVERIFY(indexNames(dir.file("OLD.MDB")).isEmpty());
        auto log = makeSqlCipherEventLog(dir.file("OLD.MDB"));
        QCOMPARE(log->count({}), qint64(0));
        QCOMPARE(indexNames(dir.file("OLD.MDB")), indexes);
        QCOMPARE(testsupport::querySingle(dir.file("OLD.MDB"),
                                          "SELECT group_concat(sql) FROM sqlite_master WHERE type='table'"),
                 tableSql);
    }

    void fileDeletedOrReplacedIsRefusedUntilReopened_data()
    {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("deleted") << false;
        QTest::newRow("replaced") << true;
    }
    void fileDeletedOrReplacedIsRefusedUntilReopened()
    {
        QFETCH(bool, replaced);
        testsupport::StoreDir dir;
        const QString path = dir.file("LOG.MDB");
        createLogStore(path);
        auto log = makeSqlCipherEventLog(path);
        log->append(record("M", 0));
        log->flush();

        QVERIFY(QFile::remove(path));
        if (replaced)
            createLogStore(path);
        const QByteArray now = fileHash(path);
        for (int i = 1; i < 3; ++i) {
            QVERIFY(testsupport::storeErrorOf([&] { log->append(record("M", i)); }).contains("was deleted or replaced"));
            QVERIFY(testsupport::storeErrorOf([&] { log->removeLog({}); }).contains("was deleted or replaced"));
        }
        log->flush();
        QCOMPARE(fileHash(path), now);
        if (!replaced)
            createLogStore(path);

        log->reopen();
        log->append(record("M", 3));
        const QVector<LogRow> rows = log->page({}, 0, 10);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].record.event, QStringLiteral("record 3"));
        QCOMPARE(testsupport::querySingle(path, "PRAGMA integrity_check").toString(), QStringLiteral("ok"));
    }

    void busyFileHoldsUpNoAppend()
    {
        testsupport::StoreDir dir;
        const QString path = dir.file("LOG.MDB");
        createLogStore(path);
        auto log = makeSqlCipherEventLog(path);
        log->count({}); // opened, indexes looked at

        // Another program holds the file's write lock: every append still
        // returns (an append waiting for the lock would wait for this very
        // thread, and fail), and nothing is written before the lock goes.
        testsupport::Raw other(path);
        QCOMPARE(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
        for (int i = 0; i < 50; ++i)
            log->append(record("busy", i));
        log->append(SampleRecord{QStringLiteral("busy"), 1, 2, 3});
        QCOMPARE(other.number("SELECT count(*) FROM LOG"), qint64(0));
        QCOMPARE(other.exec("COMMIT"), SQLITE_OK);

        log->flush();
        const QVector<LogRow> rows = log->page({}, 0, 100);
        QCOMPARE(rows.size(), 50);
        for (int i = 0; i < 50; ++i)
            QCOMPARE(rows[i].record.event, QStringLiteral("record %1").arg(i));
        QCOMPARE(log->newestSamples(QStringLiteral("busy"), 5).size(), 1);
    }

    void recordLostAfterAppendIsReportedByFlush()
    {
        testsupport::StoreDir dir;
        const QString path = dir.file("LOG.MDB");
        createLogStore(path);
        auto log = makeSqlCipherEventLog(path);
        log->count({});
        // Accepted while the file is there, then the file goes before the
        // writer gets the lock: the record must not vanish silently.
        testsupport::Raw other(path);
        QCOMPARE(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("record\\(s\\) not written.*late LIMIT \"record 0\""));
        log->append(record("late", 0));
        QTest::qWait(300); // the writer has found the file and waits for the lock
        QVERIFY(QFile::remove(path));
        QCOMPARE(other.exec("COMMIT"), SQLITE_OK);
        const QString failure = testsupport::storeErrorOf([&] { log->flush(); });
        QVERIFY2(failure.contains("late LIMIT \"record 0\""), qPrintable(failure));
        QCOMPARE(testsupport::storeErrorOf([&] { log->flush(); }), QStringLiteral("no error")); // reported once
    }

    void deleteIsAllOrNothing()
    {
        testsupport::StoreDir dir;
        const QString path = dir.file("LOG.MDB");
        createLogStore(path);
        auto log = makeSqlCipherEventLog(path);
        for (int i = 0; i < 100; ++i)
            log->append(record("M", i));
        log->flush();
        {
            // The 60th row refuses to go.
            testsupport::Raw other(path);
            QCOMPARE(other.exec("CREATE TRIGGER keep BEFORE DELETE ON LOG WHEN old.Num = 60 "
                                "BEGIN SELECT RAISE(ABORT, 'kept'); END"),
                     SQLITE_OK);
        }
        QVERIFY(testsupport::storeErrorOf([&] { log->removeLog({}); }).contains("kept"));
        QCOMPARE(log->count({}), qint64(100));
        log->append(record("M", 100)); // the writer goes on
        QCOMPARE(log->count({}), qint64(101));
    }

    void queuedRecordsWrittenWhenTheProcessEnds_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("application object goes") << "app";
        QTest::newRow("exit()") << "exit";
    }
    void queuedRecordsWrittenWhenTheProcessEnds()
    {
        QFETCH(QString, how);
        testsupport::StoreDir dir;
        const QString path = dir.file("LOG.MDB");
        createLogStore(path);
        testsupport::Raw other(path);
        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments({QStringLiteral("--append-and-end"), path, how});
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        // The file is busy while the child ends: its records wait for it.
        QCOMPARE(other.exec("BEGIN IMMEDIATE"), SQLITE_OK);
        child.start();
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += child.readAllStandardOutput()).contains("queued"), 60000);
        QTest::qWait(200); // the child is ending meanwhile
        QCOMPARE(other.exec("COMMIT"), SQLITE_OK);
        QVERIFY(child.state() == QProcess::NotRunning || child.waitForFinished(60000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(other.number("SELECT count(*) FROM LOG WHERE Control = 'ending'"), qint64(300));
        QCOMPARE(other.number("SELECT max(Num) - min(Num) FROM LOG"), qint64(299));
    }
};

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--append-and-end") == 0)
        return appendAndEnd(argc, argv);
    const int child = eventlogcontract::runContractChild(sqlCipherBackend(), argc, argv);
    if (child >= 0)
        return child;
    QCoreApplication app(argc, argv);
    TestEventLog t;
    int failures = QTest::qExec(&t, argc, argv);
    failures += eventlogcontract::runEventLogContract(sqlCipherBackend(), argc, argv);
    return failures;
}

#include "tst_eventlog.moc"
