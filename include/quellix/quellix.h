#pragma once

#include "error.h"
#include "quellix_global.h"
#include "range.h"

#include <QWidget>
#include <memory>

class QuellixPrivate;

/// A process-value readout for operator panels.
///
/// The host writes raw readings into InputValue; the control scales them
/// into DisplayValue (InputMultiplier × InputValue + InputOffset) and
/// OutputValue (OutputMultiplier × DisplayValue + OutputOffset), shows both,
/// and on every scan tick classifies DisplayValue against four limits. Its
/// configuration lives in the settings row of its name (the widget's
/// objectName) in SETTINGS.MDB; its events go to LOG.MDB. Both files lie in
/// the directory that was current when the control registered.
///
/// \code
///   auto *meter = new Quellix(panel);
///   meter->setObjectName("Meter1");
///   meter->initProperties();            // registers the control
///   meter->setInputValue(42.0);
/// \endcode
///
/// Property setters called directly or through setProperty() report
/// failures (the store refusing a write, an overflowing recompute, a value
/// out of range) as quellix::Error exceptions. Nothing the event loop runs
/// lets an error escape: a setter reached through a signal-slot connection,
/// the setValue() slot, the buttons and the timers report a failure on the
/// "quellix" logging category and as errorOccurred(), and the host goes on.
/// Wire readings to setValue():
///
/// \code
///   connect(sensor, &Sensor::reading, meter, &Quellix::setValue);
/// \endcode
class QUELLIX_EXPORT Quellix : public QWidget
{
    Q_OBJECT
    Q_CLASSINFO("DefaultEvent", "DisplayChange")
    Q_PROPERTY(bool AutoRedraw READ AutoRedraw WRITE setAutoRedraw DESIGNABLE false STORED false)
    Q_PROPERTY(bool Enabled READ Enabled WRITE setControlEnabled DESIGNABLE false STORED false)
    Q_PROPERTY(double InputMultiplier READ InputMultiplier WRITE setInputMultiplier DESIGNABLE false STORED false)
    Q_PROPERTY(double InputOffset READ InputOffset WRITE setInputOffset DESIGNABLE false STORED false)
    Q_PROPERTY(double OutputMultiplier READ OutputMultiplier WRITE setOutputMultiplier DESIGNABLE false STORED false)
    Q_PROPERTY(double OutputOffset READ OutputOffset WRITE setOutputOffset DESIGNABLE false STORED false)
    Q_PROPERTY(double DisplayValue READ DisplayValue WRITE setDisplayValue NOTIFY DisplayChange DESIGNABLE false STORED false)
    Q_PROPERTY(QString Units READ Units WRITE setUnits DESIGNABLE false STORED false)
    Q_PROPERTY(double OutputValue READ OutputValue WRITE setOutputValue NOTIFY OutputChange DESIGNABLE false STORED false)
    Q_PROPERTY(double InputValue READ InputValue WRITE setInputValue NOTIFY InputChange DESIGNABLE false STORED false)
    Q_PROPERTY(double CautionLimit READ CautionLimit WRITE setCautionLimit DESIGNABLE false STORED false)
    Q_PROPERTY(double WarningLimit READ WarningLimit WRITE setWarningLimit DESIGNABLE false STORED false)
    Q_PROPERTY(double LowerLimit READ LowerLimit WRITE setLowerLimit DESIGNABLE false STORED false)
    Q_PROPERTY(double UpperLimit READ UpperLimit WRITE setUpperLimit DESIGNABLE false STORED false)
    Q_PROPERTY(bool Ascending READ Ascending WRITE setAscending DESIGNABLE false STORED false)
    Q_PROPERTY(QString Password READ Password WRITE setPassword DESIGNABLE false STORED false)
    // Written by name as a plain int so that a rate beyond 16 bits is
    // refused instead of wrapped by the conversion to qint16.
    Q_PROPERTY(int Scanrate READ Scanrate WRITE setScanrate DESIGNABLE false STORED false)
    Q_PROPERTY(quellix::Range Range READ currentRange NOTIFY rangeChanged DESIGNABLE false STORED false)

public:
    /// Creates a control with its face; it registers on initProperties(),
    /// readProperties() or REGISTER().
    explicit Quellix(QWidget *parent = nullptr);
    ~Quellix() override;

