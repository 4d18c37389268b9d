#include "exrio/OpenEXRLoader.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfInputPart.h>
#include <ImfMultiPartInputFile.h>
#include <ImfRgba.h>
#include <ImfRgbaFile.h>
#include <ImfThreading.h>

#include "exrio/ExrHeaderScan.h"
#include "exrio/ExrLayout.h"
#include "exrio/FileInputStream.h"
#include "exrio/OpenEXRMagic.h"
#include "exrio/StreamFailure.h"
#include "hostkit/utility/PlatformFile.h"
#include "module/ServerRegistry.h"
#include "module/ServerTags.h"

namespace ravelcast {

namespace {

enum ChannelBit { kBitR = 1, kBitG = 2, kBitB = 4, kBitA = 8, kBitY = 16, kBitChroma = 32 };

// Files stored a row per chunk are read this many rows at a time while
// that needs at most kSmallBlockBytes.
constexpr int kRowsPerSmallBlock = 16;
constexpr std::uint64_t kSmallBlockBytes = std::uint64_t(16) << 20;

// Failures found before the library holds the stream read like the
// library's own: "Cannot read image file "<name>". <cause>".
template <class F> auto withInputPrefix(const std::string &fileName, F &&f)
{
    try {
        return f();
    } catch (Iex::BaseExc &e) {
        e.assign((inputOpenPrefix(fileName) + e.what()).c_str());
        throw;
    }
}

std::uint64_t fileSizeOf(const std::string &fileName)
{
    hostkit::PlatformFile file;
    std::uint64_t size = 0;
    if (!file.openForReading(fileName) || !file.size(&size))
        throw Iex::InputExc("Cannot tell the file's size: " +
                            hostkit::PlatformFile::errorText(file.error()));
    return size;
}

struct Span {
    int first = 0, last = -1; // inclusive; empty when last < first
    int count() const { return last >= first ? last - first + 1 : 0; }
};

Span overlap(int aMin, int aMax, int bMin, int bMax)
{
    return Span{std::max(aMin, bMin), std::min(aMax, bMax)};
}

int floatsPerPixel(int imageType)
{
    switch (imageType) {
    case LWIMTYP_GREYFP: return 1;
    case LWIMTYP_RGBFP: return 3;
    default: return 4;
    }
}

} // namespace

int loaderChannelSet(const std::vector<std::string> &names, const std::string &layer)
{
    int set = 0;
    for (const std::string &full : names) {
        if (full.size() <= layer.size() || full.compare(0, layer.size(), layer) != 0)
            continue;
        const std::string name = full.substr(layer.size());
        if (name == "R")
            set |= kBitR;
        else if (name == "G")
            set |= kBitG;
        else if (name == "B")
            set |= kBitB;
        else if (name == "A")
            set |= kBitA;
        else if (name == "Y")
            set |= kBitY;
        else if (name == "RY" || name == "BY")
            set |= kBitChroma;
    }
    return set;
}

int loaderImageType(int channelSet)
{
    if (channelSet == (kBitR | kBitG | kBitB) || channelSet == (kBitY | kBitChroma))
        return LWIMTYP_RGBFP;
    if (channelSet == kBitY)
        return LWIMTYP_GREYFP;
    return LWIMTYP_RGBAFP;
}

namespace {

constexpr int kColourBits = kBitR | kBitG | kBitB | kBitY;

std::vector<std::string> namesOf(const ExrPartLayout &part)
{
    std::vector<std::string> names;
    for (const ExrChannelLayout &c : part.channels)
        names.push_back(c.name);
    // The library's channel-list order, whatever order the file has.
    std::sort(names.begin(), names.end());
    return names;
}

// A part the loader can turn into an image: flat, or deep scan-line data
// with depth to composite by.
bool loadable(const ExrLayout &layout, const ExrPartLayout &part)
{
    if (!layout.partDeep(part))
        return true;
    if (layout.partTiled(part))
        return false;
    return std::any_of(part.channels.begin(), part.channels.end(),
                       [](const ExrChannelLayout &c) { return c.name == "Z"; });
}

} // namespace

LoaderChoice chooseLoaderChannels(const ExrLayout &layout)
{
    // A multi-part, multi-view file shows its default view (the first of
    // its "multiView" list): parts of other views are passed over.
    std::string defaultView;
    for (const ExrPartLayout &part : layout.parts)
        if (defaultView.empty())
            defaultView = part.defaultView;
    const auto candidate = [&](const ExrPartLayout &part) {
        return loadable(layout, part) &&
               (defaultView.empty() || part.view.empty() || part.view == defaultView);
    };
    // The first part with colour at the base level.
    for (std::size_t p = 0; p < layout.parts.size(); ++p) {
        const ExrPartLayout &part = layout.parts[p];
        if (candidate(part) && (loaderChannelSet(namesOf(part), "") & kColourBits))
            return LoaderChoice{p, ""};
    }
    // Else the first part with a layer holding colour: its first such
    // layer in channel-list order.
    for (std::size_t p = 0; p < layout.parts.size(); ++p) {
        const ExrPartLayout &part = layout.parts[p];
        if (!candidate(part))
            continue;
        for (const std::string &name : namesOf(part)) {
            const std::size_t dot = name.rfind('.');
            if (dot == std::string::npos || dot == 0)
                continue;
            const std::string last = name.substr(dot + 1);
            if (last == "R" || last == "G" || last == "B" || last == "Y")
                return LoaderChoice{p, name.substr(0, dot + 1)};
        }
    }
    // Else the first part the loader can read, and failing that part 0,
    // which is then refused with its reason.
    for (std::size_t p = 0; p < layout.parts.size(); ++p)
        if (loadable(layout, layout.parts[p]))
            return LoaderChoice{p, ""};
    return LoaderChoice{0, ""};
}

namespace {

// The rows of the chosen channels, each as RGBA floats across the data
// window (Y, when the image is grey, in the first of the four).
class RowSource {
public:
    virtual ~RowSource() = default;
    virtual const Imf::Header &header() const = 0;
    virtual bool complete() const = 0;
    // Reads row y; answers its pixels from the data window's first column.
    virtual const float *row(int y) = 0;
};

// Any channels but luminance with chroma, read as FLOAT slices: the
// library converts HALF and UINT samples, and flattens deep scan-line
// data by depth. Rows are read a block at a time, the block being the
// rows the file stores together, so each is decoded by one library call.
class FloatRows final : public RowSource {
public:
    FloatRows(Imf::IStream &stream, const LoaderChoice &choice, bool deep, int rowsPerBlock)
        : file_(stream, Imf::globalThreadCount()), part_(file_, static_cast<int>(choice.part)),
          deep_(deep), layer_(choice.layer), rowsPerBlock_(std::max(rowsPerBlock, 1))
    {
        data_ = part_.header().dataWindow();
        width_ = static_cast<std::size_t>(std::int64_t(data_.max.x) - data_.min.x + 1);
        pixels_.assign(width_ * 4 * static_cast<std::size_t>(rowsPerBlock_), 0.0f);
        std::vector<std::string> names;
        const Imf::ChannelList &channels = part_.header().channels();
        for (auto it = channels.begin(); it != channels.end(); ++it)
            names.push_back(it.name());
        // As the library's RGBA reading: luminance stands for all three
        // colours, missing colours are 0 and a missing alpha is 1.
        luminance_ = (loaderChannelSet(names, layer_) & kBitY) != 0;
    }

