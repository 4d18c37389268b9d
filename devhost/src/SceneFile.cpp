#include "devhost/SceneFile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "devhost/BlockFile.h"
#include "devhost/Host.h"

#include <lwsdk/system.h>

namespace devhost {

namespace {

constexpr unsigned int id(const char (&s)[5])
{
    return LWID_(s[0], s[1], s[2], s[3]);
}

const LWBlockIdent kTop[] = {{id("HOST"), "Host"}, {id("SCEN"), "Scene"}, {0, nullptr}};

const LWBlockIdent kHostLevel[] = {
    {id("VERS"), "Version"},        {id("MODE"), "Mode"},
    {id("SERL"), "Serial"},         {id("CDIR"), "ContentDirectory"},
    {id("SDIR"), "SettingsDirectory"}, {id("IDIR"), "InstallDirectory"},
    {id("ALRT"), "AlertLevel"},     {0, nullptr}};

const LWBlockIdent kSceneLevel[] = {
    {id("NAME"), "Name"},
    {id("FRMS"), "Frames"},
    {id("FPS "), "FramesPerSecond"},
    {id("SIZE"), "FrameSize"},
    {id("ASPT"), "PixelAspect"},
    {id("ROPT"), "RenderOptions"},
    {id("REGN"), "LimitedRegion"},
    {id("RGBP"), "RGBPrefix"},
    {id("AALV"), "Antialiasing"},
    {id("RFLT"), "ReconstructionFilter"},
    {id("THRD"), "RenderThreads"},
    {id("PNTS"), "Points"},
    {id("PLYS"), "Polygons"},
    {id("RCAM"), "RenderCamera"},
    {id("ISAV"), "ImageSaver"},
    {id("FVER"), "FilterVersion"},
    {id("BSRC"), "BufferSource"},
    {id("CAMR"), "Camera"},
    {id("OBJT"), "Object"},
    {id("SURF"), "Surface"},
    {0, nullptr}};

const LWBlockIdent kCameraLevel[] = {
    {id("NAME"), "Name"},         {id("FOCL"), "FocalLength"}, {id("FOCD"), "FocalDistance"},
    {id("FSTP"), "FStop"},        {id("BLUR"), "BlurLength"},  {id("FLAG"), "Flags"},
    {id("POSI"), "Position"},     {id("ROTA"), "Rotation"},    {id("ZOOM"), "ZoomFactor"},
    {id("PRNT"), "Parent"},       {id("EYES"), "EyeSeparation"},
    {0, nullptr}};

const LWBlockIdent kObjectLevel[] = {
    {id("NAME"), "Name"},     {id("SHAP"), "Shape"},   {id("POSI"), "Position"},
    {id("ROTA"), "Rotation"}, {id("SIZE"), "Size"},    {id("SURF"), "Surface"},
    {id("PRNT"), "Parent"},   {0, nullptr}};

const LWBlockIdent kSurfaceLevel[] = {
    {id("NAME"), "Name"},         {id("COLR"), "Colour"},       {id("DIFF"), "Diffuse"},
    {id("SPEC"), "Specular"},     {id("GLOS"), "Glossiness"},   {id("REFL"), "Reflection"},
    {id("TRAN"), "Transparency"}, {id("LUMI"), "Luminosity"},   {id("SPCL"), "Special"},
    {id("CHKR"), "Checker"},      {id("TILE"), "TileSize"},     {0, nullptr}};

// Coordinates and angles of the scene's items.
constexpr double kFarAway = 1e9;
constexpr double kManyTurns = 1e6;

const LWBlockIdent *ident(const LWBlockIdent *table, unsigned int v)
{
    for (; table->token; ++table)
        if (table->id == v)
            return table;
    return nullptr;
}

unsigned int idOf(const LWBlockIdent *table, const std::string &token)
{
    for (; table->token; ++table)
        if (token == table->token)
            return table->id;
    return 0;
}

// The host's own blocks are read strictly: a mistake there would otherwise
// go unnoticed and render something else than the user asked for.
[[noreturn]] void fail(int line, const std::string &what)
{
    throw InputError("line " + std::to_string(line) + ": " + what);
}

std::string shown(const TextToken *t)
{
    if (!t)
        return "the end of the file";
    switch (t->kind) {
    case TextToken::Open: return "\"{\"";
    case TextToken::Close: return "\"}\"";
    case TextToken::String: return quote(t->text);
    case TextToken::Word: break;
    }
    return "\"" + t->text + "\"";
}

bool isWord(const TextToken *t, const char *word)
{
    return t && t->kind == TextToken::Word && t->text == word;
}

// Letters to change, insert or drop to turn a into b.
std::size_t editDistance(const std::string &a, const std::string &b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1,
                               diagonal + (std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                                                   std::tolower(static_cast<unsigned char>(b[j - 1]))
                                               ? 0
                                               : 1)});
            diagonal = up;
        }
    }
    return row[b.size()];
}

