// The event log on a PostgreSQL server.
//
// The caller's thread checks a record and queues it; one writer thread per
// server address sends the queue in order, many records per transaction.
// When the server cannot be reached the writer keeps the records in the
// station's spool instead and tries the server again every second; once
// it answers, the spool goes first, in order, and only when it is empty do
// new records go straight to the server again. Each transaction also moves
// the "Delivered" mark of its stream (the spool file, or this writer), so a
// batch sent again after a lost connection is kept once.

#include "pglog.h"

#include "error.h"
#include "logstore.h"
#include "pgconnection.h"
#include "connectioncache.h"
#include "schema.h"
#include "tablesql.h"
#include "spool.h"
#include "sqlcipherapi.h"
#include "weakregistry.h"

#include <QCoreApplication>
#include <QHash>
#include <QLoggingCategory>
#include <QMutex>
#include <QSysInfo>
#include <QUuid>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace quellix::store {

Q_LOGGING_CATEGORY(lcServerLog, "quellix.server")

namespace {

using Clock = std::chrono::steady_clock;

/// How often a writer tries a server it lost.
constexpr auto kRetry = std::chrono::seconds(1);
/// How long a writer keeps its connection when nothing is queued.
constexpr auto kIdleClose = std::chrono::seconds(10);
/// How long a caller's thread fails at once after the server could not be
/// reached, before it tries again.
constexpr auto kClientBackoff = std::chrono::seconds(2);
/// Records per transaction.
constexpr size_t kBatch = 500;

// --- which servers are away

struct AwayState
{
    QMutex mutex;
    QHash<QString, bool> writerAway; // records wait in the spool
    QHash<QString, bool> clientAway; // the caller's last connection attempt failed
};

AwayState &awayState()
{
    static AwayState s;
    return s;
}

QString station()
{
    static const QString name = QSysInfo::machineHostName().left(255);
    return name;
}

QString columnList(const TableDef &t)
{
    QStringList names;
    for (size_t i = 1; i < t.fields.size(); ++i)
        names << quoteIdentifier(QString::fromLatin1(t.fields[i].name));
    names << QStringLiteral("\"Station\"");
    return names.join(QLatin1Char(','));
}

/// Inserts records in their order: one multi-row INSERT per run of records
/// of one table.
void insertAll(pg::Connection &c, const QVector<const OutgoingRecord *> &records)
{
    int i = 0;
    while (i < records.size()) {
        const TableDef *table = records[i]->table;
        QStringList rows;
        QVariantList params;
        int j = i;
        for (; j < records.size() && records[j]->table == table; ++j) {
            QStringList marks;
            for (const QVariant &v : records[j]->values) {
                params << v;
                marks << QStringLiteral("$%1").arg(params.size());
            }
            rows << QLatin1Char('(') + marks.join(QLatin1Char(',')) + QLatin1Char(')');
        }
        c.exec(QStringLiteral("INSERT INTO %1 (%2) VALUES %3")
                   .arg(quoteIdentifier(QString::fromLatin1(table->name)), columnList(*table), rows.join(QLatin1Char(','))),
               params);
        i = j;
    }
}

/// The "Delivered" mark of a stream, locked until the transaction ends.
qint64 lockMark(pg::Connection &c, const QString &stream)
{
    c.exec(QStringLiteral("INSERT INTO \"Delivered\" (\"Stream\", \"Last\") VALUES ($1, 0) ON CONFLICT DO NOTHING"),
           {stream});
    const pg::Result r =
        c.exec(QStringLiteral("SELECT \"Last\" FROM \"Delivered\" WHERE \"Stream\" = $1 FOR UPDATE"), {stream});
    return r.rows() ? r.integer(0, 0) : 0;
}

void setMark(pg::Connection &c, const QString &stream, qint64 last)
{
    c.exec(QStringLiteral("UPDATE \"Delivered\" SET \"Last\" = GREATEST(\"Last\", $2) WHERE \"Stream\" = $1"),
           {stream, last});
}

void rollback(pg::Connection *c)
{
    if (!c || c->lost())
        return;
    try {
        c->exec(QStringLiteral("ROLLBACK"));
    } catch (const Error &) {
    }
}

struct Task
{
    OutgoingRecord record;
};

// ---------------------------------------------------------------------------
// The writer of one server address

class Writer
{
public:
    explicit Writer(const QString &url)
        : m_url(url), m_stream(QUuid::createUuid().toString(QUuid::WithoutBraces)), m_spool(spoolPathFor(url))
    {
    }
    ~Writer() { close(); }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    quint64 post(Task &&task);
    void waitAll();
    QString takeFailures();
    /// True while records wait in the spool (or the spool was not looked at yet).
    bool spoolPending() const
    {
        std::lock_guard lk(m_mutex);
        return m_spoolPending || m_away;
    }
    /// Sends or spools what is queued, then ends the thread.
    void close();

private:
    void run();
    void process(std::vector<Task> &batch);
    bool sendDirect(const QVector<const OutgoingRecord *> &records);
    void sendOneByOne(const QVector<const OutgoingRecord *> &records);
    void sendSpooled(const QString &stream, const QVector<SpooledRecord> &spooled);
    void toSpool(const QVector<const OutgoingRecord *> &records, qint64 uncertainMark = 0);
    void tryDrain();
    void connect();
    void setAway(bool away);
    void recordFailures(int n, const QString &why);

