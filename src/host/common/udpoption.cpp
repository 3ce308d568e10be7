#include "udpoption.h"

namespace host {

bool parseUdpOption(const QString &text, QHostAddress *address, quint16 *port)
{
    QString portText = text;
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon >= 0) {
        QString host = text.left(colon);
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        if (!address->setAddress(host))
            return false;
        portText = text.mid(colon + 1);
    }
    bool ok = false;
    const uint p = portText.toUInt(&ok);
    if (!ok || p == 0 || p > 65535)
        return false;
    *port = quint16(p);
    return true;
}

} // namespace host
