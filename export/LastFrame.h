// What the last frame leaves behind for the preview window, the pixel
// inspector and the review, kept by the filter apart from its settings.
#ifndef RAVELCAST_EXPORT_LASTFRAME_H
#define RAVELCAST_EXPORT_LASTFRAME_H

#include <mutex>
#include <string>
#include <vector>

namespace ravelcast {

// Sizes and where the preview image sits.
struct FrameData {
    int frameWidth = 640, frameHeight = 480;
    // The lines the host delivered (a limited region's) and where they sit
    // in the frame.
    int hostWidth = 640, hostHeight = 480;
    int x0 = 0, y0 = 0;
    double time = 0.0; // the frame's: the preview's parameters are evaluated then
    // Where the lines of the last frame sat, whose data windows the buffers
    // hold (in the lines' coordinates).
    int windowX0 = 0, windowY0 = 0;
    // Whether the buffers hold preview samples of a frame.
    bool previewed = false;
    int previewImageWidth = 640, previewImageHeight = 480;
    float previewAspect = 1.0f;
    int previewWidth = 0, previewHeight = 0; // the embedded preview's
    std::vector<std::string> collisions;      // as the plan resolved them
    std::vector<std::string> refusedMetadata; // the user's rows not written
};

// The frame's data and its lock. The render holds the lock while it
// replaces the data and the buffers' preview samples and extremes, the
// window and the inspector while they read them: the host calls those on
// its interface thread.
class LastFrame {
public:
    FrameData &data() { return data_; }
    const FrameData &data() const { return data_; }
    std::mutex &mutex() const { return mutex_; }

private:
    FrameData data_;
    mutable std::mutex mutex_;
};

} // namespace ravelcast

#endif
