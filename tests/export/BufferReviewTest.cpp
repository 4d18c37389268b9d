// The buffer review as a user sees it: the lines of the shown log panel,
// read back through the development host's panels, and the warning that
// comes before it.

#include <algorithm>
#include <filesystem>

#include "ExportTest.h"
#include "FakeFrame.h"
#include "devhost/BlockFile.h"
#include "devhost/Panels.h"
#include "export/BufferReview.h"
#include "hostkit/utility/Platform.h"
#include "module/Version.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

const std::string S(1, hostkit::kPathSeparator);
const std::string M = "\x03";

std::string heading(const std::string &name, const std::string &description,
                    const std::string &window = "")
{
    return M + "(i:MIMG_BULLET1)" + M + "(c:Nc_HILIGHT) Buffer: " + name + " (" + description + ")" +
           window;
}
// "Channel: " before one name, "Channels: " before more.
std::string channels(const std::string &list, const char *word = "Channels: ")
{
    return "  " + M + "(c:Nc_RAISED)" + word + M + "(c:Nc_BLACK)" + list;
}
std::string channel(const std::string &list) { return channels(list, "Channel: "); }
std::string error(const std::string &text)
{
    return M + "(c:Ic_CHAN_MOTION_X)Error:" + M + "(c:Nc_HILIGHT) " + text;
}
std::string warning(const std::string &text)
{
    return M + "(c:Ic_CHAN_MOTION_Z)Warning:" + M + "(c:Nc_HILIGHT) " + text;
}
std::string buffer(const std::string &name, const std::string &settings)
{
    return "{ Buffer { Name \"" + name + "\" } { Settings { Active 1 } " + settings + " } }";
}
std::string channelName(const std::string &longName, const std::string &name)
{
    return "{ Channel { Name \"" + longName + "\" } { Settings { EXRChannelName \"" + name +
           "\" } } }";
}
const std::string kOutput = "{ useRGBPrefix 0 } { FileName \"out/shot\" } { NameFormatExt 9 } ";
// The warning that n errors give.
std::vector<std::string> warned(int n, const char *words)
{
    return {std::string(ravelcast::kProductLine) + " - " + std::to_string(n) + words +
            "|Please check your settings thoroughly, these errors may cause Ravelcast to fail."};
}

class BufferReviewTest : public ExportTest {
protected:
    void SetUp() override
    {
        ExportTest::SetUp();
        host().scene().host.contentDir = dir_.path().string();
        host().scene().settings.frameWidth = 4;
        host().scene().settings.frameHeight = 2;
        host().sceneChanged();
        host().setFrame(7);
    }
    // Scene settings; a preset changes only what it names.
    ravelcast::OpenEXRFilter &load(const std::string &settings, ravelcast::OpenEXRFilter *preset = nullptr)
    {
        ravelcast::OpenEXRFilter &f = preset ? *preset : makeFilter();
        devhost::TextBlockReader reader(settings);
        hostkit::LoadState state(reader.state());
        EXPECT_EQ(f.loadSettings(state, preset != nullptr), "");
        return f;
    }

    // The lines of the review panel read while it is open, and the
    // warnings, of which those given before it opened.
    Lines review(const ravelcast::OpenEXRFilter &f)
    {
        Lines lines;
        devhost::Panels &panels = devhost::Panels::of(host());
        panels.setModalDriver([&](LWPanelID id) {
            const devhost::ClassicPanel &p = panels.classic(id);
            ASSERT_EQ(p.controls.size(), 1u);
            const devhost::ClassicControl &list = *p.controls[0];
            const LWListBoxDesc &d = list.desc.listbox;
            shape = p.title + "|" + list.label + "|" + std::to_string(d.width) + "x" +
                    std::to_string(d.visItems);
            warnedFirst = warnings().size();
            for (int i = 0; i < d.countFn(list.userData); ++i)
                lines.push_back(d.nameFn(list.userData, i));
        });
        host().messages().clear();
        shape.clear();
        ravelcast::showReview(f);
        panels.setModalDriver(nullptr);
        EXPECT_NE(shape, "") << "the panel opened";
        return lines;
    }
    Lines warnings() const { return messages(devhost::Message::Warning); }

    testsupport::TempDir dir_;
    std::string shape;
    std::size_t warnedFirst = 0;
};

