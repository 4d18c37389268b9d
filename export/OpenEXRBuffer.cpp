#include "export/OpenEXRBuffer.h"
#include "export/FilterControls.h"
#include "export/HalfConversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>

#include <ImfConvert.h>
#include <half.h>

#include "hostkit/Services.h"
#include "hostkit/utility/Text.h"

namespace ravelcast {

namespace {

using hostkit::blockId;

const LWBlockIdent kChannelEntry[] = {
    {blockId("CNAM"), "Name"}, {blockId("CSER"), "Settings"}, {0, nullptr}};

using hostkit::trimmed;

constexpr int kSaveAsByPopup[] = {1, 2, 3, 6, 7};
constexpr int kPopupBySaveAs[] = {0, 0, 1, 2, 0, 0, 3, 4};

} // namespace

int saveAsFromPopup(int index)
{
    return index >= 0 && index < 5 ? kSaveAsByPopup[index] : kSaveLayer;
}

int popupFromSaveAs(int saveAs) { return kPopupBySaveAs[saveAs & 7]; }

std::uint32_t toUint(float v)
{
    // Values from 2^32 on (the float nearest UINT_MAX is 2^32) saturate too.
    if (v >= 4294967296.0f)
        return 4294967295u;
    return Imf::floatToUint(v);
}

std::uint16_t toHalfBits(float v) { return Imf::floatToHalf(v).bits(); }

OpenEXRBuffer::OpenEXRBuffer(const Definition &d, LWChanGroupID parentGroup)
    : group_(d.displayName, parentGroup), layerName_(d.layerName), description_(d.description),
      displayName_(d.displayName), pixelType_(d.pixelType), alphaBuffer_(d.alphaBuffer),
      active_(d.active)
{
    for (const ChannelSpec *c = d.channels; c && c->longName; ++c)
        channels_.emplace_back(new BufferChannel(*c));
    minimum_ = std::make_unique<hostkit::VParm>("Minimum", group_.id(), kPluginName, 0.0);
    maximum_ = std::make_unique<hostkit::VParm>("Maximum", group_.id(), kPluginName, 1.0);
    offset_ = std::make_unique<hostkit::VParm>("Offset", group_.id(), kPluginName, 0.0);
    scale_ = std::make_unique<hostkit::VParm>("Scale", group_.id(), kPluginName, 1.0);
    gamma_ = std::make_unique<hostkit::VParm>("Gamma", group_.id(), kPluginName, 1.0);
}

OpenEXRBuffer::~OpenEXRBuffer()
{
    // The values go before the group that holds their channels.
    minimum_.reset();
    maximum_.reset();
    offset_.reset();
    scale_.reset();
    gamma_.reset();
}

int OpenEXRBuffer::channelCount() const { return static_cast<int>(channels_.size()); }

std::string OpenEXRBuffer::channelLongName(int i) const
{
    return i >= 0 && i < channelCount() ? channels_[i]->longName() : std::string();
}

Emptiness OpenEXRBuffer::emptiness() const
{
    switch (pixelType_) {
    case Imf::UINT: return Emptiness::Uint;
    case Imf::HALF: return Emptiness::Half;
    default: return Emptiness::Float;
    }
}

bool OpenEXRBuffer::isEmptyValue(float v) const { return isEmpty(emptiness(), v); }

Processing OpenEXRBuffer::processing() const
{
    Processing p;
    p.minimum = minValue_;
    p.maximum = maxValue_;
    p.offset = offsetValue_;
    p.scale = scaleValue_;
    p.inverseGamma = inverseGamma_;
    p.invert = invert_;
    p.unmultiply = unmultiply_;
    p.depth = isDepth();
    return p;
}

Processing OpenEXRBuffer::processingAt(double time) const
{
    Processing p = processing();
    p.minimum = minimum_->value(time);
    p.maximum = maximum_->value(time);
    p.offset = offset_->value(time);
    p.scale = scale_->value(time);
    p.inverseGamma = 1.0f / static_cast<float>(gamma_->value(time));
    return p;
}

float OpenEXRBuffer::processValue(float v, float a, bool negate) const
{
    return processing().apply(v, a, negate);
}

namespace {
// Converts one line: process(x) gives the processed value of pixel x.
template <class Process>
void convertSamples(int pixelType, std::uint32_t *out, int width, Process process)
{
    switch (pixelType) {
    case Imf::UINT:
        for (int x = 0; x < width; ++x)
            out[x] = toUint(process(x));
        break;
    case Imf::HALF: {
        // Processed in chunks, converted a chunk at a time.
        auto *h = reinterpret_cast<std::uint16_t *>(out);
        constexpr int kChunk = 256;
        float chunk[kChunk];
        for (int x0 = 0; x0 < width; x0 += kChunk) {
            const int n = std::min(kChunk, width - x0);
            for (int i = 0; i < n; ++i)
                chunk[i] = process(x0 + i);
            floatsToHalves(chunk, h + x0, static_cast<std::size_t>(n));
        }
        break;
    }
    default: {
        auto *f = reinterpret_cast<float *>(out);
        for (int x = 0; x < width; ++x)
            f[x] = process(x);
    }
    }
}
} // namespace

void OpenEXRBuffer::convertLine(const float *values, int channel, int width, const float *alpha,
                                void *line) const
{
    if (!values || channel < 0 || channel >= channelCount())
        return;
    auto *out = static_cast<std::uint32_t *>(line);
    const bool flip = channels_[channel]->flip();
    const Processing p = processing();
    if (p.identity()) {
        // What processing gives with neutral parameters, without its cost:
        // the value itself, -0 made +0 as the double sum makes it.
        const float sign = flip ? -1.0f : 1.0f;
        if (pixelType_ == Imf::HALF) {
            signedHalves(values, sign, reinterpret_cast<std::uint16_t *>(out),
                         static_cast<std::size_t>(width));
            return;
        }
        convertSamples(pixelType_, out, width, [&](int x) { return sign * (values[x] + 0.0f); });
        return;
    }
    // Without an alpha line nothing is un-multiplied.
    convertSamples(pixelType_, out, width,
                   [&](int x) { return p.apply(values[x], alpha ? alpha[x] : 1.0f, flip); });
}

float OpenEXRBuffer::emptyValue() const { return 0.0f; }

bool OpenEXRBuffer::active() const { return active_; }
void OpenEXRBuffer::setActive(bool active) { active_ = active; }
bool OpenEXRBuffer::savesImage() const { return saveAs_ & kSaveImage; }
bool OpenEXRBuffer::savesLayer() const { return saveAs_ & kSaveLayer; }
bool OpenEXRBuffer::imageHasAlpha() const { return saveAs_ & kSaveImageAlpha; }
bool OpenEXRBuffer::isNativeImage() const { return imageFormat_ == 0; }

hostkit::HostImage::Type OpenEXRBuffer::hostImageType() const
{
    if (imageHasAlpha())
        return hostkit::HostImage::Rgba;
    return channelCount() == 1 && !lumaAsRGB_ ? hostkit::HostImage::Grey : hostkit::HostImage::Rgb;
}

void OpenEXRBuffer::clearActive() { active_ = false; }
const std::string &OpenEXRBuffer::displayName() const { return displayName_; }
int OpenEXRBuffer::numChannels() const { return channelCount(); }

std::string OpenEXRBuffer::layerOrDisplayName() const
{
    return layerName_.empty() ? displayName_ : layerName_;
}

std::string OpenEXRBuffer::imageComment() const { return {}; }

std::string OpenEXRBuffer::imageExtension() const
{
    if (imageFormat_ == 0)
        return "exr";
    return hostkit::ImageUtil().saverExtension(imageFormat_ - 1);
}

const std::string &OpenEXRBuffer::listLabel()
{
    listLabel_ = active_ ? "\x03(i:MIMG_CHECKMARK)\x03(g:2)" : "\x03(g:12)";
    listLabel_ += displayName_;
    if (active_ && (savesLayer() || savesImage())) {
        listLabel_ += " (";
        if (savesLayer())
            listLabel_ += "layer";
        if (savesLayer() && savesImage())
            listLabel_ += " + ";
        if (savesImage())
            listLabel_ += imageExtension();
        listLabel_ += ")";
    }
    return listLabel_;
}

int OpenEXRBuffer::bytesPerSample() const { return pixelType_ == Imf::HALF ? 2 : 4; }

void OpenEXRBuffer::setDescription(const std::string &text) { description_ = text; }
const std::string &OpenEXRBuffer::description() const { return description_; }

void OpenEXRBuffer::setPixelType(int type)
{
    if (type >= Imf::UINT && type <= Imf::FLOAT)
        pixelType_ = type;
}

std::vector<std::vector<std::string>> OpenEXRBuffer::fileChannelNames(bool unprefixed) const
{
    std::vector<std::vector<std::string>> names(channels_.size());
    const bool single = channels_.size() == 1;
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        if (!unprefixed)
            names[i] = {channels_[i]->fullChannelName(single, layerName_)};
        else if (!single)
            names[i] = {channels_[i]->channelName()};
        else if (lumaAsRGB_)
            names[i] = {"R", "G", "B"};
        else
            names[i] = {channels_[i]->channelName().empty() ? "Y" : channels_[i]->channelName()};
    }
    return names;
}

