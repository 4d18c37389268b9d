// The filter's settings in scene files, through the real module's load and
// save callbacks as the development host reads and writes scenes.

#include "E2ESupport.h"
#include "devhost/SceneFile.h"

namespace {

const std::string kPlugin = "Plugin ImageFilterHandler 1 Ravelcast\n";

class FilterSceneTest : public e2e::RenderTest {
protected:
    std::string savedScene()
    {
        const std::string path = dir.file("saved.lws");
        devhost::writeSceneFile(host(), path);
        return testsupport::readFile(path);
    }
    std::string describe() { return host().describe(*host().scene().servers.front()); }
};

TEST_F(FilterSceneTest, OnlyActiveBuffersAreSavedAndReloadExactly)
{
    loadScene(e2e::sceneHeader() + kPlugin +
              "{ Version 2 } { NameFormat 5 } { useRGBPrefix 0 } { FileName \"renders/x\" }\n"
              "{ Buffer { Name \"Final Render\" } { Settings { Active 1 } } }\n"
              "{ Buffer { Name \"Ambient Occlusion\" } { Settings { Active 1 } { SaveAs 2 }"
              " { ImageFormat \"PNG(.png)\" } } }\n"
              "{ Buffer { Name \"Depth\" } { Settings { Active 1 } { SaveAs 2 }"
              " { ImageFormat \"NotInstalled(.xyz)\" } } }\n"
              "EndPlugin\n");
    // NameFormat 5 is NameFormatExt 9: extension, 3 digits, underscore.
    EXPECT_EQ(describe(), "Orvo Ravelcast: renders/x_000.exr - 3 Files - 3 Buffers");
    const std::string text = savedScene();
    EXPECT_NE(text.find("{ NameFormatExt 9 }"), std::string::npos);
    EXPECT_NE(text.find("{ Name \"Final Render\" }"), std::string::npos);
    EXPECT_EQ(text.find("\"Alpha\""), std::string::npos) << "Alpha was not listed: inactive";
    EXPECT_NE(text.find("{ ImageFormat \"PNG(.png)\" }"), std::string::npos);
    // A saver the host lacks loads as native OpenEXR and saves no format.
    EXPECT_EQ(text.find("NotInstalled"), std::string::npos);

    const std::string again = dir.file("saved.lws");
    devhost::readSceneFile(host(), again);
    EXPECT_EQ(savedScene(), text);

    // The PNG image is written through the host's saver, the depth natively.
    render(testsupport::readFile(again));
    EXPECT_EQ(e2e::filesIn(out("renders")),
              (std::vector<std::string>{"x_001.exr", "x_AO_001.png", "x_Depth_001.exr"}));
}

TEST_F(FilterSceneTest, SettingsOfANewerVersionAreAppliedWithItsText)
{
    loadScene(e2e::sceneHeader() + kPlugin +
              "{ Version 3 } { Compression 0 } { Hologram { Depth 3 } }\n"
              "{ Buffer { Name \"Raw Colour\" } { Settings { Active 1 } { Quantum 1 } } }\n"
              "{ Buffer { Settings { Active 1 } } { Name \"Shadow\" } }\n"
              "EndPlugin\n");
    const auto errors = messages(devhost::Message::Error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "These settings require a newer version of Ravelcast to read.|");
    const auto warnings = messages(devhost::Message::Warning);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_EQ(warnings[0], "The Buffer  is not available in this version of LightWave 3D|It will "
                           "not be loaded and ignored when the scene is saved.");
    EXPECT_EQ(describe(), "Orvo Ravelcast: out/shot000.exr - 1 File - 1 Buffer");
    const std::string text = savedScene();
    EXPECT_NE(text.find("{ Version 2 }"), std::string::npos);
    EXPECT_NE(text.find("{ Compression 0 }"), std::string::npos);
    EXPECT_EQ(text.find("Hologram"), std::string::npos);
}

TEST_F(FilterSceneTest, CreatedFilterTakesTheRenderPath)
{
    loadScene(e2e::sceneHeader());
    ASSERT_EQ(host().runGeneric("Open_Ravelcast"), AFUNC_OK);
    ASSERT_EQ(host().scene().servers.size(), 1u);
    EXPECT_EQ(host().commands(), (std::vector<std::string>{
                                     "ApplyServer ImageFilterHandler Ravelcast",
                                     "EditServer ImageFilterHandler 1"}));
    EXPECT_EQ(describe(), "Orvo Ravelcast: out/shot000.exr - 1 File - 2 Buffers");
    const std::string text = savedScene();
    EXPECT_NE(text.find("{ FileName \"out/shot\""), std::string::npos) << text;
}

} // namespace
