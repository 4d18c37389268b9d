// Every buffer's data window, every frame: measured on the host lines the
// frame reads anyway (the preview's pass, the files' rows), never by a pass
// of its own; a buffer enabled later gets its own frame's box.
#include <algorithm>
#include <cstring>

#include <ImfConvert.h>

#include "ExportTest.h"
#include "FakeFrame.h"
#include "devhost/BlockFile.h"

namespace {

using Box = Imath::Box2i;

Box box(int x0, int y0, int x1, int y1) { return Box(Imath::V2i(x0, y0), Imath::V2i(x1, y1)); }

// Data (0.5) inside the box, nothing outside.
std::vector<float> inside(const Box &b, int w, int h)
{
    std::vector<float> v(static_cast<std::size_t>(w) * h, 0.0f);
    for (int y = b.min.y; y <= b.max.y; ++y)
        for (int x = b.min.x; x <= b.max.x; ++x)
            v[static_cast<std::size_t>(y) * w + x] = 0.5f;
    return v;
}

class DataWindowTest : public ExportTest {
protected:
    void SetUp() override
    {
        ExportTest::SetUp();
        host().scene().host.contentDir = dir_.path().string();
        host().scene().settings.frameWidth = kW;
        host().scene().settings.frameHeight = kH;
        host().sceneChanged();
    }
    ravelcast::OpenEXRFilter &load(const std::string &settings)
    {
        ravelcast::OpenEXRFilter &f = makeFilter();
        devhost::TextBlockReader reader("{ useRGBPrefix 0 } { FileName \"out/shot\" } " + settings);
        hostkit::LoadState state(reader.state());
        EXPECT_EQ(f.loadSettings(state, false), "");
        return f;
    }
    static std::string active(const std::string &name, const std::string &settings = "")
    {
        return "{ Buffer { Name \"" + name + "\" } { Settings { Active 1 } " + settings + " } }";
    }
    void colour(testsupport::FakeFrame &frame, const Box &b)
    {
        for (int c : {int(LWBUF_RED), int(LWBUF_GREEN), int(LWBUF_BLUE)})
            frame.set(c, inside(b, kW, kH));
    }
    static int requests(const testsupport::FakeFrame &frame, int buffer)
    {
        return static_cast<int>(
            std::count(frame.lineRequests.begin(), frame.lineRequests.end(), buffer));
    }