std::string knownKeywords(const LWBlockIdent *table, const std::string &wrong)
{
    std::string list, near;
    std::size_t nearest = 3; // farther is no likely slip
    for (; table->token; ++table) {
        list += (list.empty() ? "" : ", ") + std::string(table->token);
        const std::size_t d = editDistance(wrong, table->token);
        if (d < nearest) {
            nearest = d;
            near = table->token;
        }
    }
    return (near.empty() ? std::string() : "did you mean " + near + "? ") + "expected one of " + list;
}

// The values of one of the host's leaf blocks: each must be there, of its
// kind and in its range (checked before any conversion), and none may
// follow the last.
class Leaf {
public:
    Leaf(TextBlockReader &r, const TextToken &key) : r_(r), key_(key.text), line_(key.line) {}

    std::int64_t integer(const std::string &what, std::int64_t lo, std::int64_t hi)
    {
        const TextToken *t = value(what);
        double d = 0;
        if (t->kind != TextToken::Word || !parseDouble(t->text, &d) || !(d >= static_cast<double>(lo)) ||
            !(d <= static_cast<double>(hi)) || d != std::floor(d))
            fail(t->line, key_ + ": " + what + " must be a whole number from " + std::to_string(lo) +
                              " to " + std::to_string(hi) + ", not " + shown(t));
        r_.take();
        return static_cast<std::int64_t>(d);
    }
    int integer32(const std::string &what, int lo, int hi)
    {
        return static_cast<int>(integer(what, lo, hi));
    }
    // A finite number above lo (or from lo, when lo is allowed) up to hi.
    double number(const std::string &what, double lo, bool loAllowed, double hi)
    {
        const TextToken *t = value(what);
        double d = 0;
        if (t->kind != TextToken::Word || !parseDouble(t->text, &d) ||
            !(loAllowed ? d >= lo : d > lo) || !(d <= hi))
            fail(t->line, key_ + ": " + what + " must be a number " +
                              (loAllowed ? "from " : "above ") + formatFloat(lo) + " up to " +
                              formatFloat(hi) + ", not " + shown(t));
        r_.take();
        return d;
    }
    std::string text(const std::string &what)
    {
        const TextToken *t = value(what);
        if (t->kind != TextToken::String && t->kind != TextToken::Word)
            fail(t->line, key_ + ": " + what + " must be a quoted text, not " + shown(t));
        return r_.take()->text;
    }
    // The block's closing brace.
    void end()
    {
        const TextToken *t = r_.peek();
        if (t && t->kind == TextToken::Close) {
            r_.take();
            return;
        }
        if (!t)
            fail(r_.lastLine(), "{ " + key_ + " opened on line " + std::to_string(line_) +
                                    " is never closed (a } is missing)");
        if (t->kind == TextToken::Open || isWord(t, "Plugin") || isWord(t, "EndPlugin"))
            fail(t->line, "{ " + key_ + " opened on line " + std::to_string(line_) +
                              " is not closed before " + shown(t) + " (a } is missing)");
        fail(t->line, key_ + ": " + shown(t) + " is one value too many");
    }

private:
    const TextToken *value(const std::string &what)
    {
        const TextToken *t = r_.peek();
        if (!t || t->kind == TextToken::Close)
            fail(t ? t->line : r_.lastLine(), key_ + ": " + what + " is missing");
        if (t->kind == TextToken::Open || isWord(t, "Plugin") || isWord(t, "EndPlugin"))
            fail(t->line, key_ + ": expected " + what + ", found " + shown(t) +
                              " (is a } missing after { " + key_ + " on line " +
                              std::to_string(line_) + "?)");
        return t;
    }

