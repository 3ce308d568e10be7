// The face in words.

#include "faceaccess.h"

#include "scan.h"

namespace quellix::face {

namespace {

// The range as it is said after "Lit: ": a band holds the value, a limit
// is reached.
QString valueWords(Range r)
{
    switch (r) {
    case Range::Normal:
    case Range::Caution:
    case Range::Warning: return QStringLiteral("value in ") + rangeWords(r);
    case Range::Lower:
    case Range::Upper:
    case Range::None: break;
    }
    return rangeWords(r);
}

QString indicatorText(Lamp lamp, Lamp withLightOn, const AccessibleFacts &f)
{
    if (!f.limitsSet)
        return QStringLiteral("Dark: limits not set");
    if (f.range == Range::None)
        return QStringLiteral("Not yet scanned");
    switch (lamp) {
    case Lamp::Lit: return QStringLiteral("Lit: ") + valueWords(f.range);
    case Lamp::Flashing: return QStringLiteral("Flashing: ") + valueWords(f.range);
    case Lamp::Dark: break;
    }
    // Dark in its own range when its alarm light is switched off: said, so
    // that the dark lamp is not taken for "not in this range".
    return QStringLiteral("Dark: ") + valueWords(f.range)
        + (withLightOn != Lamp::Dark ? QStringLiteral(", alarm light switched off") : QString());
}

} // namespace

QString rangeWords(Range r)
{
    switch (r) {
    case Range::Lower: return QStringLiteral("lower limit reached");
    case Range::Upper: return QStringLiteral("upper limit reached");
    case Range::Normal: return QStringLiteral("normal range");
    case Range::Warning: return QStringLiteral("warning range");
    case Range::Caution: return QStringLiteral("caution range");
    case Range::None: break;
    }
    return QStringLiteral("not yet scanned");
}

std::array<Lamp, 3> indicatorLamps(Range r, bool ascending, const std::array<bool, 4> &lights)
{
    // The scan's own plan for a tick that stays in the range.
    ControlState s;
    for (std::size_t i = 0; i < lights.size(); ++i)
        s.alarms[i].light = lights[i];
    const scan::TickPlan p = scan::planTick(r, r, ascending, s);
    const auto shown = [&](bool lit, bool flashing) {
        return lit ? Lamp::Lit : flashing ? Lamp::Flashing : Lamp::Dark;
    };
    return {shown(p.normalLit, p.startFlasher == scan::Flasher::Normal), shown(p.cautionLit, false),
            shown(p.warningLit, p.startFlasher == scan::Flasher::Warning)};
}

AccessibleTexts describeFace(const AccessibleFacts &f)
{
    AccessibleTexts t;
    const QString range = !f.limitsSet ? QStringLiteral("limits not set") : rangeWords(f.range);
    t.readout = f.readout + (f.units.isEmpty() ? QString() : QLatin1Char(' ') + f.units) + QStringLiteral(", ")
        + range + (f.onHold ? QStringLiteral(", on hold") : QString());
    t.output = f.output;

    const std::array<Lamp, 3> lamps = indicatorLamps(f.range, f.ascending, f.lights);
    const std::array<Lamp, 3> allLightsOn = indicatorLamps(f.range, f.ascending, {true, true, true, true});
    t.normal = indicatorText(lamps[0], allLightsOn[0], f);
    t.caution = indicatorText(lamps[1], allLightsOn[1], f);
    t.warning = indicatorText(lamps[2], allLightsOn[2], f);
    return t;
}

} // namespace quellix::face
