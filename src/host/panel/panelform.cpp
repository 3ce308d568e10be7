#include "panelform.h"

#include <quellix/quellix.h>
#include <quellix/store.h>

#include <QDir>
#include <QFile>
#include <QMetaProperty>
#include <QUiLoader>

namespace panel {

namespace {

// Where the controls keep their stores: the chosen location (a directory
// or a server), else the current directory they register from.
QString storeDir()
{
    const QString chosen = quellix::storeLocation();
    return chosen.isEmpty() ? QDir::currentPath() : chosen;
}

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

bool hasSettingsRow(const QString &dir, const QString &name)
{
    try {
        return !quellix::settingsField(dir, name, QStringLiteral("Control Name")).isNull();
    } catch (const std::exception &) {
        return false;
    }
}

std::optional<bool> yesNo(const QString &text)
{
    const QString t = text.toLower();
    if (t == u"yes" || t == u"true" || t == u"1" || t == u"on")
        return true;
    if (t == u"no" || t == u"false" || t == u"0" || t == u"off")
        return false;
    return std::nullopt;
}

// A settings value from setup text: yes/no, a number (C locale), or text.
QVariant settingsValue(const QString &text)
{
    const QString t = text.toLower();
    if (t == u"yes" || t == u"true")
        return true;
    if (t == u"no" || t == u"false")
        return false;
    bool ok = false;
    const qlonglong whole = text.toLongLong(&ok);
    if (ok)
        return whole;
    const double v = text.toDouble(&ok);
    if (ok)
        return v;
    return text;
}

// Applies the first-run setup of a newly registered control. Returns
// whether a settings field was written (the row must be loaded again).
bool applySetup(Quellix *control, const QString &text, Reporter &report)
{
    const QString name = control->objectName();
    QString why;
    const auto items = parseSetup(text, &why);
    if (!items) {
        report(QStringLiteral("%1: setup ignored: %2").arg(name, why));
        return false;
    }
    bool fieldsWritten = false;
    const QMetaObject *mo = control->metaObject();
    for (const auto &[key, value] : *items) {
        try {
            const int index = mo->indexOfProperty(key.toLatin1().constData());
            if (index >= mo->propertyOffset()) {
                const QMetaProperty prop = mo->property(index);
                QVariant v = value;
                if (prop.metaType() == QMetaType::fromType<bool>()) {
                    const auto b = yesNo(value);
                    if (!b)
                        throw std::runtime_error("expected yes or no");
                    v = *b;
                } else if (prop.metaType() == QMetaType::fromType<double>() || prop.metaType() == QMetaType::fromType<int>()) {
                    bool ok = false;
                    const double d = value.toDouble(&ok);
                    if (!ok)
                        throw std::runtime_error("not a number");
                    v = prop.metaType() == QMetaType::fromType<int>() ? QVariant(int(d)) : QVariant(d);
                }
                if (!prop.isWritable() || !prop.write(control, v))
                    throw std::runtime_error("the property cannot take it");
            } else {
                quellix::setSettingsField(storeDir(), name, key, settingsValue(value));
                fieldsWritten = true;
            }
        } catch (const std::exception &e) {
            report(QStringLiteral("%1: setup \"%2=%3\" ignored: %4").arg(name, key, value, QString::fromUtf8(e.what())));
        }
    }
    return fieldsWritten;
}

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

void registerControls(const QList<Quellix *> &controls, Reporter &report)
{
    const QString dir = storeDir();
    for (Quellix *control : controls) {
        const QString name = control->objectName();
        const bool known = hasSettingsRow(dir, name);
        control->readProperties(); // registers; never throws
        const QString setup = control->property("setup").toString();
        if (!known && !setup.trimmed().isEmpty() && applySetup(control, setup, report))
            control->readProperties();
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
