#include "panelform.h"

#include "setup.h"

#include <quellix/quellix.h>

#include <QFile>
#include <QUiLoader>

namespace panel {

namespace {

// QUiLoader that makes Quellix itself: the panel links the control and
// needs no Designer plugin at run time.
class FormLoader : public QUiLoader
{
public:
    QWidget *createWidget(const QString &className, QWidget *parent, const QString &name) override
    {
        if (className == u"Quellix") {
            auto *control = new Quellix(parent);
            control->setObjectName(name);
            return control;
        }
        return QUiLoader::createWidget(className, parent, name);
    }
};

} // namespace

std::unique_ptr<QWidget> loadForm(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return nullptr;
    }
    FormLoader loader;
    std::unique_ptr<QWidget> form(loader.load(&file));
    if (!form) {
        *error = QStringLiteral("cannot load %1: %2").arg(path, loader.errorString());
        return nullptr;
    }
    return form;
}

QList<Quellix *> controlsOf(QWidget *form)
{
    return form->findChildren<Quellix *>();
}

QList<channels::Target> channelTargets(const QList<Quellix *> &controls)
{
    QList<channels::Target> targets;
    for (Quellix *control : controls) {
        targets.append(channels::Target{
            control->objectName(), control->property("channel").toString(), control,
            [control](double v) { control->setValue(v); }, [control](bool up) { control->setLinkUp(up); }});
    }
    return targets;
}

void registerControls(const QList<Quellix *> &controls, channels::Reporter &report)
{
    // A loaded form's control gets its load notification, which registers.
    for (Quellix *control : controls) {
        host::registerWithSetup(control, control->property("setup").toString(), report,
                                [control](QObject *) { control->readProperties(); });
    }
}

void saveControls(const QList<QPointer<Quellix>> &controls)
{
    for (const QPointer<Quellix> &control : controls) {
        if (control)
            control->writeProperties(); // never throws
    }
}

} // namespace panel
