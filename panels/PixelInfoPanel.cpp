#include "panels/PixelInfoPanel.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "export/PreviewWindow.h"
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

void PixelInfoPanel::setBuffer(OpenEXRBuffer *buffer)
{
    buffer_ = hostkit::Ref<OpenEXRBuffer>(buffer);
    refresh();
}

void PixelInfoPanel::setFrameData(const FrameData *data, std::mutex *lock)
{
    frame_ = data;
    lock_ = lock;
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
    if (!frame_)
        return;
    {
        std::unique_lock<std::mutex> hold;
        if (lock_)
            hold = std::unique_lock<std::mutex>(*lock_);
        // The window's own mapping: the pixel drawn under the click.
        const int w = frame_->previewImageWidth, h = frame_->previewImageHeight;
        const PreviewPoint p = windowToImage(x, y, windowWidth_, windowHeight_, w, h);
        if (!insideImage(p, w, h))
            return; // the margin around the image
        imageX_ = p.x;
        imageY_ = p.y;
    }
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
    if (!buffer_ || !frame_ || !df)
        return;
    std::unique_lock<std::mutex> hold;
    if (lock_)
        hold = std::unique_lock<std::mutex>(*lock_);
    const LWDisplayMetrics *dm = df->dispMetrics ? df->dispMetrics() : nullptr;
    const int th = dm ? dm->textHeight : 14, ta = dm ? dm->textAscent : 11;
    const int swatch = 2 * th - ta + 2;
    const int tx = swatch + 8;
    LWPanelID id = measure->id();
    const OpenEXRBuffer &b = *buffer_;
    const FrameData &frame = *frame_;
    const int sx = imageX_, sy = imageY_;
    const bool processed = (mode_ & 1) != 0, normalized = (mode_ & 2) != 0;
    const int panelWidth = into ? into->getInt(PAN_W) : 0;
    // As the window shows the samples: the settings as they are now.
    const PreviewLook look = previewLook(b, b.processingAt(frame.time));
    const std::array<float, 3> shownColour =
        previewPixel(b, look, sx, sy, processed, normalized, displayGamma_, alpha_);

    if (into) {
        df->drawBox(id, LWP_PANEL_BG, 0, 0, panelWidth, into->getInt(PAN_H));
        df->drawRGBBox(id, displayByte(shownColour[0]), displayByte(shownColour[1]),
                       displayByte(shownColour[2]), 4, 2, swatch, swatch);
        df->drawBorder(id, 1, 4, 2, swatch, swatch);
    }
    int right = 0, bottom = 0;
    auto line = [&](const std::string &text, int colour, int y) {
        if (into)
            df->drawText(id, text.c_str(), colour, tx, y);
        right = std::max(right, tx + df->textWidth(id, text.c_str()));
        bottom = std::max(bottom, y + th);
    };

    const bool written = b.active() && (b.savesLayer() || b.savesImage());
    std::string how;
    if (written && b.savesLayer())
        how = "layer";
    if (written && b.savesImage())
        how += how.empty() ? "image" : " + image";
    line(b.displayName() + " (" + (written ? how : std::string("not written")) + ")",
         LWP_PANEL_HILIGHT, 2);
    line(pixelTypeText(b.pixelType()), LWP_PANEL_HILIGHT, th + 4);
    // Frame pixels: a limited region's lines start at its corner.
    const int px = frame.x0 + previewToHost(sx, frame.previewImageWidth, frame.hostWidth);
    const int py = frame.y0 + previewToHost(sy, frame.previewImageHeight, frame.hostHeight);
    line("x: " + std::to_string(px) + " - y: " + std::to_string(py), LWP_PANEL_TEXT, 2 * th + 6);
    int y = 3 * th + 8;
    const Imath::Box2i &dw = b.dataWindow();
    if (!isEmptyWindow(dw)) {
        const int wx = frame.windowX0, wy = frame.windowY0;
        line("[" + std::to_string(wx + dw.min.x) + "," + std::to_string(wy + dw.min.y) + "] [" +
                 std::to_string(wx + dw.max.x) + "," + std::to_string(wy + dw.max.y) + "]",
             LWP_PANEL_TEXT, y);
        y += th + 2;
    }
    if (b.rawMinimum() != kNoMinimum) {
        line("Min: " + number(b.rawMinimum()), LWP_PANEL_TEXT, y);
        y += th + 2;
    }
    if (b.rawMaximum() != kNoMaximum) {
        line("Max: " + number(b.rawMaximum()), LWP_PANEL_TEXT, y);
        y += th + 2;
    }
    if (into)
        df->drawBorder(id, 0, 0, y, panelWidth, 2);
    y += 4;

    const auto layered = b.fileChannelNames(false);
    const float alpha = previewAlpha(alpha_, sx, sy);
    // The numbers are normalised by the range the window divides by.
    const float lo = processed ? look.processedMinimum : look.rawMinimum;
    const float hi = processed ? look.processedMaximum : look.rawMaximum;
    for (int i = 0; i < b.channelCount(); ++i) {
        const BufferChannel &c = b.channel(i);
        std::string output;
        if (!written)
            output = "not written";
        else if (b.savesLayer())
            output = layered[static_cast<std::size_t>(i)][0];
        else
            output = b.lumaAsRGB() ? "RGB" : c.channelName();
        line(c.longName() + " : " + output, LWP_PANEL_TEXT, y);
        const float raw = c.previewSample(sx, sy);
        float shown = raw;
        if (processed)
            shown = look.processing.apply(shown, alpha, c.flip());
        if (normalized)
            shown = (shown - lo) / (hi - lo);
        if (into) {
            // The colour the window shows for this channel there.
            const int v = displayByte(shownColour[static_cast<std::size_t>(std::min(i, 2))]);
            const std::string &n = c.channelName();
            df->drawRGBBox(id, n == "G" || n == "B" ? 0 : v, n == "R" || n == "B" ? 0 : v,
                           n == "R" || n == "G" ? 0 : v, 4, y, swatch, swatch);
            df->drawBorder(id, 1, 4, y, swatch, swatch);
        }
        line(number(shown) + " [" + number(raw) + "]", LWP_PANEL_TEXT, y + th + 2);
        y += 2 * th + 4;
    }
    *width = right + 4;
    *height = bottom + 2;
}

} // namespace ravelcast
