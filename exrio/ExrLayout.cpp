#include "exrio/ExrLayout.h"
#include "exrio/ExrLayoutDetail.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <ImfVersion.h>

namespace ravelcast {

namespace {
using namespace layoutdetail;
} // namespace


std::uint64_t maxImagePixels()
{
    const char *text = std::getenv(kMaxImagePixelsVariable);
    if (!text || *text < '0' || *text > '9')
        return kDefaultMaxImagePixels;
    char *end = nullptr;
    errno = 0;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || value == 0)
        return kDefaultMaxImagePixels;
    return static_cast<std::uint64_t>(value);
}

void checkImageArea(const Imath::Box2i &displayWindow, std::uint64_t maxPixels)
{
    const std::uint64_t pixels =
        emptyWindow(displayWindow)
            ? 0
            : satMul(windowWidth(displayWindow), windowHeight(displayWindow));
    if (pixels > maxPixels)
        throw ExrLayoutError("Its display window " + windowText(displayWindow) + " has " +
                             std::to_string(pixels) + " pixels, more than the " +
                             std::to_string(maxPixels) + " an image may have (set " +
                             kMaxImagePixelsVariable + " to allow more).");
}

bool ExrLayout::tiledFlag() const { return (version & Imf::TILED_FLAG) != 0; }
bool ExrLayout::multiPart() const { return (version & Imf::MULTI_PART_FILE_FLAG) != 0; }

bool ExrLayout::partDeep(const ExrPartLayout &part) const
{
    if (part.type == "deepscanline" || part.type == "deeptile")
        return true;
    return !multiPart() && (version & Imf::NON_IMAGE_FLAG) != 0;
}

bool ExrLayout::partTiled(const ExrPartLayout &part) const
{
    if (part.type == "deeptile")
        return true;
    if (multiPart() || partDeep(part))
        return part.type == "tiledimage";
    return tiledFlag();
}

int linesPerChunk(int compression)
{
    static const int kLines[] = {1, 1, 1, 16, 32, 16, 32, 32, 32, 256};
    return compression >= 0 && compression < 10 ? kLines[compression] : 1;
}


std::uint64_t expectedChunkCount(const ExrPartLayout &part, bool tiled)
{
    if (emptyWindow(part.dataWindow))
        return 0;
    const std::uint64_t w = windowWidth(part.dataWindow);
    const std::uint64_t h = windowHeight(part.dataWindow);
    if (!tiled)
        return ceilDiv(h, static_cast<std::uint64_t>(linesPerChunk(part.compression)));
    if (part.tileWidth == 0 || part.tileHeight == 0)
        return 0;
    const auto tilesAcross = [&](std::uint64_t size, int level, std::uint64_t tile) {
        return ceilDiv(levelSize(size, level, part.roundingMode), tile);
    };
    const auto levels = [&](std::uint64_t size) {
        return (part.roundingMode == 1 ? ceilLog2(size) : floorLog2(size)) + 1;
    };
    switch (part.levelMode) {
    case 0: return satMul(ceilDiv(w, part.tileWidth), ceilDiv(h, part.tileHeight));
    case 1: {
        std::uint64_t total = 0;
        for (int l = 0; l < levels(std::max(w, h)); ++l)
            total = satAdd(total, satMul(tilesAcross(w, l, part.tileWidth),
                                         tilesAcross(h, l, part.tileHeight)));
        return total;
    }
    case 2: {
        std::uint64_t across = 0, down = 0;
        for (int l = 0; l < levels(w); ++l)
            across = satAdd(across, tilesAcross(w, l, part.tileWidth));
        for (int l = 0; l < levels(h); ++l)
            down = satAdd(down, tilesAcross(h, l, part.tileHeight));
        return satMul(across, down);
    }
    default: return 0;
    }
}

