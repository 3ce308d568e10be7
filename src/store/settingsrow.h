#pragma once

#include "schema.h"

#include <QString>
#include <QVariant>
#include <QVector>

#include <array>

namespace quellix::store {

// The store's code, and code that uses the store's names, takes the schema's
// types as they are.
using schema::Field;
using schema::FieldDef;
using schema::FieldType;
using schema::logTable;
using schema::settingsTable;
using schema::TableDef;

/// The value a field holds, converted to its declared type: a text field a
/// QString of at most its size in characters, Int16 and Int32 an int in the
/// field's range, Double a finite double, YesNo a bool. Every value the type
/// holds exactly is taken (an integer for a double field when the double is
/// exact, an integral double for an integer field in its range, 0 or 1 for a
/// yes/no field, a number for a text field as its shortest exact text, false
/// and true as 0 and 1 for a number field). A fractional number for an
/// integer field is rounded to the nearest integer, halves to even: the
/// control's limits are doubles that the row keeps as whole numbers.
/// Text in a number field, a text longer than its field, a number out of an
/// integer field's range or not finite, any other yes/no number and values
/// of other types throw Error (InvalidValue). A null or invalid QVariant
/// stays null (an invalid QVariant).
QVariant toFieldValue(const FieldDef &field, const QVariant &value);

/// One settings row, typed as its 72 fields declare. A field is present
/// with a value of its type, or absent (missing, null, or not convertible
/// when it was read), so a load can skip exactly the fields it cannot use.
class SettingsRow
{
public:
    static constexpr int kFieldCount = schema::kSettingsFieldCount;

    bool has(Field field) const { return slot(field).isValid(); }
    /// The typed value, or an invalid QVariant when absent.
    QVariant value(Field field) const { return slot(field); }
    /// Sets a field through toFieldValue(); throws Error (InvalidValue for a
    /// value the field cannot hold), leaving the row unchanged.
    void set(Field field, const QVariant &value);
    void clear(Field field) { slot(field) = QVariant(); }

    /// The value the engine read for a field, kept when toFieldValue() takes
    /// it and left absent when it does not (used by backends while reading).
    void setRead(Field field, const QVariant &stored);

    /// The row's control name ("Control Name"), empty when absent.
    QString controlName() const;

    bool operator==(const SettingsRow &) const = default;

private:
    QVariant &slot(Field field) { return m_values.at(size_t(schema::fieldIndex(field))); }
    const QVariant &slot(Field field) const { return m_values.at(size_t(schema::fieldIndex(field))); }

    std::array<QVariant, kFieldCount> m_values;
};

/// The fields present in `row`, in table order, each checked once more with
/// toFieldValue() (which throws for a value its field cannot hold), so a
/// backend writes nothing a field cannot hold.
QVector<Field> checkedFields(const SettingsRow &row);

/// A new control's row: the 28 fields every new row gets, "Control Name"
/// being `controlName`; the other 44 fields are absent. Throws Error
/// (InvalidValue) for a name longer than the field.
SettingsRow factoryRow(const QString &controlName);

} // namespace quellix::store
