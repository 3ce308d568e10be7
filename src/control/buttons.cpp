// The operator buttons, the event relays of the face and periodic recording.

#include "quellix_p.h"
#include "configcontext.h"
#include "passwordprompt.h"
#include "propsdialog.h"
#include "error.h"
#include "logviewer.h"

#include <QLineEdit>
#include <QLoggingCategory>
#include <QPointer>
#include <QPushButton>

using namespace quellix;
using namespace quellix::store;


void QuellixPrivate::connectButtons()
{
    QObject::connect(cHold, &QPushButton::clicked, q, [this] { reporting("Hold", [this] { holdClicked(); }); });
    QObject::connect(cReset, &QPushButton::clicked, q,
                     [this] { reporting("Alarm Reset", [this] { resetClicked(); }); });
    QObject::connect(cProperties, &QPushButton::clicked, q,
                     [this] { reporting("Config", [this] { configClicked(); }); });
    QObject::connect(cLogs, &QPushButton::clicked, q, [this] { reporting("Logs", [this] { logsClicked(); }); });
}

void QuellixPrivate::holdClicked()
{
    // A host handler of HoldOn or HoldOff may delete the control: Click
    // then goes nowhere.
    QPointer<Quellix> alive(q);
    engine->toggleHold();
    if (alive)
        Q_EMIT q->Click();
}

void QuellixPrivate::resetClicked()
{
    engine->resetAlarm();
    Q_EMIT q->Click();
}

void QuellixPrivate::configClicked()
{
    config::ConfigContext &context = config::configContext();
    context.controlName = name();
    context.passwordExpected = state().password;
    context.passwordMode = QLatin1String(config::kModeSetup);

    QPointer<Quellix> alive(q);
    const QString controlName = context.controlName;
    // The dialog keeps the stores it edits, whatever becomes of the control.
    const std::shared_ptr<Stores> bound = e->stores;
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
    if (!engine->reload())
        Q_EMIT q->Click();
}

void QuellixPrivate::logsClicked()
{
    config::ViewerContext &viewer = config::viewerContext();
    viewer.controlName = name();
    const ControlState &s = state();
    viewer.graphType = s.graphType;
    config::configContext().passwordExpected = s.password;
    viewer.limits = {s.upperLimit, s.warningLimit, s.cautionLimit, s.lowerLimit};
    // The viewer reads the log of the stores this control is bound to.
    if (!e->stores)
        throw Error(Error::Kind::NotOpen, QStringLiteral("The control is not registered: it has no log to view."));
    viewer.storeLocation = e->stores->location();

    // Not a child of the control's window: the host may delete the control
    // (and its window) while the viewer is open.
    logview::LogViewer dialog;
    dialog.setIntervalText(QStringLiteral("Current Recording Interval = ") + numberText(s.recordEvery, NumberForm::Str)
                           + QStringLiteral(" Min."));
    QPointer<Quellix> alive(q);
    dialog.exec();
    if (!alive)
        return;

    engine->setGraphType(viewer.graphType);
    Q_EMIT q->Click();
}
