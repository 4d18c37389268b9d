#include "FuzzTargets.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <stdexcept>
#include <vector>

#include <unistd.h>

#include <libdeflate.h>
#include <lwsdk/filter.h>
#include <zlib.h>

#include "devhost/BlockFile.h"
#include "devhost/Host.h"
#include "devhost/ImageLoading.h"
#include "devhost/SceneFile.h"
#include "exrio/ZipChunk.h"

namespace fuzz {
namespace {

constexpr const char *kLoader = "LW_OpenEXR";
constexpr const char *kFilter = "Ravelcast";
// Deeper nesting than any real file has; keeps a hostile file from
// exhausting the stack of the walk itself.
constexpr int kMaxDepth = 64;
constexpr std::size_t kMaxIdents = 512;

std::string modulePath()
{
    if (const char *env = std::getenv("RAVELCAST_MODULE"); env && *env)
        return env;
    return RAVELCAST_MODULE_PATH;
}

// One host with the module loaded for the whole run: loading and unloading
// an instrumented module for every input would be slow, and the fuzzer's
// coverage counters cannot follow an unloaded module.
devhost::Host &host()
{
    static devhost::Host *h = [] {
        auto *made = new devhost::Host();
        made->messages().setOutput(nullptr, nullptr);
        made->loadModule(modulePath());
        return made;
    }();
    return *h;
}

// Every input starts from an empty scene and an empty message log, so the
// log cannot grow over a long run.
devhost::Host &freshHost()
{
    devhost::Host &h = host();
    h.clearServers();
    h.messages().clear();
    return h;
}

[[noreturn]] void finding(const char *what)
{
    std::fprintf(stderr, "fuzz finding: %s\n", what);
    std::abort();
}

// Reads the values of a block in an order chosen by its id, so every kind
// of read meets every kind of content, then walks the nested blocks.
void walk(devhost::BlockReader &r, const LWBlockIdent *table, int depth)
{
    if (depth > kMaxDepth)
        return;
    while (const unsigned int id = r.findBlock(table)) {
        char text[256];
        std::int64_t ints[4];
        float floats[4];
        switch (id % 4) {
        case 0:
            r.string(text, sizeof text);
            break;
        case 1:
            r.ints(ints, 4, 1 << (id / 4 % 3), (id & 8) != 0);
            break;
        case 2:
            r.floats(floats, 4);
            break;
        default:
            r.bytes(text, 16);
            break;
        }
        walk(r, table, depth + 1);
        r.endBlock();
    }
}

// A table that names every block the text could hold: the words that
// follow an opening brace.
struct Idents {
    std::vector<std::string> tokens;
    std::vector<LWBlockIdent> table;
    void add(unsigned int id, std::string token)
    {
        if (table.size() < kMaxIdents) {
            tokens.push_back(std::move(token));
            table.push_back({id, nullptr});
        }
    }
    const LWBlockIdent *finish()
    {
        for (std::size_t i = 0; i < table.size(); ++i)
            table[i].token = tokens[i].c_str();
        table.push_back({0, nullptr});
        return table.data();
    }
};

void walkText(const std::string &text)
{
    Idents idents;
    {
        devhost::TextBlockReader scan(text);
        std::set<std::string> seen;
        bool afterOpen = false;
        while (const devhost::TextToken *t = scan.take()) {
            if (afterOpen && t->kind == devhost::TextToken::Word && seen.insert(t->text).second)
                idents.add(static_cast<unsigned int>(seen.size()), t->text);
            afterOpen = t->kind == devhost::TextToken::Open;
        }
    }
    devhost::TextBlockReader r(text);
    walk(r, idents.finish(), 0);
}

void walkBinary(const std::string &data)
{
    // Every 4-byte window may be an id; the table names them all.
    Idents idents;
    std::set<unsigned int> seen;
    for (std::size_t i = 0; i + 4 <= data.size() && idents.table.size() < kMaxIdents; ++i) {
        unsigned int id = 0;
        for (std::size_t k = 0; k < 4; ++k)
            id = (id << 8) | static_cast<unsigned char>(data[i + k]);
        if (id != 0 && seen.insert(id).second)
            idents.add(id, "b" + std::to_string(id));
    }
    devhost::BinaryBlockReader r(data);
    walk(r, idents.finish(), 0);
}

bool hasMagic(const std::string &bytes)
{
    return bytes.size() >= 4 && bytes.compare(0, 4, devhost::kBinaryMagic, 4) == 0;
}

std::string saveBinary(devhost::Host &h, devhost::AppliedServer &server)
{
    devhost::BinaryBlockWriter w(false);
    h.saveServer(server, w.state());
    return w.contents();
}

std::string saveText(devhost::Host &h, devhost::AppliedServer &server)
{
    devhost::TextBlockWriter w;
    h.saveServer(server, w.state());
    return w.contents();
}

} // namespace

void prepare() { host(); }

void loadImage(const std::uint8_t *data, std::size_t size)
{
    devhost::Host &h = freshHost();
    static const std::string path =
        (std::filesystem::temp_directory_path() /
         ("ravelcast-fuzz-" + std::to_string(::getpid()) + ".exr"))
            .string();
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    }
    devhost::ImageLoading loading(h);
    devhost::LoadedImage image = loading.loadWith(kLoader, path);
    (void)image;
}

