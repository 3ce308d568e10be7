#include "sqlcipherapi.h"

#include "error.h"

#include <QStringList>

#include <dlfcn.h>

namespace quellix::store::sqlcipher {

Loaded load(const char *library)
{
    Loaded out;
    // RTLD_LOCAL keeps the engine's sqlite3_* names out of the process's
    // global scope; RTLD_DEEPBIND makes the engine's calls into itself (and
    // into its crypto library) prefer its own definitions over any SQLite
    // loaded before it.
    void *handle = ::dlopen(library, RTLD_NOW | RTLD_LOCAL | RTLD_DEEPBIND);
    if (!handle) {
        const char *why = ::dlerror();
        out.error = QStringLiteral("The store engine library %1 could not be loaded: %2")
                        .arg(QLatin1String(library), QString::fromLocal8Bit(why ? why : "unknown error"));
        return out;
    }
    QStringList missing;
#define QUELLIX_SQLCIPHER_RESOLVE(name)                                                              \
    out.api.name = reinterpret_cast<decltype(out.api.name)>(::dlsym(handle, "sqlite3_" #name));     \
    if (!out.api.name)                                                                               \
        missing << QStringLiteral("sqlite3_" #name);
    QUELLIX_SQLCIPHER_FUNCTIONS(QUELLIX_SQLCIPHER_RESOLVE)
#undef QUELLIX_SQLCIPHER_RESOLVE
    if (!missing.isEmpty()) {
        ::dlclose(handle);
        out.api = Api{};
        out.error = QStringLiteral("The store engine library %1 lacks %2: it is not the SQLCipher library "
                                   "the store needs.")
                        .arg(QLatin1String(library), missing.join(QStringLiteral(", ")));
        return out;
    }
    out.handle = handle;
    return out;
}

const Api &api()
{
    // Initialised once, by the first caller, even with several threads.
    static const Loaded engine = load(kLibraryName);
    if (!engine.handle)
        throw Error(Error::Kind::Store, engine.error);
    return engine.api;
}

void bindValue(sqlite3_stmt *stmt, int index, const QVariant &v)
{
    if (!v.isValid() || v.isNull()) {
        api().bind_null(stmt, index);
        return;
    }
    switch (v.typeId()) {
    case QMetaType::Bool:
        api().bind_int(stmt, index, v.toBool() ? 1 : 0);
        break;
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UInt:
        api().bind_int64(stmt, index, v.toLongLong());
        break;
    case QMetaType::Double:
    case QMetaType::Float:
        api().bind_double(stmt, index, v.toDouble());
        break;
    default: {
        const QByteArray utf8 = v.toString().toUtf8();
        api().bind_text(stmt, index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        break;
    }
    }
}

} // namespace quellix::store::sqlcipher
