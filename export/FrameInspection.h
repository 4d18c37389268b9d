// The pixel inspector's view of the filter: the buffer the preview window
// shows, as the last frame left it and the settings process it now.
#ifndef RAVELCAST_EXPORT_FRAMEINSPECTION_H
#define RAVELCAST_EXPORT_FRAMEINSPECTION_H

#include "panels/InspectedFrame.h"

namespace ravelcast {

class OpenEXRFilter;

class FrameInspection : public InspectedFrame {
public:
    explicit FrameInspection(const OpenEXRFilter &filter) : filter_(filter) {}

    // Both hold the last frame's lock while they read it.
    bool imagePixel(int x, int y, int windowWidth, int windowHeight, int &imageX,
                    int &imageY) const override;
    bool inspect(int x, int y, int mode, double displayGamma,
                 InspectedPixel &pixel) const override;

private:
    const OpenEXRFilter &filter_;
};

} // namespace ravelcast

#endif
