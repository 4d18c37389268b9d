/*
 * The host's render display ("Preview Functions"): a window a plug-in fills
 * with pixels, with a popup of display choices and mouse clicks.
 */
#ifndef LWSDK_PREVIEW_H
#define LWSDK_PREVIEW_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWPREVIEWFUNCS_GLOBAL "Preview Functions"

typedef struct st_LWPreview *LWPreviewID;

/* The user closed the window. */
typedef void (*LWPreviewCloseFunc)(void *userData);
/* A click at (x, y) of the window as it is drawn now. */
typedef void (*LWPreviewClickFunc)(void *userData, int x, int y);
/* The user chose item `choice` of the window's popup. */
typedef void (*LWPreviewChoiceFunc)(void *userData, int choice);
/* The window is now drawn at width x height. */
typedef void (*LWPreviewResizeFunc)(void *userData, int width, int height);

typedef struct st_LWPreviewFuncs {
    LWPreviewID (*subscribe)(const char *title, void *userData, LWPreviewCloseFunc close);
    void (*unsubscribe)(LWPreviewID preview);
    /* The image's size; its pixels start black. */
    void (*initBuffer)(LWPreviewID preview, int width, int height);
    void (*setPixel)(LWPreviewID preview, int x, int y, int r, int g, int b);
    /* Shows the pixels set so far. */
    void (*draw)(LWPreviewID preview);
    void (*setClick)(LWPreviewID preview, LWPreviewClickFunc click);
    void (*setResize)(LWPreviewID preview, LWPreviewResizeFunc resize);
    /* items: null-terminated; current: the chosen one. */
    void (*setChoices)(LWPreviewID preview, const char *const *items, int current,
                       LWPreviewChoiceFunc choose);
    void (*open)(LWPreviewID preview);
    void (*close)(LWPreviewID preview);
    int (*isOpen)(LWPreviewID preview);
} LWPreviewFuncs;

#ifdef __cplusplus
}
#endif

#endif
