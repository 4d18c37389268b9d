// Scenes with placed items: the host's item, object, surface and camera
// services as a module reads them, against what the renderer drew.

#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <lwsdk/scene.h>

#include "TestSupport.h"
#include "devhost/BufferRequest.h"
#include "devhost/Host.h"
#include "devhost/RenderJob.h"
#include "devhost/Renderer.h"
#include "devhost/SceneFile.h"

namespace {

const char *kPlaced = R"(
{ Scene
  { FrameSize 96 64 } { PixelAspect 1.3 } { FramesPerSecond 25 }
  { Surface { Name "Paint" } { Colour 0.1 0.6 0.2 } { Specular 0.4 } }
  { Surface { Name "Tiles" } { Colour 0.8 0.8 0.8 } { Checker 0.2 0.2 0.2 } { TileSize 0.5 } }
  { Object { Name "Rig" } { Shape "null" } { Position 0.5 0 0 } { Rotation 30 0 0 } }
  { Object { Name "Ball" } { Shape "sphere" } { Position 0 0.5 2 } { Size 1 } { Surface "Paint" } { Parent "Rig" } }
  { Object { Name "Ground" } { Shape "plane" } { Size 8 } { Surface "Tiles" } }
  { Object { Name "Crate" } { Shape "box" } { Position 0.2 0.4 1.2 } { Rotation 20 0 0 } { Size 0.8 } { Surface "Chrome" } }
  { Camera { Name "Cam" } { Position 0 1.2 -4 } { Rotation 5 8 12 } { ZoomFactor 2.5 } { Parent "Rig" } }
  { RenderCamera "Cam" }
}
)";

class PlacedSceneTest : public testsupport::HostTest {
protected:
    template <class T> const T *service(const char *name)
    {
        return static_cast<const T *>(devhost::Host::global(name, 0));
    }
    std::vector<double> param(LWItemID item, int which, LWTime time = 0)
    {
        LWDVector v{};
        items()->param(item, which, time, v);
        return {v[0], v[1], v[2]};
    }
    const LWItemInfo *items() { return service<LWItemInfo>(LWITEMINFO_GLOBAL); }
    LWItemID object(const std::string &name)
    {
        for (LWItemID id = items()->first(LWI_OBJECT, nullptr); id; id = items()->next(id))
            if (name == items()->name(id))
                return id;
        return nullptr;
    }
};

