#include "hostkit/ImageFilterHandler.h"

namespace hostkit {

const int *ImageFilterHandler::hcFlags()
{
    static const int empty[] = {0};
    return empty;
}

} // namespace hostkit
