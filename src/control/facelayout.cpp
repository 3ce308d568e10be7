// The size rules and layout factors of the face.

#include "facelayout.h"

#include <algorithm>
#include <cmath>

namespace quellix::face {

namespace {

struct Factors
{
    Element element;
    const char *name;
    double left;   // × W
    double top;    // × H
    double width;  // × W
    double height; // × H
    double font;   // × H, points; 0 for the images
    bool keepsPosition = false;
    bool squareFromHeight = false;
};

// The constants are the face's design values and are used exactly as they
// stand: several differ from their neighbours in the last digits, and at
// 2640 × 2640 units they land on the design's pixel values.
constexpr std::array<Factors, kElementCount> kFactors{{
    {Element::Border, "i_BORDER", 0, 0, 0.06628787879, 0.06628787879, 0, true, false},
    {Element::Logo, "LOGO", 0.0295454545455, 0.0590909090909, 0, 0.006818181818, 0, false, true},
    {Element::GaugeName, "t_GAUGENAME", 0.0128787878788, 0.00272727273, 0.04053030303, 0.006439393939,
     0.003409090909},
    {Element::RecordLite, "t_RECORDLITE", 0.0265151515152, 0.03712121212, 0.00568181818182, 0.006439393939,
     0.00303030303},
    {Element::Normal, "t_NORMAL", 0.009090909091, 0.009090909091, 0.0477272727273, 0.0094696969697,
     0.00378787878788},
    {Element::Caution, "t_CAUTION", 0.009090909091, 0.01666666667, 0.0238636363636, 0.00757575757576,
     0.00303030303},
    {Element::Warning, "t_WARNING", 0.03257575758, 0.01666666667, 0.0242424242424, 0.00757575757576,
     0.00303030303},
    {Element::CommLight, "t_COMMLIGHT", 0.009090909091, 0.02424242424, 0.012, 0.006439393939, 0.00303030303},
    {Element::OnHold, "t_ONHOLD", 0.009090909091, 0.0303030303, 0.012, 0.006439393939, 0.00303030303},
    {Element::Output, "t_OUTPUT", 0.009090909091, 0.03712121212, 0.01856060606, 0.006439393939, 0.00303030303},
    {Element::Readout, "t_READOUT", 0.008333333333, 0.02424242424, 0.04848484848, 0.0185606060606,
     0.007575757576},
    {Element::Units, "t_UNITS", 0.03181818182, 0.0363636363636, 0.0246212121212, 0.009090909091,
     0.00378787878788},
    {Element::Hold, "c_HOLD", 0.00909090909091, 0.0431818181818, 0.0159090909091, 0.00719696969697,
     0.00303030303},
    {Element::Logs, "c_LOGS", 0.025, 0.0431818181818, 0.0159090909091, 0.00719696969697, 0.00303030303},
    {Element::Properties, "c_PROPERTIES", 0.04090909091, 0.04318181818, 0.0159090909091, 0.00719696969697,
     0.00303030303},
    {Element::Reset, "c_RESET", 0.00909090909091, 0.05037878788, 0.04772727273, 0.00719696969697,
     0.00303030303},
}};

// Elements stacked over the line of text of another box: the link box
// shares the readout's top edge and the hold box lies below it within the
// height of the digits; the recording indicator shares the output's top
// edge. Vertical positions and fonts both follow the height, so this holds
// at every size.
struct Cover
{
    Element box;
    Element above;
};
constexpr Cover kCovers[] = {
    {Element::Readout, Element::CommLight},
    {Element::Readout, Element::OnHold},
    {Element::Output, Element::RecordLite},
};

// One element's geometry, reading the control's width and height through
// the two readers for every coordinate, in the order height, width, top,
// left. The emblem's width is its new height, so it stays square.
template<class ReadWidth, class ReadHeight>
ElementGeometry computeElement(const Factors &f, ReadWidth readWidth, ReadHeight readHeight)
{
    ElementGeometry g;
    g.element = f.element;
    g.keepsPosition = f.keepsPosition;
    if (f.font > 0)
        g.fontPoints = float(f.font * readHeight());
    g.height = float(f.height * readHeight());
    g.width = f.squareFromHeight ? g.height : float(f.width * readWidth());
    if (!f.keepsPosition) {
        g.top = float(f.top * readHeight());
        g.left = float(f.left * readWidth());
    }
    return g;
}

// Rounds a pixel edge half up.
int roundEdge(double v)
{
    return int(std::floor(v + 0.5));
}

// Runs one assignment; a failing one is skipped.
template<class Step>
void attempt(Step step) noexcept
{
    try {
        step();
    } catch (...) {
    }
}

} // namespace

const char *elementName(Element e)
{
    const auto i = std::size_t(e);
    return i < kFactors.size() ? kFactors[i].name : "";
}

HostSize applySizeRules(HostSize s)
{
    // Written as "not at least" so that a NaN is replaced as well.
    if (!(s.width >= kMinimumSide))
        s.width = kMinimumSide;
    if (!(s.height >= kMinimumSide))
        s.height = kMinimumSide;
    // W / H < 0.9 tested as H > W / 0.9: the same rule, but a height just
    // written as W / 0.9 passes it again exactly, so no pass repeats.
    if (s.height > s.width / kMinimumAspect)
        s.height = s.width / kMinimumAspect;
    return s;
}

int unitsToPixels(double units, SizeBound bound)
{
    constexpr double kTolerance = 1e-6;
    constexpr double kLargest = 16777215; // the largest widget side
    const double px = units / kUnitsPerPixel;
    if (std::isnan(px))
        return 0;
    const double rounded = bound == SizeBound::AtLeast ? std::ceil(px - kTolerance) : std::floor(px + kTolerance);
    return int(std::clamp(rounded, 0.0, kLargest));
}

PixelSize rulePixelSize(PixelSize s)
{
    if (s.width * kUnitsPerPixel < kMinimumSide)
        s.width = unitsToPixels(kMinimumSide, SizeBound::AtLeast);
    if (s.height * kUnitsPerPixel < kMinimumSide)
        s.height = unitsToPixels(kMinimumSide, SizeBound::AtLeast);
    const double w = s.width * kUnitsPerPixel;
    const double h = s.height * kUnitsPerPixel;
    if (h > w / kMinimumAspect)
        s.height = unitsToPixels(w / kMinimumAspect, SizeBound::AtMost);
    return s;
}

FaceGeometry layoutFace(HostSize size)
{
    FaceGeometry out;
    const auto w = [&] { return size.width; };
    const auto h = [&] { return size.height; };
    for (std::size_t i = 0; i < kFactors.size(); ++i)
        out[i] = computeElement(kFactors[i], w, h);
    return out;
}

PixelRect pixelRect(const ElementGeometry &g)
{
    const double left = g.keepsPosition ? 0.0 : double(g.left);
    const double top = g.keepsPosition ? 0.0 : double(g.top);
    PixelRect r;
    r.x = roundEdge(left);
    r.y = roundEdge(top);
    r.width = std::max(0, roundEdge(left + double(g.width)) - r.x);
    r.height = std::max(0, roundEdge(top + double(g.height)) - r.y);
    return r;
}

TextMargins coveredTextEnds(Element e, const FaceGeometry &face)
{
    TextMargins m;
    const PixelRect box = pixelRect(face[std::size_t(e)]);
    const int boxRight = box.x + box.width;
    for (const Cover &c : kCovers) {
        if (c.box != e)
            continue;
        const PixelRect over = pixelRect(face[std::size_t(c.above)]);
        const int from = std::max(box.x, over.x);
        const int to = std::min(boxRight, over.x + over.width);
        if (to <= from)
            continue;
        // Covered from the end the covering element lies nearer to.
        if (2 * over.x + over.width < 2 * box.x + box.width)
            m.left = std::max(m.left, to - box.x);
        else
            m.right = std::max(m.right, boxRight - from);
    }
    m.right = std::min(m.right, box.width - m.left);
    return m;
}

void runResizePass(FaceHost &host)
{
    attempt([&] { host.raiseResize(); });

    // Each write may run a whole nested pass; the size is read again after it.
    if (!(host.width() >= kMinimumSide))
        attempt([&] { host.setWidth(kMinimumSide, SizeBound::AtLeast); });
    if (!(host.height() >= kMinimumSide))
        attempt([&] { host.setHeight(kMinimumSide, SizeBound::AtLeast); });
    if (host.height() > host.width() / kMinimumAspect)
        attempt([&] { host.setHeight(host.width() / kMinimumAspect, SizeBound::AtMost); });

    const auto w = [&] { return host.width(); };
    const auto h = [&] { return host.height(); };
    for (const Factors &f : kFactors) {
        if (f.font > 0)
            attempt([&] { host.setFontPoints(f.element, float(f.font * host.height())); });
        const ElementGeometry g = computeElement(f, w, h);
        attempt([&] { host.place(g); });
    }
}

} // namespace quellix::face
