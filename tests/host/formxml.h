#pragma once

// Designer forms of Quellix controls for the host tests.

#include <QFile>
#include <QList>
#include <QString>

#include <tuple>

namespace testforms {

/// A form of Quellix controls: name -> (channel, setup).
inline QString formXml(const QList<std::tuple<QString, QString, QString>> &controls)
{
    QString xml = QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ui version=\"4.0\"><class>F</class>"
                                 "<widget class=\"QWidget\" name=\"F\"><layout class=\"QHBoxLayout\" name=\"l\">");
    for (const auto &[name, channel, setup] : controls) {
        xml += QStringLiteral("<item><widget class=\"Quellix\" name=\"%1\">"
                              "<property name=\"channel\" stdset=\"0\"><string notr=\"true\">%2</string></property>"
                              "<property name=\"setup\" stdset=\"0\"><string notr=\"true\">%3</string></property>"
                              "</widget></item>")
                   .arg(name, channel.toHtmlEscaped(), setup.toHtmlEscaped());
    }
    return xml + QStringLiteral("</layout></widget></ui>");
}

/// Writes `xml` into DIR/form.ui; its path, empty when it cannot be written.
inline QString writeForm(const QString &dir, const QString &xml)
{
    const QString path = dir + QStringLiteral("/form.ui");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(xml.toUtf8()) < 0)
        return {};
    return path;
}

} // namespace testforms
