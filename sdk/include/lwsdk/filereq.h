/*
 * The host's file requester ("File Request 2"): the service is the
 * activation function itself.
 */
#ifndef LWSDK_FILEREQ_H
#define LWSDK_FILEREQ_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWFILEREQFUNC_GLOBAL "File Request 2"
#define LWFILEREQ_VERSION 4

#define FREQ_LOAD 1
#define FREQ_SAVE 2
#define FREQ_DIRECTORY 3

typedef struct st_LWFileReqLocal {
    int reqType;
    int result; /* 1 chosen, 0 cancelled */
    const char *title;
    const char *fileType; /* "Images", "Presets", ... */
    char *path;           /* in: folder to start in; out: the chosen folder */
    char *baseName;       /* in: suggested name; out: the chosen name */
    char *fullName;       /* out: folder and name */
    int bufLen;           /* the size of the three buffers */
} LWFileReqLocal;

/* AFUNC_OK when the requester ran; request->result tells what the user did. */
typedef int (*LWFileActivateFunc)(int version, LWFileReqLocal *request);

#ifdef __cplusplus
}
#endif

#endif
