// The scan cycle: every tick of timer_LIMITS classifies the displayed value,
// drives the range indicators and their flashers, repeats the alarm sound,
// and once per entry into a range logs it, prompts, starts the event
// program and tells the host.

#include "scan.h"

#include "engine_p.h"
#include "handlerstep.h"
#include "numbertext.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

using namespace quellix;

Q_LOGGING_CATEGORY(lcScan, "quellix.scan")

namespace quellix::scan {

bool limitsUnset(const Limits &l)
{
    return l.caution == 0 || l.warning == 0;
}

Range classify(double d, const Limits &l, bool ascending)
{
    if (d <= l.lower)
        return Range::Lower;
    if (d >= l.upper)
        return Range::Upper;
    if (ascending ? d < l.caution : d > l.caution)
        return Range::Normal;
    if (ascending ? d >= l.warning : d <= l.warning)
        return Range::Warning;
    return Range::Caution;
}

std::optional<Limit> alarmLimit(Range r)
{
    switch (r) {
    case Range::Lower: return Limit::Lower;
    case Range::Upper: return Limit::Upper;
    case Range::Warning: return Limit::Warning;
    case Range::Caution: return Limit::Caution;
    case Range::Normal:
    case Range::None: break;
    }
    return std::nullopt;
}

QString logEventText(Range r)
{
    switch (r) {
    case Range::Lower: return QStringLiteral("Lower Limit");
    case Range::Upper: return QStringLiteral("Upper Limit");
    case Range::Normal: return QStringLiteral("Normal Range");
    case Range::Warning: return QStringLiteral("Warning Range");
    case Range::Caution: return QStringLiteral("Caution Range");
    case Range::None: break;
    }
    return {};
}

QString promptSuffix(Range r)
{
    switch (r) {
    case Range::Lower: return QStringLiteral(" Lower Limit Reached");
    case Range::Upper: return QStringLiteral(" Upper Limit Reached");
    case Range::Warning: return QStringLiteral(" Warning Range Reached");
    case Range::Caution: return QStringLiteral(" Caution Range Reached");
    case Range::Normal:
    case Range::None: break;
    }
    return {};
}

Entry entryFrom(Range entered, Range to, bool ascending)
{
    if (entered == to)
        return Entry::Stay;
    // The far limit is the one beyond the alarm bands on the other side of
    // normal: coming from it into warning or caution is a move away from
    // normal and prompts; coming back from the near limit does not.
    const Range far = ascending ? Range::Lower : Range::Upper;
    switch (to) {
    case Range::Lower:
    case Range::Upper:
        return Entry::Full;
    case Range::Normal:
        return Entry::LogEvent;
    case Range::Warning:
        return entered == Range::Normal || entered == Range::Caution || entered == far ? Entry::Full
                                                                                      : Entry::LogEvent;
    case Range::Caution:
        return entered == Range::Normal || entered == far ? Entry::Full : Entry::LogEvent;
    case Range::None:
        break;
    }
    return Entry::Stay;
}

TickPlan planTick(Range found, Range current, bool ascending, const ControlState &s)
{
    TickPlan p;
    p.clearAlarmReset = found == Range::Normal || found != current;
    switch (found) {
    case Range::Lower:
        // The flasher beside the lower end blinks; the other one stops.
        p.stopWarningFlasher = ascending;
        p.stopNormalFlasher = !ascending;
        if (s.alarm(Limit::Lower).light)
            p.startFlasher = ascending ? Flasher::Normal : Flasher::Warning;
        break;
    case Range::Upper:
        p.stopNormalFlasher = ascending;
        p.stopWarningFlasher = !ascending;
        if (s.alarm(Limit::Upper).light)
            p.startFlasher = ascending ? Flasher::Warning : Flasher::Normal;
        break;
    case Range::Normal:
        p.stopNormalFlasher = p.stopWarningFlasher = true;
        p.normalLit = true;
        break;
    case Range::Warning:
        p.stopNormalFlasher = p.stopWarningFlasher = true;
        p.warningLit = s.alarm(Limit::Warning).light;
        break;
    case Range::Caution:
        p.stopNormalFlasher = p.stopWarningFlasher = true;
        p.cautionLit = s.alarm(Limit::Caution).light;
        break;
    case Range::None:
        break;
    }
    if (const auto limit = alarmLimit(found))
        p.playSound = s.alarm(*limit).sound;
    return p;
}

bool logsReaching(Range r, const ControlState &s)
{
    switch (r) {
    case Range::Lower: return s.logLowerReaching;
    case Range::Upper: return s.logUpperReaching;
    case Range::Normal: return s.logNormalReaching;
    case Range::Warning: return s.logWarningReaching;
    case Range::Caution: return s.logCautionReaching;
    case Range::None: break;
    }
    return false;
}

} // namespace quellix::scan