    const QString m_url;
    const QString m_stream; // this writer's own stream of direct sends
    mutable std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_done;
    std::deque<Task> m_queue;
    quint64 m_posted = 0;
    quint64 m_finished = 0;
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_thread;
    QStringList m_failures;
    int m_failureCount = 0;
    bool m_away = false;
    bool m_spoolPending = true; // until the spool was looked at

    // The writer thread's own.
    std::unique_ptr<pg::Connection> m_conn;
    Spool m_spool;
    bool m_spoolChecked = false;
    Clock::time_point m_nextTry{};
    qint64 m_sent = 0; // records of m_stream sent
    QString m_lastWarning;
    /// Batches whose commit was sent when the connection went: kept in the
    /// spool too, and removed from there if the server did take them.
    struct Uncertain
    {
        qint64 firstSpooled, lastSpooled, mark;
    };
    std::vector<Uncertain> m_uncertain;
};

quint64 Writer::post(Task &&task)
{
    std::unique_lock lk(m_mutex);
    m_queue.push_back(std::move(task));
    const quint64 seq = ++m_posted;
    if (!m_running) {
        if (m_thread.joinable())
            m_thread.join();
        m_running = true;
        m_thread = std::thread([this] { run(); });
    } else {
        m_work.notify_one();
    }
    return seq;
}

void Writer::waitAll()
{
    std::unique_lock lk(m_mutex);
    const quint64 seq = m_posted;
    m_done.wait(lk, [&] { return m_finished >= seq; });
}

QString Writer::takeFailures()
{
    std::lock_guard lk(m_mutex);
    if (m_failureCount == 0)
        return {};
    const QString shown = pg::shownUrl(m_url);
    QString out = m_failureCount == 1
                      ? QStringLiteral("A record could not be written to %1: %2").arg(shown, m_failures.first())
                      : QStringLiteral("%1 records could not be written to %2; the first: %3")
                            .arg(m_failureCount).arg(shown, m_failures.first());
    m_failures.clear();
    m_failureCount = 0;
    return out;
}

void Writer::close()
{
    std::unique_lock lk(m_mutex);
    if (m_running) {
        m_stopping = true;
        m_work.notify_one();
        m_done.wait(lk, [&] { return !m_running; });
    }
    if (m_thread.joinable())
        m_thread.join();
    m_stopping = false;
}

void Writer::recordFailures(int n, const QString &why)
{
    if (n == 0)
        return;
    qCWarning(lcServerLog, "%d record(s) for %s are lost: %s", n, qPrintable(pg::shownUrl(m_url)), qPrintable(why));
    std::lock_guard lk(m_mutex);
    if (m_failures.isEmpty())
        m_failures << why;
    m_failureCount += n;
}

void Writer::setAway(bool away)
{
    {
        std::lock_guard lk(m_mutex);
        if (m_away == away)
            return;
        m_away = away;
    }
    if (away)
        qCWarning(lcServerLog, "The store server %s cannot be reached: records wait in %s",
                  qPrintable(pg::shownUrl(m_url)), qPrintable(m_spool.path()));
    else
        qCInfo(lcServerLog, "The store server %s is back", qPrintable(pg::shownUrl(m_url)));
    setServerAway(m_url, away, true);
}

void Writer::run()
{
    std::unique_lock lk(m_mutex);
    std::vector<Task> batch;
    for (;;) {
        lk.unlock();
        // Nothing thrown leaves the writer's thread.
        try {
            if (!m_spoolChecked) {
                // Records a process left in the spool go before any new one.
                m_spoolChecked = true;
                const bool pending = m_spool.count() > 0;
                std::lock_guard g(m_mutex);
                m_spoolPending = pending;
            }
            if (spoolPending() && Clock::now() >= m_nextTry)
                tryDrain();
        } catch (const std::exception &e) {
            qCWarning(lcServerLog, "%s: %s", qPrintable(m_spool.path()), e.what());
            m_nextTry = Clock::now() + kRetry;
        }
        lk.lock();
        batch.clear();
        while (!m_queue.empty() && batch.size() < kBatch) {
            batch.push_back(std::move(m_queue.front()));
            m_queue.pop_front();
        }
        if (!batch.empty()) {
            lk.unlock();
            process(batch);
            lk.lock();
            m_finished += batch.size();
            m_done.notify_all();
            continue;
        }
        const bool waiting = m_spoolPending || m_away;
        if (m_stopping || (!waiting && !m_work.wait_for(lk, kIdleClose, [&] { return !m_queue.empty() || m_stopping; }))) {
            // Stopping, or idle for long: the connection closes and the
            // thread ends (records left in the spool wait for the next start).
            lk.unlock();
            m_conn.reset();
            lk.lock();
            if (!m_queue.empty())
                continue;
            m_running = false;
            m_spoolChecked = false;
            m_done.notify_all();
            return;
        }
        if (waiting)
            m_work.wait_until(lk, m_nextTry, [&] { return !m_queue.empty() || m_stopping; });
    }
}

void Writer::connect()
{
    if (m_conn && !m_conn->lost())
        return;
    m_conn.reset();
    m_conn = pg::Connection::open(m_url);
}

void Writer::process(std::vector<Task> &batch)
{
    QVector<const OutgoingRecord *> records;
    for (const Task &t : batch)
        records << &t.record;
    if (!spoolPending()) {
        try {
            if (!sendDirect(records)) {
                // The commit went out but its answer did not come back:
                // spooled, and taken out of the spool again if the
                // server's mark shows the commit was kept.
                toSpool(records, m_sent);
            }
            return;
        } catch (const std::exception &) {
            if (m_conn && !m_conn->lost()) {
                // The server refused the batch: the records go one by one,
                // and only one the server refuses itself is given up.
                rollback(m_conn.get());
                sendOneByOne(records);
                return;
            }
            m_conn.reset();
            setAway(true);
            m_nextTry = Clock::now() + kRetry;
        }
    }
    toSpool(records);
}

void Writer::sendOneByOne(const QVector<const OutgoingRecord *> &records)
{
    for (int i = 0; i < records.size(); ++i) {
        try {
            if (!sendDirect({records[i]})) {
                toSpool({records[i]}, m_sent);
                toSpool(records.mid(i + 1));
                return;
            }
        } catch (const std::exception &e) {
            if (m_conn && !m_conn->lost()) {
                rollback(m_conn.get());
                recordFailures(1, QString::fromUtf8(e.what()));
                continue;
            }
            m_conn.reset();
            setAway(true);
            m_nextTry = Clock::now() + kRetry;
            toSpool(records.mid(i));
            return;
        }
    }
}

// True when the server took the records; false when the connection went
// while the commit was on its way (kept or not, only the server knows).
// Throws Error when they were not kept.
bool Writer::sendDirect(const QVector<const OutgoingRecord *> &records)
{
    connect();
    const qint64 mark = m_sent + records.size();
    m_conn->exec(QStringLiteral("BEGIN"));
    insertAll(*m_conn, records);
    // This writer's mark: told whether a commit whose answer was lost was kept.
    m_conn->exec(QStringLiteral("INSERT INTO \"Delivered\" (\"Stream\", \"Last\") VALUES ($1, $2) "
                                "ON CONFLICT (\"Stream\") DO UPDATE SET \"Last\" = EXCLUDED.\"Last\""),
                 {m_stream, mark});
    try {
        m_conn->exec(QStringLiteral("COMMIT"));
    } catch (const Error &) {
        if (m_conn->lost()) {
            m_conn.reset();
            setAway(true);
            m_nextTry = Clock::now() + kRetry;
            m_sent = mark;
            return false;
        }
        throw;
    }
    m_sent = mark;
    return true;
}

void Writer::toSpool(const QVector<const OutgoingRecord *> &records, qint64 uncertainMark)
{
    try {
        const qint64 last = m_spool.append(records);
        {
            std::lock_guard lk(m_mutex);
            m_spoolPending = true;
        }
        if (uncertainMark > 0)
            m_uncertain.push_back({last - records.size() + 1, last, uncertainMark});
    } catch (const Error &e) {
        recordFailures(int(records.size()), QStringLiteral("the server cannot be reached and the spool refused "
                                                           "them: %1")
                                                .arg(e.message()));
    }
}

void Writer::tryDrain()
{
    m_nextTry = Clock::now() + kRetry;
    try {
        connect();
    } catch (const Error &) {
        setAway(true);
        return;
    }
    try {
        // Batches whose commit had no answer: the mark says whether they
        // arrived; if they did, their spooled copies go.
        if (!m_uncertain.empty()) {
            const pg::Result r = m_conn->exec(QStringLiteral("SELECT \"Last\" FROM \"Delivered\" WHERE \"Stream\" = $1"),
                                              {m_stream});
            const qint64 delivered = r.rows() ? r.integer(0, 0) : 0;
            for (const Uncertain &u : m_uncertain)
                if (delivered >= u.mark)
                    m_spool.remove(u.firstSpooled, u.lastSpooled);
            m_uncertain.clear();
        }
        const QString stream = m_spool.exists() ? m_spool.streamId() : QString();
        for (;;) {
            const QVector<SpooledRecord> spooled = m_spool.oldest(int(kBatch));
            if (spooled.isEmpty())
                break;
            sendSpooled(stream, spooled);
            m_spool.remove(spooled.first().num, spooled.last().num);
        }
        {
            std::lock_guard lk(m_mutex);
            m_spoolPending = false;
        }
        setAway(false);
    } catch (const Error &e) {
        if (m_conn && !m_conn->lost()) {
            // The server or the spool refused: tried again in a while.
            rollback(m_conn.get());
            if (e.message() != m_lastWarning) // said once, not every second
                qCWarning(lcServerLog, "Spooled records for %s wait: %s", qPrintable(pg::shownUrl(m_url)),
                          qPrintable(e.message()));
            m_lastWarning = e.message();
            return;
        }
        m_conn.reset();
        setAway(true);
    }
}

// Sends spooled records under the spool's mark, all in one transaction.
// When the server refuses them (and the connection stays), they go one by
// one, and only a record the server refuses itself is given up (reported
// at flush()): one bad record never holds up those behind it.
void Writer::sendSpooled(const QString &stream, const QVector<SpooledRecord> &spooled)
{
    auto send = [&](qsizetype from, qsizetype to, bool skip) {
        m_conn->exec(QStringLiteral("BEGIN"));
        const qint64 delivered = lockMark(*m_conn, stream);
        QVector<const OutgoingRecord *> records;
        for (qsizetype i = from; i < to && !skip; ++i)
            if (spooled[i].num > delivered)
                records << &spooled[i].record;
        insertAll(*m_conn, records);
        setMark(*m_conn, stream, spooled[to - 1].num);
        m_conn->exec(QStringLiteral("COMMIT"));
    };
    try {
        send(0, spooled.size(), false);
        return;
    } catch (const Error &) {
        if (m_conn->lost())
            throw;
        rollback(m_conn.get());
    }
    for (qsizetype i = 0; i < spooled.size(); ++i) {
        try {
            send(i, i + 1, false);
        } catch (const Error &e) {
            if (m_conn->lost())
                throw;
            rollback(m_conn.get());
            recordFailures(1, e.message());
            send(i, i + 1, true); // given up: the mark moves past it
        }
    }
}

// ---------------------------------------------------------------------------
// The writers of the process: one per server address

void closeAllWriters();

struct Registry
{
    WeakRegistry<Writer> writers;
    std::mutex mutex; // guards postRoutineAdded
    bool postRoutineAdded = false;

