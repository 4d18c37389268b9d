#include "exrio/OpenEXRDummySaver.h"

#include "module/ServerRegistry.h"
#include "module/ServerTags.h"

namespace ravelcast {

OpenEXRDummySaver::OpenEXRDummySaver(int protocolType, LWImageSaverLocal *local)
    : ImageSaverHandler(protocolType, local)
{
}

void OpenEXRDummySaver::run()
{
    ImageSaverHandler::run();
    if (local())
        local()->result = IPSTAT_OK;
}

int OpenEXRDummySaver::sendLine(int, const void *)
{
    const int type = imageType();
    return type >= LWIMTYP_RGB24 && type <= LWIMTYP_RGBAFP ? IPSTAT_OK : IPSTAT_FAILED;
}

namespace {
ServerRegistration dummySaverServer(kDummySaverPosition, LWIMAGESAVER_CLASS,
                                    "OpenEXR_Dummy(.exr)",
                                    hostkit::ImageSaverAdaptor<OpenEXRDummySaver>::activate,
                                    kDummySaverTags);
} // namespace

} // namespace ravelcast
