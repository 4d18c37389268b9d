/*
 * Envelopes, channel groups and variant parameters (envelope-able values).
 */
#ifndef LWSDK_ENVELOPE_H
#define LWSDK_ENVELOPE_H

#include "handler.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct st_LWChanGroup *LWChanGroupID;
typedef struct st_LWChannel *LWChannelID;
typedef struct st_LWEnvelope *LWEnvelopeID;
typedef struct st_LWEnvKey *LWEnvKeyframeID;
typedef struct st_LWVParm *LWVParmID;

#define LWENVELOPEFUNCS_GLOBAL "Animation Envelopes"

typedef struct st_LWEnvelopeFuncs {
    LWEnvelopeID (*create)(LWChanGroupID group, const char *name, int type);
    void (*destroy)(LWEnvelopeID env);
    /* A null parent creates a group at the root. */
    LWChanGroupID (*createGroup)(LWChanGroupID parent, const char *name);
    void (*destroyGroup)(LWChanGroupID group);
    double (*evaluate)(LWEnvelopeID env, LWTime time);
    LWEnvKeyframeID (*createKey)(LWEnvelopeID env, LWTime time, double value);
    void (*destroyKey)(LWEnvelopeID env, LWEnvKeyframeID key);
    LWEnvKeyframeID (*nextKey)(LWEnvelopeID env, LWEnvKeyframeID key);
    int (*keyGet)(LWEnvelopeID env, LWEnvKeyframeID key, LWTime *time,
                  double *value);
} LWEnvelopeFuncs;

#define LWCHANNELINFO_GLOBAL "Channel Info 2"

typedef struct st_LWChannelInfo {
    /* Child groups of parent (null: the root) in order; null group starts. */
    LWChanGroupID (*nextGroup)(LWChanGroupID parent, LWChanGroupID group);
    LWChannelID (*nextChannel)(LWChanGroupID parent, LWChannelID chan);
    const char *(*groupName)(LWChanGroupID group);
    const char *(*channelName)(LWChannelID chan);
    LWChanGroupID (*groupParent)(LWChanGroupID group);
    LWChanGroupID (*channelParent)(LWChannelID chan);
    double (*channelEvaluate)(LWChannelID chan, LWTime time);
    LWEnvelopeID (*channelEnvelope)(LWChannelID chan);
} LWChannelInfo;

#define LWVPARMFUNCS_GLOBAL "LWVParmFuncs 2"

#define LWVP_FLOAT 0x10
#define LWVP_PERCENT 0x20
#define LWVP_DIST 0x30
#define LWVP_ANGLE 0x40

#define LWVPSF_ENV 0x1 /* the value is driven by an envelope */

typedef struct st_LWVParmFuncs {
    LWVParmID (*create)(int envType, int dataType);
    void (*destroy)(LWVParmID parm);
    /* Creates the parameter's channel(s) named channelName in group. */
    void (*setup)(LWVParmID parm, const char *channelName,
                  LWChanGroupID group, const char *pluginName);
    LWError (*copy)(LWVParmID to, LWVParmID from);
    LWError (*load)(LWVParmID parm, const LWLoadState *state);
    LWError (*save)(LWVParmID parm, const LWSaveState *state);
    /* The value at a time into value[0]; answers the number of values. */
    int (*getVal)(LWVParmID parm, LWTime time, double *value);
    int (*setVal)(LWVParmID parm, const double *value);
    int (*getState)(LWVParmID parm);
    void (*setState)(LWVParmID parm, int state);
    /* The envelope of the parameter, created on request. */
    LWEnvelopeID (*getEnv)(LWVParmID parm);
} LWVParmFuncs;

#ifdef __cplusplus
}
#endif

#endif
