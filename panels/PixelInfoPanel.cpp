#include "panels/PixelInfoPanel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "hostkit/HostInfo.h"

namespace ravelcast {

namespace {

const char *pixelTypeText(int type)
{
    switch (type) {
    case 0: return "32bit Integer";
    case 1: return "16bit Float";
    default: return "32bit Float";
    }
}

} // namespace

PixelInfoPanel::PixelInfoPanel() = default;

PixelInfoPanel::~PixelInfoPanel() = default;

std::string PixelInfoPanel::number(double v)
{
    char buf[48];
    std::snprintf(buf, sizeof buf, "%#8.4g", v);
    return buf;
}

void PixelInfoPanel::setFrame(const InspectedFrame *frame)
{
    frame_ = frame;
    refresh();
}

void PixelInfoPanel::setDisplayGamma(double gamma)
{
    displayGamma_ = gamma;
    refresh();
}

void PixelInfoPanel::setDisplayMode(int mode)
{
    mode_ = mode & 3;
    refresh();
}

void PixelInfoPanel::resize(int windowWidth, int windowHeight)
{
    if (windowWidth > 0 && windowHeight > 0) {
        windowWidth_ = windowWidth;
        windowHeight_ = windowHeight;
    }
    refresh();
}

void PixelInfoPanel::click(int x, int y)
{
    // The window's own mapping: the pixel drawn under the click; nothing
    // in the margin around the image.
    int ix = 0, iy = 0;
    if (!frame_ || !frame_->imagePixel(x, y, windowWidth_, windowHeight_, ix, iy))
        return;
    imageX_ = ix;
    imageY_ = iy;
    refresh();
    if (panel_)
        panel_->open(PANF_NOBUTT);
}

void PixelInfoPanel::refresh()
{
    // A render node has no one to look at panels.
    if (hostkit::inScreamerNet())
        return;
    if (!panel_) {
        panel_ = std::make_unique<hostkit::LWPanel>("Magnifex");
        if (!panel_->id()) {
            panel_.reset();
            return;
        }
        panel_->setCallbacks(this);
    }
    int width = 0, height = 0;
    lines(nullptr, &width, &height);
    if (width > 0 && height > 0) {
        panel_->setInt(PAN_W, width);
        panel_->setInt(PAN_H, height);
    }
    panel_->redraw(DR_FULL);
}

void PixelInfoPanel::draw(hostkit::LWPanel &panel, int)
{
    int width = 0, height = 0;
    lines(&panel, &width, &height);
}

void PixelInfoPanel::lines(hostkit::LWPanel *into, int *width, int *height)
{
    *width = *height = 0;
    hostkit::LWPanel *measure = into ? into : panel_.get();
    const LWDrawFuncs *df = measure ? measure->drawing() : nullptr;
    InspectedPixel pixel;
    if (!frame_ || !df || !frame_->inspect(imageX_, imageY_, mode_, displayGamma_, pixel))
        return;
    const LWDisplayMetrics *dm = df->dispMetrics ? df->dispMetrics() : nullptr;
    const int th = dm ? dm->textHeight : 14, ta = dm ? dm->textAscent : 11;
    const int swatch = 2 * th - ta + 2;
    const int tx = swatch + 8;
    LWPanelID id = measure->id();
    const int panelWidth = into ? into->getInt(PAN_W) : 0;
    const std::array<int, 3> &colour = pixel.colour;

    if (into) {
        df->drawBox(id, LWP_PANEL_BG, 0, 0, panelWidth, into->getInt(PAN_H));
        df->drawRGBBox(id, colour[0], colour[1], colour[2], 4, 2, swatch, swatch);
        df->drawBorder(id, 1, 4, 2, swatch, swatch);
    }
    int right = 0, bottom = 0;
    auto line = [&](const std::string &text, int colourIndex, int y) {
        if (into)
            df->drawText(id, text.c_str(), colourIndex, tx, y);
        right = std::max(right, tx + df->textWidth(id, text.c_str()));
        bottom = std::max(bottom, y + th);
    };

    line(pixel.buffer + " (" + pixel.written + ")", LWP_PANEL_HILIGHT, 2);
    line(pixelTypeText(pixel.pixelType), LWP_PANEL_HILIGHT, th + 4);
    line("x: " + std::to_string(pixel.frameX) + " - y: " + std::to_string(pixel.frameY),
         LWP_PANEL_TEXT, 2 * th + 6);
    int y = 3 * th + 8;
    if (const auto &w = pixel.window) {
        line("[" + std::to_string((*w)[0]) + "," + std::to_string((*w)[1]) + "] [" +
                 std::to_string((*w)[2]) + "," + std::to_string((*w)[3]) + "]",
             LWP_PANEL_TEXT, y);
        y += th + 2;
    }
    if (pixel.minimum) {
        line("Min: " + number(*pixel.minimum), LWP_PANEL_TEXT, y);
        y += th + 2;
    }
    if (pixel.maximum) {
        line("Max: " + number(*pixel.maximum), LWP_PANEL_TEXT, y);
        y += th + 2;
    }
    if (into)
        df->drawBorder(id, 0, 0, y, panelWidth, 2);
    y += 4;

    for (std::size_t i = 0; i < pixel.channels.size(); ++i) {
        const InspectedChannel &c = pixel.channels[i];
        line(c.longName + " : " + c.output, LWP_PANEL_TEXT, y);
        if (into) {
            // The colour the window shows for this channel there.
            const int v = colour[std::min<std::size_t>(i, 2)];
            const std::string &n = c.channelName;
            df->drawRGBBox(id, n == "G" || n == "B" ? 0 : v, n == "R" || n == "B" ? 0 : v,
                           n == "R" || n == "G" ? 0 : v, 4, y, swatch, swatch);
            df->drawBorder(id, 1, 4, y, swatch, swatch);
        }
        line(number(c.shown) + " [" + number(c.raw) + "]", LWP_PANEL_TEXT, y + th + 2);
        y += 2 * th + 4;
    }
    *width = right + 4;
    *height = bottom + 2;
}

} // namespace ravelcast
