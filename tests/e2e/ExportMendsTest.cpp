// Rendered scenes where frame data used to be lost or mislabelled: each
// case renders through the real module and reads the files back.

#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ImfChannelList.h>
#include <ImfInputFile.h>
#include <ImfPreviewImageAttribute.h>
#include <half.h>

#include "../devhost/ImageReadBack.h"
#include "E2ESupport.h"
#include "devhost/SceneFile.h"

namespace {

using e2e::readPlane;

using e2e::buffer;
using e2e::kEnd;
using e2e::kPlugin;

class ExportMendsTest : public e2e::RenderTest {};

TEST_F(ExportMendsTest, FrameDataArrivesWhole)
{
    // Un-multiplied refraction: the counted-list request (version 5) asks
    // for the refraction alpha as the bit mask does, so both files agree
    // and the values are divided where the alpha is partial.
    const std::string refraction = kPlugin + buffer("Refraction Colour", "{ Unmultiply 1 }") + kEnd;
    render(e2e::sceneHeader("{ FilterVersion 4 }") + refraction);
    const auto v4 = readPlane(out("out/shot001.exr"), "Refr.R");
    render(e2e::sceneHeader("{ FilterVersion 5 }") + refraction);
    const auto v5 = readPlane(out("out/shot001.exr"), "Refr.R");
    const auto colour = readPlane(dump(1), "B36"), alpha = readPlane(dump(1), "B39");
    int divided = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            ASSERT_EQ(v5.at(x, y), v4.at(x, y)) << x << "," << y;
            const float a = alpha.at(x, y);
            if (a != 0.0f && a != 1.0f) {
                ASSERT_EQ(v5.at(x, y), static_cast<float>(half(colour.at(x, y) / a)));
                ++divided;
            }
        }
    EXPECT_GT(divided, 0) << "the glass ball has partial refraction alpha";

    // Luminance as RGB through a host saver spreads one channel only: a
    // three-channel buffer keeps its three.
    render(e2e::sceneHeader() + kPlugin +
           buffer("Diffuse Colour", "{ SaveAs 2 } { LumaAsRGB 1 } { ImageFormat \"PFM(.pfm)\" }") +
           buffer("Shadow", "{ SaveAs 2 } { LumaAsRGB 1 } { ImageFormat \"PFM(.pfm)\" }") + kEnd);
    const readback::Pfm diffuse = readback::readPfm(testsupport::readFile(out("out/shotDiff001.pfm")));
    ASSERT_TRUE(diffuse.ok);
    ASSERT_EQ(diffuse.channels(), 3);
    int coloured = 0;
    for (std::size_t i = 0; i + 2 < diffuse.samples.size(); i += 3)
        coloured += diffuse.samples[i] != diffuse.samples[i + 1] ||
                    diffuse.samples[i] != diffuse.samples[i + 2];
    EXPECT_GT(coloured, 100) << "red, green and blue differ";
    const readback::Pfm shadow = readback::readPfm(testsupport::readFile(out("out/shotShadow001.pfm")));
    ASSERT_TRUE(shadow.ok);
    for (std::size_t i = 0; i + 2 < shadow.samples.size(); i += 3)
        ASSERT_TRUE(shadow.samples[i] == shadow.samples[i + 1] &&
                    shadow.samples[i] == shadow.samples[i + 2]);

    // A stale region rectangle with the limited-region bit off: ray-traced
    // transparency alone is no region, the file is the whole frame.
    render(e2e::sceneHeader("{ LimitedRegion 10 6 29 21 }") + kPlugin +
           buffer("Final Render", "") + kEnd);
    render(e2e::sceneHeader("{ RenderOptions 16384 }") + kPlugin + buffer("Final Render", "") + kEnd);
    EXPECT_EQ(host().sceneInfo().limitedRegionX0, 10) << "the host kept the old rectangle";
    EXPECT_EQ(e2e::headerOf(out("out/shot001.exr")).dataWindow(),
              Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(47, 31)));

    // No output name: nothing is written, and the user is told.
    std::filesystem::remove_all(out("out"));
    EXPECT_THROW(render(e2e::sceneHeader("{ RGBPrefix \"\" }") + kPlugin +
                        buffer("Final Render", "") + kEnd),
                 devhost::HostError);
    EXPECT_NE(messages(devhost::Message::Error).back().find("No output filename"),
              std::string::npos);
    for (const std::string &f : e2e::filesIn(dir.path()))
        EXPECT_TRUE(f == "e2e.lws" || f.rfind("dump/", 0) == 0) << f << " was written";
}

} // namespace

