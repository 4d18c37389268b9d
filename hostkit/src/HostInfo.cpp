#include "hostkit/HostInfo.h"

#include <cstdint>

#include "hostkit/Global.h"
#include "hostkit/Services.h"

namespace hostkit {

namespace {
unsigned int g_systemId = 0;
unsigned int g_productInfo = 0;

unsigned int askWord(const char *name)
{
    return static_cast<unsigned int>(
        reinterpret_cast<std::uintptr_t>(lookupGlobal(name, GFUSE_TRANSIENT)));
}
} // namespace

void beginActivation(GlobalFunc global)
{
    setGlobalFunction(global);
    makeProcessMessages();
    setHostWords(askWord(LWSYSTEMID_GLOBAL), askWord(LWPRODUCTINFO_GLOBAL));
}

unsigned int systemId() { return g_systemId; }
unsigned int productInfo() { return g_productInfo; }

void setHostWords(unsigned int system, unsigned int product)
{
    g_systemId = system;
    g_productInfo = product;
}

} // namespace hostkit
