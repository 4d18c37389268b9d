/*
 * XPanels: panels built from declarative control, data and hint lists.
 */
#ifndef LWSDK_XPANEL_H
#define LWSDK_XPANEL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LWXPANELFUNCS_GLOBAL "LWXPanel"

typedef struct st_LWXPanel *LWXPanelID;
/* One machine word: wide enough for a pointer on every platform (a 32-bit
 * long is not on 64-bit Windows). */
typedef uintptr_t LWXPanelHint;

#define LWXP_VIEW 1
#define LWXP_FORM 2

/* Hint tags; the low byte is the number of argument words that follow. A
 * list ends with XPTAG_END. Lists of ids given by pointer end with 0 and
 * are copied by the host when the hint is applied. */
#define XPTAG_END 0
/* id, text, 0: the panel's title (id 0) or a group's label. */
#define XPTAG_LABEL 0x3D000B03u
/* control id, count function, name function: a popup fed by the control's
 * user data (see LWXPanelPopCountFunc). */
#define XPTAG_POPFUNCS 0x3D016203u
/* control id, command function: what a "vPopCmd" control's items do. */
#define XPTAG_POPCMDFUNC 0x3D016002u
/* control id, button function: a "vButton" control's click. */
#define XPTAG_BUTNOTIFY 0x3D015F02u
/* change function: every value change and panel event. */
#define XPTAG_CHGNOTIFY 0x3D000F01u
/* destroy function, 0: called with the panel's user data when the host
 * destroys the panel on its own. */
#define XPTAG_DESTROYNOTIFY 0x3D001302u

/* The tags below are this host's own codes for layout and behaviour. */
/* control id, const char *const *items (null-terminated): a popup whose
 * items are fixed text. */
#define XPTAG_STRLIST 0x3D00A102u
/* control id, draw function: how a "dThumbnail" control is drawn. */
#define XPTAG_DRAWFUNC 0x3D00A202u
/* group id, const unsigned int *members: a group box holding the members
 * (controls or other groups) in that order; labelled by XPTAG_LABEL. */
#define XPTAG_GROUP 0x3D00A302u
/* tab row id, const unsigned int *pages: a row of tabs, one per group;
 * only the chosen page's controls are shown. */
#define XPTAG_TABS 0x3D00A402u
/* const unsigned int *ids: the top-level order of controls and groups;
 * without it controls appear in declaration order. */
#define XPTAG_ORDER 0x3D00A501u
/* controller id, comparison, value, const unsigned int *ids, message:
 * the ids are enabled while the controller's integer value compares with
 * value as XPENABLE_EQUAL or XPENABLE_NOTEQUAL says; message (may be null)
 * is shown beside a disabled control. */
#define XPTAG_ENABLE 0x3D00A605u
#define XPENABLE_EQUAL 0
#define XPENABLE_NOTEQUAL 1
#define XPENABLE_ATLEAST 2 /* the controller's value is value or more */
/* value points at a map of ints, copied by the host: its length n, then n
 * entries; the ids are enabled while the entry at the controller's value
 * is not 0 (a value outside the map disables them). */
#define XPENABLE_MAP 3
/* controller id, const unsigned int *ids: after the controller's value
 * changes, the ids are read again. */
#define XPTAG_LINK 0x3D00A702u
/* control id, requester type (FREQ_LOAD, FREQ_SAVE), title, file type: the
 * file requester a file name control opens. */
#define XPTAG_FILEREQ 0x3D00A804u

/* Change notification events. */
#define LWXPEVENT_VALUE 1   /* a value was set by the user */
#define LWXPEVENT_DESTROY 5 /* the panel is about to be destroyed */

/* Answers of a set function beyond 1 (stored). */
#define LWXPRC_DRAW 2 /* redraw the control */
#define LWXPRC_DFLT 3 /* refresh every control of the panel */

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

/* Values: "integer" an int, "float" a double, "float-env" a double,
 * "string" a null-terminated text. */
typedef void *(*LWXPanelGetFunc)(void *inst, unsigned int vid);
typedef int (*LWXPanelSetFunc)(void *inst, unsigned int vid, void *value);
typedef int (*LWXPanelPopCountFunc)(void *userData);
typedef const char *(*LWXPanelPopNameFunc)(void *userData, int index);
typedef void (*LWXPanelPopCmdFunc)(LWXPanelID panel, unsigned int cid, int command);
typedef void (*LWXPanelButtonFunc)(LWXPanelID panel, unsigned int cid);
typedef void (*LWXPanelChangeFunc)(LWXPanelID panel, unsigned int cid, unsigned int vid,
                                   int event);
typedef void (*LWXPanelDestroyFunc)(void *userData);
typedef void (*LWXPanelDrawFunc)(LWXPanelID panel, unsigned int cid, void *region, int width,
                                 int height);

/* Drawing into a control's region; coordinates are relative to the region,
 * colours 0-255. */
typedef struct st_LWXPDrawFuncs {
    void (*drawPixel)(void *region, int r, int g, int b, int x, int y);
    void (*drawRGBBox)(void *region, int r, int g, int b, int x, int y, int w, int h);
    /* y is the top of the text. */
    void (*drawText)(void *region, const char *text, int r, int g, int b, int x, int y);
    int (*textWidth)(void *region, const char *text);
    int (*textHeight)(void *region);
} LWXPDrawFuncs;

typedef struct st_LWXPanelFuncs {
    int version;
    const LWXPDrawFuncs *drawf;
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
    /* Shows a form modally; 1 for OK, 0 for Cancel. */
    int (*post)(LWXPanelID panel);
} LWXPanelFuncs;

#ifdef __cplusplus
}
#endif

#endif
