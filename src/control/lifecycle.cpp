// The control's reaction to its host: lifecycle notifications, the widget
// events that stand for them, and the relays that pass mouse actions on the
// face to the host as the control's own Click, DblClick and MouseMove.

#include "facelayout.h"
#include "quellix_p.h"
#include "error.h"

#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>

using namespace quellix;
using namespace quellix::store;


namespace {

// ---------------------------------------------------------------------------
// Event relays
//
// What each element passes on:
//   i_BORDER                     Click, DblClick, MouseMove
//   the control's bare surface   Click, MouseMove
//   t_READOUT, t_NORMAL,
//   t_CAUTION, t_WARNING         Click, DblClick
//   everything else              nothing
//
// Rules:
// - Click is a press and release of the left button on the same element,
//   raised on the release when it happens inside that element. DblClick is
//   the left button's double click; the release that ends a double click
//   raises no second Click (Click, DblClick is the order the host sees).
// - MouseMove carries the buttons held (left 1, right 2, middle 4, added),
//   the modifier keys (Shift 1, Ctrl 2, Alt 4, added) and the position
//   relative to the element in host units (15 per pixel) as single
//   precision. Moves are relayed with and without a button held.
// - A disabled element relays nothing (the host may disable the whole
//   control, and Enabled disables the operator elements).
// - LOGO and t_GAUGENAME lie over i_BORDER but swallow their mouse actions:
//   a click on the emblem or the name raises nothing, not a border Click.
// - Mouse actions that Qt hands up from an element (a disabled box, a
//   button pressed with the right button) are not surface actions: the
//   surface relays only what lands on it where no element lies, plus the
//   moves of a press that started there.
// - Drag and drop is not accepted anywhere on the face.

enum class Relay { None, BorderKind, BoxKind, Swallow };

/// The press the relays follow: where the current sequence of mouse
/// buttons started, and whether a left click can still end it.
class RelayState final : public QObject
{
public:
    explicit RelayState(Quellix *q) : QObject(q) {}
    QPointer<QObject> pressedOn;
    bool clickArmed = false;
};

RelayState *relayState(const Quellix *q)
{
    for (QObject *c : q->children()) {
        if (auto *r = dynamic_cast<RelayState *>(c))
            return r;
    }
    return nullptr;
}

bool isMouseEvent(QEvent::Type t)
{
    return t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease || t == QEvent::MouseButtonDblClick
           || t == QEvent::MouseMove;
}

qint16 hostButtons(Qt::MouseButtons b)
{
    qint16 code = 0;
    if (b & Qt::LeftButton)
        code |= 1;
    if (b & Qt::RightButton)
        code |= 2;
    if (b & Qt::MiddleButton)
        code |= 4;
    return code;
}

qint16 hostShift(Qt::KeyboardModifiers m)
{
    qint16 code = 0;
    if (m & Qt::ShiftModifier)
        code |= 1;
    if (m & Qt::ControlModifier)
        code |= 2;
    if (m & Qt::AltModifier)
        code |= 4;
    return code;
}

float hostUnits(qreal pixels)
{
    return float(pixels * face::kUnitsPerPixel);
}

/// Follows one mouse event on `target` (an element or the control) and
/// raises what the element relays. `raisesDblClick` and `raisesMove` say
/// which of those the element passes on; Click is relayed by all of them.
void follow(Quellix *q, RelayState &st, QObject *target, QMouseEvent *e, bool raisesDblClick, bool raisesMove)
{
    switch (e->type()) {
    case QEvent::MouseButtonPress:
        // The first button down starts a sequence on this element.
        if (e->buttons() == e->button() || st.pressedOn != target) {
            st.pressedOn = target;
            st.clickArmed = false;
        }
        if (e->button() == Qt::LeftButton)
            st.clickArmed = true;
        break;
    case QEvent::MouseButtonDblClick:
        if (e->button() == Qt::LeftButton) {
            st.pressedOn = target;
            st.clickArmed = false;
            if (raisesDblClick)
                Q_EMIT q->DblClick();
        }
        break;
    case QEvent::MouseButtonRelease: {
        const bool click = e->button() == Qt::LeftButton && st.clickArmed && st.pressedOn == target;
        if (e->button() == Qt::LeftButton)
            st.clickArmed = false;
        if (e->buttons() == Qt::NoButton)
            st.pressedOn = nullptr;
        auto *w = qobject_cast<QWidget *>(target);
        if (click && w && w->rect().contains(e->position().toPoint()))
            Q_EMIT q->Click();
        break;
    }
    case QEvent::MouseMove:
        if (raisesMove) {
            Q_EMIT q->MouseMove(hostButtons(e->buttons()), hostShift(e->modifiers()), hostUnits(e->position().x()),
                                hostUnits(e->position().y()));
        }
        break;
    default:
        break;
    }
}

/// True when a mouse event that reached the control itself belongs to its
/// surface: it lies where no element is, or it continues a press that
/// started on the surface.
bool onSurface(Quellix *q, const RelayState &st, const QMouseEvent *e)
{
    if (st.pressedOn == q && e->type() != QEvent::MouseButtonPress)
        return true;
    return q->childAt(e->position().toPoint()) == nullptr;
}

} // namespace

