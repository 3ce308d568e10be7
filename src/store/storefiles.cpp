#include "storefiles.h"

#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcStandBy, "quellix.standby")

namespace quellix::store {

namespace {

QString existingName(const QString &dir, const QString &fileName)
{
    const QFileInfo exact(dir + QLatin1Char('/') + fileName);
    if (exact.isFile())
        return fileName;
    const QStringList entries = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &e : entries) {
        if (e.compare(fileName, Qt::CaseInsensitive) == 0)
            return e;
    }
    return {};
}

} // namespace

QString storeFilePath(const QString &dir, const QString &fileName)
{
    const QString found = existingName(dir, fileName);
    const QString name = found.isEmpty() ? fileName : found;
    if (dir.endsWith(QLatin1Char('/')))
        return dir + name;
    return dir + QLatin1Char('/') + name;
}

bool storeFileExists(const QString &dir, const QString &fileName)
{
    return !existingName(dir, fileName).isEmpty();
}

void showInformation(const QString &text, const QString &title)
{
    if (const InformationHandler handler = informationHandler()) {
        handler(text, title);
        return;
    }
    if (const InformationHandler handler = interfaceInformationHandler()) {
        handler(text, title);
        return;
    }
    qCInfo(lcStandBy, "%s: %s", qPrintable(title), qPrintable(text));
}

} // namespace quellix::store
