#pragma once

#include "error.h"
#include "quellix_core_global.h"
#include "range.h"

#include <QObject>
#include <QString>

#include <memory>

namespace quellix {

class EnginePrivate;

/// What an alarm prompt asks of the operator: the caption and text of the
/// prompt window, and the control's values at the moment the range was
/// entered (the acknowledgement record carries them).
struct QUELLIX_CORE_EXPORT PromptRequest
{
    QString controlName;
    QString caption; ///< the control's name and " Upper Limit Reached" or the like
    QString text;    ///< the configured prompt text
    double inputValue = 0;
    double displayValue = 0;
    double outputValue = 0;
    double inputMultiplier = 0;
    double inputOffset = 0;
    double outputMultiplier = 0;
    double outputOffset = 0;
    bool holdStatus = false;
    bool logUserActions = false;
};

/// One control without a face: its state, value pipeline, scan timer and
/// limit evaluation, alarm decisions, recording, registration and stores.
/// It needs only QtCore and runs under QCoreApplication; the Quellix widget
/// is one of these plus a face that draws what it says.
///
/// \code
///   auto *engine = new quellix::Engine(&app);
///   engine->setObjectName("TT204");
///   engine->REGISTER();                 // binds it to its settings row
///   engine->setValue(97.5);
/// \endcode
///
/// The properties, setters, events and error regime are those of Quellix:
/// a setter called directly or through setProperty() throws quellix::Error;
/// one reached through a signal-slot connection, setValue(), and the timers
/// report failures as errorOccurred() and on the "quellix" logging category.
///
/// What needs a screen, a speaker or the system (lighting an indicator,
/// sounding an alarm, prompting the operator, starting a program) the engine
/// decides and signals; a face or a headless host carries it out.
class QUELLIX_CORE_EXPORT Engine : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool AutoRedraw READ AutoRedraw WRITE setAutoRedraw)
    Q_PROPERTY(bool Enabled READ Enabled WRITE setControlEnabled)
    Q_PROPERTY(double InputMultiplier READ InputMultiplier WRITE setInputMultiplier)
    Q_PROPERTY(double InputOffset READ InputOffset WRITE setInputOffset)
    Q_PROPERTY(double OutputMultiplier READ OutputMultiplier WRITE setOutputMultiplier)
    Q_PROPERTY(double OutputOffset READ OutputOffset WRITE setOutputOffset)
    Q_PROPERTY(double DisplayValue READ DisplayValue WRITE setDisplayValue NOTIFY DisplayChange)
    Q_PROPERTY(QString Units READ Units WRITE setUnits)
    Q_PROPERTY(double OutputValue READ OutputValue WRITE setOutputValue NOTIFY OutputChange)
    Q_PROPERTY(double InputValue READ InputValue WRITE setInputValue NOTIFY InputChange)
    Q_PROPERTY(double CautionLimit READ CautionLimit WRITE setCautionLimit)
    Q_PROPERTY(double WarningLimit READ WarningLimit WRITE setWarningLimit)
    Q_PROPERTY(double LowerLimit READ LowerLimit WRITE setLowerLimit)
    Q_PROPERTY(double UpperLimit READ UpperLimit WRITE setUpperLimit)
    Q_PROPERTY(bool Ascending READ Ascending WRITE setAscending)
    Q_PROPERTY(QString Password READ Password WRITE setPassword)
    Q_PROPERTY(int Scanrate READ Scanrate WRITE setScanrate)
    Q_PROPERTY(quellix::Range Range READ currentRange NOTIFY rangeChanged)

