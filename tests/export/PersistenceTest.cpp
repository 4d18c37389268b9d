// The filter's settings in scene and preset blocks.

#include <ImfCompression.h>

#include "ExportTest.h"
#include "devhost/BlockFile.h"

namespace {

using ravelcast::OpenEXRBuffer;
using ravelcast::OpenEXRFilter;

class PersistenceTest : public ExportTest {
protected:
    std::string saveText(OpenEXRFilter &f, bool preset)
    {
        devhost::TextBlockWriter w;
        w.state()->ioMode = LWIO_ASCII;
        hostkit::SaveState s(w.state());
        EXPECT_EQ(f.saveSettings(s, preset), "");
        return w.contents();
    }
    std::string loadText(OpenEXRFilter &f, const std::string &text, bool preset = false)
    {
        devhost::TextBlockReader r(text);
        r.setPluginLevel(true);
        hostkit::LoadState s(r.state());
        return f.loadSettings(s, preset);
    }
    // Everything a user may set on one buffer.
    void customise(OpenEXRBuffer &b)
    {
        b.setActive(true);
        b.setLayerName("Custom");
        b.setDescription("edited");
        b.setPixelType(2);
        b.setSaveAs(7);
        b.setInvert(true);
        b.setLumaAsRGB(true);
        b.setUnmultiply(true);
        b.setFitDataWindow(true);
        b.setCompression(Imf::PIZ_COMPRESSION);
        b.minimum().set(-1.0);
        b.maximum().set(4.0);
        b.offset().set(0.5);
        b.scale().set(3.0);
        b.gamma().set(2.2);
        b.channel(0).setChannelName("X0");
        b.channel(0).setFlip(true);
        b.channel(b.channelCount() - 1).setHostBuffer(12);
    }
};

TEST_F(PersistenceTest, SceneRoundTripKeepsEverySetting)
{
    OpenEXRFilter &a = makeFilter();
    customise(*a.buffer("Diffuse Colour"));
    devhost::TextBlockReader settings(
        "{ useRGBPrefix 0 } { NameFormatExt 11 } { CustomFileName \"%scene%_x\" }"
        "{ SingleFileNameFormat 4 } { LayoutRenderMode 2 } { VIPEROptions 3 } { DisplayGamma 1.8 }"
        "{ PostApplyDisplayGamma 1 } { EmbedPreview 1 } { PreviewScale 5 } { PreviewWidth 64 }"
        "{ PreviewHeight 32 } { Author \"Ada\" } { Comment \"take 2\" } { Compression 7 }"
        "{ FileName \"renders/beauty\" }");
    hostkit::LoadState load(settings.state());
    ASSERT_EQ(a.loadSettings(load, true), "");
    a.buffer("Alpha")->setActive(false);

    const std::string text = saveText(a, false);
    // Order of the filter's blocks, and only Active buffers.
    const char *order[] = {"{ Version 2 }", "{ FileName", "{ useRGBPrefix 0 }", "{ NameFormatExt 11 }",
                           "{ CustomFileName", "{ SingleFileNameFormat 4 }", "{ LayoutRenderMode 2 }",
                           "{ VIPEROptions 3 }", "{ DisplayGamma 1.8 }", "{ PostApplyDisplayGamma 1 }",
                           "{ EmbedPreview 1 }", "{ PreviewScale 5 }", "{ PreviewWidth 64 }",
                           "{ PreviewHeight 32 }", "{ Author \"Ada\" }", "{ Comment \"take 2\" }",
                           "{ Compression 7 }", "{ Buffer"};
    std::size_t at = 0;
    for (const char *block : order) {
        const std::size_t found = text.find(block, at);
        ASSERT_NE(found, std::string::npos) << block << "\n" << text;
        at = found;
    }
    EXPECT_NE(text.find("{ Name \"Final Render\" }"), std::string::npos);
    EXPECT_NE(text.find("{ Name \"Diffuse Colour\" }"), std::string::npos);
    EXPECT_EQ(text.find("\"Alpha\""), std::string::npos) << "inactive buffers are not saved";
    EXPECT_EQ(text.find("ImageFormat"), std::string::npos) << "native format writes no saver";
    // Buffer level order.
    const std::size_t diffuse = text.find("{ Name \"Diffuse Colour\" }");
    at = diffuse;
    for (const char *block : {"{ EXRBufferName \"Custom\" }", "{ PixelType 2 }", "{ Active 1 }",
                              "{ Description \"edited\" }", "{ Invert 1 }", "{ SaveAs 7 }",
                              "{ LumaAsRGB 1 }", "{ FitDataWindow 1 }",
                              "{ BufferCompression 4 }", "{ Minimum", "{ Maximum",
                              "{ Offset", "{ Scale", "{ Gamma", "{ Unmultiply 1 }",
                              "{ Channel", "{ Name \"Red\" }", "{ EXRChannelName \"X0\" }",
                              "{ LWBuffer 20 }", "{ Flip 1 }"}) {
        const std::size_t found = text.find(block, at);
        ASSERT_NE(found, std::string::npos) << block << "\n" << text.substr(diffuse);
        at = found;
    }

    OpenEXRFilter &b = makeFilter();
    ASSERT_EQ(loadText(b, text), "");
    EXPECT_EQ(saveText(b, false), text);
    EXPECT_FALSE(b.settings().useRGBPrefix);
    EXPECT_EQ(b.settings().outputFile.fullPath(), testsupport::nativePath("renders/beauty"));
    EXPECT_EQ(b.settings().nameFormat, 11);
    EXPECT_EQ(b.settings().compression, 7);
    EXPECT_DOUBLE_EQ(b.settings().displayGamma, static_cast<double>(1.8f));
    const OpenEXRBuffer &d = *b.buffer("Diffuse Colour");
    EXPECT_EQ(d.layerName(), "Custom");
    EXPECT_EQ(d.saveAs(), 7);
    EXPECT_TRUE(d.unmultiply() && d.lumaAsRGB() && d.fitDataWindow() && d.invert());
    EXPECT_EQ(d.compression(), Imf::PIZ_COMPRESSION);
    EXPECT_EQ(b.buffer("Final Render")->compression(), ravelcast::kAsTheFile)
        << "a buffer keeps the file's compression unless it chose one";
    EXPECT_EQ(d.channel(0).channelName(), "X0");
    EXPECT_TRUE(d.channel(0).flip());
    EXPECT_EQ(d.channel(2).hostBuffer(), 12);
    b.buffer("Diffuse Colour")->evaluateParameters();
    EXPECT_FLOAT_EQ(b.buffer("Diffuse Colour")->inverseGamma(), 1.0f / 2.2f);
    EXPECT_FALSE(b.buffer("Alpha")->active()) << "a scene load first disables every buffer";
}

TEST_F(PersistenceTest, PresetsHoldEveryBufferAndNoFileName)
{
    OpenEXRFilter &a = makeFilter();
    const std::string preset = saveText(a, true);
    EXPECT_EQ(preset.find("{ FileName"), std::string::npos);
    std::size_t buffers = 0;
    for (std::size_t at = preset.find("{ Buffer"); at != std::string::npos;
         at = preset.find("{ Buffer", at + 1))
        buffers += preset.compare(at, 19, "{ BufferCompression") != 0 ? 1 : 0;
    EXPECT_EQ(buffers, 31u);

    // Loading a preset keeps the output file and does not disable first.
    OpenEXRFilter &b = makeFilter();
    ASSERT_EQ(loadText(b, "{ FileName \"kept/name\" }"), "");
    b.buffer("Raw Colour")->setActive(true);
    ASSERT_EQ(loadText(b, "{ Version 2 } { Compression 1 }", true), "");
    EXPECT_EQ(b.settings().outputFile.fullPath(), testsupport::nativePath("kept/name"));
    EXPECT_TRUE(b.buffer("Raw Colour")->active());
    EXPECT_EQ(b.settings().compression, 1);

    // In binary block files as presets are stored.
    devhost::BinaryBlockWriter w;
    hostkit::SaveState s(w.state());
    b.buffer("Depth")->setPixelType(0);
    b.buffer("Depth")->setCompression(Imf::RLE_COMPRESSION);
    ASSERT_EQ(b.saveSettings(s, true), "");
    OpenEXRFilter &c = makeFilter();
    devhost::BinaryBlockReader r(w.contents().substr(4));
    hostkit::LoadState l(r.state());
    ASSERT_EQ(c.loadSettings(l, true), "");
    EXPECT_EQ(c.buffer("Depth")->pixelType(), 0);
    EXPECT_EQ(c.buffer("Depth")->compression(), Imf::RLE_COMPRESSION);
    EXPECT_TRUE(c.buffer("Raw Colour")->active());
    EXPECT_EQ(c.settings().compression, 1);
}

TEST_F(PersistenceTest, OlderAndNewerSettings)
{
    OpenEXRFilter &f = makeFilter();
    EXPECT_EQ(loadText(f, "{ NameFormat 5 }"), "");
    EXPECT_EQ(f.settings().nameFormat, 9);
    loadText(f, "{ NameFormat 7 }");
    EXPECT_EQ(f.settings().nameFormat, 11);

    // An old single file flag, and an old single-channel buffer.
    const std::string old = "{ Version 1 }"
                            "{ Buffer { Name \" Special\t\" } { Settings { SaveAsFile 1 } { Active 1 } } }"
                            "{ Buffer { Name \"Shadow\" } { Settings { EXRBufferName \"A\" } { Active 1 }"
                            "  { Channel { Name \"Shadow\" } { Settings { EXRChannelName \"\" } } } } }";
    EXPECT_EQ(loadText(f, old), "");
    EXPECT_EQ(f.buffer("Special")->saveAs(), 2);
    EXPECT_TRUE(f.buffer("Special")->active());
    EXPECT_EQ(f.buffer("Shadow")->layerName(), "");
    EXPECT_EQ(f.buffer("Shadow")->channel(0).channelName(), "A");
    // Scenes from before a buffer had a compression of its own: the file's.
    EXPECT_EQ(f.buffer("Special")->compression(), ravelcast::kAsTheFile);

    // A newer version: the text, yet every known block is applied.
    const std::string newer = "{ Version 3 } { Compression 2 } { FutureBlock { Deep 1 } }"
                              "{ Buffer { Name \"Depth\" } { Settings { Active 1 } { FutureToo 2 } } }"
                              "{ SingleFileNameFormat 3 }";
    EXPECT_EQ(loadText(f, newer), "These settings require a newer version of Ravelcast to read.");
    EXPECT_EQ(f.settings().compression, 2);
    EXPECT_TRUE(f.buffer("Depth")->active());
    EXPECT_EQ(f.settings().singleNameFormat, 3);

    // Values a damaged scene could hold are not taken over.
    loadText(f, "{ Buffer { Name \"Depth\" } { Settings { BufferCompression 3 } } }");
    EXPECT_EQ(f.buffer("Depth")->compression(), Imf::ZIP_COMPRESSION);
    loadText(f, "{ Buffer { Name \"Depth\" } { Settings { BufferCompression 10 } } }"
                "{ Buffer { Name \"Motion\" } { Settings { BufferCompression -2 } } }");
    EXPECT_EQ(f.buffer("Depth")->compression(), Imf::ZIP_COMPRESSION);
    EXPECT_EQ(f.buffer("Motion")->compression(), ravelcast::kAsTheFile);
    loadText(f, "{ Compression 99 } { SingleFileNameFormat -3 } { NameFormatExt 64 }");
    EXPECT_EQ(f.settings().compression, 2);
    EXPECT_EQ(f.settings().singleNameFormat, 3);
    EXPECT_EQ(f.settings().nameFormat, 11);
}

TEST_F(PersistenceTest, UnknownBuffersWarnAndAreSkipped)
{
    OpenEXRFilter &f = makeFilter();
    EXPECT_EQ(loadText(f, "{ Buffer { Settings { Active 1 } } { Name \"Final Render\" } }"
                          "{ Buffer { Name \"Tachyon Pass\" } { Settings { Active 1 } } }"
                          "{ Compression 5 }"),
              "");
    EXPECT_FALSE(f.buffer("Final Render")->active()) << "settings before the name match nothing";
    EXPECT_EQ(f.settings().compression, 5);
    EXPECT_EQ(messages(devhost::Message::Warning),
              (std::vector<std::string>{
                  "The Buffer  is not available in this version of LightWave 3D|It will not be "
                  "loaded and ignored when the scene is saved.",
                  "The Buffer Tachyon Pass is not available in this version of LightWave 3D|It "
                  "will not be loaded and ignored when the scene is saved."}));

    // An old host lacks the newer rows: their settings are skipped the same way.
    useHost(8, 2, 100);
    OpenEXRFilter &old = makeFilter();
    loadText(old, "{ Buffer { Name \"Surface ID\" } { Settings { Active 1 } } }");
    EXPECT_EQ(old.buffer("Surface ID"), nullptr);
    EXPECT_EQ(messages(devhost::Message::Warning).size(), 3u);
}

TEST_F(PersistenceTest, EndPluginEndsTheSettings)
{
    OpenEXRFilter &f = makeFilter();
    EXPECT_EQ(loadText(f, "{ Compression 1 }\nEndPlugin\n{ Compression 6 }"), "");
    EXPECT_EQ(f.settings().compression, 1);
}

TEST_F(PersistenceTest, CopyTakesEverySetting)
{
    OpenEXRFilter &a = makeFilter();
    customise(*a.buffer("Motion"));
    loadText(a, "{ Comment \"c\" } { NameFormatExt 3 }", true);
    OpenEXRFilter &b = makeFilter();
    b.copy(a);
    EXPECT_EQ(saveText(b, true), saveText(a, true));
}

} // namespace
