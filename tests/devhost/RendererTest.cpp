// The development host's renderer: determinism, what it delivers for each
// request form, the data in every buffer, limited regions and buffer
// sources.

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <png.h>

#include "TestSupport.h"
#include "devhost/BufferRequest.h"
#include "devhost/Renderer.h"
#include "devhost/RenderJob.h"
#include "devhost/SceneFile.h"

namespace {

using devhost::BufferRequest;
using devhost::RenderedFrame;
using devhost::Renderer;
using devhost::RenderView;

RenderView smallView()
{
    RenderView v;
    v.frameWidth = 64;
    v.frameHeight = 48;
    return v;
}

float at(const RenderedFrame &f, int buffer, int x, int y) { return f.line(buffer, y)[x]; }

TEST(RendererTest, RendersTheSameFrameTheSameWayAndFramesDiffer)
{
    Renderer r(smallView());
    const RenderedFrame a = r.render(4, BufferRequest::all());
    const RenderedFrame b = r.render(4, BufferRequest::all());
    const RenderedFrame c = r.render(5, BufferRequest::all());
    ASSERT_EQ(a.buffers().size(), static_cast<std::size_t>(LWBUF_COUNT));
    const std::size_t bytes = 64 * 48 * sizeof(float);
    int framesDiffer = 0;
    for (int buf = 0; buf < LWBUF_COUNT; ++buf) {
        EXPECT_EQ(std::memcmp(a.plane(buf), b.plane(buf), bytes), 0) << "buffer " << buf;
        framesDiffer += std::memcmp(a.plane(buf), c.plane(buf), bytes) != 0;
    }
    EXPECT_NE(std::memcmp(a.plane(LWBUF_MOTION_X), c.plane(LWBUF_MOTION_X), bytes), 0);
    EXPECT_NE(std::memcmp(a.plane(LWBUF_RED), c.plane(LWBUF_RED), bytes), 0);
    EXPECT_GT(framesDiffer, 20);
    EXPECT_EQ(a.frame(), 4);
    EXPECT_EQ(c.frame(), 5);
}

TEST(RendererTest, DeliversOnlyWhatWasAskedPlusFinalColourAndAlpha)
{
    Renderer r(smallView());
    BufferRequest req;
    req.add(LWBUF_RAW_RED);
    req.add(LWBUF_DEPTH);
    req.add(LWBUF_TANGENT_NZ);
    const RenderedFrame f = r.render(1, req);
    EXPECT_EQ(f.buffers(), (std::vector<int>{6, 12, 32, 33, 34, 35, 59}));
    EXPECT_EQ(f.line(LWBUF_RAW_GREEN, 0), nullptr);
    EXPECT_EQ(f.line(LWBUF_NORMAL_X, 10), nullptr);
    EXPECT_NE(f.line(LWBUF_RAW_RED, 47), nullptr);
    EXPECT_EQ(f.line(LWBUF_RAW_RED, 48), nullptr);
    EXPECT_EQ(f.line(LWBUF_RAW_RED, -1), nullptr);
    EXPECT_EQ(f.line(-1, 0), nullptr);
    EXPECT_EQ(f.line(LWBUF_COUNT, 0), nullptr);

    const RenderedFrame none = r.render(1, BufferRequest{});
    EXPECT_EQ(none.buffers(), (std::vector<int>{32, 33, 34, 35}));
    // Asking for fewer buffers changes nothing in those delivered.
    const RenderedFrame all = r.render(1, BufferRequest::all());
    for (int b : {LWBUF_RED, LWBUF_ALPHA})
        EXPECT_EQ(std::memcmp(none.plane(b), all.plane(b), 64 * 48 * sizeof(float)), 0);
    EXPECT_EQ(std::memcmp(f.plane(LWBUF_DEPTH), all.plane(LWBUF_DEPTH), 64 * 48 * sizeof(float)), 0);
}

TEST(RendererTest, MaskAndListRequestRules)
{
    EXPECT_EQ(BufferRequest::fromMask(0x1C0).buffers(), (std::vector<int>{6, 7, 8}));
    EXPECT_EQ(BufferRequest::fromMask(0x1000 | 0x8000 | 0x10000).buffers(),
              (std::vector<int>{12, 15, 16}));
    // Refraction alpha with transparency alone; a refraction colour needs
    // every bit of its combination.
    EXPECT_EQ(BufferRequest::fromMask(0x20).buffers(), (std::vector<int>{5, 39}));
    EXPECT_EQ(BufferRequest::fromMask(0x920020).buffers(),
              (std::vector<int>{5, 17, 20, 23, 36, 39}));
    EXPECT_FALSE(BufferRequest::fromMask(0x920000).has(36));
    EXPECT_EQ(BufferRequest::fromMask(0x1240020).buffers(),
              (std::vector<int>{5, 18, 21, 24, 37, 39}));
    EXPECT_EQ(BufferRequest::fromMask(0x2480020).buffers(),
              (std::vector<int>{5, 19, 22, 25, 38, 39}));
    const BufferRequest every = BufferRequest::fromMask(0xFFFFFFFFu);
    EXPECT_EQ(every.count(), 36);
    for (int b = 0; b < 32; ++b)
        EXPECT_TRUE(every.has(b)) << b;
    for (int b = 36; b < 40; ++b)
        EXPECT_TRUE(every.has(b)) << b;
    for (int b = 40; b < LWBUF_COUNT; ++b)
        EXPECT_FALSE(every.has(b)) << "buffer " << b << " has no bit";
    EXPECT_TRUE(BufferRequest::fromMask(0).empty());

    const int list[] = {5, 40, 12, 77, -3, 59};
    EXPECT_EQ(BufferRequest::fromList(list).buffers(), (std::vector<int>{12, 40, 59}));
    const int counted[] = {1, 43, 44}; // only the counted entries
    EXPECT_EQ(BufferRequest::fromList(counted).buffers(), (std::vector<int>{43}));
    const int negative[] = {-2, 1, 2};
    EXPECT_TRUE(BufferRequest::fromList(negative).empty());
    EXPECT_TRUE(BufferRequest::fromList(nullptr).empty());
}

// Every buffer of one full render, checked for what it should hold.
TEST(RendererTest, EveryBufferHoldsSensibleData)
{
    RenderView v = smallView();
    v.frameWidth = 128;
    v.frameHeight = 96;
    Renderer r(v);
    const RenderedFrame f = r.render(3, BufferRequest::all());
    const RenderedFrame later = r.render(4, BufferRequest::all());
    bool alphaZero = false, alphaOne = false, alphaPart = false, shadowed = false, lit = false;
    bool occluded = false, moving = false, floorStill = true;
    std::set<int> objects, surfaces;
    auto unit = [](float x, float y, float z) { return std::fabs(std::sqrt(x * x + y * y + z * z) - 1) < 1e-4; };
    for (int y = 0; y < f.height(); ++y)
        for (int x = 0; x < f.width(); ++x) {
            auto b = [&](int buf) { return at(f, buf, x, y); };
            const float alpha = b(LWBUF_ALPHA);
            ASSERT_GE(alpha, 0.0f);
            ASSERT_LE(alpha, 1.0f);
            alphaZero |= alpha == 0.0f;
            alphaOne |= alpha == 1.0f;
            alphaPart |= alpha > 0.0f && alpha < 1.0f;
            const float object = b(LWBUF_OBJECTID), surface = b(LWBUF_SURFACEID);
            ASSERT_EQ(object, std::floor(object));
            ASSERT_EQ(surface, std::floor(surface));
            objects.insert(static_cast<int>(object));
            surfaces.insert(static_cast<int>(surface));
            for (int buf = 0; buf < LWBUF_COUNT; ++buf)
                ASSERT_TRUE(std::isfinite(b(buf))) << buf;
            for (int buf : {0, 1, 2, 3, 4, 5, 9, 10, 11, 13, 14, 39, 48, 49, 50})
                ASSERT_TRUE(b(buf) >= 0.0f && b(buf) <= 1.0f) << "buffer " << buf;
            for (int buf : {6, 7, 8, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31,
                            32, 33, 34, 36, 37, 38, 45, 46, 47})
                ASSERT_GE(b(buf), 0.0f) << "buffer " << buf;
            ASSERT_GT(b(LWBUF_BACKDROP_RED) + b(LWBUF_BACKDROP_BLUE), 0.0f);
            if (object == 0) {
                // The backdrop: empty, far away, its colour in every colour buffer.
                ASSERT_EQ(surface, 0.0f);
                ASSERT_EQ(alpha, 0.0f);
                ASSERT_GE(b(LWBUF_DEPTH), 1e29f);
                ASSERT_EQ(b(LWBUF_NORMAL_X), 0.0f);
                ASSERT_EQ(b(LWBUF_RAW_RED), 0.0f);
                ASSERT_EQ(b(LWBUF_PREEFFECT_RED), b(LWBUF_BACKDROP_RED));
                ASSERT_LE(b(LWBUF_RED), b(LWBUF_PREEFFECT_RED));
                ASSERT_EQ(b(LWBUF_MOTION_X), 0.0f);
                continue;
            }
            ASSERT_GT(alpha, 0.0f);
            ASSERT_GT(surface, 0.0f);
            ASSERT_LE(object, 5.0f);
            ASSERT_LE(surface, 6.0f);
            ASSERT_GT(b(LWBUF_DEPTH), 0.5f);
            ASSERT_LT(b(LWBUF_DEPTH), 100.0f);
            ASSERT_TRUE(unit(b(40), b(41), b(42))) << x << "," << y;
            ASSERT_TRUE(unit(b(51), b(52), b(53)));
            ASSERT_TRUE(unit(b(54), b(55), b(56)));
            ASSERT_TRUE(unit(b(57), b(58), b(59)));
            // The tangent frame is orthogonal.
            ASSERT_NEAR(b(51) * b(57) + b(52) * b(58) + b(53) * b(59), 0.0f, 1e-4);
            ASSERT_NEAR(b(54) * b(51) + b(55) * b(52) + b(56) * b(53), 0.0f, 1e-4);
            // Normals face the camera side the ray came from (mostly upward
            // on the floor).
            if (object == 1) {
                ASSERT_GT(b(LWBUF_NORMAL_Y), 0.99f);
                floorStill &= b(LWBUF_MOTION_X) == 0.0f && b(LWBUF_MOTION_Y) == 0.0f;
            }
            if (object == 2 || object == 3 || object == 5)
                moving |= b(LWBUF_MOTION_X) != 0.0f || b(LWBUF_MOTION_Y) != 0.0f;
            // Refraction belongs to the glass ball alone.
            ASSERT_EQ(b(LWBUF_REFRACTION_ALPHA) > 0.0f, surface == 4.0f);
            ASSERT_EQ(b(LWBUF_TRANS) > 0.0f, surface == 4.0f);
            shadowed |= b(LWBUF_SHADOW) == 1.0f;
            lit |= b(LWBUF_SHADOW) == 0.0f && b(LWBUF_DIFFSHADE) > 0.5f;
            occluded |= b(LWBUF_AO_RED) < 0.8f;
            ASSERT_EQ(b(LWBUF_AO_RED), b(LWBUF_AO_GREEN));
        }
    EXPECT_TRUE(alphaZero);
    EXPECT_TRUE(alphaOne);
    EXPECT_TRUE(alphaPart) << "the glass ball lets the backdrop through";
    EXPECT_TRUE(shadowed);
    EXPECT_TRUE(lit);
    EXPECT_TRUE(occluded);
    EXPECT_TRUE(moving);
    EXPECT_TRUE(floorStill);
    EXPECT_EQ(objects, (std::set<int>{0, 1, 2, 3, 4, 5}));
    EXPECT_EQ(surfaces, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_NE(std::memcmp(f.plane(LWBUF_MOTION_Y), later.plane(LWBUF_MOTION_Y), 128 * 96 * 4), 0);
}

TEST(RendererTest, LimitedRegionDeliversTheRegionFromItsFirstRow)
{
    RenderView full = smallView();
    RenderView region = full;
    region.region = true;
    region.x0 = 10;
    region.y0 = 5;
    region.x1 = 41;
    region.y1 = 28;
    Renderer whole(full), part(region);
    const RenderedFrame a = whole.render(2, BufferRequest::all());
    const RenderedFrame b = part.render(2, BufferRequest::all());
    EXPECT_EQ(b.width(), 32);
    EXPECT_EQ(b.height(), 24);
    EXPECT_EQ(b.originX(), 10);
    EXPECT_EQ(b.originY(), 5);
    for (int buf : {LWBUF_RED, LWBUF_ALPHA, LWBUF_DEPTH, LWBUF_MOTION_X, LWBUF_OBJECTID})
        for (int y = 0; y < b.height(); ++y)
            ASSERT_EQ(std::memcmp(b.line(buf, y), a.line(buf, y + 5) + 10, 32 * sizeof(float)), 0)
                << "buffer " << buf << " row " << y;
    EXPECT_EQ(b.line(LWBUF_RED, 24), nullptr);
}

TEST(RendererTest, SceneRegionRules)
{
    devhost::Scene scene;
    scene.settings.frameWidth = 64;
    scene.settings.frameHeight = 48;
    scene.settings.limitedRegion = true;
    scene.settings.regionX0 = 4;
    scene.settings.regionY0 = 8;
    scene.settings.regionX1 = 19;
    scene.settings.regionY1 = 39;
    RenderView v = RenderView::of(scene);
    EXPECT_TRUE(v.region);
    EXPECT_EQ(v.width(), 16);
    EXPECT_EQ(v.height(), 32);
    // A camera that cannot render regions renders the whole frame.
    scene.cameras[0].flags = LWCAMF_NO_LIMITEDREGION;
    v = RenderView::of(scene);
    EXPECT_FALSE(v.region);
    EXPECT_EQ(v.width(), 64);
    scene.cameras[0].flags = 0;
    scene.settings.regionX1 = 64;
    try {
        RenderView::of(scene);
        FAIL() << "a region past the frame";
    } catch (const devhost::HostError &e) {
        EXPECT_NE(std::string(e.what()).find("(4 8 64 39) does not lie inside the 64 x 48 frame"),
                  std::string::npos)
            << e.what();
    }
}

class RenderHostTest : public testsupport::HostTest {
protected:
    void SetUp() override
    {
        HostTest::SetUp();
        load(testsupport::testModulePath("render_test_module"));
    }
    void scene(const std::string &settings, const std::string &plugins)
    {
        devhost::readSceneText(host(),
                               "{ Scene { FrameSize 64 48 } " + settings + " }\n" + plugins, "");
    }
    // The lines the filter saw in its last process, as it reported them.
    std::string seen()
    {
        const auto info = messages(devhost::Message::Info);
        return info.empty() ? std::string() : info.back();
    }
    std::string run(devhost::AppliedServer &filter, LWFrame frame = 1)
    {
        devhost::RenderedFrame f = devhost::renderForFilter(host(), filter, frame);
        devhost::runFilter(host(), filter, f, nullptr);
        return seen();
    }
    testsupport::TempDir dir;
};

TEST_F(RenderHostTest, FiltersGetTheBuffersTheirVersionAsksFor)
{
    // Version 4: the mask; the refraction red needs all of 0x920020.
    scene("{ FilterVersion 4 }", "Plugin ImageFilterHandler 1 BufferCopy\n{ Mask 9568288 }\nEndPlugin\n");
    auto filters = devhost::imageFilters(host().scene());
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0]->version, 4);
    EXPECT_EQ(run(*filters[0]), "BufferCopy unnamed frame 1 64x48:|lines 5 17 20 23 32 33 34 35 36 39");

