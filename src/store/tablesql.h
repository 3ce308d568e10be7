#pragma once

// The SQL text of the store tables: made from the field definitions of the
// schema, shared by the file backend, its record cursors and the spool.

#include "schema.h"

#include <QString>

namespace quellix::store {

using schema::dataTable;
using schema::FieldDef;
using schema::FieldType;
using schema::findTable;
using schema::logTable;
using schema::settingsTable;
using schema::TableDef;

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
