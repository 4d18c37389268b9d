#include "hostkit/Global.h"

namespace hostkit {

namespace {
GlobalFunc g_global = nullptr;
}

GlobalFunc globalFunction() { return g_global; }

void setGlobalFunction(GlobalFunc global) { g_global = global; }

void *lookupGlobal(const char *name, int useCode)
{
    return g_global ? g_global(name, useCode) : nullptr;
}

} // namespace hostkit
