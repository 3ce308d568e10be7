// The operator buttons, the event relays of the face and periodic recording.

#include "handlerstep.h"
#include "hostcolor.h"
#include "quellix_p.h"
#include "quellixerror.h"
#include "recording.h"

#include <QLineEdit>
#include <QLoggingCategory>
#include <QPushButton>
#include <QTimer>

using namespace quellix;
using namespace quellix::store;

Q_LOGGING_CATEGORY(lcButtons, "quellix.buttons")

namespace {

// A click handler runs from the event loop: a store failure loses the
// record but must never end the host program.
template<typename Fn>
void fromEventLoop(const QString &control, const char *what, Fn &&fn)
{
    runStep(lcButtons, StepReport::Warning, control, what, std::forward<Fn>(fn));
}

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
    QObject::connect(cHold, &QPushButton::clicked, q, [this] { fromEventLoop(name(), "Hold", [this] { holdClicked(); }); });
    QObject::connect(cReset, &QPushButton::clicked, q,
                     [this] { fromEventLoop(name(), "Alarm Reset", [this] { resetClicked(); }); });
    QObject::connect(timerData, &QTimer::timeout, q,
                     [this] { fromEventLoop(name(), "recording", [this] { sampleTick(); }); });
}

void QuellixPrivate::holdClicked()
{
    if (s.onHold) {
        s.onHold = false;
        setTextColour(tOnHold, hostColor(hostRgb(0, 128, 0)));
        Q_EMIT q->HoldOff();
        logUserAction(QStringLiteral("Hold Off"));
    } else {
        s.onHold = true;
        setTextColour(tOnHold, hostColor(s.holdIndicatorColor));
        Q_EMIT q->HoldOn();
        logUserAction(QStringLiteral("Hold On"));
    }
    Q_EMIT q->Click();
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
        appendSampleRecord(dbLogData, r, OnError::Throw);
    }
}
