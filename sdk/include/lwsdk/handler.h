/*
 * Instance and item function tables shared by every handler class.
 */
#ifndef LWSDK_HANDLER_H
#define LWSDK_HANDLER_H

#include "blockio.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef void *LWInstance;
typedef const char *LWError;
typedef void *LWItemID;
typedef double LWTime;
typedef int LWFrame;

#define LWITEM_NULL ((LWItemID)0)

typedef struct st_LWInstanceFuncs {
    void *priv;
    LWInstance (*create)(void *priv, void *context, LWError *error);
    void (*destroy)(LWInstance inst);
    LWError (*copy)(LWInstance to, LWInstance from);
    LWError (*load)(LWInstance inst, const LWLoadState *state);
    LWError (*save)(LWInstance inst, const LWSaveState *state);
    const char *(*descln)(LWInstance inst);
} LWInstanceFuncs;

typedef struct st_LWItemFuncs {
    /* Array of item ids ending with a null id. */
    const LWItemID *(*useItems)(LWInstance inst);
    /* Pairs of (old, new) ids ending with a null old id. */
    void (*changeID)(LWInstance inst, const LWItemID *ids);
} LWItemFuncs;

/* The interface activation of a handler class ("...Interface" servers). */
typedef struct st_LWInterface {
    LWInstance inst;
    void *panel; /* an LWXPanelID the handler hands back */
    const char *(*options)(LWInstance inst);
    LWError (*command)(LWInstance inst, const char *command);
} LWInterface;

#ifdef __cplusplus
}
#endif

#endif