void OpenEXRBuffer::insertChannels(Imf::ChannelList &list, bool unprefixed) const
{
    const auto type = static_cast<Imf::PixelType>(pixelType_);
    if (!unprefixed) {
        for (const auto &c : channels_)
            c->insertChannel(type, list, channels_.size() == 1, layerName_);
        return;
    }
    for (const auto &names : fileChannelNames(true))
        for (const std::string &n : names)
            list.insert(n, Imf::Channel(type, 1, 1, false));
}

void OpenEXRBuffer::evaluateParameters()
{
    const Processing p = processingAt(hostkit::TimeInfo().time());
    minValue_ = p.minimum;
    maxValue_ = p.maximum;
    offsetValue_ = p.offset;
    scaleValue_ = p.scale;
    inverseGamma_ = p.inverseGamma;
    processExtremes();
}

void OpenEXRBuffer::processExtremes()
{
    processedMaximum_ = processValue(rawMaximum_, 0.0f, false);
    processedMinimum_ = processValue(rawMinimum_, 0.0f, false);
    if (processedMinimum_ > processedMaximum_)
        std::swap(processedMinimum_, processedMaximum_);
}

void OpenEXRBuffer::fixSingleChannelName()
{
    if (channels_.size() != 1 || !channels_[0]->channelName().empty())
        return;
    if (layerName_ == "A") {
        layerName_.clear();
        channels_[0]->setChannelName("A");
    } else {
        channels_[0]->setChannelName("Y");
    }
}

