/*
 * Module descriptor, server records and the global function.
 *
 * The host finds one exported data symbol, _mod_descrip, calls its startup
 * function and reads the null-terminated server table startup hands back.
 */
#ifndef LWSDK_MODULE_H
#define LWSDK_MODULE_H

#ifdef __cplusplus
extern "C" {
#endif

#define MOD_SYSSYNC 0x04121994u
#define MOD_SYSVER 3u
#define MOD_MACHINE 0x300u

/* Use codes of the global function. */
#define GFUSE_TRANSIENT 0
#define GFUSE_ACQUIRE 1
#define GFUSE_RELEASE 2

/* Activation results. */
#define AFUNC_OK 0
#define AFUNC_BADVERSION 1
#define AFUNC_BADGLOBAL 2
#define AFUNC_BADLOCAL 3
#define AFUNC_BADAPP 4
#define AFUNC_BADAPP_SILENT 5

/* Server tags. */
#define SRVTAG_USERNAME 0x00000u   /* full name shown to the user */
#define SRVTAG_CMDGROUP 0x20000u   /* group shared by related servers */
#define SRVTAG_BUTTONNAME 0x40000u /* short label */

/*
 * Looks up a host service by name. "System ID" and "Product Info" are
 * numbers packed into the pointer value; all others are tables.
 */
typedef void *(*GlobalFunc)(const char *serviceName, int useCode);

typedef int (*ActivateFunc)(int version, GlobalFunc global, void *local,
                            void *serverData);

typedef struct st_ServerTagInfo {
    const char *string;
    unsigned int tag;
} ServerTagInfo;

typedef struct st_ServerRecord {
    const char *className;
    const char *name;
    ActivateFunc activate;
    ServerTagInfo *tagInfo;
} ServerRecord;

typedef struct st_ModuleDescriptor {
    unsigned int sysSync;
    unsigned int sysVersion;
    unsigned int sysMachine;
    unsigned int reserved;
    void *(*startup)(void);
    void (*shutdown)(void *serverData);
    ServerRecord *serverDefs;
} ModuleDescriptor;

#define MODULE_DESCRIPTOR_SYMBOL "_mod_descrip"

#ifdef __cplusplus
}
#endif

#endif
