// One exportable render buffer: its channels, its settings (envelope-able
// processing parameters among them), what the current frame made of it and
// what the panel shows of it.
#ifndef RAVELCAST_EXPORT_OPENEXRBUFFER_H
#define RAVELCAST_EXPORT_OPENEXRBUFFER_H

#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <ImathBox.h>
#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfPixelType.h>

#include "hostkit/FrameAccess.h"
#include "export/Processing.h"
#include "hostkit/HostImage.h"

#include "export/BufferChannel.h"
#include "export/BufferSettings.h"
#include "export/DataWindow.h"
#include "hostkit/ChannelGroup.h"
#include "hostkit/Storeable.h"
#include "hostkit/VParm.h"
#include "hostkit/utility/RefCounted.h"

namespace ravelcast {

// What the current frame made of a buffer: its parameters evaluated at the
// frame's time, the extremes of its values and its data window.
struct BufferFrameState {
    double minValue = 0.0, maxValue = 1.0, offsetValue = 0.0, scaleValue = 1.0;
    float inverseGamma = 1.0f;
    float rawMaximum = kNoMaximum;
    float rawMinimum = kNoMinimum;
    float processedMaximum = 1.0f;
    float processedMinimum = 0.0f;
    Imath::Box2i dataWindow = emptyWindow();
};

// A buffer's settings and processing. Only what the depth buffer does its
// own way is virtual.
class OpenEXRBuffer : public hostkit::RefCounted, public hostkit::Storeable {
public:
    struct Definition {
        const char *displayName;
        const char *layerName;
        const char *description;
        const ChannelSpec *channels; // ended by a null long name
        int pixelType;
        int alphaBuffer;
        bool active;
    };

    // Creates the buffer's envelope group inside parentGroup.
    OpenEXRBuffer(const Definition &definition, LWChanGroupID parentGroup);

    int channelCount() const;
    std::string channelLongName(int i) const;
    ~OpenEXRBuffer() override;
    // Whether v, as written in the buffer's pixel type, counts as no data.
    bool isEmptyValue(float v) const;
    // Converts one host line of channel i into the pixel type, processed,
    // at out (4 bytes per sample for UINT and FLOAT, 2 for HALF); alpha may
    // be null.
    void convertLine(const float *values, int channel, int width, const float *alpha,
                     void *out) const;
    float processValue(float value, float alpha, bool negate) const;
    // The arithmetic of the current frame's parameters and the switches.
    Processing processing() const;
    // The same with the parameters as they are set now, at time t: what
    // the preview shows after an edit, before the next frame.
    Processing processingAt(double time) const;
    virtual float emptyValue() const;
    bool active() const;
    void setActive(bool active);
    bool savesImage() const;
    bool savesLayer() const;
    bool imageHasAlpha() const;
    bool isNativeImage() const;
    void clearActive();
    const std::string &displayName() const;
    int numChannels() const;
    std::string layerOrDisplayName() const;
    std::string imageComment() const;
    std::string imageExtension() const;
    const std::string &listLabel();
    int bytesPerSample() const;
    void setDescription(const std::string &text);
    const std::string &description() const;
    // Adds the buffer's channels: prefixed by its layer name (the layered
    // file) or unprefixed (its separate image).
    void insertChannels(Imf::ChannelList &list, bool unprefixed) const;
    // Parameters at the host's current time; once per frame.
    void evaluateParameters();
    // The processed extremes from the raw ones.
    void processExtremes();
    virtual void fixSingleChannelName();
    // The preview samples of every channel and the extremes of the values
    // read, and the data window measured on the same rows: one pass over
    // the host's lines. Depth's empty pixels (far away) widen no extreme.
    void computePreviewData(const hostkit::FrameAccess &access, int width, int height);
    Resampled resampledChannel(int i, const hostkit::FrameAccess &access, int width,
                                       int height) const;

    hostkit::ErrorText load(hostkit::LoadState &state) override;
    hostkit::ErrorText save(hostkit::SaveState &state) override;
    const BufferSettings &settings() const { return settings_; }
    BufferSettings &settings() { return settings_; }
    const BufferFrameState &frameState() const { return frame_; }

