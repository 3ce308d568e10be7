// quellix-store (init, import, --help) and two quellix-panel processes
// writing to one server at once.

#include "pgtestserver.h"

#include "logstore.h"
#include "connectioncache.h"
#include "sqlcipherlog.h"
#include "sqlcipherstores.h"
#include "storefiles.h"
#include "processstate.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace quellix;
using namespace quellix::store;

namespace {

struct Run
{
    int code = -1;
    QString out;
};

Run run(const QString &program, const QStringList &args, int timeoutMs = 60000)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.out = QStringLiteral("(timed out)");
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAll());
    return r;
}

Run tool(const QStringList &args) { return run(QStringLiteral(QUELLIX_STORE_EXE), args); }

// A schema with nothing in it yet.
QString emptySchema()
{
    const QString schema = QStringLiteral("t_") + QUuid::createUuid().toString(QUuid::Id128);
    pgtest::sql(pgtest::serverUrl(), QStringLiteral("CREATE SCHEMA %1").arg(schema));
    return pgtest::inSchema(pgtest::serverUrl(), schema);
}

QString column(const QString &url, const QString &sql)
{
    return pgtest::sql(url, QStringLiteral("SELECT string_agg(v, '|' ORDER BY n) FROM (%1) AS t(v, n)").arg(sql));
}

