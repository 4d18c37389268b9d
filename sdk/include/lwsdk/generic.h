/*
 * Layout-generic commands.
 */
#ifndef LWSDK_GENERIC_H
#define LWSDK_GENERIC_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWLAYOUTGENERIC_CLASS "LayoutGeneric"
#define LWLAYOUTGENERIC_VERSION 6

typedef struct st_LWLayoutGeneric {
    void *data;
    /* Evaluates one host command; answers non-zero on success. */
    int (*evaluate)(void *data, const char *command);
} LWLayoutGeneric;

#ifdef __cplusplus
}
#endif

#endif
