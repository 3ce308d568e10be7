// One control without a face: its properties, the value pipeline, the error
// regime of its setters and its log records.

#include "engine_p.h"

#include "error.h"
#include "handlerstep.h"
#include "numbertext.h"
#include "recording.h"

#include <QLoggingCategory>
#include <QMetaMethod>
#include <QTimer>

#include <cmath>

using namespace quellix;
using quellix::store::OnError;

Q_LOGGING_CATEGORY(lcQuellix, "quellix")

QString quellix::rangeText(Range r)
{
    switch (r) {
    case Range::Lower: return QStringLiteral("LOWER");
    case Range::Upper: return QStringLiteral("UPPER");
    case Range::Normal: return QStringLiteral("NORMAL");
    case Range::Warning: return QStringLiteral("WARNING");
    case Range::Caution: return QStringLiteral("CAUTION");
    case Range::None: break;
    }
    return {};
}

namespace {

QTimer *makeTimer(QObject *parent, const char *name, int interval, bool running)
{
    auto *t = new QTimer(parent);
    t->setObjectName(QLatin1String(name));
    t->setInterval(interval);
    if (running)
        t->start();
    return t;
}

} // namespace

// ---------------------------------------------------------------------------
// EnginePrivate

EnginePrivate::EnginePrivate(Engine *q) : q(q), nameOwner(q)
{
    timerLimits = makeTimer(q, "timer_LIMITS", 1000, true);
    timerNormal = makeTimer(q, "timer_NORMAL", 250, false);
    timerWarning = makeTimer(q, "timer_WARNING", 250, false);
    timerData = makeTimer(q, "timer_DATA", 60000, false);
    QObject::connect(timerLimits, &QTimer::timeout, q, [this] { scanTick(); });
    QObject::connect(timerNormal, &QTimer::timeout, q, [this] { flashTick(true); });
    QObject::connect(timerWarning, &QTimer::timeout, q, [this] { flashTick(false); });
    QObject::connect(timerData, &QTimer::timeout, q, [this] { reporting("recording", [this] { sampleTick(); }); });
}

EnginePrivate::~EnginePrivate() = default;

QString EnginePrivate::name() const
{
    return nameOwner ? nameOwner->objectName() : q->objectName();
}

double EnginePrivate::scaled(double m, double x, double o)
{
    const double product = m * x;
    const double sum = product + o;
    if (!std::isfinite(product) || !std::isfinite(sum))
        throw Error(Error::Kind::Overflow, QStringLiteral("Overflow"));
    return sum;
}

bool EnginePrivate::notify(const char *name)
{
    // The name is only built for a host that listens: the value pipeline
    // notifies three times per reading.
    static const QMetaMethod signal = QMetaMethod::fromSignal(&Engine::propertyChanged);
    if (!q->isSignalConnected(signal))
        return true;
    return raise(&Engine::propertyChanged, QString::fromLatin1(name));
}

template<typename Fn>
void EnginePrivate::hostCall(const char *property, Fn &&fn, bool alwaysReport)
{
    // Only the outermost setter decides: the pipeline's inner steps share
    // the caller's error regime.
    const bool report = alwaysReport || (hostCallDepth == 0 && q->sender() != nullptr);
    QPointer<Engine> alive(q);
    ++hostCallDepth;
    struct Leave {
        QPointer<Engine> &alive;
        int &depth;
        ~Leave()
        {
            if (alive)
                --depth;
        }
    } leave{alive, hostCallDepth};
    if (report)
        reporting(property, std::forward<Fn>(fn));
    else
        fn();
}

void EnginePrivate::reportError(const QString &property, const QString &message)
{
    qCWarning(lcQuellix, "%s: %s: %s", qPrintable(name()), qPrintable(property), qPrintable(message));
    Q_EMIT q->errorOccurred(property, message);
}

void EnginePrivate::reportErrorLater(const QString &property, const QString &message)
{
    qCWarning(lcQuellix, "%s: %s: %s", qPrintable(name()), qPrintable(property), qPrintable(message));
    Engine *engine = q;
    QMetaObject::invokeMethod(
        engine, [engine, property, message] { Q_EMIT engine->errorOccurred(property, message); },
        Qt::QueuedConnection);
}

store::SettingsStore &EnginePrivate::settingsStore() const
{
    if (!stores)
        throw Error(Error::Kind::NotOpen,
                    QStringLiteral("The control is not registered: it has no settings store to write to."));
    return stores->settings();
}

store::EventLog &EnginePrivate::log() const
{
    if (!stores)
        throw Error(Error::Kind::NotOpen,
                    QStringLiteral("The control is not registered: it has no log store to write to."));
    return stores->log();
}