void readBlockFile(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    try {
        walkText(bytes);
    } catch (const std::runtime_error &) {
        // A malformed text is reported by the reader; that is the answer.
    }
    try {
        devhost::readSceneText(freshHost(), bytes, std::string());
    } catch (const devhost::HostError &) {
    }
    walkBinary(hasMagic(bytes) ? bytes.substr(4) : bytes);
}

void loadSettings(const std::uint8_t *data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    devhost::Host &h = freshHost();
    devhost::AppliedServer &filter = h.applyServer(LWIMAGEFILTER_HCLASS, kFilter);
    if (hasMagic(bytes)) {
        devhost::BinaryBlockReader r(bytes.substr(4));
        h.loadServer(filter, r.state());
    } else {
        std::unique_ptr<devhost::TextBlockReader> r;
        try {
            r = std::make_unique<devhost::TextBlockReader>(bytes);
        } catch (const std::runtime_error &) {
            return;
        }
        r->setPluginLevel(true);
        h.loadServer(filter, r->state());
    }

    // Whatever was taken must save, and what was saved must load back to
    // the same settings, in both forms of the file.
    const std::string saved = saveBinary(h, filter);
    devhost::TextBlockWriter text;
    h.saveServer(filter, text.state());
    h.clearServers();

    devhost::AppliedServer &fromBinary = h.applyServer(LWIMAGEFILTER_HCLASS, kFilter);
    devhost::BinaryBlockReader binaryAgain(saved);
    if (!h.loadServer(fromBinary, binaryAgain.state()))
        finding("the filter refuses the binary settings it saved");
    if (saveBinary(h, fromBinary) != saved)
        finding("binary settings do not save back to the same bytes");
    h.clearServers();

    devhost::AppliedServer &fromText = h.applyServer(LWIMAGEFILTER_HCLASS, kFilter);
    devhost::TextBlockReader textAgain(text.contents());
    textAgain.setPluginLevel(true);
    if (!h.loadServer(fromText, textAgain.state()))
        finding("the filter refuses the text settings it saved");
    if (saveBinary(h, fromText) != saved) {
        // Both sides in text, for a reader of the finding.
        std::fprintf(stderr, "saved:\n%s\nloaded from text and saved:\n%s\n",
                     text.contents().c_str(), saveText(h, fromText).c_str());
        finding("text settings do not load to what the binary form holds");
    }
}