    Registry()
    {
        // Made before this registry, so still there when it goes and the
        // writers send or spool what is queued at exit.
        lcServerLog();
        awayState();
        try {
            sqlcipher::api();
        } catch (const Error &) {
        }
    }
    ~Registry()
    {
        if (postRoutineAdded)
            qRemovePostRoutine(&closeAllWriters);
        closeAllWriters();
    }

    std::vector<std::shared_ptr<Writer>> live() { return writers.live(); }
};

Registry &registry()
{
    static Registry r;
    return r;
}

void closeAllWriters()
{
    for (const auto &w : registry().live())
        w->close();
}

std::shared_ptr<Writer> writerFor(const QString &url)
{
    Registry &r = registry();
    std::shared_ptr<Writer> w = r.writers.findOrMake(url, [&] { return std::shared_ptr<Writer>(new Writer(url)); });
    std::lock_guard lk(r.mutex);
    if (!r.postRoutineAdded && QCoreApplication::instance()) {
        // What is queued is sent (or spooled) while the application object goes.
        qAddPostRoutine(&closeAllWriters);
        r.postRoutineAdded = true;
    }
    return w;
}

// ---------------------------------------------------------------------------
// The event log

QVector<QVariant> checkedValues(const TableDef &table, std::initializer_list<QVariant> values)
{
    QVector<QVariant> row;
    row.reserve(int(values.size()) + 1);
    size_t i = 1;
    for (const QVariant &v : values)
        row << checkedFieldValue(table.fields[i++], v);
    row << station();
    return row;
}

struct Where
{
    QString sql;
    QVariantList params;
};

Where whereOf(const LogFilter &f)
{
    Where w;
    if (f.control.isEmpty()) {
        w.sql = QStringLiteral("\"Control\" > ''");
    } else {
        w.params << f.control;
        w.sql = QStringLiteral("\"Control\" = $1");
    }
    if (!f.type.isEmpty()) {
        w.params << f.type;
        w.sql += QStringLiteral(" AND \"Type\" = $%1").arg(w.params.size());
    }
    return w;
}

double numberOr0(const pg::Result &r, int row, int col)
{
    return r.isNull(row, col) ? 0.0 : r.number(row, col);
}

class PgEventLog final : public EventLog
{
public:
    PgEventLog(const QString &url, std::shared_ptr<ServerClient> client)
        : m_url(url), m_client(client ? std::move(client) : std::shared_ptr<ServerClient>(new ServerClient(url))), m_writer(writerFor(url))
    {
    }

