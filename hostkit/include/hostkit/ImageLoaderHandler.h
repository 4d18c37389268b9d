// Base of image loaders and the activation that drives one.
//
// The host activates a loader once per file it wants loaded; the whole load
// happens inside that call. The handler asks the host for an image of a
// type (begin), sends its size, parameters, metadata items and lines
// through the image protocol it got, and the activation hands the image
// back (done) whatever happened.
#ifndef HOSTKIT_IMAGELOADERHANDLER_H
#define HOSTKIT_IMAGELOADERHANDLER_H

#include <string>

#include <lwsdk/imageio.h>
#include <lwsdk/module.h>

#include "hostkit/ExceptionBarrier.h"
#include "hostkit/HostInfo.h"

namespace hostkit {

class ImageLoaderHandler {
public:
    // version: the activation version (2 sends the pixel aspect as a
    // parameter, 3 as a metadata item). access: the host's loader record,
    // not owned; it must outlive the handler.
    ImageLoaderHandler(int version, LWImageLoaderLocal *access);
    // Hands a begun image back when finish() was not called.
    virtual ~ImageLoaderHandler();
    ImageLoaderHandler(const ImageLoaderHandler &) = delete;
    ImageLoaderHandler &operator=(const ImageLoaderHandler &) = delete;

    // Loads the file; answers the result code for the host's record
    // (IPSTAT_OK, IPSTAT_NOREC, IPSTAT_BADFILE, IPSTAT_FAILED or a code the
    // host's sendLine answered). Library and stream failures are thrown.
    virtual int load(const std::string &fileName) = 0;

    // When an image was begun: tells its protocol the load is done with
    // result and hands it to the host's done. Also finishes the progress
    // monitor when it was started. Happens once; never throws.
    void finish(int result) noexcept;

    int version() const { return version_; }
    LWImageLoaderLocal *access() const { return access_; }
    LWImageProtocolID protocol() const { return protocol_; }

protected:
    // Asks the host for an image of the type; false when it has none.
    bool beginImage(int type);
    // The protocol's operations; each does nothing without an image, or
    // when the host left that callback out.
    void setSize(int width, int height);
    void setParameter(int param, int ival, float fval);
    int sendMetadata(int tag, const std::string &text);
    // Answers the host's code; IPSTAT_FAILED without an image or callback.
    int sendLine(int row, const void *pixels);

    // The host's progress monitor, when it gave one.
    void startProgress(unsigned int total);
    // False when the user asked to stop.
    bool stepProgress();

private:
    int version_;
    LWImageLoaderLocal *access_;
    LWImageProtocolID protocol_ = nullptr;
    bool progressStarted_ = false;
    bool finished_ = false;
};

// The activation of a loader class T, constructed as T(version, access).
// Versions above 3 answer AFUNC_BADVERSION touching nothing; a missing
// record answers AFUNC_BADLOCAL. The load's result goes to the record; a
// failure leaves IPSTAT_FAILED there, shows "An exception occured when
// attempting to load an image:" with the exception's description and
// answers AFUNC_BADAPP_SILENT. A begun image is handed back either way.
template <class T> struct ImageLoaderAdaptor {
    static int activate(int version, GlobalFunc global, void *local, void *)
    {
        if (version > 3)
            return AFUNC_BADVERSION;
        auto *access = static_cast<LWImageLoaderLocal *>(local);
        if (!access)
            return AFUNC_BADLOCAL;
        return guardedActivation(
            "An exception occured when attempting to load an image:", global, AFUNC_BADAPP_SILENT,
            [&] {
                T loader(version, access);
                try {
                    const int result = loader.load(access->filename ? access->filename : "");
                    access->result = result;
                    loader.finish(result);
                } catch (...) {
                    // A begun image goes back to the host even when the load fails.
                    access->result = IPSTAT_FAILED;
                    loader.finish(IPSTAT_FAILED);
                    throw;
                }
                return AFUNC_OK;
            },
            [&] { access->result = IPSTAT_FAILED; });
    }
};

} // namespace hostkit

#endif
