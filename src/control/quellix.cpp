#include "quellix.h"

#include "hostcolor.h"
#include "readouttext.h"
#include "recordtext.h"
#include "standbybox.h"
#include "quellix_p.h"
#include "error.h"

#include <QLabel>
#include <QLoggingCategory>
#include <QPointer>
#include <QMetaMethod>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cmath>

using namespace quellix;

Q_LOGGING_CATEGORY(lcQuellix, "quellix")
using quellix::store::OnError;

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

// ---------------------------------------------------------------------------
// QuellixPrivate

QuellixPrivate::QuellixPrivate(Quellix *q) : q(q) {}
QuellixPrivate::~QuellixPrivate() = default;

std::array<QWidget *, 13> QuellixPrivate::enabledFollowers() const
{
    return {tRecordLite, tReadout, tNormal, tCaution, tWarning, tCommLight, tOnHold,
            tOutput, tUnits, cHold, cLogs, cProperties, cReset};
}

double QuellixPrivate::scaled(double m, double x, double o)
{
    const double product = m * x;
    const double sum = product + o;
    if (!std::isfinite(product) || !std::isfinite(sum))
        throw Error(Error::Kind::Overflow, QStringLiteral("Overflow"));
    return sum;
}

namespace {

// Sets a box's text only when it differs, so an unchanged value costs no
// relayout or repaint.
void setBoxText(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

} // namespace

void QuellixPrivate::showReadout(double value)
{
    // The readout is locked; it shows the "###0.00" form of the number
    // text written into it, which formatting the value directly gives.
    setBoxText(tReadout, formatReadout(value));
}

bool QuellixPrivate::showOutput(double value)
{
    setBoxText(tOutput, formatReadout(value));
    // The output box tells the host of every new text it shows.
    return raise(&Quellix::OutputChange, s.outputValue);
}

void QuellixPrivate::outputTextEdited()
{
    // The output box is not locked: what an operator types is shown in the
    // readout form and announced like a written value.
    const QString formatted = formatReadout(tOutput->text());
    setBoxText(tOutput, formatted);
    Q_EMIT q->OutputChange(s.outputValue);
}

bool QuellixPrivate::notify(const char *name)
{
    // The name is only built for a host that listens: the value pipeline
    // notifies three times per reading.
    static const QMetaMethod signal = QMetaMethod::fromSignal(&Quellix::propertyChanged);
    if (!q->isSignalConnected(signal))
        return true;
    return raise(&Quellix::propertyChanged, QString::fromLatin1(name));
}

template<typename Fn>
void QuellixPrivate::hostCall(const char *property, Fn &&fn, bool alwaysReport)
{
    // Only the outermost setter decides: the pipeline's inner steps share
    // the caller's error regime.
    const bool report = alwaysReport || (hostCallDepth == 0 && q->sender() != nullptr);
    QPointer<Quellix> alive(q);
    ++hostCallDepth;
    struct Leave {
        QPointer<Quellix> &alive;
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

void QuellixPrivate::reportError(const QString &property, const QString &message)
{
    qCWarning(lcQuellix, "%s: %s: %s", qPrintable(name()), qPrintable(property), qPrintable(message));
    Q_EMIT q->errorOccurred(property, message);
}

void QuellixPrivate::reportErrorLater(const QString &property, const QString &message)
{
    qCWarning(lcQuellix, "%s: %s: %s", qPrintable(name()), qPrintable(property), qPrintable(message));
    Quellix *control = q;
    QMetaObject::invokeMethod(
        control, [control, property, message] { Q_EMIT control->errorOccurred(property, message); },
        Qt::QueuedConnection);
}

store::SettingsStore &QuellixPrivate::settingsStore() const
{
    if (!stores)
        throw Error(Error::Kind::NotOpen,
                    QStringLiteral("The control is not registered: it has no settings store to write to."));
    return stores->settings();
}

void QuellixPrivate::writeThrough(const QString &field, const QVariant &value)
{
    if (settingsKey.isEmpty())
        throw Error(Error::Kind::NotOpen, QStringLiteral("The control has no settings row to write %1 to.").arg(field));
    settingsStore().writeField(settingsKey, field, value);
}

bool QuellixPrivate::recomputeDisplay()
{
    if (s.onHold)
        return true;
    return applyDisplay(scaled(s.inputMultiplier, s.inputValue, s.inputOffset));
}

bool QuellixPrivate::recomputeOutput()
{
    if (s.onHold)
        return true;
    return applyOutput(scaled(s.outputMultiplier, s.displayValue, s.outputOffset));
}

bool QuellixPrivate::applyInput(double v)
{
    s.inputValue = v;
    if (!notify("InputValue"))
        return false;
    if (!s.enabled || s.onHold)
        return true;
    return applyDisplay(scaled(s.inputMultiplier, s.inputValue, s.inputOffset))
           && raise(&Quellix::InputChange, s.inputValue) && raise(&Quellix::Change);
}

bool QuellixPrivate::applyDisplay(double v)
{
    if (s.onHold || !s.enabled)
        return true;
    s.displayValue = v;
    if (!notify("DisplayValue"))
        return false;
    showReadout(v);
    return applyOutput(scaled(s.outputMultiplier, s.displayValue, s.outputOffset))
           && raise(&Quellix::DisplayChange, s.displayValue) && raise(&Quellix::Change);
}

bool QuellixPrivate::applyOutput(double v)
{
    if (!s.enabled)
        return true;
    s.outputValue = v;
    return notify("OutputValue") && showOutput(v) && raise(&Quellix::OutputChange, s.outputValue)
           && raise(&Quellix::Change);
}

store::LogRecord QuellixPrivate::makeRecord(const QString &type, const QString &event, NumberForm form) const
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

store::EventLog &QuellixPrivate::log() const
{
    if (!stores)
        throw Error(Error::Kind::NotOpen,
                    QStringLiteral("The control is not registered: it has no log store to write to."));
    return stores->log();
}

void QuellixPrivate::appendLog(const QString &type, const QString &event, NumberForm form, OnError onError)
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

void QuellixPrivate::logUserAction(const QString &event)
{
    if (s.logUserActions)
        appendLog(QStringLiteral("USER"), event, NumberForm::Str, OnError::Throw);
}

// ---------------------------------------------------------------------------
// Quellix

Quellix::Quellix(QWidget *parent) : QWidget(parent), d(new QuellixPrivate(this))
{
    config::installStandbyMessageBox();
    d->createFace();
    d->connectButtons();
    d->connectScan();
    d->installRelays();
    // A new name given by the host is an ambient change.
    connect(this, &QObject::objectNameChanged, this, [this] { ambientChanged(); });
}

Quellix::~Quellix() = default;

bool Quellix::AutoRedraw() const { return d->s.autoRedraw; }
bool Quellix::Enabled() const { return d->s.enabled; }
double Quellix::InputMultiplier() const { return d->s.inputMultiplier; }
double Quellix::InputOffset() const { return d->s.inputOffset; }
double Quellix::OutputMultiplier() const { return d->s.outputMultiplier; }
double Quellix::OutputOffset() const { return d->s.outputOffset; }
double Quellix::DisplayValue() const { return d->s.displayValue; }
QString Quellix::Units() const { return d->s.units; }
double Quellix::OutputValue() const { return d->s.outputValue; }
double Quellix::InputValue() const { return d->s.inputValue; }
double Quellix::CautionLimit() const { return d->s.cautionLimit; }
double Quellix::WarningLimit() const { return d->s.warningLimit; }
double Quellix::LowerLimit() const { return d->s.lowerLimit; }
double Quellix::UpperLimit() const { return d->s.upperLimit; }
bool Quellix::Ascending() const { return d->s.ascending; }
QString Quellix::Password() const { return d->s.password; }
bool Quellix::Onhold() const { return d->s.onHold; }
bool Quellix::userMode() const { return d->userMode; }
void Quellix::setUserMode(bool running) { d->userMode = running; }

quellix::Range Quellix::currentRange() const { return d->s.currentRange; }

qint16 Quellix::Scanrate() const
{
    return qint16(d->s.scanrate);
}

void Quellix::setValue(double reading)
{
    d->hostCall("InputValue", [&] { d->applyInput(reading); }, true);
}

void Quellix::setAutoRedraw(bool on)
{
    d->hostCall("AutoRedraw", [&] {
        d->s.autoRedraw = on;
        d->notify("AutoRedraw");
    });
}

void Quellix::setControlEnabled(bool on)
{
    d->hostCall("Enabled", [&] {
        d->s.enabled = on;
        if (!d->notify("Enabled"))
            return;
        // Every element and the write-through are attempted, whatever fails.
        for (QWidget *w : d->enabledFollowers())
            w->setEnabled(on);
        try {
            d->writeThrough(QStringLiteral("Enabled"), on);
        } catch (const Error &) {
        }
    });
}

void Quellix::setInputValue(double v)
{
    d->hostCall("InputValue", [&] { d->applyInput(v); });
}

void Quellix::setDisplayValue(double v)
{
    d->hostCall("DisplayValue", [&] { d->applyDisplay(v); });
}

void Quellix::setOutputValue(double v)
{
    d->hostCall("OutputValue", [&] { d->applyOutput(v); });
}

namespace {

// The steps shared by the setters of the settings-backed properties: store,
// notify, write through, recompute, log. A handler of the notification that
// deletes the control ends the setter there.
template<typename Store, typename Recompute>
void settingSetter(QuellixPrivate *d, const char *property, const QString &field, const QVariant &value,
                   const QString &event, Store &&store, Recompute &&recompute)
{
    d->hostCall(property, [&] {
        store();
        if (!d->notify(property))
            return;
        d->writeThrough(field, value);
        if (!recompute())
            return;
        d->logUserAction(event);
    });
}

} // namespace

void Quellix::setInputMultiplier(double v)
{
    settingSetter(d.get(), "InputMultiplier", QStringLiteral("Input Multiplier"), v,
                  QStringLiteral("Input Multiplier Change"), [&] { d->s.inputMultiplier = v; },
                  [&] { return d->recomputeDisplay(); });
}

void Quellix::setInputOffset(double v)
{
    settingSetter(d.get(), "InputOffset", QStringLiteral("Input Offset"), v, QStringLiteral("Input Offset Change"),
                  [&] { d->s.inputOffset = v; }, [&] { return d->recomputeDisplay(); });
}

void Quellix::setOutputMultiplier(double v)
{
    settingSetter(d.get(), "OutputMultiplier", QStringLiteral("Output Multiplier"), v,
                  QStringLiteral("Output Multiplier Change"), [&] { d->s.outputMultiplier = v; },
                  [&] { return d->recomputeOutput(); });
}

void Quellix::setOutputOffset(double v)
{
    settingSetter(d.get(), "OutputOffset", QStringLiteral("Output Offset"), v, QStringLiteral("Output Offset Change"),
                  [&] { d->s.outputOffset = v; }, [&] { return d->recomputeOutput(); });
}

namespace {
constexpr auto kNoRecompute = [] { return true; };
}

void Quellix::setLowerLimit(double v)
{
    settingSetter(d.get(), "LowerLimit", QStringLiteral("Lower Limit Value"), v, QStringLiteral("Lower Limit Change"),
                  [&] { d->s.lowerLimit = v; }, kNoRecompute);
}

void Quellix::setCautionLimit(double v)
{
    settingSetter(d.get(), "CautionLimit", QStringLiteral("Caution Limit Value"), v,
                  QStringLiteral("Caution Limit Change"), [&] { d->s.cautionLimit = v; }, kNoRecompute);
}

void Quellix::setWarningLimit(double v)
{
    settingSetter(d.get(), "WarningLimit", QStringLiteral("Warning Limit Value"), v,
                  QStringLiteral("Warning Limits Change"), [&] { d->s.warningLimit = v; }, kNoRecompute);
}

void Quellix::setUpperLimit(double v)
{
    settingSetter(d.get(), "UpperLimit", QStringLiteral("Upper Limit Value"), v, QStringLiteral("Upper Limit Change"),
                  [&] { d->s.upperLimit = v; }, kNoRecompute);
}

void Quellix::setUnits(const QString &units)
{
    d->hostCall("Units", [&] {
        d->s.units = units;
        if (!d->notify("Units"))
            return;
        setBoxText(d->tUnits, units);
        d->writeThrough(QStringLiteral("Units"), units);
        d->logUserAction(QStringLiteral("Units Change"));
    });
}

void Quellix::setAscending(bool ascending)
{
    settingSetter(d.get(), "Ascending", QStringLiteral("Direction"),
                  ascending ? QStringLiteral("Ascending") : QStringLiteral("Descending"),
                  QStringLiteral("Limit Direction Change"), [&] { d->s.ascending = ascending; }, kNoRecompute);
}

void Quellix::setPassword(const QString &password)
{
    settingSetter(d.get(), "Password", QStringLiteral("Password"), password, QStringLiteral("Password Change"),
                  [&] { d->s.password = password; }, kNoRecompute);
}

void Quellix::setScanrate(int ms)
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

void Quellix::REGISTER()
{
    d->registerControl();
}