namespace {

// Several DEFLATE blocks and windows, yet quick to fuzz.
constexpr std::size_t kMaxChunk = 512u << 10;

// The chunk a recipe describes: its first byte chooses how the rest reads.
std::vector<unsigned char> recipeChunk(const std::uint8_t *data, std::size_t size)
{
    std::vector<unsigned char> chunk;
    if (size == 0)
        return chunk;
    const std::uint8_t *p = data + 1;
    const std::size_t n = size - 1;
    switch (data[0] & 3) {
    case 0: chunk.assign(p, p + n); break;
    case 1: // runs of a byte: value, length / 16
        for (std::size_t i = 0; i + 1 < n && chunk.size() < kMaxChunk; i += 2)
            chunk.insert(chunk.end(), (static_cast<std::size_t>(p[i + 1]) + 1) * 16, p[i]);
        break;
    case 2: // runs of a 16-bit value, as a flat region of a HALF line
        for (std::size_t i = 0; i + 2 < n && chunk.size() < kMaxChunk; i += 3)
            for (int k = 0; k <= p[i + 2]; ++k) {
                chunk.push_back(p[i]);
                chunk.push_back(p[i + 1]);
            }
        break;
    default: { // the bytes repeated to a length, with noise at a spacing
        if (n < 3)
            break;
        const std::size_t length = (static_cast<std::size_t>(p[0]) << 8 | p[1]) * 8;
        const std::size_t spacing = static_cast<std::size_t>(p[2]) + 1;
        std::uint32_t noise = 12345;
        for (std::size_t i = 0; i < length && n > 3; ++i) {
            unsigned char byte = p[3 + i % (n - 3)];
            if (i % spacing == 0) {
                noise = noise * 1103515245u + 12345u;
                byte = static_cast<unsigned char>(noise >> 16);
            }
            chunk.push_back(byte);
        }
        break;
    }
    }
    if (chunk.size() > kMaxChunk)
        chunk.resize(kMaxChunk);
    return chunk;
}

// The packed lines again from a decoded chunk: the predictor undone, then
// the two halves interleaved.
std::vector<unsigned char> unpredicted(const std::vector<unsigned char> &d)
{
    std::vector<unsigned char> t(d.size()), out(d.size());
    for (std::size_t i = 0; i < d.size(); ++i)
        t[i] = i == 0 ? d[0] : static_cast<unsigned char>(t[i - 1] + d[i] - 128);
    const std::size_t lows = (d.size() + 1) / 2;
    for (std::size_t i = 0; i < d.size(); ++i)
        out[i] = i % 2 == 0 ? t[i / 2] : t[lows + i / 2];
    return out;
}

[[noreturn]] void fault(const char *what, std::size_t n)
{
    std::fprintf(stderr, "ZIP chunk of %zu bytes: %s\n", n, what);
    std::abort();
}

} // namespace

void compressChunk(const std::uint8_t *data, std::size_t size)
{
    const std::vector<unsigned char> chunk = recipeChunk(data, size);
    if (chunk.empty())
        return;
    thread_local ravelcast::ZipChunkCompressor compressor;
    std::vector<unsigned char> out;
    const auto stored = compressor.compress(chunk.data(), chunk.size(), out);
    if (stored.bytes == chunk.data()) {
        if (stored.size != chunk.size())
            fault("stored with another size", chunk.size());
        return;
    }
    if (stored.size >= chunk.size())
        fault("compressed to no fewer bytes, yet not stored", chunk.size());
    // The reader of OpenEXR 3.1 (zlib) and of newer releases (libdeflate).
    std::vector<unsigned char> decoded(chunk.size());
    uLongf length = static_cast<uLongf>(decoded.size());
    if (uncompress(decoded.data(), &length, stored.bytes, static_cast<uLong>(stored.size)) != Z_OK ||
        length != decoded.size() || unpredicted(decoded) != chunk)
        fault("zlib does not decode it to the chunk", chunk.size());
    libdeflate_decompressor *d = libdeflate_alloc_decompressor();
    if (!d)
        return;
    std::size_t got = 0;
    std::fill(decoded.begin(), decoded.end(), 0);
    const libdeflate_result r = libdeflate_zlib_decompress(d, stored.bytes, stored.size,
                                                           decoded.data(), decoded.size(), &got);
    libdeflate_free_decompressor(d);
    if (r != LIBDEFLATE_SUCCESS || got != decoded.size() || unpredicted(decoded) != chunk)
        fault("libdeflate does not decode it to the chunk", chunk.size());
}

Target target(const std::string &name)
{
    if (name == "loader")
        return loadImage;
    if (name == "blockfile")
        return readBlockFile;
    if (name == "settings")
        return loadSettings;
    if (name == "deflate")
        return compressChunk;
    return nullptr;
}

} // namespace fuzz