    // The channel names this buffer has in a file, per channel (a single
    // luminance channel saved as RGB has three in its separate image).
    std::vector<std::vector<std::string>> fileChannelNames(bool unprefixed) const;
    // Bounding box of the non-empty pixels of the frame, access coordinates.
    void computeDataWindow(const hostkit::FrameAccess &access);
    const Imath::Box2i &dataWindow() const { return frame_.dataWindow; }
    void setDataWindow(const Imath::Box2i &box) { frame_.dataWindow = box; }
    // Measures the data window on rows of width x height read elsewhere.
    DataWindowMeter dataWindowMeter(int width, int height) const;
    // What the panel offers: un-multiplying for colour buffers (three
    // channels), gamma for all but depth.
    bool offersUnmultiply() const { return channelCount() == 3; }
    bool offersGamma() const { return !isDepth(); }
    // The depth buffer maps a range onto 0..1.
    virtual bool isDepth() const { return false; }
    // The host image type of the separate image through a host saver.
    hostkit::HostImage::Type hostImageType() const;
    void copySettings(const OpenEXRBuffer &other);

    BufferChannel &channel(int i) { return *channels_[i]; }
    const BufferChannel &channel(int i) const { return *channels_[i]; }
    LWChanGroupID group() const { return group_.id(); }
    const std::string &groupName() const { return group_.name(); }

    hostkit::VParm &minimum() { return *settings_.minimum; }
    hostkit::VParm &maximum() { return *settings_.maximum; }
    hostkit::VParm &offset() { return *settings_.offset; }
    hostkit::VParm &scale() { return *settings_.scale; }
    hostkit::VParm &gamma() { return *settings_.gamma; }

    const std::string &layerName() const { return settings_.layerName; }
    void setLayerName(const std::string &name) { settings_.layerName = name; }
    int pixelType() const { return settings_.pixelType; }
    void setPixelType(int type);
    int saveAs() const { return settings_.saveAs; }
    void setSaveAs(int saveAs) { settings_.saveAs = saveAs & 7; }
    int imageFormat() const { return settings_.imageFormat; }
    void setImageFormat(int format) { settings_.imageFormat = format < 0 ? 0 : format; }
    int alphaBuffer() const { return alphaBuffer_; }
    bool invert() const { return settings_.invert; }
    void setInvert(bool v) { settings_.invert = v; }
    bool unmultiply() const { return settings_.unmultiply; }
    void setUnmultiply(bool v) { settings_.unmultiply = v; }
    bool lumaAsRGB() const { return settings_.lumaAsRGB; }
    void setLumaAsRGB(bool v) { settings_.lumaAsRGB = v; }
    bool fitDataWindow() const { return settings_.fitDataWindow; }
    void setFitDataWindow(bool v) { settings_.fitDataWindow = v; }
    // kAsTheFile or an Imf::Compression.
    int compression() const { return settings_.compression; }
    void setCompression(int c) { settings_.compression = c; }
    // Its values are measures (depth, motion, normals, ids, tangent
    // space), not colours: a lossy compression changes what they say.
    bool holdsMeasures() const;
    int currentChannel() const { return panel_.currentChannel; }
    void setCurrentChannel(int i) { panel_.currentChannel = i; }
    float inverseGamma() const { return frame_.inverseGamma; }
    float rawMinimum() const { return frame_.rawMinimum; }
    float rawMaximum() const { return frame_.rawMaximum; }
    float processedMinimum() const { return frame_.processedMinimum; }
    float processedMaximum() const { return frame_.processedMaximum; }

protected:
    // What isEmptyValue tests, chosen once per frame rather than per pixel.
    virtual Emptiness emptiness() const;

private:
    std::vector<hostkit::Ref<BufferChannel>> channels_;
    hostkit::ChannelGroup group_;
    BufferSettings settings_;
    BufferFrameState frame_;
    // What the panel shows of the buffer: the channel it edits, and the
    // popup's label (kept for the host between calls).
    struct PanelState {
        int currentChannel = 0;
        std::string listLabel;
    } panel_;
    std::string displayName_;
    int alphaBuffer_;
};

// The depth buffer: remaps a depth range onto 0..1, is empty at 2e14 and
// beyond, and has no un-multiplication, gamma or single-channel fix-up.
class DepthBuffer : public OpenEXRBuffer {
public:
    using OpenEXRBuffer::OpenEXRBuffer;
    Emptiness emptiness() const override;
    float emptyValue() const override;
    bool isDepth() const override { return true; }
    void fixSingleChannelName() override;
};

// The host's far depth: pixels at or beyond it hold no depth.
constexpr float kDepthEmpty = 2e14f;

// OpenEXR's conversions of a processed value into a pixel type.
std::uint32_t toUint(float v);
std::uint16_t toHalfBits(float v);

} // namespace ravelcast

#endif
