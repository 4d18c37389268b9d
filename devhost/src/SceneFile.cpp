#include "devhost/SceneFile.h"

#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "devhost/BlockFile.h"
#include "devhost/Host.h"

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
    {0, nullptr}};

const LWBlockIdent kCameraLevel[] = {
    {id("NAME"), "Name"},         {id("FOCL"), "FocalLength"}, {id("FOCD"), "FocalDistance"},
    {id("FSTP"), "FStop"},        {id("BLUR"), "BlurLength"},  {id("FLAG"), "Flags"},
    {0, nullptr}};

const LWBlockIdent *ident(const LWBlockIdent *table, unsigned int v)
{
    for (; table->token; ++table)
        if (table->id == v)
            return table;
    return nullptr;
}

// Value readers over the text reader; a missing value leaves the default.
struct Values {
    BlockReader &r;
    std::string text()
    {
        char buf[4096];
        return r.string(buf, sizeof buf) >= 0 ? std::string(buf) : std::string();
    }
    void text(std::string &out)
    {
        char buf[4096];
        if (r.string(buf, sizeof buf) >= 0)
            out = buf;
    }
    void integer(int &out)
    {
        std::int64_t v;
        if (r.ints(&v, 1, 4, true) == 1)
            out = static_cast<int>(v);
    }
    void number(double &out)
    {
        char buf[64];
        double v;
        if (r.string(buf, sizeof buf) >= 0 && parseDouble(buf, &v))
            out = v;
    }
};

void readHost(BlockReader &r, HostSettings &h, const std::string &base)
{
    Values v{r};
    auto folder = [&](std::string &out) {
        std::string d = v.text();
        out = d.empty() || std::filesystem::path(d).is_absolute()
                  ? d
                  : (std::filesystem::path(base) / d).lexically_normal().string();
    };
    while (unsigned int b = r.findBlock(kHostLevel)) {
        switch (b) {
        case id("VERS"): v.integer(h.major); v.integer(h.minor); v.integer(h.build); break;
        case id("MODE"): {
            const std::string m = v.text();
            if (!parseRunMode(m, &h.mode))
                throw HostError("unknown host mode \"" + m + "\" (layout, modeler or screamernet)");
            break;
        }
        case id("SERL"): { int s = 0; v.integer(s); h.serial = static_cast<unsigned int>(s); break; }
        case id("CDIR"): folder(h.contentDir); break;
        case id("SDIR"): folder(h.settingsDir); break;
        case id("IDIR"): folder(h.installDir); break;
        case id("ALRT"): v.integer(h.alertLevel); break;
        }
        r.endBlock();
    }
}

void readCamera(BlockReader &r, Camera &c)
{
    Values v{r};
    while (unsigned int b = r.findBlock(kCameraLevel)) {
        switch (b) {
        case id("NAME"): v.text(c.name); break;
        case id("FOCL"): v.number(c.focalLength); break;
        case id("FOCD"): v.number(c.focalDistance); break;
        case id("FSTP"): v.number(c.fStop); break;
        case id("BLUR"): v.number(c.blurLength); break;
        case id("FLAG"): { int f = 0; v.integer(f); c.flags = static_cast<unsigned int>(f); break; }
        }
        r.endBlock();
    }
}

void readScene(BlockReader &r, Scene &scene)
{
    SceneSettings &s = scene.settings;
    Values v{r};
    bool cameraSeen = false;
    while (unsigned int b = r.findBlock(kSceneLevel)) {
        switch (b) {
        case id("NAME"): v.text(s.name); break;
        case id("FRMS"): v.integer(s.firstFrame); v.integer(s.lastFrame); v.integer(s.frameStep); break;
        case id("FPS "): v.number(s.framesPerSecond); break;
        case id("SIZE"): v.integer(s.frameWidth); v.integer(s.frameHeight); break;
        case id("ASPT"): v.number(s.pixelAspect); break;
        case id("ROPT"): v.integer(s.renderOptions); break;
        case id("REGN"):
            s.limitedRegion = true;
            v.integer(s.regionX0); v.integer(s.regionY0); v.integer(s.regionX1); v.integer(s.regionY1);
            break;
        case id("RGBP"): v.text(s.rgbPrefix); break;
        case id("AALV"): v.integer(s.antialiasing); break;
        case id("RFLT"): v.integer(s.reconstructionFilter); break;
        case id("THRD"): v.integer(s.renderThreads); break;
        case id("PNTS"): v.integer(s.points); break;
        case id("PLYS"): v.integer(s.polygons); break;
        case id("RCAM"): v.text(s.renderCamera); break;
        case id("ISAV"): v.text(s.imageSaver); break;
        case id("FVER"): v.integer(s.filterVersion); break;
        case id("BSRC"): {
            BufferSource src;
            v.integer(src.buffer);
            v.text(src.file);
            v.text(src.channel);
            s.bufferSources.push_back(src);
            break;
        }
        case id("CAMR"): {
            if (!cameraSeen)
                scene.cameras.clear();
            cameraSeen = true;
            Camera c;
            readCamera(r, c);
            scene.cameras.push_back(c);
            break;
        }
        }
        r.endBlock();
    }
    if (s.frameWidth <= 0 || s.frameHeight <= 0)
        throw HostError("the frame size must be positive");
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw HostError("Cannot read scene \"" + path + "\": " + std::strerror(errno));
    std::ostringstream buf;
    buf << in.rdbuf();
    return buf.str();
}

std::string tokenText(const TextToken *t) { return t ? t->text : std::string(); }

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
    scene.path = path.empty() ? std::string()
                              : std::filesystem::absolute(path).lexically_normal().string();
    const std::string base = scene.path.empty()
                                 ? std::filesystem::current_path().string()
                                 : std::filesystem::path(scene.path).parent_path().string();
    const std::string where = path.empty() ? std::string("scene") : "scene \"" + path + "\"";
    try {
        TextBlockReader r(text);
        while (const TextToken *t = r.peek()) {
            if (t->kind == TextToken::Word && t->text == "Plugin") {
                const std::size_t begin = t->begin;
                r.take();
                const std::string className = tokenText(r.take());
                r.take(); // the server's position among its class, informative only
                const std::string name = tokenText(r.take());
                AppliedServer *server = nullptr;
                try {
                    server = &host.applyServer(className, name);
                } catch (const HostError &e) {
                    host.messages().post(Message::Warning, e.what(),
                                         "Its settings are kept and saved with the scene.");
                }
                r.setPluginLevel(true);
                if (server)
                    host.loadServer(*server, r.state());
                r.leavePlugin();
                r.setPluginLevel(false);
                if (!server) {
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
            const unsigned int b = r.findBlock(kTop);
            if (b == id("HOST")) {
                readHost(r, scene.host, base);
                r.endBlock();
                host.sceneChanged();
            } else if (b == id("SCEN")) {
                readScene(r, scene);
                r.endBlock();
                host.sceneChanged();
            } else if ((t = r.peek()) && !(t->kind == TextToken::Word && t->text == "Plugin")) {
                r.take(); // stray text between sections
            }
        }
    } catch (const HostError &e) {
        throw HostError("Cannot read " + where + ": " + e.what());
    } catch (const std::runtime_error &e) {
        throw HostError("Cannot read " + where + ": " + e.what());
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
        w.endBlock();
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
