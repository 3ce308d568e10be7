#include "storeoption.h"

#include <quellix/error.h>
#include <quellix/store.h>

#include <QDir>

bool host::chooseStoreLocation(const QString &location, QString *error)
{
    const bool server = location.contains(QLatin1String("://"));
    try {
        if (!server && !QDir().mkpath(location))
            throw quellix::Error(quellix::Error::Kind::Store, QStringLiteral("cannot make the directory"));
        quellix::setStoreLocation(location);
        return true;
    } catch (const quellix::Error &e) {
        // The message names a server without its credentials; the address
        // itself is not repeated.
        *error = QStringLiteral("cannot use store location %1: %2")
                     .arg(server ? QStringLiteral("(server)") : location, e.message());
        return false;
    }
}