void OpenEXRBuffer::computePreviewData(const hostkit::FrameAccess &access, int width, int height)
{
    const int n = channelCount(), sourceWidth = access.width(), sourceHeight = access.height();
    // Depth's far pixels are no part of its range.
    std::function<bool(float)> far;
    if (isDepth())
        far = [kind = emptiness()](float v) { return isEmpty(kind, v); };
    std::vector<std::unique_ptr<BoxResampler>> resamplers(static_cast<std::size_t>(n));
    DataWindowMeter meter = dataWindowMeter(sourceWidth, sourceHeight);
    std::vector<const float *> lines(static_cast<std::size_t>(n));
    for (int y = 0; y < sourceHeight; ++y) {
        for (int c = 0; c < n; ++c) {
            lines[c] = channels_[c]->getLine(y, access);
            // A channel without a first line keeps no samples.
            if (y == 0 && lines[c] && width > 0 && height > 0 && sourceWidth > 0)
                resamplers[c] =
                    std::make_unique<BoxResampler>(sourceWidth, sourceHeight, width, height, far);
            if (resamplers[c])
                resamplers[c]->row(y, lines[c]);
        }
        meter.row(y, lines.data());
    }
    dataWindow_ = meter.box();
    rawMinimum_ = kNoMinimum;
    rawMaximum_ = kNoMaximum;
    for (int c = 0; c < n; ++c) {
        Resampled r;
        if (resamplers[c]) {
            r = resamplers[c]->finish();
        } else {
            r.width = width;
            r.height = height;
        }
        rawMinimum_ = std::min(rawMinimum_, r.minimum);
        rawMaximum_ = std::max(rawMaximum_, r.maximum);
        channels_[c]->setPreview(std::move(r));
    }
    // The normalised view divides by this frame's range, not the last
    // frame's (on the first frame there is none and the view would be
    // black).
    processExtremes();
}

Resampled OpenEXRBuffer::resampledChannel(int i, const hostkit::FrameAccess &access, int width,
                                          int height) const
{
    if (i < 0 || i >= channelCount())
        return {};
    return channels_[i]->resample(access, width, height);
}

DataWindowMeter OpenEXRBuffer::dataWindowMeter(int width, int height) const
{
    return DataWindowMeter(emptiness(), channelCount(), width, height);
}

