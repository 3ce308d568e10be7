#include "settingsrow.h"

#include "error.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace quellix::store {

namespace {

[[noreturn]] void refuse(const FieldDef &f, const QString &why)
{
    throw Error(Error::Kind::InvalidValue, QStringLiteral("Field '%1': %2").arg(QLatin1String(f.name), why));
}

[[noreturn]] void wrongType(const FieldDef &f, const QVariant &v)
{
    refuse(f, QStringLiteral("data type conversion error: a value of type %1 does not fit this field")
                  .arg(QLatin1String(v.metaType().name() ? v.metaType().name() : "unknown")));
}

// What a value is, as far as a field cares.
enum class Shape { Bool, Signed, Unsigned, Floating, Text, Other };

Shape shapeOf(const QVariant &v)
{
    switch (v.typeId()) {
    case QMetaType::Bool:
        return Shape::Bool;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::Long:
    case QMetaType::LongLong:
    case QMetaType::Char:
    case QMetaType::SChar:
        return Shape::Signed;
    case QMetaType::UInt:
    case QMetaType::UShort:
    case QMetaType::ULong:
    case QMetaType::ULongLong:
    case QMetaType::UChar:
        return Shape::Unsigned;
    case QMetaType::Double:
    case QMetaType::Float:
        return Shape::Floating;
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::QChar:
        return Shape::Text;
    default:
        return Shape::Other;
    }
}

// The number of characters (code points) of a text, as the engine counts them.
qsizetype characters(const QString &text)
{
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!(text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()))
            ++n;
    }
    return n;
}

double finiteNumber(const FieldDef &f, const QVariant &v)
{
    const double d = v.toDouble();
    if (!std::isfinite(d))
        refuse(f, QStringLiteral("%1 is not a finite number").arg(d));
    return d;
}

QVariant toText(const FieldDef &f, const QVariant &v)
{
    QString text;
    switch (shapeOf(v)) {
    case Shape::Text:
        text = v.toString();
        break;
    case Shape::Signed:
        text = QString::number(v.toLongLong());
        break;
    case Shape::Unsigned:
        text = QString::number(v.toULongLong());
        break;
    case Shape::Floating:
        // The shortest text that reads back as the same number.
        text = QString::number(finiteNumber(f, v), 'g', QLocale::FloatingPointShortest);
        break;
    default:
        wrongType(f, v);
    }
    const qsizetype n = characters(text);
    if (n > f.size)
        refuse(f, QStringLiteral("the field is too small to accept the amount of data (%1 of at most %2 characters)")
                      .arg(n)
                      .arg(f.size));
    return text;
}

QVariant toInteger(const FieldDef &f, const QVariant &v)
{
    const bool small = f.type == FieldType::Int16;
    const qint64 lo = small ? std::numeric_limits<qint16>::min() : std::numeric_limits<qint32>::min();
    const qint64 hi = small ? std::numeric_limits<qint16>::max() : std::numeric_limits<qint32>::max();
    auto outOfRange = [&](const QString &value) {
        refuse(f, QStringLiteral("overflow: %1 is outside %2 to %3").arg(value).arg(lo).arg(hi));
    };
    qint64 i = 0;
    switch (shapeOf(v)) {
    case Shape::Bool:
        i = v.toBool() ? 1 : 0;
        break;
    case Shape::Signed:
        i = v.toLongLong();
        break;
    case Shape::Unsigned: {
        const quint64 u = v.toULongLong();
        if (u > quint64(hi))
            outOfRange(QString::number(u));
        i = qint64(u);
        break;
    }
    case Shape::Floating: {
        // A fractional number is rounded to the nearest whole number, halves
        // to even: the control's limits are doubles, the row keeps integers.
        const double r = std::nearbyint(finiteNumber(f, v));
        if (r < double(lo) || r > double(hi))
            outOfRange(QString::number(v.toDouble()));
        i = qint64(r);
        break;
    }
    default:
        wrongType(f, v);
    }
    if (i < lo || i > hi)
        outOfRange(QString::number(i));
    return QVariant(int(i));
}

QVariant toDouble(const FieldDef &f, const QVariant &v)
{
    // 2^63: the first double beyond every qint64, and 2^64 beyond every quint64.
    constexpr double kTwo63 = 9223372036854775808.0;
    switch (shapeOf(v)) {
    case Shape::Bool:
        return QVariant(v.toBool() ? 1.0 : 0.0);
    case Shape::Signed: {
        const qint64 i = v.toLongLong();
        const double d = double(i);
        if (d >= kTwo63 || qint64(d) != i)
            refuse(f, QStringLiteral("%1 has no exact double").arg(i));
        return QVariant(d);
    }
    case Shape::Unsigned: {
        const quint64 u = v.toULongLong();
        const double d = double(u);
        if (d >= 2 * kTwo63 || quint64(d) != u)
            refuse(f, QStringLiteral("%1 has no exact double").arg(u));
        return QVariant(d);
    }
    case Shape::Floating:
        return QVariant(finiteNumber(f, v));
    default:
        wrongType(f, v);
    }
}

QVariant toYesNo(const FieldDef &f, const QVariant &v)
{
    switch (shapeOf(v)) {
    case Shape::Bool:
        return QVariant(v.toBool());
    case Shape::Signed:
    case Shape::Unsigned:
    case Shape::Floating: {
        const double d = v.toDouble();
        if (d == 0.0 || d == 1.0)
            return QVariant(d == 1.0);
        refuse(f, QStringLiteral("a yes/no field holds 0 or 1, not %1").arg(v.toString()));
    }
    default:
        wrongType(f, v);
    }
}

} // namespace

QVariant toFieldValue(const FieldDef &field, const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return {};
    switch (field.type) {
    case FieldType::Text:
        return toText(field, value);
    case FieldType::Int16:
    case FieldType::Int32:
        return toInteger(field, value);
    case FieldType::Double:
        return toDouble(field, value);
    case FieldType::YesNo:
        return toYesNo(field, value);
    case FieldType::Counter:
        break;
    }
    refuse(field, QStringLiteral("the field is assigned by the store and cannot be written"));
}

void SettingsRow::set(Field field, const QVariant &value)
{
    slot(field) = toFieldValue(schema::definition(field), value);
}

void SettingsRow::setRead(Field field, const QVariant &stored)
{
    try {
        slot(field) = toFieldValue(schema::definition(field), stored);
    } catch (const Error &) {
        slot(field) = QVariant();
    }
}

QString SettingsRow::controlName() const
{
    return value(Field::ControlName).toString();
}

QVector<Field> checkedFields(const SettingsRow &row)
{
    QVector<Field> fields;
    for (Field f : schema::settingsFields()) {
        if (row.has(f)) {
            toFieldValue(schema::definition(f), row.value(f));
            fields << f;
        }
    }
    return fields;
}

SettingsRow factoryRow(const QString &controlName)
{
    SettingsRow row;
    for (Field f : schema::settingsFields())
        row.set(f, schema::factoryValue(f, controlName));
    return row;
}

} // namespace quellix::store
