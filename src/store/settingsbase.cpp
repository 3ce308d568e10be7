#include "settingsbase.h"

#include "error.h"

namespace quellix::store {

void FieldUpdatingSettingsStore::writeField(const QString &control, const QString &field, const QVariant &value)
{
    const int index = SettingsRow::indexOf(field);
    if (index < 0)
        throw Error(Error::Kind::InvalidField, QStringLiteral("Item '%1' not found in this collection.").arg(field));
    SettingsRow row;
    row.set(index, value); // an empty value empties the field
    update(control, row, {index});
}

void FieldUpdatingSettingsStore::writeRow(const QString &control, const SettingsRow &row)
{
    const QVector<int> fields = checkedFields(row);
    if (fields.isEmpty()) {
        if (!contains(control))
            notFound(control);
        return;
    }
    update(control, row, fields);
}

void FieldUpdatingSettingsStore::notFound(const QString &control)
{
    throw Error(Error::Kind::NotFound, QStringLiteral("No settings row for '%1'.").arg(control));
}

} // namespace quellix::store
