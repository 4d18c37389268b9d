#include "exrio/OpenEXRSaver.h"
#include "exrio/UserMetadata.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

#include <ImfChannelList.h>
#include <ImfCompression.h>
#include <ImfLineOrder.h>
#include <ImfPixelType.h>

#include "module/ServerRegistry.h"
#include "module/ServerTags.h"

namespace ravelcast {

namespace {

float floatAt(const void *pixels, std::size_t index)
{
    // Host lines need not be aligned for floats.
    float v;
    std::memcpy(&v, static_cast<const unsigned char *>(pixels) + index * sizeof(float),
                sizeof(float));
    return v;
}

const unsigned char *bytesOf(const void *pixels) { return static_cast<const unsigned char *>(pixels); }

bool usableAspect(float aspect) { return std::isfinite(aspect) && aspect > 0.0f; }

template <class T> std::unique_ptr<LineBuffer> makeLine(int width)
{
    return std::make_unique<DynamicBuffer<T>>(width);
}

std::unique_ptr<LineBuffer> lineFor(int pixelType, int width)
{
    switch (pixelType) {
    case Imf::HALF: return makeLine<half>(width);
    case Imf::FLOAT: return makeLine<float>(width);
    default: return makeLine<std::uint32_t>(width);
    }
}

} // namespace

std::vector<std::string> saverChannelNames(int imageType)
{
    switch (imageType) {
    case LWIMTYP_RGB24:
    case LWIMTYP_INDEX8:
    case LWIMTYP_RGBFP: return {"R", "G", "B"};
    case LWIMTYP_GREY8:
    case LWIMTYP_GREYFP: return {"Y"};
    default: return {"R", "G", "B", "A"};
    }
}

Imf::Header saverHeader(const Imf::Header &metadata, int width, int height, float pixelAspect,
                        int compression, int pixelType, int imageType)
{
    if (width < 1 || height < 1)
        throw std::invalid_argument("the host sent no image size (" + std::to_string(width) +
                                    " x " + std::to_string(height) + ")");
    if (!validCompression(compression))
        throw std::invalid_argument("the OpenEXR saver settings hold an unknown compression (" +
                                    std::to_string(compression) + ")");
    if (!validPixelType(pixelType))
        throw std::invalid_argument("the OpenEXR saver settings hold an unknown pixel type (" +
                                    std::to_string(pixelType) + ")");
    Imf::Header header;
    for (auto it = metadata.begin(); it != metadata.end(); ++it)
        header.insert(it.name(), it.attribute());
    const Imath::Box2i window(Imath::V2i(0, 0), Imath::V2i(width - 1, height - 1));
    header.displayWindow() = window;
    header.dataWindow() = window;
    if (pixelAspect != 0.0f)
        header.pixelAspectRatio() = pixelAspect;
    header.screenWindowCenter() = Imath::V2f(0.0f, 0.0f);
    header.screenWindowWidth() = 1.0f;
    header.lineOrder() = Imf::INCREASING_Y;
    header.compression() = static_cast<Imf::Compression>(compression);
    header.channels() = Imf::ChannelList();
    for (const std::string &name : saverChannelNames(imageType))
        header.channels().insert(name, Imf::Channel(static_cast<Imf::PixelType>(pixelType), 1, 1));
    return header;
}

OpenEXRSaver::OpenEXRSaver(int protocolType, LWImageSaverLocal *local)
    : ImageSaverHandler(protocolType, local), settings_(saverSettingsRecord())
{
    for (int i = 0; i < 256; ++i)
        for (int c = 0; c < 3; ++c)
            palette_[static_cast<std::size_t>(i) * 3 + c] = static_cast<unsigned char>(i);
}

OpenEXRSaver::~OpenEXRSaver() = default;

void OpenEXRSaver::setSize(int width, int height)
{
    if (width == width_ && height == height_)
        return;
    if (fileOpen()) {
        // The file and its line buffers have the first size; lines of
        // another width would be read past their end. The rest of the
        // image is refused.
        sizeRefused_ = true;
        throw std::runtime_error("the host changed the image size from " +
                                 std::to_string(width_) + " x " + std::to_string(height_) +
                                 " to " + std::to_string(width) + " x " +
                                 std::to_string(height) + " after the first line of \"" +
                                 fileName() + "\"");
    }
    // Before the first line nothing is allocated yet: the file and its
    // buffers are made with the last size the host sent.
    width_ = width;
    height_ = height;
}

int OpenEXRSaver::done(int code)
{
    std::unique_ptr<ExrOutput> out = std::move(output_);
    std::unique_ptr<ExrLineOutput> lines = std::move(lineOutput_);
    // Only a whole image replaces the file: a failed status, a line that
    // failed or a missing line drops it, and the old file stays.
    if (code != IPSTAT_OK || sizeRefused_ || failed_)
        return code == IPSTAT_OK ? IPSTAT_FAILED : code;
    if (linesWritten_ < height_)
        throw std::runtime_error("the host sent " + std::to_string(linesWritten_) + " of the " +
                                 std::to_string(height_) + " lines of \"" + fileName() +
                                 "\"; the image was not saved");
    if (out)
        out->close();
    if (lines)
        lines->close();
    return code;
}

int OpenEXRSaver::metadataItem(int tag, const char *text)
{
    if (tag == LWIMMETA_PIXELASPECT) {
        const auto aspect = static_cast<float>(leadingNumber(text));
        if (!usableAspect(aspect))
            return 0;
        pixelAspect_ = aspect;
        return 1;
    }
    if (tag < kTagXDensity || tag > kTagSoftware)
        return 0;
    return metadata_.setItem(text, tag);
}

void OpenEXRSaver::setParameter(int param, int, float fval)
{
    if (param == LWIMPAR_ASPECT && usableAspect(fval))
        pixelAspect_ = fval;
}

void OpenEXRSaver::setMap(int index, const unsigned char rgb[3])
{
    if (index < 0 || index > 255)
        return;
    std::memcpy(&palette_[static_cast<std::size_t>(index) * 3], rgb, 3);
}

int OpenEXRSaver::sendLine(int, const void *pixels)
{
    const int type = imageType();
    // An unknown type gets no file at all rather than one of guessed
    // channels.
    if (type < LWIMTYP_RGB24 || type > LWIMTYP_RGBAFP)
        return IPSTAT_FAILED;
    if (sizeRefused_ || failed_)
        return IPSTAT_FAILED;
    // A line past the image's height is refused; the image stays whole.
    if (fileOpen() && linesWritten_ >= height_)
        throw std::runtime_error("the host sent more than the " + std::to_string(height_) +
                                 " lines of \"" + fileName() + "\"");
    // Once a line failed nothing more is written, and done() drops the file.
    failed_ = true;
    if (const int opened = openFile())
        return opened;
    switch (type) {
    case LWIMTYP_RGB24: rgbBytes(bytesOf(pixels)); break;
    case LWIMTYP_GREY8: greyBytes(bytesOf(pixels)); break;
    case LWIMTYP_INDEX8: indexedBytes(bytesOf(pixels)); break;
    case LWIMTYP_GREYFP: greyFloats(static_cast<const float *>(pixels)); break;
    case LWIMTYP_RGBFP: rgbFloats(static_cast<const float *>(pixels)); break;
    case LWIMTYP_RGBA32: rgbaBytes(bytesOf(pixels)); break;
    case LWIMTYP_RGBAFP: rgbaFloats(static_cast<const float *>(pixels)); break;
    }
    writeLine();
    failed_ = false;
    return IPSTAT_OK;
}

void OpenEXRSaver::greyBytes(const unsigned char *p)
{
    for (int x = 0; x < width_; ++x)
        buffers_[kY]->setByte(x, p[x]);
}

void OpenEXRSaver::greyFloats(const float *p)
{
    for (int x = 0; x < width_; ++x)
        buffers_[kY]->setFloat(x, floatAt(p, static_cast<std::size_t>(x)));
}

void OpenEXRSaver::rgbaFloats(const float *p)
{
    for (int x = 0; x < width_; ++x)
        for (int c = kR; c <= kA; ++c)
            buffers_[c]->setFloat(x, floatAt(p, static_cast<std::size_t>(x) * 4 + c));
}

void OpenEXRSaver::rgbaBytes(const unsigned char *p)
{
    for (int x = 0; x < width_; ++x)
        for (int c = kR; c <= kA; ++c)
            buffers_[c]->setByte(x, p[static_cast<std::size_t>(x) * 4 + c]);
}

void OpenEXRSaver::rgbFloats(const float *p)
{
    for (int x = 0; x < width_; ++x)
        for (int c = kR; c <= kB; ++c)
            buffers_[c]->setFloat(x, floatAt(p, static_cast<std::size_t>(x) * 3 + c));
}

void OpenEXRSaver::rgbBytes(const unsigned char *p)
{
    for (int x = 0; x < width_; ++x)
        for (int c = kR; c <= kB; ++c)
            buffers_[c]->setByte(x, p[static_cast<std::size_t>(x) * 3 + c]);
}

void OpenEXRSaver::indexedBytes(const unsigned char *p)
{
    for (int x = 0; x < width_; ++x) {
        const unsigned char *rgb = &palette_[static_cast<std::size_t>(p[x]) * 3];
        for (int c = kR; c <= kB; ++c)
            buffers_[c]->setByte(x, rgb[c]);
    }
}

int OpenEXRSaver::openFile()
{
    if (fileOpen())
        return IPSTAT_OK;
    // Read once per image: a change made while this image is written counts
    // from the next one.
    const int compression = settings_->compression;
    const int pixelType = settings_->pixelType;
    HeaderChoices choices;
    choices.colourSpace = *saverColourSpace();
    const RenderFacts facts = gatherRenderFacts();
    metadata_.stamp(facts, choices);
    Imf::Header header = saverHeader(metadata_.header(), width_, height_, pixelAspect_,
                                     compression, pixelType, imageType());
    // The scene's image filter's rows; what it cannot write it tells itself.
    applyUserMetadata(header, publishedUserMetadata(), hostMetadataTokens(facts));

    lines_.clear();
    buffers_.fill(nullptr);
    Imf::FrameBuffer frameBuffer;
    static const char *const kNames[kChannels] = {"R", "G", "B", "A", "Y"};
    for (int c = 0; c < kChannels; ++c) {
        if (!header.channels().findChannel(kNames[c]))
            continue;
        std::unique_ptr<LineBuffer> line = lineFor(pixelType, width_);
        buffers_[c] = line.get();
        frameBuffer.insert(kNames[c], line->slice());
        lines_[kNames[c]] = std::move(line);
    }
    if (ExrLineOutput::carries(header)) {
        lineOutput_ = std::make_unique<ExrLineOutput>(fileName(), header);
        line_.assign(lineOutput_->lineBytes(), 0);
        return IPSTAT_OK;
    }
    auto output = std::make_unique<ExrOutput>(fileName(), header);
    output->file().setFrameBuffer(frameBuffer);
    output_ = std::move(output);
    return IPSTAT_OK;
}

void OpenEXRSaver::writeLine()
{
    if (lineOutput_) {
        // Each channel's line where the file's line holds it.
        for (const auto &[name, line] : lines_)
            std::memcpy(line_.data() + lineOutput_->channelOffset(name), line->bytes(),
                        line->byteCount());
        lineOutput_->writeLine(linesWritten_, line_.data());
    } else {
        output_->file().writePixels(1);
    }
    ++linesWritten_;
}

namespace {
ServerRegistration saverServer(kSaverPosition, LWIMAGESAVER_CLASS, "OpenEXR(.exr)",
                               hostkit::ImageSaverAdaptor<OpenEXRSaver>::activate, kImageIOTags);
} // namespace

} // namespace ravelcast
