// `devhost render`: the program run as a user runs it, and the render job
// behind it driven from the library.

#include <cmath>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>

#include "ImageReadBack.h"
#include "TestSupport.h"
#include "devhost/RenderJob.h"
#include "devhost/SceneFile.h"

namespace {

namespace fs = std::filesystem;

const char *kScene = R"scene({ Scene
  { Name "cmd.lws" }
  { Frames 2 3 1 }
  { FrameSize 64 48 }
  { RGBPrefix "out/shot" }
  { ImageSaver "PNG(.png)" }
}
Plugin ImageFilterHandler 1 BufferCopy
{ Buffers 6 7 8 12 }
{ Copy 6 7 8 35 }
{ Gain 0.5 }
{ Label "raw" }
EndPlugin
)scene";

int count(const std::string &text, const std::string &what)
{
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class RenderCommandTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        load(testsupport::testModulePath("render_test_module"));
    }
    // Runs devhost with the render test module; answers its exit status.
    int devhost(const std::string &args, std::string *out)
    {
        return testsupport::run(testsupport::devhostPath() + " --module " +
                                    testsupport::testModulePath("render_test_module") + " " + args,
                                out);
    }
    std::string writeScene(const std::string &text, const std::string &name = "scene.lws")
    {
        const std::string path = dir.file(name);
        testsupport::writeFile(path, text);
        return path;
    }
    testsupport::TempDir dir;
};

TEST_F(RenderCommandTest, RendersEveryFrameWithProgressDumpAndFrameImage)
{
    const std::string scene = writeScene(kScene);
    const std::string dump = dir.file("dump");
    std::string out;
    ASSERT_EQ(devhost("render " + scene + " --dump-buffers " + dump, &out), 0) << out;
    EXPECT_EQ(count(out, "filter BufferCopy: BufferCopy raw: copies 6 7 8 35 x0.5\n"), 1) << out;
    EXPECT_EQ(count(out, "frame 2: 64 x 48, host computed 8 render buffers\n"), 1) << out;
    EXPECT_EQ(count(out, "frame 3: 64 x 48, host computed 8 render buffers\n"), 1) << out;
    EXPECT_EQ(count(out, "progress: BufferCopy, frame 2 (1 of 2): 0%\n"), 1) << out;
    EXPECT_EQ(count(out, "progress: BufferCopy, frame 3 (2 of 2): 0%\n"), 1) << out;
    EXPECT_EQ(count(out, "progress: BufferCopy, frame 2 (1 of 2): 50%\n"), 1) << out;
    EXPECT_EQ(count(out, "progress: BufferCopy, frame 3 (2 of 2): 100%\n"), 1) << out;
    EXPECT_EQ(count(out, "progress: "), 22) << "at most one line per 10%";
    EXPECT_EQ(count(out, "[info] lines 6 7 8 12 32 33 34 35\n"), 2) << out;
    EXPECT_EQ(count(out, "image: " + dir.file("out/shot0002.png") + "\n"), 1) << out;
    EXPECT_TRUE(fs::exists(dir.file("out/shot0003.png")));

    // The dump holds what the renderer delivered, before the filter ran.
    readSceneFile(host(), scene);
    devhost::Renderer fresh(host());
    for (LWFrame frame : {2, 3}) {
        const devhost::RenderedFrame want = fresh.render(frame, devhost::sceneRequest(host().scene()));
        Imf::InputFile in((dump + "/buffers.000" + std::to_string(frame) + ".exr").c_str());
        const Imf::Header &h = in.header();
        EXPECT_EQ(h.displayWindow(), Imath::Box2i({0, 0}, {63, 47}));
        EXPECT_EQ(h.dataWindow(), Imath::Box2i({0, 0}, {63, 47}));
        std::set<std::string> names;
        for (auto it = h.channels().begin(); it != h.channels().end(); ++it) {
            names.insert(it.name());
            EXPECT_EQ(it.channel().type, Imf::FLOAT) << it.name();
        }
        EXPECT_EQ(names, (std::set<std::string>{"B12", "B32", "B33", "B34", "B35", "B6", "B7", "B8"}));
        std::vector<std::vector<float>> planes(want.buffers().size(), std::vector<float>(64 * 48));
        Imf::FrameBuffer fb;
        for (std::size_t i = 0; i < planes.size(); ++i)
            fb.insert("B" + std::to_string(want.buffers()[i]),
                      Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(planes[i].data()),
                                 sizeof(float), 64 * sizeof(float)));
        in.setFrameBuffer(fb);
        in.readPixels(0, 47);
        for (std::size_t i = 0; i < planes.size(); ++i)
            for (int y = 0; y < 48; ++y)
                for (int x = 0; x < 64; ++x)
                    ASSERT_EQ(planes[i][static_cast<std::size_t>(y * 64 + x)],
                              want.line(want.buffers()[i], y)[x])
                        << "frame " << frame << " buffer " << want.buffers()[i] << " at " << x
                        << "," << y;

        // The frame image is what the filter made: half the raw colour and alpha.
        const readback::Png png = readback::readPng(dir.file("out/shot000" + std::to_string(frame) + ".png"));
        ASSERT_TRUE(png.ok);
        ASSERT_EQ(png.channels, 4);
        auto byte = [](float v) { return static_cast<int>(std::lround(std::min(1.0f, std::max(0.0f, v)) * 255)); };
        for (int y = 0; y < 48; ++y)
            for (int x = 0; x < 64; ++x) {
                ASSERT_EQ(png.at(x, y, 0), byte(want.line(LWBUF_RAW_RED, y)[x] * 0.5f));
                ASSERT_EQ(png.at(x, y, 2), byte(want.line(LWBUF_RAW_BLUE, y)[x] * 0.5f));
                ASSERT_EQ(png.at(x, y, 3), byte(want.line(LWBUF_ALPHA, y)[x] * 0.5f));
            }
    }
}

