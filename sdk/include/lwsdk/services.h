/*
 * Small host services: messages, directories, instance updates, global
 * memory and interface settings.
 */
#ifndef LWSDK_SERVICES_H
#define LWSDK_SERVICES_H

#include "handler.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWMESSAGEFUNCS_GLOBAL "Info Messages 2"

typedef struct st_LWMessageFuncs {
    void (*info)(const char *line1, const char *line2);
    void (*error)(const char *line1, const char *line2);
    void (*warning)(const char *line1, const char *line2);
    /* 1 for yes, 0 for no. */
    int (*yesNo)(const char *title, const char *line1, const char *line2);
    /* 2 for yes, 1 for no, 0 for cancel. */
    int (*yesNoCancel)(const char *title, const char *line1,
                       const char *line2);
} LWMessageFuncs;

#define LWDIRINFOFUNC_GLOBAL "Directory Info"

typedef struct st_LWDirInfo {
    /* "Content", "Settings", "Install", ...; null for unknown names. */
    const char *(*dir)(const char *name);
} LWDirInfo;

#define LWINSTUPDATE_GLOBAL "Instance Update"

typedef struct st_LWInstUpdate {
    int (*update)(const char *className, LWInstance inst);
} LWInstUpdate;

#define LWGLOBALPOOL_GLOBAL "Global Memory"

/* A chunk is the block's memory itself. */
typedef void *LWMemChunk;

typedef struct st_LWGlobalPool {
    LWMemChunk (*first)(void);
    LWMemChunk (*next)(LWMemChunk chunk);
    const char *(*ID)(LWMemChunk chunk);
    int (*size)(LWMemChunk chunk);
    LWMemChunk (*find)(const char *name);
    /* Zero-filled block of size bytes, kept for the rest of the process. */
    LWMemChunk (*create)(const char *name, int size);
} LWGlobalPool;

#define LWINTERFACEINFO_GLOBAL "LW Interface Info 5"

#define LWALERT_BEGINNER 0
#define LWALERT_INTERMEDIATE 1
#define LWALERT_EXPERT 2

typedef struct st_LWInterfaceInfo {
    int alertLevel;
} LWInterfaceInfo;

#ifdef __cplusplus
}
#endif

#endif
