#include "configcontext.h"

namespace quellix::config {

ConfigContext &configContext()
{
    static ConfigContext context;
    return context;
}

} // namespace quellix::config