TEST_F(RenderCommandTest, FramesContentQuietAndModuleSavers)
{
    std::string text = kScene;
    text.replace(text.find("PNG(.png)"), 9, "ProtocolRecorder(.rec)");
    const std::string scene = writeScene(text);
    const std::string content = dir.file("content");
    std::string out;
    ASSERT_EQ(devhost("--quiet render " + scene + " --frames 3-3 --content " + content, &out), 0) << out;
    EXPECT_EQ(out, "") << "quiet prints only errors";
    EXPECT_FALSE(fs::exists(content + "/out/shot0002.rec"));
    const std::string rec = testsupport::readFile(content + "/out/shot0003.rec");
    EXPECT_NE(rec.find("version 3\ntype 6\nsize 64 48\nmeta 1 1\nmeta 4 24\nmeta 24 49153 3\n"
                       "meta 24 49157 Camera\nline 0 "),
              std::string::npos)
        << rec.substr(0, 200);
    EXPECT_EQ(count(rec, "\nline "), 48);
    EXPECT_NE(rec.find("\ndone 0\n"), std::string::npos);
}

TEST_F(RenderCommandTest, FailuresExitWithTheMessage)
{
    std::string out;
    EXPECT_EQ(devhost("render " + dir.file("missing.lws"), &out), 2);
    EXPECT_NE(out.find("Cannot read scene \"" + dir.file("missing.lws") + "\": file not found"),
              std::string::npos)
        << out;

    std::string text = kScene;
    text.replace(text.find("PNG(.png)"), 9, "TIFF(.tif)");
    EXPECT_EQ(devhost("render " + writeScene(text, "tiff.lws"), &out), 1);
    EXPECT_NE(out.find("The scene's image saver \"TIFF(.tif)\" is not one of the host's savers "
                       "(PNG(.png), PFM(.pfm), ProtocolRecorder(.rec))"),
              std::string::npos)
        << out;
    EXPECT_EQ(out.find("frame 2"), std::string::npos) << "nothing rendered";

    text = kScene;
    text.replace(text.find("{ Gain"), 0, "{ Fail 1 }\n");
    EXPECT_EQ(devhost("render " + writeScene(text, "fail.lws"), &out), 1);
    EXPECT_NE(out.find("Frame 2 failed: An exception occured in ImageFilter::Process(): "
                       "BufferCopy was told to fail"),
              std::string::npos)
        << out;
    EXPECT_FALSE(fs::exists(dir.file("out/shot0002.png"))) << "a failed frame is not saved";

    text = kScene;
    text.replace(text.find("{ FrameSize 64 48 }"), 0, "{ LimitedRegion 0 0 64 10 }");
    EXPECT_EQ(devhost("render " + writeScene(text, "region.lws"), &out), 1);
    EXPECT_NE(out.find("does not lie inside the 64 x 48 frame"), std::string::npos) << out;

    EXPECT_EQ(devhost("render " + dir.file("scene.lws") + " --frames 5-2", &out), 2);
    EXPECT_NE(out.find("--frames needs A-B or A"), std::string::npos) << out;
    EXPECT_EQ(devhost("render", &out), 2);
    EXPECT_EQ(devhost("--help", &out), 0);
    EXPECT_NE(out.find("render SCENE [--frames A-B] [--content DIR] [--dump-buffers DIR]"),
              std::string::npos)
        << out;
}