LayoutVerdict assessExrLayout(const ExrLayout &layout)
{
    std::uint64_t chunks = 0;
    for (const ExrPartLayout &part : layout.parts) {
        if (!part.hasDataWindow || !part.hasDisplayWindow)
            damaged(std::string("it has no ") + (part.hasDataWindow ? "display" : "data") +
                    " window");
        if (emptyWindow(part.dataWindow))
            damaged("its data window " + windowText(part.dataWindow) + " is empty");
        if (emptyWindow(part.displayWindow))
            damaged("its display window " + windowText(part.displayWindow) + " is empty");
        for (const Imath::Box2i *w : {&part.dataWindow, &part.displayWindow})
            if (windowWidth(*w) > kMaxWindowSide || windowHeight(*w) > kMaxWindowSide)
                throw ExrLayoutError(std::string("Its ") +
                                     (w == &part.dataWindow ? "data" : "display") + " window " +
                                     windowText(*w) + " is too large to load (at most " +
                                     std::to_string(kMaxWindowSide) + " pixels a side).");
        if (layout.partDeep(part) && part.type != "deepscanline" && part.type != "deeptile")
            damaged("it is marked as holding deep data but names no deep part type");
        const bool tiled = layout.partTiled(part);
        if (tiled) {
            if (!part.hasTiles)
                damaged("it is tiled but has no tile description");
            if (part.tileWidth == 0 || part.tileHeight == 0)
                damaged("its tiles are " + std::to_string(part.tileWidth) + " x " +
                        std::to_string(part.tileHeight) + " pixels");
            if (part.levelMode > 2 || part.roundingMode > 1)
                damaged("its tiles have an unknown level or rounding mode");
        }
        if (part.hasChunkCount && part.chunkCount < 0)
            damaged("it claims " + std::to_string(part.chunkCount) + " chunks");
        // The larger of what the windows imply and what the file claims:
        // either may be what a reader allocates.
        const std::uint64_t count =
            std::max(expectedChunkCount(part, tiled), tableEntries(layout, part));
        chunks = satAdd(chunks, count);
    }
    // Every chunk has an 8-byte entry in the offset tables right after the
    // headers; a file too short for them cannot be complete, and the
    // library would allocate them before finding that out.
    if (satMul(chunks, 8) > layout.fileSize - layout.headerEnd)
        return LayoutVerdict::Incomplete;
    return LayoutVerdict::Readable;
}

void checkPartForReading(const ExrLayout &layout, const ExrPartLayout &part)
{
    const bool tiled = layout.partTiled(part);
    if (layout.partDeep(part)) {
        if (tiled)
            throw ExrLayoutError("It holds deep tiled data, which cannot be loaded as an image "
                                 "(deep scan-line data can).");
        const bool depth = std::any_of(part.channels.begin(), part.channels.end(),
                                       [](const ExrChannelLayout &c) { return c.name == "Z"; });
        if (!depth)
            throw ExrLayoutError("It holds deep data without a \"Z\" channel, which cannot be "
                                 "flattened into an image.");
    }

    // What reading one block of rows holds at once: the file's samples (for
    // deep data their count table; the samples themselves are bounded
    // chunk by chunk) and a line of RGBA floats, across the data window.
    std::uint64_t pixelBytes = 16;
    bool chroma = false;
    for (const ExrChannelLayout &c : part.channels) {
        pixelBytes += layout.partDeep(part) ? 4 : sampleBytes(c.pixelType);
        chroma = chroma || c.name == "RY" || c.name == "BY" ||
                 (c.name.size() > 3 && (c.name.compare(c.name.size() - 3, 3, ".RY") == 0 ||
                                        c.name.compare(c.name.size() - 3, 3, ".BY") == 0));
    }
    std::uint64_t rows = tiled ? part.tileHeight
                               : static_cast<std::uint64_t>(linesPerChunk(part.compression));
    if (chroma)
        rows = std::max<std::uint64_t>(rows, 32); // the chroma filter's window
    const std::uint64_t blockBytes =
        satMul(satMul(windowWidth(part.dataWindow), pixelBytes), rows);
    if (blockBytes > kMaxChunkBytes)
        tooLarge("Its data window " + windowText(part.dataWindow), blockBytes);
    if (tiled) {
        const std::uint64_t tileBytes =
            satMul(satMul(part.tileWidth, part.tileHeight), pixelBytes);
        if (tileBytes > kMaxChunkBytes)
            tooLarge("Its tile size", tileBytes);
    }
    const std::uint64_t lineBytes = satMul(windowWidth(part.displayWindow), 16);
    if (lineBytes > kMaxChunkBytes)
        tooLarge("Its display window " + windowText(part.displayWindow), lineBytes);
}

