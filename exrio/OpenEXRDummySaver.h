// "OpenEXR_Dummy(.exr)": a saver that takes the host's image through the
// same protocol as the OpenEXR saver and writes nothing. Hosts that insist
// on saving an image somewhere (while the layered filter writes the real
// files) get a saver that succeeds without touching the disk.
#ifndef RAVELCAST_EXRIO_OPENEXRDUMMYSAVER_H
#define RAVELCAST_EXRIO_OPENEXRDUMMYSAVER_H

#include "hostkit/ImageSaverHandler.h"

namespace ravelcast {

class OpenEXRDummySaver : public hostkit::ImageSaverHandler {
public:
    OpenEXRDummySaver(int protocolType, LWImageSaverLocal *local);

    // Runs the protocol and reports success whatever the host answered.
    void run() override;
    void setSize(int, int) override {}
    int done(int) override { return IPSTAT_OK; }
    int metadataItem(int, const char *) override { return 0; }
    void setParameter(int, int, float) override {}
    // Accepts every line of a known image type; IPSTAT_FAILED for others,
    // as the OpenEXR saver answers.
    int sendLine(int y, const void *pixels) override;
};

} // namespace ravelcast

#endif
