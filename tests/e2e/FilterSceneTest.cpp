// The filter's settings in scene files, through the real module's load and
// save callbacks as the development host reads and writes scenes.

#include <ImfChannelList.h>

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
    EXPECT_EQ(describe(), "Orvo Ravelcast: " + testsupport::nativePath("renders/x_000.exr") + " - 3 Files - 3 Buffers");
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
    EXPECT_EQ(describe(), "Orvo Ravelcast: " + testsupport::nativePath("out/shot000.exr") + " - 1 File - 1 Buffer");
    const std::string text = savedScene();
    EXPECT_NE(text.find("{ Version 2 }"), std::string::npos);
    EXPECT_NE(text.find("{ Compression 0 }"), std::string::npos);
    EXPECT_EQ(text.find("Hologram"), std::string::npos);
}

TEST_F(FilterSceneTest, ValuesThatCannotBeReadKeepTheSetting)
{
    // Each setting first well, then as a text where a number belongs, a
    // number beyond its type or its range, or an empty block: the good
    // value stays, at every level.
    loadScene(e2e::sceneHeader() + kPlugin +
              "{ Version 2 } { useRGBPrefix 0 } { FileName \"renders/x\" }\n"
              "{ Compression 4 } { Compression \"zip\" } { Compression 99999999999 }\n"
              "{ NameFormatExt 9 } { NameFormatExt abc } { NameFormatExt 16 }\n"
              "{ DisplayGamma 2.2 } { DisplayGamma \"x\" } { EmbedPreview 1 } { EmbedPreview }\n"
              "{ useRGBPrefix \"maybe\" } { FileName }\n"
              "{ Buffer { Name \"Final Render\" } { Settings { Active 1 }"
              " { PixelType 2 } { PixelType \"float\" } { PixelType 7 } { SaveAs 3 } { SaveAs 99 }"
              " { Channel { Name \"Green\" } { Settings { EXRChannelName \"GG\" } { LWBuffer 32 }"
              " { LWBuffer x } { LWBuffer 4000 } { Flip 1 } { Flip } } } } }\n"
              "EndPlugin\n");
    EXPECT_EQ(describe(), "Orvo Ravelcast: " + testsupport::nativePath("renders/x_000.exr") + " - 2 Files - 1 Buffer");
    const std::string text = savedScene();
    for (const char *kept : {"{ Compression 4 }", "{ NameFormatExt 9 }", "{ DisplayGamma 2.2 }",
                             "{ EmbedPreview 1 }", "{ useRGBPrefix 0 }", "{ PixelType 2 }",
                             "{ SaveAs 3 }", "{ EXRChannelName \"GG\" }", "{ LWBuffer 32 }",
                             "{ Flip 1 }"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept << " in\n" << text;

    // What the frame gets: PIZ, FLOAT, the layer and the image, green read
    // from the red host buffer and flipped.
    render(testsupport::readFile(dir.file("saved.lws")));
    const Imf::Header layered = e2e::headerOf(out("renders/x_001.exr"));
    EXPECT_EQ(layered.compression(), Imf::PIZ_COMPRESSION);
    EXPECT_EQ(layered.channels().findChannel("GG")->type, Imf::FLOAT);
    const auto gg = e2e::readPlane(out("renders/x_001.exr"), "GG");
    const auto red = e2e::readPlane(dump(1), "B32");
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x)
            ASSERT_EQ(gg.at(x, y), -red.at(x, y));
}

TEST_F(FilterSceneTest, CreatedFilterTakesTheRenderPath)
{
    loadScene(e2e::sceneHeader());
    ASSERT_EQ(host().runGeneric("Open_Ravelcast"), AFUNC_OK);
    ASSERT_EQ(host().scene().servers.size(), 1u);
    EXPECT_EQ(host().commands(), (std::vector<std::string>{
                                     "ApplyServer ImageFilterHandler Ravelcast",
                                     "EditServer ImageFilterHandler 1"}));
    EXPECT_EQ(describe(), "Orvo Ravelcast: " + testsupport::nativePath("out/shot000.exr") + " - 1 File - 2 Buffers");
    const std::string text = savedScene();
    // A scene's text writes a '\\' of the platform's folders as "\\\\".
#if defined(_WIN32)
    EXPECT_NE(text.find("{ FileName \"out\\\\shot\""), std::string::npos) << text;
#else
    EXPECT_NE(text.find("{ FileName \"out/shot\""), std::string::npos) << text;
#endif
}

} // namespace
