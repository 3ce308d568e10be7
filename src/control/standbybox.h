#pragma once

namespace quellix {

/// Makes the stores' stand-by messages modal message boxes ("f_STANDBY")
/// that wait for the operator's OK, unless the host installed a handler of
/// its own. Installed once per process by the first control.
void installStandByBox();

} // namespace quellix
