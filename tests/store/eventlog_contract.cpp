#include "eventlog_contract.h"

#include "error.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QLocale>
#include <QProcess>
#include <QTest>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <limits>

using namespace quellix;
using namespace quellix::store;

namespace eventlogcontract {

namespace {

constexpr char kWriterArg[] = "--eventlog-contract-writer";

// Names the store must keep and match exactly: SQL quotes, LIKE wildcards,
// letters beyond ASCII, a name differing only in case, and no name at all.
const QStringList kControls{QStringLiteral("Meter1"),      QStringLiteral("Meter_1"),
                            QStringLiteral("Meter%"),      QStringLiteral("O'Neil \"Tank\""),
                            QStringLiteral("Zähler Ω"),    QStringLiteral("meter1"),
                            QString()};
const QStringList kTypes{QStringLiteral("USER"), QStringLiteral("SYSTEM"), QStringLiteral("LIMIT")};

LogRecord record(int i)
{
    LogRecord r;
    r.control = kControls[i % kControls.size()];
    r.type = kTypes[i % kTypes.size()];
    r.event = QStringLiteral("event %1").arg(i);
    r.inputValue = i + 0.25;
    r.inputFunction = QStringLiteral("* 1 + %1").arg(i);
    r.displayValue = -i * 1e10;
    r.outputFunction = QStringLiteral("* .5 + -%1").arg(i);
    r.outputValue = i / 3.0;
    r.holdStatus = i % 2;
    return r;
}

bool selects(const LogFilter &f, const LogRecord &r)
{
    const bool control = f.control.isEmpty() ? !r.control.isEmpty() : r.control == f.control;
    return control && (f.type.isEmpty() || r.type == f.type);
}

QStringList events(const QVector<LogRow> &rows)
{
    QStringList out;
    for (const LogRow &r : rows)
        out << r.record.event;
    return out;
}

// The events of the model records the filter selects, in append order.
QStringList expectedEvents(const QVector<LogRecord> &model, const LogFilter &f)
{
    QStringList out;
    for (const LogRecord &r : model)
        if (selects(f, r))
            out << r.event;
    return out;
}

// Every row of the filter, read page by page.
QVector<LogRow> walk(EventLog &log, const LogFilter &f, int pageSize)
{
    QVector<LogRow> all;
    qint64 after = 0;
    for (;;) {
        const QVector<LogRow> page = log.page(f, after, pageSize);
        if (page.size() > pageSize)
            QTest::qFail("a page longer than its limit", __FILE__, __LINE__);
        if (page.isEmpty())
            return all;
        all += page;
        after = page.last().num;
    }
}

Error::Kind refusal(const std::function<void()> &fn)
{
    try {
        fn();
    } catch (const Error &e) {
        return e.kind();
    }
    return Error::Kind(-1);
}

QProcess *startChild(QObject *parent, const QString &mode, const QString &address, int count, const QString &tag)
{
    auto *p = new QProcess(parent);
    p->setProgram(QCoreApplication::applicationFilePath());
    p->setArguments({QLatin1String(kWriterArg), mode, address, QString::number(count), tag});
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start();
    return p;
}

class EventLogContract : public QObject
{
    Q_OBJECT

public:
    explicit EventLogContract(const Backend &backend) : b(backend) {}

private:
    const Backend &b;
    QString address;

