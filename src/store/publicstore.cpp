// The stores' small public interface for hosts: the message seam and one
// settings field at a time.

#include "store.h"

#include "error.h"
#include "pgconnection.h"
#include "pglog.h"
#include "storefiles.h"
#include "stores.h"

namespace quellix {

namespace {

// The settings of the stores in `dir`, which must hold a settings store:
// nothing is created by the host's reads and writes.
store::SettingsStore &settingsIn(const QString &dir, std::shared_ptr<store::Stores> &stores)
{
    if (dir.contains(QLatin1String("://"))) {
        stores = store::openStores(store::StoreLocation::server(dir));
        return stores->settings();
    }
    if (!store::storeFileExists(dir, QLatin1String(store::kSettingsFileName)))
        throw Error(Error::Kind::NotFound, QStringLiteral("No settings store in %1").arg(dir));
    stores = store::openStores(store::StoreLocation::directory(dir));
    return stores->settings();
}

} // namespace

void setInformationHandler(InformationHandler handler)
{
    store::setInformationHandler(std::move(handler));
}

void setStoreLocation(const QString &location)
{
    if (location.contains(QLatin1String("://"))) {
        store::pg::requireServerUrl(location.trimmed());
        store::chooseStoreLocation(store::StoreLocation::server(location));
        return;
    }
    if (location.trimmed().isEmpty())
        throw Error(Error::Kind::InvalidValue, QStringLiteral("The store location is empty"));
    store::chooseStoreLocation(store::StoreLocation::directory(location));
}

QString storeLocation()
{
    if (const auto chosen = store::chosenStoreLocation())
        return chosen->address();
    return store::storeDirectory();
}

bool storeServerAway()
{
    return store::anyServerAway();
}

QString storeDirectory()
{
    if (const auto chosen = store::chosenStoreLocation(); chosen && chosen->kind() == store::StoreLocation::Kind::Directory)
        return chosen->address();
    return store::storeDirectory();
}

QVariant settingsField(const QString &dir, const QString &control, const QString &field)
{
    const schema::Field f = schema::requireField(field);
    std::shared_ptr<store::Stores> stores;
    const std::optional<store::SettingsRow> row = settingsIn(dir, stores).read(control);
    if (!row)
        throw Error(Error::Kind::NotFound, QStringLiteral("No settings row for %1").arg(control));
    return row->value(f);
}

void setSettingsField(const QString &dir, const QString &control, const QString &field, const QVariant &value)
{
    const schema::Field f = schema::requireField(field);
    std::shared_ptr<store::Stores> stores;
    settingsIn(dir, stores).writeField(control, f, value);
}

} // namespace quellix
