#include "formreader.h"

#include <QFile>
#include <QXmlStreamReader>

#include <vector>

namespace host {

std::optional<QList<FormControl>> readFormControls(QByteArrayView xml, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return std::nullopt;
    };
    // Each open <widget> with its control (index into `controls`, -1 when
    // it is not a Quellix), and each open element's name, so a <property>
    // counts only as the direct child of a Quellix <widget>.
    struct Open
    {
        QString element;
        int control = -1;
    };
    std::vector<Open> open;
    QList<FormControl> controls;
    QString property;   // the Quellix property being read, empty when none
    int propertyOf = -1;
    bool sawUi = false;

    QXmlStreamReader reader(xml.toByteArray());
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::StartElement) {
            const QString element = reader.name().toString();
            if (open.empty()) {
                if (element != u"ui")
                    return fail(QStringLiteral("not a Designer form: the document is <%1>, not <ui>").arg(element));
                sawUi = true;
            }
            Open o{element, -1};
            const QXmlStreamAttributes attrs = reader.attributes();
            if (element == u"widget" && attrs.value(QLatin1String("class")) == u"Quellix") {
                controls.append(FormControl{attrs.value(QLatin1String("name")).toString(), {}, {}});
                o.control = int(controls.size() - 1);
            } else if (element == u"property" && !open.empty() && open.back().element == u"widget"
                       && open.back().control >= 0) {
                const QStringView name = attrs.value(QLatin1String("name"));
                if (name == u"channel" || name == u"setup") {
                    property = name.toString();
                    propertyOf = open.back().control;
                }
            } else if (element == u"string" && !property.isEmpty() && open.size() >= 1
                       && open.back().element == u"property") {
                const QString text = reader.readElementText(QXmlStreamReader::IncludeChildElements);
                FormControl &c = controls[propertyOf];
                (property == u"channel" ? c.channel : c.setup) = text;
                continue; // readElementText consumed the end of <string>
            }
            open.push_back(o);
        } else if (token == QXmlStreamReader::EndElement) {
            if (!open.empty()) {
                if (open.back().element == u"property")
                    property.clear();
                open.pop_back();
            }
        }
    }
    if (reader.hasError()) {
        return fail(QStringLiteral("line %1, column %2: %3")
                        .arg(reader.lineNumber())
                        .arg(reader.columnNumber())
                        .arg(reader.errorString()));
    }
    if (!sawUi)
        return fail(QStringLiteral("not a Designer form: no <ui> element"));
    if (controls.isEmpty())
        return fail(QStringLiteral("the form holds no Quellix control"));
    for (const FormControl &c : std::as_const(controls)) {
        if (c.name.trimmed().isEmpty())
            return fail(QStringLiteral("a Quellix control of the form has no name"));
    }
    return controls;
}

std::optional<QList<FormControl>> readFormFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("cannot open %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QString why;
    auto controls = readFormControls(file.readAll(), &why);
    if (!controls && error)
        *error = QStringLiteral("cannot read %1: %2").arg(path, why);
    return controls;
}

} // namespace host
