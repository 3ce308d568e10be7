// The communications link indicator t_COMMLIGHT, driven by the host's data
// link.

#include "hostcolor.h"
#include "quellix_p.h"

#include <QLineEdit>

namespace {

// The lit state lives on the indicator itself, so the control's state
// record stays what its stores describe.
constexpr char kLinkUpProperty[] = "quellixLinkUp";

} // namespace

void Quellix::setLinkUp(bool up)
{
    QLineEdit *light = d->tCommLight;
    if (!light)
        return;
    light->setProperty(kLinkUpProperty, up);
    // Lit: the configured COMM colour; dim: the black text of a new face.
    const QColor colour = up ? quellix::hostColor(d->state().commIndicatorColor) : QColor(0, 0, 0);
    QPalette pal = light->palette();
    if (pal.color(QPalette::Text) == colour)
        return;
    pal.setColor(QPalette::Text, colour);
    light->setPalette(pal);
}

bool Quellix::linkUp() const
{
    return d->tCommLight && d->tCommLight->property(kLinkUpProperty).toBool();
}