    void append(const LogRecord &r) override
    {
        Task t;
        t.record.table = &logTable();
        t.record.values = checkedValues(logTable(), {r.control, logTimeNow(), r.type, r.event, r.inputValue,
                                                     r.inputFunction, r.displayValue, r.outputFunction,
                                                     r.outputValue, r.holdStatus});
        m_writer->post(std::move(t));
    }

    void append(const SampleRecord &r) override
    {
        Task t;
        t.record.table = &dataTable();
        t.record.values =
            checkedValues(dataTable(), {r.control, logTimeNow(), r.inputValue, r.displayValue, r.outputValue});
        m_writer->post(std::move(t));
    }

    void flush() override
    {
        m_writer->waitAll();
        if (const QString failures = m_writer->takeFailures(); !failures.isEmpty())
            throw Error(Error::Kind::Store, failures);
    }

    void reopen() override {} // a server has no file to take anew

    QVector<LogRow> page(const LogFilter &filter, qint64 afterNum, int limit) override
    {
        QVector<LogRow> rows;
        if (limit <= 0)
            return rows;
        m_writer->waitAll();
        const Where w = whereOf(filter);
        QVariantList params = w.params;
        params << afterNum << limit;
        const QString sql =
            QStringLiteral("SELECT \"Num\",\"Control\",\"Time\",\"Type\",\"Event\",\"Input Value\",\"Input Function\","
                           "\"Display Value\",\"Output Function\",\"Output Value\",\"Hold Status\" FROM \"LOG\" "
                           "WHERE %1 AND \"Num\" > $%2 ORDER BY \"Num\" LIMIT $%3")
                .arg(w.sql).arg(params.size() - 1).arg(params.size());
        m_client->run(
            [&](pg::Connection &c) {
                const pg::Result r = c.exec(sql, params);
                rows.clear();
                rows.reserve(r.rows());
                for (int i = 0; i < r.rows(); ++i) {
                    LogRow row;
                    row.num = r.integer(i, 0);
                    row.record.control = r.text(i, 1);
                    row.time = r.text(i, 2);
                    row.record.type = r.text(i, 3);
                    row.record.event = r.text(i, 4);
                    row.record.inputValue = numberOr0(r, i, 5);
                    row.record.inputFunction = r.text(i, 6);
                    row.record.displayValue = numberOr0(r, i, 7);
                    row.record.outputFunction = r.text(i, 8);
                    row.record.outputValue = numberOr0(r, i, 9);
                    row.record.holdStatus = !r.isNull(i, 10) && r.yes(i, 10);
                    rows << row;
                }
            },
            QStringLiteral("the log cannot be read"), true);
        return rows;
    }

