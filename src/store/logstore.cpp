#include "logstore.h"

#include "error.h"
#include "connectioncache.h"
#include "storefiles.h"

#include <QLocale>

namespace quellix::store {

QString logTimeText(const QDateTime &when)
{
    static const QLocale us(QLocale::English, QLocale::UnitedStates);
    return us.toString(when, QStringLiteral("MM/dd/yyyy hh:mm:ss AP"));
}

QString logTimeNow()
{
    static qint64 cachedSecond = -1;
    static QString cachedText;
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 second = now.toSecsSinceEpoch();
    if (second != cachedSecond) {
        cachedText = logTimeText(now);
        cachedSecond = second;
    }
    return cachedText;
}

QStringList logStoreIndexSql()
{
    return {
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"LOG Control Num\" ON \"LOG\" (\"Control\", \"Num\")"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"LOG Type Num\" ON \"LOG\" (\"Type\", \"Num\")"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"LOG Control Type Num\" ON \"LOG\" (\"Control\", \"Type\", \"Num\")"),
        QStringLiteral("CREATE INDEX IF NOT EXISTS \"DATA Control Num\" ON \"DATA\" (\"Control\", \"Num\")"),
    };
}

void createLogStore(const QString &path)
{
    showInformation(QStringLiteral("Please Standby While The New LOG File Is Created."),
                    QStringLiteral("Create New LOG File."));
    const TableDef *tables[] = {&logTable(), &dataTable()};
    createStoreFile(path, QLatin1String(kLocaleText), QLatin1String(kStorePassword), tables, logStoreIndexSql());
}

void createSettingsStore(const QString &path)
{
    showInformation(QStringLiteral("Please Standby While The New Settings File Is Created."),
                    QStringLiteral("Create New Settings File."));
    const TableDef *tables[] = {&settingsTable()};
    createStoreFile(path, QLatin1String(kLocaleText), QLatin1String(kStorePassword), tables);
}

} // namespace quellix::store
