// The quellix-logger program: a form's controls run without a display on a
// store directory and on the PostgreSQL test server, fed over UDP on
// loopback, ended by SIGTERM; what they recorded is read back from the
// stores.

#include "formxml.h"
#include "pgtestserver.h"
#include "testsupport.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUdpSocket>

#include <csignal>
#include <map>
#include <memory>

namespace {

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// Kettle and Pump read udp:// and record their warning range, samples
// every minute and their system records; Kettle also prompts and asks for
// a program there. Idle has no channel.
const QString kSetup = QStringLiteral(
    "Scanrate=100; Log System Errors=yes; Log Warning Reaching=yes; Log Displayed Every=yes; "
    "Log Every Time Interval=1 Minute");
// Kettle's event program leaves a file in FOLDER.
QString kettleSetup(const QString &folder)
{
    return kSetup + QStringLiteral("; Enable Warning Prompt=yes; Warning Prompt Text=Check the kettle; "
                                   "Enable Warning Event=yes; Warning Event Path=/usr/bin/touch %1/started")
                        .arg(folder);
}

// One logger process on one store, with what it recorded there.
struct Run
{
    bool server = false;
    QString location;
    QTemporaryDir scratch; // the form, the working directory, the spool
    quint16 port = 0;
    QProcess process;

    // "CONTROL|EVENT" of the LOG records of a type, or the controls of the
    // samples (type "DATA"), sorted.
    QStringList records(const QString &type) const
    {
        QStringList out;
        if (server) {
            const QString sql = type == u"DATA"
                ? QStringLiteral("SELECT string_agg(\"Control\", ',' ORDER BY \"Control\") FROM \"DATA\"")
                : QStringLiteral("SELECT string_agg(\"Control\" || '|' || \"Event\", ',' ORDER BY \"Control\", "
                                 "\"Event\") FROM \"LOG\" WHERE \"Type\" = $1");
            const QString all = pgtest::sql(location, sql, type == u"DATA" ? QVariantList{} : QVariantList{type});
            out = all.split(QLatin1Char(','), Qt::SkipEmptyParts);
        } else if (type == u"DATA") {
            for (const QVariantMap &row : testsupport::readTable(location + QStringLiteral("/LOG.MDB"), QStringLiteral("DATA")))
                out << row.value(QStringLiteral("Control")).toString();
        } else {
            for (const QVariantMap &row : testsupport::logRowsWhere(location, QStringLiteral("Type"), type))
                out << row.value(QStringLiteral("Control")).toString() + u'|' + row.value(QStringLiteral("Event")).toString();
        }
        out.sort();
        return out;
    }
};

} // namespace

class TestLogger : public QObject
{
    Q_OBJECT

    std::map<QString, std::unique_ptr<Run>> m_runs;

    // Starts a logger on the store; both run at once, so the minute until
    // the first samples passes only once.
    void start(const QString &kind, bool server)
    {
        auto run = std::make_unique<Run>();
        run->server = server;
        run->location = server ? pgtest::freshStore() : run->scratch.path() + QStringLiteral("/store");
        run->port = freeUdpPort();
        const QString form = testforms::writeForm(
            run->scratch.path(), testforms::formXml({{"Kettle", "udp://", kettleSetup(run->scratch.path())},
                                                     {"Pump", "udp://?timeout=1", kSetup},
                                                     {"Idle", QString(), QStringLiteral("Log System Errors=yes")}}));
        QVERIFY(!form.isEmpty());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), run->scratch.path()); // the spool, not the user's
        run->process.setProcessEnvironment(env);
        run->process.setWorkingDirectory(run->scratch.path()); // the stores go where --store says
        run->process.start(QStringLiteral(QUELLIX_LOGGER_EXE),
                           {form, QStringLiteral("--store"), run->location, QStringLiteral("--udp"),
                            QString::number(run->port)});
        QVERIFY2(run->process.waitForStarted(), qPrintable(run->process.errorString()));
        m_runs[kind] = std::move(run);
    }

