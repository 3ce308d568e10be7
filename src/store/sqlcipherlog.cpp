// The event log in a directory's LOG.MDB.
//
// The caller's thread checks a record (its fields, and that the file bound
// is still at its place and may be written) and queues it; one writer
// thread per file writes the queue in order, a batch per transaction, and
// waits out a file that another program keeps busy. Reads wait for the
// queue first, so they see every append made before them; deletes run on
// the writer thread too, after the appends queued before them.

#include "sqlcipherlog.h"

#include "error.h"
#include "logstore.h"
#include "connectioncache.h"
#include "schema.h"
#include "tablesql.h"
#include "sqlcipherapi.h"
#include "weakregistry.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QLoggingCategory>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace quellix::store {

Q_LOGGING_CATEGORY(lcEventLog, "quellix.log")

using sqlcipher::api;
using sqlcipher::bindValue;

namespace {

using Clock = std::chrono::steady_clock;

/// How long the writer thread stays with its connection open when nothing
/// is queued.
constexpr auto kIdleClose = std::chrono::seconds(10);
/// One wait of the writer for a file another program holds locked; it
/// waits again and again, but looks between the waits whether to give up.
constexpr int kBusyWaitMs = 100;
/// How long queued records are still tried when the process ends or the
/// connections are closed, while the file stays busy.
constexpr auto kCloseWait = std::chrono::seconds(30);
/// How long a delete waits for a file another program holds locked.
constexpr auto kRemoveWait = std::chrono::seconds(30);
/// Records written in one transaction at most.
constexpr size_t kBatch = 512;

struct FileKey
{
    quint64 device = 0;
    quint64 inode = 0;
    bool isSet() const { return device != 0 || inode != 0; }
    bool operator==(const FileKey &) const = default;
};

FileKey keyOf(const Connection &c)
{
    return {c.device(), c.inode()};
}

[[noreturn]] void failGone(const QString &path)
{
    throw Error(Error::Kind::Store,
                QStringLiteral("The store file '%1' was deleted or replaced while it was open: nothing is read from "
                               "or written to it until the control registers again.")
                    .arg(path));
}

QString engineError(sqlite3 *db)
{
    return QString::fromUtf8(api().errmsg(db));
}

bool isBusy(int rc)
{
    return (rc & 0xff) == SQLITE_BUSY || (rc & 0xff) == SQLITE_LOCKED;
}

/// The fields after "Num" of a table, each checked and converted as the
/// cursor's setField() does.
QVector<QVariant> checkedRow(const TableDef &table, std::initializer_list<QVariant> values)
{
    QVector<QVariant> row;
    row.reserve(int(values.size()));
    size_t i = 1;
    for (const QVariant &v : values)
        row << checkedFieldValue(table.fields[i++], v);
    return row;
}

QString makeInsertSql(const TableDef &table)
{
    QStringList names, marks;
    for (size_t i = 1; i < table.fields.size(); ++i) {
        names << quoteIdentifier(QString::fromLatin1(table.fields[i].name));
        marks << QStringLiteral("?");
    }
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
        .arg(quoteIdentifier(QString::fromLatin1(table.name)), names.join(QLatin1Char(',')), marks.join(QLatin1Char(',')));
}

const QString &insertSql(const TableDef &table)
{
    static const QString log = makeInsertSql(logTable());
    static const QString data = makeInsertSql(dataTable());
    return &table == &logTable() ? log : data;
}

/// Resets a statement of a connection's cache when it goes out of scope, so
/// no read transaction stays open between calls.
struct StatementScope
{
    sqlite3_stmt *st;
    ~StatementScope()
    {
        api().reset(st);
        api().clear_bindings(st);
    }
};

QString text(sqlite3_stmt *st, int col)
{
    const auto *p = reinterpret_cast<const char *>(api().column_text(st, col));
    return p ? QString::fromUtf8(p, api().column_bytes(st, col)) : QString();
}

/// The WHERE terms of a filter, from constant texts; the values are bound.
/// "Every control" is every record with a control name; the unary plus
/// keeps the engine from reading that range through the control index and
/// sorting it, so pages walk "Num" in order.
struct Where
{
    QString sql;
    QVariantList params;
};

Where whereOf(const LogFilter &f)
{
    Where w;
    if (f.control.isEmpty()) {
        w.sql = QStringLiteral("+\"Control\" > ''");
    } else {
        w.sql = QStringLiteral("\"Control\" = ?");
        w.params << f.control;
    }
    if (!f.type.isEmpty()) {
        w.sql += QStringLiteral(" AND \"Type\" = ?");
        w.params << f.type;
    }
    return w;
}

struct RemoveResult
{
    qint64 rows = 0;
    QString error;
};

struct Task
{
    enum class Kind { Append, Remove, Open };
    Kind kind = Kind::Append;
    FileKey file;
    // Append: the table and its fields after "Num".
    const TableDef *table = nullptr;
    QVector<QVariant> row;
    /// The record in words, for warnings.
    QString what() const
    {
        if (table == &logTable())
            return QStringLiteral("%1 %2 \"%3\"").arg(row[0].toString(), row[2].toString(), row[3].toString());
        return QStringLiteral("%1 sample").arg(row[0].toString());
    }
    // Remove: a DELETE statement, its values, and where the outcome goes.
    QString sql;
    QVariantList params;
    std::shared_ptr<RemoveResult> result;
};

// ---------------------------------------------------------------------------
// The writer of one file

class Writer
{
public:
    explicit Writer(const QString &path) : m_path(path) {}
    ~Writer() { close(kCloseWait); }
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    QString path() const { return m_path; }

