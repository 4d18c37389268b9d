// Output file names, token expansion and the filter's description line.

#include "ExportTest.h"
#include "export/FileNaming.h"
#include "hostkit/FileName.h"
#include "hostkit/utility/Platform.h"

namespace {

using ravelcast::expandNameTokens;
using ravelcast::imageFileName;
using ravelcast::layeredFileName;

const std::string S(1, hostkit::kPathSeparator);

ravelcast::NameContext context(const std::string &scene = "shot.lws")
{
    ravelcast::NameContext c;
    c.sceneName = scene;
    c.cameraName = "Main";
    return c;
}

TEST(FileNaming, FrameNumbers)
{
    EXPECT_EQ(ravelcast::frameNumber(7, 4), "0007");
    EXPECT_EQ(ravelcast::frameNumber(12345, 3), "12345");
    EXPECT_EQ(ravelcast::frameNumber(-1, 3), "0-1");
    EXPECT_EQ(ravelcast::frameNumber(-12, 6), "000-12");
    EXPECT_EQ(ravelcast::frameDigits(0), 3);
    EXPECT_EQ(ravelcast::frameDigits(6), 6);
    EXPECT_EQ(ravelcast::frameDigits(15), 6);
}

TEST(FileNaming, LayeredNames)
{
    const auto c = context();
    EXPECT_EQ(layeredFileName("/out/shot", "exr", 12, 0, c), "/out/shot012");
    EXPECT_EQ(layeredFileName("/out/shot", "exr", 12, 15, c), "/out/shot_000012.exr");
    EXPECT_EQ(layeredFileName("/out/shot", "exr", 7, 11, c), "/out/shot_0007.exr");
    EXPECT_EQ(layeredFileName("shot", "exr", 12345, 1, c), "shot12345.exr");
    EXPECT_EQ(layeredFileName("/out/%scene%_%Buffer%_", "exr", 3, 1, c), "/out/shot_Base_003.exr");
}

TEST(FileNaming, SeparateImageNamesOfTheWorkedExample)
{
    // Base .../out/shot, NameFormatExt 11, frame 7, layer Raw, OpenEXR image.
    const auto c = context();
    for (const std::string base : {"C:\\out\\shot", "/out/shot"}) {
        const std::string dir = base.substr(0, base.size() - 5);
        EXPECT_EQ(imageFileName(base, "exr", 7, 0, 11, "Raw", "", c), dir + S + "shot_Raw_0007.exr");
        EXPECT_EQ(imageFileName(base, "exr", 7, 1, 11, "Raw", "", c), dir + S + "Raw" + S + "shot_0007.exr");
        EXPECT_EQ(imageFileName(base, "exr", 7, 2, 11, "Raw", "", c),
                  dir + S + "Raw" + S + "shot_Raw_0007.exr");
        EXPECT_EQ(imageFileName(base, "exr", 7, 3, 11, "Raw", "", c), dir + S + "Raw_shot_0007.exr");
    }
    EXPECT_EQ(layeredFileName("C:\\out\\shot", "exr", 7, 11, c), "C:\\out\\shot_0007.exr");

    // Without the underscore bit the parts run together; a layer with '.' is kept.
    EXPECT_EQ(imageFileName("/out/shot", "png", 7, 0, 3, "Tangent.T", "", c),
              "/out" + S + "shotTangent.T0007.png");
    // A plain name in the content directory gets no leading separator.
    EXPECT_EQ(imageFileName("shot", "exr", 7, 0, 9, "Diff", "", c), "shot_Diff_007.exr");
    EXPECT_EQ(imageFileName("shot", "exr", 7, 1, 9, "Diff", "", c), "Diff" + S + "shot_007.exr");
}

TEST(FileNaming, CustomNamesAndTokens)
{
    EXPECT_EQ(imageFileName("C:\\out\\shot", "exr", 3, 4, 9, "Diff", "%scene%_%layer%", context("a.lws")),
              "C:\\out" + S + "a_Diff_003.exr");

    auto c = context("my.scene.lws");
    using std::nullopt;
    EXPECT_EQ(expandNameTokens("%scene%", nullopt, c), "my.scene");
    EXPECT_EQ(expandNameTokens("%SCENE%%%dot%%Camera%", nullopt, c), "my.scene.Main");
    EXPECT_EQ(expandNameTokens("%buffer%-%LAYER%", std::string("Diff"), c), "Diff-Diff");
    EXPECT_EQ(expandNameTokens("%layer%", nullopt, c), "Base");
    EXPECT_EQ(expandNameTokens("Scene", nullopt, c), "my.scene") << "a whole keyword, no '%'";
    EXPECT_EQ(expandNameTokens("%unknown%x", nullopt, c), "unknownx") << "no '%' survives";
    EXPECT_EQ(expandNameTokens("%%%", nullopt, c), "");
    EXPECT_EQ(expandNameTokens("a%eye%b", nullopt, c), "ab") << "mono camera";
    c.stereo = true;
    EXPECT_EQ(expandNameTokens("a%eye%b", nullopt, c), "aLb");
    c.rightEye = true;
    EXPECT_EQ(expandNameTokens("a%Eye%b", nullopt, c), "aRb");
    c.stereo = false;
    EXPECT_EQ(expandNameTokens("%eye%", nullopt, c), "");
}

TEST(FileNaming, FileNamesRelativeToAHostDirectory)
{
    EXPECT_EQ(hostkit::FileName::relativeTo("/content/renders", "/content"), "renders");
    EXPECT_EQ(hostkit::FileName::relativeTo("/content/renders", "/content/"), "renders");
    EXPECT_EQ(hostkit::FileName::relativeTo("/content", "/content"), "");
    EXPECT_EQ(hostkit::FileName::relativeTo("/content2/x", "/content"), "/content2/x");
    EXPECT_EQ(hostkit::FileName::relativeTo("C:\\content\\out", "C:/content"), "out");
    std::string dir, name;
    hostkit::FileName::split("a\\b/c", &dir, &name);
    EXPECT_EQ(dir, "a\\b");
    EXPECT_EQ(name, "c");
}

class DescribeTest : public ExportTest {};

TEST_F(DescribeTest, DescriptionLine)
{
    // An absolute folder of the platform (Windows also wants a drive).
#if defined(_WIN32)
    const std::string root = "C:";
#else
    const std::string root;
#endif
    host().scene().host.contentDir = root + "/studio/content";
    host().scene().settings.rgbPrefix = root + "/studio/content/renders/shot";
    host().sceneChanged();
    host().setFrame(12);
    ravelcast::OpenEXRFilter &f = makeFilter();
    EXPECT_EQ(f.settings().outputFile.fullPath(), "renders" + S + "shot")
        << "created with the render path, inside the content directory";
    EXPECT_EQ(f.describe(), "Orvo Ravelcast: renders" + S + "shot012.exr - 1 File - 2 Buffers");

    f.buffer("Alpha")->setActive(false);
    EXPECT_EQ(f.describe(), "Orvo Ravelcast: renders" + S + "shot012.exr - 1 File - 1 Buffer");
    f.buffer("Raw Colour")->setActive(true);
    f.buffer("Raw Colour")->setSaveAs(3);
    f.buffer("Depth")->setActive(true);
    f.buffer("Depth")->setSaveAs(2);
    EXPECT_EQ(f.describe(), "Orvo Ravelcast: renders" + S + "shot012.exr - 3 Files - 3 Buffers");
    for (const auto &b : f.buffers())
        b->setActive(false);
    EXPECT_EQ(f.describe(), "Orvo Ravelcast: renders" + S + "shot012.exr");

    // The render path empty: no name, the counts still follow.
    host().scene().settings.rgbPrefix = "";
    host().sceneChanged();
    f.buffer("Final Render")->setActive(true);
    EXPECT_EQ(f.describe(), "Orvo Ravelcast: No output filename! - 1 File - 1 Buffer");
    EXPECT_EQ(f.baseName(), "");

    // Outside the content directory the full path stays.
    host().scene().settings.rgbPrefix = "/elsewhere/%scene%";
    host().scene().settings.name = "take2.lws";
    host().sceneChanged();
    EXPECT_EQ(f.describe(), "Orvo Ravelcast: /elsewhere" + S + "take2012.exr - 1 File - 1 Buffer");
}

} // namespace
