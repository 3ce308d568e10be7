// The Qt Designer plugin: loaded as Designer loads it, it describes the
// control, offers a default placement and makes controls that leave the
// store files alone while a form is designed.

#include <quellix/quellix.h>
#include <quellix/store.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMetaProperty>
#include <QPluginLoader>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <QUiLoader>

#include <memory>

namespace {

// A fresh current directory for one test, with the stand-by messages
// recorded instead of shown.
class StoreDir
{
public:
    StoreDir() : m_previous(QDir::currentPath())
    {
        QDir::setCurrent(m_dir.path());
        quellix::setInformationHandler([this](const QString &, const QString &title) { messages << title; });
    }
    ~StoreDir()
    {
        quellix::setInformationHandler(nullptr);
        QDir::setCurrent(m_previous);
    }
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.path() + QLatin1Char('/') + name; }
    QStringList messages;

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// The plugin's build folder, seen from the tests' build folder.
QString pluginFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../src/host/designer"));
}

QStringList entriesOf(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

struct DefaultWidget
{
    QString className;
    QString objectName;
    QRect geometry;
    QStringList properties;
    bool rootIsUi = false;
};

// The widget of a Designer widget-box entry, read the way Designer reads it.
DefaultWidget parseDomXml(const QString &xml, QString *error)
{
    DefaultWidget w;
    QXmlStreamReader r(xml);
    int widgetDepth = 0;
    QString property;
    QString rectField;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            const QStringView tag = r.name();
            if (tag == u"ui" && !w.rootIsUi && w.className.isEmpty()) {
                w.rootIsUi = true;
            } else if (tag == u"widget") {
                if (++widgetDepth == 1) {
                    w.className = r.attributes().value(QLatin1StringView("class")).toString();
                    w.objectName = r.attributes().value(QLatin1StringView("name")).toString();
                }
            } else if (tag == u"property" && widgetDepth == 1) {
                property = r.attributes().value(QLatin1StringView("name")).toString();
                w.properties << property;
            } else if (property == u"geometry") {
                rectField = tag.toString();
            }
        } else if (r.isCharacters() && !r.isWhitespace() && property == u"geometry") {
            const int v = r.text().toInt();
            if (rectField == u"x") w.geometry.moveLeft(v);
            else if (rectField == u"y") w.geometry.moveTop(v);
            else if (rectField == u"width") w.geometry.setWidth(v);
            else if (rectField == u"height") w.geometry.setHeight(v);
        } else if (r.isEndElement()) {
            if (r.name() == u"widget")
                --widgetDepth;
            else if (r.name() == u"property")
                property.clear();
        }
    }
    if (r.hasError())
        *error = r.errorString();
    return w;
}

} // namespace

class TestDesignerPlugin : public QObject
{
    Q_OBJECT

    QPluginLoader m_loader;
    QDesignerCustomWidgetInterface *m_plugin = nullptr;

private Q_SLOTS:
    void initTestCase()
    {
        const QString folder = pluginFolder();
        // CMake makes the folder only when it builds the plugin, which it
        // does when Qt's Designer development files are installed.
        if (!QDir(folder).exists())
            QSKIP(qPrintable(QStringLiteral("No Designer plugin in this build (%1 missing): Qt6Designer was not "
                                            "found when configuring, or QUELLIX_BUILD_DESIGNER_PLUGIN is OFF; "
                                            "install qt6-tools-dev to build it")
                                 .arg(folder)));
        m_loader.setFileName(folder + QStringLiteral("/quellixdesigner"));
        QVERIFY2(m_loader.load(), qPrintable(QStringLiteral("the plugin is configured but does not load "
                                                            "(is the quellixdesigner target built?): ")
                                             + m_loader.errorString()));
        m_plugin = qobject_cast<QDesignerCustomWidgetInterface *>(m_loader.instance());
        QVERIFY2(m_plugin, "the plugin's instance is not a QDesignerCustomWidgetInterface");
    }

    void describesTheControl()
    {
        QCOMPARE(m_loader.metaData().value(QStringLiteral("IID")).toString(),
                 QStringLiteral(QDesignerCustomWidgetInterface_iid));
        QCOMPARE(m_plugin->name(), QStringLiteral("Quellix"));
        QCOMPARE(m_plugin->includeFile(), QStringLiteral("quellix/quellix.h"));
        QVERIFY(!m_plugin->isContainer());
        QVERIFY(!m_plugin->group().trimmed().isEmpty());
        QVERIFY(!m_plugin->toolTip().trimmed().isEmpty());
        QVERIFY(!m_plugin->whatsThis().trimmed().isEmpty());
        // The widget box shows the control's own face.
        const QIcon icon = m_plugin->icon();
        QVERIFY(!icon.isNull());
        QVERIFY(!icon.availableSizes().isEmpty());
    }