TEST_F(BufferReviewTest, EveryFileOfATypicalSetupWithItsChannels)
{
    ravelcast::OpenEXRFilter &f =
        load(kOutput + buffer("Final Render", "") + buffer("Alpha", "") +
             buffer("Raw Colour", "{ SaveAs 3 } { FitDataWindow 1 }") +
             buffer("Luminosity", "{ SaveAs 2 } { LumaAsRGB 1 }") +
             buffer("Depth", "{ SaveAs 2 } { ImageFormat \"PNG(.png)\" }"));
    // Raw colour has data in a corner only: the review shows the data
    // window the last frame found.
    testsupport::FakeFrame frame(4, 2);
    for (int b : {int(LWBUF_RED), int(LWBUF_GREEN), int(LWBUF_BLUE), int(LWBUF_ALPHA), 1, 12})
        frame.fill(b, 0.5f);
    for (int b : {6, 7, 8})
        frame.set(b, {0, 0.25f, 0, 0, 0, 0, 0.75f, 0});
    f.process(hostkit::FrameAccess(frame.access()));

    const Lines lines = review(f);
    EXPECT_EQ(shape, "Ravelcast: Buffer Review|Active Buffers|600x20");
    // Every active buffer's window is measured, not only the fitted ones.
    const std::string window = " - <1,0> - <2,1>", whole = " - <0,0> - <3,1>", out = "out" + S;
    EXPECT_EQ(lines, (Lines{"Multibuffer Image: " + out + "shot_007.exr",
                            heading("Final Render", "Rendered Colour", whole),
                            channels("Red (R) Green (G) Blue (B) "),
                            warning("Final Render is written only inside <1,0> - <2,1>, the "
                                    "data window of Raw Colour"),
                            heading("Alpha", "Alpha Channel", whole),
                            channel("Alpha (A) "),
                            warning("Alpha is written only inside <1,0> - <2,1>, the data "
                                    "window of Raw Colour"),
                            heading("Raw Colour", "Unshaded Colour", window),
                            "Writing a data window!",
                            channels("Red (Raw.R) Green (Raw.G) Blue (Raw.B) "),
                            "Self contained Buffer Images:",
                            heading("Raw Colour", "Unshaded Colour", window),
                            "  Saved as: " + out + "shot_Raw_007.exr",
                            channels("Red (R) Green (G) Blue (B) "),
                            heading("Luminosity", "Luminosity", whole),
                            "  Saved as: " + out + "shot_Luminosity_007.exr",
                            channels("Luminosity (R) Luminosity (G) Luminosity (B) "),
                            heading("Depth", "Depth (Z-Buffer)", whole),
                            "  Saved as: " + out + "shot_Depth_007.png"}));
    EXPECT_EQ(warnings(), Lines{}) << "no errors, no warning";
    // The names are those the frame wrote.
    for (const char *name : {"shot_007.exr", "shot_Raw_007.exr", "shot_Depth_007.png"})
        EXPECT_TRUE(fs::exists(dir_.path() / "out" / name)) << name;

    // A layer whose last frame held data only inside the fitted window
    // loses nothing: no note.
    f.buffer("Final Render")->setDataWindow(Imath::Box2i(Imath::V2i(1, 0), Imath::V2i(2, 1)));
    const Lines inside = review(f);
    EXPECT_EQ(inside.at(3), heading("Alpha", "Alpha Channel", whole));
    EXPECT_EQ(inside.at(5), lines.at(6)) << "Alpha is still cropped";

    // "Use Render Path": the names start from the scene's render path.
    host().scene().settings.rgbPrefix = "renders/take";
    host().sceneChanged();
    const Lines withPath = review(load("{ useRGBPrefix 1 }", &f));
    EXPECT_EQ(withPath.at(0), "Multibuffer Image: renders/take_007.exr");
    EXPECT_EQ(withPath.at(11), "  Saved as: renders" + S + "take_Raw_007.exr");

    // No active buffer: no file, and the review says so; no name at all
    // is an error like any other, counted in the warning.
    for (const auto &b : f.buffers())
        b->setActive(false);
    host().scene().settings.rgbPrefix = "";
    host().sceneChanged();
    const std::string none = M + "(c:Nc_HILIGHT)No buffer is enabled: nothing will be written.";
    EXPECT_EQ(review(f), (Lines{error("No Output Filename specified!"), none}));
    EXPECT_EQ(warnings(), warned(1, " Error encountered!"));
    EXPECT_EQ(review(load(kOutput)), Lines{none});
    EXPECT_EQ(warnings(), Lines{});
}