    // Version 4 cannot ask for normals: a list of 40-42 gives no bits.
    scene("{ FilterVersion 4 }", "Plugin ImageFilterHandler 1 BufferCopy\n{ Buffers 40 41 42 6 }\nEndPlugin\n");
    EXPECT_EQ(run(*devhost::imageFilters(host().scene())[0]),
              "BufferCopy unnamed frame 1 64x48:|lines 6 32 33 34 35");

    // Version 5: the counted list, normals and tangent space included.
    scene("{ FilterVersion 5 }", "Plugin ImageFilterHandler 1 BufferCopy\n{ Buffers 40 43 59 12 }\nEndPlugin\n");
    EXPECT_EQ(run(*devhost::imageFilters(host().scene())[0], 7),
              "BufferCopy unnamed frame 7 64x48:|lines 12 32 33 34 35 40 43 59");

    // The render asks for the union over the scene's filters.
    scene("", "Plugin ImageFilterHandler 1 BufferCopy\n{ Buffers 6 }\nEndPlugin\n"
              "Plugin ImageFilterHandler 2 BufferCopyToo\n{ Buffers 44 }\nEndPlugin\n");
    EXPECT_EQ(devhost::sceneRequest(host().scene()).buffers(), (std::vector<int>{6, 44}));
}