void OpenEXRBuffer::computeDataWindow(const hostkit::FrameAccess &access)
{
    DataWindowMeter meter = dataWindowMeter(access.width(), access.height());
    const int n = channelCount();
    std::vector<const float *> lines(static_cast<std::size_t>(n));
    for (int y = 0; y < access.height(); ++y) {
        for (int c = 0; c < n; ++c)
            lines[c] = channels_[c]->getLine(y, access);
        meter.row(y, lines.data());
    }
    dataWindow_ = meter.box();
}

// Table order is the order settings are saved in.
const hostkit::FieldTable<OpenEXRBuffer> &OpenEXRBuffer::fields()
{
    using namespace hostkit::fields;
    using hostkit::ErrorText;
    using hostkit::Field;
    using hostkit::LoadState;
    using hostkit::SaveState;
    using hostkit::Control;
    using hostkit::Stored;
    using B = OpenEXRBuffer;
    static const hostkit::FieldTable<B> table(
        {
            text<B, &B::layerName_>({blockId("XNAM"), "EXRBufferName"})
                .on(kLayerNameControl, "Layer Name", Control::Text),
            number<B, &B::pixelType_>({blockId("XPPT"), "PixelType"}, Stored::I2, Imf::UINT,
                                      Imf::FLOAT)
                .on(kPixelTypeControl, "OpenEXR Pixel Type", Control::Choice),
            flag<B, &B::active_>({blockId("ACTV"), "Active"})
                .on(kEnabledControl, "Enabled", Control::Boolean),
            text<B, &B::description_>({blockId("DESC"), "Description"})
                .on(kDescriptionControl, "Description", Control::Info),
            flag<B, &B::invert_>({blockId("INVT"), "Invert"})
                .on(kInvertControl, "Invert", Control::Boolean),
            custom<B>({blockId("SVAS"), "SaveAs"},
                      [](const Field<B> &f, const B &b, SaveState &s) {
                          s.writeBlock(f.ident, static_cast<std::int32_t>(b.saveAs_));
                      },
                      [](const Field<B> &, B &b, LoadState &s) {
                          // Three bits; anything else is damage, not a choice.
                          const auto v = s.readI4();
                          if (v && *v >= 0 && *v <= 7)
                              b.setSaveAs(*v);
                          return ErrorText();
                      },
                      [](B &to, const B &from) { to.saveAs_ = from.saveAs_; })
                .on(kSaveAsControl, "Save as", Control::Choice,
                    [](const B &b) {
                        hostkit::PanelValue v;
                        v.i = popupFromSaveAs(b.saveAs_);
                        return v;
                    },
                    [](const Field<B> &, B &b, const hostkit::PanelValue &v) {
                        if (v.i < 0 || v.i > 4)
                            return false;
                        b.setSaveAs(saveAsFromPopup(v.i));
                        return true;
                    }),
            // The host saver by name: its position differs between hosts.
            custom<B>({blockId("IFMT"), "ImageFormat"},
                      [](const Field<B> &f, const B &b, SaveState &s) {
                          if (b.imageFormat_ != 0)
                              s.writeBlock(f.ident,
                                           hostkit::ImageUtil().saverName(b.imageFormat_ - 1));
                      },
                      [](const Field<B> &, B &b, LoadState &s) {
                          const auto name = s.readString();
                          const int saver = name ? hostkit::ImageUtil().findSaver(*name) : -1;
                          if (saver >= 0)
                              b.imageFormat_ = saver + 1;
                          return ErrorText();
                      },
                      [](B &to, const B &from) { to.imageFormat_ = from.imageFormat_; })
                .on(kFileFormatControl, "File Format", Control::Choice,
                    [](const B &b) {
                        hostkit::PanelValue v;
                        v.i = b.imageFormat_;
                        return v;
                    },
                    [](const Field<B> &, B &b, const hostkit::PanelValue &v) {
                        // 0 the native file, then the host's savers.
                        if (v.i < 0 || v.i > hostkit::ImageUtil().saverCount())
                            return false;
                        b.setImageFormat(v.i);
                        return true;
                    }),
            flag<B, &B::lumaAsRGB_>({blockId("SRGB"), "LumaAsRGB"})
                .on(kLumaAsRGBControl, "Save Luminance as RGB", Control::Boolean),
            flag<B, &B::fitDataWindow_>({blockId("DWND"), "FitDataWindow"})
                .on(kFitDataWindowControl, "Fit Data Window", Control::Boolean),
            storeable<B, &B::minimum_>({blockId("MINI"), "Minimum"})
                .on(kMinimumControl, "Minimum", Control::FloatEnv),
            storeable<B, &B::maximum_>({blockId("MAXI"), "Maximum"})
                .on(kMaximumControl, "Maximum", Control::FloatEnv),
            storeable<B, &B::offset_>({blockId("OFFS"), "Offset"})
                .on(kOffsetControl, "Offset", Control::FloatEnv),
            storeable<B, &B::scale_>({blockId("SCAL"), "Scale"})
                .on(kScaleControl, "Scale", Control::FloatEnv),
            storeable<B, &B::gamma_>({blockId("GAMA"), "Gamma"})
                .on(kGammaControl, "Gamma Correction", Control::FloatEnv),
            // Only a colour buffer un-multiplies.
            custom<B>({blockId("UMUL"), "Unmultiply"},
                      [](const Field<B> &f, const B &b, SaveState &s) {
                          if (b.channelCount() == 3)
                              s.writeBlock(f.ident, b.unmultiply_);
                      },
                      [](const Field<B> &, B &b, LoadState &s) {
                          // Not offered elsewhere, so not taken from a file either.
                          if (const auto v = s.readBool(); v && b.offersUnmultiply())
                              b.unmultiply_ = *v;
                          return ErrorText();
                      },
                      [](B &to, const B &from) { to.unmultiply_ = from.unmultiply_; })
                .on(kUnmultiplyControl, "Un-multiply by Alpha", Control::Boolean,
                    [](const B &b) {
                        hostkit::PanelValue v;
                        v.i = b.unmultiply_ ? 1 : 0;
                        return v;
                    },
                    [](const Field<B> &, B &b, const hostkit::PanelValue &v) {
                        b.unmultiply_ = v.i != 0;
                        return true;
                    }),
            // The older form of SaveAs.
            custom<B>({blockId("SFIL"), "SaveAsFile"}, nullptr,
                      [](const Field<B> &, B &b, LoadState &s) {
                          if (s.readBool().value_or(false))
                              b.saveAs_ = kSaveImage;
                          return ErrorText();
                      },
                      nullptr),
        },
        {{blockId("CHAN"), "Channel"}});
    return table;
}

