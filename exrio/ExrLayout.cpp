#include "exrio/ExrLayout.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include <ImfVersion.h>

namespace ravelcast {

namespace {

constexpr std::uint64_t kSaturated = std::uint64_t(1) << 62;
constexpr std::size_t kMaxNameLength = 255; // the library's longest name

std::uint64_t satMul(std::uint64_t a, std::uint64_t b)
{
    if (a == 0 || b == 0)
        return 0;
    if (a > kSaturated / b)
        return kSaturated;
    return std::min(a * b, kSaturated);
}

std::uint64_t satAdd(std::uint64_t a, std::uint64_t b) { return std::min(a + b, kSaturated); }

[[noreturn]] void damaged(const std::string &why)
{
    throw ExrLayoutError("Its header is damaged: " + why + ".");
}

std::string quoted(const std::string &s) { return "\"" + s + "\""; }

// Reads the header through the stream, keeping its own position so that no
// claim is believed beyond the bytes the file holds. The bytes are taken
// through a window of the file read a block at a time: headers are mostly
// short names and numbers.
class HeaderReader {
public:
    HeaderReader(Imf::IStream &in, std::uint64_t size) : in_(in), size_(size) {}

    std::uint64_t position() const { return position_; }
    std::uint64_t left() const { return size_ - position_; }

    void bytes(char *out, std::uint64_t n, const char *what)
    {
        if (n > left())
            damaged(std::string("the file ends inside ") + what);
        while (n > 0) {
            if (!inWindow()) {
                if (n >= kWindowBytes) {
                    // Large values go straight to their place.
                    seekStream();
                    const int chunk = static_cast<int>(std::min<std::uint64_t>(n, INT_MAX));
                    in_.read(out, chunk);
                    streamAt_ += static_cast<std::uint64_t>(chunk);
                    out += chunk;
                    n -= static_cast<std::uint64_t>(chunk);
                    position_ += static_cast<std::uint64_t>(chunk);
                    continue;
                }
                fillWindow();
            }
            const std::size_t at = static_cast<std::size_t>(position_ - windowStart_);
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(n, window_.size() - at));
            std::memcpy(out, window_.data() + at, take);
            out += take;
            n -= take;
            position_ += take;
        }
    }

    std::vector<char> block(std::uint64_t n, const char *what)
    {
        std::vector<char> out(static_cast<std::size_t>(n));
        bytes(out.data(), n, what);
        return out;
    }

    void skip(std::uint64_t n, const char *what)
    {
        if (n > left())
            damaged(std::string("the file ends inside ") + what);
        position_ += n;
    }

    std::uint32_t u32(const char *what)
    {
        unsigned char b[4];
        bytes(reinterpret_cast<char *>(b), 4, what);
        return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
               std::uint32_t(b[3]) << 24;
    }

    std::int32_t i32(const char *what) { return static_cast<std::int32_t>(u32(what)); }

    // A zero-terminated name of at most kMaxNameLength characters.
    std::string name(const char *what)
    {
        std::string out;
        for (;;) {
            char c;
            if (inWindow() && left() > 0)
                c = window_[static_cast<std::size_t>(position_++ - windowStart_)];
            else
                bytes(&c, 1, what);
            if (c == '\0')
                return out;
            if (out.size() == kMaxNameLength)
                damaged(std::string("a ") + what + " is longer than " +
                        std::to_string(kMaxNameLength) + " characters");
            out.push_back(c);
        }
    }

private:
    static constexpr std::uint64_t kWindowBytes = std::uint64_t(64) << 10;

    bool inWindow() const
    {
        return position_ >= windowStart_ && position_ < windowStart_ + window_.size();
    }

    void seekStream()
    {
        if (streamAt_ != position_) {
            in_.seekg(position_);
            streamAt_ = position_;
        }
    }

