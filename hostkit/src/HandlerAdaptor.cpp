#include "hostkit/HandlerAdaptor.h"

namespace hostkit {

std::string &createErrorText()
{
    static std::string text;
    return text;
}

void throwMissingTable(const char *what)
{
    throw std::invalid_argument(std::string("the host gave no ") + what + " table");
}

} // namespace hostkit
