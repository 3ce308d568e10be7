// The parts of the test support that need the Quellix widget.

#include "testsupport.h"

#include "quellix.h"

#include <QMetaMethod>

namespace testsupport {

EventLog::EventLog(Quellix *control) : QObject(control)
{
    connect(control, &Quellix::Click, this, [this] { events << "Click"; });
    connect(control, &Quellix::DblClick, this, [this] { events << "DblClick"; });
    connect(control, &Quellix::Show, this, [this] { events << "Show"; });
    connect(control, &Quellix::Hide, this, [this] { events << "Hide"; });
    connect(control, &Quellix::MouseMove, this, [this](qint16 b, qint16 s, float x, float y) {
        events << QStringLiteral("MouseMove %1 %2 %3 %4").arg(b).arg(s).arg(x).arg(y);
    });
    connect(control, &Quellix::ScanComplete, this, [this] { events << "ScanComplete"; });
    connect(control, &Quellix::Change, this, [this] { events << "Change"; });
    connect(control, &Quellix::Resize, this, [this] { events << "Resize"; });
    auto value = [this](const char *name) {
        return [this, name](double v) { events << QStringLiteral("%1 %2").arg(QLatin1String(name)).arg(v); };
    };
    connect(control, &Quellix::InputChange, this, value("InputChange"));
    connect(control, &Quellix::DisplayChange, this, value("DisplayChange"));
    connect(control, &Quellix::OutputChange, this, value("OutputChange"));
    connect(control, &Quellix::ReachLowerLimit, this, value("ReachLowerLimit"));
    connect(control, &Quellix::ReachNormalRange, this, value("ReachNormalRange"));
    connect(control, &Quellix::ReachCautionRange, this, value("ReachCautionRange"));
    connect(control, &Quellix::ReachWarningRange, this, value("ReachWarningRange"));
    connect(control, &Quellix::ReachUpperLimit, this, value("ReachUpperLimit"));
    connect(control, &Quellix::HoldOn, this, [this] { events << "HoldOn"; });
    connect(control, &Quellix::HoldOff, this, [this] { events << "HoldOff"; });
}

QStringList EventLog::names() const
{
    QStringList n;
    for (const QString &e : events)
        n << e.section(QLatin1Char(' '), 0, 0);
    return n;
}

std::unique_ptr<Quellix> registeredControl(const QString &name, const QVariantMap &fields)
{
    auto control = std::make_unique<Quellix>();
    control->setObjectName(name);
    control->REGISTER();
    if (!fields.isEmpty()) {
        for (auto it = fields.begin(); it != fields.end(); ++it)
            setSettingsField(name, it.key(), it.value());
        control->REGISTER();
    }
    return control;
}

} // namespace testsupport

