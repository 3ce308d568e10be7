// The log store shared by several programs, and a writer that dies midway.

#include "logstore.h"
#include "recordstore.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <cstdio>

using namespace quellix;
using namespace quellix::store;

namespace {

// Writer mode of this executable: appends `count` records tagged `tag` to
// dir/LOG.MDB, printing the number of each record whose commit returned.
int runWriter(const QString &dir, int count, const QString &tag)
{
    Cursor log;
    log.setDatabaseName(dir + QStringLiteral("/LOG.MDB"));
    log.setRecordSource(QStringLiteral("LOG"));
    log.refresh();
    for (int i = 0; i < count; ++i) {
        LogRecord r;
        r.control = tag;
        r.type = QStringLiteral("USER");
        r.event = QStringLiteral("%1 record %2").arg(tag).arg(i);
        r.inputValue = i;
        r.inputFunction = r.outputFunction = QStringLiteral("* 1 + 0");
        appendLogRecord(log, r, OnError::Throw);
        std::printf("%d\n", i);
        std::fflush(stdout);
    }
    return 0;
}

QProcess *startWriter(QObject *parent, const QString &dir, int count, const QString &tag)
{
    auto *p = new QProcess(parent);
    p->setProgram(QCoreApplication::applicationFilePath());
    p->setArguments({QStringLiteral("--append-writer"), dir, QString::number(count), tag});
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start();
    return p;
}

} // namespace

class TestStoreReliability : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void twoProgramsAppendTogether()
    {
        testsupport::StoreDir dir;
        createLogStore(dir.file("LOG.MDB"));
        const int n = 5000;
        QProcess *a = startWriter(this, dir.path(), n, "A");
        QProcess *b = startWriter(this, dir.path(), n, "B");
        QVERIFY(a->waitForFinished(240000));
        QVERIFY(b->waitForFinished(240000));
        QCOMPARE(a->exitCode(), 0);
        QCOMPARE(b->exitCode(), 0);

        const auto rows = testsupport::logRows(dir.path());
        QCOMPARE(rows.size(), 2 * n);
        int last = 0;
        QHash<QString, int> nextOf{{"A", 0}, {"B", 0}};
        for (const QVariantMap &r : rows) {
            const int num = r.value("Num").toInt();
            QVERIFY(num > last);
            last = num;
            // Whole rows, in each writer's own order.
            const QString tag = r.value("Control").toString();
            QVERIFY(nextOf.contains(tag));
            const int i = nextOf[tag]++;
            QCOMPARE(r.value("Event").toString(), QStringLiteral("%1 record %2").arg(tag).arg(i));
            QCOMPARE(r.value("Input Value").toDouble(), double(i));
            QCOMPARE(r.value("Input Function").toString(), QStringLiteral("* 1 + 0"));
            QCOMPARE(r.value("Type").toString(), QStringLiteral("USER"));
        }
        QCOMPARE(nextOf["A"], n);
        QCOMPARE(nextOf["B"], n);
        QCOMPARE(testsupport::querySingle(dir.file("LOG.MDB"), "PRAGMA integrity_check").toString(),
                 QStringLiteral("ok"));
    }

    void writerKilledMidStream()
    {
        testsupport::StoreDir dir;
        createLogStore(dir.file("LOG.MDB"));
        QProcess *w = startWriter(this, dir.path(), 1000000, "K");
        QVERIFY(w->waitForStarted());
        // Let it commit a good number of records, then kill it without warning.
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += w->readAllStandardOutput()).count('\n') >= 300, 60000);
        ::kill(pid_t(w->processId()), SIGKILL);
        QVERIFY(w->waitForFinished(10000));
        out += w->readAllStandardOutput();
        const QList<QByteArray> lines = out.split('\n');
        int committed = -1; // the last record whose commit had returned
        for (const QByteArray &l : lines) {
            bool ok = false;
            const int i = l.toInt(&ok);
            if (ok)
                committed = i;
        }
        QVERIFY(committed >= 299);

        QCOMPARE(testsupport::querySingle(dir.file("LOG.MDB"), "PRAGMA integrity_check").toString(),
                 QStringLiteral("ok"));
        const auto rows = testsupport::logRows(dir.path());
        QVERIFY(rows.size() >= committed + 1);
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(rows[i].value("Event").toString(), QStringLiteral("K record %1").arg(i));

        // The file goes on taking records.
        Cursor log;
        log.setDatabaseName(dir.file("LOG.MDB"));
        log.setRecordSource("LOG");
        log.refresh();
        LogRecord r;
        r.control = "after";
        appendLogRecord(log, r, OnError::Throw);
        QCOMPARE(testsupport::logRows(dir.path()).size(), rows.size() + 1);
    }
};

int main(int argc, char **argv)
{
    if (argc == 5 && qstrcmp(argv[1], "--append-writer") == 0) {
        QCoreApplication app(argc, argv);
        return runWriter(QString::fromLocal8Bit(argv[2]), atoi(argv[3]), QString::fromLocal8Bit(argv[4]));
    }
    QCoreApplication app(argc, argv);
    TestStoreReliability t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_storereliability.moc"
