/*
 * Progress monitor the host hands to long operations.
 */
#ifndef LWSDK_MONITOR_H
#define LWSDK_MONITOR_H

#ifdef __cplusplus
extern "C" {
#endif

typedef struct st_LWMonitor {
    void *data;
    void (*init)(void *data, unsigned int total);
    /* Answers non-zero when the user asked to abort. */
    int (*step)(void *data, unsigned int increment);
    void (*done)(void *data);
} LWMonitor;

#ifdef __cplusplus
}
#endif

#endif