    const Imf::Header &header() const override { return part_.header(); }

    // The library does not tell a deep part's completeness; its chunks
    // were judged before it opened the file.
    bool complete() const override { return deep_ || part_.isComplete(); }

    const float *row(int y) override
    {
        if (y < first_ || y > last_)
            readBlock(y);
        return &pixels_[static_cast<std::size_t>(y - first_) * width_ * 4];
    }

private:
    void readBlock(int y)
    {
        const std::int64_t offset = (std::int64_t(y) - data_.min.y) / rowsPerBlock_ * rowsPerBlock_;
        first_ = static_cast<int>(data_.min.y + offset);
        last_ = static_cast<int>(std::min<std::int64_t>(std::int64_t(first_) + rowsPerBlock_ - 1,
                                                        data_.max.y));
        // The base is placed so that pixel (data.min.x, first_) lands on
        // the block's first pixel; computed on addresses, since it lies
        // outside the block.
        const std::size_t rowBytes = width_ * 4 * sizeof(float);
        const std::uintptr_t base =
            reinterpret_cast<std::uintptr_t>(pixels_.data()) -
            static_cast<std::uintptr_t>(static_cast<std::intptr_t>(data_.min.x)) * 4 * sizeof(float) -
            static_cast<std::uintptr_t>(static_cast<std::intptr_t>(first_)) * rowBytes;
        Imf::FrameBuffer frameBuffer;
        auto insert = [&](const char *name, int place, double fill) {
            frameBuffer.insert(layer_ + name,
                               Imf::Slice(Imf::FLOAT,
                                          reinterpret_cast<char *>(base + place * sizeof(float)),
                                          4 * sizeof(float), rowBytes, 1, 1, fill));
        };
        if (luminance_) {
            insert("Y", 0, 0.0);
        } else {
            insert("R", 0, 0.0);
            insert("G", 1, 0.0);
            insert("B", 2, 0.0);
        }
        insert("A", 3, 1.0);
        part_.setFrameBuffer(frameBuffer);
        part_.readPixels(first_, last_);
        if (luminance_) {
            const std::size_t end = static_cast<std::size_t>(last_ - first_ + 1) * width_ * 4;
            for (std::size_t i = 0; i < end; i += 4)
                pixels_[i + 1] = pixels_[i + 2] = pixels_[i];
        }
    }

