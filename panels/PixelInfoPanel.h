// "Magnifex": a small non-modal panel showing, for the buffer the preview
// window shows and the pixel the user clicked there, the colour and the
// numbers behind it.
#ifndef RAVELCAST_PANELS_PIXELINFOPANEL_H
#define RAVELCAST_PANELS_PIXELINFOPANEL_H

#include <memory>
#include <string>

#include "hostkit/Panel.h"
#include "panels/InspectedFrame.h"

namespace ravelcast {

class PixelInfoPanel : public hostkit::LWPanelCallbacks {
public:
    PixelInfoPanel();
    ~PixelInfoPanel() override;

    // What is inspected (null: nothing); it outlives the panel.
    void setFrame(const InspectedFrame *frame);
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

    const InspectedFrame *frame_ = nullptr;
    double displayGamma_ = 1.0;
    std::unique_ptr<hostkit::LWPanel> panel_;
    int windowWidth_ = 640, windowHeight_ = 480;
    int imageX_ = 0, imageY_ = 0;
    int mode_ = 1;
};

} // namespace ravelcast

#endif