    // Designer places a new control from this text; the class must be the
    // plugin's and the form must carry nothing of the control's settings.
    void defaultPlacementIs176PixelsSquare()
    {
        QString error;
        const DefaultWidget w = parseDomXml(m_plugin->domXml(), &error);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QVERIFY(w.rootIsUi);
        QCOMPARE(w.className, m_plugin->name());
        QVERIFY(!w.objectName.isEmpty());
        QCOMPARE(w.geometry.size(), QSize(176, 176)); // 2640 × 2640 host units
        // Besides its place, only the channel quellix-panel reads.
        QCOMPARE(w.properties, (QStringList{QStringLiteral("geometry"), QStringLiteral("channel")}));
    }

    // What Designer does with a new control: create it in the form, name it,
    // size it, show it and keep it for a while.
    void designTimeControlLeavesTheStoresAlone()
    {
        StoreDir dir;
        QWidget form;
        form.resize(400, 300);

        QWidget *made = m_plugin->createWidget(&form);
        QVERIFY(made);
        QPointer<Quellix> control = qobject_cast<Quellix *>(made);
        QVERIFY2(control, made->metaObject()->className());
        QCOMPARE(control->parentWidget(), &form);
        QVERIFY(!control->userMode());

        control->setObjectName(QStringLiteral("quellix"));
        control->setGeometry(0, 0, 176, 176);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QTest::qWait(1200); // past the first scan tick

        QCOMPARE(entriesOf(dir.path()), QStringList());
        QCOMPARE(dir.messages, QStringList());
        QCOMPARE(quellix::storeDirectory(), QString());
        // The face accepts the default size as it is.
        QCOMPARE(control->size(), QSize(176, 176));

        delete made;
        QVERIFY(!control);
        QCOMPARE(entriesOf(dir.path()), QStringList());
    }

    // A placed control's channel, as Designer keeps it in the .ui file (the
    // widget-box entry with the value the property editor set), comes back
    // on the control the form loader makes with the plugin; that control
    // is in design mode and leaves the stores alone.
    void channelSurvivesSaveAndLoad()
    {
        StoreDir dir;
        const QString channel = QStringLiteral("modbus+tcp://plc:502/1/holding/10?type=float32&amp;order=cdab");
        QString entry = m_plugin->domXml();
        entry = entry.mid(entry.indexOf(QStringLiteral("<widget")));
        entry = entry.left(entry.lastIndexOf(QStringLiteral("</ui>")));
        QVERIFY(entry.contains(QStringLiteral(">sim://sine<")));
        entry.replace(QStringLiteral(">sim://sine<"), QLatin1Char('>') + channel + QLatin1Char('<'));
        entry.replace(QStringLiteral("name=\"quellix\""), QStringLiteral("name=\"Boiler1\""));
        const QString file = dir.file(QStringLiteral("form.ui"));
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QStringLiteral("<ui version=\"4.0\"><class>Form</class><widget class=\"QWidget\" name=\"Form\">%1"
                                   "</widget></ui>").arg(entry).toUtf8());
        }
        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QUiLoader loader;
        loader.clearPluginPaths();
        loader.addPluginPath(pluginFolder());
        std::unique_ptr<QWidget> loaded(loader.load(&f));
        QVERIFY2(loaded, qPrintable(loader.errorString()));
        auto *back = loaded->findChild<Quellix *>(QStringLiteral("Boiler1"));
        QVERIFY(back);
        QCOMPARE(back->property("channel").toString(),
                 QStringLiteral("modbus+tcp://plc:502/1/holding/10?type=float32&order=cdab"));
        QVERIFY(!back->userMode());
        QCOMPARE(back->size(), QSize(176, 176));
        QCOMPARE(entriesOf(dir.path()), QStringList{QStringLiteral("form.ui")});
    }

    // The design-time control is a full control: only an explicit
    // registration binds it to the stores of the current directory.
    void explicitRegistrationStillCreatesTheStores()
    {
        StoreDir dir;
        std::unique_ptr<QWidget> made(m_plugin->createWidget(nullptr));
        auto *control = qobject_cast<Quellix *>(made.get());
        QVERIFY(control);
        control->setObjectName(QStringLiteral("quellix"));
        QCOMPARE(entriesOf(dir.path()), QStringList());

        control->REGISTER();

        QVERIFY(QFile::exists(dir.file(QStringLiteral("SETTINGS.MDB"))));
        QVERIFY(QFile::exists(dir.file(QStringLiteral("LOG.MDB"))));
        QCOMPARE(quellix::settingsField(dir.path(), QStringLiteral("quellix"), QStringLiteral("Control Name")),
                 QVariant(QStringLiteral("quellix")));
        QVERIFY(!control->userMode());
    }
};

QTEST_MAIN(TestDesignerPlugin)
#include "tst_designerplugin.moc"
