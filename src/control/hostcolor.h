#pragma once

#include <QColor>
#include <cstdint>

namespace quellix {

/// A host colour value (red in the lowest byte, green in the next, blue in
/// the third) as a QColor.
inline QColor hostColor(int32_t v)
{
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

/// The host colour value of red, green and blue.
constexpr int32_t hostRgb(int r, int g, int b)
{
    return r | (g << 8) | (b << 16);
}

} // namespace quellix
