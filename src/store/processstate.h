#pragma once

// The stores' process-wide state, in one place:
// - the store directory registration captured last (storeDirectory());
// - the store location the host chose, if it did (chosenStoreLocation());
// - the open stores, one per location (openStores());
// - the handler of the stand-by messages (setInformationHandler()).
// The engine's own cache of keyed connections, one per store file, lives
// with the connections (Connection::acquire(), recordstore.h).

#include <QString>

#include <functional>

namespace quellix::store {

/// The process-wide store directory: the directory the latest registration
/// bound its control to (the chosen location's directory, or the current
/// directory), without a trailing separator. Empty until then.
QString storeDirectory();
void setStoreDirectory(const QString &dir);

/// The seam for the information messages the stores show (the stand-by
/// messages before a file is created). The default shows a modal message
/// box and returns when the operator closes it; tests install their own.
using InformationHandler = std::function<void(const QString &text, const QString &title)>;
void setInformationHandler(InformationHandler handler); ///< nullptr restores the default
/// The handler installed, or an empty function for the default.
InformationHandler informationHandler();

} // namespace quellix::store