void EnginePrivate::writeThrough(const QString &field, const QVariant &value)
{
    if (settingsKey.isEmpty())
        throw Error(Error::Kind::NotOpen, QStringLiteral("The control has no settings row to write %1 to.").arg(field));
    settingsStore().writeField(settingsKey, field, value);
}

bool EnginePrivate::recomputeDisplay()
{
    if (s.onHold)
        return true;
    return applyDisplay(scaled(s.inputMultiplier, s.inputValue, s.inputOffset));
}

bool EnginePrivate::recomputeOutput()
{
    if (s.onHold)
        return true;
    return applyOutput(scaled(s.outputMultiplier, s.displayValue, s.outputOffset));
}

bool EnginePrivate::applyInput(double v)
{
    s.inputValue = v;
    if (!notify("InputValue"))
        return false;
    if (!s.enabled || s.onHold)
        return true;
    return applyDisplay(scaled(s.inputMultiplier, s.inputValue, s.inputOffset))
           && raise(&Engine::InputChange, s.inputValue) && raise(&Engine::Change);
}

bool EnginePrivate::applyDisplay(double v)
{
    if (s.onHold || !s.enabled)
        return true;
    s.displayValue = v;
    if (!notify("DisplayValue"))
        return false;
    if (face)
        face->showReadout(v);
    return applyOutput(scaled(s.outputMultiplier, s.displayValue, s.outputOffset))
           && raise(&Engine::DisplayChange, s.displayValue) && raise(&Engine::Change);
}

bool EnginePrivate::applyOutput(double v)
{
    if (!s.enabled)
        return true;
    s.outputValue = v;
    if (!notify("OutputValue"))
        return false;
    if (face)
        face->showOutput(v);
    // The output box tells the host of every new text it shows, and then
    // the value itself is announced.
    return raise(&Engine::OutputChange, s.outputValue) && raise(&Engine::OutputChange, s.outputValue)
           && raise(&Engine::Change);
}

store::LogRecord EnginePrivate::makeRecord(const QString &type, const QString &event, NumberForm form) const
{
    store::LogRecord r;
    r.control = name();
    r.type = type;
    r.event = event;
    r.inputValue = s.inputValue;
    r.inputFunction = functionText(s.inputMultiplier, s.inputOffset, form);
    r.displayValue = s.displayValue;
    r.outputFunction = functionText(s.outputMultiplier, s.outputOffset, form);
    r.outputValue = s.outputValue;
    r.holdStatus = s.onHold;
    return r;
}

void EnginePrivate::appendLog(const QString &type, const QString &event, NumberForm form, OnError onError)
{
    if (onError == OnError::Throw) {
        log().append(makeRecord(type, event, form));
        return;
    }
    try {
        log().append(makeRecord(type, event, form));
    } catch (const std::exception &e) {
        qCWarning(lcQuellix, "%s: \"%s\" not logged: %s", qPrintable(name()), qPrintable(event), e.what());
    }
}

void EnginePrivate::logUserAction(const QString &event)
{
    if (s.logUserActions)
        appendLog(QStringLiteral("USER"), event, NumberForm::Str, OnError::Throw);
}

// The steps shared by the setters of the settings-backed properties: store,
// notify, write through, recompute, log. A handler of the notification that
// deletes the control ends the setter there.
template<typename Store, typename Recompute>
void EnginePrivate::settingSetter(const char *property, const QString &field, const QVariant &value,
                                  const QString &event, Store &&store, Recompute &&recompute)
{
    hostCall(property, [&] {
        store();
        if (!notify(property))
            return;
        writeThrough(field, value);
        if (!recompute())
            return;
        logUserAction(event);
    });
}

// ---------------------------------------------------------------------------
// Engine

Engine::Engine(QObject *parent) : QObject(parent), d(new EnginePrivate(this)) {}

Engine::~Engine() = default;

bool Engine::AutoRedraw() const { return d->s.autoRedraw; }
bool Engine::Enabled() const { return d->s.enabled; }
double Engine::InputMultiplier() const { return d->s.inputMultiplier; }
double Engine::InputOffset() const { return d->s.inputOffset; }
double Engine::OutputMultiplier() const { return d->s.outputMultiplier; }
double Engine::OutputOffset() const { return d->s.outputOffset; }
double Engine::DisplayValue() const { return d->s.displayValue; }
QString Engine::Units() const { return d->s.units; }
double Engine::OutputValue() const { return d->s.outputValue; }
double Engine::InputValue() const { return d->s.inputValue; }
double Engine::CautionLimit() const { return d->s.cautionLimit; }
double Engine::WarningLimit() const { return d->s.warningLimit; }
double Engine::LowerLimit() const { return d->s.lowerLimit; }
double Engine::UpperLimit() const { return d->s.upperLimit; }
bool Engine::Ascending() const { return d->s.ascending; }
QString Engine::Password() const { return d->s.password; }
bool Engine::Onhold() const { return d->s.onHold; }
bool Engine::alarmReset() const { return d->s.alarmReset; }
bool Engine::userMode() const { return d->userMode; }
void Engine::setUserMode(bool running) { d->userMode = running; }
bool Engine::registered() const { return d->registered; }
quellix::Range Engine::currentRange() const { return d->s.currentRange; }
qint16 Engine::Scanrate() const { return qint16(d->s.scanrate); }
int Engine::graphType() const { return d->s.graphType; }
int Engine::recordingIntervalMinutes() const { return d->s.recordEvery; }

