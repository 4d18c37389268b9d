// Loading image files as a host does: the host's own PNG loader first, then
// every "ImageLoader" server of the loaded module in table order, until one
// recognises the file (answers anything but IPSTAT_NOREC). A module loader
// is activated with a loader record: its begin hands the loader an image
// protocol (size, parameters, metadata items, lines, done) through which it
// fills a host image of the type it asked for, and its done takes the image
// back. Everything the loader sent is recorded for inspection.
#ifndef DEVHOST_IMAGELOADING_H
#define DEVHOST_IMAGELOADING_H

#include <string>
#include <utility>
#include <vector>

#include <lwsdk/imageio.h>

namespace devhost {

class Host;
class ImageUtility;

struct LoaderAttempt {
    std::string loader;
    int activation = 0; // the activation's answer (0 for the host's own)
    int result = IPSTAT_NOREC;
};

// What one load produced. Owns its image (destroyed with the object
// through the host's image utility, which must outlive it).
class LoadedImage {
public:

    std::vector<LoaderAttempt> attempts;
    std::string loader; // the loader that recognised the file; empty if none did
    int result = IPSTAT_NOREC;

    // The image, kept only when the load succeeded; null otherwise.
    LWPixmapID image() const { return image_.image; }
    int imageType = -1; // the type the loader asked for (-1: it began none)
    int width = 0, height = 0;

    // The protocol as the loader used it.
    int beginCalls = 0;
    int protocolDoneCalls = 0;
    int protocolDoneCode = -1;
    int hostDoneCalls = 0;
    std::vector<std::pair<int, std::string>> metadata; // sendMeta, in order
    bool pixelAspectSet = false;                       // setParam(LWIMPAR_ASPECT)
    float pixelAspect = 1.0f;
    std::vector<int> rowsReceived;                      // sendLine rows, in order
    unsigned int progressTotal = 0;
    unsigned int progressSteps = 0;
    bool progressDone = false;

    void adopt(ImageUtility *utility, LWPixmapID image);
    void release();

private:
    // The one owned resource; moving it moves the image, copying is out.
    struct OwnedImage {
        ImageUtility *utility = nullptr;
        LWPixmapID image = nullptr;
        OwnedImage() = default;
        OwnedImage(OwnedImage &&o) noexcept
            : utility(std::exchange(o.utility, nullptr)), image(std::exchange(o.image, nullptr))
        {
        }
        OwnedImage &operator=(OwnedImage &&o) noexcept
        {
            if (this != &o) {
                reset();
                utility = std::exchange(o.utility, nullptr);
                image = std::exchange(o.image, nullptr);
            }
            return *this;
        }
        ~OwnedImage() { reset(); }
        void reset();
    };
    OwnedImage image_;
};

class ImageLoading {
public:
    explicit ImageLoading(Host &host);

    static constexpr const char *kPngLoader = "PNG(.png)";

    // The loaders in trial order.
    std::vector<std::string> loaders() const;

    // The activation version of module loaders: 3 (pixel aspect as an
    // item) by default, or 2 (as a parameter).
    void setLoaderVersion(int version) { loaderVersion_ = version; }
    int loaderVersion() const { return loaderVersion_; }

    // Tries the loaders in order until one recognises the file. Both throw
    // InputError, before any loader runs, when file exists but is not a
    // regular file (a loader reading a named pipe would wait for ever).
    LoadedImage load(const std::string &file);
    // Only the named loader; throws HostError for an unknown name.
    LoadedImage loadWith(const std::string &loader, const std::string &file);

private:
    void tryLoader(const std::string &loader, const std::string &file, LoadedImage &out);
    void loadPng(const std::string &file, LoadedImage &out);
    void loadThroughModule(const std::string &loader, const std::string &file, LoadedImage &out);

    Host &host_;
    int loaderVersion_ = 3;
};

} // namespace devhost

#endif
