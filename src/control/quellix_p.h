#pragma once

#include "controlstate.h"
#include "faceaccess.h"
#include "logstore.h"
#include "quellix.h"
#include "stores.h"

#include <QPointer>
#include <array>
#include <memory>

class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

/// The state and face of one Quellix control.
class QuellixPrivate
{
public:
    explicit QuellixPrivate(Quellix *q);
    ~QuellixPrivate();

    Quellix *const q;
    /// The private part of a control (tests and benchmarks reach the
    /// reload and the registration load through it).
    static QuellixPrivate *get(Quellix *control) { return control->d.get(); }
    quellix::ControlState s;
    bool userMode = true;
    bool registered = false;  ///< set by the first registration
    bool yielding = false;    ///< the scan tick is letting pending events run

    // face elements
    QLabel *iBorder = nullptr;
    QLabel *logo = nullptr;
    QLabel *tGaugeName = nullptr;
    QLineEdit *tRecordLite = nullptr;
    QLineEdit *tNormal = nullptr;
    QLineEdit *tCaution = nullptr;
    QLineEdit *tWarning = nullptr;
    QLineEdit *tCommLight = nullptr;
    QLineEdit *tOnHold = nullptr;
    QLineEdit *tOutput = nullptr;
    QLineEdit *tReadout = nullptr;
    QLineEdit *tUnits = nullptr;
    QPushButton *cHold = nullptr;
    QPushButton *cLogs = nullptr;
    QPushButton *cProperties = nullptr;
    QPushButton *cReset = nullptr;

    // resize passes: how deep they are nested now, and how many have run
    int resizeDepth = 0;
    quint64 resizePasses = 0;
    /// How many Resize events in a row were caused by the host resizing the
    /// control from its own Resize handler; -1 outside such a handler.
    int resizeGeneration = -1;
    /// Raises Resize once Qt has finished resizing. A host that resizes the
    /// control from every Resize handler gets at most `limit` more.
    void raiseResizeLater(int limit);

    // timers
    QTimer *timerLimits = nullptr;
    QTimer *timerNormal = nullptr;
    QTimer *timerWarning = nullptr;
    QTimer *timerData = nullptr;

    // the stores registration bound the control to, the name its settings
    // row carries there, and the event log (LOG and DATA) of the store
    // directory, set by registration
    std::shared_ptr<quellix::store::Stores> stores;
    /// The name of the control's settings row: every write-back addresses
    /// the first row of this name, found anew by the store each time, so no
    /// rebuild of the table by another program can point it at another
    /// control's row. Empty while the control has no row to write to.
    QString settingsKey;
    /// The settings of the bound stores, or Error(NotOpen) before the first
    /// registration.
    quellix::store::SettingsStore &settingsStore() const;
    /// The event log (LOG and DATA) of the bound stores, or Error(NotOpen)
    /// before the first registration.
    quellix::store::EventLog &log() const;

    /// The host's name of this control, read anew at every use.
    QString name() const { return q->objectName(); }

    /// The thirteen operator elements whose enabled state follows Enabled.
    std::array<QWidget *, 13> enabledFollowers() const;

    void createFace();

    // value pipeline
    /// m × x + o, failing with an overflow error when the result is not finite.
    static double scaled(double m, double x, double o);
    void showReadout(double value);
    bool showOutput(double value);
    void outputTextEdited();

    // Calls from the host. A setter reached through a signal-slot connection
    // (the event loop is on the stack) reports its failure instead of
    // throwing; a direct call or setProperty() gets the quellix::Error.
    int hostCallDepth = 0;
    /// `alwaysReport`: report instead of throwing however it was called
    /// (the slots that promise never to throw).
    template<typename Fn>
    void hostCall(const char *property, Fn &&fn, bool alwaysReport = false);

