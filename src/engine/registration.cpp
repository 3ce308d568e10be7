// Registration: binding a control to its settings row and applying it.

#include "engine_p.h"
#include "handlerstep.h"
#include "error.h"
#include "recording.h"
#include "storefiles.h"

#include <QDir>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

#include <limits>
#include <optional>

using namespace quellix;
using namespace quellix::store;

Q_LOGGING_CATEGORY(lcRegister, "quellix.register")

namespace {

// Runs one step with errors ignored; a store failure is still made visible
// to whoever runs the program, as a warning.
template<typename Fn>
void ignoring(const QString &control, const char *what, Fn &&fn)
{
    runStep(lcRegister, StepReport::Warning, control, what, std::forward<Fn>(fn));
}


} // namespace

void EnginePrivate::registerControl()
{
    const QString control = name();
    registered = true;

    // 1-2: name, zeroed input and readouts.
    if (face)
        face->showName();
    s.inputValue = 0;
    if (face)
        face->showReadout(0);
    s.autoRedraw = false;
    // Like every new text of the output box, this one is announced. A host
    // handler may delete the control: registration then ends here.
    if (face)
        face->showOutput(0);
    if (!raise(&Engine::OutputChange, s.outputValue))
        return;

    // 3-5: the store location (the host's choice, else the current
    // directory, captured anew each time) and, for a directory, its two files.
    const StoreLocation location = chosenStoreLocation().value_or(StoreLocation::directory(QDir::currentPath()));
    const bool inDirectory = location.kind() == StoreLocation::Kind::Directory;
    if (inDirectory)
        store::setStoreDirectory(location.address());
    const QString dir = store::storeDirectory();
    // Each creation shows a modal stand-by message first; the control may
    // be deleted while it is open.
    QPointer<Engine> alive(q);
    if (inDirectory && !store::storeFileExists(dir, QLatin1String(kSettingsFileName)))
        ignoring(control, "creating SETTINGS.MDB",
                 [&] { createSettingsStore(storeFilePath(dir, QLatin1String(kSettingsFileName))); });
    if (!alive)
        return;
    if (inDirectory && !store::storeFileExists(dir, QLatin1String(kLogFileName)))
        ignoring(control, "creating LOG.MDB", [&] { createLogStore(storeFilePath(dir, QLatin1String(kLogFileName))); });
    if (!alive)
        return;

    // 6: bind the stores.
    // The control's row is bound anew: until it is found or added below,
    // no write-back has a row to go to.
    settingsKey.clear();
    stores.reset();
    ignoring(control, "opening the stores", [&] { stores = openStores(location); });
    // The log takes the LOG.MDB found (or just made) now.
    ignoring(control, "opening LOG.MDB", [&] { log().reopen(); });

    // A name longer than the "Control Name" field would be stored empty: the
    // row could never be found again, and every start would add another.
    // Such a control gets no row and no registration record; it runs on
    // factory values without a row to write back to, and the host is told.
    const int nameSize = schema::definition(Field::ControlName).size;
    if (control.size() > nameSize) {
        const QString why = QStringLiteral("The control name has %1 characters; a settings row holds at most %2. "
                                           "The control is not registered and runs on factory values.")
                                .arg(control.size())
                                .arg(nameSize);
        qCWarning(lcRegister, "%s: %s", qPrintable(control), qPrintable(why));
        applyFactoryValues();
        if (face)
            face->showColours();
        reportError(QStringLiteral("Control Name"), why); // last: a handler may delete the control
        return;
    }

    // A name that fits the settings row but not a log record's "Control"
    // field registers, but none of its records can be kept: say so.
    const int logNameSize = schema::definition(schema::LogField::Control).size;
    if (control.size() > logNameSize)
        reportErrorLater(QStringLiteral("Control Name"),
                         QStringLiteral("The control name has %1 characters; a log record holds at most %2. "
                                        "No record of this control can be logged.")
                             .arg(control.size())
                             .arg(logNameSize));

    // 7-8: look the name up (the first row of the name, compared exactly);
    // a settings store that cannot be read counts as empty. From here on
    // the control's write-backs address the row of this name.
    std::optional<SettingsRow> row;
    if (stores)
        ignoring(control, "reading SETTINGS.MDB", [&] { row = stores->settings().read(control); });
    settingsKey = control;
    if (row) {
        loadRow(*row, RowLoad::Registration);
        if (s.logSystemErrors)
            appendLog(QStringLiteral("SYSTEM"), QStringLiteral("System Start"), NumberForm::Str, OnError::SkipStep);
        return;
    }

    // 9: the registration record, whatever the log switches.
    LogRecord reg;
    reg.control = control;
    reg.type = QStringLiteral("SYSTEM");
    reg.event = QStringLiteral("Control Registration For ") + control;
    reg.inputFunction = reg.outputFunction = QStringLiteral("NEW");
    ignoring(control, "logging the registration", [&] { log().append(reg); });

    // 10-11: factory values and the new row.
    applyFactoryValues();
    addNewSettingsRow();
}

