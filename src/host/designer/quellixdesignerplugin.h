#pragma once

#include <QIcon>
#include <QObject>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>

/// Puts the Quellix control into Qt Designer's widget box.
///
/// The widgets it makes are in design mode (userMode() false) and are not
/// registered, so designing a form never touches SETTINGS.MDB or LOG.MDB:
/// a control's configuration lives in the settings row of its name, not in
/// the form. The program that shows the form registers each control
/// (initProperties() or readProperties()) after setupUi().
///
/// Each placed control gets a dynamic string property "channel" (default
/// "sim://sine"), edited in the property editor and saved in the .ui file:
/// quellix-panel feeds the control from that address.
///
/// Designer finds the plugin in the "designer" folder of a plugin path, for
/// example QT_PLUGIN_PATH=<build>/src/host.
class QuellixDesignerPlugin : public QObject, public QDesignerCustomWidgetInterface
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QDesignerCustomWidgetInterface_iid)
    Q_INTERFACES(QDesignerCustomWidgetInterface)

public:
    explicit QuellixDesignerPlugin(QObject *parent = nullptr);

    QString name() const override;
    QString group() const override;
    QString toolTip() const override;
    QString whatsThis() const override;
    QString includeFile() const override;
    QIcon icon() const override;
    bool isContainer() const override;
    QString domXml() const override;

    /// A new, unregistered Quellix in design mode.
    QWidget *createWidget(QWidget *parent) override;

    bool isInitialized() const override;
    void initialize(QDesignerFormEditorInterface *core) override;

private:
    bool m_initialized = false;
    mutable QIcon m_icon;
};
