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
/// messages before a file is created). The host's handler comes first;
/// without one, the one a user-interface layer installed (the widgets show
/// a modal message box); without either, the message goes to the
/// "quellix.standby" logging category and the store goes on at once.
using InformationHandler = std::function<void(const QString &text, const QString &title)>;
void setInformationHandler(InformationHandler handler); ///< nullptr restores the default
/// The handler the host installed, or an empty function.
InformationHandler informationHandler();
/// The user-interface layer's handler, used when the host installed none.
void setInterfaceInformationHandler(InformationHandler handler);
InformationHandler interfaceInformationHandler();

} // namespace quellix::store
