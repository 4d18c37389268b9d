#include "hostkit/ExceptionBarrier.h"

#include <new>
#include <stdexcept>

#include "hostkit/Services.h"

namespace hostkit {

void reportError(const char *headline, const char *description) noexcept
{
    try {
        processMessages().error(headline, description ? description : "");
    } catch (...) {
        // Nothing is left to tell the user with.
    }
}

const char *currentExceptionText() noexcept
{
    // Rethrowing with no active exception would terminate the host.
    if (!std::current_exception())
        return "unknown exception";
    try {
        throw;
    } catch (const std::exception &e) {
        return e.what();
    } catch (...) {
        return "unknown exception";
    }
}

} // namespace hostkit
