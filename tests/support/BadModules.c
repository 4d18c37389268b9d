/* Modules a host must refuse: built with BAD_SYNC or NO_DESCRIPTOR. */
#include <lwsdk/module.h>

#if defined(_WIN32)
#define EXPORTED __declspec(dllexport)
#else
#define EXPORTED __attribute__((visibility("default")))
#endif

#ifdef BAD_SYNC
static ServerRecord servers[] = {{0, 0, 0, 0}};
static void *startup(void) { return servers; }
static void shutdown(void *data) { (void)data; }
EXPORTED ModuleDescriptor _mod_descrip = {
    0x12345678u, MOD_SYSVER, MOD_MACHINE, 0, startup, shutdown, 0};
#endif

#ifdef NO_DESCRIPTOR
EXPORTED int not_a_descriptor = 1;
#endif
