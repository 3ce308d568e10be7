#include "storefiles.h"

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

namespace quellix::store {

namespace {

// Process-wide state of the stores.
QString g_storeDirectory;
InformationHandler g_informationHandler;

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

QString storeDirectory() { return g_storeDirectory; }

void setStoreDirectory(const QString &dir)
{
    QString d = dir;
    while (d.size() > 1 && d.endsWith(QLatin1Char('/')))
        d.chop(1);
    g_storeDirectory = d;
}

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

void setInformationHandler(InformationHandler handler)
{
    g_informationHandler = std::move(handler);
}

void showInformation(const QString &text, const QString &title)
{
    if (g_informationHandler) {
        g_informationHandler(text, title);
        return;
    }
    QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok);
    box.setObjectName(QStringLiteral("f_STANDBY"));
    box.exec();
}

} // namespace quellix::store