    /// Queues a task; its number for wait().
    quint64 post(Task &&task);
    /// Waits until the task of this number (and every one before) is done.
    void wait(quint64 seq);
    void waitAll();
    /// The failures of records written after their append had returned,
    /// since the last call; empty when there were none.
    QString takeFailures();
    /// Writes what is queued (giving up on a file that stays busy for
    /// `within`), ends the thread and closes its connection. A later post()
    /// starts a new thread.
    void close(std::chrono::milliseconds within);
    /// A file with this key is about to be opened at the path: a connection
    /// to another file is closed first.
    void fileOpening(FileKey key);

private:
    void run();
    bool takeBatch(std::vector<Task> &batch);
    void finish(size_t n);
    void process(std::vector<Task> &batch);
    void processTasks(std::vector<Task> &batch);
    void processAppends(std::vector<Task> &batch);
    void processRemove(Task &task);
    QString ensureOpen(FileKey key, Clock::time_point deadline);
    void setConnection(std::unique_ptr<Connection> conn);
    void addIndexes(Clock::time_point deadline);
    int execRetrying(const char *sql, Clock::time_point deadline);
    bool giveUp(Clock::time_point deadline) const;
    /// Empty when the file of the connection is still the one at the path;
    /// otherwise why not, and the connection is closed.
    QString stillAtPath();
    void recordFailures(const std::vector<Task *> &failed, const QString &why);
    void handleCloseRequest(std::unique_lock<std::mutex> &lk);

    const QString m_path;
    std::mutex m_mutex;
    std::condition_variable m_work;
    std::condition_variable m_done;
    std::deque<Task> m_queue;
    quint64 m_posted = 0;
    quint64 m_finished = 0;
    bool m_running = false;
    bool m_stopping = false;
    std::thread m_thread;
    int m_threaded = -1; // the engine is built thread-safe (looked up once)
    FileKey m_openKey;   // the file of m_conn, for fileOpening()
    bool m_closeRequested = false;
    FileKey m_closeUnless;
    std::atomic<bool> m_closePending{false};
    std::atomic<qint64> m_giveUpAt{std::numeric_limits<qint64>::max()}; // steady clock, ns
    QStringList m_failures;
    int m_failureCount = 0;

