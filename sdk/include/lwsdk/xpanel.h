/*
 * XPanels: panels built from declarative control, data and hint lists.
 */
#ifndef LWSDK_XPANEL_H
#define LWSDK_XPANEL_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWXPANELFUNCS_GLOBAL "LWXPanel"

typedef struct st_LWXPanel *LWXPanelID;
typedef unsigned long LWXPanelHint; /* one machine word */

#define LWXP_VIEW 1
#define LWXP_FORM 2

/* Hint tags; the low byte is the number of argument words. */
#define XPTAG_END 0
#define XPTAG_LABEL 0x3D000B03u
#define XPTAG_POPFUNCS 0x3D016203u
#define XPTAG_POPCMDFUNC 0x3D016002u
#define XPTAG_BUTNOTIFY 0x3D015F02u
#define XPTAG_CHGNOTIFY 0x3D000F01u
#define XPTAG_DESTROYNOTIFY 0x3D001302u

typedef struct st_LWXPanelControl {
    unsigned int cid;
    const char *label;
    const char *ctrlclass;
} LWXPanelControl;

typedef struct st_LWXPanelDataDesc {
    unsigned int vid;
    const char *name;
    const char *datatype;
} LWXPanelDataDesc;

typedef void *(*LWXPanelGetFunc)(void *inst, unsigned int vid);
typedef int (*LWXPanelSetFunc)(void *inst, unsigned int vid, void *value);

typedef struct st_LWXPanelFuncs {
    int version;
    void *drawf; /* the host's drawing functions */
    LWXPanelID (*create)(int type, const LWXPanelControl *controls);
    void (*destroy)(LWXPanelID panel);
    void (*describe)(LWXPanelID panel, const LWXPanelDataDesc *data,
                     LWXPanelGetFunc get, LWXPanelSetFunc set);
    void (*hint)(LWXPanelID panel, unsigned int id, const LWXPanelHint *hints);
    void *(*getData)(LWXPanelID panel, unsigned int id);
    void (*setData)(LWXPanelID panel, unsigned int id, void *data);
    void *(*formGet)(LWXPanelID panel, unsigned int vid);
    void (*formSet)(LWXPanelID panel, unsigned int vid, void *value);
    void (*viewInst)(LWXPanelID panel, void *inst);
    void (*viewRefresh)(LWXPanelID panel);
    /* 1 for OK. */
    int (*post)(LWXPanelID panel);
} LWXPanelFuncs;

#ifdef __cplusplus
}
#endif

#endif
