#pragma once

// The event log on a PostgreSQL server: the tables "LOG" and "DATA".

#include "stores.h"

#include <QString>

#include <functional>
#include <memory>

namespace quellix::store {

namespace pg {
class Connection;
}

/// The connection of the caller's thread to a server, shared by the
/// settings store and the event log of one location. Each call waits for
/// the server; a server that cannot be reached fails it with Error(Store)
/// at once for a while after the last attempt, so a station without its
/// server is not held up by every call.
class ServerClient
{
public:
    explicit ServerClient(const QString &url);
    ~ServerClient();
    QString url() const { return m_url; }
    /// Runs `fn` on the connection (connecting first when needed). A read
    /// (`retry`) is tried once more on a new connection when the old one
    /// was found lost. When the server cannot be reached the Error says so,
    /// followed by `consequence` ("nothing is saved").
    void run(const std::function<void(pg::Connection &)> &fn, const QString &consequence, bool retry);

private:
    struct Private;
    const QString m_url;
    std::unique_ptr<Private> d;
};

/// The event log on the server at `url` (tables made by quellix-store init).
/// Appends are checked at once in the caller's thread and sent by one
/// writer thread per server address, in order, many in one transaction.
/// While the server cannot be reached they go to the station's spool
/// (spool.h) and are sent from there, in order and each once, when it is
/// back; flush() then returns once they are in the spool. Reads and
/// deletes need the server; a delete is refused while spooled records still
/// wait to be sent. `client` may be shared with the settings store.
std::unique_ptr<EventLog> makePgEventLog(const QString &url, std::shared_ptr<ServerClient> client = nullptr);

/// True while some server of this process cannot be reached, or records
/// for it wait in the spool.
bool anyServerAway();
/// The same for one server address.
bool serverAway(const QString &url);
/// Marks a server as reached or not, by its writer (records wait in the
/// spool) or by a caller's connection.
void setServerAway(const QString &url, bool away, bool writer);

} // namespace quellix::store