    TextBlockReader &r_;
    std::string key_;
    int line_;
};

// The next block of a group ({ Host ... }, { Scene ... }, { Camera ... }):
// its keyword, taken with its brace; null at the group's closing brace,
// which is taken too.
const TextToken *nextBlock(TextBlockReader &r, const TextToken &group, const LWBlockIdent *table)
{
    const std::string opened =
        "{ " + group.text + " opened on line " + std::to_string(group.line);
    const TextToken *t = r.peek();
    if (!t)
        fail(r.lastLine(), opened + " is never closed (a } is missing)");
    if (t->kind == TextToken::Close) {
        r.take();
        return nullptr;
    }
    if (isWord(t, "Plugin") || isWord(t, "EndPlugin"))
        fail(t->line, opened + " is not closed before " + t->text + " (a } is missing)");
    if (t->kind != TextToken::Open)
        fail(t->line, "expected a block { Keyword ... } or the } that closes " + opened + ", found " +
                          shown(t));
    const TextToken *key = r.peek(1);
    if (!key || key->kind != TextToken::Word)
        fail(key ? key->line : r.lastLine(),
             "a block must start with its keyword, found " + shown(key) + " (in " + opened + ")");
    if (!idOf(table, key->text))
        fail(key->line, "unknown keyword \"" + key->text + "\" in the " + group.text + " block; " +
                            knownKeywords(table, key->text));
    r.take();
    return r.take();
}

void readHost(TextBlockReader &r, const TextToken &group, HostSettings &h, const std::string &base)
{
    while (const TextToken *key = nextBlock(r, group, kHostLevel)) {
        Leaf v(r, *key);
        auto folder = [&](std::string &out) {
            const std::string d = v.text("the folder");
            out = d.empty() || std::filesystem::path(d).is_absolute()
                      ? d
                      : (std::filesystem::path(base) / d).lexically_normal().string();
        };
        switch (idOf(kHostLevel, key->text)) {
        case id("VERS"):
            h.major = v.integer32("the major version", 0, 15);
            h.minor = v.integer32("the minor version", 0, 15);
            h.build = v.integer32("the build", 0, 4095);
            break;
        case id("MODE"): {
            const int line = r.peek() ? r.peek()->line : key->line;
            const std::string m = v.text("the mode");
            if (!parseRunMode(m, &h.mode))
                fail(line, "Mode: unknown host mode \"" + m + "\" (layout, modeler or screamernet)");
            break;
        }
        case id("SERL"):
            h.serial = static_cast<unsigned int>(v.integer("the serial number", 0, LWSYS_SERIALBITS));
            break;
        case id("CDIR"): folder(h.contentDir); break;
        case id("SDIR"): folder(h.settingsDir); break;
        case id("IDIR"): folder(h.installDir); break;
        case id("ALRT"): h.alertLevel = v.integer32("the alert level", 0, 2); break;
        }
        v.end();
    }
}

// Three numbers of one block, each named in messages, each in [low, high].
V3 triple(Leaf &v, const char *x, const char *y, const char *z, double low, double high)
{
    V3 t;
    t.x = v.number(x, low, true, high);
    t.y = v.number(y, low, true, high);
    t.z = v.number(z, low, true, high);
    return t;
}

V3 position(Leaf &v) { return triple(v, "x", "y", "z", -kFarAway, kFarAway); }

V3 rotation(Leaf &v)
{
    return triple(v, "the heading in degrees", "the pitch in degrees", "the bank in degrees",
                  -kManyTurns, kManyTurns);
}

V3 colour(Leaf &v)
{
    return triple(v, "red", "green", "blue", 0, 1e6);
}