QString Engine::storeLocation() const
{
    return d->stores ? d->stores->location().address() : QString();
}

void Engine::setValue(double reading)
{
    d->hostCall("InputValue", [&] { d->applyInput(reading); }, true);
}

void Engine::setAutoRedraw(bool on)
{
    d->hostCall("AutoRedraw", [&] {
        d->s.autoRedraw = on;
        d->notify("AutoRedraw");
    });
}

void Engine::setControlEnabled(bool on)
{
    d->hostCall("Enabled", [&] {
        d->s.enabled = on;
        if (!d->notify("Enabled"))
            return;
        // Every element and the write-through are attempted, whatever fails.
        if (d->face)
            d->face->showEnabled(on);
        try {
            d->writeThrough(QStringLiteral("Enabled"), on);
        } catch (const Error &) {
        }
    });
}

void Engine::setInputValue(double v)
{
    d->hostCall("InputValue", [&] { d->applyInput(v); });
}

void Engine::setDisplayValue(double v)
{
    d->hostCall("DisplayValue", [&] { d->applyDisplay(v); });
}

void Engine::setOutputValue(double v)
{
    d->hostCall("OutputValue", [&] { d->applyOutput(v); });
}

void Engine::setInputMultiplier(double v)
{
    d->settingSetter("InputMultiplier", QStringLiteral("Input Multiplier"), v,
                     QStringLiteral("Input Multiplier Change"), [&] { d->s.inputMultiplier = v; },
                     [&] { return d->recomputeDisplay(); });
}

void Engine::setInputOffset(double v)
{
    d->settingSetter("InputOffset", QStringLiteral("Input Offset"), v, QStringLiteral("Input Offset Change"),
                     [&] { d->s.inputOffset = v; }, [&] { return d->recomputeDisplay(); });
}

void Engine::setOutputMultiplier(double v)
{
    d->settingSetter("OutputMultiplier", QStringLiteral("Output Multiplier"), v,
                     QStringLiteral("Output Multiplier Change"), [&] { d->s.outputMultiplier = v; },
                     [&] { return d->recomputeOutput(); });
}

void Engine::setOutputOffset(double v)
{
    d->settingSetter("OutputOffset", QStringLiteral("Output Offset"), v, QStringLiteral("Output Offset Change"),
                     [&] { d->s.outputOffset = v; }, [&] { return d->recomputeOutput(); });
}

namespace {
constexpr auto kNoRecompute = [] { return true; };
}

void Engine::setLowerLimit(double v)
{
    d->settingSetter("LowerLimit", QStringLiteral("Lower Limit Value"), v, QStringLiteral("Lower Limit Change"),
                     [&] { d->s.lowerLimit = v; }, kNoRecompute);
}

void Engine::setCautionLimit(double v)
{
    d->settingSetter("CautionLimit", QStringLiteral("Caution Limit Value"), v,
                     QStringLiteral("Caution Limit Change"), [&] { d->s.cautionLimit = v; }, kNoRecompute);
}

void Engine::setWarningLimit(double v)
{
    d->settingSetter("WarningLimit", QStringLiteral("Warning Limit Value"), v,
                     QStringLiteral("Warning Limits Change"), [&] { d->s.warningLimit = v; }, kNoRecompute);
}

void Engine::setUpperLimit(double v)
{
    d->settingSetter("UpperLimit", QStringLiteral("Upper Limit Value"), v, QStringLiteral("Upper Limit Change"),
                     [&] { d->s.upperLimit = v; }, kNoRecompute);
}

void Engine::setUnits(const QString &units)
{
    d->hostCall("Units", [&] {
        d->s.units = units;
        if (!d->notify("Units"))
            return;
        if (d->face)
            d->face->showUnits(units);
        d->writeThrough(QStringLiteral("Units"), units);
        d->logUserAction(QStringLiteral("Units Change"));
    });
}

void Engine::setAscending(bool ascending)
{
    d->settingSetter("Ascending", QStringLiteral("Direction"),
                     ascending ? QStringLiteral("Ascending") : QStringLiteral("Descending"),
                     QStringLiteral("Limit Direction Change"), [&] { d->s.ascending = ascending; }, kNoRecompute);
}

