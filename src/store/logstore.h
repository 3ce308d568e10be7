#pragma once

#include "recordtext.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace quellix::store {

/// How a writer treats a record that cannot be appended.
enum class OnError {
    Throw,      ///< the failure reaches the caller
    SkipStep,   ///< the record is dropped with a warning and the writer goes on
};

/// One row of the table LOG, as the writer hands it over.
struct LogRecord {
    QString control;
    QString type;   ///< "USER", "SYSTEM" or "LIMIT"
    QString event;
    double inputValue = 0;
    QString inputFunction;
    double displayValue = 0;
    QString outputFunction;
    double outputValue = 0;
    bool holdStatus = false;
};

/// One row of the table DATA.
struct SampleRecord {
    QString control;
    double inputValue = 0;
    double displayValue = 0;
    double outputValue = 0;
};

/// The stored text of a date and time: "MM/dd/yyyy hh:mm:ss AP" in the
/// United States form, so its last 11 characters are the time of day.
QString logTimeText(const QDateTime &when);
/// logTimeText of now (cached per second: every append of one second shares it).
QString logTimeNow();

/// The indexes of LOG.MDB, as CREATE INDEX IF NOT EXISTS statements: LOG by
/// ("Control", "Num"), by ("Type", "Num") and by ("Control", "Type", "Num"),
/// DATA by ("Control", "Num"), so a page of one control's records, of one
/// type's, or of one control's of one type, and a control's newest samples
/// are read in "Num" order without walking past other rows. Made with the
/// file, and added to an older file by the first writer that opens it.
QStringList logStoreIndexSql();

/// Creates LOG.MDB at the path, after the stand-by message, with the tables
/// LOG and DATA. Throws quellix::Error when the file cannot be made.
void createLogStore(const QString &path);

/// Creates SETTINGS.MDB at the path, after the stand-by message, with the
/// table Settings. Throws quellix::Error when the file cannot be made.
void createSettingsStore(const QString &path);

} // namespace quellix::store
