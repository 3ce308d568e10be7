#include "quellixdesignerplugin.h"

#include <quellix/quellix.h>

#include <QPixmap>

namespace {

// The size a control is placed with: 2640 × 2640 host units at 15 units
// per pixel.
constexpr int kDefaultSide = 176;

} // namespace

QuellixDesignerPlugin::QuellixDesignerPlugin(QObject *parent) : QObject(parent) {}

QString QuellixDesignerPlugin::name() const
{
    return QStringLiteral("Quellix");
}

QString QuellixDesignerPlugin::group() const
{
    return QStringLiteral("Quellix Process Controls");
}

QString QuellixDesignerPlugin::toolTip() const
{
    return QStringLiteral("Process-value readout with limits, alarms and logging");
}

QString QuellixDesignerPlugin::whatsThis() const
{
    return QStringLiteral(
        "A process-value readout. The program writes raw readings into InputValue; the control scales "
        "them, shows them with their units and classifies them against four limits, with indicators, "
        "alarm sounds, prompts and a log. Its configuration is kept in SETTINGS.MDB under the control's "
        "object name, not in the form: call initProperties() (or readProperties()) on each control after "
        "setupUi() to register it from the program's current directory.");
}

QString QuellixDesignerPlugin::includeFile() const
{
    return QStringLiteral("quellix/quellix.h");
}

QIcon QuellixDesignerPlugin::icon() const
{
    if (m_icon.isNull()) {
        // The control's own face, drawn by a design-mode instance that is
        // never registered.
        Quellix face;
        face.setUserMode(false);
        face.resize(kDefaultSide, kDefaultSide);
        const QPixmap pixmap = face.grab();
        if (!pixmap.isNull())
            m_icon = QIcon(pixmap);
    }
    return m_icon;
}

bool QuellixDesignerPlugin::isContainer() const
{
    return false;
}

// A placed control carries a dynamic string property "channel", which
// Designer's property editor shows and edits and the .ui file keeps: the
// address quellix-panel reads the control's values from. It is the form's
// and the panel's; the control itself never reads it, so its behaviour and
// its stores stay as they are.
QString QuellixDesignerPlugin::domXml() const
{
    return QStringLiteral(R"(<ui language="c++" displayname="Quellix">
 <widget class="Quellix" name="quellix">
  <property name="geometry">
   <rect>
    <x>0</x>
    <y>0</y>
    <width>%1</width>
    <height>%1</height>
   </rect>
  </property>
  <property name="channel" stdset="0">
   <string notr="true">sim://sine</string>
  </property>
 </widget>
</ui>
)")
        .arg(kDefaultSide);
}

QWidget *QuellixDesignerPlugin::createWidget(QWidget *parent)
{
    auto *control = new Quellix(parent);
    // Design mode, and no registration: a control being designed neither
    // scans nor records, and leaves the store files alone.
    control->setUserMode(false);
    return control;
}

bool QuellixDesignerPlugin::isInitialized() const
{
    return m_initialized;
}

void QuellixDesignerPlugin::initialize(QDesignerFormEditorInterface *core)
{
    if (m_initialized)
        return;
    Q_UNUSED(core);
    m_initialized = true;
}
