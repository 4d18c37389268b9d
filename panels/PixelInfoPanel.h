// "Magnifex": a small non-modal panel showing, for the buffer the preview
// window shows and the pixel the user clicked there, the colour and the
// numbers behind it.
#ifndef RAVELCAST_PANELS_PIXELINFOPANEL_H
#define RAVELCAST_PANELS_PIXELINFOPANEL_H

#include <memory>
#include <mutex>
#include <string>

#include "export/LastFrame.h"
#include "export/OpenEXRBuffer.h"
#include "hostkit/Panel.h"

namespace ravelcast {

class PixelInfoPanel : public hostkit::LWPanelCallbacks {
public:
    PixelInfoPanel();
    ~PixelInfoPanel() override;

    void setBuffer(OpenEXRBuffer *buffer);
    // The frame the buffer's preview samples come from (null: none yet),
    // and the lock the render holds while it replaces them.
    void setFrameData(const FrameData *data, std::mutex *lock = nullptr);
    // The catalogue's alpha buffer, for processed values that un-multiply.
    void setAlpha(const OpenEXRBuffer *alpha) { alpha_ = alpha; }
    void setDisplayGamma(double gamma);
    void setDisplayMode(int mode);
    // A click at (x, y) of the preview window, drawn at its current size:
    // the pixel drawn there is shown; a click beside the image changes
    // nothing.
    void click(int x, int y);
    // The window is now drawn at width x height.
    void resize(int windowWidth, int windowHeight);
    void refresh();
    // Refreshes a panel that has been shown; makes none.
    void refreshIfCreated()
    {
        if (panel_)
            refresh();
    }

    void draw(hostkit::LWPanel &panel, int mode) override;

    bool created() const { return panel_ != nullptr; }
    hostkit::LWPanel *panel() { return panel_.get(); }
    // The preview image's pixel shown.
    int imageX() const { return imageX_; }
    int imageY() const { return imageY_; }

    // Right-aligned in 8 places with 4 significant digits and the decimal
    // point always shown: 0.5 -> "  0.5000".
    static std::string number(double v);

private:
    // Lays the lines out (measuring, or drawing into panel).
    void lines(hostkit::LWPanel *drawInto, int *width, int *height);

    hostkit::Ref<OpenEXRBuffer> buffer_;
    const FrameData *frame_ = nullptr;
    std::mutex *lock_ = nullptr;
    const OpenEXRBuffer *alpha_ = nullptr;
    double displayGamma_ = 1.0;
    std::unique_ptr<hostkit::LWPanel> panel_;
    int windowWidth_ = 640, windowHeight_ = 480;
    int imageX_ = 0, imageY_ = 0;
    int mode_ = 1;
};

} // namespace ravelcast

#endif
