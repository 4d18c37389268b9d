// The host render buffers of one rendered frame: for each buffer that was
// rendered, one contiguous plane of width x height floats, row by row.
#ifndef DEVHOST_RENDEREDFRAME_H
#define DEVHOST_RENDEREDFRAME_H

#include <array>
#include <vector>

#include <lwsdk/filter.h>

#include "devhost/FloatPlane.h"

namespace devhost {

class RenderedFrame {
public:
    RenderedFrame() = default;
    // An image of width x height pixels whose pixel (0, 0) is pixel
    // (originX, originY) of the whole frame (a limited region starts there).
    RenderedFrame(int width, int height, int originX, int originY, LWFrame frame);

    int width() const { return width_; }
    int height() const { return height_; }
    int originX() const { return originX_; }
    int originY() const { return originY_; }
    LWFrame frame() const { return frame_; }

    bool has(int buffer) const;
    // Adds a zero-filled plane (keeps an existing one).
    float *allocate(int buffer);
    void release(int buffer);
    // The plane of a buffer; null when it was not rendered.
    float *plane(int buffer);
    const float *plane(int buffer) const;
    // Row y of a buffer; null when the buffer was not rendered or y is
    // outside the image.
    float *line(int buffer, int y);
    const float *line(int buffer, int y) const;
    // The rendered buffers in increasing order.
    std::vector<int> buffers() const;

private:
    int width_ = 0, height_ = 0, originX_ = 0, originY_ = 0;
    LWFrame frame_ = 0;
    std::array<FloatPlane, LWBUF_COUNT> planes_;
};

} // namespace devhost

#endif