TEST_F(PlacedSceneTest, ServicesPlaceItemsWhereTheRendererDrawsThem)
{
    devhost::readSceneText(host(), kPlaced, "");
    const LWItemInfo *info = items();
    const auto *objects = service<LWObjectInfo>(LWOBJECTINFO_GLOBAL);
    const auto *surfaces = service<LWSurfaceFuncs>(LWSURFACEFUNCS_GLOBAL);
    const auto *cameras = service<LWCameraInfo>(LWCAMERAINFO_GLOBAL);
    const auto *scene = service<LWSceneInfo>(LWSCENEINFO_GLOBAL);
    ASSERT_TRUE(info && objects && surfaces && cameras && scene);

    // The scene's objects replace the built-in ones, in order.
    std::vector<std::string> names;
    for (LWItemID id = info->first(LWI_OBJECT, nullptr); id; id = info->next(id)) {
        EXPECT_EQ(info->type(id), LWI_OBJECT);
        names.push_back(info->name(id));
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Rig", "Ball", "Ground", "Crate"}));
    const LWItemID rig = object("Rig"), ball = object("Ball");
    EXPECT_EQ(info->parent(ball), rig);
    EXPECT_EQ(info->parent(rig), nullptr);

    // Through the parent: the rig turned 30 degrees carries the ball.
    const auto w = param(ball, LWIP_W_POSITION);
    EXPECT_NEAR(w[0], 0.5 + 2 * std::sin((devhost::kPi / 6)), 1e-12);
    EXPECT_NEAR(w[1], 0.5, 1e-12);
    EXPECT_NEAR(w[2], 2 * std::cos((devhost::kPi / 6)), 1e-12);
    EXPECT_EQ(param(ball, LWIP_POSITION), (std::vector<double>{0, 0.5, 2}));
    const auto rot = param(rig, LWIP_ROTATION);
    EXPECT_NEAR(rot[0], (devhost::kPi / 6), 1e-12);

    // The render camera: its world placement through the rig, its lens.
    const LWItemID cam = scene->renderCamera(0);
    ASSERT_NE(cam, nullptr);
    EXPECT_STREQ(info->name(cam), "Cam");
    EXPECT_EQ(info->parent(cam), rig);
    EXPECT_DOUBLE_EQ(cameras->zoomFactor(cam, 0), 2.5);
    EXPECT_DOUBLE_EQ(cameras->focalLength(cam, 0), 45.0);
    double filmW = 0, filmH = 0;
    cameras->filmSize(cam, 0, &filmW, &filmH);
    EXPECT_DOUBLE_EQ(filmW, 36.0);
    EXPECT_NEAR(filmH, 36.0 / (96 * 1.3 / 64), 1e-12);
    const auto at = param(cam, LWIP_W_POSITION), right = param(cam, LWIP_W_RIGHT),
               up = param(cam, LWIP_W_UP), fwd = param(cam, LWIP_W_FORWARD);
    auto dotp = [](const std::vector<double> &a, const std::vector<double> &b) {
        return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    };
    EXPECT_NEAR(dotp(right, up), 0, 1e-12);
    EXPECT_NEAR(dotp(up, fwd), 0, 1e-12);
    EXPECT_NEAR(dotp(fwd, fwd), 1, 1e-12);

    // Project the ball's centre with what the services said and find the
    // ball's id in the Object ID buffer there, its surface's in Surface ID.
    devhost::Renderer renderer(host());
    const devhost::RenderedFrame f = renderer.render(0, devhost::BufferRequest::all());
    const std::vector<double> d = {w[0] - at[0], w[1] - at[1], w[2] - at[2]};
    const double cx = dotp(d, right), cy = dotp(d, up), cz = dotp(d, fwd);
    ASSERT_GT(cz, 0);
    const double zoom = cameras->zoomFactor(cam, 0), aspect = 96 * 1.3 / 64;
    const int px = static_cast<int>(std::floor(96 * (zoom * cx / cz + 1) / 2));
    const int py = static_cast<int>(std::floor(64 * (0.5 - zoom * aspect * cy / (2 * cz))));
    ASSERT_TRUE(px >= 0 && px < 96 && py >= 0 && py < 64) << px << " " << py;
    const int objectId = static_cast<int>(f.line(LWBUF_OBJECTID, py)[px]);
    EXPECT_EQ(objects->byBufferId(objectId), ball);
    EXPECT_EQ(objects->bufferId(ball), objectId);
    const int surfaceId = static_cast<int>(f.line(LWBUF_SURFACEID, py)[px]);
    EXPECT_STREQ(surfaces->name(surfaces->byBufferId(surfaceId)), "Paint");
    // The centre is nearer than the plane behind it by the ball's radius.
    EXPECT_NEAR(f.line(LWBUF_DEPTH, py)[px], cz - 0.5, 0.05);

    // Every id in the buffers names an item; the null object is never drawn.
    std::vector<bool> seen(5, false);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 96; ++x) {
            const int o = static_cast<int>(f.line(LWBUF_OBJECTID, y)[x]);
            ASSERT_TRUE(o == 0 || objects->byBufferId(o)) << o;
            seen[static_cast<std::size_t>(o)] = true;
            const int s = static_cast<int>(f.line(LWBUF_SURFACEID, y)[x]);
            ASSERT_TRUE(s == 0 || surfaces->byBufferId(s)) << s;
        }
    EXPECT_FALSE(seen[1]) << "the null object was drawn";
    EXPECT_TRUE(seen[2] && seen[3] && seen[4]);
    EXPECT_EQ(objects->byBufferId(0), nullptr);
    EXPECT_EQ(objects->byBufferId(5), nullptr);

    // The scene written and read back places everything the same way.
    const std::string text = devhost::sceneText(host());
    devhost::readSceneText(host(), text, "");
    EXPECT_EQ(devhost::sceneText(host()), text);
    EXPECT_EQ(param(object("Ball"), LWIP_W_POSITION), w);
    const devhost::RenderedFrame again = devhost::Renderer(host()).render(0, devhost::BufferRequest::all());
    for (int b : {LWBUF_RED, LWBUF_OBJECTID, LWBUF_DEPTH})
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 96; ++x)
                ASSERT_EQ(again.line(b, y)[x], f.line(b, y)[x]) << b << " " << x << " " << y;
}