    /// Kept for hosts that read it; the face always repaints itself.
    bool AutoRedraw() const;
    /// False while the control is switched off: no pipeline, scan or recording.
    bool Enabled() const;
    /// The factor from InputValue to DisplayValue.
    double InputMultiplier() const;
    /// The offset from InputValue to DisplayValue.
    double InputOffset() const;
    /// The factor from DisplayValue to OutputValue.
    double OutputMultiplier() const;
    /// The offset from DisplayValue to OutputValue.
    double OutputOffset() const;
    /// The scaled value the readout shows and the scan classifies.
    double DisplayValue() const;
    /// The units text shown under the readout.
    QString Units() const;
    /// The value in the output box.
    double OutputValue() const;
    /// The latest raw reading.
    double InputValue() const;
    /// The limit where the caution range begins.
    double CautionLimit() const;
    /// The limit where the warning range begins.
    double WarningLimit() const;
    /// The lower limit: at or beyond it the value is in the lower range.
    double LowerLimit() const;
    /// The upper limit: at or beyond it the value is in the upper range.
    double UpperLimit() const;
    /// True when the limits rise from lower to upper, false when they fall.
    bool Ascending() const;
    /// The password of the configuration dialog and the log clearing.
    QString Password() const;
    /// The scan interval in milliseconds.
    qint16 Scanrate() const;
    /// The range the latest scan tick found the displayed value in.
    quellix::Range currentRange() const;

    /// Creates the store files when missing, binds the control to the
    /// settings row of its name (adding one with factory values for a new
    /// name) and applies the row. Never throws.
    Q_INVOKABLE void REGISTER();

    /// The host's run-mode flag: true while a program runs, false while a
    /// form designer shows the control. True by default.
    bool userMode() const;
    /// Sets the run-mode flag; a control in design mode neither scans nor
    /// records.
    void setUserMode(bool running);

    /// Whether the hold button has frozen the readout.
    bool Onhold() const;

    /// The communications link indicator t_COMMLIGHT ("Link"). A host that
    /// feeds the control from a data link lights it while the link delivers
    /// (text in the colour of the settings field "COMM Indicator Color", as
    /// loaded at the latest registration) and dims it while the link is lost
    /// or failing (black text, as on a new control). Only the face changes:
    /// no event, no log record, no store access. Never throws.
    void setLinkUp(bool up);
    /// Whether the link indicator is lit; false on a new control.
    bool linkUp() const;

    // Lifecycle notifications of the host (resize, show and hide come from
    // the widget's own events; a change of objectName counts as an ambient
    // change). None of them throws.
    /// The host created the control. Does nothing.
    void initialize();
    /// First placement: shows the name and registers.
    void initProperties();
    /// Load of a saved instance: registers and applies Enabled to the face.
    void readProperties();
    /// The host saves: while running, writes the live values back into the
    /// settings row, logs "Shut Down" when system logging is on and stops
    /// the alarm sound.
    void writeProperties();
    /// The host's ambient properties (the name) changed: shows the name.
    void ambientChanged();
    /// The host is about to end the control. Does nothing.
    void terminate();