    // The writer thread's (or, with an engine not built thread-safe, the
    // posting thread's) own.
    std::unique_ptr<Connection> m_conn;
    FileKey m_indexed;
};

quint64 Writer::post(Task &&task)
{
    std::unique_lock lk(m_mutex);
    if (m_threaded < 0)
        m_threaded = api().threadsafe() != 0 ? 1 : 0;
    m_queue.push_back(std::move(task));
    const quint64 seq = ++m_posted;
    if (!m_threaded) {
        // Without a thread-safe engine the caller writes, in order.
        std::vector<Task> batch;
        while (takeBatch(batch)) {
            lk.unlock();
            process(batch);
            lk.lock();
            m_finished += batch.size();
        }
        return seq;
    }
    if (!m_running) {
        if (m_thread.joinable())
            m_thread.join(); // it has ended: it cleared m_running last
        m_running = true;
        m_thread = std::thread([this] { run(); });
    } else {
        m_work.notify_one();
    }
    return seq;
}

void Writer::wait(quint64 seq)
{
    std::unique_lock lk(m_mutex);
    m_done.wait(lk, [&] { return m_finished >= seq; });
}

void Writer::waitAll()
{
    quint64 seq;
    {
        std::lock_guard lk(m_mutex);
        seq = m_posted;
    }
    wait(seq);
}

QString Writer::takeFailures()
{
    std::lock_guard lk(m_mutex);
    if (m_failureCount == 0)
        return {};
    QString out = m_failureCount == 1
                      ? QStringLiteral("A record could not be written to '%1': %2").arg(m_path, m_failures.first())
                      : QStringLiteral("%1 records could not be written to '%2'; the first: %3")
                            .arg(m_failureCount).arg(m_path, m_failures.first());
    m_failures.clear();
    m_failureCount = 0;
    return out;
}

void Writer::close(std::chrono::milliseconds within)
{
    std::unique_lock lk(m_mutex);
    if (!m_running) {
        if (m_thread.joinable())
            m_thread.join();
        if (!m_threaded) {
            lk.unlock();
            setConnection(nullptr);
        }
        return;
    }
    m_giveUpAt = std::chrono::duration_cast<std::chrono::nanoseconds>((Clock::now() + within).time_since_epoch()).count();
    m_stopping = true;
    m_work.notify_one();
    m_done.wait(lk, [&] { return !m_running; });
    m_thread.join();
    m_stopping = false;
    m_giveUpAt = std::numeric_limits<qint64>::max();
}

void Writer::fileOpening(FileKey key)
{
    std::unique_lock lk(m_mutex);
    if (!m_openKey.isSet() || m_openKey == key)
        return;
    if (!m_threaded || !m_running) {
        // No thread uses the connection now.
        lk.unlock();
        setConnection(nullptr);
        return;
    }
    m_closeRequested = true;
    m_closeUnless = key;
    m_closePending = true;
    m_work.notify_one();
    m_done.wait(lk, [&] { return !m_closeRequested || !m_running; });
}

void Writer::handleCloseRequest(std::unique_lock<std::mutex> &lk)
{
    if (!m_closeRequested)
        return;
    const FileKey keep = m_closeUnless;
    lk.unlock();
    if (m_conn && keyOf(*m_conn) != keep)
        setConnection(nullptr);
    lk.lock();
    m_closeRequested = false;
    m_closePending = false;
    m_done.notify_all();
}

bool Writer::takeBatch(std::vector<Task> &batch)
{
    batch.clear();
    if (m_queue.empty())
        return false;
    batch.push_back(std::move(m_queue.front()));
    m_queue.pop_front();
    if (batch.front().kind != Task::Kind::Append)
        return true;
    while (!m_queue.empty() && batch.size() < kBatch && m_queue.front().kind == Task::Kind::Append
           && m_queue.front().file == batch.front().file) {
        batch.push_back(std::move(m_queue.front()));
        m_queue.pop_front();
    }
    return true;
}

void Writer::run()
{
    std::unique_lock lk(m_mutex);
    std::vector<Task> batch;
    for (;;) {
        handleCloseRequest(lk);
        if (takeBatch(batch)) {
            lk.unlock();
            process(batch);
            lk.lock();
            m_finished += batch.size();
            batch.clear();
            m_done.notify_all();
            continue;
        }
        if (!m_stopping
            && m_work.wait_for(lk, kIdleClose, [&] { return !m_queue.empty() || m_stopping || m_closeRequested; }))
            continue;
        // Stopping, or idle for long: the connection closes, then the thread
        // ends, unless work came in meanwhile.
        lk.unlock();
        setConnection(nullptr);
        lk.lock();
        if (!m_queue.empty())
            continue;
        m_closeRequested = false;
        m_closePending = false;
        m_running = false;
        m_done.notify_all();
        return;
    }
}

void Writer::setConnection(std::unique_ptr<Connection> conn)
{
    const FileKey key = conn ? keyOf(*conn) : FileKey{};
    std::swap(m_conn, conn);
    conn.reset(); // the old connection closes before the new key is published
    std::lock_guard lk(m_mutex);
    m_openKey = key;
}

bool Writer::giveUp(Clock::time_point deadline) const
{
    const qint64 now = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
    const qint64 limit = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
    return now > std::min(limit, m_giveUpAt.load()) || m_closePending.load();
}

int Writer::execRetrying(const char *sql, Clock::time_point deadline)
{
    for (;;) {
        const int rc = api().exec(m_conn->handle(), sql, nullptr, nullptr, nullptr);
        if (!isBusy(rc) || giveUp(deadline))
            return rc;
    }
}

QString Writer::ensureOpen(FileKey key, Clock::time_point deadline)
{
    if (m_conn && !m_conn->isRetired() && keyOf(*m_conn) == key)
        return {};
    setConnection(nullptr);
    try {
        auto conn = Connection::openPrivate(m_path, QLatin1String(kStorePassword), key.device, key.inode);
        if (conn->isReadOnly())
            return QStringLiteral("The store '%1' is read-only.").arg(m_path);
        api().busy_timeout(conn->handle(), kBusyWaitMs);
        setConnection(std::move(conn));
    } catch (const Error &e) {
        return e.message();
    }
    if (!(m_indexed == key)) {
        addIndexes(deadline);
        m_indexed = key;
    }
    return {};
}

void Writer::addIndexes(Clock::time_point deadline)
{
    // A file made with the older checks takes what other programs may
    // write from now on; failing that, it works as it is.
    for (const TableDef *t : {&logTable(), &dataTable()}) {
        try {
            loosenLegacyChecks(*m_conn, *t);
        } catch (const Error &e) {
            qCWarning(lcEventLog, "%s: the checks of %s stay as they are: %s", qPrintable(m_path), t->name,
                      qPrintable(e.message()));
        }
    }
    // A file made before the indexes gets them now; on a file that has
    // them this reads the schema only.
    for (const QString &sql : logStoreIndexSql()) {
        const QByteArray utf8 = sql.toUtf8();
        if (execRetrying(utf8.constData(), deadline) != SQLITE_OK) {
            qCWarning(lcEventLog, "%s: could not add an index (%s): %s", qPrintable(m_path), utf8.constData(),
                      qPrintable(engineError(m_conn->handle())));
            return;
        }
    }
}

void Writer::recordFailures(const std::vector<Task *> &failed, const QString &why)
{
    if (failed.empty())
        return;
    qCWarning(lcEventLog, "%s: %d record(s) not written, the first \"%s\": %s", qPrintable(m_path), int(failed.size()),
              qPrintable(failed.front()->what()), qPrintable(why));
    std::lock_guard lk(m_mutex);
    for (const Task *t : failed) {
        if (m_failures.size() < 1)
            m_failures << QStringLiteral("%1: %2").arg(t->what(), why);
    }
    m_failureCount += int(failed.size());
}

QString Writer::stillAtPath()
{
    try {
        m_conn->requireWritable();
        return {};
    } catch (const Error &e) {
        // The transaction goes with the connection.
        setConnection(nullptr);
        return e.message();
    }
}

void Writer::process(std::vector<Task> &batch)
{
    // Nothing thrown leaves the writer's thread.
    try {
        processTasks(batch);
    } catch (const std::exception &e) {
        std::vector<Task *> all;
        for (Task &t : batch) {
            if (t.kind == Task::Kind::Append)
                all.push_back(&t);
            else if (t.result)
                t.result->error = QString::fromLocal8Bit(e.what());
        }
        recordFailures(all, QString::fromLocal8Bit(e.what()));
    }
}

void Writer::processTasks(std::vector<Task> &batch)
{
    switch (batch.front().kind) {
    case Task::Kind::Append:
        processAppends(batch);
        return;
    case Task::Kind::Remove:
        processRemove(batch.front());
        return;
    case Task::Kind::Open:
        if (const QString why = ensureOpen(batch.front().file, Clock::time_point::max()); !why.isEmpty())
            qCDebug(lcEventLog, "%s: not opened for writing: %s", qPrintable(m_path), qPrintable(why));
        return;
    }
}

void Writer::processAppends(std::vector<Task> &batch)
{
    std::vector<Task *> all, failed;
    for (Task &t : batch)
        all.push_back(&t);
    const auto deadline = Clock::time_point::max(); // records wait as long as the file stays busy
    QString why = ensureOpen(batch.front().file, deadline);
    if (!why.isEmpty())
        return recordFailures(all, why);
    sqlite3 *db = m_conn->handle();
    if (execRetrying("BEGIN IMMEDIATE", deadline) != SQLITE_OK)
        return recordFailures(all, engineError(db));
    // Once the lock is held: still the file at the path? (It may have gone
    // while the writer waited for the lock.)
    if (!(why = stillAtPath()).isEmpty())
        return recordFailures(all, why);
    for (Task &t : batch) {
        try {
            sqlite3_stmt *st = m_conn->prepare(insertSql(*t.table));
            StatementScope scope{st};
            for (int i = 0; i < t.row.size(); ++i)
                bindValue(st, i + 1, t.row[i]);
            if (api().step(st) != SQLITE_DONE)
                throw Error(Error::Kind::Store, engineError(db));
        } catch (const Error &e) {
            // This record only: the statement is undone, the others stay.
            failed.push_back(&t);
            why = e.message();
        }
    }
    if (execRetrying("COMMIT", deadline) != SQLITE_OK) {
        const QString commitError = engineError(db);
        api().exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return recordFailures(all, commitError);
    }
    recordFailures(failed, why);
}

void Writer::processRemove(Task &task)
{
    RemoveResult &r = *task.result;
    const auto deadline = Clock::now() + kRemoveWait;
    r.error = ensureOpen(task.file, deadline);
    if (!r.error.isEmpty())
        return;
    sqlite3 *db = m_conn->handle();
    if (execRetrying("BEGIN IMMEDIATE", deadline) != SQLITE_OK) {
        r.error = QStringLiteral("Could not delete from '%1': %2").arg(m_path, engineError(db));
        return;
    }
    if (!(r.error = stillAtPath()).isEmpty())
        return;
    try {
        sqlite3_stmt *st = m_conn->prepare(task.sql);
        StatementScope scope{st};
        for (int i = 0; i < task.params.size(); ++i)
            bindValue(st, i + 1, task.params[i]);
        if (api().step(st) != SQLITE_DONE)
            throw Error(Error::Kind::Store, engineError(db));
        r.rows = api().changes(db);
    } catch (const Error &e) {
        api().exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        r.error = QStringLiteral("Could not delete from '%1': %2").arg(m_path, e.message());
        return;
    }
    if (execRetrying("COMMIT", deadline) != SQLITE_OK) {
        r.error = QStringLiteral("Could not delete from '%1': %2").arg(m_path, engineError(db));
        api().exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        r.rows = 0;
    }
}

// ---------------------------------------------------------------------------
// The writers of the process: one per file path

void closeAllWriters();
void fileOpening(const QString &path, quint64 device, quint64 inode);
void closeWritersAtExit();

struct Registry
{
    WeakRegistry<Writer> writers;
    std::mutex mutex; // guards postRoutineAdded
    bool postRoutineAdded = false;

