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

float withGamma(float v, double gamma)
{
    return gamma != 1.0 && gamma != 0.0 ? std::pow(v, static_cast<float>(1.0 / gamma)) : v;
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

void PixelInfoPanel::resize(int previewWidth, int previewHeight)
{
    if (previewWidth > 0 && previewHeight > 0) {
        previewWidth_ = previewWidth;
        previewHeight_ = previewHeight;
        xFactor_ = static_cast<float>(kPreviewWindowWidth) / previewWidth;
        yFactor_ = static_cast<float>(kPreviewWindowHeight) / previewHeight;
    }
    refresh();
}

void PixelInfoPanel::click(int x, int y)
{
    if (!frame_)
        return;
    const PreviewPoint margin = previewOrigin(frame_->previewImageWidth, frame_->previewImageHeight);
    const float bw = static_cast<float>(frame_->frameWidth);
    const float bh = static_cast<float>(frame_->frameHeight);
    const float fx = static_cast<float>(x - margin.x) /
                     static_cast<float>(previewWidth_ - 2 * margin.x) * bw;
    const float fy = static_cast<float>(y - margin.y) /
                     static_cast<float>(previewHeight_ - 2 * margin.y) * bh;
    if (!(fx >= 0 && fx <= bw && fy >= 0 && fy <= bh))
        return; // the margin around the image
    clickX_ = x - margin.x;
    clickY_ = y - margin.y;
    pixelX_ = static_cast<int>(std::ceil(fx));
    pixelY_ = static_cast<int>(std::ceil(fy));
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
    const int sx = static_cast<int>(static_cast<float>(clickX_) * xFactor_);
    const int sy = static_cast<int>(static_cast<float>(clickY_) * yFactor_);
    const bool processed = (mode_ & 1) != 0, normalized = (mode_ & 2) != 0;
    const int panelWidth = into ? into->getInt(PAN_W) : 0;

    if (into) {
        df->drawBox(id, LWP_PANEL_BG, 0, 0, panelWidth, into->getInt(PAN_H));
        const std::array<float, 3> c = previewPixel(b, sx, sy, processed, normalized, 1.0, alpha_);
        df->drawRGBBox(id, displayByte(withGamma(c[0], displayGamma_)),
                       displayByte(withGamma(c[1], displayGamma_)), displayByte(withGamma(c[2], displayGamma_)),
                       4, 2, swatch, swatch);
        df->drawBorder(id, 1, 4, 2, swatch, swatch);
    }
    int right = 0, bottom = 0;
    auto line = [&](const std::string &text, int colour, int y) {
        if (into)
            df->drawText(id, text.c_str(), colour, tx, y);
        right = std::max(right, tx + df->textWidth(id, text.c_str()));
        bottom = std::max(bottom, y + th);
    };

    std::string name = b.displayName();
    std::string how;
    if (b.savesLayer())
        how = "layer";
    if (b.savesImage())
        how += how.empty() ? "image" : " + image";
    if (!how.empty())
        name += " (" + how + ")";
    line(name, LWP_PANEL_HILIGHT, 2);
    line(pixelTypeText(b.pixelType()), LWP_PANEL_HILIGHT, th + 4);
    line("x: " + std::to_string(pixelX_) + " - y: " + std::to_string(pixelY_), LWP_PANEL_TEXT,
         2 * th + 6);
    int y = 3 * th + 8;
    const Imath::Box2i &dw = b.dataWindow();
    if (dw.max.x >= dw.min.x && dw.max.y >= dw.min.y) {
        line("[" + std::to_string(dw.min.x) + "," + std::to_string(dw.min.y) + "] [" +
                 std::to_string(dw.max.x) + "," + std::to_string(dw.max.y) + "]",
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
    const float alpha = alpha_ && alpha_->channelCount() > 0
                            ? alpha_->channel(0).previewSample(sx, sy)
                            : 1.0f;
    for (int i = 0; i < b.channelCount(); ++i) {
        const BufferChannel &c = b.channel(i);
        std::string output;
        if (b.savesLayer())
            output = layered[static_cast<std::size_t>(i)][0];
        else if (b.savesImage())
            output = b.lumaAsRGB() ? "RGB" : c.channelName();
        else
            output = c.channelName();
        line(c.longName() + " : " + output, LWP_PANEL_TEXT, y);
        const float raw = c.previewSample(sx, sy);
        float shown = raw;
        if (processed)
            shown = b.processValue(shown, alpha, c.flip());
        if (normalized)
            shown = (shown - c.previewMinimum()) / (c.previewMaximum() - c.previewMinimum());
        if (into) {
            const int v = displayByte(withGamma(shown, displayGamma_));
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
