// The host's progress monitor of one frame, done when the frame is.
#ifndef RAVELCAST_EXPORT_FRAMEPROGRESS_H
#define RAVELCAST_EXPORT_FRAMEPROGRESS_H

#include <lwsdk/filter.h>

namespace ravelcast {

class FrameProgress {
public:
    explicit FrameProgress(const LWFilterAccess *access) : monitor_(access->monitor) {}
    ~FrameProgress()
    {
        if (monitor_ && monitor_->done)
            monitor_->done(monitor_->data);
    }
    FrameProgress(const FrameProgress &) = delete;
    FrameProgress &operator=(const FrameProgress &) = delete;

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

} // namespace ravelcast

#endif