TEST_F(BufferReviewTest, ChannelNameErrorsAreCountedInTheWarning)
{
    // One name twice in one buffer is one error; the same names in two
    // buffers of different layers are none.
    const std::string xyz = channelName("Red", "X") + channelName("Green", "Y") + channelName("Blue", "Z");
    ravelcast::OpenEXRFilter &f =
        load(kOutput + buffer("Final Render", channelName("Green", "R")) +
             buffer("Raw Colour", xyz) + buffer("Diffuse Colour", xyz));
    Lines lines = review(f);
    EXPECT_EQ(lines, (Lines{"Multibuffer Image: out" + S + "shot_007.exr",
                            heading("Final Render", "Rendered Colour"),
                            channels("Red (R) Green (R) Blue (B) "),
                            error("R is a duplicate channel name "),
                            heading("Raw Colour", "Unshaded Colour"),
                            channels("Red (Raw.X) Green (Raw.Y) Blue (Raw.Z) "),
                            heading("Diffuse Colour", "Diffuse Colour"),
                            channels("Red (Diff.X) Green (Diff.Y) Blue (Diff.Z) ")}));
    EXPECT_EQ(warnings(), warned(1, " Error encountered!"));
    EXPECT_EQ(warnedFirst, 1u) << "the warning comes before the panel";

    f.buffer("Diffuse Colour")->channel(1).setChannelName("X");
    lines = review(f);
    EXPECT_EQ(lines.at(8), error("Diff.X is a duplicate channel name "));
    EXPECT_EQ(warnings(), warned(2, " Errors encountered!"));

    // Three channels with no names in no layer: each has no name, and
    // empty names are not duplicates of each other.
    lines = review(load(kOutput + buffer("Surface Normal", "{ EXRBufferName \"\" } " +
                                                                 channelName("X", "") + channelName("Y", "") +
                                                                 channelName("Z", ""))));
    EXPECT_EQ(lines, (Lines{"Multibuffer Image: out" + S + "shot_007.exr",
                            heading("Surface Normal", "Surface Normal"), channels("X () Y () Z () "),
                            error("X has no channel name! "), error("Y has no channel name! "),
                            error("Z has no channel name! ")}));
    EXPECT_EQ(warnings(), warned(3, " Errors encountered!"));
}

TEST_F(BufferReviewTest, NamesTwoOutputsWouldShareAreErrors)
{
    // Refraction Colour and Alpha share the layer "Refr", so their images
    // one file name; Shadow renamed to "Z" meets Depth's channel.
    ravelcast::OpenEXRFilter &f =
        load(kOutput + buffer("Refraction Colour", "{ SaveAs 2 }") +
             buffer("Refraction Alpha", "{ SaveAs 2 }") +
             buffer("Shadow", "{ EXRBufferName \"\" } " + channelName("Shadow", "Z")) +
             buffer("Depth", ""));
    const std::string out = "out" + S;
    EXPECT_EQ(review(f),
              (Lines{"Multibuffer Image: " + out + "shot_007.exr",
                     heading("Shadow", "Shadow"),
                     channel("Shadow (Z) "),
                     heading("Depth", "Depth (Z-Buffer)"),
                     channel("Depth (Z) "),
                     error("Channel name Z already used by Shadow; written as Z_2"),
                     "Self contained Buffer Images:",
                     heading("Refraction Colour", "Refraction Colour"),
                     "  Saved as: " + out + "shot_Refr_007.exr",
                     channels("Red (R) Green (G) Blue (B) "),
                     heading("Refraction Alpha", "Refraction Alpha"),
                     "  Saved as: " + out + "shot_Refr_007.exr",
                     channel("Alpha (A) "),
                     error("File name already used by the image of Refraction Colour"),
                     "  Written as: " + out + "shot_Refr_007_2.exr"}));
    EXPECT_EQ(warnings(), warned(2, " Errors encountered!"));

    // A custom image name equal to the layered file's.
    const Lines lines = review(load("{ SingleFileNameFormat 4 } { CustomFileName \"shot\" }", &f));
    const std::string taken = error("File name already used by the Multibuffer Image");
    EXPECT_EQ(lines.at(8), "  Saved as: " + out + "shot_007.exr");
    EXPECT_EQ(lines.at(10), taken);
    EXPECT_EQ(lines.at(11), "  Written as: " + out + "shot_007_2.exr");
    EXPECT_EQ(lines.at(15), taken);
    EXPECT_EQ(lines.at(16), "  Written as: " + out + "shot_007_3.exr");
    EXPECT_EQ(warnings(), warned(3, " Errors encountered!"));
}

