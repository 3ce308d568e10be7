// Registration: binding a control to its settings row and applying it.

#include "hostcolor.h"
#include "handlerstep.h"
#include "quellix_p.h"
#include "error.h"
#include "recording.h"
#include "storefiles.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>
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

void QuellixPrivate::registerControl()
{
    const QString control = name();
    registered = true;

    // 1-2: name, zeroed input and readouts.
    tGaugeName->setText(control);
    s.inputValue = 0;
    tReadout->setText(QStringLiteral("0.00"));
    s.autoRedraw = false;
    // Like every new text of the output box, this one is announced. A host
    // handler may delete the control: registration then ends here.
    tOutput->setText(QStringLiteral("0.00"));
    if (!raise(&Quellix::OutputChange, s.outputValue))
        return;

    // 3-5: the store directory and the two files.
    store::setStoreDirectory(QDir::currentPath());
    const QString dir = store::storeDirectory();
    // Each creation shows a modal stand-by message first; the control may
    // be deleted while it is open.
    QPointer<Quellix> alive(q);
    if (!store::storeFileExists(dir, QLatin1String(kSettingsFileName)))
        ignoring(control, "creating SETTINGS.MDB",
                 [&] { createSettingsStore(storeFilePath(dir, QLatin1String(kSettingsFileName))); });
    if (!alive)
        return;
    if (!store::storeFileExists(dir, QLatin1String(kLogFileName)))
        ignoring(control, "creating LOG.MDB", [&] { createLogStore(storeFilePath(dir, QLatin1String(kLogFileName))); });
    if (!alive)
        return;

    // 6: point the three cursors at the files.
    const QString settingsPath = storeFilePath(dir, QLatin1String(kSettingsFileName));
    const QString logPath = storeFilePath(dir, QLatin1String(kLogFileName));
    dbData.setDatabaseName(settingsPath);
    dbData.setRecordSource(QStringLiteral("Settings"));
    ignoring(control, "opening SETTINGS.MDB", [&] { dbData.refresh(); });
    dbLog.setDatabaseName(logPath);
    dbLog.setRecordSource(QStringLiteral("LOG"));
    ignoring(control, "opening LOG.MDB", [&] { dbLog.refresh(); });
    dbLogData.setDatabaseName(logPath);
    dbLogData.setRecordSource(QStringLiteral("DATA"));
    quietly([&] { dbLogData.refresh(); });
    quietly([&] { dbData.refresh(); });

    // A name longer than the "Control Name" field would be stored empty: the
    // row could never be found again, and every start would add another.
    // Such a control gets no row and no registration record; it runs on
    // factory values, with the settings cursor closed so that no setter
    // writes into the row of another control, and the host is told.
    const TableDef &settings = settingsTable();
    const int nameSize = settings.fields[size_t(settings.indexOf(QStringLiteral("Control Name")))].size;
    if (control.size() > nameSize) {
        const QString why = QStringLiteral("The control name has %1 characters; a settings row holds at most %2. "
                                           "The control is not registered and runs on factory values.")
                                .arg(control.size())
                                .arg(nameSize);
        qCWarning(lcRegister, "%s: %s", qPrintable(control), qPrintable(why));
        dbData.close();
        applyFactoryValues();
        applyColours();
        reportError(QStringLiteral("Control Name"), why); // last: a handler may delete the control
        return;
    }

    // A name that fits the settings row but not a log record's "Control"
    // field registers, but none of its records can be kept: say so.
    const TableDef &log = logTable();
    const int logNameSize = log.fields[size_t(log.indexOf(QStringLiteral("Control")))].size;
    if (control.size() > logNameSize)
        reportErrorLater(QStringLiteral("Control Name"),
                         QStringLiteral("The control name has %1 characters; a log record holds at most %2. "
                                        "No record of this control can be logged.")
                             .arg(control.size())
                             .arg(logNameSize));

    // 7-8: look the name up; a closed cursor counts as empty.
    const bool empty = !dbData.isOpen() || dbData.isEmpty();
    if (!empty && findOwnRow(true)) {
        loadSettingsRow();
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
    appendLogRecord(dbLog, reg, OnError::SkipStep);

    // 10-11: factory values and the new row.
    applyFactoryValues();
    addNewSettingsRow();
}

bool QuellixPrivate::findOwnRow(bool moveLastFirst)
{
    const QString control = name();
    int n = 0;
    try {
        if (moveLastFirst)
            dbData.moveLast();
        n = dbData.recordCount();
        if (!dbData.isEmpty())
            dbData.moveFirst();
    } catch (const Error &) {
        return false;
    }
    for (int i = 0; i < n; ++i) {
        try {
            const QVariant v = dbData.field(QStringLiteral("Control Name"));
            if (!v.isNull() && !control.isEmpty() && v.toString() == control)
                return true;
            dbData.moveNext();
        } catch (const Error &) {
            return false;
        }
    }
    return false;
}

namespace {

// Reads one field of the current row into a state value; an empty field, a
// failing read or a value that does not convert leaves the state as it was.
struct RowReader
{
    Cursor &c;

    QVariant read(const char *field)
    {
        try {
            return c.field(QLatin1String(field));
        } catch (const Error &) {
            return {};
        }
    }
    void text(const char *field, QString &out)
    {
        const QVariant v = read(field);
        if (!v.isNull())
            out = v.toString();
    }
    void flag(const char *field, bool &out)
    {
        const QVariant v = read(field);
        if (!v.isNull())
            out = v.toBool();
    }
    void number(const char *field, double &out)
    {
        const QVariant v = read(field);
        bool ok = false;
        const double d = v.toDouble(&ok);
        if (!v.isNull() && ok)
            out = d;
    }
    template<typename Int>
    void integer(const char *field, Int &out)
    {
        const QVariant v = read(field);
        bool ok = false;
        const qlonglong i = v.toLongLong(&ok);
        if (!v.isNull() && ok && i >= std::numeric_limits<Int>::min() && i <= std::numeric_limits<Int>::max())
            out = Int(i);
    }
};

} // namespace

void QuellixPrivate::setScanInterval()
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

void QuellixPrivate::applyColours()
{
    auto textColour = [](QLineEdit *box, int32_t colour) {
        QPalette pal = box->palette();
        pal.setColor(QPalette::Text, hostColor(colour));
        box->setPalette(pal);
    };
    textColour(tReadout, s.displayColor);
    textColour(tUnits, s.unitsColor);
    textColour(tOutput, s.outputColor);
}

void QuellixPrivate::applyRecordingSettings()
{
    tRecordLite->setVisible(s.logDisplayedEvery);
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

void QuellixPrivate::loadSettingsRow()
{
    RowReader r{dbData};
    r.text("Password", s.password);
    {
        int16_t rate = 0;
        bool got = false;
        const QVariant v = r.read("Scanrate");
        if (!v.isNull()) {
            r.integer("Scanrate", rate);
            got = true;
        }
        if (got)
            s.scanrate = rate;
        setScanInterval();
    }
    {
        const QVariant v = r.read("Direction");
        if (!v.isNull())
            s.ascending = v.toString() != QLatin1String("Descending");
    }
    r.number("Input Offset", s.inputOffset);
    r.number("Input Multiplier", s.inputMultiplier);
    r.number("Output Offset", s.outputOffset);
    r.number("Output Multiplier", s.outputMultiplier);
    r.number("Lower Limit Value", s.lowerLimit);
    r.number("Caution Limit Value", s.cautionLimit);
    r.number("Warning Limit Value", s.warningLimit);
    r.number("Upper Limit Value", s.upperLimit);
    r.text("Units", s.units);
    tUnits->setText(s.units);

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
    tRecordLite->setVisible(s.logDisplayedEvery);
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
    applyColours();
    r.integer("Hold Indicator Color", s.holdIndicatorColor);
    r.integer("COMM Indicator Color", s.commIndicatorColor);
    r.integer("Graph Type", s.graphType);
    r.flag("Enabled", s.enabled);

    releaseHold();
    s.alarmReset = false;
    cReset->setText(QStringLiteral("Alarm Reset"));
}

void QuellixPrivate::applyFactoryValues()
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
    tUnits->setText(s.units);
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

void QuellixPrivate::addNewSettingsRow()
{
    Cursor &c = dbData;
    quietly([&] {
        if (!c.isOpen() || !c.isEmpty())
            c.moveLast();
    });
    quietly([&] { c.addNew(); });
    auto set = [&](const char *field, const QVariant &v) { quietly([&] { c.setField(QLatin1String(field), v); }); };
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
    applyColours();
    set("Hold Indicator Color", 255);
    set("COMM Indicator Color", 255);
    set("Graph Type", 3);
    set("Enabled", true);
    ignoring(name(), "adding the settings row", [&] { c.update(); });
}
