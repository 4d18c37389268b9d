#include "export/OpenEXRBuffer.h"
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

} // namespace

std::uint32_t toUint(float v)
{
    // Values from 2^32 on (the float nearest UINT_MAX is 2^32) saturate too.
    if (v >= 4294967296.0f)
        return 4294967295u;
    return Imf::floatToUint(v);
}

std::uint16_t toHalfBits(float v) { return Imf::floatToHalf(v).bits(); }

OpenEXRBuffer::OpenEXRBuffer(const Definition &d, LWChanGroupID parentGroup)
    : group_(d.displayName, parentGroup), displayName_(d.displayName), alphaBuffer_(d.alphaBuffer)
{
    for (const ChannelSpec *c = d.channels; c && c->longName; ++c)
        channels_.emplace_back(new BufferChannel(*c));
    settings_.makeParameters(group_.id());
    // The catalogue's row gives what differs between buffers.
    settings_.layerName = d.layerName;
    settings_.description = d.description;
    settings_.pixelType = d.pixelType;
    settings_.active = d.active;
    settings_.offersUnmultiply = offersUnmultiply();
}

OpenEXRBuffer::~OpenEXRBuffer()
{
    // The values go before the group that holds their channels.
    settings_.dropParameters();
}

int OpenEXRBuffer::channelCount() const { return static_cast<int>(channels_.size()); }

std::string OpenEXRBuffer::channelLongName(int i) const
{
    return i >= 0 && i < channelCount() ? channels_[i]->longName() : std::string();
}

Emptiness OpenEXRBuffer::emptiness() const
{
    switch (settings_.pixelType) {
    case Imf::UINT: return Emptiness::Uint;
    case Imf::HALF: return Emptiness::Half;
    default: return Emptiness::Float;
    }
}

bool OpenEXRBuffer::isEmptyValue(float v) const { return isEmpty(emptiness(), v); }

Processing OpenEXRBuffer::processing() const
{
    Processing p;
    p.minimum = frame_.minValue;
    p.maximum = frame_.maxValue;
    p.offset = frame_.offsetValue;
    p.scale = frame_.scaleValue;
    p.inverseGamma = frame_.inverseGamma;
    p.invert = settings_.invert;
    p.unmultiply = settings_.unmultiply;
    p.depth = isDepth();
    return p;
}

Processing OpenEXRBuffer::processingAt(double time) const
{
    Processing p = processing();
    p.minimum = settings_.minimum->value(time);
    p.maximum = settings_.maximum->value(time);
    p.offset = settings_.offset->value(time);
    p.scale = settings_.scale->value(time);
    p.inverseGamma = 1.0f / static_cast<float>(settings_.gamma->value(time));
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
        if (settings_.pixelType == Imf::HALF) {
            signedHalves(values, sign, reinterpret_cast<std::uint16_t *>(out),
                         static_cast<std::size_t>(width));
            return;
        }
        convertSamples(settings_.pixelType, out, width, [&](int x) { return sign * (values[x] + 0.0f); });
        return;
    }
    // Without an alpha line nothing is un-multiplied.
    convertSamples(settings_.pixelType, out, width,
                   [&](int x) { return p.apply(values[x], alpha ? alpha[x] : 1.0f, flip); });
}

float OpenEXRBuffer::emptyValue() const { return 0.0f; }

bool OpenEXRBuffer::active() const { return settings_.active; }
void OpenEXRBuffer::setActive(bool active) { settings_.active = active; }
bool OpenEXRBuffer::savesImage() const { return settings_.saveAs & kSaveImage; }
bool OpenEXRBuffer::savesLayer() const { return settings_.saveAs & kSaveLayer; }
bool OpenEXRBuffer::imageHasAlpha() const { return settings_.saveAs & kSaveImageAlpha; }
bool OpenEXRBuffer::isNativeImage() const { return settings_.imageFormat == 0; }

hostkit::HostImage::Type OpenEXRBuffer::hostImageType() const
{
    if (imageHasAlpha())
        return hostkit::HostImage::Rgba;
    return channelCount() == 1 && !settings_.lumaAsRGB ? hostkit::HostImage::Grey : hostkit::HostImage::Rgb;
}

void OpenEXRBuffer::clearActive() { settings_.active = false; }
const std::string &OpenEXRBuffer::displayName() const { return displayName_; }

bool OpenEXRBuffer::holdsMeasures() const
{
    static const char *const kMeasures[] = {
        "Depth",     "Motion",    "Surface Normal",        "Surface ID",
        "Object ID", "Tangent Space Tangent", "Tangent Space Bitangent", "Tangent Space Normal"};
    for (const char *name : kMeasures)
        if (displayName_ == name)
            return true;
    return false;
}
int OpenEXRBuffer::numChannels() const { return channelCount(); }

std::string OpenEXRBuffer::layerOrDisplayName() const
{
    return settings_.layerName.empty() ? displayName_ : settings_.layerName;
}

std::string OpenEXRBuffer::imageComment() const { return {}; }

std::string OpenEXRBuffer::imageExtension() const
{
    if (settings_.imageFormat == 0)
        return "exr";
    return hostkit::ImageUtil().saverExtension(settings_.imageFormat - 1);
}