TEST_F(RenderCommandTest, FiltersChainAndTheJobRendersTheScenesFrames)
{
    devhost::readSceneText(host(), R"({ Scene { Frames 1 5 2 } { FrameSize 32 24 } }
Plugin ImageFilterHandler 1 BufferCopy
{ Gain 0.5 }
EndPlugin
Plugin ImageFilterHandler 2 BufferCopyToo
{ Gain 0.5 }
{ Label "second" }
EndPlugin
)",
                           "");
    std::ostringstream out;
    devhost::RenderOptions options;
    options.out = &out;
    devhost::RenderJob job(host(), options);
    const devhost::FrameRange all = job.frameRange();
    EXPECT_EQ(all.count(), 3);
    EXPECT_EQ(all.at(1), 1);
    EXPECT_EQ(all.at(3), 5);
    EXPECT_EQ(all.indexOf(3), 2);
    EXPECT_EQ(all.indexOf(4), 0) << "not one of the range's frames";
    const devhost::RenderedFrame f = job.renderFrame(3);
    devhost::Renderer fresh(host());
    const devhost::RenderedFrame want = fresh.render(3, devhost::BufferRequest{});
    // The second filter saw the first one's output as its final colour.
    for (int b = LWBUF_RED; b <= LWBUF_ALPHA; ++b)
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(f.line(b, y)[x], want.line(b, y)[x] * 0.25f) << b;
    job.renderFrame(5);
    EXPECT_EQ(count(out.str(), "filter BufferCopy: BufferCopy unnamed: copies 32 33 34 35 x0.5\n"), 1);
    EXPECT_EQ(count(out.str(), "filter BufferCopyToo: BufferCopy second: copies 32 33 34 35 x0.5\n"), 1);
    EXPECT_EQ(host().timeInfo().frame, 5);
    EXPECT_TRUE(job.images().empty()) << "no saver, no frame image";

    devhost::RenderOptions some;
    devhost::FrameRange range;
    ASSERT_TRUE(devhost::parseFrameRange("3-4", &range));
    some.frames = range;
    EXPECT_EQ(devhost::RenderJob(host(), some).frameRange().count(), 2);
    EXPECT_EQ(devhost::RenderJob(host(), some).frameRange().at(2), 4);
    // A range of two billion frames is counted, never listed.
    ASSERT_TRUE(devhost::parseFrameRange("-999999999-999999999", &range));
    EXPECT_EQ(range.count(), 1999999999LL);
    EXPECT_EQ(range.at(1999999999LL), 999999999);
    EXPECT_FALSE(devhost::parseFrameRange("1-1000000000", &range)) << "beyond the frame limit";
    ASSERT_TRUE(devhost::parseFrameRange("-2--1", &range));
    EXPECT_EQ(range.first, -2);
    EXPECT_EQ(range.last, -1);
    ASSERT_TRUE(devhost::parseFrameRange("7", &range));
    EXPECT_EQ(range.first, 7);
    EXPECT_EQ(range.last, 7);
    for (const char *bad : {"", "a-b", "3-", "4-3", "1-2-3", "1 - 2"})
        EXPECT_FALSE(devhost::parseFrameRange(bad, &range)) << bad;
    EXPECT_EQ(devhost::frameFileName("out/shot", 7, "png"), "out/shot0007.png");
    EXPECT_EQ(devhost::frameFileName("", 12345, "exr"), "12345.exr");
}

} // namespace
