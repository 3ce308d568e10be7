#include "standbybox.h"

#include "processstate.h"

#include <QMessageBox>

namespace quellix::config {

void installStandbyMessageBox()
{
    if (store::defaultInformationHandler())
        return;
    store::setDefaultInformationHandler([](const QString &text, const QString &title) {
        QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok);
        box.setObjectName(QStringLiteral("f_STANDBY"));
        box.exec();
    });
}

} // namespace quellix::config