private Q_SLOTS:
    void initTestCase()
    {
        start(QStringLiteral("directory"), false);
        if (pgtest::skipReason().isEmpty()) {
            const QString problem = pgtest::serverProblem();
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("the test server does not answer: ") + problem));
            start(QStringLiteral("server"), true);
        }
    }

    void cleanupTestCase()
    {
        for (auto &[kind, run] : m_runs) {
            if (run->process.state() != QProcess::NotRunning) {
                run->process.kill();
                run->process.waitForFinished();
            }
        }
    }

    // Values over UDP reach the named engines: every swing from normal into
    // the warning range is a LIMIT record, a prompt line and a started program;
    // the minute's samples are recorded; SIGTERM saves every engine, fed or
    // not ("Shut Down") and ends the program with 0. A fresh directory's
    // stand-by messages went to standard error without stopping anything.
    void recordsIntoTheStore_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("directory") << "directory";
        QTest::newRow("server") << "server";
    }
    void recordsIntoTheStore()
    {
        QFETCH(QString, kind);
        if (!m_runs.count(kind))
            QSKIP(qPrintable(pgtest::skipReason()));
        Run &run = *m_runs[kind];
        QUdpSocket sender;
        const QStringList warnings{"Kettle|Warning Range", "Pump|Warning Range"};
        QElapsedTimer clock;
        clock.start();
        // Sent again until both are recorded: the logger binds its port
        // once every engine has registered.
        // The swing goes on until a tick saw normal before warning: only a
        // move away from normal prompts, and the first tick may see either.
        QString stdoutText;
        auto recorded = [&] {
            stdoutText += QString::fromLocal8Bit(run.process.readAllStandardOutput());
            const QStringList got = run.records(QStringLiteral("LIMIT"));
            return got.contains(warnings[0]) && got.contains(warnings[1])
                   && stdoutText.contains(QStringLiteral("PROMPT Kettle"));
        };
        while (!recorded() && clock.elapsed() < 30000) {
            sender.writeDatagram("Kettle 20\nPump 20\n", QHostAddress::LocalHost, run.port);
            QTest::qWait(300);
            sender.writeDatagram("Kettle 95.5\nPump 97\n", QHostAddress::LocalHost, run.port);
            QTest::qWait(300);
            QCOMPARE(run.process.state(), QProcess::Running);
        }
        const QStringList limits = run.records(QStringLiteral("LIMIT"));
        QVERIFY2(recorded(), qPrintable(limits.join(u", ")));
        QVERIFY2(std::all_of(limits.begin(), limits.end(), [](const QString &r) { return !r.startsWith(u"Idle"); }),
                 qPrintable(limits.join(u", ")));

        // The first samples come a minute after registration.
        QTRY_VERIFY_WITH_TIMEOUT(run.records(QStringLiteral("DATA")).contains(QStringLiteral("Pump")), 90000);
        const QStringList samples = run.records(QStringLiteral("DATA"));
        QVERIFY2(samples.contains(QStringLiteral("Kettle")) && !samples.contains(QStringLiteral("Idle")),
                 qPrintable(samples.join(u", ")));

        ::kill(pid_t(run.process.processId()), SIGTERM);
        QVERIFY(run.process.waitForFinished(15000));
        QCOMPARE(run.process.exitStatus(), QProcess::NormalExit);
        const QString err = QString::fromLocal8Bit(run.process.readAllStandardError());
        QCOMPARE(run.process.exitCode(), 0);
        QStringList shutDowns;
        for (const QString &r : run.records(QStringLiteral("SYSTEM")))
            if (r.endsWith(u"|Shut Down"))
                shutDowns << r.section(u'|', 0, 0);
        QCOMPARE(shutDowns, (QStringList{"Idle", "Kettle", "Pump"}));

        stdoutText += QString::fromLocal8Bit(run.process.readAllStandardOutput());
        const QStringList out = stdoutText.split(u'\n', Qt::SkipEmptyParts);
        QVERIFY2(out.contains(QStringLiteral("PROMPT Kettle Warning Range Reached: Check the kettle")), qPrintable(out.join(u'\n')));
        QVERIFY2(QFile::exists(run.scratch.path() + QStringLiteral("/started")), qPrintable(err));
        QVERIFY2(std::all_of(out.begin(), out.end(), [](const QString &l) { return !l.contains(u"Pump"); }),
                 qPrintable(out.join(u'\n')));
        if (!run.server)
            QVERIFY2(err.contains(QStringLiteral("New Settings File")) && err.contains(QStringLiteral("New LOG File")), qPrintable(err));
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
