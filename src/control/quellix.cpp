// The Quellix widget: an engine that holds the control, and the face that
// draws it. Every property and event is the engine's, passed on unchanged.

#include "quellix.h"

#include "alarmprompt.h"
#include "alarmsound.h"
#include "hostcolor.h"
#include "readouttext.h"
#include "recordtext.h"
#include "quellix_p.h"
#include "standbybox.h"
#include "error.h"

#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>

using namespace quellix;

Q_LOGGING_CATEGORY(lcFace, "quellix")

// ---------------------------------------------------------------------------
// QuellixPrivate

QuellixPrivate::QuellixPrivate(Quellix *q) : q(q) {}

QuellixPrivate::~QuellixPrivate()
{
    // The engine goes before the elements it draws into.
    delete engine;
}

std::array<QWidget *, 13> QuellixPrivate::enabledFollowers() const
{
    return {tRecordLite, tReadout, tNormal, tCaution, tWarning, tCommLight, tOnHold,
            tOutput, tUnits, cHold, cLogs, cProperties, cReset};
}

template<typename Fn>
void QuellixPrivate::hostCall(const char *property, Fn &&fn, bool alwaysReport)
{
    // The engine throws to its caller; the widget decides as the engine
    // would for a host calling it: reported when the call came through a
    // signal-slot connection (or always, for the slots that never throw),
    // thrown otherwise. Only the outermost call decides.
    const bool report = alwaysReport || (e->hostCallDepth == 0 && q->sender() != nullptr);
    if (report)
        reporting(property, std::forward<Fn>(fn));
    else
        fn();
}

void QuellixPrivate::reportError(const QString &property, const QString &message)
{
    qCWarning(lcFace, "%s: %s: %s", qPrintable(name()), qPrintable(property), qPrintable(message));
    Q_EMIT q->errorOccurred(property, message);
}

void QuellixPrivate::connectEngine()
{
    // The engine's events are the control's own: a host connected to the
    // control hears them in the order the engine raises them.
    Engine *en = engine;
    QObject::connect(en, &Engine::ScanComplete, q, &Quellix::ScanComplete);
    QObject::connect(en, &Engine::Change, q, &Quellix::Change);
    QObject::connect(en, &Engine::InputChange, q, &Quellix::InputChange);
    QObject::connect(en, &Engine::DisplayChange, q, &Quellix::DisplayChange);
    QObject::connect(en, &Engine::OutputChange, q, &Quellix::OutputChange);
    QObject::connect(en, &Engine::ReachLowerLimit, q, &Quellix::ReachLowerLimit);
    QObject::connect(en, &Engine::ReachNormalRange, q, &Quellix::ReachNormalRange);
    QObject::connect(en, &Engine::ReachCautionRange, q, &Quellix::ReachCautionRange);
    QObject::connect(en, &Engine::ReachWarningRange, q, &Quellix::ReachWarningRange);
    QObject::connect(en, &Engine::ReachUpperLimit, q, &Quellix::ReachUpperLimit);
    QObject::connect(en, &Engine::HoldOn, q, &Quellix::HoldOn);
    QObject::connect(en, &Engine::HoldOff, q, &Quellix::HoldOff);
    QObject::connect(en, &Engine::propertyChanged, q, &Quellix::propertyChanged);
    QObject::connect(en, &Engine::rangeChanged, q, &Quellix::rangeChanged);
    QObject::connect(en, &Engine::errorOccurred, q, &Quellix::errorOccurred);

    // What the engine asks of a speaker, the operator and the system.
    QObject::connect(en, &Engine::alarmSoundRequested, q, [](const QString &sound) { playAlarmSound(sound); });
    QObject::connect(en, &Engine::alarmSoundStopRequested, q, [] { stopAlarmSound(); });
    QObject::connect(en, &Engine::promptRequested, q, [](const PromptRequest &r) {
        promptSnapshot() = r;
        showAlarmPrompt(r.caption, r.text);
    });
    QObject::connect(en, &Engine::programRequested, q, [](const QString &path) { startProgram(path); });
}

