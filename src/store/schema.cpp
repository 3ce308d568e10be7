#include "schema.h"

#include <QStringList>

namespace quellix::store {

namespace {

using T = FieldType;

constexpr FieldDef kLogFields[] = {
    {"Num", T::Counter},
    {"Control", T::Text, 50},
    {"Time", T::Text, 50},
    {"Type", T::Text, 50},
    {"Event", T::Text, 255},
    {"Input Value", T::Double},
    {"Input Function", T::Text, 255},
    {"Display Value", T::Double},
    {"Output Function", T::Text, 255},
    {"Output Value", T::Double},
    {"Hold Status", T::YesNo},
};

constexpr FieldDef kDataFields[] = {
    {"Num", T::Counter},
    {"Control", T::Text, 50},
    {"Time", T::Text, 50},
    {"Input Value", T::Double},
    {"Display Value", T::Double},
    {"Output Value", T::Double},
};

constexpr FieldDef kSettingsFields[] = {
    {"Control Name", T::Text, 255},
    {"Password", T::Text, 8},
    {"Scanrate", T::Int16},
    {"Direction", T::Text, 10},
    {"Enable Upper Limit", T::YesNo},
    {"Enable Warning Limit", T::YesNo},
    {"Enable Caution Limit", T::YesNo},
    {"Enable Lower Limit", T::YesNo},
    {"Upper Limit Value", T::Int32},
    {"Warning Limit Value", T::Int32},
    {"Caution Limit Value", T::Int32},
    {"Lower Limit Value", T::Int32},
    {"Upper Alarm Light", T::YesNo},
    {"Upper Alarm Sound", T::YesNo},
    {"Upper Alarm Sound Name", T::Text, 255},
    {"Warning Alarm Light", T::YesNo},
    {"Warning Alarm Sound", T::YesNo},
    {"Warning Alarm Sound Name", T::Text, 255},
    {"Caution Alarm Light", T::YesNo},
    {"Caution Alarm Sound", T::YesNo},
    {"Caution Alarm Sound Name", T::Text, 255},
    {"Lower Alarm Light", T::YesNo},
    {"Lower Alarm Sound", T::YesNo},
    {"Lower Alarm Sound Name", T::Text, 255},
    {"Enable Upper Prompt", T::YesNo},
    {"Upper Prompt Text", T::Text, 255},
    {"Enable Warning Prompt", T::YesNo},
    {"Warning Prompt Text", T::Text, 255},
    {"Enable Caution Prompt", T::YesNo},
    {"Caution Prompt Text", T::Text, 255},
    {"Enable Lower Prompt", T::YesNo},
    {"Lower Prompt Text", T::Text, 255},
    {"Enable Upper Event", T::YesNo},
    {"Upper Event Path", T::Text, 255},
    {"Enable Warning Event", T::YesNo},
    {"Warning Event Path", T::Text, 255},
    {"Enable Caution Event", T::YesNo},
    {"Caution Event Path", T::Text, 255},
    {"Enable Lower Event", T::YesNo},
    {"Lower Event Path", T::Text, 255},
    {"Input Multiplier", T::Double},
    {"Input Offset", T::Double},
    {"Output Multiplier", T::Double},
    {"Output Offset", T::Double},
    {"Units", T::Text, 10},
    {"Log User Actions", T::YesNo},
    {"Log System Errors", T::YesNo},
    {"Log Displayed Every", T::YesNo},
    {"Log Every Time Interval", T::Text, 255},
    {"Log Upper Reaching", T::YesNo},
    {"Log Warning Reaching", T::YesNo},
    {"Log Caution Reaching", T::YesNo},
    {"Log Normal Reaching", T::YesNo},
    {"Log Lower Reaching", T::YesNo},
    {"Inbound COMM Port", T::Int32},
    {"Outbound COMM Port", T::Int32},
    {"Allow Multi Control", T::YesNo},
    {"ENCDEC Header", T::YesNo},
    {"Header Value", T::Int32},
    {"ENCDEC Address", T::YesNo},
    {"Address Value", T::Int32},
    {"Baud Rate", T::Int32},
    {"Parity", T::Text, 255},
    {"Data Bits", T::Int32},
    {"Stop Bits", T::Int32},
    {"Display Color", T::Int32},
    {"Units Color", T::Int32},
    {"Output Color", T::Int32},
    {"Hold Indicator Color", T::Int32},
    {"COMM Indicator Color", T::Int32},
    {"Graph Type", T::Int32},
    {"Enabled", T::YesNo},
};

const TableDef kLog{"LOG", kLogFields};
const TableDef kData{"DATA", kDataFields};
const TableDef kSettings{"Settings", kSettingsFields};

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

int TableDef::indexOf(const QString &field) const
{
    for (size_t i = 0; i < fields.size(); ++i) {
        if (field == QLatin1String(fields[i].name))
            return int(i);
    }
    return -1;
}

const TableDef &logTable() { return kLog; }
const TableDef &dataTable() { return kData; }
const TableDef &settingsTable() { return kSettings; }

const TableDef *findTable(const QString &name)
{
    for (const TableDef *t : {&kLog, &kData, &kSettings}) {
        if (name == QLatin1String(t->name))
            return t;
    }
    return nullptr;
}

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
