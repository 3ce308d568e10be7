#pragma once

#include <QString>
#include <span>

namespace quellix::store {

/// Field types of the store files.
enum class FieldType {
    Text,    ///< text of at most `size` characters
    Int16,   ///< 16-bit signed integer
    Int32,   ///< 32-bit signed integer
    Double,  ///< 64-bit floating point
    YesNo,   ///< boolean
    Counter, ///< 32-bit integer assigned by the store on commit, incrementing
};

struct FieldDef {
    const char *name;
    FieldType type;
    int size = 0; ///< characters, text fields only
};

struct TableDef {
    const char *name;
    std::span<const FieldDef> fields;

    int indexOf(const QString &field) const; ///< -1 when the table has no such field
};

const TableDef &logTable();      ///< table "LOG" of LOG.MDB, 11 fields
const TableDef &dataTable();     ///< table "DATA" of LOG.MDB, 6 fields
const TableDef &settingsTable(); ///< table "Settings" of SETTINGS.MDB, 72 fields

/// The table definition with this name (exact), or nullptr.
const TableDef *findTable(const QString &name);

/// The CREATE TABLE text of a table: every field with its type, and checks
/// that make the file itself refuse an overlong text or a value of the wrong
/// type or range.
QString createTableSql(const TableDef &table);

/// The CREATE TABLE text files were made with before their checks took
/// every value a column keeps exactly (the fields are the same).
QString legacyCreateTableSql(const TableDef &table);

/// Quotes an identifier for SQL ("Input Value" -> "\"Input Value\"").
QString quoteIdentifier(const QString &name);

} // namespace quellix::store