class ToolTests : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { PGTEST_REQUIRE_SERVER(); }

    void help()
    {
        const Run r = tool({QStringLiteral("--help")});
        QCOMPARE(r.code, 0);
        QVERIFY2(r.out.contains(QLatin1String("init URL")) && r.out.contains(QLatin1String("import DIRECTORY URL")),
                 qPrintable(r.out));
        QCOMPARE(tool({QStringLiteral("frobnicate")}).code, 2);
    }

    void rolesMayWhatTheyShould_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QString>("statement");
        QTest::addColumn<bool>("allowed");
        const char *append = "INSERT INTO \"LOG\" (\"Control\", \"Type\") VALUES ('M', 'USER')";
        const char *addRow = "INSERT INTO \"Settings\" (\"Control Name\") VALUES ('M')";
        const char *writeRow = "UPDATE \"Settings\" SET \"Units\" = 'bar'";
        const char *mark = "INSERT INTO \"Delivered\" VALUES ('s', 1) ON CONFLICT (\"Stream\") DO UPDATE SET \"Last\" = 2";
        const char *clear = "DELETE FROM \"LOG\"";
        const char *clearSamples = "DELETE FROM \"DATA\"";
        const char *dropRow = "DELETE FROM \"Settings\"";
        const char *dropTable = "DROP TABLE \"LOG\"";
        for (const char *role : {"quellix_panel", "quellix_operator"}) {
            const bool op = QByteArray(role) == "quellix_operator";
            const QString tag = QLatin1String(role) + QLatin1Char(' ');
            QTest::newRow(qPrintable(tag + "appends")) << role << append << true;
            QTest::newRow(qPrintable(tag + "adds a settings row")) << role << addRow << true;
            QTest::newRow(qPrintable(tag + "writes a settings row")) << role << writeRow << true;
            QTest::newRow(qPrintable(tag + "marks a delivery")) << role << mark << true;
            QTest::newRow(qPrintable(tag + "clears the log")) << role << clear << op;
            QTest::newRow(qPrintable(tag + "clears the samples")) << role << clearSamples << op;
            QTest::newRow(qPrintable(tag + "deletes a settings row")) << role << dropRow << false;
            QTest::newRow(qPrintable(tag + "drops a table")) << role << dropTable << false;
        }
    }
    void rolesMayWhatTheyShould()
    {
        QFETCH(QString, role);
        QFETCH(QString, statement);
        QFETCH(bool, allowed);
        const QString url = emptySchema();
        const Run init = tool({QStringLiteral("init"), url});
        QVERIFY2(init.code == 0, qPrintable(init.out));
        auto c = pg::Connection::open(url);
        c->exec(QStringLiteral("SET ROLE %1").arg(role));
        QString error;
        try {
            c->exec(statement);
        } catch (const Error &e) {
            error = e.message();
        }
        QVERIFY2(error.isEmpty() == allowed, qPrintable(error));
        if (!allowed)
            QVERIFY2(error.contains(QLatin1String("permission denied")) || error.contains(QLatin1String("must be owner")),
                     qPrintable(error));
    }

    void importKeepsEveryRowInOrder()
    {
        setInformationHandler([](const QString &, const QString &) {});
        QTemporaryDir dir;
        createSettingsStore(storeFilePath(dir.path(), QLatin1String(kSettingsFileName)));
        createLogStore(storeFilePath(dir.path(), QLatin1String(kLogFileName)));
        {
            auto settings = makeSqlCipherSettingsStore(dir.path());
            for (const char *name : {"Zeta", "Alpha \"1\"", "Zeta"}) { // row order, not name order; a second Zeta
                SettingsRow row;
                row.set(Field::ControlName, QString::fromUtf8(name));
                row.set(Field::Units, QStringLiteral("u%1").arg(QString::fromUtf8(name).size()));
                row.set(Field::UpperLimitValue, 120);
                settings->add(row);
            }
            auto log = makeSqlCipherEventLog(storeFilePath(dir.path(), QLatin1String(kLogFileName)));
            for (int i = 0; i < 1200; ++i) {
                LogRecord r;
                r.control = i % 2 ? QStringLiteral("Zähler") : QStringLiteral("Zeta");
                r.type = QStringLiteral("USER");
                r.event = QString::number(i);
                r.inputValue = i / 4.0;
                r.holdStatus = i % 3 == 0;
                log->append(r);
                log->append(SampleRecord{r.control, double(i), 0.5, -1});
            }
            log->removeLog({QStringLiteral("Zeta"), {}}); // gaps in "Num"
            log->flush();
        }
        const QString url = pgtest::freshStore();
        const Run r = tool({QStringLiteral("import"), dir.path(), url});
        QVERIFY2(r.code == 0, qPrintable(r.out));
        QVERIFY2(r.out.contains(QLatin1String("3 settings rows, 600 LOG rows, 1200 DATA rows")), qPrintable(r.out));

        QCOMPARE(column(url, QStringLiteral("SELECT \"Control Name\" || ' ' || \"Units\" || ' ' || \"Upper Limit Value\", "
                                            "\"Row\" FROM \"Settings\"")),
                 QStringLiteral("Zeta u4 120|Alpha \"1\" u9 120|Zeta u4 120"));
        QStringList events;
        for (int i = 1; i < 1200; i += 2)
            events << QString::number(i);
        QCOMPARE(column(url, QStringLiteral("SELECT \"Event\", \"Num\" FROM \"LOG\"")), events.join(QLatin1Char('|')));
        QCOMPARE(pgtest::sql(url, QStringLiteral("SELECT sum(\"Input Value\") FILTER (WHERE \"Hold Status\") || ' ' || "
                                                 "count(DISTINCT \"Control\") FROM \"LOG\"")),
                 QStringLiteral("30000 1")); // a quarter of the 200 odd multiples of 3 below 1200
        QCOMPARE(pgtest::sql(url, QStringLiteral("SELECT string_agg(\"Input Value\"::text, ',' ORDER BY \"Num\") "
                                                 "FROM (SELECT * FROM \"DATA\" ORDER BY \"Num\" LIMIT 4) d")),
                 QStringLiteral("0,1,2,3"));

        // A directory without store files is refused, and nothing is made.
        QTemporaryDir empty;
        const Run none = tool({QStringLiteral("import"), empty.path(), url});
        QCOMPARE(none.code, 1);
        QVERIFY2(none.out.contains(QLatin1String("No SETTINGS.MDB or LOG.MDB")), qPrintable(none.out));
    }

    void twoPanelsWriteToOneServer()
    {
        const QString url = pgtest::freshStore();
        QTemporaryDir data; // the panels' spools, not the user's
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), data.path());
        auto panels = [&](int count) {
            std::vector<std::unique_ptr<QProcess>> ps;
            for (int i = 0; i < count; ++i) {
                ps.push_back(std::make_unique<QProcess>());
                ps.back()->setProcessEnvironment(env);
                ps.back()->setProcessChannelMode(QProcess::MergedChannels);
                ps.back()->start(QStringLiteral(QUELLIX_PANEL_EXE),
                                 {QStringLiteral("--store"), url, QStringLiteral("--quit-after"), QStringLiteral("3")});
            }
            for (auto &p : ps) {
                QVERIFY(p->waitForFinished(60000));
                const QString out = QString::fromLocal8Bit(p->readAll());
                QVERIFY2(p->exitCode() == 0 && !out.contains(QLatin1String("cannot")), qPrintable(out));
            }
        };
        auto records = [&](const char *event) {
            return pgtest::sql(url, QStringLiteral("SELECT count(*) FROM \"LOG\" WHERE \"Event\" = $1"),
                               {QLatin1String(event)}).toInt();
        };
        // A first run registers the form's controls, whose settings turn
        // system logging on; then two panels run at once.
        panels(1);
        const int controls = pgtest::sql(url, QStringLiteral("SELECT count(*) FROM \"Settings\"")).toInt();
        QVERIFY(controls > 0);
        const int starts = records("System Start"), shutDowns = records("Shut Down");
        QCOMPARE(shutDowns, controls);
        panels(2);
        // Each of them started and shut down every control.
        QCOMPARE(records("System Start") - starts, 2 * controls);
        QCOMPARE(records("Shut Down") - shutDowns, 2 * controls);
        QCOMPARE(pgtest::sql(url, QStringLiteral("SELECT count(*) FROM \"Settings\"")).toInt(), controls);
    }
};

} // namespace

QTEST_GUILESS_MAIN(ToolTests)

#include "tst_pgtool.moc"
