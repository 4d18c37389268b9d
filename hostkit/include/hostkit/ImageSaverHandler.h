// Base of image savers and the activation that drives one.
//
// The host activates a saver once per image it saves. The activation makes
// one handler on the host's saver record, runs it and destroys it; running
// hands the host an image protocol whose callbacks (size, parameters or
// metadata items, lines, palette, done) reach the handler's operations.
#ifndef HOSTKIT_IMAGESAVERHANDLER_H
#define HOSTKIT_IMAGESAVERHANDLER_H

#include <string>

#include <lwsdk/imageio.h>
#include <lwsdk/module.h>

#include "hostkit/ExceptionBarrier.h"
#include "hostkit/HostInfo.h"

namespace hostkit {

class ImageSaverHandler {
public:
    // protocolType: the activation version. With 2 the protocol's third
    // callback is setParam, with 3 it is sendMeta; no other type is run.
    // local: the host's saver record, not owned; it must outlive the handler.
    ImageSaverHandler(int protocolType, LWImageSaverLocal *local);
    virtual ~ImageSaverHandler();
    ImageSaverHandler(const ImageSaverHandler &) = delete;
    ImageSaverHandler &operator=(const ImageSaverHandler &) = delete;

    // Fills the protocol record the host is handed: done, setSize, setParam
    // (type 2) or sendMeta (type 3), sendLine and setMap, with this handler
    // as their data. Each callback stops exceptions with the message
    // "An exception occured in ImageSaver::<Operation>():".
    virtual void setupProtocol(LWImageProtocol &protocol);

    // Stores the record's file name, sets its result to 0 and hands the
    // host the protocol through its sendData; that answer becomes the
    // record's result. A protocol type other than 2 or 3 sets IPSTAT_FAILED
    // without calling the host. Exceptions leave the result at
    // IPSTAT_FAILED and are passed on.
    virtual void run();

    virtual void setSize(int width, int height) = 0;
    // The host's last call: answers the save's result.
    virtual int done(int code) = 0;
    // Answers 1 when the item was used, 0 when it was ignored.
    virtual int metadataItem(int tag, const char *text) = 0;
    virtual void setParameter(int param, int ival, float fval) = 0;
    // One line of the record's image type; answers IPSTAT_OK or a failure
    // code that stops the host.
    virtual int sendLine(int y, const void *pixels) = 0;
    // One palette entry of an indexed-colour image. Default: ignored.
    virtual void setMap(int index, const unsigned char rgb[3]);

    int protocolType() const { return protocolType_; }
    LWImageSaverLocal *local() const { return local_; }
    // The host image type of the lines, from the record.
    int imageType() const { return local_ ? local_->type : -1; }
    const std::string &fileName() const { return fileName_; }
    const LWImageProtocol &protocol() const { return protocol_; }

private:
    int protocolType_;
    LWImageSaverLocal *local_;
    std::string fileName_;
    LWImageProtocol protocol_{};
};

// The activation of a saver class T, constructed as T(version, local).
// Versions 2 and 3 are accepted; a missing record answers AFUNC_BADLOCAL.
// A failure shows "An exception occured when attempting to save an image:"
// with the exception's description and answers AFUNC_BADAPP_SILENT.
template <class T> struct ImageSaverAdaptor {
    static int activate(int version, GlobalFunc global, void *local, void *)
    {
        if (version != 2 && version != 3)
            return AFUNC_BADVERSION;
        auto *record = static_cast<LWImageSaverLocal *>(local);
        if (!record)
            return AFUNC_BADLOCAL;
        return guardedActivation(
            "An exception occured when attempting to save an image:", global, AFUNC_BADAPP_SILENT,
            [&] {
                T saver(version, record);
                saver.run();
                return AFUNC_OK;
            },
            [&] { record->result = IPSTAT_FAILED; });
    }
};

} // namespace hostkit

#endif
