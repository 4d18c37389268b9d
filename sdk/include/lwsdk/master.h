/*
 * Master handlers: scene-wide handlers that see host events.
 */
#ifndef LWSDK_MASTER_H
#define LWSDK_MASTER_H

#include "handler.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWMASTER_HCLASS "MasterHandler"
#define LWMASTER_ICLASS "MasterInterface"
#define LWMASTER_VERSION 4

#define LWMAST_SCENE 0
#define LWMAST_OBJECT 1
#define LWMAST_LAYOUT 2

typedef struct st_LWMasterAccess {
    int eventCode;
    void *eventData;
    void *data;
    int (*evaluate)(void *data, const char *command);
} LWMasterAccess;

typedef struct st_LWMasterHandler {
    LWInstanceFuncs *inst;
    LWItemFuncs *item;
    int type;
    double (*event)(LWInstance inst, const LWMasterAccess *access);
    unsigned int (*flags)(LWInstance inst);
} LWMasterHandler;

#ifdef __cplusplus
}
#endif

#endif
