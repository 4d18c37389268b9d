/*
 * Images: the host's image utility, the image protocol and the saver and
 * loader locals.
 */
#ifndef LWSDK_IMAGEIO_H
#define LWSDK_IMAGEIO_H

#include "monitor.h"

#ifdef __cplusplus
extern "C" {
#endif

#define LWIMAGESAVER_CLASS "ImageSaver"
#define LWIMAGELOADER_CLASS "ImageLoader"

/* Image types. */
#define LWIMTYP_RGB24 0
#define LWIMTYP_GREY8 1
#define LWIMTYP_INDEX8 2
#define LWIMTYP_GREYFP 3
#define LWIMTYP_RGBFP 4
#define LWIMTYP_RGBA32 5
#define LWIMTYP_RGBAFP 6

/* Image parameters of setParam. */
#define LWIMPAR_ASPECT 1

/* Host metadata item tags used with sendMeta. */
#define LWIMMETA_PIXELASPECT 1
#define LWIMMETA_VERSION 7
#define LWIMMETA_WIDTH 9
#define LWIMMETA_HEIGHT 10

#define IPSTAT_OK 0
#define IPSTAT_NOREC 1
#define IPSTAT_BADFILE 2
#define IPSTAT_ABORT 3
#define IPSTAT_FAILED 99

typedef struct st_LWPixmap *LWPixmapID;

/*
 * The protocol of one image travelling between host and plug-in. Version 2
 * carries parameters through setParam, version 3 carries numbered metadata
 * items through sendMeta; whoever fills the record leaves the other null.
 */
typedef struct st_LWImageProtocol {
    int type;
    void *priv_data;
    int (*done)(void *priv, int error);
    void (*setSize)(void *priv, int width, int height);
    void (*setParam)(void *priv, int param, int ival, float fval);
    int (*sendMeta)(void *priv, int tag, const char *text);
    int (*sendLine)(void *priv, int line, const void *pixels);
    void (*setMap)(void *priv, int index, const unsigned char rgb[3]);
} LWImageProtocol;

typedef LWImageProtocol *LWImageProtocolID;

typedef struct st_LWImageSaverLocal {
    void *priv_data;
    int result;
    int type; /* image type the host will send */
    const char *filename;
    LWMonitor *monitor;
    /* The host drives the saver's protocol; answers the save's result. */
    int (*sendData)(void *priv, LWImageProtocolID proto, int flags);
} LWImageSaverLocal;

typedef struct st_LWImageLoaderLocal {
    void *priv_data;
    int result;
    const char *filename;
    LWMonitor *monitor;
    /* Null when the host cannot make an image of that type. */
    LWImageProtocolID (*begin)(void *priv, int type);
    void (*done)(void *priv, LWImageProtocolID proto);
} LWImageLoaderLocal;

#define LWIMAGEUTIL_GLOBAL "Image Utility"

typedef struct st_LWImageUtil {
    LWPixmapID (*create)(int width, int height, int type);
    void (*destroy)(LWPixmapID image);
    /* Saves through host saver number saver; answers IPSTAT_OK on success. */
    int (*save)(LWPixmapID image, int saver, const char *name);
    /* Pixel in the image's own type (bytes or floats). */
    void (*setPixel)(LWPixmapID image, int x, int y, const void *pixel);
    void (*getPixel)(LWPixmapID image, int x, int y, void *pixel);
    void (*getInfo)(LWPixmapID image, int *width, int *height, int *type);
    int (*saverCount)(void);
    const char *(*saverName)(int saver);
    /* File extension without the dot, e.g. "png". */
    const char *(*saverExtension)(int saver);
} LWImageUtil;

#ifdef __cplusplus
}
#endif

#endif
