// Something whose settings live in host block files.
#ifndef HOSTKIT_STOREABLE_H
#define HOSTKIT_STOREABLE_H

#include <string>

#include "hostkit/BlockIO.h"

namespace hostkit {

// Error text of a load or save; empty for none.
using ErrorText = std::string;

class Storeable {
public:
    virtual ErrorText load(LoadState &state) = 0;
    virtual ErrorText save(SaveState &state) = 0;

protected:
    ~Storeable() = default;
};

} // namespace hostkit

#endif