void readObject(TextBlockReader &r, const TextToken &group, SceneObject &o)
{
    while (const TextToken *key = nextBlock(r, group, kObjectLevel)) {
        Leaf v(r, *key);
        switch (idOf(kObjectLevel, key->text)) {
        case id("NAME"): o.name = v.text("the object's name"); break;
        case id("SHAP"): {
            const int line = r.peek() ? r.peek()->line : key->line;
            const std::string shape = v.text("the shape");
            if (!parseShape(shape, &o.shape))
                fail(line, "Shape: unknown shape \"" + shape + "\" (sphere, box, plane or null)");
            break;
        }
        case id("POSI"): o.position = position(v); break;
        case id("ROTA"): o.rotation = rotation(v); break;
        case id("SIZE"): o.size = v.number("the size", 0, false, kFarAway); break;
        case id("SURF"): o.surface = v.text("the surface's name"); break;
        case id("PRNT"): o.parent = v.text("the parent's name"); break;
        }
        v.end();
    }
}

void readSurface(TextBlockReader &r, const TextToken &group, SurfaceMaterial &m)
{
    while (const TextToken *key = nextBlock(r, group, kSurfaceLevel)) {
        Leaf v(r, *key);
        switch (idOf(kSurfaceLevel, key->text)) {
        case id("NAME"): m.name = v.text("the surface's name"); break;
        case id("COLR"): m.colour = colour(v); break;
        case id("DIFF"): m.diffuse = v.number("the diffuse level", 0, true, 1e3); break;
        case id("SPEC"): m.specular = v.number("the specular level", 0, true, 1e3); break;
        case id("GLOS"): m.gloss = v.number("the glossiness", 0, true, 1e4); break;
        case id("REFL"): m.mirror = v.number("the reflection", 0, true, 1); break;
        case id("TRAN"): m.transparency = v.number("the transparency", 0, true, 1); break;
        case id("LUMI"): m.luminous = v.number("the luminosity", 0, true, 1e3); break;
        case id("SPCL"): m.special = v.number("the special value", 0, true, 1); break;
        case id("CHKR"):
            m.checker = true;
            m.checkerColour = colour(v);
            break;
        case id("TILE"): m.tile = v.number("the tile size", 0, false, kFarAway); break;
        }
        v.end();
    }
}

void readCamera(TextBlockReader &r, const TextToken &group, Camera &c)
{
    constexpr double kLarge = 1e9;
    while (const TextToken *key = nextBlock(r, group, kCameraLevel)) {
        Leaf v(r, *key);
        switch (idOf(kCameraLevel, key->text)) {
        case id("POSI"): c.position = position(v); break;
        case id("ROTA"): c.rotation = rotation(v); break;
        case id("ZOOM"):
            c.focalLength = v.number("the zoom factor", 0, false, kLarge) * (kFilmWidth / 2);
            break;
        case id("PRNT"): c.parent = v.text("the parent's name"); break;
        case id("EYES"): c.eyeSeparation = v.number("the eye separation", 0, true, kLarge); break;
        case id("NAME"): c.name = v.text("the camera's name"); break;
        case id("FOCL"): c.focalLength = v.number("the focal length", 0, false, kLarge); break;
        case id("FOCD"): c.focalDistance = v.number("the focal distance", 0, true, kLarge); break;
        case id("FSTP"): c.fStop = v.number("the f-stop", 0, false, kLarge); break;
        case id("BLUR"): c.blurLength = v.number("the blur length", 0, true, kLarge); break;
        case id("FLAG"): c.flags = static_cast<unsigned int>(v.integer("the flags", 0, 0xFFFFFFFFLL)); break;
        }
        v.end();
    }
}

