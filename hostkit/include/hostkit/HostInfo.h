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

// Whether a system id is Layout's: its type bits are all zero.
inline bool layoutSystem(unsigned int systemId) { return (systemId & LWSYS_TYPEBITS) == LWSYS_LAYOUT; }

// The version and build numbers of a product information value.
inline int productMajor(unsigned int info) { return static_cast<int>(LWINF_GETMAJOR(info)); }
inline int productMinor(unsigned int info) { return static_cast<int>(LWINF_GETMINOR(info)); }
inline int productBuild(unsigned int info) { return static_cast<int>(LWINF_GETBUILD(info)); }

inline int productMajor() { return productMajor(productInfo()); }
inline int productMinor() { return productMinor(productInfo()); }
inline int productBuild() { return productBuild(productInfo()); }

} // namespace hostkit

#endif