TEST_F(PlacedSceneTest, TheDefaultSceneNamesItsBuiltInItems)
{
    devhost::readSceneText(host(), "{ Scene { FrameSize 64 48 } }", "");
    const auto *objects = service<LWObjectInfo>(LWOBJECTINFO_GLOBAL);
    const auto *surfaces = service<LWSurfaceFuncs>(LWSURFACEFUNCS_GLOBAL);
    const std::vector<std::string> expected = {"Floor", "RedBall", "ChromeBall", "GlassBall", "Box"};
    for (int id = 1; id <= 5; ++id)
        EXPECT_EQ(items()->name(objects->byBufferId(id)), expected[static_cast<std::size_t>(id - 1)]);
    std::vector<std::string> names;
    for (LWSurfaceID s = surfaces->first(); s; s = surfaces->next(s))
        names.push_back(surfaces->name(s));
    EXPECT_EQ(names, (std::vector<std::string>{"Floor", "Red", "Chrome", "Glass", "BoxSides", "BoxTop",
                                                "Default"}));
    // The built-in objects move: the red ball bounces with the frame.
    const LWItemID red = object("RedBall");
    EXPECT_NE(param(red, LWIP_W_POSITION, 0.0)[1], param(red, LWIP_W_POSITION, 3 / 24.0)[1]);
    // The default camera stands before the plate looking down at it.
    const LWItemID cam = static_cast<const LWSceneInfo *>(devhost::Host::global(LWSCENEINFO_GLOBAL, 0))
                             ->renderCamera(0);
    EXPECT_EQ(param(cam, LWIP_W_POSITION), (std::vector<double>{0, 1.7, -6.5}));
    EXPECT_LT(param(cam, LWIP_W_FORWARD)[1], 0);
    EXPECT_GT(param(cam, LWIP_W_FORWARD)[2], 0);
}

TEST_F(PlacedSceneTest, MistakesInItemsAreRefusedNamingThem)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"{ Object { Name \"A\" } { Shape \"sphere\" } { Surface \"Nope\" } }",
         "the object \"A\" names the surface \"Nope\", which no Surface block defines"},
        {"{ Object { Name \"A\" } { Parent \"B\" } } { Object { Name \"B\" } { Parent \"A\" } }",
         "the object \"A\" is its own parent, through its parents"},
        {"{ Object { Name \"A\" } { Shape \"cone\" } }", "unknown shape \"cone\" (sphere, box, plane or null)"},
        {"{ Object { Name \"A\" } } { Object { Name \"A\" } }", "two objects are named \"A\""},
        {"{ Camera { Parent \"Nobody\" } }", "the camera \"Camera\" names the parent \"Nobody\""},
        {"{ Object { Size 0 } }", "Size: the size must be a number above 0"},
        {"{ Camera { ZoomFactor -1 } }", "ZoomFactor: the zoom factor must be a number above 0"},
    };
    for (const auto &[text, message] : cases) {
        try {
            devhost::readSceneText(host(), "{ Scene " + text + " }", "");
            ADD_FAILURE() << "accepted: " << text;
        } catch (const devhost::InputError &e) {
            EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        }
    }
}

} // namespace
