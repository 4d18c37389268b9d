// What the panels show, checked as a user reads it: `devhost ui` scripts
// (tests/ui) drive the real module, read Magnifex's and the review's lines
// through `text` and `expect-text`, and draw pictures whose pixels are
// compared with the preview window's; files and saved scenes are read back.
//
// RAVELCAST_UI_PICTURES=DIR keeps every picture the scripts draw in DIR,
// for a person to look at.
#include <cairo.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

#include <half.h>

#include "E2ESupport.h"
#include "devhost/BlockFile.h"

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

bool has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

bool endsWith(const std::string &text, const std::string &end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The lines `text TITLE` printed after the step that names it.
std::vector<std::string> printedText(const std::string &out, const std::string &title)
{
    std::vector<std::string> lines;
    const std::size_t at = out.find("> text " + title);
    if (at == std::string::npos)
        return lines;
    std::size_t pos = out.find('\n', at) + 1;
    pos = out.find('\n', pos) + 1; // "TITLE: n lines"
    while (pos < out.size() && out.compare(pos, 2, "  ") == 0) {
        const std::size_t end = out.find('\n', pos);
        lines.push_back(out.substr(pos + 2, end - pos - 2));
        pos = end + 1;
    }
    return lines;
}

struct Rgb {
    int r = -1, g = -1, b = -1;
    bool operator==(const Rgb &o) const { return r == o.r && g == o.g && b == o.b; }
};

std::ostream &operator<<(std::ostream &os, const Rgb &c)
{
    return os << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb pixelOf(const std::string &png, int x, int y)
{
    cairo_surface_t *s = cairo_image_surface_create_from_png(png.c_str());
    Rgb c;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS && x < cairo_image_surface_get_width(s) &&
        y < cairo_image_surface_get_height(s)) {
        cairo_surface_flush(s);
        const unsigned char *d = cairo_image_surface_get_data(s);
        const std::uint32_t v = *reinterpret_cast<const std::uint32_t *>(
            d + y * cairo_image_surface_get_stride(s) + 4 * x);
        c = {static_cast<int>((v >> 16) & 0xFF), static_cast<int>((v >> 8) & 0xFF),
             static_cast<int>(v & 0xFF)};
    }
    cairo_surface_destroy(s);
    return c;
}

// The preview window's picture: a title bar and the choices row above the
// image as drawn at the window's size.
Rgb windowPixel(const std::string &png, int x, int y) { return pixelOf(png, x, 22 + 28 + y); }
// Magnifex's colour swatch, below the panel's title bar.
Rgb swatchPixel(const std::string &png) { return pixelOf(png, 4 + 8, 22 + 2 + 8); }

const std::string kHost = "{ Host { Version 10 0 2009 } { Mode \"layout\" } }\n";

std::string scene(const std::string &settings, const std::string &filter)
{
    return kHost + "{ Scene { Name \"truth.lws\" } { Frames 1 1 1 } { Camera { Name \"Camera\" } } "
                   "{ RenderCamera \"Camera\" } " +
           settings + " }\n" + e2e::kPlugin + "{ LayoutRenderMode 0 }\n" + filter + e2e::kEnd;
}

std::string sources(const std::vector<std::pair<int, const char *>> &list)
{
    std::string s;
    for (const auto &[buffer, channel] : list)
        s += "{ BufferSource " + std::to_string(buffer) + " \"sources.exr\" \"" + channel + "\" } ";
    return s;
}

// Each pixel's own position in X and Y; depth near in the left half and
// far (the backdrop) in the right; a grey beauty.
void writeSources(const std::string &file, int w, int h)
{
    e2e::writeSource(file, w, h, {"X", "Y", "Z", "R", "G", "B", "A", "T"}, [w](int c, int x, int y) {
        switch (c) {
        case 0: return static_cast<float>(x);
        case 1: return static_cast<float>(y);
        case 2: return x < w / 2 ? static_cast<float>(x + 1) : 1e30f;
        case 6: return 0.5f;
        case 7: return 0.4f;
        default: return 0.25f;
        }
    });
}

class PanelTruthTest : public ::testing::Test {
protected:
    // Runs tests/ui/NAME.ui on the scene in the test's folder (or from
    // `from`); answers its output, having checked that every step held.
    std::string runScript(const std::string &name, const std::string &sceneFile = "scene.lws",
                          const fs::path &from = {}, const std::string &environment = "")
    {
        std::string out;
        const std::string script = std::string(DOCS_DIR) + "/tests/ui/" + name + ".ui";
        const int status = testsupport::run(
            "cd " + e2e::shellQuoted((from.empty() ? dir.path() : from).string()) + " && " +
                environment + " " + e2e::shellQuoted(testsupport::devhostPath()) + " --module " +
                e2e::shellQuoted(testsupport::modulePath()) + " ui " +
                e2e::shellQuoted(sceneFile) + " " + e2e::shellQuoted(script) + " 2>&1",
            &out);
        EXPECT_EQ(status, 0) << out;
        EXPECT_TRUE(has(out, "every step succeeded")) << out;
        if (const char *keep = std::getenv("RAVELCAST_UI_PICTURES"))
            for (const auto &e : fs::recursive_directory_iterator(dir.path()))
                if (e.path().extension() == ".png") {
                    fs::create_directories(keep);
                    fs::copy_file(e.path(), fs::path(keep) / (name + "-" + e.path().filename().string()),
                                  fs::copy_options::overwrite_existing);
                }
        return out;
    }
    void writeScene(const std::string &text, const std::string &file = "scene.lws")
    {
        testsupport::writeFile(dir.file(file), text);
    }

    TempDir dir;
};

TEST_F(PanelTruthTest, InspectorShowsThePixelDrawnUnderTheClickAtEveryWindowSize)
{
    writeSources(dir.file("sources.exr"), 640, 360);
    writeScene(scene("{ FrameSize 640 360 } { RGBPrefix \"renders/i\" } " +
                         sources({{15, "X"}, {16, "Y"}}),
                     e2e::buffer("Motion", "")));
    const std::string out = runScript("inspector-sizes");
    // Before the first render the window has nothing to show, and says so.
    EXPECT_LT(out.find("[info] Ravelcast Buffers: nothing has been rendered yet."),
              out.find("> render 1"))
        << out;
    const std::vector<std::string> lines = printedText(out, "Magnifex");
    ASSERT_GE(lines.size(), 9u) << out;
    EXPECT_EQ(lines[0], "Motion (layer)");
    EXPECT_EQ(lines[1], "16bit Float");
    EXPECT_EQ(lines[2], "x: 320 - y: 140");
    EXPECT_EQ(lines[6], "X : Motion.X");
    EXPECT_EQ(lines[7], "  0.5008 [   320.0]") << "320 of the raw range 0 to 639";
    EXPECT_EQ(lines[8], "Y : Motion.Y");
    // The window at 1000 x 480 shows the pixel's colour where it was clicked.
    EXPECT_EQ(windowPixel(dir.file("preview-wide.png"), 500, 200),
              swatchPixel(dir.file("magnifex-motion.png")));
}

TEST_F(PanelTruthTest, InspectorInALimitedRegionNamesFramePixels)
{
    writeSources(dir.file("sources.exr"), 300, 500);
    writeScene(scene("{ FrameSize 300 500 } { LimitedRegion 30 10 269 489 } "
                     "{ RGBPrefix \"renders/r\" } " +
                         sources({{15, "X"}, {16, "Y"}}),
                     e2e::buffer("Motion", "")));
    const std::string out = runScript("inspector-region");
    const std::vector<std::string> review = printedText(out, "\"Ravelcast: Buffer Review\"");
    ASSERT_GE(review.size(), 3u) << out;
    EXPECT_EQ(review[0], "Active Buffers");
    EXPECT_EQ(review[1], "Multibuffer Image: renders/r001.exr");
    // The file's data window is the region, as the review said.
    EXPECT_EQ(e2e::headerOf(dir.file("renders/r001.exr")).dataWindow(),
              Imath::Box2i(Imath::V2i(30, 10), Imath::V2i(269, 489)));
}

TEST_F(PanelTruthTest, ProcessingEditsShowAtOnceAndSwatchesMatchTheWindow)
{
    writeSources(dir.file("sources.exr"), 640, 360);
    writeScene(scene("{ FrameSize 640 360 } { RGBPrefix \"renders/p\" } " +
                         sources({{15, "X"}, {16, "Y"}, {12, "Z"}, {32, "R"}, {33, "G"},
                                  {34, "B"}, {35, "A"}}),
                     e2e::buffer("Final Render", "") + e2e::buffer("Motion", "") +
                         e2e::buffer("Depth", "")));
    const std::string out = runScript("processing-live");
    EXPECT_EQ(out.find("> render", out.find("> set Offset")), std::string::npos)
        << "no render after the first";
    // Inverted, the window's red at the clicked pixel is the normalised
    // value Magnifex showed: 0.4601 of 255.
    EXPECT_EQ(windowPixel(dir.file("motion-inverted.png"), 345, 137).r, 117);
    // Depth's near half spreads over black to white; its far half is white.
    EXPECT_EQ(windowPixel(dir.file("depth-normalized.png"), 160, 100), (Rgb{127, 127, 127}));
    EXPECT_EQ(windowPixel(dir.file("depth-normalized.png"), 1, 100), (Rgb{0, 0, 0}));
    EXPECT_EQ(windowPixel(dir.file("depth-normalized.png"), 500, 100), (Rgb{255, 255, 255}));
    // The raw buffer shows no display gamma; the processed one does, for a
    // colour buffer: 0.25 and 0.25 ^ (1 / 2) = 0.5. The swatch follows.
    EXPECT_EQ(windowPixel(dir.file("raw-gamma.png"), 100, 100), (Rgb{63, 63, 63}));
    EXPECT_EQ(swatchPixel(dir.file("magnifex-raw-gamma.png")), (Rgb{63, 63, 63}));
    EXPECT_EQ(windowPixel(dir.file("processed-gamma.png"), 100, 100), (Rgb{127, 127, 127}));
    EXPECT_EQ(swatchPixel(dir.file("magnifex-processed-gamma.png")), (Rgb{127, 127, 127}));
    const std::vector<std::string> lines = printedText(out, "Magnifex");
    ASSERT_GE(lines.size(), 8u) << out;
    EXPECT_EQ(lines[0], "Final Render (layer)");
    EXPECT_EQ(lines[2], "x: 100 - y: 40");
    EXPECT_EQ(lines[7], "  0.2500 [  0.2500]") << "the number is the written value";
}

TEST_F(PanelTruthTest, ReviewCountsEveryErrorAndNamesFilesReadably)
{
    writeScene(scene("{ FrameSize 48 32 } { RGBPrefix \"" + dir.file("renders/take") + "\" }", ""));
    const std::string out = runScript("review-counts");
    // The missing name alone is an error, and with a duplicate two.
    EXPECT_TRUE(has(out, "[warning] Ravelcast V1.5a (Linux64) - 1 Error encountered!")) << out;
    EXPECT_TRUE(has(out, "[warning] Ravelcast V1.5a (Linux64) - 2 Errors encountered!")) << out;
    const std::vector<std::string> counted = printedText(out, "\"Ravelcast: Buffer Review\"");
    int errors = 0;
    for (const std::string &l : counted)
        errors += l.rfind("Error:", 0) == 0 ? 1 : 0;
    EXPECT_EQ(errors, 2) << "every red line is counted";

    // The long path: shortened in its middle, the file names whole.
    const std::size_t second = out.find("> text", out.find("> text") + 1);
    const std::vector<std::string> lines = printedText(out.substr(second), "\"Ravelcast: Buffer Review\"");
    ASSERT_GE(lines.size(), 2u) << out;
    const std::string &layered = lines[1];
    EXPECT_EQ(layered.rfind("Multibuffer Image: /srv/", 0), 0u) << layered;
    EXPECT_TRUE(has(layered, "/.../")) << layered;
    EXPECT_TRUE(endsWith(layered, "/beauty000.exr")) << layered;
    bool image = false;
    for (const std::string &l : lines)
        if (l.rfind("  Saved as: /srv/", 0) == 0) {
            image = true;
            EXPECT_TRUE(has(l, "/.../")) << l;
            EXPECT_TRUE(endsWith(l, "/beautyAlpha000.exr")) << l;
        }
    EXPECT_TRUE(image) << out;
}

TEST_F(PanelTruthTest, UnavailableControlsAreGreyedAndNotKept)
{
    writeSources(dir.file("sources.exr"), 48, 32);
    writeScene(scene("{ FrameSize 48 32 } { RGBPrefix \"renders/u\" } " +
                         sources({{5, "T"}, {35, "A"}}),
                     e2e::buffer("Transparency", "{ Unmultiply 1 }")));
    const std::string out = runScript("unavailable-controls");
    EXPECT_TRUE(has(out, "VIPER Display Gamma = 1 (set answered 0)")) << out;
    EXPECT_TRUE(has(out, "[error] VIPER Display Gamma takes values from 0.125 to 64.")) << out;
    EXPECT_TRUE(has(out, "[error] The value 0 was not taken; it stays 1.")) << out;
    EXPECT_TRUE(has(out, "[error] DWA Compression Level takes values from 0 to 1000.")) << out;
    EXPECT_TRUE(has(out, "[error] Width takes values from 0 to 65536.")) << out;
    // The stored un-multiplication was not taken: the file holds the
    // transparency as it is, not divided by the alpha of 0.5.
    const auto t = e2e::readPlane(dir.file("renders/u001.exr"), "Transparency.Y");
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            ASSERT_EQ(t.at(x, y), static_cast<float>(half(0.4f))) << x << ", " << y;
    EXPECT_FALSE(has(testsupport::readFile(dir.file("saved.lws")), "Unmultiply 1"));
}

// A preset file as the host writes it: 'VERS', 'NAME', then 'PRES' with
// the filter's blocks (display gamma 2.5, "Final Render" enabled).
std::string presetBytes(bool withPreset)
{
    devhost::BinaryBlockWriter w;
    const auto leaf = [&](const LWBlockIdent &id, auto write) {
        w.beginBlock(&id, true);
        write();
        w.endBlock();
    };
    const LWBlockIdent vers{LWID_('V', 'E', 'R', 'S'), "Version"},
        name{LWID_('N', 'A', 'M', 'E'), "Name"}, pres{LWID_('P', 'R', 'E', 'S'), "Preset"},
        gamma{LWID_('D', 'G', 'A', 'M'), "DisplayGamma"}, buff{LWID_('B', 'U', 'F', 'F'), "Buffer"},
        bnam{LWID_('B', 'N', 'A', 'M'), "Name"}, bset{LWID_('B', 'S', 'E', 'T'), "Settings"},
        actv{LWID_('A', 'C', 'T', 'V'), "Active"};
    const std::int64_t one = 1, two = 2;
    leaf(vers, [&] { w.ints(&one, 1, 2, true); });
    leaf(name, [&] { w.string("Warm"); });
    if (withPreset) {
        w.beginBlock(&pres, false);
        leaf(vers, [&] { w.ints(&two, 1, 2, true); });
        const float g = 2.5f;
        leaf(gamma, [&] { w.floats(&g, 1); });
        w.beginBlock(&buff, false);
        leaf(bnam, [&] { w.string("Final Render"); });
        w.beginBlock(&bset, false);
        leaf(actv, [&] { w.ints(&one, 1, 1, false); });
        w.endBlock();
        w.endBlock();
        w.endBlock();
    }
    return w.contents();
}

TEST_F(PanelTruthTest, DamagedSettingsFilesLoadNothingAndSayWhy)
{
    writeScene(scene("{ FrameSize 48 32 } { RGBPrefix \"renders/d\" }", ""));
    const std::string good = presetBytes(true);
    testsupport::writeFile(dir.file("good.cfg"), good);
    testsupport::writeFile(dir.file("cut.cfg"), good.substr(0, good.size() - 7));
    testsupport::writeFile(dir.file("nopres.cfg"), presetBytes(false));
    testsupport::writeFile(dir.file("notblock.cfg"), "not a settings file\n");
    const std::string out = runScript("damaged-settings");
    for (const char *file : {"cut.cfg", "nopres.cfg", "notblock.cfg"})
        EXPECT_TRUE(has(out, std::string("[error] Error loading Preset: ") + file +
                                 "\n[error] The file holds no complete preset: it is cut short, "
                                 "damaged or not a settings file."))
            << file << "\n"
            << out;
    EXPECT_TRUE(has(out, "[error] Error loading Preset: missing.cfg"
                             "\n[error] The file cannot be opened."))
        << out;
    // Only the whole file says it loaded.
    const std::size_t loaded = out.find("[info] Loaded Preset: Warm");
    EXPECT_EQ(out.find("Loaded Preset:"), loaded + std::string("[info] ").size()) << out;
    EXPECT_GT(loaded, out.find("> file good.cfg")) << out;
}

TEST_F(PanelTruthTest, PresetLocationsNeverComeFromTheCurrentDirectory)
{
    fs::create_directories(dir.path() / "content");
    fs::create_directories(dir.path() / "run");
    writeScene(scene("{ FrameSize 48 32 }", ""), "content/scene.lws");
    // A relative folder, and a location whose folder is empty.
    testsupport::writeFile(dir.file("content/SimplePresetPaths.cfg"),
                           "studio shared/presets\nempty \n");
    // No shared-data folder at all: no HOME, no XDG_DATA_HOME, no
    // RAVELCAST_SHARED_DATA.
    const std::string out = runScript("preset-locations", "../content/scene.lws",
                                      dir.path() / "run",
                                      "env -u HOME -u XDG_DATA_HOME -u RAVELCAST_SHARED_DATA");
    EXPECT_TRUE(has(out, "form \"Save Preset\" offers Type: Content | Studio | User")) << out;
    EXPECT_TRUE(fs::exists(dir.path() / "content/shared/presets/SimplePresets/ImageFilterHandler/"
                                        "Ravelcast/Studio.cfg"))
        << out;
    EXPECT_TRUE(has(out, "[info] Loaded Preset: Studio")) << out;
    // Names the list would never show are refused, and nothing is written
    // for them anywhere.
    for (const char *name : {"../../escape", ".hidden", ""})
        EXPECT_TRUE(has(out, std::string("[error] Preset not saved: the name \"") + name +
                                 "\" cannot be listed."))
            << name << "\n"
            << out;
    EXPECT_TRUE(has(out, "[question] Delete Preset: Are you sure you want to delete the preset? / "
                         "[Studio] Studio -> 0"))
        << out;
    EXPECT_EQ(e2e::filesIn(dir.path() / "run"), std::vector<std::string>{});
    std::vector<std::string> presets;
    for (const auto &e : fs::recursive_directory_iterator(dir.path()))
        if (e.path().extension() == ".cfg" && e.path().filename() != "SimplePresetPaths.cfg")
            presets.push_back(fs::relative(e.path(), dir.path()).string());
    EXPECT_EQ(presets, std::vector<std::string>{
                           "content/shared/presets/SimplePresets/ImageFilterHandler/Ravelcast/"
                           "Studio.cfg"});
}

} // namespace
