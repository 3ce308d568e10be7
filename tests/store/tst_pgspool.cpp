// A server that goes away in the middle of a stream of records and comes
// back: the records wait in the station's spool and reach the server once
// each, in order; settings changes and deletes are refused meanwhile; no
// password shows in any message. Runs on a server of its own, which it
// stops and starts.

#include "pgtestserver.h"

#include "pglog.h"
#include "spool.h"
#include "store.h"
#include "stores.h"

#include <QCoreApplication>
#include <QDir>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace quellix;
using namespace quellix::store;

namespace {

QStringList &messages()
{
    static QStringList m;
    return m;
}

void keepMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    messages() << text;
}

LogRecord record(int i)
{
    LogRecord r;
    r.control = QStringList{QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("Zähler 'C'")}[i % 3];
    r.type = QStringLiteral("LIMIT");
    r.event = QString::number(i);
    r.inputValue = i;
    r.inputFunction = r.outputFunction = QStringLiteral("*1 + 0");
    return r;
}

QString errorOf(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const Error &e) {
        return e.message();
    }
    return QStringLiteral("no error");
}

class SpoolTests : public QObject
{
    Q_OBJECT

    QTemporaryDir m_work;
    QString m_serverDir;
    QString m_base;

    int server(const char *command)
    {
        return QProcess::execute(QStringLiteral("bash"), {QStringLiteral(QUELLIX_PG_SCRIPT), QLatin1String(command), m_serverDir});
    }

private Q_SLOTS:
    void initTestCase()
    {
        PGTEST_REQUIRE_SERVER();
        // Inside the test server's folder, so that stopping that one stops
        // this one too should the test end early.
        m_serverDir = pgtest::serverDir() + QStringLiteral("/spool-test-%1").arg(QCoreApplication::applicationPid());
        QCOMPARE(server("start"), 0);
        QString host = m_serverDir;
        host.replace(QLatin1Char('/'), QLatin1String("%2F"));
        m_base = QStringLiteral("postgresql://%1:5432/quellix").arg(host);
        // This server's own password file.
        qputenv("PGPASSFILE", QFile::encodeName(m_serverDir + QStringLiteral("/pgpass")));
        setSpoolDirectory(m_work.filePath(QStringLiteral("spool")));
    }
    void cleanupTestCase()
    {
        if (!m_serverDir.isEmpty())
            server("stop");
    }

    void serverStoppedMidStreamAndBack()
    {
        const QString url = pgtest::freshStore(m_base);
        auto stores = openStores(StoreLocation::server(url));
        EventLog &log = stores->log();
        SettingsRow row;
        row.set(Field::ControlName, QStringLiteral("A"));
        stores->settings().add(row);
        messages().clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepMessage);

        // The server stops while records stream in: they go on until 100
        // more were appended after it had stopped.
        int n = 0;
        QProcess stop;
        bool stopped = false;
        for (int afterStop = 0; afterStop < 100; ++n) {
            log.append(record(n));
            if (n == 300)
                stop.start(QStringLiteral("bash"), {QStringLiteral(QUELLIX_PG_SCRIPT), QStringLiteral("pause"), m_serverDir});
            if (n > 300 && (stopped || (stopped = stop.waitForFinished(0))))
                ++afterStop;
            QVERIFY2(n < 100000, "the server did not stop");
            QThread::msleep(1);
        }
        QCOMPARE(stop.exitCode(), 0);
        QVERIFY(n > 400);
        log.flush(); // kept in the spool: nothing failed
        QVERIFY(storeServerAway());
        QVERIFY(Spool(spoolPathFor(url)).count() > 0);

        // Away: a settings change and a delete are refused, saying why.
        const QString settingsError = errorOf([&] { stores->settings().writeField("A", Field::Units, "bar"); });
        QVERIFY2(settingsError.contains(QLatin1String("cannot be reached"))
                     && settingsError.contains(QLatin1String("not saved")),
                 qPrintable(settingsError));
        QVERIFY(errorOf([&] { log.removeLog({}); }) != QLatin1String("no error"));

        QCOMPARE(server("resume"), 0);
        QTRY_COMPARE_WITH_TIMEOUT(Spool(spoolPathFor(url)).count(), qint64(0), 30000);
        QCOMPARE(log.count({}), qint64(n));
        QVERIFY(!storeServerAway());

        // Every record once, in order per control.
        QHash<QString, int> last;
        qint64 after = 0;
        int seen = 0;
        for (QVector<LogRow> page; !(page = log.page({}, after, 500)).isEmpty(); after = page.last().num) {
            for (const LogRow &r : page) {
                const int i = r.record.event.toInt();
                QCOMPARE(r.record.control, record(i).control);
                QVERIFY2(i > last.value(r.record.control, -1), qPrintable(r.record.event));
                last[r.record.control] = i;
                ++seen;
            }
        }
        QCOMPARE(seen, n);
        stores->settings().writeField("A", Field::Units, "bar"); // taken again

