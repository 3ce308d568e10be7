// The hosts' pure rules: the Quellix controls of a Designer form read
// without widgets, and setup texts.

#include "formreader.h"
#include "setup.h"

#include <QTest>

using namespace host;

namespace {

// A Quellix element with its channel and setup properties.
QString quellix(const QString &name, const QString &channel, const QString &setup, const QString &inner = {})
{
    return QStringLiteral("<widget class=\"Quellix\" name=\"%1\">"
                          "<property name=\"geometry\"><rect><x>0</x><y>0</y><width>9</width><height>9</height></rect></property>"
                          "<property name=\"channel\" stdset=\"0\"><string notr=\"true\">%2</string></property>"
                          "<property name=\"setup\" stdset=\"0\"><string>%3</string></property>%4</widget>")
        .arg(name, channel.toHtmlEscaped(), setup.toHtmlEscaped(), inner);
}

QString ui(const QString &body)
{
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ui version=\"4.0\"><class>F</class>"
                          "<widget class=\"QWidget\" name=\"F\">%1</widget>"
                          "<customwidgets><customwidget><class>Quellix</class><extends>QWidget</extends>"
                          "<header>quellix/quellix.h</header></customwidget></customwidgets></ui>")
        .arg(body);
}

} // namespace

class TestHostRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formControls_data()
    {
        QTest::addColumn<QString>("xml");
        QTest::addColumn<QString>("expect"); // "NAME|channel|setup" joined by ";", or "error:" + a word
        QTest::newRow("good form") << ui(QStringLiteral("<layout class=\"QHBoxLayout\" name=\"l\"><item>")
                                         + quellix("TT204", "udp://?timeout=2", "Units=°C; Scanrate=100")
                                         + QStringLiteral("</item><item>") + quellix("PT310", "sim://sine?min=0&max=9", "")
                                         + QStringLiteral("</item></layout>"))
                                   << "TT204|udp://?timeout=2|Units=°C; Scanrate=100;PT310|sim://sine?min=0&max=9|";
        // Containers and layouts at any depth, in form order; another
        // widget's "channel" and a widget inside a control are not the
        // control's.
        QTest::newRow("nested widgets")
            << ui(QStringLiteral("<layout class=\"QVBoxLayout\" name=\"v\"><item><widget class=\"QGroupBox\" name=\"g\">"
                                 "<property name=\"channel\" stdset=\"0\"><string>sim://ramp</string></property>"
                                 "<layout class=\"QGridLayout\" name=\"gl\"><item row=\"0\" column=\"0\">")
                  + quellix("A", "udp://", "", QStringLiteral("<widget class=\"QLabel\" name=\"x\"><property name=\"setup\">"
                                                                 "<string>Units=no</string></property></widget>"))
                  + QStringLiteral("</item></layout></widget></item><item><widget class=\"Quellix\" name=\"B\"/></item>"
                                   "</layout>"))
            << "A|udp://|;B||";
        QTest::newRow("no controls") << ui(QStringLiteral("<widget class=\"QLabel\" name=\"x\"/>")) << "error:no Quellix";
        QTest::newRow("broken XML") << ui(quellix("A", "udp://", "")).replace(QStringLiteral("</ui>"), QString())
                                    << "error:line";
        QTest::newRow("not a form") << "<html><widget class=\"Quellix\" name=\"A\"/></html>" << "error:Designer";
    }
    void formControls()
    {
        QFETCH(QString, xml);
        QFETCH(QString, expect);
        QString error;
        const auto controls = readFormControls(xml.toUtf8(), &error);
        if (expect.startsWith(u"error:")) {
            QVERIFY(!controls);
            QVERIFY2(error.contains(expect.mid(6)), qPrintable(error));
            return;
        }
        QVERIFY2(controls, qPrintable(error));
        QStringList got;
        for (const FormControl &c : *controls)
            got << c.name + u'|' + c.channel + u'|' + c.setup;
        QCOMPARE(got.join(u';'), expect);
    }

    void setupTexts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expect");
        QTest::newRow("items") << " Units = bar ; Ascending=no;;Log Every Time Interval=1 Minute "
                               << "Units|bar;Ascending|no;Log Every Time Interval|1 Minute";
        QTest::newRow("empty value") << "Units=" << "Units|";
        QTest::newRow("no equals") << "Units bar" << "error";
        QTest::newRow("no key") << "=5" << "error";
    }
    void setupTexts()
    {
        QFETCH(QString, text);
        QFETCH(QString, expect);
        QString error;
        const auto items = parseSetup(text, &error);
        if (expect == u"error") {
            QVERIFY(!items);
            QVERIFY(error.contains(u"Key=Value"));
            return;
        }
        QVERIFY(items);
        QStringList got;
        for (const auto &[k, v] : *items)
            got << k + u'|' + v;
        QCOMPARE(got.join(u';'), expect);
    }
};

QTEST_APPLESS_MAIN(TestHostRules)
#include "tst_hostrules.moc"