TEST_F(RenderHostTest, TheFilterAccessIsTheLimitedRegion)
{
    scene("{ LimitedRegion 8 4 39 19 }",
          "Plugin ImageFilterHandler 1 BufferCopy\n{ Buffers 12 }\n{ Copy 12 12 12 35 }\nEndPlugin\n");
    devhost::AppliedServer &filter = *devhost::imageFilters(host().scene())[0];
    devhost::RenderedFrame f = devhost::renderForFilter(host(), filter, 1);
    EXPECT_EQ(f.width(), 32);
    EXPECT_EQ(f.height(), 16);
    Renderer whole(smallView());
    const RenderedFrame all = whole.render(1, BufferRequest::all());
    devhost::runFilter(host(), filter, f, nullptr);
    EXPECT_EQ(seen(), "BufferCopy unnamed frame 1 32x16:|lines 12 32 33 34 35");
    // The filter copied depth into the colour: host row 0 is frame row 4.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(at(f, LWBUF_RED, x, y), at(all, LWBUF_DEPTH, x + 8, y + 4)) << x << "," << y;
}

// A PNG written with libpng's own simplified writer.
void writeTestPng(const std::string &path, int w, int h, int format,
                  const std::vector<unsigned char> &pixels)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(w);
    image.height = static_cast<png_uint_32>(h);
    image.format = static_cast<png_uint_32>(format);
    ASSERT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, nullptr))
        << image.message;
}

