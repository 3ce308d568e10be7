#pragma once

// The face in words, free of any widget: what the accessible descriptions
// of the readouts and range indicators say, so that a screen reader or a
// colour-blind operator learns the value and the alarm state without
// relying on colour. The flashers alternate the indicators' colours, so the
// words follow the range and the alarm configuration, never a colour.

#include "controlstate.h"

#include <QString>

#include <array>

namespace quellix::face {

/// What a range indicator shows in a range.
enum class Lamp { Dark, Lit, Flashing };

/// Everything the descriptions are made from. The control keeps the facts
/// it described last and rebuilds the texts only when they change, so a
/// scan tick that changes nothing costs a comparison.
struct AccessibleFacts
{
    QString readout; ///< the readout box's text
    QString output;  ///< the output box's text
    QString units;
    Range range = Range::None;
    bool limitsSet = false; ///< a zero caution or warning limit turns the scan off
    bool ascending = true;
    bool onHold = false;
    std::array<bool, 4> lights{}; ///< the alarm light switches, indexed by Limit
    friend bool operator==(const AccessibleFacts &, const AccessibleFacts &) = default;
};

/// The accessible descriptions of the face.
struct AccessibleTexts
{
    QString readout;
    QString output;
    QString normal;
    QString caution;
    QString warning;
};

/// The range in words: "normal range", "upper limit reached", "not yet
/// scanned", ...
QString rangeWords(Range r);

/// What the normal, caution and warning indicators show in a range, in
/// that order, as the scan drives them.
std::array<Lamp, 3> indicatorLamps(Range r, bool ascending, const std::array<bool, 4> &lights);

/// The descriptions for a set of facts, for example "95.00 kPa, warning
/// range" for the readout and "Lit: value in warning range" for the warning
/// indicator.
AccessibleTexts describeFace(const AccessibleFacts &f);

} // namespace quellix::face
