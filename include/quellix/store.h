#pragma once

#include "quellix_core_global.h"

#include <QString>
#include <QVariant>

#include <functional>

namespace quellix {

/// Shows the stores' information messages (the stand-by messages before a
/// store file is created). The default shows a modal message box and
/// returns when the operator closes it; an unattended host installs its
/// own. A null handler restores the default.
using InformationHandler = std::function<void(const QString &text, const QString &title)>;
QUELLIX_CORE_EXPORT void setInformationHandler(InformationHandler handler);

/// Chooses where every control of this process keeps its stores: a
/// directory (a relative path is taken from the current directory now) or
/// a PostgreSQL server, "postgresql://HOST:PORT/DATABASE" (a socket folder
/// as HOST percent-encoded; libpq's parameters such as sslmode may follow
/// after "?"). The user, password and TLS settings come from libpq's own
/// conventions (PGUSER, PGPASSFILE, the service file); an address holding a
/// password is refused with quellix::Error (InvalidValue). Call it once,
/// before the first control registers; without it each registration takes
/// the current directory. Choosing again the same place does nothing;
/// another place throws quellix::Error (InvalidValue).
QUELLIX_CORE_EXPORT void setStoreLocation(const QString &location);

/// True while a store server of this process cannot be reached or records
/// kept meanwhile in the station's spool still wait to be sent. Records
/// are kept and sent later; settings changes are refused meanwhile.
QUELLIX_CORE_EXPORT bool storeServerAway();

/// The store directory: the one chosen with setStoreLocation(), else the
/// current directory captured by the latest registration, else empty.
QUELLIX_CORE_EXPORT QString storeDirectory();

/// Where the stores are: the location chosen with setStoreLocation() (a
/// directory or a server address), else storeDirectory(). What
/// settingsField() and setSettingsField() take.
QUELLIX_CORE_EXPORT QString storeLocation();

/// Reads one field of a control's settings row in SETTINGS.MDB of `dir`
/// (or on the server, when `dir` is a server address).
/// Throws quellix::Error (NotFound) when the file or the row is missing.
QUELLIX_CORE_EXPORT QVariant settingsField(const QString &dir, const QString &control, const QString &field);

/// Writes one field of a control's settings row in SETTINGS.MDB of `dir`
/// (the first row of that name). Every value the field's type holds exactly
/// is taken (an integer for a "double" field, an integral double for an
/// integer field, false/true or 0/1 for a yes/no field); a fractional number
/// for an integer field is rounded to the nearest integer. Throws
/// quellix::Error when the row is missing or the field cannot hold the value
/// (text in a number field, a text longer than its field, a number out of
/// an integer field's range or not finite); the row is left as it was then.
QUELLIX_CORE_EXPORT void setSettingsField(const QString &dir, const QString &control, const QString &field,
                                     const QVariant &value);

} // namespace quellix