    // A new store's log holding record(0) ... record(n - 1).
    std::unique_ptr<EventLog> filled(int n, QVector<LogRecord> *model)
    {
        address = b.create();
        auto log = b.open(address);
        for (int i = 0; i < n; ++i) {
            model->append(record(i));
            log->append(model->last());
        }
        return log;
    }

private Q_SLOTS:
    void appendsAreStoredWholeInOrder()
    {
        QVector<LogRecord> model;
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        auto log = filled(14, &model);
        SampleRecord s{QStringLiteral("Zähler Ω"), -1.5, 2e300, 0.1};
        log->append(s);
        const QDateTime after = QDateTime::currentDateTime().addSecs(1);

        // Without a flush: the log's own appends are seen by its reads.
        const QVector<LogRow> rows = log->page(LogFilter{QStringLiteral("Zähler Ω"), {}}, 0, 100);
        QCOMPARE(rows.size(), 2);
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        qint64 last = 0;
        for (const LogRow &row : rows) {
            const LogRecord &want = model[row.record.event.section(' ', 1).toInt()];
            QCOMPARE(row.record.control, want.control);
            QCOMPARE(row.record.type, want.type);
            QCOMPARE(row.record.inputValue, want.inputValue);
            QCOMPARE(row.record.inputFunction, want.inputFunction);
            QCOMPARE(row.record.displayValue, want.displayValue);
            QCOMPARE(row.record.outputFunction, want.outputFunction);
            QCOMPARE(row.record.outputValue, want.outputValue);
            QCOMPARE(row.record.holdStatus, want.holdStatus);
            QVERIFY(row.num > last);
            last = row.num;
            const QDateTime when = us.toDateTime(row.time, QStringLiteral("MM/dd/yyyy hh:mm:ss AP"));
            QVERIFY2(when >= before && when <= after, qPrintable(row.time));
        }
        const QVector<SampleRow> samples = log->newestSamples(s.control, 10);
        QCOMPARE(samples.size(), 1);
        QCOMPARE(samples[0].record.control, s.control);
        QCOMPARE(samples[0].record.inputValue, s.inputValue);
        QCOMPARE(samples[0].record.displayValue, s.displayValue);
        QCOMPARE(samples[0].record.outputValue, s.outputValue);
        QVERIFY(!samples[0].time.isEmpty());

        // Another user of the store sees them once flushed.
        log->flush();
        auto other = b.open(address);
        QCOMPARE(events(walk(*other, {}, 1000)), expectedEvents(model, {}));
    }

    void pagesFollowTheFilter_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("type");
        QTest::newRow("every control (a name, not none)") << QString() << QString();
        QTest::newRow("one control") << "Meter1" << QString();
        QTest::newRow("underscore is no wildcard") << "Meter_1" << QString();
        QTest::newRow("percent is no wildcard") << "Meter%" << QString();
        QTest::newRow("quotes") << "O'Neil \"Tank\"" << QString();
        QTest::newRow("letters beyond ASCII") << "Zähler Ω" << QString();
        QTest::newRow("one type") << QString() << "SYSTEM";
        QTest::newRow("control and type") << "Meter1" << "LIMIT";
        QTest::newRow("type case is kept") << QString() << "user";
        QTest::newRow("no such control") << "Nobody" << QString();
    }
    void pagesFollowTheFilter()
    {
        QFETCH(QString, control);
        QFETCH(QString, type);
        const LogFilter f{control, type};
        QVector<LogRecord> model;
        auto log = filled(84, &model);
        const QStringList want = expectedEvents(model, f);

        for (int pageSize : {1, 7, 1000}) {
            const QVector<LogRow> all = walk(*log, f, pageSize);
            QCOMPARE(events(all), want);
            for (int i = 1; i < all.size(); ++i)
                QVERIFY(all[i].num > all[i - 1].num);
            // A page may start after any number, also one of another filter.
            if (all.size() > 3) {
                const qint64 between = all[2].num - 1; // at least all[1]'s
                QCOMPARE(events(log->page(f, between, 2)), want.mid(2, 2));
                QCOMPARE(events(log->page(f, all[1].num, 100)), want.mid(2));
            }
        }
        QCOMPARE(log->count(f), qint64(want.size()));
    }

    void pageLimitsAndEnds()
    {
        QVector<LogRecord> model;
        auto log = filled(7, &model);
        const QVector<LogRow> all = log->page({}, 0, 100);
        QCOMPARE(all.size(), 6); // record 6 has no control name
        QVERIFY(log->page({}, 0, 0).isEmpty());
        QVERIFY(log->page({}, 0, -1).isEmpty());
        QVERIFY(log->page({}, all.last().num, 100).isEmpty());
        QCOMPARE(events(log->page({}, -5, 2)), events(all.mid(0, 2)));
        QCOMPARE(log->count({QStringLiteral("Nobody"), {}}), qint64(0));
    }