namespace {

bool writingIn(const std::string &folder) { return !e2e::temporariesIn(folder).empty(); }

// A render in a child process, or killed once a file is being written in a
// folder.
struct Child {
    int status = -1;
    bool killed = false;
};

Child renderInChild(const std::string &scene, const std::string &content, long fileSizeCap,
                    const std::string &killWhenWritingIn)
{
    const e2e::RenderNode node(scene, content, "", fileSizeCap);
    Child c;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (waitpid(node.pid, &status, WNOHANG) == 0) {
        if ((!killWhenWritingIn.empty() && writingIn(killWhenWritingIn)) ||
            std::chrono::steady_clock::now() > deadline) {
            node.kill();
            waitpid(node.pid, &status, 0);
            c.killed = true;
            return c;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    c.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return c;
}

TEST_F(ExportMendsTest, FilesLandWhereAndOnlyWhenTheyShould)
{
    namespace fs = std::filesystem;
    // Names that would leave their folder stay inside it; the host's
    // current directory is the host's.
    const fs::path before = fs::current_path();
    loadScene("{ Scene { Name \"../../scene.lws\" } { Frames 1 1 1 } { FrameSize 48 32 }"
              " { RGBPrefix \"out/%camera%_%scene%\" } { Camera { Name \"../x\" } }"
              " { RenderCamera \"../x\" } }\n" +
              kPlugin + buffer("Final Render", "") +
              buffer("Depth", "{ EXRBufferName \"..\" } { SaveAs 2 }") + kEnd);
    devhost::RenderJob(host(), {}).run();
    EXPECT_EQ(fs::current_path(), before) << "the filter left the current directory alone";
    EXPECT_EQ(e2e::filesIn(out("out")),
              (std::vector<std::string>{".._x_.._.._scene001.exr", ".._x_.._.._scene__001.exr"}));

    // Damaged settings keep what the code can use: no gamma of 0, no host
    // buffer -7, a preview no larger than the frame.
    loadScene(e2e::sceneHeader() + kPlugin +
              "{ DisplayGamma 0 } { PostApplyDisplayGamma 1 } { EmbedPreview 1 } "
              "{ PreviewScale 5 } { PreviewWidth 16384 } { PreviewHeight 16384 }\n" +
              buffer("Final Render", "{ Channel { Name \"Red\" } { Settings { LWBuffer -7 } } }") +
              kEnd);
    const std::string text = devhost::sceneText(host());
    EXPECT_NE(text.find("{ DisplayGamma 1 }"), std::string::npos) << text;
    EXPECT_NE(text.find("{ LWBuffer 32 }"), std::string::npos) << text;
    devhost::RenderJob(host(), {}).run();
    const Imf::Header withPreview = e2e::headerOf(out("out/shot001.exr"));
    const auto *preview = withPreview.findTypedAttribute<Imf::PreviewImageAttribute>("preview");
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->value().width(), 48u) << "the custom preview is cut to the frame";

    // A write that fails (the disk full, as the process sees it) or a render
    // killed in the middle of a file leaves the earlier good file intact
    // and no half file under the final name.
    const std::string scene = dir.file("big.lws");
    testsupport::writeFile(scene, e2e::sceneHeader("", "layout", 640, 480) + kPlugin +
                                      buffer("Final Render", "{ PixelType 2 }") +
                                      buffer("Surface Normal", "{ PixelType 2 }") +
                                      buffer("Motion", "{ PixelType 2 }") + kEnd);
    const std::string content = dir.file("farm");
    ASSERT_EQ(renderInChild(scene, content, 0, "").status, 0);
    const std::string good = content + "/out/shot001.exr";
    const std::string goodBytes = testsupport::readFile(good);
    ASSERT_GT(goodBytes.size(), 200000u);

    const Child full = renderInChild(scene, content, 100000, "");
    EXPECT_EQ(full.status, 1) << "a failed write fails the frame";
    EXPECT_EQ(testsupport::readFile(good), goodBytes);
    EXPECT_FALSE(writingIn(content + "/out")) << "the unfinished file is removed";

    const Child killed = renderInChild(scene, content, 0, content + "/out");
    EXPECT_TRUE(killed.killed);
    EXPECT_EQ(testsupport::readFile(good), goodBytes) << "killed while writing";
    EXPECT_TRUE(Imf::InputFile(good.c_str()).isComplete());
}

} // namespace

namespace {

TEST_F(ExportMendsTest, NoOutputReplacesAnother)
{
    // Refraction Colour and Alpha share the layer name "Refr"; custom image
    // names are one name for every buffer; a layer named "." would be the
    // layered file's folder; Shadow renamed to "Z" meets Depth's channel.
    render(e2e::sceneHeader() + kPlugin +
           buffer("Refraction Colour", "{ SaveAs 3 }") + buffer("Refraction Alpha", "{ SaveAs 3 }") +
           buffer("Depth", "") +
           buffer("Shadow", "{ EXRBufferName \"\" } { Channel { Name \"Shadow\" } "
                            "{ Settings { EXRChannelName \"Z\" } } }") +
           buffer("Raw Colour", "{ SaveAs 2 } { EXRBufferName \".\" }") + kEnd);
    EXPECT_EQ(e2e::filesIn(out("out")),
              (std::vector<std::string>{"shot001.exr", "shotRefr001.exr", "shotRefr001_2.exr",
                                        "shot_001.exr"}));
    const auto refr = readPlane(out("out/shotRefr001.exr"), "R");
    const auto refrAlpha = readPlane(out("out/shotRefr001_2.exr"), "A");
    const auto hr = readPlane(dump(1), "B36"), ha = readPlane(dump(1), "B39");
    const auto z = readPlane(out("out/shot001.exr"), "Z"), z2 = readPlane(out("out/shot001.exr"), "Z_2");
    const auto hz = readPlane(dump(1), "B12"), hs = readPlane(dump(1), "B10");
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 48; ++x) {
            ASSERT_EQ(refr.at(x, y), static_cast<float>(half(hr.at(x, y))));
            ASSERT_EQ(refrAlpha.at(x, y), static_cast<float>(half(ha.at(x, y))));
            // In catalogue order Shadow comes first and keeps "Z".
            ASSERT_EQ(z.at(x, y), static_cast<float>(half(hs.at(x, y)))) << "Shadow keeps Z";
            ASSERT_EQ(z2.at(x, y), hz.at(x, y)) << "Depth beside it";
        }
    EXPECT_EQ(e2e::headerOf(out("out/shot001.exr")).channels().findChannel("Z_2")->type, Imf::FLOAT);
    const auto warnings = messages(devhost::Message::Warning);
    ASSERT_EQ(warnings.size(), 2u);
    EXPECT_NE(warnings[1].find("\"Refraction Alpha\" would write \"" + out("out/shotRefr001.exr") +
                               "\" again; written as \"" + out("out/shotRefr001_2.exr") + "\""),
              std::string::npos)
        << warnings[1];
    EXPECT_NE(warnings[0].find("\"Depth\" would write the channel \"Z\" of \"" + out("out/shot001.exr") +
                               "\" again; written as \"Z_2\""),
              std::string::npos)
        << warnings[0];

    // Custom image names: every buffer its own file, said once per render.
    std::filesystem::remove_all(out("out"));
    render(e2e::sceneHeader() + kPlugin + "{ SingleFileNameFormat 4 } { CustomFileName \"pass\" }\n" +
           buffer("Diffuse Colour", "{ SaveAs 2 }") + buffer("Specular Colour", "{ SaveAs 2 }") +
           buffer("Shadow", "{ SaveAs 2 }") + kEnd);
    EXPECT_EQ(e2e::filesIn(out("out")),
              (std::vector<std::string>{"pass001.exr", "pass001_2.exr", "pass001_3.exr"}));
    EXPECT_EQ(host().describe(*host().scene().servers.front()),
              "Orvo Ravelcast: out/shot001.exr - 3 Files - 3 Buffers");
}

} // namespace