    Registry()
    {
        // Made before this registry, so still there when it goes and writes
        // what is queued at exit: the logging category, the engine, and the
        // engine's crypto library, which cleans up at exit from the moment
        // it is first used.
        lcEventLog();
        try {
            const sqlcipher::Api &sq = api();
            sqlite3 *db = nullptr;
            if (sq.open_v2(":memory:", &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
                sq.key(db, "x", 1);
                sq.exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
            }
            sq.close(db);
        } catch (const Error &) {
        }
        Connection::addCloseAllHook(&closeAllWriters);
        Connection::addOpeningHook(&fileOpening);
    }
    ~Registry()
    {
        // Queued records are written before the process ends.
        if (postRoutineAdded)
            qRemovePostRoutine(&closeWritersAtExit);
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
        w->close(std::chrono::duration_cast<std::chrono::milliseconds>(kCloseWait));
}

void closeWritersAtExit()
{
    registry().postRoutineAdded = false;
    closeAllWriters();
}

void fileOpening(const QString &path, quint64 device, quint64 inode)
{
    if (std::shared_ptr<Writer> w = registry().writers.find(path))
        w->fileOpening({device, inode});
}

std::shared_ptr<Writer> writerFor(const QString &path)
{
    Registry &r = registry();
    // (make_shared would export a symbol of the library)
    std::shared_ptr<Writer> w = r.writers.findOrMake(path, [&] { return std::shared_ptr<Writer>(new Writer(path)); });
    std::lock_guard lk(r.mutex);
    if (!r.postRoutineAdded && QCoreApplication::instance()) {
        // Records still queued are written while the application object goes.
        qAddPostRoutine(&closeWritersAtExit);
        r.postRoutineAdded = true;
    }
    return w;
}

// ---------------------------------------------------------------------------
// The event log

class SqlCipherEventLog final : public EventLog
{
public:
    explicit SqlCipherEventLog(const QString &path)
        : m_path(QFileInfo(path).absoluteFilePath()), m_writer(writerFor(m_path))
    {
    }

    void append(const LogRecord &r) override
    {
        Task t;
        t.table = &logTable();
        t.row = checkedRow(logTable(), {r.control, logTimeNow(), r.type, r.event, r.inputValue, r.inputFunction,
                                        r.displayValue, r.outputFunction, r.outputValue, r.holdStatus});
        connection(true);
        t.file = m_file;
        m_writer->post(std::move(t));
    }

    void append(const SampleRecord &r) override
    {
        Task t;
        t.table = &dataTable();
        t.row = checkedRow(dataTable(), {r.control, logTimeNow(), r.inputValue, r.displayValue, r.outputValue});
        connection(true);
        t.file = m_file;
        m_writer->post(std::move(t));
    }

    void flush() override
    {
        m_writer->waitAll();
        if (const QString failures = m_writer->takeFailures(); !failures.isEmpty())
            throw Error(Error::Kind::Store, failures);
    }

    void reopen() override
    {
        m_file = {};
        m_conn.reset();
        connection(false);
    }

    QVector<LogRow> page(const LogFilter &filter, qint64 afterNum, int limit) override
    {
        QVector<LogRow> rows;
        if (limit <= 0)
            return rows;
        const auto conn = connection(false);
        m_writer->waitAll();
        const Where w = whereOf(filter);
        sqlite3_stmt *st = conn->prepare(
            QStringLiteral("SELECT \"Num\",\"Control\",\"Time\",\"Type\",\"Event\",\"Input Value\",\"Input Function\","
                           "\"Display Value\",\"Output Function\",\"Output Value\",\"Hold Status\" FROM \"LOG\" "
                           "WHERE %1 AND \"Num\" > ? ORDER BY \"Num\" LIMIT ?")
                .arg(w.sql));
        StatementScope scope{st};
        int i = 1;
        for (const QVariant &p : w.params)
            bindValue(st, i++, p);
        api().bind_int64(st, i++, afterNum);
        api().bind_int64(st, i, limit);
        rows.reserve(std::min(limit, 1000));
        int rc;
        while ((rc = api().step(st)) == SQLITE_ROW) {
            LogRow r;
            r.num = api().column_int64(st, 0);
            r.record.control = text(st, 1);
            r.time = text(st, 2);
            r.record.type = text(st, 3);
            r.record.event = text(st, 4);
            r.record.inputValue = api().column_double(st, 5);
            r.record.inputFunction = text(st, 6);
            r.record.displayValue = api().column_double(st, 7);
            r.record.outputFunction = text(st, 8);
            r.record.outputValue = api().column_double(st, 9);
            r.record.holdStatus = api().column_int(st, 10) != 0;
            rows << r;
        }
        if (rc != SQLITE_DONE)
            throw Error(Error::Kind::Store, QStringLiteral("Could not read the log: %1").arg(engineError(conn->handle())));
        return rows;
    }

    qint64 count(const LogFilter &filter) override
    {
        const auto conn = connection(false);
        m_writer->waitAll();
        const Where w = whereOf(filter);
        sqlite3_stmt *st = conn->prepare(QStringLiteral("SELECT count(*) FROM \"LOG\" WHERE %1").arg(w.sql));
        StatementScope scope{st};
        int i = 1;
        for (const QVariant &p : w.params)
            bindValue(st, i++, p);
        if (api().step(st) != SQLITE_ROW)
            throw Error(Error::Kind::Store, QStringLiteral("Could not count the log: %1").arg(engineError(conn->handle())));
        return api().column_int64(st, 0);
    }

    QVector<SampleRow> newestSamples(const QString &control, int n) override
    {
        QVector<SampleRow> rows;
        if (n <= 0)
            return rows;
        const auto conn = connection(false);
        m_writer->waitAll();
        sqlite3_stmt *st = conn->prepare(
            QStringLiteral("SELECT \"Num\",\"Control\",\"Time\",\"Input Value\",\"Display Value\",\"Output Value\" "
                           "FROM \"DATA\" WHERE \"Control\" = ? ORDER BY \"Num\" DESC LIMIT ?"));
        StatementScope scope{st};
        bindValue(st, 1, control);
        api().bind_int64(st, 2, n);
        rows.reserve(std::min(n, 5000));
        int rc;
        while ((rc = api().step(st)) == SQLITE_ROW) {
            SampleRow r;
            r.num = api().column_int64(st, 0);
            r.record.control = text(st, 1);
            r.time = text(st, 2);
            r.record.inputValue = api().column_double(st, 3);
            r.record.displayValue = api().column_double(st, 4);
            r.record.outputValue = api().column_double(st, 5);
            rows << r;
        }
        if (rc != SQLITE_DONE)
            throw Error(Error::Kind::Store, QStringLiteral("Could not read the samples: %1").arg(engineError(conn->handle())));
        std::reverse(rows.begin(), rows.end());
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
        return remove(QStringLiteral("DELETE FROM \"DATA\" WHERE \"Control\" = ?"), {control});
    }

private:
    /// The connection of the file this log writes, after checking that it is
    /// still the file at the path (and, for writing, that it may be written).
    std::shared_ptr<Connection> connection(bool forWriting)
    {
        std::shared_ptr<Connection> c = m_conn.lock();
        if (!c || c->isRetired()) {
            try {
                c = Connection::acquire(m_path, QLatin1String(kStorePassword));
            } catch (const Error &) {
                if (m_file.isSet())
                    failGone(m_path);
                throw;
            }
            m_conn = c;
        }
        if (!m_file.isSet()) {
            m_file = keyOf(*c);
            if (!c->isReadOnly()) {
                // The writer opens the file now and adds missing indexes.
                Task t;
                t.kind = Task::Kind::Open;
                t.file = m_file;
                m_writer->post(std::move(t));
            }
        } else if (keyOf(*c) != m_file) {
            failGone(m_path);
        }
        if (forWriting)
            c->requireWritable();
        return c;
    }

    qint64 remove(const QString &sql, const QVariantList &params)
    {
        connection(true);
        Task t;
        t.kind = Task::Kind::Remove;
        t.file = m_file;
        t.sql = sql;
        t.params = params;
        t.result.reset(new RemoveResult);
        const auto result = t.result;
        m_writer->wait(m_writer->post(std::move(t)));
        if (!result->error.isEmpty())
            throw Error(Error::Kind::Store, result->error);
        return result->rows;
    }

    const QString m_path;
    const std::shared_ptr<Writer> m_writer;
    std::weak_ptr<Connection> m_conn;
    FileKey m_file; ///< the file bound; unset until the first use or reopen()
};

} // namespace

std::unique_ptr<EventLog> makeSqlCipherEventLog(const QString &logFilePath)
{
    return std::make_unique<SqlCipherEventLog>(logFilePath);
}

void flushEventLogs()
{
    for (const auto &w : registry().live())
        w->waitAll();
}

} // namespace quellix::store
