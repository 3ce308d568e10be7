#pragma once

#include <QString>

namespace host {

/// Chooses a host's --store LOCATION for every control of the process: a
/// directory (made when missing) or a server address. False, with a
/// message that names a server without its address, when it cannot be used.
bool chooseStoreLocation(const QString &location, QString *error);

} // namespace host
