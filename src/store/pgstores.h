#pragma once

// The stores of a PostgreSQL server: the settings table "Settings" and the
// event log of "LOG" and "DATA", shared by every station that names the
// server's address.

#include "stores.h"

#include <QString>

#include <memory>

namespace quellix::store {

class ServerClient;

/// The settings table on the server, through `client`'s connection. A
/// server that cannot be reached fails every call with Error(Store) saying
/// so: a settings change made then is refused, never lost. Every row read
/// or written is also kept on the station (beside the spool); while the
/// server cannot be reached, reads of a kept row return that copy, so a
/// station starting then runs on its own settings, not on factory values.
std::unique_ptr<SettingsStore> makePgSettingsStore(std::shared_ptr<ServerClient> client);

/// The stores of a server location, one per address while anyone holds
/// them. Connects to nothing yet. Throws Error(Store) for an address that
/// is not a postgresql:// URL, Error(InvalidValue) for one that libpq
/// cannot read or that carries a password.
std::shared_ptr<Stores> openServerStores(const StoreLocation &location);

/// Makes the tables and indexes of the stores on the server (in the first
/// schema of the search path); tables that exist are left as they are.
/// With role names, also makes those roles and grants them their rights
/// (pg::rolesSql()). Throws Error.
void initServerStore(const QString &url, const QString &panelRole = {}, const QString &operatorRole = {});

/// What an import brought over.
struct ImportCount
{
    qint64 settings = 0, log = 0, data = 0;
};

/// Copies every row of SETTINGS.MDB and LOG.MDB in `directory` (either may
/// be missing) to the server, in their order ("Num" order for LOG and
/// DATA), in one transaction: all of them or none. Throws Error.
ImportCount importDirectory(const QString &directory, const QString &url);

} // namespace quellix::store