    void newestSamplesOldestFirst_data()
    {
        QTest::addColumn<int>("n");
        QTest::newRow("none") << 0;
        QTest::newRow("one") << 1;
        QTest::newRow("fewer than stored") << 5;
        QTest::newRow("as many as stored") << 8;
        QTest::newRow("more than stored") << 20;
    }
    void newestSamplesOldestFirst()
    {
        QFETCH(int, n);
        address = b.create();
        auto log = b.open(address);
        // Two controls whose names differ by a wildcard only, interleaved.
        const QString a = QStringLiteral("Tank_'Ω'"), other = QStringLiteral("Tank%'Ω'");
        for (int i = 0; i < 8; ++i) {
            log->append(SampleRecord{a, double(i), i * 10.0, i * 100.0});
            log->append(SampleRecord{other, -1.0, -1.0, -1.0});
        }
        const QVector<SampleRow> got = log->newestSamples(a, n);
        const int expected = std::min(n, 8);
        QCOMPARE(got.size(), expected);
        for (int k = 0; k < got.size(); ++k) {
            const int i = 8 - expected + k;
            QCOMPARE(got[k].record.control, a);
            QCOMPARE(got[k].record.inputValue, double(i));
            QCOMPARE(got[k].record.displayValue, i * 10.0);
            QCOMPARE(got[k].record.outputValue, i * 100.0);
            if (k > 0)
                QVERIFY(got[k].num > got[k - 1].num);
        }
        QVERIFY(log->newestSamples(QStringLiteral("Tank"), 5).isEmpty());
    }

    void removeLogDeletesTheSelectionOnly_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("type");
        QTest::newRow("every control") << QString() << QString();
        QTest::newRow("one control") << "Meter1" << QString();
        QTest::newRow("underscore is no wildcard") << "Meter_1" << QString();
        QTest::newRow("quotes") << "O'Neil \"Tank\"" << QString();
        QTest::newRow("one type") << QString() << "USER";
        QTest::newRow("one control's SYSTEM records") << "Zähler Ω" << "SYSTEM";
        QTest::newRow("nothing selected") << "Nobody" << QString();
    }
    void removeLogDeletesTheSelectionOnly()
    {
        QFETCH(QString, control);
        QFETCH(QString, type);
        const LogFilter f{control, type};
        QVector<LogRecord> model;
        auto log = filled(42, &model);
        log->append(SampleRecord{QStringLiteral("Meter1"), 1, 2, 3});

        QCOMPARE(log->removeLog(f), qint64(expectedEvents(model, f).size()));
        QVector<LogRecord> kept;
        for (const LogRecord &r : model)
            if (!selects(f, r))
                kept << r;
        QCOMPARE(log->count(f), qint64(0));
        QCOMPARE(events(walk(*log, {}, 10)), expectedEvents(kept, {}));
        // Records without a name are not "every control"'s: they stay.
        QCOMPARE(log->count({}) + 6, qint64(kept.size()));
        QCOMPARE(log->newestSamples(QStringLiteral("Meter1"), 5).size(), 1);
        // Appends go on after a delete.
        log->append(record(1));
        QCOMPARE(log->page({QStringLiteral("Meter_1"), {}}, 0, 100).last().record.event, record(1).event);
    }

