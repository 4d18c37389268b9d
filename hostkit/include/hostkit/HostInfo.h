// The host's identity words, asked at every activation.
#ifndef HOSTKIT_HOSTINFO_H
#define HOSTKIT_HOSTINFO_H

#include <lwsdk/module.h>
#include <lwsdk/system.h>

namespace hostkit {

// Stores the global function, asks "System ID" and "Product Info" (use code
// transient) and, on the first activation, makes the process-wide message
// service holder. Every activation function calls it first.
void beginActivation(GlobalFunc global);

unsigned int systemId();
unsigned int productInfo();
void setHostWords(unsigned int systemId, unsigned int productInfo);

inline unsigned int hostType() { return systemId() & LWSYS_TYPEBITS; }
inline bool inModeler() { return hostType() == LWSYS_MODELER; }
inline bool inLayout() { return hostType() == LWSYS_LAYOUT; }
inline bool inScreamerNet() { return hostType() == LWSYS_SCREAMERNET; }

// The version words of a product information value.
struct HostVersion {
    unsigned int major, minor, build;
};
inline HostVersion versionOf(unsigned int productInfo)
{
    return {LWINF_GETMAJOR(productInfo), LWINF_GETMINOR(productInfo), productInfo & LWINF_BUILD};
}

inline int productMajor() { return static_cast<int>(LWINF_GETMAJOR(productInfo())); }
inline int productMinor() { return static_cast<int>(LWINF_GETMINOR(productInfo())); }
inline int productBuild() { return static_cast<int>(LWINF_GETBUILD(productInfo())); }

} // namespace hostkit

#endif
