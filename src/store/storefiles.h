#pragma once

#include "processstate.h"

#include <QString>

namespace quellix::store {

inline constexpr char kLogFileName[] = "LOG.MDB";
inline constexpr char kSettingsFileName[] = "SETTINGS.MDB";

/// The path of a store file in a directory. File names compare without
/// regard to letter case, so "SETTINGS.MDB" and "Settings.MDB" reach the same
/// file; a name not present yet gives the path with the name as written.
QString storeFilePath(const QString &dir, const QString &fileName);

/// The existence test of registration: true when the file is present
/// (in any letter case) as a regular file.
bool storeFileExists(const QString &dir, const QString &fileName);

/// Shows an information message through the host's handler, else the
/// user-interface layer's, else on the "quellix.standby" logging category
/// (processstate.h).
void showInformation(const QString &text, const QString &title);

} // namespace quellix::store
