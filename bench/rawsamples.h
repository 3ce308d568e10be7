#pragma once

// The baseline of the sample benchmarks: a prepared SELECT of one control's
// newest samples (Num, Control, Time and the three values, newest first)
// read straight into rows, oldest first, as the event log returns them.

#include "stores.h"

#include <sqlcipher/sqlite3.h>

#include <algorithm>

namespace benchsupport {

inline QVector<quellix::store::SampleRow> rawNewestSamples(sqlite3_stmt *sel, const QByteArray &control)
{
    QVector<quellix::store::SampleRow> rows;
    rows.reserve(5000);
    sqlite3_bind_text(sel, 1, control.constData(), int(control.size()), SQLITE_STATIC);
    while (sqlite3_step(sel) == SQLITE_ROW) {
        quellix::store::SampleRow r;
        r.num = sqlite3_column_int64(sel, 0);
        r.record.control = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(sel, 1)));
        r.time = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(sel, 2)));
        r.record.inputValue = sqlite3_column_double(sel, 3);
        r.record.displayValue = sqlite3_column_double(sel, 4);
        r.record.outputValue = sqlite3_column_double(sel, 5);
        rows << r;
    }
    sqlite3_reset(sel);
    std::reverse(rows.begin(), rows.end());
    return rows;
}

} // namespace benchsupport