void OpenEXRBuffer::copySettings(const OpenEXRBuffer &o)
{
    for (int i = 0; i < channelCount() && i < o.channelCount(); ++i)
        channels_[i]->copySettings(*o.channels_[i]);
    fields().copy(*this, o);
    // The channel the panel shows is the user's choice too.
    currentChannel_ = o.currentChannel_;
}

hostkit::ErrorText OpenEXRBuffer::save(hostkit::SaveState &s)
{
    fields().save(*this, s);
    for (auto &c : channels_) {
        hostkit::SavedBlock channel(s, fields().ident(blockId("CHAN")), false);
        s.writeBlock(kChannelEntry[0], c->longName());
        hostkit::SavedBlock settings(s, kChannelEntry[1], false);
        c->save(s);
    }
    return {};
}

hostkit::ErrorText OpenEXRBuffer::load(hostkit::LoadState &s)
{
    saveAs_ = kSaveLayer;
    imageFormat_ = 0;
    hostkit::ErrorText error;
    while (unsigned int id = s.findBlock(fields().idents())) {
        hostkit::FoundBlock block(s);
        if (fields().load(*this, id, s, error) || id != blockId("CHAN"))
            continue;
        std::string name;
        while (unsigned int c = s.findBlock(kChannelEntry)) {
            hostkit::FoundBlock entry(s);
            if (c == blockId("CNAM"))
                name = trimmed(s.readString().value_or(""));
            else if (c == blockId("CSER"))
                for (auto &ch : channels_)
                    if (ch->longName() == name) {
                        ch->load(s);
                        break;
                    }
        }
    }
    return error;
}

Emptiness DepthBuffer::emptiness() const
{
    switch (pixelType()) {
    case Imf::UINT: return Emptiness::FarUint;
    case Imf::HALF: return Emptiness::FarHalf;
    default: return Emptiness::FarFloat;
    }
}

float DepthBuffer::emptyValue() const { return kDepthEmpty; }

void DepthBuffer::fixSingleChannelName() {}

} // namespace ravelcast
