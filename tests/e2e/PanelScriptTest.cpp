// Panels driven by `devhost ui` scripts through the real module: the saver
// settings master's panel and the about box, their pictures, the files the
// chosen settings write, and what a failing step does.
#include <cairo.h>

#include <sstream>

#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfCompression.h>
#include <ImfRgbaFile.h>

#include "E2ESupport.h"
#include "devhost/Panels.h"
#include "devhost/SceneFile.h"
#include "devhost/tools/UiScript.h"

namespace {

using testsupport::TempDir;

using e2e::devhostIn;
std::string quoted(const std::string &s) { return e2e::shellQuoted(s); }

void writeInput(const std::string &file)
{
    Imf::Rgba px[4 * 2];
    for (int i = 0; i < 8; ++i)
        px[i] = Imf::Rgba(0.1f * i, 0.5f, 0.25f, 1.0f);
    Imf::RgbaOutputFile out(file.c_str(), 4, 2, Imf::WRITE_RGBA);
    out.setFrameBuffer(px, 1, 4);
    out.writePixels(2);
}

struct Png {
    int width = 0, height = 0;
};

Png pngSize(const std::string &file)
{
    cairo_surface_t *s = cairo_image_surface_create_from_png(file.c_str());
    Png p;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS)
        p = {cairo_image_surface_get_width(s), cairo_image_surface_get_height(s)};
    cairo_surface_destroy(s);
    return p;
}

bool has(const std::string &text, const std::string &part)
{
    return text.find(part) != std::string::npos;
}

const char *const kScene = R"({ Host { Version 10 0 2009 } { Mode "layout" } }
{ Scene { Name "panels.lws" } }
)";

TEST(PanelScriptTest, SaverSettingsPanelChangesWhatTheSaverWrites)
{
    TempDir dir;
    testsupport::writeFile(dir.file("scene.lws"), kScene);
    writeInput(dir.file("in.exr"));
    std::string out;
    const int status = devhostIn(
        dir.path(), "ui scene.lws " + quoted(std::string(DOCS_DIR) + "/tests/ui/saver-settings.ui"), &out);
    ASSERT_EQ(status, 0) << out;
    EXPECT_TRUE(has(out, "panel \"OpenEXR Settings1.5a")) << out;
    EXPECT_TRUE(has(out, "OpenEXRSettings: Orvo OpenEXR: Float 32 - ZIP (lossless)")) << out;
    EXPECT_TRUE(has(out, "panel \"About Ravelcast\" opened (modal)")) << out;

    // What the chosen settings wrote, read back with the library.
    const Imf::Header h = e2e::headerOf(dir.file("out.exr"));
    EXPECT_EQ(h.compression(), Imf::ZIP_COMPRESSION);
    for (const std::string &c : e2e::channelsOf(h))
        EXPECT_EQ(h.channels().findChannel(c)->type, Imf::FLOAT) << c;

    // Pictures a person can look at.
    const Png settings = pngSize(dir.file("settings.png"));
    EXPECT_GT(settings.width, 300);
    EXPECT_GT(settings.height, 150);
    const Png about = pngSize(dir.file("about.png"));
    EXPECT_GT(about.width, 203);
    EXPECT_GT(about.height, 78 + 4 * 16);

    // The saved scene keeps the choice for a fresh process.
    ASSERT_EQ(devhostIn(dir.path(), "describe saved.lws", &out), 0) << out;
    EXPECT_TRUE(has(out, "Orvo OpenEXR: Float 32 - ZIP (lossless)")) << out;
}

