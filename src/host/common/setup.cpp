#include "setup.h"

#include "channels.h"

#include <quellix/store.h>

#include <QDir>
#include <QMetaObject>
#include <QMetaProperty>
#include <QObject>
#include <QVariant>

#include <stdexcept>

namespace host {

namespace {

// Where the controls keep their stores: the chosen location (a directory
// or a server), else the current directory they register from.
QString storeDir()
{
    const QString chosen = quellix::storeLocation();
    return chosen.isEmpty() ? QDir::currentPath() : chosen;
}

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
// Only the properties the control's own class declares count as
// properties (not QObject's or QWidget's); every other key is a settings
// field.
bool applySetup(QObject *control, const QString &text, channels::Reporter &report)
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

std::optional<QList<QPair<QString, QString>>> parseSetup(const QString &text, QString *error)
{
    QList<QPair<QString, QString>> items;
    for (const QString &item : text.split(QLatin1Char(';'))) {
        const QString trimmed = item.trimmed();
        if (trimmed.isEmpty())
            continue;
        const qsizetype eq = trimmed.indexOf(QLatin1Char('='));
        if (eq <= 0 || trimmed.left(eq).trimmed().isEmpty()) {
            if (error)
                *error = QStringLiteral("\"%1\" is not Key=Value").arg(trimmed);
            return std::nullopt;
        }
        items.append({trimmed.left(eq).trimmed(), trimmed.mid(eq + 1).trimmed()});
    }
    return items;
}

void registerWithSetup(QObject *control, const QString &setup, channels::Reporter &report,
                       const std::function<void(QObject *)> &registerIt)
{
    const auto registerOnce = [&] {
        if (registerIt)
            registerIt(control);
        else
            QMetaObject::invokeMethod(control, "REGISTER", Qt::DirectConnection); // never throws
    };
    const bool known = hasSettingsRow(storeDir(), control->objectName());
    registerOnce();
    if (!known && !setup.trimmed().isEmpty() && applySetup(control, setup, report))
        registerOnce();
}

} // namespace host