namespace {

// A step of the evaluation: whatever it throws is dropped and the next step
// runs. Reported at debug level only: a bad setting fails on every tick.
template<typename Step>
void attempt(const QString &control, const char *what, Step &&step) noexcept
{
    runStep(lcScan, StepReport::Debug, control, what, std::forward<Step>(step));
}

} // namespace

void EnginePrivate::scanTick()
{
    // An engine in design mode or not registered has nothing to scan and
    // must not run anybody's events from its timer.
    if (!userMode || !registered)
        return;

    // Qt never delivers a timer again while its own tick is on the stack.
    // A modal window opened from inside this tick (a click run by the yield
    // below, a host handler of a range event, a stand-by message) would
    // then stop this control's scan until it closed. Restarting gives the
    // timer a new identity that keeps firing inside such a window.
    timerLimits->start();

    // Let clicks and host calls waiting in the queue run before evaluating;
    // one of them may even delete this control. A tick run from inside this
    // control's own yield evaluates without yielding again.
    QPointer<Engine> alive(q);
    if (!yielding) {
        yielding = true;
        QCoreApplication::processEvents();
        if (!alive)
            return;
        yielding = false;
    }
    if (!s.enabled || !userMode)
        return;
    const Range before = s.currentRange;
    attempt(name(), "evaluation", [this] { evaluate(); });
    if (!alive)
        return;
    if (face)
        face->scanned();
    if (s.currentRange != before && !raise(&Engine::rangeChanged, s.currentRange))
        return;
    Q_EMIT q->ScanComplete();
}

void EnginePrivate::setIndicators(bool normal, bool caution, bool warning)
{
    // A steady range changes nothing and costs the face no repaint.
    if (normal == normalLit && caution == cautionLit && warning == warningLit)
        return;
    normalLit = normal;
    cautionLit = caution;
    warningLit = warning;
    if (face)
        face->showIndicators(normalLit, cautionLit, warningLit);
}

void EnginePrivate::clearAlarmReset()
{
    s.alarmReset = false;
    if (face)
        face->showAlarmReset(false);
}

PromptRequest EnginePrivate::promptRequest(const QString &caption, const QString &text) const
{
    PromptRequest p;
    p.controlName = name();
    p.caption = caption;
    p.text = text;
    p.inputValue = s.inputValue;
    p.displayValue = s.displayValue;
    p.outputValue = s.outputValue;
    p.inputMultiplier = s.inputMultiplier;
    p.inputOffset = s.inputOffset;
    p.outputMultiplier = s.outputMultiplier;
    p.outputOffset = s.outputOffset;
    p.holdStatus = s.onHold;
    p.logUserActions = s.logUserActions;
    return p;
}