// A buffer's own compression applies to its part of a multi-part file and
// to its own OpenEXR image; elsewhere it is an error. Lossy compressions
// that change a buffer of measures are warned of, not counted.
TEST_F(BufferReviewTest, CompressionChoicesAndWhatLossyCompressionsChange)
{
    const std::string zip = "{ BufferCompression 3 }";
    ravelcast::OpenEXRFilter &f = load(
        kOutput + "{ Compression 8 }" + buffer("Final Render", "") + buffer("Depth", "") +
        buffer("Motion", zip) + buffer("Surface Normal", "") +
        buffer("Surface ID", "{ SaveAs 2 } { ImageFormat \"PNG(.png)\" } { BufferCompression 4 }") +
        buffer("Object ID", "{ SaveAs 3 } " + zip));
    const std::string out = "out" + S;
    EXPECT_EQ(review(f),
              (Lines{"Multibuffer Image: " + out + "shot_007.exr",
                     heading("Final Render", "Rendered Colour"),
                     channels("Red (R) Green (G) Blue (B) "),
                     heading("Depth", "Depth (Z-Buffer)"),
                     channel("Depth (Z) "),
                     heading("Motion", "Motion Vectors"),
                     channels("X (Motion.X) Y (Motion.Y) "),
                     error("Motion: Compression ZIP (lossless) needs \"One Part per Layer\""),
                     warning("DWAA (lossy) changes the values of Motion in Motion.Y"),
                     heading("Surface Normal", "Surface Normal"),
                     channels("X (N.X) Y (N.Y) Z (N.Z) "),
                     warning("DWAA (lossy) changes the values of Surface Normal in N.Y"),
                     heading("Object ID", "Object ID"),
                     channel("ObjectID (ObjectID) "),
                     "  Compression ZIP (lossless) applies to its image only: the layered file "
                     "is DWAA (lossy)",
                     "Self contained Buffer Images:",
                     heading("Surface ID", "Surface ID"),
                     "  Saved as: " + out + "shot_Surface ID_007.png",
                     error("Surface ID: Compression PIZ (lossless) cannot apply to a host "
                           "saver's image"),
                     heading("Object ID", "Object ID"),
                     "  Saved as: " + out + "shot_Object ID_007.exr",
                     channel("ObjectID (ObjectID) ")}));
    EXPECT_EQ(warnings(), warned(2, " Errors encountered!")) << "warnings are not errors";

    // One part per layer: every choice applies to its part; motion is
    // exact now, the normals still are not.
    Lines lines = review(load("{ MultiPart 1 }", &f));
    const auto has = [&](const std::string &line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    };
    EXPECT_TRUE(has(warning("DWAA (lossy) changes the values of Surface Normal in N.Y")));
    EXPECT_FALSE(has(warning("DWAA (lossy) changes the values of Motion in Motion.Y")));
    EXPECT_EQ(warnings(), warned(1, " Error encountered!")) << "the host saver's image only";

    // Each compression's own rule: B44 changes HALF, PXR24 FLOAT; integers
    // stay exact under both.
    f.buffer("Motion")->setCompression(ravelcast::kAsTheFile);
    f.buffer("Surface ID")->setActive(false);
    const auto warningsOf = [&](const Lines &all) {
        Lines only;
        for (const std::string &l : all)
            if (l.find("Warning:") != std::string::npos)
                only.push_back(l);
        return only;
    };
    EXPECT_EQ(warningsOf(review(load("{ Compression 6 } { MultiPart 0 }", &f))),
              (Lines{warning("B44 (lossy) changes the values of Motion in Motion.X, Motion.Y"),
                     warning("B44 (lossy) changes the values of Surface Normal in N.X, N.Y, N.Z")}));
    EXPECT_EQ(warningsOf(review(load("{ Compression 5 }", &f))),
              Lines{warning("PXR24 (lossy) changes the values of Depth in Z")});
    EXPECT_EQ(warningsOf(review(load("{ Compression 3 }", &f))), Lines{});

    // DWA's luminance-chroma names count as colour too, whatever the type;
    // its rule goes by the name as written ("y" is not "Y").
    f.buffer("Motion")->channel(0).setChannelName("RY");
    f.buffer("Motion")->channel(1).setChannelName("y");
    f.buffer("Depth")->channel(0).setChannelName("BY");
    f.buffer("Surface Normal")->setActive(false);
    EXPECT_EQ(warningsOf(review(load("{ Compression 9 }", &f))),
              (Lines{warning("DWAB (lossy) changes the values of Depth in BY"),
                     warning("DWAB (lossy) changes the values of Motion in Motion.RY")}));
}

} // namespace

