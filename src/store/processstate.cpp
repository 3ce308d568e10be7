#include "processstate.h"

#include "error.h"
#include "pgstores.h"
#include "recordstore.h"
#include "sqlcipherstores.h"
#include "storefiles.h"
#include "stores.h"

#include <QFile>
#include <QHash>
#include <QMutex>

#include <optional>

#include <sys/stat.h>

namespace quellix::store {

namespace {

// The files a directory's stores were opened on: device and inode of
// SETTINGS.MDB and LOG.MDB, zero for a file that was missing.
struct FileSnapshot
{
    quint64 settingsDev = 0, settingsIno = 0, logDev = 0, logIno = 0;
    bool operator==(const FileSnapshot &) const = default;
};

void identify(const QString &path, quint64 *dev, quint64 *ino)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        *dev = quint64(st.st_dev);
        *ino = quint64(st.st_ino);
    }
}

FileSnapshot snapshotOf(const QString &dir)
{
    FileSnapshot s;
    identify(storeFilePath(dir, QLatin1String(kSettingsFileName)), &s.settingsDev, &s.settingsIno);
    identify(storeFilePath(dir, QLatin1String(kLogFileName)), &s.logDev, &s.logIno);
    return s;
}

struct OpenStores
{
    std::weak_ptr<Stores> stores;
    FileSnapshot files;
};

struct ProcessState
{
    QMutex mutex; // the host's thread and the event log's writer may both ask
    QString storeDirectory;
    InformationHandler informationHandler;
    InformationHandler interfaceHandler;
    std::optional<StoreLocation> chosenLocation;
    QHash<QString, OpenStores> openStores; // by location address
};

ProcessState &state()
{
    static ProcessState s;
    return s;
}

// Connection::closeAll() stands for a new process: the stores opened so far
// are not handed out again (their holders keep them).
void forgetOpenStores()
{
    QMutexLocker lock(&state().mutex);
    state().openStores.clear();
}

} // namespace

QString storeDirectory()
{
    QMutexLocker lock(&state().mutex);
    return state().storeDirectory;
}

void setStoreDirectory(const QString &dir)
{
    QString d = dir;
    while (d.size() > 1 && d.endsWith(QLatin1Char('/')))
        d.chop(1);
    QMutexLocker lock(&state().mutex);
    state().storeDirectory = d;
}

void setInformationHandler(InformationHandler handler)
{
    QMutexLocker lock(&state().mutex);
    state().informationHandler = std::move(handler);
}

InformationHandler informationHandler()
{
    QMutexLocker lock(&state().mutex);
    return state().informationHandler;
}

void setInterfaceInformationHandler(InformationHandler handler)
{
    QMutexLocker lock(&state().mutex);
    state().interfaceHandler = std::move(handler);
}

InformationHandler interfaceInformationHandler()
{
    QMutexLocker lock(&state().mutex);
    return state().interfaceHandler;
}

std::optional<StoreLocation> chosenStoreLocation()
{
    QMutexLocker lock(&state().mutex);
    return state().chosenLocation;
}

void chooseStoreLocation(const StoreLocation &location)
{
    QMutexLocker lock(&state().mutex);
    ProcessState &s = state();
    if (s.chosenLocation && !(*s.chosenLocation == location))
        throw Error(Error::Kind::InvalidValue,
                    QStringLiteral("The store location is chosen once per process: '%1' was chosen, '%2' is refused.")
                        .arg(s.chosenLocation->address(), location.address()));
    s.chosenLocation = location;
}

std::shared_ptr<Stores> openStores(const StoreLocation &location)
{
    if (location.kind() == StoreLocation::Kind::Server)
        return openServerStores(location);
    static const bool forgetsOnCloseAll = (Connection::addCloseAllHook(&forgetOpenStores), true);
    Q_UNUSED(forgetsOnCloseAll);
    const QString dir = location.address();
    // The stores of a directory stay bound to the files they opened: a store
    // file deleted or replaced since then gets new stores here, while every
    // holder of the old ones has its writes refused until it opens again.
    const FileSnapshot files = snapshotOf(dir);
    auto current = [&]() -> std::shared_ptr<Stores> {
        const auto &all = state().openStores;
        const auto it = all.constFind(dir);
        if (it == all.cend() || !(it->files == files))
            return nullptr;
        return it->stores.lock();
    };
    {
        QMutexLocker lock(&state().mutex);
        if (auto stores = current())
            return stores;
    }
    // Made outside the lock: a backend may ask for process state itself.
    std::shared_ptr<Stores> made = makeSqlCipherDirectoryStores(location);
    QMutexLocker lock(&state().mutex);
    if (auto stores = current())
        return stores;
    auto &all = state().openStores;
    for (auto e = all.begin(); e != all.end();)
        e = e->stores.expired() ? all.erase(e) : std::next(e);
    all.insert(dir, {made, files});
    return made;
}

} // namespace quellix::store