const std::string &OpenEXRBuffer::listLabel()
{
    panel_.listLabel = settings_.active ? "\x03(i:MIMG_CHECKMARK)\x03(g:2)" : "\x03(g:12)";
    panel_.listLabel += displayName_;
    if (settings_.active && (savesLayer() || savesImage())) {
        panel_.listLabel += " (";
        if (savesLayer())
            panel_.listLabel += "layer";
        if (savesLayer() && savesImage())
            panel_.listLabel += " + ";
        if (savesImage())
            panel_.listLabel += imageExtension();
        panel_.listLabel += ")";
    }
    return panel_.listLabel;
}

int OpenEXRBuffer::bytesPerSample() const { return settings_.pixelType == Imf::HALF ? 2 : 4; }

void OpenEXRBuffer::setDescription(const std::string &text) { settings_.description = text; }
const std::string &OpenEXRBuffer::description() const { return settings_.description; }

void OpenEXRBuffer::setPixelType(int type)
{
    if (type >= Imf::UINT && type <= Imf::FLOAT)
        settings_.pixelType = type;
}

std::vector<std::vector<std::string>> OpenEXRBuffer::fileChannelNames(bool unprefixed) const
{
    std::vector<std::vector<std::string>> names(channels_.size());
    const bool single = channels_.size() == 1;
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        if (!unprefixed)
            names[i] = {channels_[i]->fullChannelName(single, settings_.layerName)};
        else if (!single)
            names[i] = {channels_[i]->channelName()};
        else if (settings_.lumaAsRGB)
            names[i] = {"R", "G", "B"};
        else
            names[i] = {channels_[i]->channelName().empty() ? "Y" : channels_[i]->channelName()};
    }
    return names;
}

void OpenEXRBuffer::insertChannels(Imf::ChannelList &list, bool unprefixed) const
{
    const auto type = static_cast<Imf::PixelType>(settings_.pixelType);
    if (!unprefixed) {
        for (const auto &c : channels_)
            c->insertChannel(type, list, channels_.size() == 1, settings_.layerName);
        return;
    }
    for (const auto &names : fileChannelNames(true))
        for (const std::string &n : names)
            list.insert(n, Imf::Channel(type, 1, 1, false));
}

void OpenEXRBuffer::evaluateParameters()
{
    const Processing p = processingAt(hostkit::TimeInfo().time());
    frame_.minValue = p.minimum;
    frame_.maxValue = p.maximum;
    frame_.offsetValue = p.offset;
    frame_.scaleValue = p.scale;
    frame_.inverseGamma = p.inverseGamma;
    processExtremes();
}

void OpenEXRBuffer::processExtremes()
{
    frame_.processedMaximum = processValue(frame_.rawMaximum, 0.0f, false);
    frame_.processedMinimum = processValue(frame_.rawMinimum, 0.0f, false);
    if (frame_.processedMinimum > frame_.processedMaximum)
        std::swap(frame_.processedMinimum, frame_.processedMaximum);
}

void OpenEXRBuffer::fixSingleChannelName()
{
    if (channels_.size() != 1 || !channels_[0]->channelName().empty())
        return;
    if (settings_.layerName == "A") {
        settings_.layerName.clear();
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
    frame_.dataWindow = meter.box();
    frame_.rawMinimum = kNoMinimum;
    frame_.rawMaximum = kNoMaximum;
    for (int c = 0; c < n; ++c) {
        Resampled r;
        if (resamplers[c]) {
            r = resamplers[c]->finish();
        } else {
            r.width = width;
            r.height = height;
        }
        frame_.rawMinimum = std::min(frame_.rawMinimum, r.minimum);
        frame_.rawMaximum = std::max(frame_.rawMaximum, r.maximum);
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
    frame_.dataWindow = meter.box();
}

void OpenEXRBuffer::copySettings(const OpenEXRBuffer &o)
{
    for (int i = 0; i < channelCount() && i < o.channelCount(); ++i)
        channels_[i]->copySettings(*o.channels_[i]);
    BufferSettings::fields().copy(settings_, o.settings_);
    // The channel the panel shows is the user's choice too.
    panel_.currentChannel = o.panel_.currentChannel;
}

hostkit::ErrorText OpenEXRBuffer::save(hostkit::SaveState &s)
{
    const auto &fields = BufferSettings::fields();
    fields.save(settings_, s);
    for (auto &c : channels_) {
        hostkit::SavedBlock channel(s, fields.ident(blockId("CHAN")), false);
        s.writeBlock(kChannelEntry[0], c->longName());
        hostkit::SavedBlock settings(s, kChannelEntry[1], false);
        c->save(s);
    }
    return {};
}

hostkit::ErrorText OpenEXRBuffer::load(hostkit::LoadState &s)
{
    settings_.saveAs = kSaveLayer;
    settings_.imageFormat = 0;
    hostkit::ErrorText error;
    const auto &fields = BufferSettings::fields();
    while (unsigned int id = s.findBlock(fields.idents())) {
        hostkit::FoundBlock block(s);
        if (fields.load(settings_, id, s, error) || id != blockId("CHAN"))
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
