// The preview window and the "Magnifex" inspector through the real module:
// the window follows the buffer popup and its display modes, a click picks
// a pixel and the inspector lists what is behind it.
#include <algorithm>

#include <gtest/gtest.h>

#include "E2ESupport.h"
#include "devhost/Panels.h"
#include "devhost/Previews.h"
#include "devhost/SceneFile.h"

namespace {

using testsupport::TempDir;

const char *const kScene = R"({ Host { Version 10 0 2009 } { Mode "layout" } }
{ Scene { Name "inspect.lws" } { Frames 1 1 1 } { FrameSize 64 36 } { RGBPrefix "renders/i" }
  { Camera { Name "Camera" } } { RenderCamera "Camera" } }
Plugin ImageFilterHandler 1 Ravelcast
{ Version 2 }
{ LayoutRenderMode 0 }
EndPlugin
)";

class PixelInspectorTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        load();
        testsupport::writeFile(dir.file("scene.lws"), kScene);
        devhost::readSceneFile(host(), dir.file("scene.lws"));
        host().scene().host.contentDir = dir.path().string();
        host().sceneChanged();
        ASSERT_EQ(host().runGeneric("Open_Ravelcast"), 0);
        panel = &panels().xpanel(static_cast<LWXPanelID>(host().edits().back().panel));
    }
    devhost::Panels &panels() { return devhost::Panels::of(host()); }
    devhost::Previews &previews() { return devhost::Previews::of(host()); }
    void set(const std::string &control, const std::string &value)
    {
        panels().setValue(*panel, panels().findControl(*panel, control), value);
    }
    void render()
    {
        devhost::RenderOptions options;
        devhost::RenderJob job(host(), options);
        job.run();
    }
    // What the inspector shows now.
    std::vector<std::string> inspector()
    {
        devhost::ClassicPanel *p = panels().openClassicTitled("Magnifex");
        if (!p)
            return {};
        panels().drawClassic(p->id, DR_REFRESH);
        return p->drawnText;
    }
    static bool shows(const std::vector<std::string> &lines, const std::string &start)
    {
        return std::any_of(lines.begin(), lines.end(),
                           [&](const std::string &l) { return l.rfind(start, 0) == 0; });
    }

    TempDir dir;
    devhost::XPanelRecord *panel = nullptr;
};

TEST_F(PixelInspectorTest, ClicksPickPixelsOfTheShownBuffer)
{
    panels().press(*panel, panels().findControl(*panel, "Toggle VIPER"));
    devhost::PreviewWindow &w = previews().find("Ravelcast Buffers");
    ASSERT_TRUE(w.open);
    EXPECT_EQ(w.choices.size(), 4u);
    EXPECT_EQ(w.current, 1) << "\"Processed Buffer\" by default";

    // Before any frame no buffer was measured: no range is shown.
    previews().click(w, 320, 240);
    std::vector<std::string> lines = inspector();
    ASSERT_FALSE(lines.empty());
    // The scene enables no buffer: none is said to be written.
    EXPECT_EQ(lines[0], "Final Render (not written)");
    EXPECT_FALSE(shows(lines, "Min: "));
    EXPECT_FALSE(shows(lines, "Max: "));

    render();
    set("Buffer", "Surface Normal");
    const int draws = w.draws;
    previews().choose(w, 3);
    EXPECT_GT(w.draws, draws) << "a new mode redraws the window";
    previews().click(w, 320, 240);
    lines = inspector();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Surface Normal (not written)");
    EXPECT_EQ(lines[1], "16bit Float");
    // The 64 x 36 frame fills 640 x 360 of the 640 x 480 window: 60 pixels
    // of margin above and below.
    EXPECT_EQ(lines[2], "x: 32 - y: 18");
    EXPECT_TRUE(shows(lines, "Min: ")) << "measured by the frame";
    EXPECT_TRUE(shows(lines, "X : not written")) << "channel label, and no output name";

    // A click in the margin changes nothing.
    previews().click(w, 320, 10);
    EXPECT_EQ(inspector(), lines);

    // On a window drawn larger the click picks the pixel drawn there:
    // window (645, 480) is image pixel (322, 180), whose centre lies on
    // frame pixel 322.5 x 64 / 640 = 32.
    previews().resize(w, 1280, 960);
    previews().click(w, 645, 480);
    lines = inspector();
    EXPECT_EQ(lines[2], "x: 32 - y: 18");

    // The window follows the popup.
    set("Buffer", "Depth");
    lines = inspector();
    EXPECT_EQ(lines[0], "Depth (not written)");
    EXPECT_EQ(lines[1], "32bit Float");
}

} // namespace
