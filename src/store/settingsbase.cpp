#include "settingsbase.h"

#include "error.h"

namespace quellix::store {

void FieldUpdatingSettingsStore::writeField(const QString &control, Field field, const QVariant &value)
{
    SettingsRow row;
    row.set(field, value); // an empty value empties the field
    update(control, row, {field});
}

void FieldUpdatingSettingsStore::writeRow(const QString &control, const SettingsRow &row)
{
    const QVector<Field> fields = checkedFields(row);
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
