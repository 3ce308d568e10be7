#pragma once

#include <QString>
#include <functional>

namespace quellix::store {

inline constexpr char kLogFileName[] = "LOG.MDB";
inline constexpr char kSettingsFileName[] = "SETTINGS.MDB";

/// The process-wide store directory: the current directory captured by the
/// latest registration, without a trailing separator. Empty until then.
QString storeDirectory();
void setStoreDirectory(const QString &dir);

/// The path of a store file in a directory. File names compare without
/// regard to letter case, so "SETTINGS.MDB" and "Settings.MDB" reach the same
/// file; a name not present yet gives the path with the name as written.
QString storeFilePath(const QString &dir, const QString &fileName);

/// The existence test of registration: true when the file is present
/// (in any letter case) as a regular file.
bool storeFileExists(const QString &dir, const QString &fileName);

/// The seam for the information messages the stores show (the stand-by
/// messages before a file is created). The default shows a modal message
/// box and returns when the operator closes it; tests install their own.
using InformationHandler = std::function<void(const QString &text, const QString &title)>;
void setInformationHandler(InformationHandler handler); ///< nullptr restores the default
void showInformation(const QString &text, const QString &title);

} // namespace quellix::store
