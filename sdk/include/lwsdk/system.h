/*
 * The host's identity words: "System ID" and "Product Info".
 */
#ifndef LWSDK_SYSTEM_H
#define LWSDK_SYSTEM_H

#define LWSYSTEMID_GLOBAL "System ID"
#define LWPRODUCTINFO_GLOBAL "Product Info"

/* System ID: the top four bits name the host program. */
#define LWSYS_TYPEBITS 0xF0000000u
#define LWSYS_SERIALBITS 0x0FFFFFFFu
#define LWSYS_LAYOUT 0x00000000u
#define LWSYS_MODELER 0x10000000u
#define LWSYS_SCREAMERNET 0x20000000u

/* Product Info: product, major and minor version and build number. */
#define LWINF_PRODUCT 0x0000000Fu
#define LWINF_BUILD 0x0000FFF0u
#define LWINF_MINOR 0x000F0000u
#define LWINF_MAJOR 0x00F00000u
#define LWINF_PRODLWAV 0x00000001u

#define LWINF_GETMAJOR(x) (((x) & LWINF_MAJOR) >> 20)
#define LWINF_GETMINOR(x) (((x) & LWINF_MINOR) >> 16)
#define LWINF_GETBUILD(x) (((x) & LWINF_BUILD) >> 4)

#endif
