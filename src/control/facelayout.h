#pragma once

// Geometry of the control's face, free of any widget: the size rules the
// control enforces on its host, the fixed layout factors of its sixteen
// elements, and the resize pass that applies both through a FaceHost.
//
// Sizes of the control are in host units of 1/1440 inch (15 units per
// pixel); element coordinates are pixels of the control's own surface and
// font sizes are points. Every coordinate is a factor times the control's
// width (left, width) or height (top, height); every product is taken to
// single precision.

#include <array>
#include <cstdint>
#include <optional>

namespace quellix::face {

/// Host units per pixel of the control's surface.
inline constexpr double kUnitsPerPixel = 15.0;
/// Smallest width and height, in host units.
inline constexpr double kMinimumSide = 1000.0;
/// Smallest width / height ratio: the height is at most width / 0.9.
inline constexpr double kMinimumAspect = 0.9;

/// The face elements, in layout order.
enum class Element : std::uint8_t {
    Border,     ///< i_BORDER
    Logo,       ///< LOGO
    GaugeName,  ///< t_GAUGENAME
    RecordLite, ///< t_RECORDLITE
    Normal,     ///< t_NORMAL
    Caution,    ///< t_CAUTION
    Warning,    ///< t_WARNING
    CommLight,  ///< t_COMMLIGHT
    OnHold,     ///< t_ONHOLD
    Output,     ///< t_OUTPUT
    Readout,    ///< t_READOUT
    Units,      ///< t_UNITS
    Hold,       ///< c_HOLD
    Logs,       ///< c_LOGS
    Properties, ///< c_PROPERTIES
    Reset,      ///< c_RESET
};
inline constexpr int kElementCount = 16;

/// The element's object name on the face ("t_READOUT", ...).
const char *elementName(Element e);

/// A size of the control in host units.
struct HostSize
{
    double width = 0;
    double height = 0;
    friend bool operator==(const HostSize &, const HostSize &) = default;
};

/// The size the control ends at when the host asks for `requested`:
/// width and height at least 1000, then the height at most width / 0.9.
HostSize applySizeRules(HostSize requested);

/// Which way a size written by the rules may be rounded to the pixel grid
/// without breaking the rule that wrote it.
enum class SizeBound { AtLeast, AtMost };

/// Host units to whole pixels, rounded the way `bound` allows (a tolerance
/// of a millionth of a pixel absorbs binary noise such as 90 / 0.9).
int unitsToPixels(double units, SizeBound bound);

/// A size of the control in whole pixels.
struct PixelSize
{
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelSize &, const PixelSize &) = default;
};

/// The pixel size that satisfies the size rules for a requested pixel size:
/// minimums are rounded up (1000 units = 66.67 px -> 67 px) and the height
/// limit is rounded down, so the result, read back in units, demands no
/// further change.
PixelSize rulePixelSize(PixelSize requested);

/// Where one element goes at a given size of the control.
struct ElementGeometry
{
    Element element = Element::Border;
    /// i_BORDER keeps the position it has (the top-left corner); only its
    /// size follows the control. left and top are 0 for it.
    bool keepsPosition = false;
    float left = 0;
    float top = 0;
    float width = 0;
    float height = 0;
    /// Font size in points; none for the two images.
    std::optional<float> fontPoints;
};

using FaceGeometry = std::array<ElementGeometry, kElementCount>;

/// The geometry of every element at the given control size, in layout order.
FaceGeometry layoutFace(HostSize size);

/// An element's rectangle in whole pixels. Edges are rounded, not sizes, so
/// neighbouring elements that share an edge keep sharing it.
struct PixelRect
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const PixelRect &, const PixelRect &) = default;
};
PixelRect pixelRect(const ElementGeometry &g);

/// The strips at the two ends of a box's line of text that elements stacked
/// above it cover, in whole pixels: the link and hold indicators lie over
/// the left end of the readout's digits, the recording indicator over the
/// right end of the output's. Zero for every other element. The box keeps
/// its text out of them, so no digit is drawn where it cannot be seen.
struct TextMargins
{
    int left = 0;
    int right = 0;
    friend bool operator==(const TextMargins &, const TextMargins &) = default;
};
TextMargins coveredTextEnds(Element e, const FaceGeometry &face);

/// The control as a resize pass sees it. The size is read anew for every
/// coordinate, so a size written during the pass is seen by what follows.
class FaceHost
{
public:
    virtual ~FaceHost() = default;
    virtual double width() const = 0;  ///< host units
    virtual double height() const = 0; ///< host units
    /// Writing the size may run a whole nested pass before returning.
    virtual void setWidth(double units, SizeBound bound) = 0;
    virtual void setHeight(double units, SizeBound bound) = 0;
    virtual void raiseResize() = 0;
    virtual void setFontPoints(Element e, float points) = 0;
    virtual void place(const ElementGeometry &g) = 0;
};

/// One resize notification: raise Resize, enforce the size rules, then lay
/// out every element in order (font, height, width, top, left). A failing
/// assignment is skipped and the pass goes on with the next one.
void runResizePass(FaceHost &host);

} // namespace quellix::face