    /// Runs `fn` from the event loop: whatever it throws is reported through
    /// reportError() (unless its own events deleted the control) and goes no
    /// further.
    template<typename Fn>
    void reporting(const char *what, Fn &&fn) noexcept
    {
        QPointer<Quellix> alive(q);
        QString why;
        try {
            fn();
            return;
        } catch (const std::exception &e) {
            why = QString::fromUtf8(e.what());
        } catch (...) {
            why = QStringLiteral("unknown error");
        }
        if (alive)
            reportError(QString::fromLatin1(what), why);
    }
    /// Tells the host of a failure it could not be handed as an exception:
    /// a warning on the "quellix" category and errorOccurred().
    void reportError(const QString &property, const QString &message);
    /// The same, with errorOccurred raised once the current operation (a
    /// registration, a load) is over, so a handler may delete the control.
    void reportErrorLater(const QString &property, const QString &message);

    /// Emits a signal of the control. False when a handler deleted the
    /// control: the caller must then return without touching anything of it.
    template<typename... Params, typename... Args>
    bool raise(void (Quellix::*signal)(Params...), Args &&...args)
    {
        QPointer<Quellix> alive(q);
        (q->*signal)(std::forward<Args>(args)...);
        return !alive.isNull();
    }

    // value pipeline steps; each returns false when the control was deleted
    bool applyInput(double v);
    bool applyDisplay(double v);
    bool applyOutput(double v);

    // setter steps
    bool notify(const char *name);
    void writeThrough(const QString &field, const QVariant &value);
    bool recomputeDisplay();   ///< DisplayValue from InputValue
    bool recomputeOutput();    ///< OutputValue from DisplayValue
    void logUserAction(const QString &event);

    // log records
    quellix::store::LogRecord makeRecord(const QString &type, const QString &event,
                                         quellix::NumberForm form) const;
    /// Appends a log record of the control's state. OnError::Throw hands a
    /// failure to the caller; OnError::SkipStep drops the record with a
    /// warning.
    void appendLog(const QString &type, const QString &event, quellix::NumberForm form,
                   quellix::store::OnError onError);

    // registration
    void registerControl();
    void loadSettingsRow(const quellix::store::SettingsRow &row);
    /// The reload after Config: the row's fields loaded into the running
    /// control, which keeps its hold and a silenced alarm. False when a host
    /// handler deleted the control.
    bool reloadSettingsRow(const quellix::store::SettingsRow &row);
    enum class RowLoad { Registration, Reload };
    bool loadRow(const quellix::store::SettingsRow &row, RowLoad kind);
    void applyFactoryValues();
    void addNewSettingsRow();
    void applyRecordingSettings();
    void applyColours();
    void setScanInterval();

    // lifecycle
    void runtimeSave();

    /// Keeps the accessible names and descriptions of the readouts and
    /// indicators saying the range and the value in words.
    void updateAccessibleTexts();
    quellix::face::AccessibleFacts accessibleFacts; ///< what they say now

    // scan cycle (scan.cpp)
    void connectScan();
    void scanTick();
    void evaluate();
    void flashTick(bool normal);
    void takePromptSnapshot() const;
    void setIndicators(bool normalLit, bool cautionLit, bool warningLit);
    void clearAlarmReset();

    // event relays of the face (lifecycle.cpp): clicks, double clicks and
    // mouse moves on the elements that pass them on to the host
    void installRelays();

    // buttons and recording
    void connectButtons();
    void holdClicked();
    /// Colours the hold indicator for the current hold state.
    void showHoldIndicator();
    /// Ends a hold without events or records, showing the released state.
    void releaseHold();
    /// Raises a parameterless event once Qt has finished the change that
    /// caused it (shown, hidden, laid out), so a handler may delete the
    /// control.
    void raiseLater(void (Quellix::*signal)());
    void resetClicked();
    /// Config: the password prompt in mode "SETUP", then the reload of the
    /// control's settings row, whatever happened in the prompt.
    void configClicked();
    /// Reloads the control's settings row; raises Click when the store has
    /// no row of the control's name.
    void reloadAfterConfig();
    /// Logs: the viewer context filled for this control, the log viewer
    /// shown modally, the chosen chart style written back to the settings
    /// row, then Click.
    void logsClicked();
    void sampleTick();
};