// A one-channel FLOAT OpenEXR file whose data window may be smaller than
// its display window.
void writeTestExr(const std::string &path, const std::string &channel, int w, int h,
                  Imath::Box2i data, float (*value)(int, int))
{
    Imf::Header header(Imath::Box2i({0, 0}, {w - 1, h - 1}), data);
    header.channels().insert(channel, Imf::Channel(Imf::FLOAT));
    const int dw = data.max.x - data.min.x + 1, dh = data.max.y - data.min.y + 1;
    std::vector<float> pixels(static_cast<std::size_t>(dw * dh));
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x)
            pixels[static_cast<std::size_t>(y * dw + x)] = value(x + data.min.x, y + data.min.y);
    Imf::FrameBuffer fb;
    fb.insert(channel, Imf::Slice(Imf::FLOAT,
                                  reinterpret_cast<char *>(pixels.data() - data.min.x - data.min.y * dw),
                                  sizeof(float), sizeof(float) * dw));
    Imf::OutputFile out(path.c_str(), header);
    out.setFrameBuffer(fb);
    out.writePixels(dh);
}

TEST_F(RenderHostTest, BufferSourcesReplaceBuffersFromImageFiles)
{
    std::vector<unsigned char> rgb(64 * 48 * 3);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            rgb[static_cast<std::size_t>((y * 64 + x) * 3)] = static_cast<unsigned char>(x);
            rgb[static_cast<std::size_t>((y * 64 + x) * 3 + 1)] = static_cast<unsigned char>(y * 5);
            rgb[static_cast<std::size_t>((y * 64 + x) * 3 + 2)] = 200;
        }
    writeTestPng(dir.file("ids.png"), 64, 48, PNG_FORMAT_RGB, rgb);
    // 16-bit grey samples keep their precision.
    std::vector<png_uint_16> grey(64 * 48);
    for (std::size_t i = 0; i < grey.size(); ++i)
        grey[i] = static_cast<png_uint_16>(i * 13);
    {
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        image.width = 64;
        image.height = 48;
        image.format = PNG_FORMAT_LINEAR_Y;
        ASSERT_TRUE(png_image_write_to_file(&image, dir.file("deep.png").c_str(), 0, grey.data(), 0,
                                            nullptr))
            << image.message;
    }
    // Half the frame's size: resampled. Same size with a small data window:
    // placed as it is, zero outside its data window.
    writeTestExr(dir.file("half.exr"), "Z", 32, 24, Imath::Box2i({0, 0}, {31, 23}),
                 [](int x, int y) { return 1000.0f + x + 100.0f * y; });
    writeTestExr(dir.file("window.exr"), "N.X", 64, 48, Imath::Box2i({10, 12}, {20, 30}),
                 [](int x, int y) { return 0.5f + x - y; });

    // Written with '/', which a scene's text takes on every platform.
    scene("{ BufferSource 43 \"ids.png\" \"G\" } { BufferSource 12 \"" +
              (dir.path() / "half.exr").generic_string() +
              "\" \"Z\" } { BufferSource 40 \"window.exr\" \"N.X\" } { BufferSource 44 \"ids.png\" \"R\" }"
              " { BufferSource 13 \"deep.png\" \"Y\" }",
          "Plugin ImageFilterHandler 1 BufferCopy\n{ Buffers 12 13 40 43 }\nEndPlugin\n");
    host().scene().host.contentDir = dir.path().string();
    host().sceneChanged();
    Renderer r(host());
    const RenderedFrame f = r.render(1, devhost::sceneRequest(host().scene()));
    ASSERT_EQ(f.buffers(), (std::vector<int>{12, 13, 32, 33, 34, 35, 40, 43}));
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            ASSERT_FLOAT_EQ(at(f, 43, x, y), (y * 5) / 255.0f);
            ASSERT_FLOAT_EQ(at(f, 13, x, y), ((y * 64 + x) * 13) / 65535.0f);
            ASSERT_EQ(at(f, 12, x, y), 1000.0f + x / 2 + 100.0f * (y / 2));
            const bool inside = x >= 10 && x <= 20 && y >= 12 && y <= 30;
            ASSERT_EQ(at(f, 40, x, y), inside ? 0.5f + x - y : 0.0f);
        }
    EXPECT_EQ(f.line(44, 0), nullptr) << "a source does not deliver a buffer nobody asked for";

    // A limited region crops a source of the frame's size.
    host().scene().settings.limitedRegion = true;
    host().scene().settings.regionX0 = 30;
    host().scene().settings.regionY0 = 20;
    host().scene().settings.regionX1 = 33;
    host().scene().settings.regionY1 = 21;
    host().sceneChanged();
    Renderer cropped(host());
    const RenderedFrame c = cropped.render(1, devhost::sceneRequest(host().scene()));
    ASSERT_EQ(c.width(), 4);
    EXPECT_FLOAT_EQ(at(c, 43, 0, 0), (20 * 5) / 255.0f);
    EXPECT_FLOAT_EQ(at(c, 43, 3, 1), (21 * 5) / 255.0f);
}

