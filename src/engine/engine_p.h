#pragma once

// The inside of one engine: its state, timers and stores, and the face it
// tells what to draw. Only the engine's own sources and the widget layer
// that puts a face on an engine include this.

#include "controlstate.h"
#include "engine.h"
#include "logstore.h"
#include "numbertext.h"
#include "stores.h"

#include <QPointer>

#include <memory>

class QTimer;

namespace quellix {

/// What a face draws of its engine. The engine calls it synchronously, at
/// the point of its steps where the operator would see the change, so a
/// face and the host's events keep the order they always had. Every call
/// only draws: it never raises an event of the control and never throws.
class EngineFace
{
public:
    virtual ~EngineFace() = default;
    /// The readout shows a new displayed value.
    virtual void showReadout(double value) = 0;
    /// The output box shows a new output value.
    virtual void showOutput(double value) = 0;
    virtual void showUnits(const QString &units) = 0;
    /// Registration starts: the face shows the control's name.
    virtual void showName() = 0;
    /// Which of the three range indicators are lit.
    virtual void showIndicators(bool normalLit, bool cautionLit, bool warningLit) = 0;
    /// The hold indicator for the current hold state.
    virtual void showHold() = 0;
    /// The Alarm Reset button's caption for the reset state.
    virtual void showAlarmReset(bool reset) = 0;
    /// The recording indicator is shown while periodic recording is on.
    virtual void showRecording(bool on) = 0;
    /// The readout, units and output colours were loaded.
    virtual void showColours() = 0;
    /// The operator elements follow the control's Enabled.
    virtual void showEnabled(bool on) = 0;
    /// A scan tick evaluated: what the face says in words may have changed.
    virtual void scanned() = 0;
};

class EnginePrivate
{
public:
    explicit EnginePrivate(Engine *q);
    ~EnginePrivate();

    static EnginePrivate *get(Engine *e) { return e->d.get(); }
    static const EnginePrivate *get(const Engine *e) { return e->d.get(); }

    Engine *const q;
    ControlState s;
    bool userMode = true;
    bool registered = false; ///< set by the first registration
    bool yielding = false;   ///< the scan tick is letting pending events run
    /// Lit states of the normal, caution and warning indicators, as the
    /// scan and the flashers last set them (a new face shows normal lit).
    bool normalLit = true, cautionLit = false, warningLit = false;

    /// The face that draws this engine, or none (a headless engine).
    EngineFace *face = nullptr;
    /// Whose objectName is the control's name: the engine itself, or the
    /// widget that wears it.
    QPointer<QObject> nameOwner;

    QTimer *timerLimits = nullptr;
    QTimer *timerNormal = nullptr;
    QTimer *timerWarning = nullptr;
    QTimer *timerData = nullptr;

    // the stores registration bound the engine to
    std::shared_ptr<store::Stores> stores;
    /// The name of the control's settings row: every write-back addresses
    /// the first row of this name, found anew by the store each time, so no
    /// rebuild of the table by another program can point it at another
    /// control's row. Empty while the control has no row to write to.
    QString settingsKey;
    store::SettingsStore &settingsStore() const;
    store::EventLog &log() const;

    /// The host's name of this control, read anew at every use.
    QString name() const;

    // error regime
    int hostCallDepth = 0;
    template<typename Fn>
    void hostCall(const char *property, Fn &&fn, bool alwaysReport = false);
    template<typename Fn>
    void reporting(const char *what, Fn &&fn) noexcept
    {
        QPointer<Engine> alive(q);
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
    void reportError(const QString &property, const QString &message);
    void reportErrorLater(const QString &property, const QString &message);

    /// Emits a signal of the engine. False when a handler deleted the
    /// engine (or the control wearing it): the caller must then return
    /// without touching anything of it.
    template<typename... Params, typename... Args>
    bool raise(void (Engine::*signal)(Params...), Args &&...args)
    {
        QPointer<Engine> alive(q);
        (q->*signal)(std::forward<Args>(args)...);
        return !alive.isNull();
    }

    // value pipeline; each step returns false when the engine was deleted
    static double scaled(double m, double x, double o);
    bool applyInput(double v);
    bool applyDisplay(double v);
    bool applyOutput(double v);
    bool notify(const char *name);
    void writeThrough(const QString &field, const QVariant &value);
    bool recomputeDisplay();
    bool recomputeOutput();
    void logUserAction(const QString &event);
    template<typename Store, typename Recompute>
    void settingSetter(const char *property, const QString &field, const QVariant &value, const QString &event,
                       Store &&store, Recompute &&recompute);

    // records
    store::LogRecord makeRecord(const QString &type, const QString &event, NumberForm form) const;
    void appendLog(const QString &type, const QString &event, NumberForm form, store::OnError onError);

    // registration and load
    void registerControl();
    enum class RowLoad { Registration, Reload };
    bool loadRow(const store::SettingsRow &row, RowLoad kind);
    void applyFactoryValues();
    void addNewSettingsRow();
    void applyRecordingSettings();
    void setScanInterval();
    void releaseHold();

    // scan cycle
    void scanTick();
    void evaluate();
    void flashTick(bool normal);
    void setIndicators(bool normal, bool caution, bool warning);
    void clearAlarmReset();
    PromptRequest promptRequest(const QString &caption, const QString &text) const;

    // recording and the run-time save
    void sampleTick();
    void runtimeSave();
};

} // namespace quellix