void readScene(TextBlockReader &r, const TextToken &group, Scene &scene)
{
    SceneSettings &s = scene.settings;
    bool cameraSeen = false;
    constexpr int kMaxInt = std::numeric_limits<int>::max();
    while (const TextToken *key = nextBlock(r, group, kSceneLevel)) {
        Leaf v(r, *key);
        switch (idOf(kSceneLevel, key->text)) {
        case id("NAME"): s.name = v.text("the scene's name"); break;
        case id("FRMS"):
            s.firstFrame = v.integer32("the first frame", -kMaxFrameNumber, kMaxFrameNumber);
            s.lastFrame = v.integer32("the last frame", -kMaxFrameNumber, kMaxFrameNumber);
            s.frameStep = v.integer32("the frame step", 1, kMaxFrameNumber);
            if (s.lastFrame < s.firstFrame)
                fail(key->line, "Frames: the last frame " + std::to_string(s.lastFrame) +
                                    " comes before the first " + std::to_string(s.firstFrame));
            break;
        case id("FPS "): s.framesPerSecond = v.number("the frame rate", 0, false, 1000); break;
        case id("SIZE"):
            s.frameWidth = v.integer32("the width", 1, kMaxFrameSide);
            s.frameHeight = v.integer32("the height", 1, kMaxFrameSide);
            if (static_cast<long long>(s.frameWidth) * s.frameHeight > kMaxFramePixels)
                fail(key->line, "FrameSize: " + std::to_string(s.frameWidth) + " x " +
                                    std::to_string(s.frameHeight) + " is more than the " +
                                    std::to_string(kMaxFramePixels) + " pixels a frame may have");
            break;
        case id("ASPT"): s.pixelAspect = v.number("the pixel aspect", 0, false, 100); break;
        case id("ROPT"): s.renderOptions = v.integer32("the render options", 0, kMaxInt); break;
        case id("REGN"):
            s.limitedRegion = true;
            s.regionX0 = v.integer32("x0", 0, kMaxFrameSide - 1);
            s.regionY0 = v.integer32("y0", 0, kMaxFrameSide - 1);
            s.regionX1 = v.integer32("x1", 0, kMaxFrameSide - 1);
            s.regionY1 = v.integer32("y1", 0, kMaxFrameSide - 1);
            break;
        case id("RGBP"): s.rgbPrefix = v.text("the render path"); break;
        case id("AALV"): s.antialiasing = v.integer32("the antialiasing level", 0, 999); break;
        case id("RFLT"): s.reconstructionFilter = v.integer32("the filter index", 0, 12); break;
        case id("THRD"): s.renderThreads = v.integer32("the thread count", 1, 1024); break;
        case id("PNTS"): s.points = v.integer32("the point count", 0, kMaxInt); break;
        case id("PLYS"): s.polygons = v.integer32("the polygon count", 0, kMaxInt); break;
        case id("RCAM"): s.renderCamera = v.text("the camera's name"); break;
        case id("ISAV"): s.imageSaver = v.text("the saver's name"); break;
        case id("FVER"):
            s.filterVersion = v.integer32("the filter version", LWIMAGEFILTER_VERSION_MASK,
                                          LWIMAGEFILTER_VERSION_LIST);
            break;
        case id("BSRC"): {
            BufferSource src;
            src.buffer = v.integer32("the buffer", 0, LWBUF_COUNT - 1);
            src.file = v.text("the file");
            src.channel = v.text("the channel");
            s.bufferSources.push_back(src);
            break;
        }
        case id("CAMR"): {
            if (!cameraSeen)
                scene.cameras.clear();
            cameraSeen = true;
            Camera c;
            readCamera(r, *key, c);
            scene.cameras.push_back(c);
            continue; // the group's brace is taken
        }
        case id("OBJT"): {
            if (!scene.items.placed)
                scene.items.objects.clear();
            scene.items.placed = true;
            SceneObject o;
            o.name = "Object" + std::to_string(scene.items.objects.size() + 1);
            readObject(r, *key, o);
            scene.items.objects.push_back(o);
            continue;
        }
        case id("SURF"): {
            SurfaceMaterial m;
            m.name = "Surface" + std::to_string(scene.items.surfaces.size() + 1);
            readSurface(r, *key, m);
            m.fromScene = true;
            const int known = scene.items.surfaceIndex(m.name);
            if (known >= 0)
                scene.items.surfaces[static_cast<std::size_t>(known)] = m;
            else
                scene.items.surfaces.push_back(m);
            continue;
        }
        }
        v.end();
    }
    std::string problem = scene.items.problem();
    for (const Camera &c : scene.cameras)
        if (problem.empty() && !c.parent.empty() && scene.items.objectIndex(c.parent) < 0)
            problem = "the camera \"" + c.name + "\" names the parent \"" + c.parent +
                      "\", which is no object of the scene";
    if (!problem.empty())
        fail(group.line, "Scene: " + problem);
}