    void removeSamplesOfOneControlOrAll()
    {
        address = b.create();
        auto log = b.open(address);
        for (int i = 0; i < 6; ++i)
            log->append(SampleRecord{i % 2 ? QStringLiteral("Tank_1") : QStringLiteral("Tank%1"), double(i), 0, 0});
        log->append(record(0));
        const qint64 highest = log->newestSamples(QStringLiteral("Tank_1"), 10).last().num;
        QCOMPARE(log->removeSamples(QStringLiteral("Tank_1")), qint64(3));
        QVERIFY(log->newestSamples(QStringLiteral("Tank_1"), 10).isEmpty());
        QCOMPARE(log->newestSamples(QStringLiteral("Tank%1"), 10).size(), 3);
        QCOMPARE(log->removeSamples(QString()), qint64(3));
        QVERIFY(log->newestSamples(QStringLiteral("Tank%1"), 10).isEmpty());
        QCOMPARE(log->count({}), qint64(1)); // LOG untouched
        // A number once given is never given again, not even after the
        // newest rows went.
        log->append(SampleRecord{QStringLiteral("Tank_1"), 9, 0, 0});
        QVERIFY(log->newestSamples(QStringLiteral("Tank_1"), 1).last().num > highest);
    }

    void badRecordsAreRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QVariant>("value");
        const double nan = std::numeric_limits<double>::quiet_NaN();
        const double inf = std::numeric_limits<double>::infinity();
        QTest::newRow("Control of 51") << "Control" << QVariant(QString(51, QChar(0xC4)));
        QTest::newRow("Type of 51") << "Type" << QVariant(QString(51, 'T'));
        QTest::newRow("Event of 256") << "Event" << QVariant(QString(256, 'e'));
        QTest::newRow("Input Function of 256") << "Input Function" << QVariant(QString(256, 'f'));
        QTest::newRow("Output Function of 256") << "Output Function" << QVariant(QString(256, 'f'));
        QTest::newRow("Input Value NaN") << "Input Value" << QVariant(nan);
        QTest::newRow("Display Value +inf") << "Display Value" << QVariant(inf);
        QTest::newRow("Output Value -inf") << "Output Value" << QVariant(-inf);
        QTest::newRow("sample Control of 51") << "sample Control" << QVariant(QString(51, 'S'));
        QTest::newRow("sample Input Value NaN") << "sample Input Value" << QVariant(nan);
        QTest::newRow("sample Display Value +inf") << "sample Display Value" << QVariant(inf);
        QTest::newRow("sample Output Value -inf") << "sample Output Value" << QVariant(-inf);
    }
    void badRecordsAreRefusedAtOnce()
    {
        QFETCH(QString, field);
        QFETCH(QVariant, value);
        address = b.create();
        auto log = b.open(address);
        // At the limits, counted in characters: kept whole.
        LogRecord full = record(0);
        full.control = QString(50, QChar(0xC4));
        full.event = QString(255, QChar(0x3A9));
        log->append(full);

        LogRecord r = record(0);
        SampleRecord s{QStringLiteral("Meter1"), 1, 2, 3};
        if (field == QLatin1String("Control")) r.control = value.toString();
        if (field == QLatin1String("Type")) r.type = value.toString();
        if (field == QLatin1String("Event")) r.event = value.toString();
        if (field == QLatin1String("Input Function")) r.inputFunction = value.toString();
        if (field == QLatin1String("Output Function")) r.outputFunction = value.toString();
        if (field == QLatin1String("Input Value")) r.inputValue = value.toDouble();
        if (field == QLatin1String("Display Value")) r.displayValue = value.toDouble();
        if (field == QLatin1String("Output Value")) r.outputValue = value.toDouble();
        if (field == QLatin1String("sample Control")) s.control = value.toString();
        if (field == QLatin1String("sample Input Value")) s.inputValue = value.toDouble();
        if (field == QLatin1String("sample Display Value")) s.displayValue = value.toDouble();
        if (field == QLatin1String("sample Output Value")) s.outputValue = value.toDouble();
        if (field.startsWith(QLatin1String("sample")))
            QCOMPARE(refusal([&] { log->append(s); }), Error::Kind::InvalidValue);
        else
            QCOMPARE(refusal([&] { log->append(r); }), Error::Kind::InvalidValue);

        log->flush(); // nothing failed late either
        const QVector<LogRow> rows = log->page({}, 0, 10);
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows[0].record.control, full.control);
        QCOMPARE(rows[0].record.event, full.event);
        QVERIFY(log->newestSamples(s.control, 10).isEmpty());
    }

    void twoProgramsAppendTogether()
    {
        address = b.create();
        const int n = 5000;
        QProcess *pa = startChild(this, QStringLiteral("batch"), address, n, QStringLiteral("A"));
        QProcess *pb = startChild(this, QStringLiteral("batch"), address, n, QStringLiteral("B"));
        QVERIFY(pa->waitForFinished(240000));
        QVERIFY(pb->waitForFinished(240000));
        QCOMPARE(pa->exitCode(), 0);
        QCOMPARE(pb->exitCode(), 0);

        auto log = b.open(address);
        const QVector<LogRow> rows = walk(*log, {}, 1000);
        QCOMPARE(rows.size(), 2 * n);
        QHash<QString, int> nextOf{{"A", 0}, {"B", 0}};
        for (const LogRow &r : rows) {
            // Whole rows, in each writer's own order.
            QVERIFY(nextOf.contains(r.record.control));
            const int i = nextOf[r.record.control]++;
            QCOMPARE(r.record.event, QStringLiteral("%1 record %2").arg(r.record.control).arg(i));
            QCOMPARE(r.record.inputValue, double(i));
        }
        QCOMPARE(nextOf["A"], n);
        QCOMPARE(nextOf["B"], n);
        QCOMPARE(log->count({QStringLiteral("A"), {}}), qint64(n));
    }

    void writerKilledMidStream()
    {
        address = b.create();
        QProcess *w = startChild(this, QStringLiteral("each"), address, 1000000, QStringLiteral("K"));
        QVERIFY(w->waitForStarted());
        // Let it write a good number of records, then kill it without warning.
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT((out += w->readAllStandardOutput()).count('\n') >= 300, 60000);
        ::kill(pid_t(w->processId()), SIGKILL);
        QVERIFY(w->waitForFinished(10000));
        out += w->readAllStandardOutput();
        int flushed = -1; // the last record whose flush had returned
        for (const QByteArray &l : out.split('\n')) {
            bool ok = false;
            const int i = l.toInt(&ok);
            if (ok)
                flushed = i;
        }
        QVERIFY(flushed >= 299);

        auto log = b.open(address);
        const QVector<LogRow> rows = walk(*log, {}, 1000);
        QVERIFY(rows.size() >= flushed + 1);
        for (int i = 0; i < rows.size(); ++i)
            QCOMPARE(rows[i].record.event, QStringLiteral("K record %1").arg(i));
        if (b.check)
            QCOMPARE(b.check(address), QString());

        // The store goes on taking records.
        LogRecord r = record(0);
        r.control = QStringLiteral("after");
        log->append(r);
        QCOMPARE(log->page({QStringLiteral("after"), {}}, 0, 10).size(), 1);
    }
};

} // namespace

