// The stores' small public interface for hosts: the message seam and one
// settings field at a time.

#include "store.h"

#include "error.h"
#include "recordstore.h"
#include "storefiles.h"

namespace quellix {

namespace {

// Puts `c` on the first row of `control` in `dir`'s settings table. The
// cursor walks the table itself rather than an SQL select: rows of a select
// on a table without a counter field cannot be edited.
void openSettingsRow(store::Cursor &c, const QString &dir, const QString &control)
{
    if (!store::storeFileExists(dir, QLatin1String(store::kSettingsFileName)))
        throw Error(Error::Kind::NotFound, QStringLiteral("No settings store in %1").arg(dir));
    c.setDatabaseName(store::storeFilePath(dir, QLatin1String(store::kSettingsFileName)));
    c.setRecordSource(QStringLiteral("Settings"));
    c.refresh();
    for (; !c.eof(); c.moveNext()) {
        if (c.field(QStringLiteral("Control Name")).toString() == control)
            return;
    }
    throw Error(Error::Kind::NotFound, QStringLiteral("No settings row for %1").arg(control));
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
