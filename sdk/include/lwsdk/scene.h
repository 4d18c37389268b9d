/*
 * Scene, camera, item and time services.
 *
 * The tables are owned by the host and stay valid while the service is held;
 * the host keeps their fields up to date with the scene.
 */
#ifndef LWSDK_SCENE_H
#define LWSDK_SCENE_H

#include "handler.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWSCENEINFO_GLOBAL "LW Scene Info 3"
#define LWCAMERAINFO_GLOBAL "LW Camera Info 2"
#define LWITEMINFO_GLOBAL "LW Item Info 3"
#define LWTIMEINFO_GLOBAL "LW Time Info"

/* Render option bits. */
#define LWROPT_SHADOWTRACE 0x1
#define LWROPT_REFLECTTRACE 0x2
#define LWROPT_REFRACTTRACE 0x4
#define LWROPT_FIELDS 0x8
#define LWROPT_EVENFIELDS 0x10
#define LWROPT_MOTIONBLUR 0x20
#define LWROPT_DEPTHOFFIELD 0x40
#define LWROPT_LIMITEDREGION 0x80
#define LWROPT_PARTICLEBLUR 0x100
#define LWROPT_RTTRANSPARENCY 0x4000
#define LWROPT_RADIOSITY 0x8000
#define LWROPT_CAUSTICS 0x10000

typedef struct st_LWSceneInfo {
    const char *name;     /* the scene's name, e.g. "shot.lws" */
    const char *filename; /* full path of the scene file */
    int numPoints;
    int numPolygons;
    int renderOpts;
    LWFrame frameStart;
    LWFrame frameEnd;
    LWFrame frameStep;
    double framesPerSecond;
    int frameWidth;
    int frameHeight;
    double pixelAspect;
    /* Limited region rectangle, inclusive; the whole frame when off. */
    int limitedRegionX0, limitedRegionY0, limitedRegionX1, limitedRegionY1;
    LWItemID (*renderCamera)(LWTime time);
    int numThreads;
    const char *RGBPrefix; /* render image save path */
    int antialiasing;      /* antialiasing level */
    int filter;            /* reconstruction filter index in bits 1-5 */
} LWSceneInfo;

/* Camera flag bits. */
#define LWCAMF_STEREO 0x1
#define LWCAMF_NO_LIMITEDREGION 0x20
#define LWCAMF_EYE_RIGHT 0x200

typedef struct st_LWCameraInfo {
    double (*focalLength)(LWItemID camera, LWTime time);
    double (*focalDistance)(LWItemID camera, LWTime time);
    double (*fStop)(LWItemID camera, LWTime time);
    double (*blurLength)(LWItemID camera, LWTime time);
    unsigned int (*flags)(LWItemID camera);
} LWCameraInfo;

#define LWI_OBJECT 0
#define LWI_LIGHT 1
#define LWI_CAMERA 2

typedef struct st_LWItemInfo {
    LWItemID (*first)(int type, LWItemID parent);
    LWItemID (*next)(LWItemID item);
    int (*type)(LWItemID item);
    const char *(*name)(LWItemID item);
    /* Name of the index-th (from 1) server of a class applied to the item,
       or to the scene for a null item; null past the end. */
    const char *(*server)(LWItemID item, const char *className, int index);
} LWItemInfo;

typedef struct st_LWTimeInfo {
    LWTime time;
    LWFrame frame;
} LWTimeInfo;

#ifdef __cplusplus
}
#endif

#endif
