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

#include <lwsdk/filter.h>

#include "devhost/BlockFile.h"
#include "devhost/Host.h"
#include "devhost/ImageLoading.h"
#include "devhost/SceneFile.h"

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

Target target(const std::string &name)
{
    if (name == "loader")
        return loadImage;
    if (name == "blockfile")
        return readBlockFile;
    if (name == "settings")
        return loadSettings;
    return nullptr;
}

} // namespace fuzz
