// One exportable render buffer: its channels, settings, envelope-able
// processing parameters and, while a frame is written, one converted line
// per channel.
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
#include "export/DataWindow.h"
#include "hostkit/ChannelGroup.h"
#include "hostkit/Storeable.h"
#include "hostkit/VParm.h"
#include "hostkit/utility/RefCounted.h"

namespace ravelcast {

// SaveAs bits.
enum SaveAsBits { kSaveLayer = 1, kSaveImage = 2, kSaveImageAlpha = 4 };

// The "Save as" popup: index to SaveAs, and SaveAs (0..7) to index.
int saveAsFromPopup(int index);
int popupFromSaveAs(int saveAs);

// The buffers' group and the plug-in name of their envelope-able values.
constexpr const char *kPluginName = "Ravelcast";

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
    // The buffer-level settings, each named once.
    static const hostkit::FieldTable<OpenEXRBuffer> &fields();

    // The channel names this buffer has in a file, per channel (a single
    // luminance channel saved as RGB has three in its separate image).
    std::vector<std::vector<std::string>> fileChannelNames(bool unprefixed) const;
    // Bounding box of the non-empty pixels of the frame, access coordinates.
    void computeDataWindow(const hostkit::FrameAccess &access);
    const Imath::Box2i &dataWindow() const { return dataWindow_; }
    void setDataWindow(const Imath::Box2i &box) { dataWindow_ = box; }
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

    hostkit::VParm &minimum() { return *minimum_; }
    hostkit::VParm &maximum() { return *maximum_; }
    hostkit::VParm &offset() { return *offset_; }
    hostkit::VParm &scale() { return *scale_; }
    hostkit::VParm &gamma() { return *gamma_; }

    const std::string &layerName() const { return layerName_; }
    void setLayerName(const std::string &name) { layerName_ = name; }
    int pixelType() const { return pixelType_; }
    void setPixelType(int type);
    int saveAs() const { return saveAs_; }
    void setSaveAs(int saveAs) { saveAs_ = saveAs & 7; }
    int imageFormat() const { return imageFormat_; }
    void setImageFormat(int format) { imageFormat_ = format < 0 ? 0 : format; }
    int alphaBuffer() const { return alphaBuffer_; }
    bool invert() const { return invert_; }
    void setInvert(bool v) { invert_ = v; }
    bool unmultiply() const { return unmultiply_; }
    void setUnmultiply(bool v) { unmultiply_ = v; }
    bool lumaAsRGB() const { return lumaAsRGB_; }
    void setLumaAsRGB(bool v) { lumaAsRGB_ = v; }
    bool fitDataWindow() const { return fitDataWindow_; }
    void setFitDataWindow(bool v) { fitDataWindow_ = v; }
    int currentChannel() const { return currentChannel_; }
    void setCurrentChannel(int i) { currentChannel_ = i; }
    float inverseGamma() const { return inverseGamma_; }
    float rawMinimum() const { return rawMinimum_; }
    float rawMaximum() const { return rawMaximum_; }
    float processedMinimum() const { return processedMinimum_; }
    float processedMaximum() const { return processedMaximum_; }

protected:
    // What isEmptyValue tests, chosen once per frame rather than per pixel.
    virtual Emptiness emptiness() const;

    // The parameters as evaluated for the current frame.
    double minValue_ = 0.0, maxValue_ = 1.0, offsetValue_ = 0.0, scaleValue_ = 1.0;

private:
    std::vector<hostkit::Ref<BufferChannel>> channels_;
    hostkit::ChannelGroup group_;
    std::unique_ptr<hostkit::VParm> minimum_, maximum_, offset_, scale_, gamma_;
    std::string listLabel_;
    std::string layerName_;
    std::string description_;
    Imath::Box2i dataWindow_ = emptyWindow();
    std::string displayName_;
    float inverseGamma_ = 1.0f;
    float rawMaximum_ = kNoMaximum;
    float rawMinimum_ = kNoMinimum;
    float processedMaximum_ = 1.0f;
    float processedMinimum_ = 0.0f;
    int currentChannel_ = 0;
    int pixelType_;
    int saveAs_ = kSaveLayer;
    int imageFormat_ = 0;
    int alphaBuffer_;
    bool active_;
    bool invert_ = false;
    bool unmultiply_ = false;
    bool lumaAsRGB_ = false;
    bool fitDataWindow_ = false;
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