namespace {

// Sets a box's text only when it differs, so an unchanged value costs no
// relayout or repaint.
void setBoxText(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

void setTextColour(QLineEdit *box, const QColor &colour)
{
    QPalette pal = box->palette();
    if (pal.color(QPalette::Text) == colour)
        return;
    pal.setColor(QPalette::Text, colour);
    box->setPalette(pal);
}

struct IndicatorColours
{
    QColor dim, lit;
};
const IndicatorColours kNormalColours{QColor(0, 128, 0), QColor(0, 255, 0)};
const IndicatorColours kCautionColours{QColor(128, 128, 0), QColor(255, 255, 0)};
const IndicatorColours kWarningColours{QColor(128, 0, 0), QColor(255, 0, 0)};

// Changes the indicator only when its colour differs, so a steady range
// costs no palette change and no repaint.
void setBackground(QLineEdit *box, const QColor &colour)
{
    if (box->palette().color(QPalette::Base) == colour)
        return;
    QPalette pal = box->palette();
    pal.setColor(QPalette::Base, colour);
    pal.setColor(QPalette::Window, colour);
    box->setPalette(pal);
}

} // namespace

void QuellixPrivate::showReadout(double value)
{
    // The readout is locked; it shows the "###0.00" form of the number
    // text written into it, which formatting the value directly gives.
    setBoxText(tReadout, formatReadout(value));
}

void QuellixPrivate::showOutput(double value)
{
    setBoxText(tOutput, formatReadout(value));
}

void QuellixPrivate::showUnits(const QString &units)
{
    setBoxText(tUnits, units);
}

void QuellixPrivate::showName()
{
    tGaugeName->setText(name());
}

void QuellixPrivate::showIndicators(bool normalLit, bool cautionLit, bool warningLit)
{
    setBackground(tNormal, normalLit ? kNormalColours.lit : kNormalColours.dim);
    setBackground(tCaution, cautionLit ? kCautionColours.lit : kCautionColours.dim);
    setBackground(tWarning, warningLit ? kWarningColours.lit : kWarningColours.dim);
}

void QuellixPrivate::showHold()
{
    // Released: dark green text; held: the configured hold colour.
    setTextColour(tOnHold, hostColor(state().onHold ? state().holdIndicatorColor : hostRgb(0, 128, 0)));
}

void QuellixPrivate::showAlarmReset(bool reset)
{
    const QString caption = reset ? QStringLiteral("Alarm Reset(RESET)") : QStringLiteral("Alarm Reset");
    if (cReset->text() != caption)
        cReset->setText(caption);
}

void QuellixPrivate::showRecording(bool on)
{
    tRecordLite->setVisible(on);
}

void QuellixPrivate::showColours()
{
    auto textColour = [](QLineEdit *box, int32_t colour) {
        QPalette pal = box->palette();
        pal.setColor(QPalette::Text, hostColor(colour));
        box->setPalette(pal);
    };
    textColour(tReadout, state().displayColor);
    textColour(tUnits, state().unitsColor);
    textColour(tOutput, state().outputColor);
}

void QuellixPrivate::showEnabled(bool on)
{
    for (QWidget *w : enabledFollowers())
        w->setEnabled(on);
}

void QuellixPrivate::scanned()
{
    updateAccessibleTexts();
}

void QuellixPrivate::outputTextEdited()
{
    // The output box is not locked: what an operator types is shown in the
    // readout form and announced like a written value.
    const QString formatted = formatReadout(tOutput->text());
    setBoxText(tOutput, formatted);
    Q_EMIT q->OutputChange(state().outputValue);
}

// ---------------------------------------------------------------------------
// Quellix

Quellix::Quellix(QWidget *parent) : QWidget(parent), d(new QuellixPrivate(this))
{
    config::installStandbyMessageBox();
    d->engine = new Engine(this);
    d->e = EnginePrivate::get(d->engine);
    d->e->nameOwner = this;
    d->createFace();
    d->e->face = d.get();
    d->connectEngine();
    d->connectButtons();
    d->installRelays();
    // A new name given by the host is an ambient change.
    connect(this, &QObject::objectNameChanged, this, [this] { ambientChanged(); });
}

Quellix::~Quellix() = default;

bool Quellix::AutoRedraw() const { return d->engine->AutoRedraw(); }
bool Quellix::Enabled() const { return d->engine->Enabled(); }
double Quellix::InputMultiplier() const { return d->engine->InputMultiplier(); }
double Quellix::InputOffset() const { return d->engine->InputOffset(); }
double Quellix::OutputMultiplier() const { return d->engine->OutputMultiplier(); }
double Quellix::OutputOffset() const { return d->engine->OutputOffset(); }
double Quellix::DisplayValue() const { return d->engine->DisplayValue(); }
QString Quellix::Units() const { return d->engine->Units(); }
double Quellix::OutputValue() const { return d->engine->OutputValue(); }
double Quellix::InputValue() const { return d->engine->InputValue(); }
double Quellix::CautionLimit() const { return d->engine->CautionLimit(); }
double Quellix::WarningLimit() const { return d->engine->WarningLimit(); }
double Quellix::LowerLimit() const { return d->engine->LowerLimit(); }
double Quellix::UpperLimit() const { return d->engine->UpperLimit(); }
bool Quellix::Ascending() const { return d->engine->Ascending(); }
QString Quellix::Password() const { return d->engine->Password(); }
bool Quellix::Onhold() const { return d->engine->Onhold(); }
bool Quellix::userMode() const { return d->engine->userMode(); }
void Quellix::setUserMode(bool running) { d->engine->setUserMode(running); }
quellix::Range Quellix::currentRange() const { return d->engine->currentRange(); }
qint16 Quellix::Scanrate() const { return d->engine->Scanrate(); }

// Readings never throw: the engine reports what it cannot take.
void Quellix::setValue(double reading) { d->engine->setValue(reading); }

void Quellix::setAutoRedraw(bool on) { d->hostCall("AutoRedraw", [&] { d->engine->setAutoRedraw(on); }); }
void Quellix::setControlEnabled(bool on) { d->hostCall("Enabled", [&] { d->engine->setControlEnabled(on); }); }
void Quellix::setInputValue(double v) { d->hostCall("InputValue", [&] { d->engine->setInputValue(v); }); }
void Quellix::setDisplayValue(double v) { d->hostCall("DisplayValue", [&] { d->engine->setDisplayValue(v); }); }
void Quellix::setOutputValue(double v) { d->hostCall("OutputValue", [&] { d->engine->setOutputValue(v); }); }
void Quellix::setInputMultiplier(double v)
{
    d->hostCall("InputMultiplier", [&] { d->engine->setInputMultiplier(v); });
}
void Quellix::setInputOffset(double v) { d->hostCall("InputOffset", [&] { d->engine->setInputOffset(v); }); }
void Quellix::setOutputMultiplier(double v)
{
    d->hostCall("OutputMultiplier", [&] { d->engine->setOutputMultiplier(v); });
}
void Quellix::setOutputOffset(double v) { d->hostCall("OutputOffset", [&] { d->engine->setOutputOffset(v); }); }
void Quellix::setLowerLimit(double v) { d->hostCall("LowerLimit", [&] { d->engine->setLowerLimit(v); }); }
void Quellix::setCautionLimit(double v) { d->hostCall("CautionLimit", [&] { d->engine->setCautionLimit(v); }); }
void Quellix::setWarningLimit(double v) { d->hostCall("WarningLimit", [&] { d->engine->setWarningLimit(v); }); }
void Quellix::setUpperLimit(double v) { d->hostCall("UpperLimit", [&] { d->engine->setUpperLimit(v); }); }
void Quellix::setUnits(const QString &units) { d->hostCall("Units", [&] { d->engine->setUnits(units); }); }
void Quellix::setAscending(bool ascending) { d->hostCall("Ascending", [&] { d->engine->setAscending(ascending); }); }
void Quellix::setPassword(const QString &password)
{
    d->hostCall("Password", [&] { d->engine->setPassword(password); });
}
void Quellix::setScanrate(int ms) { d->hostCall("Scanrate", [&] { d->engine->setScanrate(ms); }); }

void Quellix::REGISTER()
{
    d->engine->REGISTER();
}