void EnginePrivate::evaluate()
{
    const QString control = name();
    const scan::Limits limits{s.lowerLimit, s.cautionLimit, s.warningLimit, s.upperLimit};
    if (scan::limitsUnset(limits)) {
        timerNormal->stop();
        timerWarning->stop();
        setIndicators(false, false, false);
        return;
    }

    // One copy of the values for the classification and the limit record.
    const double input = s.inputValue;
    const double display = s.displayValue;
    const double output = s.outputValue;

    const Range found = scan::classify(display, limits, s.ascending);
    const scan::TickPlan plan = scan::planTick(found, s.currentRange, s.ascending, s);

    if (plan.clearAlarmReset)
        attempt(control, "alarm reset", [this] { clearAlarmReset(); });
    s.currentRange = found;
    if (plan.stopNormalFlasher)
        timerNormal->stop();
    if (plan.stopWarningFlasher)
        timerWarning->stop();
    attempt(control, "indicators", [&] { setIndicators(plan.normalLit, plan.cautionLit, plan.warningLit); });
    if (plan.startFlasher != scan::Flasher::None) {
        QTimer *flasher = plan.startFlasher == scan::Flasher::Normal ? timerNormal : timerWarning;
        if (!flasher->isActive())
            flasher->start();
    }

    const std::optional<Limit> limit = scan::alarmLimit(found);
    if (plan.playSound && !s.alarmReset && limit) {
        // The player lets pending events run once; the control may be gone after it.
        QPointer<Engine> alive(q);
        const QString sound = s.alarm(*limit).soundName;
        attempt(control, "alarm sound", [&] { Q_EMIT q->alarmSoundRequested(sound); });
        if (!alive)
            return;
    }

    const scan::Entry entry = scan::entryFrom(s.enteredRange, found, s.ascending);
    if (entry == scan::Entry::Stay)
        return;

    if (scan::logsReaching(found, s)) {
        attempt(control, "limit record", [&] {
            store::LogRecord r;
            r.control = control;
            r.type = QStringLiteral("LIMIT");
            r.event = scan::logEventText(found);
            r.inputValue = input;
            r.inputFunction = functionText(s.inputMultiplier, s.inputOffset, NumberForm::Plain);
            r.displayValue = display;
            r.outputFunction = functionText(s.outputMultiplier, s.outputOffset, NumberForm::Plain);
            r.outputValue = output;
            r.holdStatus = s.onHold;
            log().append(r);
        });
    }

    if (entry == scan::Entry::Full && limit) {
        const LimitAlarm alarm = s.alarm(*limit);
        QPointer<Engine> alive(q);
        if (alarm.prompt) {
            const PromptRequest request = promptRequest(control + scan::promptSuffix(found), alarm.promptText);
            attempt(control, "prompt", [&] { Q_EMIT q->promptRequested(request); });
            if (!alive)
                return;
        }
        if (!alarm.eventPath.isEmpty() && alarm.event) {
            attempt(control, "event program", [&] { Q_EMIT q->programRequested(alarm.eventPath); });
            if (!alive)
                return;
        }
    }

    // The entry is booked before the host hears of it, so a host handler
    // that calls back into the control sees the range as entered.
    s.enteredRange = found;
    switch (found) {
    case Range::Lower: Q_EMIT q->ReachLowerLimit(s.displayValue); break;
    case Range::Upper: Q_EMIT q->ReachUpperLimit(s.displayValue); break;
    case Range::Normal: Q_EMIT q->ReachNormalRange(s.displayValue); break;
    case Range::Warning: Q_EMIT q->ReachWarningRange(s.displayValue); break;
    case Range::Caution: Q_EMIT q->ReachCautionRange(s.displayValue); break;
    case Range::None: break;
    }
}

void EnginePrivate::flashTick(bool normal)
{
    if (!s.enabled)
        return;
    bool &lit = normal ? normalLit : warningLit;
    // In design mode a flasher only dims its indicator.
    const bool next = userMode ? !lit : false;
    if (next == lit)
        return;
    lit = next;
    if (face)
        face->showIndicators(normalLit, cautionLit, warningLit);
}
