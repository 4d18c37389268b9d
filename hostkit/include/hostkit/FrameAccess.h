// The frame a host hands an image filter: its size, its buffers' lines,
// where the filter writes the output, and the progress monitor.
#ifndef HOSTKIT_FRAMEACCESS_H
#define HOSTKIT_FRAMEACCESS_H

#include <lwsdk/filter.h>

namespace hostkit {

// The host's render buffers by number.
namespace buffer {
constexpr int Special = LWBUF_SPECIAL;
constexpr int Depth = LWBUF_DEPTH;
constexpr int Red = LWBUF_RED;
constexpr int Green = LWBUF_GREEN;
constexpr int Blue = LWBUF_BLUE;
constexpr int Alpha = LWBUF_ALPHA;
constexpr int SurfaceId = LWBUF_SURFACEID;
constexpr int ObjectId = LWBUF_OBJECTID;
constexpr int Count = LWBUF_COUNT;
} // namespace buffer

class FrameAccess {
public:
    explicit FrameAccess(const LWFilterAccess *access) : access_(access) {}

    int width() const { return access_->width; }
    int height() const { return access_->height; }
    int frame() const { return access_->frame; }
    // The time the frame starts at.
    double start() const { return access_->start; }
    // Row y of a host buffer; null when the host has no such line.
    const float *line(int buffer, int y) const
    {
        return access_->getLine ? access_->getLine(buffer, y) : nullptr;
    }
    void setRGB(int x, int y, const float rgb[3]) const
    {
        if (access_->setRGB)
            access_->setRGB(x, y, rgb);
    }
    void setAlpha(int x, int y, float alpha) const
    {
        if (access_->setAlpha)
            access_->setAlpha(x, y, alpha);
    }

    // The host's progress monitor of the frame, finished when it goes.
    class Progress {
    public:
        explicit Progress(const FrameAccess &frame) : monitor_(frame.access_->monitor) {}
        ~Progress()
        {
            if (monitor_ && monitor_->done)
                monitor_->done(monitor_->data);
        }
        Progress(const Progress &) = delete;
        Progress &operator=(const Progress &) = delete;
        void init(unsigned int total)
        {
            if (monitor_ && monitor_->init)
                monitor_->init(monitor_->data, total);
        }
        void step(unsigned int n)
        {
            if (monitor_ && monitor_->step && n > 0)
                monitor_->step(monitor_->data, n);
        }

    private:
        LWMonitor *monitor_;
    };

private:
    const LWFilterAccess *access_;
};

} // namespace hostkit

#endif
