#include "hostkit/MasterHandler.h"

namespace hostkit {

double MasterHandler::event(const LWMasterAccess *) { return 0.0; }

} // namespace hostkit