// A plug-in section must end with EndPlugin at its top level, its braces
// paired, before the server sees it; a missing brace would otherwise
// swallow the rest of the scene.
void checkSection(const TextBlockReader &r, const TextToken &plugin, const std::string &header)
{
    std::vector<const TextToken *> open; // the keyword (or brace) of each open block
    for (std::size_t i = 0;; ++i) {
        const TextToken *t = r.peek(i);
        auto unclosed = [&](const std::string &before) {
            const TextToken *outer = open.front();
            fail(outer->line, "the block " + (outer->kind == TextToken::Word ? "{ " + outer->text : std::string("{")) +
                                  " opened here is not closed before " + before + " (a } is missing)");
        };
        if (!t) {
            if (!open.empty())
                unclosed("the end of the file");
            fail(plugin.line, "the section " + header + " has no EndPlugin");
        }
        if (t->kind == TextToken::Open) {
            const TextToken *key = r.peek(i + 1);
            open.push_back(key && key->kind == TextToken::Word ? key : t);
        } else if (t->kind == TextToken::Close) {
            if (open.empty())
                fail(t->line, "a } that closes no block (in the section " + header + " of line " +
                                  std::to_string(plugin.line) + ")");
            open.pop_back();
        } else if (isWord(t, "Plugin") || isWord(t, "EndPlugin")) {
            if (!open.empty())
                unclosed(t->text + " on line " + std::to_string(t->line));
            if (t->text == "EndPlugin")
                return;
            fail(plugin.line, "the section " + header + " has no EndPlugin before the next Plugin on line " +
                                  std::to_string(t->line));
        }
    }
}

std::string readFile(const std::string &path)
{
    checkInputFile(path, "scene");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw InputError("Cannot read scene \"" + path + "\": " + std::strerror(errno));
    std::ostringstream buf;
    buf << in.rdbuf();
    return buf.str();
}

} // namespace

void readSceneFile(Host &host, const std::string &path)
{
    readSceneText(host, readFile(path), path);
}

void readSceneText(Host &host, const std::string &text, const std::string &path)
{
    host.clearServers();
    Scene &scene = host.scene();
    scene.host = HostSettings{};
    scene.settings = SceneSettings{};
    scene.cameras = {Camera{}};
    scene.items = SceneItems{};
    scene.path = path.empty() ? std::string()
                              : std::filesystem::absolute(path).lexically_normal().string();
    const std::string base = scene.path.empty()
                                 ? std::filesystem::current_path().string()
                                 : std::filesystem::path(scene.path).parent_path().string();
    const std::string where = path.empty() ? std::string("scene") : "scene \"" + path + "\"";
    const char *expected = "(expected { Host ... }, { Scene ... } or a Plugin section)";
    try {
        TextBlockReader r(text);
        while (const TextToken *t = r.peek()) {
            if (isWord(t, "Plugin")) {
                const TextToken &plugin = *r.take();
                const std::size_t begin = plugin.begin;
                const char *usage = "Plugin <class> <n> <server>";
                const TextToken *cls = r.take();
                const TextToken *n = r.take();
                const TextToken *server = r.take();
                std::int64_t position = 0;
                if (!cls || cls->kind != TextToken::Word || !n || !parseInteger(n->text, &position) ||
                    position < 1 || !server ||
                    (server->kind != TextToken::Word && server->kind != TextToken::String))
                    fail(plugin.line, std::string("a section starts with ") + usage +
                                          " (a class, a position from 1 and the server's name)");
                const std::string className = cls->text;
                const std::string name = server->text;
                checkSection(r, plugin, "Plugin " + className + " " + n->text + " " + name);
                AppliedServer *applied = nullptr;
                try {
                    applied = &host.applyServer(className, name);
                } catch (const HostError &e) {
                    host.messages().post(Message::Warning, e.what(),
                                         "Its settings are kept and saved with the scene.");
                }
                r.setPluginLevel(true);
                if (applied)
                    host.loadServer(*applied, r.state());
                r.leavePlugin();
                r.setPluginLevel(false);
                if (!applied) {
                    auto kept = std::make_unique<AppliedServer>();
                    kept->className = className;
                    kept->name = name;
                    const std::size_t end = r.peek() ? r.peek()->begin : text.size();
                    kept->unknownText = text.substr(begin, end - begin);
                    while (!kept->unknownText.empty() &&
                           std::isspace(static_cast<unsigned char>(kept->unknownText.back())))
                        kept->unknownText.pop_back();
                    scene.servers.push_back(std::move(kept));
                }
                continue;
            }
            if (t->kind == TextToken::Close)
                fail(t->line, "a } that closes no block");
            if (isWord(t, "EndPlugin"))
                fail(t->line, "EndPlugin without a Plugin section before it");
            const TextToken *key = r.peek(1);
            if (t->kind != TextToken::Open)
                fail(t->line, "unexpected " + shown(t) + " " + expected);
            if (isWord(key, "Host")) {
                r.take();
                readHost(r, *r.take(), scene.host, base);
            } else if (isWord(key, "Scene")) {
                r.take();
                readScene(r, *r.take(), scene);
            } else {
                fail(key ? key->line : t->line, "unknown block " + shown(key) + " " + expected);
            }
            host.sceneChanged();
        }
    } catch (const InputError &e) {
        throw InputError("Cannot read " + where + ": " + e.what());
    } catch (const HostError &e) {
        throw HostError("Cannot read " + where + ": " + e.what());
    } catch (const std::runtime_error &e) {
        // The tokenizer's own complaints (an unterminated string).
        throw InputError("Cannot read " + where + ": " + e.what());
    }
    host.sceneChanged();
}