        qInstallMessageHandler(previous);
        QFile pass(m_serverDir + QStringLiteral("/pgpass"));
        QVERIFY(pass.open(QIODevice::ReadOnly));
        const QString password = QString::fromUtf8(pass.readAll()).trimmed().section(QLatin1Char(':'), -1);
        QVERIFY(password.size() > 10);
        QVERIFY(!messages().isEmpty()); // the writer said the server was away
        for (const QString &m : messages() << settingsError)
            QVERIFY2(!m.contains(password), qPrintable(m));
    }

    void stationStartingWhileAwayRunsOnItsSettings()
    {
        const QString url = pgtest::freshStore(m_base);
        SettingsRow row;
        row.set(Field::ControlName, QStringLiteral("K"));
        row.set(Field::UpperLimitValue, 120);
        {
            auto stores = openStores(StoreLocation::server(url));
            stores->settings().add(row);
            stores->settings().writeField("K", Field::Units, "kPa"); // the kept copy follows the write
        }
        QCOMPARE(server("pause"), 0);
        auto stores = openStores(StoreLocation::server(url)); // a new start of the station
        row.set(Field::Units, QStringLiteral("kPa"));
        QVERIFY(stores->settings().contains("K"));
        QCOMPARE(stores->settings().read("K"), std::optional<SettingsRow>(row));
        // Nothing kept of another control, and no change is taken.
        QVERIFY(errorOf([&] { stores->settings().read("Other"); }).contains(QLatin1String("cannot be reached")));
        QVERIFY(errorOf([&] { stores->settings().writeField("K", Field::Units, "bar"); }).contains(QLatin1String("not saved")));
        QCOMPARE(server("resume"), 0);
    }

    void refusedRecordHoldsUpNoOther_data()
    {
        QTest::addColumn<bool>("away");
        QTest::newRow("sent at once") << false;
        QTest::newRow("sent from the spool") << true;
    }
    void refusedRecordHoldsUpNoOther()
    {
        QFETCH(bool, away);
        const QString url = pgtest::freshStore(m_base);
        const QString schema = pgtest::sql(url, QStringLiteral("SELECT current_schema()"));
        pgtest::sql(url, QStringLiteral("CREATE FUNCTION %1.refuse() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                                        "IF NEW.\"Event\" = 'poison' THEN RAISE EXCEPTION 'refused'; END IF; "
                                        "RETURN NEW; END $$").arg(schema));
        pgtest::sql(url, QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON \"LOG\" FOR EACH ROW "
                                        "EXECUTE FUNCTION %1.refuse()").arg(schema));
        auto log = makePgEventLog(url);
        if (away)
            QCOMPARE(server("pause"), 0);
        for (const char *event : {"a", "poison", "b"}) {
            LogRecord r = record(0);
            r.event = QLatin1String(event);
            log->append(r);
        }
        if (away) {
            log->flush(); // in the spool
            QCOMPARE(server("resume"), 0);
            QTRY_COMPARE_WITH_TIMEOUT(Spool(spoolPathFor(url)).count(), qint64(0), 30000);
        }
        QVERIFY2(errorOf([&] { log->flush(); }).contains(QLatin1String("refused")), "the refusal is reported");
        QCOMPARE(pgtest::sql(url, QStringLiteral("SELECT string_agg(\"Event\", ',' ORDER BY \"Num\") FROM \"LOG\"")),
                 QStringLiteral("a,b"));
        log->append(record(1));
        log->flush(); // reported once
    }

    void spoolLeftByAnEndedProcessIsSent()
    {
        // A station closed while the server was away leaves its records in
        // the spool; the next one to start sends them first.
        const QString url = pgtest::freshStore(m_base);
        QCOMPARE(server("pause"), 0);
        QProcess station;
        station.setProcessChannelMode(QProcess::ForwardedChannels);
        station.start(QCoreApplication::applicationFilePath(),
                      {QStringLiteral("--station-away"), url, m_work.filePath(QStringLiteral("spool"))});
        QVERIFY(station.waitForFinished(60000));
        QCOMPARE(station.exitCode(), 0);
        QVERIFY(Spool(spoolPathFor(url)).count() == 50);
        QCOMPARE(server("resume"), 0);

        auto log = makePgEventLog(url);
        LogRecord last = record(50);
        log->append(last);
        QTRY_COMPARE_WITH_TIMEOUT(Spool(spoolPathFor(url)).count(), qint64(0), 30000);
        QStringList expected;
        for (int i = 0; i <= 50; ++i)
            expected << QString::number(i);
        QCOMPARE(pgtest::sql(url, QStringLiteral("SELECT string_agg(\"Event\", ',' ORDER BY \"Num\") FROM \"LOG\"")),
                 expected.join(QLatin1Char(',')));
    }
};

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--station-away") == 0) {
        // The station of spoolLeftByAnEndedProcessIsSent(): 50 records for a
        // server that is away, then it ends.
        QCoreApplication app(argc, argv);
        setSpoolDirectory(QString::fromLocal8Bit(argv[3]));
        auto log = makePgEventLog(QString::fromLocal8Bit(argv[2]));
        for (int i = 0; i < 50; ++i)
            log->append(record(i));
        log->flush();
        return 0;
    }
    QCoreApplication app(argc, argv);
    SpoolTests t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_pgspool.moc"
