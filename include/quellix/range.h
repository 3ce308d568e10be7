#pragma once

#include "quellix_core_global.h"

#include <QObject>

namespace quellix {
Q_NAMESPACE_EXPORT(QUELLIX_CORE_EXPORT)

/// The range a control's displayed value lies in, as the scan last found
/// it. None until the first scan tick after registration.
enum class Range { None, Lower, Upper, Normal, Warning, Caution };
Q_ENUM_NS(Range)

} // namespace quellix