int runEventLogContract(const Backend &backend, int argc, char **argv)
{
    EventLogContract t(backend);
    return QTest::qExec(&t, argc, argv);
}

int runContractChild(const Backend &backend, int argc, char **argv)
{
    if (argc != 6 || qstrcmp(argv[1], kWriterArg) != 0)
        return -1;
    QCoreApplication app(argc, argv);
    const QString mode = QString::fromLocal8Bit(argv[2]);
    const int count = atoi(argv[4]);
    const QString tag = QString::fromLocal8Bit(argv[5]);
    try {
        auto log = backend.open(QString::fromLocal8Bit(argv[3]));
        for (int i = 0; i < count; ++i) {
            LogRecord r;
            r.control = tag;
            r.type = QStringLiteral("USER");
            r.event = QStringLiteral("%1 record %2").arg(tag).arg(i);
            r.inputValue = i;
            r.inputFunction = r.outputFunction = QStringLiteral("* 1 + 0");
            log->append(r);
            if (mode == QLatin1String("each")) {
                // Printed once the record is in the store.
                log->flush();
                std::printf("%d\n", i);
                std::fflush(stdout);
            }
        }
        log->flush();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "writer %s: %s\n", qPrintable(tag), e.what());
        return 1;
    }
    return 0;
}

} // namespace eventlogcontract

#include "eventlog_contract.moc"
