// Scene files: the host's own settings and each applied server's blocks.

#include <string>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "devhost/SceneFile.h"

namespace {

using devhost::Message;

class SceneFileTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        load(testsupport::testModulePath("frame_test_module"));
    }
    testsupport::TempDir dir;
};

const char *kScene = R"(# a scene for the tests
{ Host
  { Version 9 6 2345 }
  { Mode "screamernet" }
  { ContentDirectory "content" }
}
{ Scene
  { Name "shot.lws" }
  { Frames 3 20 2 }
  { FramesPerSecond 29.97 }
  { FrameSize 320 240 }
  { PixelAspect 1.2 }
  { RenderOptions 16386 }
  { LimitedRegion 10 20 109 119 }
  { RGBPrefix "out/shot" }
  { Antialiasing 103 }
  { ReconstructionFilter 7 }
  { RenderThreads 8 }
  { Points 1234 } { Polygons 567 }
  { Camera { Name "Left" } { FocalLength 35 } { Flags 513 } }
  { Camera { Name "Main" } { FStop 2.8 } { FocalDistance 12.5 } { BlurLength 0.25 } }
  { RenderCamera "Main" }
}
Plugin ImageFilterHandler 1 FrameTest
{ Version 1 }
{ Name "from the scene" }
EndPlugin
Plugin ImageFilterHandler 2 NotInThisModule
{ Version 3 }
{ Strange { Nested "data" } }
EndPlugin
)";

TEST_F(SceneFileTest, ReadsHostSettingsAndServers)
{
    const std::string path = dir.file("shot.lws");
    testsupport::writeFile(path, kScene);
    devhost::readSceneFile(host(), path);
    const devhost::Scene &scene = host().scene();
    EXPECT_EQ(scene.host.mode, devhost::RunMode::ScreamerNet);
    EXPECT_EQ(host().systemId() & 0xF0000000u, 0x20000000u);
    EXPECT_EQ(host().productInfo() & 0xFFFFFFF0u, (9u << 20) | (6u << 16) | (2345u << 4));
    EXPECT_EQ(host().directory("Content"), dir.file("content"));

    const LWSceneInfo &info = host().sceneInfo();
    EXPECT_STREQ(info.name, "shot.lws");
    EXPECT_EQ(info.frameStart, 3);
    EXPECT_EQ(info.frameEnd, 20);
    EXPECT_EQ(info.frameStep, 2);
    EXPECT_DOUBLE_EQ(info.framesPerSecond, 29.97);
    EXPECT_EQ(info.frameWidth, 320);
    EXPECT_DOUBLE_EQ(info.pixelAspect, 1.2);
    EXPECT_EQ(info.renderOpts, 16386 | LWROPT_LIMITEDREGION);
    EXPECT_EQ(info.limitedRegionX0, 10);
    EXPECT_EQ(info.limitedRegionY1, 119);
    EXPECT_STREQ(info.RGBPrefix, "out/shot");
    EXPECT_EQ(info.antialiasing, 103);
    EXPECT_EQ(info.filter, 7 << 1);
    EXPECT_EQ(info.numThreads, 8);
    EXPECT_EQ(info.numPoints, 1234);
    EXPECT_EQ(info.numPolygons, 567);
    ASSERT_EQ(scene.cameras.size(), 2u);
    const devhost::Camera *main = scene.camera("Main");
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(host().cameraOf(info.renderCamera(0.0)), main);
    EXPECT_DOUBLE_EQ(main->fStop, 2.8);
    EXPECT_EQ(scene.camera("Left")->flags, 513u);

    ASSERT_EQ(scene.servers.size(), 2u);
    EXPECT_EQ(host().describe(*scene.servers[0]), "FrameTest: from the scene (0 frames)");
    EXPECT_EQ(scene.servers[1]->instance, nullptr);
    ASSERT_EQ(messages(Message::Warning).size(), 1u);
    EXPECT_NE(messages(Message::Warning)[0].find("NotInThisModule"), std::string::npos);
}

TEST_F(SceneFileTest, WritesWhatItReadsKeepingUnknownServers)
{
    const std::string path = dir.file("shot.lws");
    testsupport::writeFile(path, kScene);
    devhost::readSceneFile(host(), path);
    const std::string saved = dir.file("saved.lws");
    devhost::writeSceneFile(host(), saved);
    const std::string text = testsupport::readFile(saved);
    EXPECT_NE(text.find("Plugin ImageFilterHandler 1 FrameTest\n{ Version 1 }\n{ Name \"from the "
                        "scene\" }\nEndPlugin"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Plugin ImageFilterHandler 2 NotInThisModule\n{ Version 3 }\n{ Strange { "
                        "Nested \"data\" } }\nEndPlugin"),
              std::string::npos)
        << text;

    const std::string first = devhost::sceneText(host());
    devhost::readSceneFile(host(), saved);
    EXPECT_EQ(devhost::sceneText(host()), first);
    EXPECT_DOUBLE_EQ(host().sceneInfo().framesPerSecond, 29.97);
    EXPECT_EQ(host().scene().cameras.size(), 2u);
}

TEST_F(SceneFileTest, ErrorsNameTheFile)
{
    const std::string path = dir.file("broken.lws");
    testsupport::writeFile(path, "{ Scene { Name \"unterminated }\n}\n");
    try {
        devhost::readSceneFile(host(), path);
        FAIL();
    } catch (const devhost::HostError &e) {
        EXPECT_EQ(std::string(e.what()),
                  "Cannot read scene \"" + path + "\": line 1: unterminated quoted string");
    }
    try {
        devhost::readSceneFile(host(), dir.file("missing.lws"));
        FAIL();
    } catch (const devhost::HostError &e) {
        EXPECT_NE(std::string(e.what()).find("missing.lws\": file not found"), std::string::npos);
    }
    testsupport::writeFile(path, "{ Host { Mode \"studio\" } }\n");
    EXPECT_THROW(devhost::readSceneFile(host(), path), devhost::HostError);
}

} // namespace