std::uint64_t tableEntries(const ExrLayout &layout, const ExrPartLayout &part)
{
    if (layout.multiPart() && part.hasChunkCount)
        return part.chunkCount < 0 ? 0 : static_cast<std::uint64_t>(part.chunkCount);
    return expectedChunkCount(part, layout.partTiled(part));
}

namespace {

std::uint64_t littleEndian(const unsigned char *b, int bytes)
{
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | b[i];
    return v;
}

} // namespace

bool chunkTablesComplete(Imf::IStream &in, const ExrLayout &layout, const ExrPartLayout *reading)
{
    std::uint64_t entries = 0;
    for (const ExrPartLayout &part : layout.parts)
        entries = satAdd(entries, tableEntries(layout, part));
    const std::uint64_t firstChunk = layout.headerEnd + satMul(entries, 8);
    if (firstChunk > layout.fileSize)
        return false;

    // The entries, bounded by the file's size (checked above).
    std::vector<std::uint64_t> offsets(static_cast<std::size_t>(entries));
    in.seekg(layout.headerEnd);
    constexpr std::uint64_t kBatch = 4096;
    std::vector<unsigned char> bytes(kBatch * 8);
    for (std::uint64_t done = 0; done < entries;) {
        const std::uint64_t n = std::min(kBatch, entries - done);
        in.read(reinterpret_cast<char *>(bytes.data()), static_cast<int>(n * 8));
        for (std::uint64_t i = 0; i < n; ++i)
            offsets[static_cast<std::size_t>(done + i)] = littleEndian(&bytes[i * 8], 8);
        done += n;
    }

    // Each chunk starts with its part number (multi-part files), its row
    // (or tile coordinates and levels) and its data size; a deep chunk
    // has the sizes of its packed count table, its packed samples and its
    // unpacked samples instead. The data must end inside the file.
    std::size_t at = 0;
    for (const ExrPartLayout &part : layout.parts) {
        const bool deep = layout.partDeep(part);
        const std::uint64_t fields =
            (layout.multiPart() ? 4u : 0u) + (layout.partTiled(part) ? 16u : 4u);
        const std::uint64_t sizes = deep ? 24u : 4u;
        const std::uint64_t count = tableEntries(layout, part);
        for (std::uint64_t k = 0; k < count; ++k, ++at) {
            const std::uint64_t offset = offsets[at];
            if (offset < firstChunk || offset > layout.fileSize ||
                layout.fileSize - offset < fields + sizes)
                return false;
            in.seekg(offset + fields);
            unsigned char size[24];
            in.read(reinterpret_cast<char *>(size), static_cast<int>(sizes));
            const std::uint64_t left = layout.fileSize - offset - fields - sizes;
            if (!deep) {
                const auto dataSize = static_cast<std::int32_t>(littleEndian(size, 4));
                if (dataSize < 0 || static_cast<std::uint64_t>(dataSize) > left)
                    return false;
                continue;
            }
            const std::uint64_t table = littleEndian(size, 8);
            const std::uint64_t packed = littleEndian(size + 8, 8);
            const std::uint64_t unpacked = littleEndian(size + 16, 8);
            if (table > left || packed > left - table)
                return false;
            if (&part == reading && unpacked > kMaxChunkBytes)
                tooLarge("A block of its deep samples", unpacked);
        }
    }
    return true;
}

} // namespace ravelcast
