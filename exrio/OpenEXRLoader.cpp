#include "exrio/OpenEXRLoader.h"

#include <algorithm>
#include <cstdint>
#include <locale>
#include <memory>
#include <sstream>
#include <vector>

#include <ImfRgba.h>
#include <ImfRgbaFile.h>
#include <ImfThreading.h>

#include "exrio/ExrLayout.h"
#include "exrio/OpenEXRFileTest.h"
#include "exrio/PlatformFile.h"
#include "exrio/StreamFailure.h"
#include "exrio/Win32IFStream.h"
#include "module/ServerRegistry.h"
#include "module/ServerTags.h"

namespace ravelcast {

namespace {

enum ChannelBit { kBitR = 1, kBitG = 2, kBitB = 4, kBitA = 8, kBitY = 16, kBitChroma = 32 };

std::string numberText(double value)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

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
    PlatformFile file;
    std::uint64_t size = 0;
    if (!file.openForReading(fileName) || !file.size(&size))
        throw Iex::InputExc("Cannot tell the file's size: " +
                            PlatformFile::errorText(file.error()));
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

int loaderChannelSet(const Imf::ChannelList &channels)
{
    int set = 0;
    for (auto it = channels.begin(); it != channels.end(); ++it) {
        const std::string name = it.name();
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
    const bool complete = withInputPrefix(fileName, [&] {
        const ExrLayout layout = readExrLayout(*stream, fileSizeOf(fileName));
        if (assessExrLayout(layout) != LayoutVerdict::Readable ||
            !chunkTablesComplete(*stream, layout))
            return false;
        // The host allocates the whole image when it is asked for one.
        checkImageArea(layout.parts.front().displayWindow, maxImagePixels());
        return true;
    });
    if (!complete)
        return IPSTAT_BADFILE;
    withInputPrefix(fileName, [&] {
        stream->seekg(0);
        stream->clear();
        return 0;
    });

    Imf::RgbaInputFile file(*stream, Imf::globalThreadCount());
    if (!file.isComplete())
        return IPSTAT_BADFILE;

    const Imath::Box2i data = file.dataWindow();
    const Imath::Box2i display = file.displayWindow();
    const int type = loaderImageType(loaderChannelSet(file.header().channels()));
    if (!beginImage(type))
        return IPSTAT_FAILED;

    const Span rows = overlap(data.min.y, data.max.y, display.min.y, display.max.y);
    const Span columns = overlap(data.min.x, data.max.x, display.min.x, display.max.x);
    startProgress(static_cast<unsigned int>(rows.count()));

    const int width = display.max.x - display.min.x + 1;
    const int height = display.max.y - display.min.y + 1;
    setSize(width, height);
    sendHeaderFacts(file.header(), width, height);
    if (rows.count() == 0)
        return IPSTAT_OK;

    // One line across the data window, used for every row (y stride 0).
    // Its base is placed so that the data window's first column lands on
    // its first pixel; the arithmetic is done on addresses, since that base
    // lies outside the line.
    const std::size_t dataWidth = static_cast<std::size_t>(std::int64_t(data.max.x) - data.min.x + 1);
    std::vector<Imf::Rgba> pixels(dataWidth);
    const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(pixels.data()) -
                                static_cast<std::uintptr_t>(static_cast<std::intptr_t>(data.min.x)) *
                                    sizeof(Imf::Rgba);
    file.setFrameBuffer(reinterpret_cast<Imf::Rgba *>(base), 1, 0);

    const int per = floatsPerPixel(type);
    std::vector<float> line(static_cast<std::size_t>(width) * per);
    for (int y = rows.first; y <= rows.last; ++y) {
        file.readPixels(y);
        std::fill(line.begin(), line.end(), 0.0f);
        for (int x = columns.first; x <= columns.last; ++x) {
            const Imf::Rgba &p = pixels[static_cast<std::size_t>(x - data.min.x)];
            float *out = &line[static_cast<std::size_t>(x - display.min.x) * per];
            out[0] = p.r; // holds Y for a grey file
            if (per >= 3) {
                out[1] = p.g;
                out[2] = p.b;
            }
            if (per == 4)
                out[3] = p.a;
        }
        if (const int code = sendLine(y - display.min.y, line.data()))
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
    sendMetadata(LWIMMETA_WIDTH, numberText(width));
    sendMetadata(LWIMMETA_HEIGHT, numberText(height));
    if (version() >= 3)
        sendMetadata(LWIMMETA_VERSION, "1.0");
    const float aspect = header.pixelAspectRatio();
    if (version() >= 3)
        sendMetadata(LWIMMETA_PIXELASPECT, numberText(aspect));
    else
        setParameter(LWIMPAR_ASPECT, 0, aspect);
}

namespace {
ServerRegistration loaderServer(kLoaderPosition, LWIMAGELOADER_CLASS, "LW_OpenEXR",
                                hostkit::ImageLoaderAdaptor<OpenEXRLoader>::activate,
                                kImageIOTags);
} // namespace

} // namespace ravelcast
