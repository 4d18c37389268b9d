/*
 * Block-structured load and save states, and the "File IO" service that
 * opens block files on disk.
 *
 * Blocks are named by four-character ids; in text files the ident's token
 * is the block's keyword.
 */
#ifndef LWSDK_BLOCKIO_H
#define LWSDK_BLOCKIO_H

#ifdef __cplusplus
extern "C" {
#endif

#define LWID_(a, b, c, d)                                                     \
    ((((unsigned int)(a)) << 24) | (((unsigned int)(b)) << 16) |              \
     (((unsigned int)(c)) << 8) | ((unsigned int)(d)))

/* The marker after which a text scene holds no more data of one plug-in. */
#define LWID_ENDPLUGIN 0x0000FFFFu

#define LWIO_BINARY 0
#define LWIO_ASCII 1

typedef struct st_LWBlockIdent {
    unsigned int id;
    const char *token;
} LWBlockIdent;

/*
 * Every read function reads up to n values into the caller's storage and
 * answers the number of values read (-1 at the end of the block).
 */
typedef struct st_LWLoadState {
    int ioMode;
    void *readData;
    int (*read)(void *readData, char *buf, int len);
    int (*readI1)(void *readData, char *vals, int n);
    int (*readI2)(void *readData, short *vals, int n);
    int (*readI4)(void *readData, int *vals, int n);
    int (*readU1)(void *readData, unsigned char *vals, int n);
    int (*readU2)(void *readData, unsigned short *vals, int n);
    int (*readU4)(void *readData, unsigned int *vals, int n);
    int (*readFP)(void *readData, float *vals, int n);
    /* Reads one string of at most max-1 characters plus terminator. */
    int (*readStr)(void *readData, char *buf, int max);
    /* Next block at this level whose id is in the table, 0 when none. */
    unsigned int (*findBlk)(void *readData, const LWBlockIdent *table);
    void (*endBlk)(void *readData);
    int (*depth)(void *readData);
} LWLoadState;

typedef struct st_LWSaveState {
    int ioMode;
    void *writeData;
    void (*write)(void *writeData, const char *buf, int len);
    void (*writeI1)(void *writeData, const char *vals, int n);
    void (*writeI2)(void *writeData, const short *vals, int n);
    void (*writeI4)(void *writeData, const int *vals, int n);
    void (*writeU1)(void *writeData, const unsigned char *vals, int n);
    void (*writeU2)(void *writeData, const unsigned short *vals, int n);
    void (*writeU4)(void *writeData, const unsigned int *vals, int n);
    void (*writeFP)(void *writeData, const float *vals, int n);
    void (*writeStr)(void *writeData, const char *str);
    /* leaf 1: the block holds values; leaf 0: it holds blocks. */
    void (*beginBlk)(void *writeData, const LWBlockIdent *ident, int leaf);
    void (*endBlk)(void *writeData);
    int (*depth)(void *writeData);
} LWSaveState;

#define LWFILEIOFUNCS_GLOBAL "File IO"

typedef struct st_LWFileIOFuncs {
    /* Null when the file cannot be opened or is not a block file. */
    LWLoadState *(*openLoad)(const char *name, int ioMode);
    void (*closeLoad)(LWLoadState *state);
    LWSaveState *(*openSave)(const char *name, int ioMode);
    void (*closeSave)(LWSaveState *state);
} LWFileIOFuncs;

#ifdef __cplusplus
}
#endif

#endif
