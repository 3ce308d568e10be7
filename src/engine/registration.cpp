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

template<typename Fn>
void quietly(Fn &&fn)
{
    try {
        fn();
    } catch (const Error &) {
    }
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
    const TableDef &settings = settingsTable();
    const int nameSize = settings.fields[size_t(settings.indexOf(QStringLiteral("Control Name")))].size;
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
    const TableDef &logDef = logTable();
    const int logNameSize = logDef.fields[size_t(logDef.indexOf(QStringLiteral("Control")))].size;
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

// Copies the fields of a settings row into state values. The row holds
// each field as its type declares it, or not at all (empty, or a stored
// value the field's type cannot hold): an absent field leaves its state
// value as it was, and each field is its own step.
struct RowReader
{
    const SettingsRow &row;

    QVariant read(const char *field) const { return row.value(QLatin1String(field)); }
    void text(const char *field, QString &out) const
    {
        if (const QVariant v = read(field); v.isValid())
            out = v.toString();
    }
    void flag(const char *field, bool &out) const
    {
        if (const QVariant v = read(field); v.isValid())
            out = v.toBool();
    }
    void number(const char *field, double &out) const
    {
        if (const QVariant v = read(field); v.isValid())
            out = v.toDouble();
    }
    template<typename Int>
    void integer(const char *field, Int &out) const
    {
        const QVariant v = read(field);
        const qlonglong i = v.toLongLong();
        if (v.isValid() && i >= std::numeric_limits<Int>::min() && i <= std::numeric_limits<Int>::max())
            out = Int(i);
    }
};

} // namespace

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
    const bool reload = kind == RowLoad::Reload;
    const RowReader r{row};
    r.text("Password", s.password);
    r.integer("Scanrate", s.scanrate);
    setScanInterval();
    if (const QVariant v = r.read("Direction"); v.isValid())
        s.ascending = v.toString() != QLatin1String("Descending");
    r.number("Input Offset", s.inputOffset);
    r.number("Input Multiplier", s.inputMultiplier);
    r.number("Output Offset", s.outputOffset);
    r.number("Output Multiplier", s.outputMultiplier);
    if (reload) {
        // InputValue given its own value again, through its setter's steps:
        // the new multipliers and offsets reach the readouts and the host
        // hears the changes. A value the new factors cannot scale is skipped
        // like any failing step; a host handler deleting the control ends it.
        QPointer<Engine> alive(q);
        ignoring(name(), "re-running the value pipeline", [&] { applyInput(s.inputValue); });
        if (!alive)
            return false;
    }
    r.number("Lower Limit Value", s.lowerLimit);
    r.number("Caution Limit Value", s.cautionLimit);
    r.number("Warning Limit Value", s.warningLimit);
    r.number("Upper Limit Value", s.upperLimit);
    r.text("Units", s.units);
    if (face)
        face->showUnits(s.units);

    static const char *const groups[] = {"Upper", "Warning", "Caution", "Lower"};
    auto per = [&](const char *pattern, auto member) {
        for (int i = 0; i < 4; ++i) {
            const QByteArray field = QByteArray(pattern).replace("%", groups[i]);
            auto &target = s.alarms[i].*member;
            if constexpr (std::is_same_v<std::remove_reference_t<decltype(target)>, bool>)
                r.flag(field.constData(), target);
            else
                r.text(field.constData(), target);
        }
    };
    per("Enable % Limit", &LimitAlarm::limitEnabled);
    per("% Alarm Light", &LimitAlarm::light);
    per("% Alarm Sound", &LimitAlarm::sound);
    per("% Alarm Sound Name", &LimitAlarm::soundName);
    per("Enable % Prompt", &LimitAlarm::prompt);
    per("% Prompt Text", &LimitAlarm::promptText);
    per("Enable % Event", &LimitAlarm::event);
    per("% Event Path", &LimitAlarm::eventPath);

    r.flag("Log User Actions", s.logUserActions);
    r.flag("Log System Errors", s.logSystemErrors);
    r.flag("Log Displayed Every", s.logDisplayedEvery);
    if (face)
        face->showRecording(s.logDisplayedEvery);
    r.text("Log Every Time Interval", s.logEveryTimeInterval);
    r.flag("Log Upper Reaching", s.logUpperReaching);
    r.flag("Log Warning Reaching", s.logWarningReaching);
    r.flag("Log Caution Reaching", s.logCautionReaching);
    r.flag("Log Normal Reaching", s.logNormalReaching);
    r.flag("Log Lower Reaching", s.logLowerReaching);
    applyRecordingSettings();

    r.integer("Display Color", s.displayColor);
    r.integer("Units Color", s.unitsColor);
    r.integer("Output Color", s.outputColor);
    if (face)
        face->showColours();
    r.integer("Hold Indicator Color", s.holdIndicatorColor);
    if (reload && s.onHold && face)
        face->showHold();
    r.integer("COMM Indicator Color", s.commIndicatorColor);
    r.integer("Graph Type", s.graphType);
    r.flag("Enabled", s.enabled);

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
    s.inputMultiplier = 1;
    s.inputOffset = 0;
    s.outputMultiplier = 1;
    s.outputOffset = 0;
    for (LimitAlarm &a : s.alarms) {
        a.limitEnabled = true;
        a.light = true;
    }
    s.lowerLimit = 0;
    s.cautionLimit = 75;
    s.warningLimit = 90;
    s.upperLimit = 100;
    s.units = QStringLiteral("%");
    if (face)
        face->showUnits(s.units);
    releaseHold();
    s.hiddenCaption = name();
    s.password = QStringLiteral("marigold");
    s.scanrate = 500;
    s.displayColor = hostRgb(255, 0, 0);
    s.unitsColor = hostRgb(255, 255, 0);
    s.outputColor = hostRgb(0, 255, 0);
    s.holdIndicatorColor = hostRgb(255, 0, 0);
    s.commIndicatorColor = hostRgb(255, 0, 0);
    s.ascending = true;
    s.graphType = 3;
    s.enabled = true;
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
    // The 28 fields of a new row; the other 44 stay empty. A value the row
    // refuses leaves its field empty, and the others are still added.
    SettingsRow row;
    auto set = [&](const char *field, const QVariant &v) { quietly([&] { row.set(QLatin1String(field), v); }); };
    set("Control Name", name());
    set("Password", s.password);
    set("Scanrate", 500);
    set("Direction", QStringLiteral("Ascending"));
    set("Enable Upper Limit", s.alarm(Limit::Upper).limitEnabled);
    set("Enable Warning Limit", s.alarm(Limit::Warning).limitEnabled);
    set("Enable Caution Limit", s.alarm(Limit::Caution).limitEnabled);
    set("Enable Lower Limit", s.alarm(Limit::Lower).limitEnabled);
    set("Upper Alarm Light", s.alarm(Limit::Upper).light);
    set("Warning Alarm Light", s.alarm(Limit::Warning).light);
    set("Caution Alarm Light", s.alarm(Limit::Caution).light);
    set("Lower Alarm Light", s.alarm(Limit::Lower).light);
    set("Input Offset", 0.0);
    set("Input Multiplier", 1.0);
    set("Output Offset", 0.0);
    set("Output Multiplier", 1.0);
    set("Lower Limit Value", 0);
    set("Caution Limit Value", 75);
    set("Warning Limit Value", 90);
    set("Upper Limit Value", 100);
    set("Units", QStringLiteral("%"));
    set("Display Color", 255);
    set("Units Color", 65535);
    set("Output Color", 65280);
    if (face)
        face->showColours();
    set("Hold Indicator Color", 255);
    set("COMM Indicator Color", 255);
    set("Graph Type", 3);
    set("Enabled", true);
    ignoring(name(), "adding the settings row", [&] { settingsStore().add(row); });
}