    // The window from the position on, never past the end of the file, so
    // the stream is never asked for bytes the file does not hold.
    void fillWindow()
    {
        seekStream();
        window_.resize(static_cast<std::size_t>(std::min(kWindowBytes, left())));
        in_.read(window_.data(), static_cast<int>(window_.size()));
        windowStart_ = position_;
        streamAt_ += window_.size();
    }

    Imf::IStream &in_;
    std::uint64_t size_;
    std::uint64_t position_ = 0;
    std::uint64_t streamAt_ = 0; // the stream's own position
    std::vector<char> window_;
    std::uint64_t windowStart_ = 0;
};

// A value already read into memory, taken apart without running past it.
class ValueReader {
public:
    ValueReader(const std::vector<char> &bytes, const std::string &attribute)
        : bytes_(bytes), attribute_(attribute)
    {
    }
    std::size_t left() const { return bytes_.size() - at_; }
    bool atEnd() const { return at_ == bytes_.size(); }

    std::uint32_t u32()
    {
        need(4);
        const auto *b = reinterpret_cast<const unsigned char *>(bytes_.data() + at_);
        at_ += 4;
        return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
               std::uint32_t(b[3]) << 24;
    }
    std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
    std::uint8_t u8()
    {
        need(1);
        return static_cast<std::uint8_t>(bytes_[at_++]);
    }
    void skip(std::size_t n)
    {
        need(n);
        at_ += n;
    }
    std::string name()
    {
        std::string out;
        for (;;) {
            const char c = static_cast<char>(u8());
            if (c == '\0')
                return out;
            if (out.size() == kMaxNameLength)
                damaged("a name in " + quoted(attribute_) + " is too long");
            out.push_back(c);
        }
    }

private:
    void need(std::size_t n) const
    {
        if (n > left())
            damaged("the value of " + quoted(attribute_) + " is shorter than it claims");
    }
    const std::vector<char> &bytes_;
    std::string attribute_;
    std::size_t at_ = 0;
};

void expectType(const std::string &name, const std::string &type, const char *wanted,
                std::int32_t size, std::int32_t wantedSize)
{
    if (type != wanted)
        damaged(quoted(name) + " is of type " + quoted(type) + " instead of " + quoted(wanted));
    if (wantedSize >= 0 && size != wantedSize)
        damaged(quoted(name) + " holds " + std::to_string(size) + " bytes instead of " +
                std::to_string(wantedSize));
}

Imath::Box2i box(HeaderReader &r)
{
    Imath::Box2i b;
    b.min.x = r.i32("a window");
    b.min.y = r.i32("a window");
    b.max.x = r.i32("a window");
    b.max.y = r.i32("a window");
    return b;
}

std::vector<ExrChannelLayout> channelList(const std::vector<char> &bytes)
{
    ValueReader v(bytes, "channels");
    std::vector<ExrChannelLayout> out;
    for (;;) {
        ExrChannelLayout c;
        c.name = v.name();
        if (c.name.empty())
            break;
        c.pixelType = v.i32();
        v.skip(4); // linear flag and reserved bytes
        c.xSampling = v.i32();
        c.ySampling = v.i32();
        out.push_back(std::move(c));
    }
    if (!v.atEnd())
        damaged("\"channels\" holds bytes after its end");
    return out;
}

// Checks a string vector's lengths; answers its first string ("" when it
// has none).
std::string checkStringVector(const std::string &name, const std::vector<char> &bytes)
{
    ValueReader v(bytes, name);
    std::string first;
    bool any = false;
    while (!v.atEnd()) {
        const std::int32_t length = v.i32();
        if (length < 0 || static_cast<std::size_t>(length) > v.left())
            damaged("a string of " + quoted(name) + " claims " + std::to_string(length) +
                    " bytes, more than the attribute holds");
        const std::size_t at = bytes.size() - v.left();
        if (!any)
            first.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                         bytes.begin() + static_cast<std::ptrdiff_t>(at + static_cast<std::size_t>(length)));
        any = true;
        v.skip(static_cast<std::size_t>(length));
    }
    return first;
}