    qint64 count(const LogFilter &filter) override
    {
        m_writer->waitAll();
        const Where w = whereOf(filter);
        qint64 n = 0;
        m_client->run(
            [&](pg::Connection &c) {
                n = c.exec(QStringLiteral("SELECT count(*) FROM \"LOG\" WHERE %1").arg(w.sql), w.params).integer(0, 0);
            },
            QStringLiteral("the log cannot be counted"), true);
        return n;
    }

    QVector<SampleRow> newestSamples(const QString &control, int n) override
    {
        QVector<SampleRow> rows;
        if (n <= 0)
            return rows;
        m_writer->waitAll();
        m_client->run(
            [&](pg::Connection &c) {
                const pg::Result r = c.exec(
                    QStringLiteral("SELECT \"Num\",\"Control\",\"Time\",\"Input Value\",\"Display Value\",\"Output Value\" "
                                   "FROM \"DATA\" WHERE \"Control\" = $1 ORDER BY \"Num\" DESC LIMIT $2"),
                    {control, n});
                rows.clear();
                for (int i = r.rows() - 1; i >= 0; --i) {
                    SampleRow s;
                    s.num = r.integer(i, 0);
                    s.record.control = r.text(i, 1);
                    s.time = r.text(i, 2);
                    s.record.inputValue = numberOr0(r, i, 3);
                    s.record.displayValue = numberOr0(r, i, 4);
                    s.record.outputValue = numberOr0(r, i, 5);
                    rows << s;
                }
            },
            QStringLiteral("the samples cannot be read"), true);
        return rows;
    }

