// The data window of a buffer: the box of its pixels that hold data,
// measured a row at a time on host lines read for another purpose (the
// preview's resampling, a file's rows), so no pass of its own is needed.
#ifndef RAVELCAST_EXPORT_DATAWINDOW_H
#define RAVELCAST_EXPORT_DATAWINDOW_H

#include <cmath>
#include <cstdint>
#include <vector>

#include <ImathBox.h>

namespace ravelcast {

// The empty data window: no pixel holds data.
Imath::Box2i emptyWindow();
inline bool isEmptyWindow(const Imath::Box2i &b) { return b.max.x < b.min.x || b.max.y < b.min.y; }

// When a value, as a buffer writes it, counts as no data: zero in the
// buffer's pixel type (a 32-bit integer truncated, a half rounded; a NaN
// float), or for depth far away, at or beyond 2e14 in the pixel type.
enum class Emptiness { Uint, Half, Float, FarUint, FarHalf, FarFloat };
bool isEmpty(Emptiness kind, float v);

class DataWindowMeter {
public:
    DataWindowMeter(Emptiness empty, int channels, int width, int height);

    // Row y (0 to height - 1) of every channel; a pixel holds data when any
    // channel holds data there, a null line holds none. A row measured once
    // is not measured again.
    void row(int y, const float *const *lines);
    bool measured(int y) const;
    const Imath::Box2i &box() const { return box_; }

private:
    Emptiness empty_;
    int channels_, width_;
    std::vector<bool> seen_;
    Imath::Box2i box_;
};

} // namespace ravelcast

#endif