    Imf::MultiPartInputFile file_;
    Imf::InputPart part_;
    bool deep_;
    std::string layer_;
    int rowsPerBlock_;
    bool luminance_ = false;
    Imath::Box2i data_;
    std::size_t width_ = 0;
    int first_ = 1, last_ = 0; // the rows in pixels_; none yet
    std::vector<float> pixels_;
};

// Luminance with chroma, which only the library's RGBA reading turns into
// colours (its samples are half).
class ChromaRows final : public RowSource {
public:
    ChromaRows(Imf::IStream &stream, const std::string &layer)
        : file_(stream, layer.empty() ? std::string() : layer.substr(0, layer.size() - 1),
                Imf::globalThreadCount())
    {
        const Imath::Box2i data = file_.dataWindow();
        const std::size_t width = static_cast<std::size_t>(std::int64_t(data.max.x) - data.min.x + 1);
        halfs_.resize(width);
        pixels_.resize(width * 4);
        const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(halfs_.data()) -
                                    static_cast<std::uintptr_t>(static_cast<std::intptr_t>(data.min.x)) *
                                        sizeof(Imf::Rgba);
        file_.setFrameBuffer(reinterpret_cast<Imf::Rgba *>(base), 1, 0);
    }

    const Imf::Header &header() const override { return file_.header(); }
    bool complete() const override { return file_.isComplete(); }

