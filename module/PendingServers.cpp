// Servers whose handlers are not built yet: they register so the host's
// table is complete, and refuse activation with the bad-version code.

#include <lwsdk/filter.h>
#include <lwsdk/imageio.h>
#include <lwsdk/master.h>

#include "module/ServerRegistry.h"
#include "module/ServerTags.h"

namespace ravelcast {

namespace {
int notYetAvailable(int, GlobalFunc, void *, void *) { return AFUNC_BADVERSION; }

ServerRegistration loader(kLoaderPosition, LWIMAGELOADER_CLASS, "LW_OpenEXR",
                          notYetAvailable, kImageIOTags);
ServerRegistration saver(kSaverPosition, LWIMAGESAVER_CLASS, "OpenEXR(.exr)",
                         notYetAvailable, kImageIOTags);
ServerRegistration dummy(kDummySaverPosition, LWIMAGESAVER_CLASS, "OpenEXR_Dummy(.exr)",
                         notYetAvailable, kDummySaverTags);
ServerRegistration masterHandler(kMasterHandlerPosition, LWMASTER_HCLASS,
                                 kMasterServerName, notYetAvailable, kMasterTags);
ServerRegistration masterInterface(kMasterInterfacePosition, LWMASTER_ICLASS,
                                   kMasterServerName, notYetAvailable, kMasterTags);
} // namespace

} // namespace ravelcast