namespace {

/// The alarm settings of one limit that a field belongs to, and which of
/// them; none for a field of another kind.
struct AlarmField
{
    Limit limit;
    bool LimitAlarm::*flag = nullptr;
    QString LimitAlarm::*text = nullptr;
};

std::optional<AlarmField> alarmField(Field f)
{
    using L = Limit;
    using A = LimitAlarm;
    switch (f) {
    case Field::EnableUpperLimit: return AlarmField{L::Upper, &A::limitEnabled};
    case Field::EnableWarningLimit: return AlarmField{L::Warning, &A::limitEnabled};
    case Field::EnableCautionLimit: return AlarmField{L::Caution, &A::limitEnabled};
    case Field::EnableLowerLimit: return AlarmField{L::Lower, &A::limitEnabled};
    case Field::UpperAlarmLight: return AlarmField{L::Upper, &A::light};
    case Field::WarningAlarmLight: return AlarmField{L::Warning, &A::light};
    case Field::CautionAlarmLight: return AlarmField{L::Caution, &A::light};
    case Field::LowerAlarmLight: return AlarmField{L::Lower, &A::light};
    case Field::UpperAlarmSound: return AlarmField{L::Upper, &A::sound};
    case Field::WarningAlarmSound: return AlarmField{L::Warning, &A::sound};
    case Field::CautionAlarmSound: return AlarmField{L::Caution, &A::sound};
    case Field::LowerAlarmSound: return AlarmField{L::Lower, &A::sound};
    case Field::UpperAlarmSoundName: return AlarmField{L::Upper, nullptr, &A::soundName};
    case Field::WarningAlarmSoundName: return AlarmField{L::Warning, nullptr, &A::soundName};
    case Field::CautionAlarmSoundName: return AlarmField{L::Caution, nullptr, &A::soundName};
    case Field::LowerAlarmSoundName: return AlarmField{L::Lower, nullptr, &A::soundName};
    case Field::EnableUpperPrompt: return AlarmField{L::Upper, &A::prompt};
    case Field::EnableWarningPrompt: return AlarmField{L::Warning, &A::prompt};
    case Field::EnableCautionPrompt: return AlarmField{L::Caution, &A::prompt};
    case Field::EnableLowerPrompt: return AlarmField{L::Lower, &A::prompt};
    case Field::UpperPromptText: return AlarmField{L::Upper, nullptr, &A::promptText};
    case Field::WarningPromptText: return AlarmField{L::Warning, nullptr, &A::promptText};
    case Field::CautionPromptText: return AlarmField{L::Caution, nullptr, &A::promptText};
    case Field::LowerPromptText: return AlarmField{L::Lower, nullptr, &A::promptText};
    case Field::EnableUpperEvent: return AlarmField{L::Upper, &A::event};
    case Field::EnableWarningEvent: return AlarmField{L::Warning, &A::event};
    case Field::EnableCautionEvent: return AlarmField{L::Caution, &A::event};
    case Field::EnableLowerEvent: return AlarmField{L::Lower, &A::event};
    case Field::UpperEventPath: return AlarmField{L::Upper, nullptr, &A::eventPath};
    case Field::WarningEventPath: return AlarmField{L::Warning, nullptr, &A::eventPath};
    case Field::CautionEventPath: return AlarmField{L::Caution, nullptr, &A::eventPath};
    case Field::LowerEventPath: return AlarmField{L::Lower, nullptr, &A::eventPath};
    default: return std::nullopt;
    }
}

template<typename Int>
void takeInteger(const QVariant &v, Int &out)
{
    const qlonglong i = v.toLongLong();
    if (i >= std::numeric_limits<Int>::min() && i <= std::numeric_limits<Int>::max())
        out = Int(i);
}

} // namespace

