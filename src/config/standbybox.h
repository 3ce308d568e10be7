#pragma once

// The stand-by messages of the stores shown as modal message boxes, for a
// host that has windows and an operator to close them.

namespace quellix::config {

/// Makes a modal information box with OK (object name f_STANDBY) the
/// stores' default for their stand-by messages. A handler the host installs
/// still goes first; calling this again changes nothing.
void installStandbyMessageBox();

} // namespace quellix::config