    qint64 removeLog(const LogFilter &filter) override
    {
        const Where w = whereOf(filter);
        return remove(QStringLiteral("DELETE FROM \"LOG\" WHERE %1").arg(w.sql), w.params);
    }

    qint64 removeSamples(const QString &control) override
    {
        if (control.isEmpty())
            return remove(QStringLiteral("DELETE FROM \"DATA\""), {});
        return remove(QStringLiteral("DELETE FROM \"DATA\" WHERE \"Control\" = $1"), {control});
    }

private:
    qint64 remove(const QString &sql, const QVariantList &params)
    {
        m_writer->waitAll();
        // Records kept while the server was away belong before the delete:
        // deleting now would leave them to arrive after it.
        if (m_writer->spoolPending())
            throw Error(Error::Kind::Store,
                        QStringLiteral("Records kept while the store server %1 was away are still to be sent: "
                                       "nothing is deleted. Try again once the server is back.")
                            .arg(pg::shownUrl(m_url)));
        qint64 n = 0;
        m_client->run([&](pg::Connection &c) { n = c.exec(sql, params).changed(); },
                      QStringLiteral("nothing is deleted"), false);
        return n;
    }

    const QString m_url;
    const std::shared_ptr<ServerClient> m_client;
    const std::shared_ptr<Writer> m_writer;
};

} // namespace

