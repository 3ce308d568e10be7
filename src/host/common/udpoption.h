#pragma once

#include <QHostAddress>
#include <QString>

namespace host {

/// Reads a host's --udp value "[ADDRESS:]PORT" (an IPv6 address in
/// brackets); the address is left as it was when none is given. False for
/// a bad address or a port outside 1 to 65535.
bool parseUdpOption(const QString &text, QHostAddress *address, quint16 *port);

} // namespace host
