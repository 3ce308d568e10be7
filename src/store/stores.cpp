#include "stores.h"

#include <QDir>

namespace quellix::store {

StoreLocation StoreLocation::directory(const QString &path)
{
    StoreLocation l;
    l.m_kind = Kind::Directory;
    // Absolute and clean ("/a/b/", "/a/./b" and "/a/b" are one location),
    // so a later change of the current directory moves nothing.
    l.m_address = QDir::cleanPath(QDir(path).absolutePath());
    return l;
}

StoreLocation StoreLocation::server(const QString &url)
{
    StoreLocation l;
    l.m_kind = Kind::Server;
    l.m_address = url.trimmed();
    return l;
}

} // namespace quellix::store