void EnginePrivate::loadField(const SettingsRow &row, Field f)
{
    // The row holds each field as its type declares it, or not at all
    // (empty, or a stored value the field's type cannot hold): an absent
    // field leaves its state value as it was.
    const QVariant v = row.value(f);
    if (!v.isValid())
        return;
    if (const auto a = alarmField(f)) {
        LimitAlarm &alarm = s.alarm(a->limit);
        if (a->flag)
            alarm.*(a->flag) = v.toBool();
        else
            alarm.*(a->text) = v.toString();
        return;
    }
    switch (f) {
    case Field::Password: s.password = v.toString(); break;
    case Field::Scanrate: takeInteger(v, s.scanrate); break;
    case Field::Direction: s.ascending = v.toString() != QLatin1String("Descending"); break;
    case Field::InputOffset: s.inputOffset = v.toDouble(); break;
    case Field::InputMultiplier: s.inputMultiplier = v.toDouble(); break;
    case Field::OutputOffset: s.outputOffset = v.toDouble(); break;
    case Field::OutputMultiplier: s.outputMultiplier = v.toDouble(); break;
    case Field::LowerLimitValue: s.lowerLimit = v.toDouble(); break;
    case Field::CautionLimitValue: s.cautionLimit = v.toDouble(); break;
    case Field::WarningLimitValue: s.warningLimit = v.toDouble(); break;
    case Field::UpperLimitValue: s.upperLimit = v.toDouble(); break;
    case Field::Units: s.units = v.toString(); break;
    case Field::LogUserActions: s.logUserActions = v.toBool(); break;
    case Field::LogSystemErrors: s.logSystemErrors = v.toBool(); break;
    case Field::LogDisplayedEvery: s.logDisplayedEvery = v.toBool(); break;
    case Field::LogEveryTimeInterval: s.logEveryTimeInterval = v.toString(); break;
    case Field::LogUpperReaching: s.logUpperReaching = v.toBool(); break;
    case Field::LogWarningReaching: s.logWarningReaching = v.toBool(); break;
    case Field::LogCautionReaching: s.logCautionReaching = v.toBool(); break;
    case Field::LogNormalReaching: s.logNormalReaching = v.toBool(); break;
    case Field::LogLowerReaching: s.logLowerReaching = v.toBool(); break;
    case Field::DisplayColor: takeInteger(v, s.displayColor); break;
    case Field::UnitsColor: takeInteger(v, s.unitsColor); break;
    case Field::OutputColor: takeInteger(v, s.outputColor); break;
    case Field::HoldIndicatorColor: takeInteger(v, s.holdIndicatorColor); break;
    case Field::CommIndicatorColor: takeInteger(v, s.commIndicatorColor); break;
    case Field::GraphType: takeInteger(v, s.graphType); break;
    case Field::Enabled: s.enabled = v.toBool(); break;
    default: break; // the name and the communication fields: kept in the row only
    }
}

void EnginePrivate::setScanInterval()
{
    // An interval of zero or less keeps the scan stopped rather than letting
    // it spin the event loop.
    timerLimits->stop();
    if (s.scanrate > 0) {
        timerLimits->setInterval(s.scanrate);
        timerLimits->start();
        return;
    }
    // Written by another program: no alarm of this control would ever be
    // evaluated, which nobody must mistake for a quiet plant.
    reportErrorLater(QStringLiteral("Scanrate"),
                     QStringLiteral("The stored scan rate %1 ms is below 1 ms: the control does not scan")
                         .arg(s.scanrate));
}

void EnginePrivate::applyRecordingSettings()
{
    if (face)
        face->showRecording(s.logDisplayedEvery);
    if (s.logDisplayedEvery) {
        if (const auto minutes = recordingMinutes(s.logEveryTimeInterval)) {
            s.recordTicks = 0;
            s.recordEvery = *minutes;
        }
        timerData->start();
    } else {
        timerData->stop();
    }
}

bool EnginePrivate::loadRow(const SettingsRow &row, RowLoad kind)
{
    // Registration and the reload after Config read the same fields in the
    // same order. Only the reload re-runs the pipeline and repaints a held
    // indicator; only registration releases a hold and re-arms the alarm.
    // Some fields take effect as soon as they are read: the scan interval,
    // the pipeline on the new factors, what the face shows.
    const bool reload = kind == RowLoad::Reload;
    for (const Field f : schema::loadOrder()) {
        loadField(row, f);
        switch (f) {
        case Field::Scanrate:
            setScanInterval();
            break;
        case Field::OutputMultiplier:
            if (reload) {
                // InputValue given its own value again, through its setter's
                // steps: the new multipliers and offsets reach the readouts
                // and the host hears the changes. A value the new factors
                // cannot scale is skipped like any failing step; a host
                // handler deleting the control ends it.
                QPointer<Engine> alive(q);
                ignoring(name(), "re-running the value pipeline", [&] { applyInput(s.inputValue); });
                if (!alive)
                    return false;
            }
            break;
        case Field::Units:
            if (face)
                face->showUnits(s.units);
            break;
        case Field::LogDisplayedEvery:
            if (face)
                face->showRecording(s.logDisplayedEvery);
            break;
        case Field::LogLowerReaching:
            applyRecordingSettings();
            break;
        case Field::OutputColor:
            if (face)
                face->showColours();
            break;
        case Field::HoldIndicatorColor:
            if (reload && s.onHold && face)
                face->showHold();
            break;
        default:
            break;
        }
    }

    if (!reload) {
        releaseHold();
        s.alarmReset = false;
        if (face)
            face->showAlarmReset(false);
    }
    return true;
}

void EnginePrivate::applyFactoryValues()
{
    // The values of a new row, taken as a load would take them (without its
    // steps: the scan keeps its interval until the row is loaded).
    // The name is not part of the state (and may be too long for a row).
    const SettingsRow factory = factoryRow(QString());
    for (const Field f : schema::loadOrder())
        loadField(factory, f);
    if (face)
        face->showUnits(s.units);
    releaseHold();
    s.hiddenCaption = name();
}

void EnginePrivate::releaseHold()
{
    // The indicator keeps its design colour until a hold is released.
    if (!s.onHold)
        return;
    s.onHold = false;
    if (face)
        face->showHold();
}

void EnginePrivate::addNewSettingsRow()
{
    // The 28 fields of a new row; the other 44 stay empty.
    if (face)
        face->showColours();
    ignoring(name(), "adding the settings row", [&] { settingsStore().add(factoryRow(name())); });
}
