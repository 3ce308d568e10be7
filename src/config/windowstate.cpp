#include "windowstate.h"

namespace quellix::config {

SharedWindowState &sharedWindowState()
{
    static SharedWindowState state;
    return state;
}

} // namespace quellix::config