    // Property setters. Each stores the value, notifies the host, writes the
    // field through to the settings row, recomputes the pipeline and logs the
    // user action, in that order; a failure throws quellix::Error with the
    // steps already done left done (see the class comment for the event loop).
    /// Sets AutoRedraw.
    void setAutoRedraw(bool on);
    /// The control's own Enabled: gates the pipeline, the scan and recording,
    /// and enables or disables the thirteen operator elements of the face.
    void setControlEnabled(bool on);
    /// Sets InputMultiplier and recomputes DisplayValue.
    void setInputMultiplier(double v);
    /// Sets InputOffset and recomputes DisplayValue.
    void setInputOffset(double v);
    /// Sets OutputMultiplier and recomputes OutputValue.
    void setOutputMultiplier(double v);
    /// Sets OutputOffset and recomputes OutputValue.
    void setOutputOffset(double v);
    /// Sets DisplayValue (ignored on hold or disabled) and recomputes OutputValue.
    void setDisplayValue(double v);
    /// Sets the units text.
    void setUnits(const QString &units);
    /// Sets OutputValue (ignored while disabled).
    void setOutputValue(double v);
    /// Writes a raw reading and runs the pipeline; throws on an overflowing
    /// or not-a-number result. Hosts wiring signals use setValue().
    void setInputValue(double v);
    /// Sets the caution limit.
    void setCautionLimit(double v);
    /// Sets the warning limit.
    void setWarningLimit(double v);
    /// Sets the lower limit.
    void setLowerLimit(double v);
    /// Sets the upper limit.
    void setUpperLimit(double v);
    /// Sets the direction of the limits.
    void setAscending(bool ascending);
    /// Sets the password.
    void setPassword(const QString &password);
    /// Sets the scan interval, 1 to 32767 ms; anything else is refused with
    /// quellix::Error (InvalidValue) and nothing is stored. The timer takes
    /// the new interval at the next load of the settings.
    void setScanrate(int ms);

public Q_SLOTS:
    /// Writes a raw reading into InputValue. Never throws: a reading the
    /// pipeline cannot take (not a number, an overflow) is reported as
    /// errorOccurred("InputValue", ...) and on the logging category.
    void setValue(double reading);

Q_SIGNALS:
    /// A click on the border, a readout, an indicator or a button (after its action).
    void Click();
    /// A double click on the border, a readout or an indicator.
    void DblClick();
    /// The control was shown.
    void Show();
    /// The control was hidden.
    void Hide();
    /// The mouse moved over the border or the surface: buttons, modifiers, position in 1/1440 inch.
    void MouseMove(qint16 Button, qint16 Shift, float x, float y);
    /// A scan tick finished.
    void ScanComplete();
    /// InputValue, DisplayValue or OutputValue changed.
    void Change();
    /// The face was laid out for a new size.
    void Resize();
    /// A new InputValue went through the pipeline.
    void InputChange(double InputValue);
    /// DisplayValue changed.
    void DisplayChange(double DisplayValue);
    /// OutputValue changed, or the output box shows a new text.
    void OutputChange(double OutputValue);
    /// The scan found the value in the lower range for the first time since another range.
    void ReachLowerLimit(double DisplayValue);
    /// The scan found the value back in the normal range.
    void ReachNormalRange(double DisplayValue);
    /// The scan found the value in the caution range.
    void ReachCautionRange(double DisplayValue);
    /// The scan found the value in the warning range.
    void ReachWarningRange(double DisplayValue);
    /// The scan found the value in the upper range.
    void ReachUpperLimit(double DisplayValue);
    /// The operator froze the readout.
    void HoldOn();
    /// The operator released the readout.
    void HoldOff();

    /// The property-changed notification to the host, with the property's name.
    void propertyChanged(const QString &name);

    /// The scan found the displayed value in another range.
    void rangeChanged(quellix::Range range);

    /// A failure the event loop could not hand to a caller: a setter reached
    /// through a signal-slot connection, setValue(), a button, a timer, or a
    /// setting refused at registration. `property` names the property or
    /// action, `message` says what went wrong.
    void errorOccurred(const QString &property, const QString &message);

protected:
    bool event(QEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;

private:
    friend class QuellixPrivate;
    std::unique_ptr<QuellixPrivate> const d;
};
