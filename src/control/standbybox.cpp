#include "standbybox.h"

#include "processstate.h"

#include <QMessageBox>

void quellix::installStandByBox()
{
    if (store::interfaceInformationHandler())
        return;
    store::setInterfaceInformationHandler([](const QString &text, const QString &title) {
        QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok);
        box.setObjectName(QStringLiteral("f_STANDBY"));
        box.exec();
    });
}
