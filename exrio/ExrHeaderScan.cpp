// The header scan: the OpenEXR headers read through the stream without the
// library, every claim checked against the bytes the file holds.

#include "exrio/ExrHeaderScan.h"
#include "exrio/ExrLayoutDetail.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include <ImfVersion.h>

namespace ravelcast {

namespace {

using namespace layoutdetail;

constexpr std::size_t kMaxNameLength = 255; // the library's longest name

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

std::vector<ExrChannelLayout> channelList(const std::vector<char> &bytes,
                                          const std::string &attribute = "channels")
{
    ValueReader v(bytes, attribute);
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
        damaged(quoted(attribute) + " holds bytes after its end");
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
    } else if (type == "chlist") {
        // The library reads every channel list up to its empty name,
        // whatever size the attribute claims: one that does not end where
        // its size says would have the library read the rest of the header
        // from another place than here (and believe sizes found there).
        channelList(r.block(bytes, "a channel list"), name);
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

} // namespace

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

} // namespace ravelcast