TEST(PanelScriptTest, FailingStepsStopTheScriptAndNameTheLine)
{
    TempDir dir;
    testsupport::writeFile(dir.file("scene.lws"), kScene);
    struct Case {
        const char *script;
        const char *says;
    };
    const Case cases[] = {
        {"generic Open_OpenEXRSettings\n# a comment\nexpect Compression \"RLE (lossless)\"\n"
         "snapshot never.png\n",
         "line 3: expected Compression = \"RLE (lossless)\", got \"PIZ (lossless)\""},
        {"generic Open_OpenEXRSettings\nset Compression \"Zip\"\n",
         "line 2: \"Compression\" has no item \"Zip\""},
        {"generic Open_OpenEXRSettings\nset Gamma 2\n", "has no control \"Gamma\""},
        {"set Compression 3\n", "line 1: no panel is open"},
        {"generic Open_OpenEXRSettings\npress Compression\n", "is not a button"},
        // A failure inside the modal about box ends it and the script.
        {"generic Open_OpenEXRSettings\npress \"About Ravelcast...\"\nset Compression 1\n"
         "snapshot never.png\n",
         "line 3: the panel on top (\"About Ravelcast\") has no controls to set"},
        {"frobnicate\n", "unknown command frobnicate"},
        {"open \"unclosed\n", "a quote is not closed"},
    };
    for (const Case &c : cases) {
        testsupport::writeFile(dir.file("s.ui"), c.script);
        std::string out;
        EXPECT_EQ(devhostIn(dir.path(), "ui scene.lws s.ui", &out), 1) << c.script << out;
        EXPECT_TRUE(has(out, c.says)) << out;
        EXPECT_FALSE(std::filesystem::exists(dir.file("never.png"))) << c.script;
    }
}

TEST(PanelScriptTest, UserSessionPresetReviewRenderAndInspect)
{
    TempDir dir;
    testsupport::writeFile(dir.file("scene.lws"), R"({ Host { Version 10 0 2009 } { Mode "layout" } }
{ Scene { Name "session.lws" } { Frames 1 1 1 } { FrameSize 320 180 }
  { RGBPrefix "renders/session" } { Camera { Name "Camera" } } { RenderCamera "Camera" } }
)");
    std::string out;
    const int status = devhostIn(dir.path(), "ui scene.lws " +
                                          quoted(std::string(DOCS_DIR) + "/tests/ui/user-session.ui"),
                                 &out);
    ASSERT_EQ(status, 0) << out;
    // The preset was written where the "User" location keeps presets and
    // brought the setup back.
    EXPECT_TRUE(std::filesystem::exists(
        dir.file("settings/SimplePresets/ImageFilterHandler/Ravelcast/Depth as float.cfg")))
        << out;
    EXPECT_TRUE(has(out, "Orvo Ravelcast: renders/session001.exr - 1 File - 3 Buffers")) << out;
    const Imf::Header h = e2e::headerOf(dir.file("renders/session001.exr"));
    EXPECT_EQ(e2e::channelsOf(h), (std::vector<std::string>{"A", "B", "G", "R", "Z"}));
    EXPECT_EQ(h.channels().findChannel("Z")->type, Imf::FLOAT);
    EXPECT_EQ(h.channels().findChannel("R")->type, Imf::HALF);
    EXPECT_TRUE(has(out, "panel \"Magnifex\" opened")) << out;
    for (const char *png : {"panel-output.png", "panel-metadata.png", "panel-processing.png",
                            "panel-channels.png", "review.png", "preview.png", "magnifex.png"})
        EXPECT_GT(pngSize(dir.file(png)).width, 100) << png;
    const Png preview = pngSize(dir.file("preview.png"));
    EXPECT_EQ(preview.width, 640);
}

class PanelServiceTest : public testsupport::HostTest {};

TEST_F(PanelServiceTest, EveryPanelServiceAcquiredIsReleasedAtUnload)
{
    load();
    TempDir dir;
    testsupport::writeFile(dir.file("scene.lws"), kScene);
    devhost::readSceneFile(host(), dir.file("scene.lws"));
    std::istringstream script("generic Open_OpenEXRSettings\nset Compression 3\n"
                              "press \"About Ravelcast...\"\nclose\nclose\n"
                              "generic Open_OpenEXRSettings\nexpect Compression \"ZIP (lossless)\"\n");
    std::ostringstream out, errors;
    devhost::UiScript ui(host(), script, "inline", out, errors);
    ASSERT_EQ(ui.run(), 0) << out.str() << errors.str();
    // Closed for good and asked again: the master built a new panel.
    EXPECT_TRUE(has(out.str(), "panel \"OpenEXR Settings1.5a")) << out.str();
    host().unloadModule();
    EXPECT_GT(host().services().use("LWXPanel").acquires, 0);
    EXPECT_GT(host().services().use("LWPanelServices").acquires, 0);
    EXPECT_EQ(host().services().unreleased(), std::vector<std::string>{});
}

} // namespace
