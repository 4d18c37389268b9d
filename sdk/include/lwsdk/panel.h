/*
 * Classic panels: hand-placed controls, drawing functions and user
 * callbacks ("LWPanelServices").
 */
#ifndef LWSDK_PANEL_H
#define LWSDK_PANEL_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWPANELFUNCS_GLOBAL "LWPanelServices"

typedef struct st_LWPanel *LWPanelID;
typedef struct st_LWControl LWControl;

/* An attribute value: which member holds it depends on the tag. */
typedef void (*LWPanelFunc)(void);
typedef union un_LWValue {
    int intv;
    void *ptr;
    LWPanelFunc func;
} LWValue;

/* Panel attribute tags. */
#define PAN_X 0
#define PAN_Y 1
#define PAN_W 2
#define PAN_H 3
#define PAN_USERDRAW 7        /* void (*)(LWPanelID, void *userData, int mode) */
#define PAN_USEROPEN 8        /* void (*)(LWPanelID, void *userData) */
#define PAN_USERACTIVATE 9    /* void (*)(LWPanelID, void *userData) */
#define PAN_USERCLOSE 10      /* void (*)(LWPanelID, void *userData) */
#define PAN_USERDATA 12
#define PAN_USERKEYS 13       /* int (*)(LWPanelID, void *userData, int key) */
#define PAN_MOUSEBUTTON 15    /* void (*)(LWPanelID, void *userData, int qualifiers, int x, int y) */
#define PAN_MOUSEMOVE 16      /* same as PAN_MOUSEBUTTON */
#define PAN_USERKEYUPS 21     /* same as PAN_USERKEYS */

/* Control attribute tags. */
#define CTL_X 0
#define CTL_Y 1
#define CTL_W 2
#define CTL_H 3
#define CTL_HOTX 5 /* the drawable area inside the control's frame */
#define CTL_HOTY 6
#define CTL_HOTW 7
#define CTL_HOTH 8
#define CTL_USERDRAW 13 /* void (*)(LWControl *, void *userData, int mode) */
#define CTL_USERDATA 16
#define CTL_PANEL 17    /* the panel that holds the control (ptr) */

/* Open flags. */
#define PANF_BLOCKING 1 /* open returns when the user closes the panel */
#define PANF_CANCEL 2
#define PANF_FRAME 4    /* with the host's window frame */
#define PANF_NOBUTT 64  /* no OK/Cancel row */

/* Draw modes. */
#define DR_REFRESH 0
#define DR_RENDER 1
#define DR_ERASE 2
#define DR_FULL 3 /* everything, after a change of size */

/* Mouse qualifiers. */
#define MOUSE_LEFT 1
#define MOUSE_MID 2
#define MOUSE_RIGHT 4

/* Palette colours of drawBox and drawText. */
#define LWP_BG 0
#define LWP_BLACK 1
#define LWP_WHITE 2
#define LWP_TEXT 3
#define LWP_HILIGHT 4
#define LWP_SHADOW 5
#define LWP_DARKGREY 6
/* The host's panel background, its normal text and its highlighted text. */
#define LWP_PANEL_BG 4138
#define LWP_PANEL_TEXT 4139
#define LWP_PANEL_HILIGHT 4140

/* Control descriptions, by kind. */
#define LWT_TEXT 12
#define LWT_LISTBOX 18
#define LWT_CANVAS 19

typedef struct st_LWTextDesc {
    int type;               /* LWT_TEXT */
    const char *const *text; /* null-terminated list of lines */
} LWTextDesc;

/* The list functions get the list box's user data (CTL_USERDATA). */
typedef const char *(*LWListNameFunc)(void *data, int index);
typedef int (*LWListCountFunc)(void *data);

typedef struct st_LWListBoxDesc {
    int type; /* LWT_LISTBOX */
    int width;
    LWListNameFunc nameFn;
    LWListCountFunc countFn;
    int visItems;
    int top;
} LWListBoxDesc;

typedef struct st_LWCanvasDesc {
    int type; /* LWT_CANVAS */
    int width;
    int height;
} LWCanvasDesc;

typedef union un_LWPanControlDesc {
    int type;
    LWTextDesc text;
    LWListBoxDesc listbox;
    LWCanvasDesc canvas;
} LWPanControlDesc;

struct st_LWControl {
    void (*draw)(LWControl *control, int mode);
    void (*get)(LWControl *control, int tag, LWValue *value);
    void (*set)(LWControl *control, int tag, LWValue *value);
    void *priv; /* the host's */
};

typedef struct st_LWDisplayMetrics {
    int width, height; /* the screen */
    int textHeight;
    int textAscent;
} LWDisplayMetrics;

/* Drawing into a panel; coordinates are panel pixels, y of text its top. */
typedef struct st_LWDrawFuncs {
    void (*drawPixel)(LWPanelID panel, int colour, int x, int y);
    void (*drawRGBPixel)(LWPanelID panel, int r, int g, int b, int x, int y);
    void (*drawBox)(LWPanelID panel, int colour, int x, int y, int w, int h);
    void (*drawRGBBox)(LWPanelID panel, int r, int g, int b, int x, int y, int w, int h);
    /* A bevelled frame; indent 0 raised, otherwise sunken. */
    void (*drawBorder)(LWPanelID panel, int indent, int x, int y, int w, int h);
    int (*textWidth)(LWPanelID panel, const char *text);
    void (*drawText)(LWPanelID panel, const char *text, int colour, int x, int y);
    const LWDisplayMetrics *(*dispMetrics)(void);
} LWDrawFuncs;

typedef struct st_LWPanelFuncs {
    int version;
    LWPanelID (*create)(const char *title, void *services);
    void (*destroy)(LWPanelID panel);
    /* 1 when the user closed a blocking panel with OK (or it has no
     * buttons); 0 otherwise. */
    int (*open)(LWPanelID panel, int flags);
    void (*draw)(LWPanelID panel, int mode);
    void (*close)(LWPanelID panel);
    void (*get)(LWPanelID panel, int tag, LWValue *value);
    void (*set)(LWPanelID panel, int tag, LWValue *value);
    /* kind: "TextControl", "ListBoxControl", "CanvasControl". */
    LWControl *(*addControl)(LWPanelID panel, const char *kind, LWPanControlDesc *desc,
                             const char *label);
    const LWDrawFuncs *drawFuncs;
} LWPanelFuncs;

#ifdef __cplusplus
}
#endif

#endif
