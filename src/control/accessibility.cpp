// Accessible names and descriptions of the face: the range and the value
// in words, so that colour is not the only carrier of an alarm.

#include "faceaccess.h"
#include "quellix_p.h"
#include "scan.h"

#include <QLineEdit>

using namespace quellix;

namespace {

void setDescription(QWidget *w, const QString &text)
{
    if (w->accessibleDescription() != text)
        w->setAccessibleDescription(text);
}

} // namespace

void QuellixPrivate::updateAccessibleTexts()
{
    // Copies of the texts share their data: gathering the facts allocates
    // nothing, and an unchanged tick ends at the comparison.
    const ControlState &s = state();
    face::AccessibleFacts facts;
    facts.readout = tReadout->text();
    facts.output = tOutput->text();
    facts.units = s.units;
    facts.range = s.currentRange;
    facts.limitsSet = !scan::limitsUnset({s.lowerLimit, s.cautionLimit, s.warningLimit, s.upperLimit});
    facts.ascending = s.ascending;
    facts.onHold = s.onHold;
    for (std::size_t i = 0; i < s.alarms.size(); ++i)
        facts.lights[i] = s.alarms[i].light;
    if (facts == accessibleFacts)
        return;
    accessibleFacts = std::move(facts);

    const face::AccessibleTexts t = face::describeFace(accessibleFacts);
    setDescription(tReadout, t.readout);
    setDescription(tOutput, t.output);
    setDescription(tNormal, t.normal);
    setDescription(tCaution, t.caution);
    setDescription(tWarning, t.warning);
}