// The size of the attribute types the library reads at a fixed size; -1
// for the others (they hold what their size says).
std::int32_t naturalSize(const std::string &type)
{
    static const std::pair<const char *, std::int32_t> kSizes[] = {
        {"box2i", 16},   {"box2f", 16},    {"chromaticities", 32}, {"compression", 1},
        {"double", 8},   {"envmap", 1},    {"float", 4},           {"int", 4},
        {"keycode", 28}, {"lineOrder", 1}, {"m33f", 36},           {"m33d", 72},
        {"m44f", 64},    {"m44d", 128},    {"rational", 8},        {"tiledesc", 9},
        {"timecode", 8}, {"v2i", 8},       {"v2f", 8},             {"v2d", 16},
        {"v3i", 12},     {"v3f", 12},      {"v3d", 24},            {"deepImageState", 1},
    };
    for (const auto &[name, size] : kSizes)
        if (type == name)
            return size;
    return -1;
}

void readAttribute(HeaderReader &r, ExrPartLayout &part, const std::string &name)
{
    const std::string type = r.name("attribute type name");
    const std::int32_t size = r.i32("an attribute size");
    if (size < 0)
        damaged(quoted(name) + " claims a negative size");
    if (static_cast<std::uint64_t>(size) > r.left())
        damaged(quoted(name) + " claims " + std::to_string(size) + " bytes, but only " +
                std::to_string(r.left()) + " are left in the file");
    const auto bytes = static_cast<std::uint64_t>(size);

    if (name == "dataWindow" || name == "displayWindow") {
        expectType(name, type, "box2i", size, 16);
        const Imath::Box2i b = box(r);
        if (name == "dataWindow") {
            part.dataWindow = b;
            part.hasDataWindow = true;
        } else {
            part.displayWindow = b;
            part.hasDisplayWindow = true;
        }
    } else if (name == "channels") {
        expectType(name, type, "chlist", size, -1);
        part.channels = channelList(r.block(bytes, "the channel list"));
    } else if (name == "compression") {
        expectType(name, type, "compression", size, 1);
        char c;
        r.bytes(&c, 1, "the compression");
        part.compression = static_cast<unsigned char>(c);
        part.hasCompression = true;
    } else if (name == "tiles") {
        expectType(name, type, "tiledesc", size, 9);
        part.tileWidth = r.u32("the tile description");
        part.tileHeight = r.u32("the tile description");
        char mode;
        r.bytes(&mode, 1, "the tile description");
        part.levelMode = static_cast<unsigned char>(mode) & 0x0F;
        part.roundingMode = (static_cast<unsigned char>(mode) >> 4) & 0x0F;
        part.hasTiles = true;
    } else if (name == "chunkCount") {
        expectType(name, type, "int", size, 4);
        part.chunkCount = r.i32("the chunk count");
        part.hasChunkCount = true;
    } else if (name == "type") {
        expectType(name, type, "string", size, -1);
        const std::vector<char> text = r.block(bytes, "the part type");
        part.type.assign(text.begin(), text.end());
    } else if (type == "preview") {
        // The library allocates the claimed picture before reading it.
        if (size < 8)
            damaged(quoted(name) + " is too short for a preview image");
        const std::uint64_t w = r.u32("a preview image");
        const std::uint64_t h = r.u32("a preview image");
        if (satMul(satMul(w, h), 4) != bytes - 8)
            damaged("the preview image " + quoted(name) + " claims " + std::to_string(w) +
                    " x " + std::to_string(h) + " pixels in " + std::to_string(bytes - 8) +
                    " bytes");
        r.skip(bytes - 8, "a preview image");
    } else if (name == "view" && type == "string") {
        const std::vector<char> text = r.block(bytes, "the view name");
        part.view.assign(text.begin(), text.end());
    } else if (type == "stringvector") {
        const std::string first = checkStringVector(name, r.block(bytes, "a string vector"));
        if (name == "multiView")
            part.defaultView = first;
    } else {
        // The library reads attributes of these types by their natural size
        // whatever size they claim; a header that claims another would be
        // parsed from a different place by the library than here.
        const std::int32_t natural = naturalSize(type);
        if (natural >= 0 && size != natural)
            damaged(quoted(name) + " of type " + quoted(type) + " holds " + std::to_string(size) +
                    " bytes instead of " + std::to_string(natural));
        r.skip(bytes, "an attribute");
    }
}

