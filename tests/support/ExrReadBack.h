// Files checked the independent way: read back with the OpenEXR library
// itself, never with the module's own reader.
#ifndef RAVELCAST_TESTS_SUPPORT_EXRREADBACK_H
#define RAVELCAST_TESTS_SUPPORT_EXRREADBACK_H

#include <cstdint>
#include <string>
#include <vector>

#include <ImathBox.h>
#include <ImfHeader.h>
#include <ImfPixelType.h>

namespace testsupport {

// One channel over the file's data window: every type as floats (the
// library converts), UINT channels also as their exact integers.
struct ExrChannel {
    Imath::Box2i window;
    Imf::PixelType type = Imf::HALF;
    bool present = false;
    std::vector<float> values;
    std::vector<std::uint32_t> uints; // UINT channels only

    int width() const { return window.max.x - window.min.x + 1; }
    int height() const { return window.max.y - window.min.y + 1; }
    std::size_t index(int x, int y) const
    {
        return static_cast<std::size_t>(y - window.min.y) * static_cast<std::size_t>(width()) +
               static_cast<std::size_t>(x - window.min.x);
    }
    // At pixel (x, y) of the file's coordinates.
    float at(int x, int y) const { return values[index(x, y)]; }
    std::uint32_t uintAt(int x, int y) const { return uints[index(x, y)]; }
};

Imf::Header readExrHeader(const std::string &path);
std::vector<std::string> exrChannelNames(const Imf::Header &header);
// A channel of one part; one the part lacks reads as `fill` everywhere,
// present = false. Deep scan-line parts are flattened by the library.
ExrChannel readExrChannel(const std::string &path, const std::string &name, float fill = 0.0f,
                          int part = 0);

} // namespace testsupport

#endif
