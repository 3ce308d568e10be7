#include "quellix.h"

#include "hostcolor.h"
#include "numbertext.h"
#include "quellix_p.h"
#include "quellixerror.h"

#include <QLabel>
#include <QMetaMethod>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <cmath>

using namespace quellix;
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

void QuellixPrivate::showOutput(double value)
{
    setBoxText(tOutput, formatReadout(value));
    // The output box tells the host of every new text it shows.
    Q_EMIT q->OutputChange(s.outputValue);
}

void QuellixPrivate::outputTextEdited()
{
    // The output box is not locked: what an operator types is shown in the
    // readout form and announced like a written value.
    const QString formatted = formatReadout(tOutput->text());
    setBoxText(tOutput, formatted);
    Q_EMIT q->OutputChange(s.outputValue);
}

void QuellixPrivate::notify(const char *name)
{
    // The name is only built for a host that listens: the value pipeline
    // notifies three times per reading.
    static const QMetaMethod signal = QMetaMethod::fromSignal(&Quellix::propertyChanged);
    if (q->isSignalConnected(signal))
        Q_EMIT q->propertyChanged(QString::fromLatin1(name));
}

void QuellixPrivate::writeThrough(const QString &field, const QVariant &value)
{
    dbData.edit();
    dbData.setField(field, value);
    dbData.update();
}

void QuellixPrivate::recomputeDisplay()
{
    if (s.onHold)
        return;
    q->setDisplayValue(scaled(s.inputMultiplier, s.inputValue, s.inputOffset));
}

void QuellixPrivate::recomputeOutput()
{
    if (s.onHold)
        return;
    q->setOutputValue(scaled(s.outputMultiplier, s.displayValue, s.outputOffset));
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

void QuellixPrivate::appendLog(const QString &type, const QString &event, NumberForm form, OnError onError)
{
    store::appendLogRecord(dbLog, makeRecord(type, event, form), onError);
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

qint16 Quellix::Scanrate() const
{
    if (d->s.scanrate < -32768 || d->s.scanrate > 32767)
        throw Error(Error::Kind::Overflow, QStringLiteral("Overflow"));
    return qint16(d->s.scanrate);
}

void Quellix::setAutoRedraw(bool on)
{
    d->s.autoRedraw = on;
    d->notify("AutoRedraw");
}

void Quellix::setControlEnabled(bool on)
{
    d->s.enabled = on;
    d->notify("Enabled");
    // Every element and the write-through are attempted, whatever fails.
    for (QWidget *w : d->enabledFollowers())
        w->setEnabled(on);
    try {
        d->writeThrough(QStringLiteral("Enabled"), on);
    } catch (const Error &) {
    }
}

void Quellix::setInputValue(double v)
{
    d->s.inputValue = v;
    d->notify("InputValue");
    if (!d->s.enabled || d->s.onHold)
        return;
    setDisplayValue(QuellixPrivate::scaled(d->s.inputMultiplier, d->s.inputValue, d->s.inputOffset));
    Q_EMIT InputChange(d->s.inputValue);
    Q_EMIT Change();
}

void Quellix::setDisplayValue(double v)
{
    if (d->s.onHold || !d->s.enabled)
        return;
    d->s.displayValue = v;
    d->notify("DisplayValue");
    d->showReadout(v);
    setOutputValue(QuellixPrivate::scaled(d->s.outputMultiplier, d->s.displayValue, d->s.outputOffset));
    Q_EMIT DisplayChange(d->s.displayValue);
    Q_EMIT Change();
}

void Quellix::setOutputValue(double v)
{
    if (!d->s.enabled)
        return;
    d->s.outputValue = v;
    d->notify("OutputValue");
    d->showOutput(v);
    Q_EMIT OutputChange(d->s.outputValue);
    Q_EMIT Change();
}

void Quellix::setInputMultiplier(double v)
{
    d->s.inputMultiplier = v;
    d->notify("InputMultiplier");
    d->writeThrough(QStringLiteral("Input Multiplier"), v);
    d->recomputeDisplay();
    d->logUserAction(QStringLiteral("Input Multiplier Change"));
}

void Quellix::setInputOffset(double v)
{
    d->s.inputOffset = v;
    d->notify("InputOffset");
    d->writeThrough(QStringLiteral("Input Offset"), v);
    d->recomputeDisplay();
    d->logUserAction(QStringLiteral("Input Offset Change"));
}

void Quellix::setOutputMultiplier(double v)
{
    d->s.outputMultiplier = v;
    d->notify("OutputMultiplier");
    d->writeThrough(QStringLiteral("Output Multiplier"), v);
    d->recomputeOutput();
    d->logUserAction(QStringLiteral("Output Multiplier Change"));
}

void Quellix::setOutputOffset(double v)
{
    d->s.outputOffset = v;
    d->notify("OutputOffset");
    d->writeThrough(QStringLiteral("Output Offset"), v);
    d->recomputeOutput();
    d->logUserAction(QStringLiteral("Output Offset Change"));
}

void Quellix::setLowerLimit(double v)
{
    d->s.lowerLimit = v;
    d->notify("LowerLimit");
    d->writeThrough(QStringLiteral("Lower Limit Value"), v);
    d->logUserAction(QStringLiteral("Lower Limit Change"));
}

void Quellix::setCautionLimit(double v)
{
    d->s.cautionLimit = v;
    d->notify("CautionLimit");
    d->writeThrough(QStringLiteral("Caution Limit Value"), v);
    d->logUserAction(QStringLiteral("Caution Limit Change"));
}

void Quellix::setWarningLimit(double v)
{
    d->s.warningLimit = v;
    d->notify("WarningLimit");
    d->writeThrough(QStringLiteral("Warning Limit Value"), v);
    d->logUserAction(QStringLiteral("Warning Limits Change"));
}

void Quellix::setUpperLimit(double v)
{
    d->s.upperLimit = v;
    d->notify("UpperLimit");
    d->writeThrough(QStringLiteral("Upper Limit Value"), v);
    d->logUserAction(QStringLiteral("Upper Limit Change"));
}

void Quellix::setUnits(const QString &units)
{
    d->s.units = units;
    d->notify("Units");
    setBoxText(d->tUnits, units);
    d->writeThrough(QStringLiteral("Units"), units);
    d->logUserAction(QStringLiteral("Units Change"));
}

void Quellix::setAscending(bool ascending)
{
    d->s.ascending = ascending;
    d->notify("Ascending");
    d->writeThrough(QStringLiteral("Direction"),
                    ascending ? QStringLiteral("Ascending") : QStringLiteral("Descending"));
    d->logUserAction(QStringLiteral("Limit Direction Change"));
}

void Quellix::setPassword(const QString &password)
{
    d->s.password = password;
    d->notify("Password");
    d->writeThrough(QStringLiteral("Password"), password);
    d->logUserAction(QStringLiteral("Password Change"));
}

void Quellix::setScanrate(qint16 ms)
{
    d->s.scanrate = ms; // sign-extended; the scan timer keeps its interval until the next load
    d->notify("Scanrate");
    d->writeThrough(QStringLiteral("Scanrate"), int(d->s.scanrate));
    d->logUserAction(QStringLiteral("Scanrate Change"));
}

void Quellix::REGISTER()
{
    d->registerControl();
}
