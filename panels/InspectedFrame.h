// What the pixel inspector shows, as plain data, and the view it asks for
// it: the inspector knows no buffers and no frames, only this.
#ifndef RAVELCAST_PANELS_INSPECTEDFRAME_H
#define RAVELCAST_PANELS_INSPECTEDFRAME_H

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace ravelcast {

struct InspectedChannel {
    std::string longName;
    std::string channelName; // "R", "G" and "B" tint the swatch
    std::string output;      // the name it is written as, or "not written"
    float raw = 0.0f;        // the preview sample
    float shown = 0.0f;      // as the window's mode shows it
};

struct InspectedPixel {
    std::string buffer;  // the buffer's display name
    std::string written; // "layer", "image", "layer + image" or "not written"
    int pixelType = 2;   // 0 integer, 1 half, 2 float
    int frameX = 0, frameY = 0;
    // The buffer's data window in frame pixels, when it has one.
    std::optional<std::array<int, 4>> window; // x0, y0, x1, y1
    std::optional<float> minimum, maximum;    // of the values read
    std::array<int, 3> colour{};              // the bytes the window shows
    std::vector<InspectedChannel> channels;
};

class InspectedFrame {
public:
    virtual ~InspectedFrame() = default;
    // The preview image's pixel drawn at (x, y) of the window, drawn at
    // windowWidth x windowHeight; false beside the image.
    virtual bool imagePixel(int x, int y, int windowWidth, int windowHeight, int &imageX,
                            int &imageY) const = 0;
    // What the image's pixel (x, y) shows in display mode (bit 0 processed,
    // bit 1 normalized) with the display gamma; false with nothing shown.
    virtual bool inspect(int x, int y, int mode, double displayGamma,
                         InspectedPixel &pixel) const = 0;
};

} // namespace ravelcast

#endif
