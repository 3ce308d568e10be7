#include "tablesql.h"

#include <QStringList>

namespace quellix::store {

namespace {

using T = FieldType;

QString columnSql(const FieldDef &f)
{
    const QString q = quoteIdentifier(QString::fromLatin1(f.name));
    switch (f.type) {
    case T::Counter:
        // The row id itself: assigned on insert, never reused after deletes.
        return q + QStringLiteral(" INTEGER PRIMARY KEY AUTOINCREMENT CHECK(%1 <= 2147483647)").arg(q);
    // The engine checks a value as it was given, before the column's type
    // turns it into the stored one (an integer 2 for a REAL column is stored
    // as 2.0, an integral 2.0 for an INTEGER column as 2, a number for a TEXT
    // column as its text). So every value of which the column keeps exactly
    // a value of its type is let through: other programs may write them.
    // Files made before kept typeof() to the column's own type; they are
    // left as they are.
    case T::Text:
        return q + QStringLiteral(" TEXT CHECK(%1 IS NULL OR (typeof(%1) IN ('text', 'integer', 'real') AND length(%1) <= %2))")
                       .arg(q).arg(f.size);
    case T::Int16:
        return q + QStringLiteral(" INTEGER CHECK(%1 IS NULL OR (typeof(%1) IN ('integer', 'real') AND %1 = round(%1) AND %1 BETWEEN -32768 AND 32767))")
                       .arg(q);
    case T::Int32:
        return q + QStringLiteral(" INTEGER CHECK(%1 IS NULL OR (typeof(%1) IN ('integer', 'real') AND %1 = round(%1) AND %1 BETWEEN -2147483648 AND 2147483647))")
                       .arg(q);
    case T::Double:
        return q + QStringLiteral(" REAL CHECK(%1 IS NULL OR typeof(%1) IN ('real', 'integer'))").arg(q);
    case T::YesNo:
        return q + QStringLiteral(" INTEGER CHECK(%1 IS NULL OR %1 IN (0, 1))").arg(q);
    }
    return q;
}

} // namespace

QString quoteIdentifier(const QString &name)
{
    QString q = name;
    q.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

QString createTableSql(const TableDef &table)
{
    QStringList cols;
    for (const FieldDef &f : table.fields)
        cols << columnSql(f);
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(quoteIdentifier(QString::fromLatin1(table.name)),
                                                      cols.join(QStringLiteral(", ")));
}

QString legacyCreateTableSql(const TableDef &table)
{
    // The checks files were made with before: each value had to arrive in
    // its column's own type, so another program's integer 2 for a double
    // field was refused.
    QStringList cols;
    for (const FieldDef &f : table.fields) {
        const QString q = quoteIdentifier(QString::fromLatin1(f.name));
        switch (f.type) {
        case T::Text:
            cols << q + QStringLiteral(" TEXT CHECK(%1 IS NULL OR (typeof(%1) = 'text' AND length(%1) <= %2))").arg(q).arg(f.size);
            break;
        case T::Int16:
            cols << q + QStringLiteral(" INTEGER CHECK(%1 IS NULL OR (typeof(%1) = 'integer' AND %1 BETWEEN -32768 AND 32767))").arg(q);
            break;
        case T::Int32:
            cols << q + QStringLiteral(" INTEGER CHECK(%1 IS NULL OR (typeof(%1) = 'integer' AND %1 BETWEEN -2147483648 AND 2147483647))").arg(q);
            break;
        case T::Double:
            cols << q + QStringLiteral(" REAL CHECK(%1 IS NULL OR typeof(%1) = 'real')").arg(q);
            break;
        case T::Counter:
        case T::YesNo:
            cols << columnSql(f);
            break;
        }
    }
    return QStringLiteral("CREATE TABLE %1 (%2)").arg(quoteIdentifier(QString::fromLatin1(table.name)),
                                                      cols.join(QStringLiteral(", ")));
}

} // namespace quellix::store