void Engine::setPassword(const QString &password)
{
    d->settingSetter("Password", QStringLiteral("Password"), password, QStringLiteral("Password Change"),
                     [&] { d->s.password = password; }, kNoRecompute);
}

void Engine::setScanrate(int ms)
{
    d->hostCall("Scanrate", [&] {
        // A rate below 1 ms would stop the scan for good after the next
        // load; one beyond 16 bits cannot be stored.
        if (ms < 1 || ms > 32767)
            throw Error(Error::Kind::InvalidValue,
                        QStringLiteral("Scanrate %1 refused: the scan rate must be 1 to 32767 ms").arg(ms));
        d->s.scanrate = ms; // the scan timer keeps its interval until the next load
        if (!d->notify("Scanrate"))
            return;
        d->writeThrough(QStringLiteral("Scanrate"), ms);
        d->logUserAction(QStringLiteral("Scanrate Change"));
    });
}

void Engine::REGISTER()
{
    d->registerControl();
}

void Engine::save()
{
    d->runtimeSave();
}

void Engine::toggleHold()
{
    // A host handler may delete the control: nothing of it is touched after
    // an event whose handler did.
    d->s.onHold = !d->s.onHold;
    if (d->face)
        d->face->showHold();
    if (d->s.onHold) {
        if (!d->raise(&Engine::HoldOn))
            return;
        d->logUserAction(QStringLiteral("Hold On"));
    } else {
        if (!d->raise(&Engine::HoldOff))
            return;
        d->logUserAction(QStringLiteral("Hold Off"));
    }
}

void Engine::resetAlarm()
{
    d->s.alarmReset = true;
    if (d->face)
        d->face->showAlarmReset(true);
    d->logUserAction(QStringLiteral("Alarm Reset"));
}

bool Engine::reload()
{
    // A store that cannot be read leaves the whole state as it was; the
    // failure goes to the caller.
    const std::optional<store::SettingsRow> row = d->settingsStore().read(d->name());
    if (!row)
        return false;
    d->loadRow(*row, EnginePrivate::RowLoad::Reload);
    return true;
}

void Engine::setGraphType(int type)
{
    d->s.graphType = static_cast<int16_t>(type);
    d->writeThrough(QStringLiteral("Graph Type"), int(d->s.graphType));
}

// ---------------------------------------------------------------------------
// Periodic recording and the run-time save

Q_LOGGING_CATEGORY(lcLifecycle, "quellix.lifecycle")

void EnginePrivate::sampleTick()
{
    if (!s.enabled || !userMode)
        return;
    timerData->stop();
    // Restarted whatever the append does, so one failed sample never ends recording.
    struct Restart {
        QTimer *t;
        ~Restart() { t->start(); }
    } restart{timerData};
    if (advanceRecordTicks(s.recordTicks, s.recordEvery)) {
        store::SampleRecord r;
        r.control = name();
        r.inputValue = s.inputValue;
        r.displayValue = s.displayValue;
        r.outputValue = s.outputValue;
        log().append(r);
    }
}

void EnginePrivate::runtimeSave()
{
    // Every step runs whatever the one before did: a field the row cannot
    // hold (a units text longer than the field) loses that field only, and
    // a store that cannot be reached still lets the shut-down record and
    // the sound stop happen. The fields the row takes are written together
    // into the first row of the control's name; without such a row nothing
    // is written, so the nine values never land in another control's row.
    const QString control = name();
    auto step = [&](const char *what, auto &&fn) {
        return runStep(lcLifecycle, StepReport::Warning, control, what, fn);
    };
    const std::pair<const char *, QVariant> fields[] = {
        {"Input Offset", s.inputOffset},
        {"Input Multiplier", s.inputMultiplier},
        {"Output Offset", s.outputOffset},
        {"Output Multiplier", s.outputMultiplier},
        {"Lower Limit Value", s.lowerLimit},
        {"Caution Limit Value", s.cautionLimit},
        {"Warning Limit Value", s.warningLimit},
        {"Upper Limit Value", s.upperLimit},
        {"Units", s.units},
    };
    store::SettingsRow row;
    for (const auto &[field, value] : fields)
        step(field, [&] { row.set(QLatin1String(field), value); });
    step("saving the settings row", [&] { settingsStore().writeRow(control, row); });
    if (s.logSystemErrors)
        step("logging the shut down", [&] {
            appendLog(QStringLiteral("SYSTEM"), QStringLiteral("Shut Down"), NumberForm::Str, OnError::SkipStep);
        });
    step("stopping the alarm sound", [&] { Q_EMIT q->alarmSoundStopRequested(); });
}