    const float *row(int y) override
    {
        file_.readPixels(y);
        for (std::size_t i = 0; i < halfs_.size(); ++i) {
            pixels_[i * 4] = halfs_[i].r;
            pixels_[i * 4 + 1] = halfs_[i].g;
            pixels_[i * 4 + 2] = halfs_[i].b;
            pixels_[i * 4 + 3] = halfs_[i].a;
        }
        return pixels_.data();
    }

private:
    Imf::RgbaInputFile file_;
    std::vector<Imf::Rgba> halfs_;
    std::vector<float> pixels_;
};

} // namespace

OpenEXRLoader::OpenEXRLoader(int version, LWImageLoaderLocal *access)
    : ImageLoaderHandler(version, access)
{
}

int OpenEXRLoader::load(const std::string &fileName)
{
    if (!isOpenEXRFile(fileName))
        return IPSTAT_NOREC;

    // One stream for judging the headers and for the library, so both see
    // the same bytes.
    auto stream = withInputPrefix(fileName, [&] {
        return std::make_unique<Imf::Win32IFStream>(fileName);
    });
    LoaderChoice choice;
    bool deep = false, chroma = false;
    int rowsPerBlock = 1;
    const bool complete = withInputPrefix(fileName, [&] {
        const ExrLayout layout = readExrLayout(*stream, fileSizeOf(fileName));
        if (assessExrLayout(layout) != LayoutVerdict::Readable)
            return false;
        choice = chooseLoaderChannels(layout);
        const ExrPartLayout &part = layout.parts[choice.part];
        checkPartForReading(layout, part);
        if (!chunkTablesComplete(*stream, layout, &part))
            return false;
        deep = layout.partDeep(part);
        // The rows the file stores together (their memory is within the
        // bounds just checked); deep rows are composited one at a time.
        rowsPerBlock = deep                     ? 1
                       : layout.partTiled(part) ? static_cast<int>(part.tileHeight)
                                                : linesPerChunk(part.compression);
        // Files of one row per chunk are still read a few rows at a time,
        // as long as that stays small.
        const std::uint64_t rowBytes =
            (std::uint64_t(std::int64_t(part.dataWindow.max.x) - part.dataWindow.min.x) + 1) * 16;
        if (!deep && rowsPerBlock < kRowsPerSmallBlock && rowBytes * kRowsPerSmallBlock <= kSmallBlockBytes)
            rowsPerBlock = kRowsPerSmallBlock;
        const std::int64_t dataRows = std::int64_t(part.dataWindow.max.y) - part.dataWindow.min.y + 1;
        rowsPerBlock = static_cast<int>(std::min<std::int64_t>(rowsPerBlock, dataRows));
        chroma = (loaderChannelSet(namesOf(part), choice.layer) & kBitChroma) != 0;
        if (chroma && choice.part != 0)
            throw ExrLayoutError("Its luminance-chroma channels are in part " +
                                 std::to_string(choice.part) +
                                 "; they can be loaded only from the first part.");
        // The host allocates the whole image when it is asked for one.
        checkImageArea(part.displayWindow, maxImagePixels());
        stream->seekg(0);
        stream->clear();
        return true;
    });
    if (!complete)
        return IPSTAT_BADFILE;

    std::unique_ptr<RowSource> source;
    if (chroma)
        source = std::make_unique<ChromaRows>(*stream, choice.layer);
    else
        source = std::make_unique<FloatRows>(*stream, choice, deep, rowsPerBlock);
    if (!source->complete())
        return IPSTAT_BADFILE;

    const Imf::Header &header = source->header();
    const Imath::Box2i data = header.dataWindow();
    const Imath::Box2i display = header.displayWindow();
    std::vector<std::string> names;
    for (auto it = header.channels().begin(); it != header.channels().end(); ++it)
        names.push_back(it.name());
    const int type = loaderImageType(loaderChannelSet(names, choice.layer));
    if (!beginImage(type))
        return IPSTAT_FAILED;

    const Span rows = overlap(data.min.y, data.max.y, display.min.y, display.max.y);
    const Span columns = overlap(data.min.x, data.max.x, display.min.x, display.max.x);
    startProgress(static_cast<unsigned int>(rows.count()));

    const int width = display.max.x - display.min.x + 1;
    const int height = display.max.y - display.min.y + 1;
    setSize(width, height);
    sendHeaderFacts(header, width, height);

    const int per = floatsPerPixel(type);
    // An RGBA image whose data covers the display window's columns exactly
    // is sent straight from the rows read.
    const bool direct = per == 4 && data.min.x == display.min.x && data.max.x == display.max.x;
    // Columns without data stay 0 in every row.
    std::vector<float> line(direct ? 0 : static_cast<std::size_t>(width) * per, 0.0f);
    for (int y = rows.first; y <= rows.last; ++y) {
        const float *pixels = source->row(y);
        if (!direct && columns.count() > 0) {
            const float *p = pixels + static_cast<std::size_t>(columns.first - data.min.x) * 4;
            float *out = &line[static_cast<std::size_t>(columns.first - display.min.x) * per];
            for (int x = columns.first; x <= columns.last; ++x, p += 4, out += per)
                std::copy(p, p + per, out);
        }
        if (const int code = sendLine(y - display.min.y, direct ? pixels : line.data()))
            return code;
        if (!stepProgress())
            return IPSTAT_ABORT;
    }
    return IPSTAT_OK;
}

void OpenEXRLoader::sendHeaderFacts(const Imf::Header &header, int width, int height)
{
    metadata_ = RenderMetadata(header);
    for (const HostMetadataItem &item : metadata_.hostItems())
        sendMetadata(item.tag, item.text);
    sendMetadata(LWIMMETA_WIDTH, std::to_string(width));
    sendMetadata(LWIMMETA_HEIGHT, std::to_string(height));
    if (version() >= 3)
        sendMetadata(LWIMMETA_VERSION, "1.0");
    const float aspect = header.pixelAspectRatio();
    if (version() >= 3)
        sendMetadata(LWIMMETA_PIXELASPECT, shortestText(aspect));
    else
        setParameter(LWIMPAR_ASPECT, 0, aspect);
}

namespace {
ServerRegistration loaderServer(kLoaderPosition, LWIMAGELOADER_CLASS, "LW_OpenEXR",
                                hostkit::ImageLoaderAdaptor<OpenEXRLoader>::activate,
                                kImageIOTags);
} // namespace

} // namespace ravelcast
