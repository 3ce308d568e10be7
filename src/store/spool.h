#pragma once

// The local spool of a server event log: records that could not reach the
// server wait here, in an encrypted SQLCipher file of this station, and go
// to the server in order once it is back.

#include "tablesql.h"

#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>

namespace quellix::store {

class Connection;

/// One record of LOG or DATA as it goes to the server: the table and the
/// values of its fields after "Num", then the station.
struct OutgoingRecord
{
    const TableDef *table = nullptr;
    QVector<QVariant> values;
};

/// A record kept in the spool, with its place in the spool's order.
struct SpooledRecord
{
    qint64 num = 0;
    OutgoingRecord record;
};

/// The spool file at a path. Not shared between threads; several processes
/// may use one file at once (the engine's locking keeps it whole).
class Spool
{
public:
    explicit Spool(const QString &path);
    ~Spool();
    Spool(const Spool &) = delete;
    Spool &operator=(const Spool &) = delete;

    QString path() const { return m_path; }

    /// True when the file exists (it is made by the first append()).
    bool exists() const;
    /// The name of the file's stream of records, the same for every user
    /// of the file and new for every new file. Opens the file.
    QString streamId();

    /// Keeps the records, in one transaction, after those already there.
    /// Makes the file when it is missing; returns the number of the last
    /// one (they are numbered one after the other). Throws Error(Store).
    qint64 append(const QVector<const OutgoingRecord *> &records);
    /// Up to `n` of the oldest records, oldest first; none when the file
    /// does not exist. Throws Error(Store).
    QVector<SpooledRecord> oldest(int n);
    /// Removes the records numbered from `first` through `last`.
    void remove(qint64 first, qint64 last);
    /// The number of records waiting (0 without a file).
    qint64 count();

    /// Keeps a copy of a settings row as read from the server (a text of
    /// the caller's), replacing the one kept before. Makes the file when
    /// it is missing. Throws Error(Store).
    void keepSettings(const QString &control, const QString &row);
    /// The copy kept for a control, empty when there is none.
    QString keptSettings(const QString &control);

private:
    void open(bool create);
    const QString m_path;
    std::unique_ptr<Connection> m_conn;
    QString m_stream;
};

/// The spool of a server address on this station: a file in the folder
/// for spools (setSpoolDirectory(), else the application's local data
/// folder), named after the address, so every process of the station
/// writing to that server shares it.
QString spoolPathFor(const QString &serverUrl);

/// Chooses the folder of the spool files (tests, hosts with a folder of
/// their own); empty restores the default.
void setSpoolDirectory(const QString &dir);

} // namespace quellix::store
