// The operator buttons, the event relays of the face and periodic recording.

#include "handlerstep.h"
#include "hostcolor.h"
#include "quellix_p.h"
#include "windowstate.h"
#include "passwordprompt.h"
#include "propsdialog.h"
#include "error.h"
#include "recording.h"
#include "logviewer.h"

#include <QLineEdit>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

using namespace quellix;
using namespace quellix::store;


namespace {

void setTextColour(QLineEdit *box, const QColor &colour)
{
    QPalette pal = box->palette();
    if (pal.color(QPalette::Text) == colour)
        return;
    pal.setColor(QPalette::Text, colour);
    box->setPalette(pal);
}

} // namespace

void QuellixPrivate::connectButtons()
{
    QObject::connect(cHold, &QPushButton::clicked, q, [this] { reporting("Hold", [this] { holdClicked(); }); });
    QObject::connect(cReset, &QPushButton::clicked, q,
                     [this] { reporting("Alarm Reset", [this] { resetClicked(); }); });
    QObject::connect(cProperties, &QPushButton::clicked, q,
                     [this] { reporting("Config", [this] { configClicked(); }); });
    QObject::connect(cLogs, &QPushButton::clicked, q, [this] { reporting("Logs", [this] { logsClicked(); }); });
    QObject::connect(timerData, &QTimer::timeout, q,
                     [this] { reporting("recording", [this] { sampleTick(); }); });
}

void QuellixPrivate::holdClicked()
{
    // A host handler may delete the control: nothing of it is touched after
    // an event whose handler did.
    if (s.onHold) {
        s.onHold = false;
        showHoldIndicator();
        if (!raise(&Quellix::HoldOff))
            return;
        logUserAction(QStringLiteral("Hold Off"));
    } else {
        s.onHold = true;
        showHoldIndicator();
        if (!raise(&Quellix::HoldOn))
            return;
        logUserAction(QStringLiteral("Hold On"));
    }
    Q_EMIT q->Click();
}

void QuellixPrivate::showHoldIndicator()
{
    // Released: dark green text; held: the configured hold colour.
    setTextColour(tOnHold, hostColor(s.onHold ? s.holdIndicatorColor : hostRgb(0, 128, 0)));
}

void QuellixPrivate::releaseHold()
{
    // The indicator keeps its design colour until a hold is released.
    if (!s.onHold)
        return;
    s.onHold = false;
    showHoldIndicator();
}

void QuellixPrivate::resetClicked()
{
    s.alarmReset = true;
    cReset->setText(QStringLiteral("Alarm Reset(RESET)"));
    logUserAction(QStringLiteral("Alarm Reset"));
    Q_EMIT q->Click();
}

void QuellixPrivate::sampleTick()
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
        SampleRecord r;
        r.control = name();
        r.inputValue = s.inputValue;
        r.displayValue = s.displayValue;
        r.outputValue = s.outputValue;
        log().append(r);
    }
}

void QuellixPrivate::configClicked()
{
    // The prompt works on the shared configuration context; the dialog
    // takes the stores and the name as arguments.
    const QString controlName = name();
    config::ConfigContext &context = config::sharedWindowState().config;
    context.controlName = controlName;
    context.passwordExpected = s.password;
    context.passwordMode = QLatin1String(config::kModeSetup);

    QPointer<Quellix> alive(q);
    // The dialog keeps the stores it edits, whatever becomes of the control.
    const std::shared_ptr<Stores> bound = stores;
    const bool right = config::askPassword(QStringLiteral("Type Your Password To Enter Config."));
    // Timers and other windows run while the prompt is open: the host may
    // have deleted the control meanwhile, and then there is nothing to
    // configure or reload.
    if (!alive)
        return;
    if (right && config::PasswordPrompt::instance().lastOutcome() == config::GateOutcome::OpenSetup) {
        try {
            if (!bound)
                throw Error(Error::Kind::NotOpen, QStringLiteral("The control is not registered: it has no settings to configure."));
            config::runPropertiesDialog(bound, controlName, q->window());
        } catch (const std::exception &e) {
            // The reload still runs: the row may have changed meanwhile.
            if (!alive)
                return;
            reportError(QStringLiteral("Config"), QString::fromUtf8(e.what()));
        }
        if (!alive)
            return;
    }
    reloadAfterConfig();
}

void QuellixPrivate::reloadAfterConfig()
{
    // A store that cannot be read leaves the whole state as it was; the
    // failure goes to the caller.
    const std::optional<SettingsRow> row = settingsStore().read(name());
    if (!row) {
        Q_EMIT q->Click();
        return;
    }
    reloadSettingsRow(*row);
}

void QuellixPrivate::logsClicked()
{
    logview::ViewerRequest request;
    request.controlName = name();
    request.graphType = s.graphType;
    request.limits = {s.upperLimit, s.warningLimit, s.cautionLimit, s.lowerLimit};
    request.password = s.password;
    request.intervalText = QStringLiteral("Current Recording Interval = ") + numberText(s.recordEvery, NumberForm::Str)
        + QStringLiteral(" Min.");
    // What the viewer is opened with stays the process's viewer context.
    config::SharedWindowState &shared = config::sharedWindowState();
    shared.viewer.controlName = request.controlName;
    shared.viewer.graphType = request.graphType;
    shared.config.passwordExpected = request.password;
    shared.viewer.limits = request.limits;
    // The viewer reads the log of the stores this control is bound to.
    if (!stores)
        throw Error(Error::Kind::NotOpen, QStringLiteral("The control is not registered: it has no log to view."));
    request.storeLocation = stores->location();
    shared.viewer.storeLocation = request.storeLocation;

    // Not a child of the control's window: the host may delete the control
    // (and its window) while the viewer is open.
    QPointer<Quellix> alive(q);
    const int chosen = logview::runLogViewer(request, nullptr);
    if (!alive)
        return;

    s.graphType = static_cast<int16_t>(chosen);
    writeThrough(QStringLiteral("Graph Type"), int(s.graphType));
    Q_EMIT q->Click();
}
