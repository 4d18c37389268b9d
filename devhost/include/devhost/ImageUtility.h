// "Image Utility": host images of the seven image types, and saving them
// through the host's savers: its own PNG and PFM writers first, then every
// "ImageSaver" server of the loaded module in table order, driven through
// the image protocol as a host drives it.
#ifndef DEVHOST_IMAGEUTILITY_H
#define DEVHOST_IMAGEUTILITY_H

#include <array>
#include <string>
#include <vector>

#include <lwsdk/imageio.h>

#include "devhost/Extensions.h"

// A host image: rows from the top, each pixel in the type's own layout
// (bytes for types 0, 1, 2 and 5, floats for 3, 4 and 6).
struct st_LWPixmap {
    int width = 0, height = 0, type = 0;
    int pixelBytes = 0;
    std::vector<unsigned char> bytes;
    // The colours of an indexed (type 2) image; a grey ramp until set.
    std::array<unsigned char, 256 * 3> palette{};
    const unsigned char *row(int y) const
    {
        return bytes.data() + static_cast<std::size_t>(y) * width * pixelBytes;
    }
};

namespace devhost {

class Host;
class Module;

class ImageUtility : public ServiceFamily {
public:
    explicit ImageUtility(Host &host);
    ~ImageUtility() override;
    ImageUtility(const ImageUtility &) = delete;
    ImageUtility &operator=(const ImageUtility &) = delete;

    const LWImageUtil *table() const { return &table_; }

    // Bytes of one pixel of an image type; 0 for an unknown type.
    static int pixelBytes(int type);

    // Null for a non-positive or too large size or an unknown type.
    LWPixmapID create(int width, int height, int type);
    // Ignores images that are not ours (or already destroyed).
    void destroy(LWPixmapID image);
    bool valid(LWPixmapID image) const;
    int liveImages() const { return static_cast<int>(images_.size()); }
    // Pixels outside the image, and images not ours, are ignored.
    void setPixel(LWPixmapID image, int x, int y, const void *pixel);
    void getPixel(LWPixmapID image, int x, int y, void *pixel) const;
    void setPaletteEntry(LWPixmapID image, int index, const unsigned char rgb[3]);

    struct Saver {
        std::string name;      // e.g. "PNG(.png)", "OpenEXR(.exr)"
        std::string extension; // e.g. "png", "exr"
        bool module = false;   // a server of the loaded module
    };
    // The host's savers, then the module's; names stay valid until the
    // loaded module changes.
    const std::vector<Saver> &savers();
    int saverCount() { return static_cast<int>(savers().size()); }
    // The index of a saver by its name; -1 when there is none.
    int findSaver(const std::string &name);
    // The text inside the name's "(.ext)", without the dot; empty if none.
    static std::string extensionOf(const std::string &name);

    // The activation version of module savers: 3 (metadata items) by
    // default, or 2 (the pixel aspect as a parameter).
    void setSaverVersion(int version) { saverVersion_ = version; }
    int saverVersion() const { return saverVersion_; }

    // Saves through saver number saver; IPSTAT_OK, or a failure code after
    // an error message that names the file and the cause.
    int save(LWPixmapID image, int saver, const char *fileName);

private:
    int saveNative(const st_LWPixmap &image, const Saver &saver, const std::string &file);
    int saveThroughModule(const st_LWPixmap &image, const Saver &saver, const std::string &file);
    void fail(const std::string &file, const std::string &saver, const std::string &cause);

    Host &host_;
    LWImageUtil table_{};
    std::vector<st_LWPixmap *> images_;
    std::vector<Saver> savers_;
    const Module *saversOf_ = nullptr;
    const void *saversTable_ = nullptr;
    bool saversMade_ = false;
    int saverVersion_ = 3;
};

} // namespace devhost

#endif