TEST_F(RenderHostTest, UnreadableBufferSourcesFailNamingTheFile)
{
    auto failure = [&](const std::string &source) -> std::string {
        try {
            scene("{ BufferSource " + source + " }",
                  "Plugin ImageFilterHandler 1 BufferCopy\n{ Buffers 12 }\nEndPlugin\n");
            host().scene().host.contentDir = dir.path().string();
            host().sceneChanged();
            Renderer(host()).render(1, devhost::sceneRequest(host().scene()));
        } catch (const devhost::HostError &e) {
            return e.what();
        }
        return "no failure";
    };
    std::string e = failure("12 \"missing.exr\" \"Z\"");
    EXPECT_NE(e.find("Cannot read buffer source \"" + dir.file("missing.exr") + "\" (buffer 12, channel \"Z\"): file not found"),
              std::string::npos)
        << e;
    writeTestExr(dir.file("rgb.exr"), "R", 8, 8, Imath::Box2i({0, 0}, {7, 7}),
                 [](int, int) { return 1.0f; });
    e = failure("12 \"rgb.exr\" \"Z\"");
    EXPECT_NE(e.find("it has no channel \"Z\" (its channels: R)"), std::string::npos) << e;
    testsupport::writeFile(dir.file("text.png"), "not an image at all");
    e = failure("12 \"text.png\" \"Y\"");
    EXPECT_NE(e.find("text.png"), std::string::npos) << e;
    EXPECT_NE(e.find("neither a PNG nor an OpenEXR file"), std::string::npos) << e;
    // The scene reader refuses a buffer the host lacks; the renderer does
    // too, for sources set by other means.
    e = failure("77 \"rgb.exr\" \"R\"");
    EXPECT_NE(e.find("line 1: BufferSource: the buffer must be a whole number from 0 to 59, not \"77\""),
              std::string::npos)
        << e;
    host().scene().settings.bufferSources = {{77, "rgb.exr", "R"}};
    try {
        Renderer(host()).render(1, devhost::sceneRequest(host().scene()));
        ADD_FAILURE() << "buffer 77 rendered";
    } catch (const devhost::HostError &err) {
        EXPECT_NE(std::string(err.what()).find("names buffer 77"), std::string::npos) << err.what();
    }
}

} // namespace