public:
    explicit Engine(QObject *parent = nullptr);
    ~Engine() override;

    bool AutoRedraw() const;
    bool Enabled() const;
    double InputMultiplier() const;
    double InputOffset() const;
    double OutputMultiplier() const;
    double OutputOffset() const;
    double DisplayValue() const;
    QString Units() const;
    double OutputValue() const;
    double InputValue() const;
    double CautionLimit() const;
    double WarningLimit() const;
    double LowerLimit() const;
    double UpperLimit() const;
    bool Ascending() const;
    QString Password() const;
    qint16 Scanrate() const;
    quellix::Range currentRange() const;
    /// Whether the operator's hold has frozen the displayed value.
    bool Onhold() const;
    /// Whether Alarm Reset silences the current range's alarm sound.
    bool alarmReset() const;

    /// Creates the store files when missing, binds the engine to the
    /// settings row of its name (adding one with factory values for a new
    /// name) and applies the row. Never throws.
    Q_INVOKABLE void REGISTER();
    /// Whether REGISTER() has run.
    bool registered() const;

    /// True while a program runs, false in a form designer: an engine in
    /// design mode neither scans nor records. True by default.
    bool userMode() const;
    void setUserMode(bool running);

    /// The run-time save: writes the live values back into the settings
    /// row, logs "Shut Down" when system logging is on, and asks for the
    /// alarm sound to stop. Never throws.
    void save();

    /// Toggles the operator's hold (HoldOn or HoldOff, a "Hold On"/"Hold
    /// Off" user record). Throws quellix::Error when the record is refused.
    void toggleHold();
    /// Silences the alarm sound of the current range until it changes.
    void resetAlarm();
    /// Reads the settings row again and applies it to the running engine,
    /// keeping a hold and a silenced alarm. False when the store holds no
    /// row of the engine's name (nothing changed then). Throws quellix::Error
    /// when the store cannot be read.
    bool reload();
    /// Writes the chart style the log viewer chose back to the settings row.
    void setGraphType(int type);
    int graphType() const;
    /// Minutes between two samples, 0 when periodic recording never ran.
    int recordingIntervalMinutes() const;
    /// Where the engine's stores are (a directory or a server address);
    /// empty before registration.
    QString storeLocation() const;

    // Property setters; see Quellix for what each does.
    void setAutoRedraw(bool on);
    void setControlEnabled(bool on);
    void setInputMultiplier(double v);
    void setInputOffset(double v);
    void setOutputMultiplier(double v);
    void setOutputOffset(double v);
    void setDisplayValue(double v);
    void setUnits(const QString &units);
    void setOutputValue(double v);
    void setInputValue(double v);
    void setCautionLimit(double v);
    void setWarningLimit(double v);
    void setLowerLimit(double v);
    void setUpperLimit(double v);
    void setAscending(bool ascending);
    void setPassword(const QString &password);
    void setScanrate(int ms);

public Q_SLOTS:
    /// Writes a raw reading into InputValue. Never throws.
    void setValue(double reading);

Q_SIGNALS:
    void ScanComplete();
    void Change();
    void InputChange(double InputValue);
    void DisplayChange(double DisplayValue);
    void OutputChange(double OutputValue);
    void ReachLowerLimit(double DisplayValue);
    void ReachNormalRange(double DisplayValue);
    void ReachCautionRange(double DisplayValue);
    void ReachWarningRange(double DisplayValue);
    void ReachUpperLimit(double DisplayValue);
    void HoldOn();
    void HoldOff();
    void propertyChanged(const QString &name);
    void rangeChanged(quellix::Range range);
    void errorOccurred(const QString &property, const QString &message);

    /// The alarm sound of a range is due: asked on every scan tick in the
    /// range until Alarm Reset, so a player repeats it.
    void alarmSoundRequested(const QString &soundName);
    /// Whatever alarm sound plays is to stop (the run-time save).
    void alarmSoundStopRequested();
    /// A range with a prompt was entered: the operator is to be asked.
    void promptRequested(const quellix::PromptRequest &prompt);
    /// A range with an event program was entered: the program is to start.
    void programRequested(const QString &commandLine);

private:
    friend class EnginePrivate;
    std::unique_ptr<EnginePrivate> const d;
};

/// Starts an event program's command line and returns at once, without a
/// shell: what a face does with Engine::programRequested(). The program
/// followed by its arguments, split at blanks, double quotes grouping
/// words; a text that as a whole names an executable file is that one
/// program. False, with nothing started, for a blank text or a program
/// that cannot be started. Never throws.
QUELLIX_CORE_EXPORT bool startProgram(const QString &commandLine);

} // namespace quellix

Q_DECLARE_METATYPE(quellix::PromptRequest)
