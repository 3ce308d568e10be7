// The stores' small public interface for hosts: the message seam and one
// settings field at a time.

#include "store.h"

#include "error.h"
#include "recordstore.h"
#include "storefiles.h"

namespace quellix {

namespace {

// Puts `c` on the row of `control` in `dir`'s settings table.
void openSettingsRow(store::Cursor &c, const QString &dir, const QString &control)
{
    if (!store::storeFileExists(dir, QLatin1String(store::kSettingsFileName)))
        throw Error(Error::Kind::NotFound, QStringLiteral("No settings store in %1").arg(dir));
    c.setDatabaseName(store::storeFilePath(dir, QLatin1String(store::kSettingsFileName)));
    c.setRecordSource(QStringLiteral("SELECT * FROM Settings WHERE \"Control Name\" = ?"), {control});
    c.refresh();
    if (c.isEmpty())
        throw Error(Error::Kind::NotFound, QStringLiteral("No settings row for %1").arg(control));
    c.moveFirst();
}

} // namespace

void setInformationHandler(InformationHandler handler)
{
    store::setInformationHandler(std::move(handler));
}

QString storeDirectory()
{
    return store::storeDirectory();
}

QVariant settingsField(const QString &dir, const QString &control, const QString &field)
{
    store::Cursor c;
    openSettingsRow(c, dir, control);
    return c.field(field);
}

void setSettingsField(const QString &dir, const QString &control, const QString &field, const QVariant &value)
{
    store::Cursor c;
    openSettingsRow(c, dir, control);
    c.edit();
    try {
        c.setField(field, value);
        c.update();
    } catch (...) {
        c.cancelUpdate();
        throw;
    }
}

} // namespace quellix
