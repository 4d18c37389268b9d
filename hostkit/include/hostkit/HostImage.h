// An image made by the host ("Image Utility") and saved through one of
// its image savers; destroyed when it goes.
#ifndef HOSTKIT_HOSTIMAGE_H
#define HOSTKIT_HOSTIMAGE_H

#include <string>

#include "hostkit/Services.h"

namespace hostkit {

class HostImage {
public:
    enum Type { Grey, Rgb, Rgba };

    // Throws std::runtime_error naming fileName when the host cannot make it.
    HostImage(int width, int height, Type type, const std::string &fileName);
    ~HostImage();
    HostImage(const HostImage &) = delete;
    HostImage &operator=(const HostImage &) = delete;

    // Four floats: red, green, blue, alpha (what the type lacks is ignored).
    void setPixel(int x, int y, const float rgba[4]) const;
    // Saves through the saver at index of the host's list; throws with the
    // file and the host's result code on failure.
    void save(int saver) const;

private:
    ImageUtil images_;
    LWPixmapID image_ = nullptr;
    std::string fileName_;
};

} // namespace hostkit

#endif
