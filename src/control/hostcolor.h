#pragma once

#include "controlstate.h"

#include <QColor>
#include <cstdint>

namespace quellix {

/// A host colour value (red in the lowest byte, green in the next, blue in
/// the third) as a QColor.
inline QColor hostColor(int32_t v)
{
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

} // namespace quellix