// ---------------------------------------------------------------------------
// The caller's connection

struct ServerClient::Private
{
    std::mutex mutex;
    std::unique_ptr<pg::Connection> conn;
    Clock::time_point failedAt{};
    QString failure;
};

ServerClient::ServerClient(const QString &url) : m_url(url), d(new Private) {}
ServerClient::~ServerClient() = default;

void ServerClient::run(const std::function<void(pg::Connection &)> &fn, const QString &consequence, bool retry)
{
    std::lock_guard lk(d->mutex);
    const QString shown = pg::shownUrl(m_url);
    auto unreachable = [&](const QString &why) {
        setServerAway(m_url, true, false);
        return Error(Error::Kind::Store,
                     QStringLiteral("The store server %1 cannot be reached: %2. %3.").arg(shown, why, consequence));
    };
    for (int attempt = 0;; ++attempt) {
        if (!d->conn || d->conn->lost()) {
            d->conn.reset();
            if (!d->failure.isEmpty() && Clock::now() - d->failedAt < kClientBackoff)
                throw unreachable(d->failure);
            try {
                d->conn = pg::Connection::open(m_url);
                d->failure.clear();
                setServerAway(m_url, false, false);
            } catch (const Error &e) {
                d->failedAt = Clock::now();
                d->failure = e.message();
                throw unreachable(e.message());
            }
        }
        try {
            fn(*d->conn);
            return;
        } catch (const Error &e) {
            if (!d->conn->lost())
                throw;
            d->conn.reset();
            if (!retry || attempt > 0)
                throw unreachable(e.message());
        }
    }
}

std::unique_ptr<EventLog> makePgEventLog(const QString &url, std::shared_ptr<ServerClient> client)
{
    pg::requireServerUrl(url);
    return std::make_unique<PgEventLog>(url, std::move(client));
}

bool anyServerAway()
{
    AwayState &s = awayState();
    QMutexLocker lock(&s.mutex);
    for (const QHash<QString, bool> *h : {&s.writerAway, &s.clientAway})
        for (auto it = h->cbegin(); it != h->cend(); ++it)
            if (it.value())
                return true;
    return false;
}

bool serverAway(const QString &url)
{
    AwayState &s = awayState();
    QMutexLocker lock(&s.mutex);
    return s.writerAway.value(url) || s.clientAway.value(url);
}

void setServerAway(const QString &url, bool away, bool writer)
{
    AwayState &s = awayState();
    QMutexLocker lock(&s.mutex);
    (writer ? s.writerAway : s.clientAway).insert(url, away);
}

} // namespace quellix::store