std::string sceneText(Host &host)
{
    const Scene &scene = host.scene();
    const HostSettings &h = scene.host;
    const SceneSettings &s = scene.settings;
    TextBlockWriter w;
    w.state()->ioMode = LWIO_ASCII;
    w.comment("Ravelcast development host scene");
    auto leaf = [&](const LWBlockIdent *table, const char(&key)[5]) {
        w.beginBlock(ident(table, id(key)), true);
    };
    auto ints = [&](std::initializer_list<std::int64_t> v) {
        w.ints(v.begin(), static_cast<int>(v.size()), 4, true);
    };
    auto word = [&](const std::string &t) { w.string(t.c_str()); };
    auto textBlock = [&](const LWBlockIdent *table, const char(&key)[5], const std::string &t) {
        leaf(table, key); word(t); w.endBlock();
    };
    auto intBlock = [&](const LWBlockIdent *table, const char(&key)[5],
                        std::initializer_list<std::int64_t> v) {
        leaf(table, key); ints(v); w.endBlock();
    };
    auto numberBlock = [&](const LWBlockIdent *table, const char(&key)[5], double v) {
        leaf(table, key); w.number(v); w.endBlock();
    };
    auto vectorBlock = [&](const LWBlockIdent *table, const char(&key)[5], V3 v) {
        leaf(table, key); w.number(v.x); w.number(v.y); w.number(v.z); w.endBlock();
    };

    w.beginBlock(&kTop[0], false);
    intBlock(kHostLevel, "VERS", {h.major, h.minor, h.build});
    textBlock(kHostLevel, "MODE", runModeName(h.mode));
    intBlock(kHostLevel, "SERL", {static_cast<std::int64_t>(h.serial)});
    if (!h.contentDir.empty()) textBlock(kHostLevel, "CDIR", h.contentDir);
    if (!h.settingsDir.empty()) textBlock(kHostLevel, "SDIR", h.settingsDir);
    if (!h.installDir.empty()) textBlock(kHostLevel, "IDIR", h.installDir);
    intBlock(kHostLevel, "ALRT", {h.alertLevel});
    w.endBlock();

    w.beginBlock(&kTop[1], false);
    textBlock(kSceneLevel, "NAME", s.name);
    intBlock(kSceneLevel, "FRMS", {s.firstFrame, s.lastFrame, s.frameStep});
    numberBlock(kSceneLevel, "FPS ", s.framesPerSecond);
    intBlock(kSceneLevel, "SIZE", {s.frameWidth, s.frameHeight});
    numberBlock(kSceneLevel, "ASPT", s.pixelAspect);
    intBlock(kSceneLevel, "ROPT", {s.renderOptions});
    if (s.limitedRegion)
        intBlock(kSceneLevel, "REGN", {s.regionX0, s.regionY0, s.regionX1, s.regionY1});
    textBlock(kSceneLevel, "RGBP", s.rgbPrefix);
    intBlock(kSceneLevel, "AALV", {s.antialiasing});
    intBlock(kSceneLevel, "RFLT", {s.reconstructionFilter});
    intBlock(kSceneLevel, "THRD", {s.renderThreads});
    intBlock(kSceneLevel, "PNTS", {s.points});
    intBlock(kSceneLevel, "PLYS", {s.polygons});
    textBlock(kSceneLevel, "RCAM", s.renderCamera);
    if (!s.imageSaver.empty()) textBlock(kSceneLevel, "ISAV", s.imageSaver);
    intBlock(kSceneLevel, "FVER", {s.filterVersion});
    for (const BufferSource &src : s.bufferSources) {
        leaf(kSceneLevel, "BSRC"); ints({src.buffer}); word(src.file); word(src.channel); w.endBlock();
    }
    for (const Camera &c : scene.cameras) {
        w.beginBlock(ident(kSceneLevel, id("CAMR")), false);
        textBlock(kCameraLevel, "NAME", c.name);
        numberBlock(kCameraLevel, "FOCL", c.focalLength);
        numberBlock(kCameraLevel, "FOCD", c.focalDistance);
        numberBlock(kCameraLevel, "FSTP", c.fStop);
        numberBlock(kCameraLevel, "BLUR", c.blurLength);
        intBlock(kCameraLevel, "FLAG", {static_cast<std::int64_t>(c.flags)});
        vectorBlock(kCameraLevel, "POSI", c.position);
        vectorBlock(kCameraLevel, "ROTA", c.rotation);
        if (!c.parent.empty()) textBlock(kCameraLevel, "PRNT", c.parent);
        numberBlock(kCameraLevel, "EYES", c.eyeSeparation);
        w.endBlock();
    }
    for (const SurfaceMaterial &m : scene.items.surfaces) {
        if (!m.fromScene)
            continue;
        w.beginBlock(ident(kSceneLevel, id("SURF")), false);
        textBlock(kSurfaceLevel, "NAME", m.name);
        vectorBlock(kSurfaceLevel, "COLR", m.colour);
        numberBlock(kSurfaceLevel, "DIFF", m.diffuse);
        numberBlock(kSurfaceLevel, "SPEC", m.specular);
        numberBlock(kSurfaceLevel, "GLOS", m.gloss);
        numberBlock(kSurfaceLevel, "REFL", m.mirror);
        numberBlock(kSurfaceLevel, "TRAN", m.transparency);
        numberBlock(kSurfaceLevel, "LUMI", m.luminous);
        numberBlock(kSurfaceLevel, "SPCL", m.special);
        if (m.checker) {
            vectorBlock(kSurfaceLevel, "CHKR", m.checkerColour);
            numberBlock(kSurfaceLevel, "TILE", m.tile);
        }
        w.endBlock();
    }
    if (scene.items.placed) {
        for (const SceneObject &o : scene.items.objects) {
            w.beginBlock(ident(kSceneLevel, id("OBJT")), false);
            textBlock(kObjectLevel, "NAME", o.name);
            textBlock(kObjectLevel, "SHAP", shapeName(o.shape));
            vectorBlock(kObjectLevel, "POSI", o.position);
            vectorBlock(kObjectLevel, "ROTA", o.rotation);
            numberBlock(kObjectLevel, "SIZE", o.size);
            textBlock(kObjectLevel, "SURF", o.surface);
            if (!o.parent.empty()) textBlock(kObjectLevel, "PRNT", o.parent);
            w.endBlock();
        }
    }
    w.endBlock();

    std::map<std::string, int> positions;
    for (const auto &server : scene.servers) {
        if (!server->instance) {
            w.line(server->unknownText);
            continue;
        }
        const int n = ++positions[server->className];
        w.line("Plugin " + server->className + " " + std::to_string(n) + " " +
               (server->name.find(' ') == std::string::npos ? server->name : quote(server->name)));
        host.saveServer(*server, w.state());
        w.line("EndPlugin");
    }
    return w.contents();
}

void writeSceneFile(Host &host, const std::string &path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string text = sceneText(host);
    if (out)
        out << text;
    if (out)
        out.close();
    if (!out)
        throw HostError("Cannot write scene \"" + path + "\": " + std::strerror(errno));
}

} // namespace devhost
