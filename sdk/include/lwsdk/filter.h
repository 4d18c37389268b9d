/*
 * Image filters: the handler table, the per-frame filter access and the
 * host's render buffer numbering.
 */
#ifndef LWSDK_FILTER_H
#define LWSDK_FILTER_H

#include "handler.h"
#include "monitor.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWIMAGEFILTER_HCLASS "ImageFilterHandler"
#define LWIMAGEFILTER_ICLASS "ImageFilterInterface"
/* Version 4 asks for a bit mask of buffers, version 5 for a counted list. */
#define LWIMAGEFILTER_VERSION_MASK 4
#define LWIMAGEFILTER_VERSION_LIST 5

/* Host render buffers, as passed to getLine. */
enum {
    LWBUF_SPECIAL = 0,
    LWBUF_LUMINOUS = 1,
    LWBUF_DIFFUSE = 2,
    LWBUF_SPECULAR = 3,
    LWBUF_MIRROR = 4,
    LWBUF_TRANS = 5,
    LWBUF_RAW_RED = 6,
    LWBUF_RAW_GREEN = 7,
    LWBUF_RAW_BLUE = 8,
    LWBUF_SHADING = 9,
    LWBUF_SHADOW = 10,
    LWBUF_GEOMETRY = 11,
    LWBUF_DEPTH = 12, /* along the camera's view axis; at or beyond 2e14 on the backdrop */
    LWBUF_DIFFSHADE = 13,
    LWBUF_SPECSHADE = 14,
    LWBUF_MOTION_X = 15, /* pixels to where the point is on the next frame, */
    LWBUF_MOTION_Y = 16, /* x right, y down */
    LWBUF_REFL_RED = 17,
    LWBUF_REFL_GREEN = 18,
    LWBUF_REFL_BLUE = 19,
    LWBUF_DIFF_RED = 20,
    LWBUF_DIFF_GREEN = 21,
    LWBUF_DIFF_BLUE = 22,
    LWBUF_SPEC_RED = 23,
    LWBUF_SPEC_GREEN = 24,
    LWBUF_SPEC_BLUE = 25,
    LWBUF_BACKDROP_RED = 26,
    LWBUF_BACKDROP_GREEN = 27,
    LWBUF_BACKDROP_BLUE = 28,
    LWBUF_PREEFFECT_RED = 29,
    LWBUF_PREEFFECT_GREEN = 30,
    LWBUF_PREEFFECT_BLUE = 31,
    LWBUF_RED = 32, /* final colour over the backdrop, not premultiplied */
    LWBUF_GREEN = 33,
    LWBUF_BLUE = 34,
    LWBUF_ALPHA = 35, /* coverage: 0 on the backdrop */
    LWBUF_REFRACTION_RED = 36,
    LWBUF_REFRACTION_GREEN = 37,
    LWBUF_REFRACTION_BLUE = 38,
    LWBUF_REFRACTION_ALPHA = 39,
    LWBUF_NORMAL_X = 40, /* unit shading normal in world coordinates; 0 off objects */
    LWBUF_NORMAL_Y = 41,
    LWBUF_NORMAL_Z = 42,
    LWBUF_SURFACEID = 43,
    LWBUF_OBJECTID = 44,
    LWBUF_RADIOSITY_RED = 45,
    LWBUF_RADIOSITY_GREEN = 46,
    LWBUF_RADIOSITY_BLUE = 47,
    LWBUF_AO_RED = 48,
    LWBUF_AO_GREEN = 49,
    LWBUF_AO_BLUE = 50,
    LWBUF_TANGENT_TX = 51,
    LWBUF_TANGENT_TY = 52,
    LWBUF_TANGENT_TZ = 53,
    LWBUF_TANGENT_BX = 54,
    LWBUF_TANGENT_BY = 55,
    LWBUF_TANGENT_BZ = 56,
    LWBUF_TANGENT_NX = 57,
    LWBUF_TANGENT_NY = 58,
    LWBUF_TANGENT_NZ = 59,
    LWBUF_COUNT = 60
};

/* Context flags handed to create (the context points to an int). */
#define LWFCF_PREPROCESS 0x1

typedef struct st_LWFilterAccess {
    int width, height;
    LWFrame frame;
    LWTime start, end;
    /* One line of width floats of a render buffer; null when the host has
       no such line. */
    float *(*getLine)(int type, int y);
    void (*setRGB)(int x, int y, const float rgb[3]);
    void (*setAlpha)(int x, int y, float alpha);
    LWMonitor *monitor; /* may be null */
} LWFilterAccess;

typedef unsigned int (*LWFilterMaskFunc)(LWInstance inst);
/* Pointer to an int array: count, then that many buffer numbers. */
typedef const int *(*LWFilterListFunc)(LWInstance inst);

typedef struct st_LWImageFilterHandler {
    LWInstanceFuncs *inst;
    LWItemFuncs *item; /* null when the host offers no item functions */
    void (*process)(LWInstance inst, const LWFilterAccess *access);
    union {
        LWFilterMaskFunc mask; /* version 4 */
        LWFilterListFunc list; /* version 5 */
    } flags;
} LWImageFilterHandler;

#ifdef __cplusplus
}
#endif

#endif