// One header: attributes until an empty name. Answers false when the
// header was empty (the end of a multi-part file's headers).
bool readHeader(HeaderReader &r, ExrPartLayout &part)
{
    bool any = false;
    for (;;) {
        const std::string name = r.name("attribute name");
        if (name.empty())
            return any;
        any = true;
        readAttribute(r, part, name);
    }
}

int floorLog2(std::uint64_t x)
{
    int y = 0;
    while (x > 1) {
        x >>= 1;
        ++y;
    }
    return y;
}

int ceilLog2(std::uint64_t x)
{
    const int f = floorLog2(x);
    return (std::uint64_t(1) << f) == x ? f : f + 1;
}

std::uint64_t levelSize(std::uint64_t size, int level, int rounding)
{
    if (level >= 63)
        return 1;
    const std::uint64_t b = std::uint64_t(1) << level;
    std::uint64_t s = size / b;
    if (rounding == 1 && s * b < size)
        ++s;
    return std::max<std::uint64_t>(s, 1);
}

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return a / b + (a % b ? 1 : 0); }

std::uint64_t windowWidth(const Imath::Box2i &b)
{
    return static_cast<std::uint64_t>(std::int64_t(b.max.x) - b.min.x + 1);
}

std::uint64_t windowHeight(const Imath::Box2i &b)
{
    return static_cast<std::uint64_t>(std::int64_t(b.max.y) - b.min.y + 1);
}

bool emptyWindow(const Imath::Box2i &b) { return b.max.x < b.min.x || b.max.y < b.min.y; }

std::string windowText(const Imath::Box2i &b)
{
    std::ostringstream s;
    s << "(" << b.min.x << ", " << b.min.y << ") - (" << b.max.x << ", " << b.max.y << ")";
    return s.str();
}

std::uint64_t sampleBytes(int pixelType) { return pixelType == 1 ? 2 : 4; }

std::string mebibytes(std::uint64_t bytes)
{
    return std::to_string((bytes + (std::uint64_t(1) << 20) - 1) >> 20) + " MiB";
}

[[noreturn]] void tooLarge(const std::string &what, std::uint64_t bytes)
{
    throw ExrLayoutError(what + " is too large to load: it would need " + mebibytes(bytes) +
                         " for one block of rows (at most " + mebibytes(kMaxChunkBytes) + ").");
}

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

ExrLayout readExrLayout(Imf::IStream &in, std::uint64_t fileSize)
{
    HeaderReader r(in, fileSize);
    ExrLayout layout;
    layout.fileSize = fileSize;
    if (r.u32("the magic number") != static_cast<std::uint32_t>(Imf::MAGIC))
        damaged("it does not start with the OpenEXR magic number");
    layout.version = r.u32("the version field");
    const int number = Imf::getVersion(static_cast<int>(layout.version));
    if (number != Imf::EXR_VERSION)
        damaged("it is of file format version " + std::to_string(number) +
                ", which cannot be read");
    if (!Imf::supportsFlags(Imf::getFlags(static_cast<int>(layout.version))))
        damaged("its version field has unknown flags");

    for (;;) {
        ExrPartLayout part;
        const bool any = readHeader(r, part);
        if (!any) {
            if (layout.parts.empty())
                damaged("it has an empty header");
            break;
        }
        layout.parts.push_back(std::move(part));
        if (!layout.multiPart())
            break;
    }
    layout.headerEnd = r.position();
    return layout;
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
