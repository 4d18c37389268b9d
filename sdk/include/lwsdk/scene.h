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
#define LWOBJECTINFO_GLOBAL "LW Object Info"
#define LWSURFACEFUNCS_GLOBAL "Surface Functions"

/* A point or direction in the host's world: x right, y up, z forward (a
   left-handed system), in metres. */
typedef double LWDVector[3];

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
    /* The lens as a zoom factor: 1 / tan(half the horizontal field of view). */
    double (*zoomFactor)(LWItemID camera, LWTime time);
    /* The film aperture in millimetres, horizontal and vertical (the
       vertical follows the frame's aspect, pixel aspect included). */
    void (*filmSize)(LWItemID camera, LWTime time, double *width, double *height);
    /* The distance between the eyes of a stereo camera, in metres; each eye
       sits half of it to the side of the camera, along its right axis. */
    double (*eyeSeparation)(LWItemID camera, LWTime time);
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
    /* The item this one is placed in; null at the top of the hierarchy. */
    LWItemID (*parent)(LWItemID item);
    /* One of the LWIP_ values of the item at a time; zero for an unknown
       item or parameter. */
    void (*param)(LWItemID item, int param, LWTime time, LWDVector out);
} LWItemInfo;

/* Parameters of LWItemInfo.param. */
#define LWIP_POSITION 1   /* relative to the parent */
#define LWIP_ROTATION 2   /* heading, pitch, bank in radians, relative to the parent */
#define LWIP_W_POSITION 3 /* in the world, through every parent */
#define LWIP_W_RIGHT 4    /* the item's unit +x axis in the world */
#define LWIP_W_UP 5       /* its unit +y axis */
#define LWIP_W_FORWARD 6  /* its unit +z axis */

/* The ids the renderer writes into the Object ID buffer. */
typedef struct st_LWObjectInfo {
    /* The object whose id the buffer holds; null for 0 (no object) or an
       id no object has. */
    LWItemID (*byBufferId)(int id);
    /* The id of an object in the buffer; 0 for an item that is not one. */
    int (*bufferId)(LWItemID object);
} LWObjectInfo;

typedef void *LWSurfaceID;

/* The scene's surfaces and the ids the Surface ID buffer holds. */
typedef struct st_LWSurfaceFuncs {
    LWSurfaceID (*first)(void);
    LWSurfaceID (*next)(LWSurfaceID surface);
    const char *(*name)(LWSurfaceID surface);
    /* The surface whose id the buffer holds; null for 0 or an unknown id. */
    LWSurfaceID (*byBufferId)(int id);
    int (*bufferId)(LWSurfaceID surface);
} LWSurfaceFuncs;

typedef struct st_LWTimeInfo {
    LWTime time;
    LWFrame frame;
} LWTimeInfo;

#ifdef __cplusplus
}
#endif

#endif