void QuellixPrivate::installRelays()
{
    new RelayState(q);
    // Hover moves over the border and the bare surface reach the host too.
    iBorder->setMouseTracking(true);
    q->setMouseTracking(true);
    for (QWidget *w : {static_cast<QWidget *>(iBorder), static_cast<QWidget *>(logo),
                       static_cast<QWidget *>(tGaugeName), static_cast<QWidget *>(tReadout),
                       static_cast<QWidget *>(tNormal), static_cast<QWidget *>(tCaution),
                       static_cast<QWidget *>(tWarning)})
        w->installEventFilter(q);
}

bool Quellix::eventFilter(QObject *watched, QEvent *e)
{
    if (!isMouseEvent(e->type()))
        return QWidget::eventFilter(watched, e);
    Relay kind = Relay::None;
    if (watched == d->iBorder)
        kind = Relay::BorderKind;
    else if (watched == d->logo || watched == d->tGaugeName)
        kind = Relay::Swallow;
    else if (watched == d->tReadout || watched == d->tNormal || watched == d->tCaution || watched == d->tWarning)
        kind = Relay::BoxKind;
    RelayState *st = relayState(this);
    auto *w = qobject_cast<QWidget *>(watched);
    if (kind == Relay::None || !st || !w)
        return QWidget::eventFilter(watched, e);

    auto *me = static_cast<QMouseEvent *>(e);
    // A host handler of Click, DblClick or MouseMove may delete the control
    // with the element: the event then goes no further.
    QPointer<Quellix> alive(this);
    switch (kind) {
    case Relay::BorderKind:
        if (w->isEnabled())
            follow(this, *st, watched, me, true, true);
        // The border is the face's background: its actions go no further.
        return true;
    case Relay::BoxKind:
        if (w->isEnabled())
            follow(this, *st, watched, me, true, false);
        // The box keeps its own handling (selecting its text).
        return !alive;
    case Relay::Swallow:
        return true;
    case Relay::None:
        break;
    }
    return QWidget::eventFilter(watched, e);
}

bool Quellix::event(QEvent *e)
{
    // The surface relays no double click; the default handling would treat
    // it as a second press and so raise a second Click.
    if (e->type() == QEvent::MouseButtonDblClick) {
        auto *me = static_cast<QMouseEvent *>(e);
        if (RelayState *st = relayState(this); st && onSurface(this, *st, me))
            follow(this, *st, this, me, false, true);
        e->accept();
        return true;
    }
    return QWidget::event(e);
}

void Quellix::mousePressEvent(QMouseEvent *e)
{
    // Whatever reaches the control is its own: none of it goes on to the
    // host's window.
    e->accept();
    if (RelayState *st = relayState(this); st && onSurface(this, *st, e))
        follow(this, *st, this, e, false, true);
}

void Quellix::mouseReleaseEvent(QMouseEvent *e)
{
    e->accept();
    if (RelayState *st = relayState(this); st && onSurface(this, *st, e))
        follow(this, *st, this, e, false, true);
}

void Quellix::mouseMoveEvent(QMouseEvent *e)
{
    e->accept();
    if (RelayState *st = relayState(this); st && onSurface(this, *st, e))
        follow(this, *st, this, e, false, true);
}

// ---------------------------------------------------------------------------
// Lifecycle notifications

void Quellix::initialize() {}

void Quellix::initProperties()
{
    d->tGaugeName->setText(objectName());
    REGISTER();
}

void Quellix::readProperties()
{
    REGISTER();
    d->showEnabled(d->state().enabled);
}

void Quellix::writeProperties()
{
    // In design mode a save writes nothing anywhere and stops no sound.
    if (!d->engine->userMode())
        return;
    d->engine->save();
}

void Quellix::ambientChanged()
{
    d->tGaugeName->setText(objectName());
}

void Quellix::terminate() {}

void QuellixPrivate::raiseResizeLater(int limit)
{
    const int generation = resizeGeneration + 1;
    if (generation > limit)
        return;
    Quellix *control = q;
    QMetaObject::invokeMethod(
        control,
        [control, generation] {
            QPointer<Quellix> alive(control);
            QuellixPrivate *d = control->d.get();
            const int outer = d->resizeGeneration;
            d->resizeGeneration = generation;
            Q_EMIT control->Resize();
            if (alive)
                d->resizeGeneration = outer;
        },
        Qt::QueuedConnection);
}

void Quellix::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    d->raiseLater(&Quellix::Show);
}

void Quellix::hideEvent(QHideEvent *e)
{
    QWidget::hideEvent(e);
    d->raiseLater(&Quellix::Hide);
}

void QuellixPrivate::raiseLater(void (Quellix::*signal)())
{
    // Qt goes on using the widget after a show, hide or resize event
    // returns; a host deleting the control from inside one would crash it.
    // Queued on the control, the event is dropped if the control goes first.
    Quellix *control = q;
    QMetaObject::invokeMethod(control, [control, signal] { Q_EMIT (control->*signal)(); }, Qt::QueuedConnection);
}
