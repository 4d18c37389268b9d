// The filter access the host hands to an image filter's process: the
// rendered frame's lines, the output image the filter writes, the frame's
// times and the progress monitor.
//
// The access's functions carry no data pointer, so they reach the one
// access that is current; only one exists at a time.
#ifndef DEVHOST_FILTERACCESS_H
#define DEVHOST_FILTERACCESS_H

#include <array>

#include <lwsdk/filter.h>

#include "devhost/FloatPlane.h"
#include "devhost/RenderedFrame.h"

namespace devhost {

class FilterAccess {
public:
    // The output starts as the frame's final colour and alpha (32-35), so a
    // pixel the filter does not write passes through. Throws HostError when
    // another access is current.
    FilterAccess(RenderedFrame &frame, LWTime start, LWTime end, LWMonitor *monitor);
    ~FilterAccess();
    FilterAccess(const FilterAccess &) = delete;
    FilterAccess &operator=(const FilterAccess &) = delete;

    const LWFilterAccess *table() const { return &access_; }

    // Output plane 0-2 (red, green, blue) or 3 (alpha), width x height.
    const FloatPlane &output(int channel) const { return output_[channel]; }
    // Writes the output into the frame's buffers 32-35, where the next
    // filter finds it.
    void commit();

    float *line(int type, int y);
    void setRGB(int x, int y, const float rgb[3]);
    void setAlpha(int x, int y, float alpha);

private:
    RenderedFrame &frame_;
    LWFilterAccess access_{};
    std::array<FloatPlane, 4> output_;
};

} // namespace devhost

#endif