namespace {

std::string matteHeading(const std::string &type, const std::string &what)
{
    return M + "(i:MIMG_BULLET1)" + M + "(c:Nc_HILIGHT) Cryptomatte: " + type + " (" + what + ")";
}
std::string matteLayers(const std::string &list)
{
    return "  " + M + "(c:Nc_RAISED)Layers: " + M + "(c:Nc_BLACK)" + list +
           " (R, G, B, A; 32bit Float)";
}

// Each type with its layers, where it goes and the names of its manifest:
// in the layered file, a part of its own, or a lossless file of its own
// beside a lossy single-part file.
TEST_F(BufferReviewTest, CryptomatteTypesWithTheirLayersFilesAndNames)
{
    ravelcast::OpenEXRFilter &f = load(kOutput + "{ CryptoObject 1 } { CryptoMaterial 1 } " +
                                       "{ CryptoAsset 0 } { CryptoLevels 4 }" +
                                       buffer("Final Render", ""));
    const std::string out = "out" + S;
    const std::string objects = "  Manifest: \"Floor\", \"RedBall\", \"ChromeBall\", \"GlassBall\", \"Box\"";
    EXPECT_EQ(review(f),
              (Lines{"Multibuffer Image: " + out + "shot_007.exr",
                     heading("Final Render", "Rendered Colour"),
                     channels("Red (R) Green (G) Blue (B) "),
                     matteHeading("CryptoObject", "object names"),
                     matteLayers("CryptoObject00, CryptoObject01"),
                     objects,
                     matteHeading("CryptoMaterial", "surface names"),
                     matteLayers("CryptoMaterial00, CryptoMaterial01"),
                     "  Manifest: \"Floor\", \"Red\", \"Chrome\", \"Glass\", \"BoxSides\", "
                     "\"BoxTop\", \"Default\""}));
    EXPECT_EQ(warnings(), Lines{});

    // Beside a lossy single-part file: a file of its own, said so.
    Lines lines = review(load("{ Compression 8 } { CryptoMaterial 0 } { CryptoAsset 1 }", &f));
    const Lines tail(lines.begin() + 3, lines.end());
    EXPECT_EQ(tail, (Lines{"Cryptomatte Image: " + out + "shot_CryptoObject_007.exr",
                           matteHeading("CryptoObject", "object names"),
                           matteLayers("CryptoObject00, CryptoObject01"),
                           "  A lossless file of its own (ZIP): DWAA (lossy) would change the ids "
                           "of the Multibuffer Image",
                           objects,
                           "Cryptomatte Image: " + out + "shot_CryptoAsset_007.exr",
                           matteHeading("CryptoAsset", "names of the objects' top-level parents"),
                           matteLayers("CryptoAsset00, CryptoAsset01"),
                           "  A lossless file of its own (ZIP): DWAA (lossy) would change the ids "
                           "of the Multibuffer Image",
                           objects}));

    // A part of its own in a multi-part file; cropped with a fitted layer
    // in a single-part one.
    lines = review(load("{ MultiPart 1 } { CryptoAsset 0 }", &f));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "  A part of its own: CryptoObject, ZIP (lossless)"),
              lines.end());
    f.buffer("Final Render")->setFitDataWindow(true);
    lines = review(load("{ MultiPart 0 } { Compression 3 }", &f));
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        warning("CryptoObject is written only inside the data window of Final Render")),
              lines.end());

    // Nothing but mattes still makes the layered file.
    f.buffer("Final Render")->setActive(false);
    lines = review(f);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "Multibuffer Image: " + out + "shot_007.exr");

    // A host older than its id buffers: the mattes would stay empty.
    useHost(9, 6, 0);
    lines = review(load(kOutput + "{ CryptoMaterial 1 }" + buffer("Final Render", "")));
    EXPECT_NE(std::find(lines.begin(), lines.end(),
                        warning("This host gives no Surface ID buffer: the mattes of "
                                "CryptoMaterial stay empty")),
              lines.end());
}

} // namespace
