#pragma once

// The stores' process-wide state, in one place:
// - the store directory registration captured last (storeDirectory());
// - the store location the host chose, if it did (chosenStoreLocation());
// - the open stores, one per location (openStores());
// - the handler of the stand-by messages (setInformationHandler()).
// The engine's own cache of keyed connections, one per store file, lives
// with the connections (Connection::acquire(), connectioncache.h).

#include <QString>

#include <functional>

namespace quellix::store {

/// The process-wide store directory: the directory the latest registration
/// bound its control to (the chosen location's directory, or the current
/// directory), without a trailing separator. Empty until then.
QString storeDirectory();
void setStoreDirectory(const QString &dir);

/// The seam for the information messages the stores show (the stand-by
/// messages before a file is created). Two handlers: the host's own
/// (setInformationHandler(); tests and unattended hosts install one) and the
/// default a window library puts in place (setDefaultInformationHandler();
/// the control's widgets install a modal message box). The host's wins; with
/// neither, the message is written on the "quellix" logging category and the
/// store goes on without waiting for anyone.
using InformationHandler = std::function<void(const QString &text, const QString &title)>;
void setInformationHandler(InformationHandler handler); ///< nullptr removes the host's handler
/// The handler the host installed, or an empty function when it installed none.
InformationHandler informationHandler();
/// Sets the default handler, used while the host has installed none.
void setDefaultInformationHandler(InformationHandler handler);
/// The default handler, or an empty function when none is in place.
InformationHandler defaultInformationHandler();

} // namespace quellix::store