    static constexpr int kW = 8, kH = 6;
    testsupport::TempDir dir_;
};

TEST_F(DataWindowTest, SaveOnlyFramesMeasureTheRowsTheyWrite)
{
    // Alpha fits the layered file to rows 2-3; Final Render is not fitted,
    // so most of its rows are never written, yet its box is its own.
    ravelcast::OpenEXRFilter &f = load("{ LayoutRenderMode 2 } " + active("Final Render") +
                                       active("Alpha", "{ FitDataWindow 1 }"));
    {
        testsupport::FakeFrame frame(kW, kH);
        colour(frame, box(1, 0, 6, 5));
        frame.set(LWBUF_ALPHA, inside(box(2, 2, 5, 3), kW, kH));
        f.process(hostkit::FrameAccess(frame.access()));
        EXPECT_EQ(f.buffer("Final Render")->dataWindow(), box(1, 0, 6, 5));
        EXPECT_EQ(f.buffer("Alpha")->dataWindow(), box(2, 2, 5, 3));
        // Each row of red read once for the file or its window, once to
        // hand the frame back: no pass of its own.
        EXPECT_EQ(requests(frame, LWBUF_RED), 2 * kH);
    }

    // Frame 2: Raw Colour enabled, with data in a corner; the beauty moved.
    f.buffer("Raw Colour")->setActive(true);
    {
        testsupport::FakeFrame frame(kW, kH);
        colour(frame, box(0, 1, 3, 2));
        frame.set(LWBUF_ALPHA, inside(box(0, 0, 7, 5), kW, kH));
        for (int c : {6, 7, 8})
            frame.set(c, inside(box(6, 4, 7, 5), kW, kH));
        f.process(hostkit::FrameAccess(frame.access()));
        EXPECT_EQ(f.buffer("Raw Colour")->dataWindow(), box(6, 4, 7, 5));
        EXPECT_EQ(f.buffer("Final Render")->dataWindow(), box(0, 1, 3, 2));
        EXPECT_EQ(requests(frame, 6), kH) << "raw red: its file's rows only";
        // An inactive buffer's old box does not linger.
        EXPECT_TRUE(ravelcast::isEmptyWindow(f.buffer("Depth")->dataWindow()));
    }
}

TEST_F(DataWindowTest, ThePreviewPassMeasuresEveryBuffer)
{
    // In Layout with the preview in use every buffer is resampled; the
    // same rows give every window, fitted or not, enabled or not.
    ravelcast::OpenEXRFilter &f =
        load("{ LayoutRenderMode 0 } " + active("Final Render", "{ FitDataWindow 1 }"));
    testsupport::FakeFrame frame(kW, kH);
    colour(frame, box(2, 1, 4, 3));
    frame.fill(LWBUF_ALPHA, 1.0f);
    // Depth: far away but for the bottom row.
    std::vector<float> depth(static_cast<std::size_t>(kW) * kH, 1e30f);
    std::fill(depth.end() - kW, depth.end(), 3.0f);
    frame.set(LWBUF_DEPTH, depth);
    f.process(hostkit::FrameAccess(frame.access()));
    EXPECT_EQ(f.buffer("Final Render")->dataWindow(), box(2, 1, 4, 3));
    EXPECT_EQ(f.buffer("Alpha")->dataWindow(), box(0, 0, 7, 5));
    EXPECT_EQ(f.buffer("Depth")->dataWindow(), box(0, 5, 7, 5));
    // The far pixels are no part of depth's range either.
    EXPECT_EQ(f.buffer("Depth")->rawMaximum(), 3.0f);
    // Red: the preview's pass, the fitted file's rows 1-3, the hand-back.
    EXPECT_EQ(requests(frame, LWBUF_RED), kH + 3 + kH);
}

// The measuring skips empty runs a block at a time: against a pixel by
// pixel scan of rows whose channels are empty in runs of every length.
TEST(DataWindowMeter, MatchesAPixelByPixelScan)
{
    using ravelcast::Emptiness;
    constexpr int kW = 203, kChannels = 3;
    std::uint32_t seed = 12345;
    const auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (int row = 0; row < 400; ++row) {
        std::vector<std::vector<float>> values(kChannels, std::vector<float>(kW, 0.0f));
        for (auto &channel : values)
            for (int x = 0; x < kW;) {
                const int run = static_cast<int>(next() % 40) + 1;
                // Data, seldom, or a half zero.
                const float v = next() % 7 == 0 ? 0.25f : 1e-9f;
                for (int k = 0; k < run && x < kW; ++k)
                    channel[static_cast<std::size_t>(x++)] = v;
            }
        const float *lines[kChannels] = {values[0].data(), values[1].data(), values[2].data()};
        ravelcast::DataWindowMeter meter(Emptiness::Half, kChannels, kW, 1);
        meter.row(0, lines);
        Imath::Box2i expected = ravelcast::emptyWindow();
        for (int x = 0; x < kW; ++x)
            if (values[0][x] > 0.1f || values[1][x] > 0.1f || values[2][x] > 0.1f)
                expected.extendBy(Imath::V2i(x, 0));
        ASSERT_EQ(meter.box(), expected) << "row " << row;
    }
}

// The fast tests the measuring uses against OpenEXR's own conversion to
// half, over float bit patterns across the whole range and every pattern
// near the two edges.
TEST(Emptiness, HalfTestsMatchOpenEXRsConversion)
{
    using ravelcast::Emptiness;
    const float far = static_cast<float>(Imf::floatToHalf(2e14f));
    const auto check = [&](std::uint32_t bits) {
        float v;
        std::memcpy(&v, &bits, sizeof v);
        const half h = Imf::floatToHalf(v);
        ASSERT_EQ(ravelcast::isEmpty(Emptiness::Half, v), h == 0.0f) << v;
        ASSERT_EQ(ravelcast::isEmpty(Emptiness::FarHalf, v), static_cast<float>(h) >= far) << v;
    };
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFu; bits += 65521)
        check(static_cast<std::uint32_t>(bits));
    for (float edge : {0x1p-25f, 65504.0f, 65520.0f})
        for (std::uint32_t sign : {0u, 0x80000000u}) {
            std::uint32_t b;
            std::memcpy(&b, &edge, sizeof b);
            for (std::uint32_t d = 0; d < 4096; ++d) {
                check((b + d) | sign);
                check((b - d) | sign);
            }
        }
}

} // namespace
