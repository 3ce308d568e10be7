#pragma once

// What every settings backend shares: one field and a whole row are both
// written through the backend's single update of a row's present fields.

#include "stores.h"

namespace quellix::store {

class FieldUpdatingSettingsStore : public SettingsStore
{
public:
    using SettingsStore::writeField;
    void writeField(const QString &control, Field field, const QVariant &value) final;
    void writeRow(const QString &control, const SettingsRow &row) final;

protected:
    /// Writes `fields` (checked, present in `row`) into the row of this
    /// name in one transaction: every field or none. Throws NotFound when
    /// there is no such row.
    virtual void update(const QString &control, const SettingsRow &row, const QVector<Field> &fields) = 0;
    [[noreturn]] static void notFound(const QString &control);
};

} // namespace quellix::store
