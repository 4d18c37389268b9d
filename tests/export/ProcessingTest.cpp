// How a buffer turns host values into written values, and its preview data.

#include <cmath>
#include <cstring>
#include <iostream>
#include <limits>
#include <vector>

#include <ImfConvert.h>
#include <half.h>

#include "ExportTest.h"
#include "FakeFrame.h"
#include "export/HalfConversion.h"
#include "export/PreviewWindow.h"

namespace {

using ravelcast::OpenEXRBuffer;
constexpr float kInf = std::numeric_limits<float>::infinity();

float fromBits(std::uint16_t bits)
{
    half h;
    h.setBits(bits);
    return h;
}

class ProcessingTest : public ExportTest {
protected:
    OpenEXRBuffer &buffer(const std::string &name) { return *filter().buffer(name); }
    ravelcast::OpenEXRFilter &filter()
    {
        if (filters_.empty())
            makeFilter();
        return *filters_.front();
    }
    // Sets the five parameters and evaluates them for the current time.
    void parameters(OpenEXRBuffer &b, double min, double max, double offset, double scale,
                    double gamma)
    {
        b.minimum().set(min);
        b.maximum().set(max);
        b.offset().set(offset);
        b.scale().set(scale);
        b.gamma().set(gamma);
        b.evaluateParameters();
    }
    // One stored sample of channel 0 for a host value.
    template <class T> T stored(OpenEXRBuffer &b, float v, float alpha = 1.0f, bool flip = false)
    {
        b.channel(0).setFlip(flip);
        std::uint32_t out = 0;
        b.convertLine(&v, 0, 1, &alpha, &out);
        b.channel(0).setFlip(false);
        T sample;
        std::memcpy(&sample, &out, sizeof sample);
        return sample;
    }
};

TEST_F(ProcessingTest, DefaultsPassValuesUnchanged)
{
    OpenEXRBuffer &b = buffer("Final Render");
    b.evaluateParameters();
    for (float v : {0.0f, 0.25f, -3.5f, 1e6f, 1e-20f})
        EXPECT_EQ(b.processValue(v, 0.5f, false), v);
    EXPECT_EQ(b.processValue(0.25f, 0.5f, true), -0.25f);
    EXPECT_TRUE(std::isnan(b.processValue(std::nanf(""), 1, false)));
    EXPECT_EQ(b.inverseGamma(), 1.0f);
}

TEST_F(ProcessingTest, RemapOffsetScaleInvertAndGamma)
{
    OpenEXRBuffer &b = buffer("Raw Colour");
    parameters(b, 2.0, 4.0, 0.0, 1.0, 1.0);
    EXPECT_EQ(b.processValue(0.5f, 0, false), 3.0f) << "0..1 maps onto Minimum..Maximum";
    parameters(b, 0.0, 1.0, 0.5, 2.0, 1.0);
    EXPECT_EQ(b.processValue(0.25f, 0, false), 1.5f) << "(v + Offset) x Scale";
    b.setInvert(true);
    parameters(b, 0.0, 1.0, 0.0, 1.0, 1.0);
    EXPECT_EQ(b.processValue(0.25f, 0, false), 0.75f);
    b.setInvert(false);

    parameters(b, 0.0, 1.0, 0.0, 1.0, 2.0);
    EXPECT_EQ(b.inverseGamma(), 0.5f);
    EXPECT_EQ(b.processValue(0.25f, 0, false), 0.5f);
    EXPECT_TRUE(std::isnan(b.processValue(-0.25f, 0, false))) << "negative base, fractional power";

    // Gamma 0: an infinite inverse gamma.
    parameters(b, 0.0, 1.0, 0.0, 1.0, 0.0);
    EXPECT_EQ(b.inverseGamma(), kInf);
    EXPECT_EQ(b.processValue(0.5f, 0, false), 0.0f);
    EXPECT_EQ(b.processValue(2.0f, 0, false), kInf);
    EXPECT_EQ(b.processValue(1.0f, 0, false), 1.0f);
}

TEST_F(ProcessingTest, UnmultiplyByAlpha)
{
    OpenEXRBuffer &b = buffer("Diffuse Colour");
    b.setUnmultiply(true);
    b.evaluateParameters();
    EXPECT_EQ(b.processValue(0.3f, 0.0f, false), 0.3f);
    EXPECT_EQ(b.processValue(0.3f, 1.0f, false), 0.3f);
    EXPECT_EQ(b.processValue(0.3f, 0.5f, false), 0.6f);
    EXPECT_EQ(b.processValue(0.3f, std::nanf(""), false), 0.3f);
    // A missing alpha line means no un-multiplication.
    const float v = 0.3f;
    half out;
    b.convertLine(&v, 0, 1, nullptr, &out);
    EXPECT_EQ(static_cast<float>(out), static_cast<float>(half(0.3f)));
}

TEST_F(ProcessingTest, PixelTypeConversionsAtTheirLimits)
{
    OpenEXRBuffer &h = buffer("Shadow");
    h.evaluateParameters();
    auto asHalf = [&](float v) { return fromBits(stored<std::uint16_t>(h, v)); };
    EXPECT_EQ(asHalf(70000.0f), kInf);
    EXPECT_EQ(asHalf(-70000.0f), -kInf);
    EXPECT_EQ(asHalf(65504.0f), 65504.0f);
    EXPECT_EQ(asHalf(65510.0f), kInf) << "finite values above the largest half clamp to infinity";
    EXPECT_EQ(asHalf(0.1f), static_cast<float>(half(0.1f)));
    EXPECT_EQ(asHalf(1e-9f), 0.0f);
    EXPECT_TRUE(std::isnan(asHalf(std::nanf(""))));
    EXPECT_EQ(asHalf(0.5f), 0.5f);
    EXPECT_EQ(fromBits(stored<std::uint16_t>(h, 0.5f, 1, true)), -0.5f);

    OpenEXRBuffer &u = buffer("Surface ID");
    u.evaluateParameters();
    EXPECT_EQ(stored<std::uint32_t>(u, 3.9f), 3u);
    EXPECT_EQ(stored<std::uint32_t>(u, -2.5f), 0u);
    EXPECT_EQ(stored<std::uint32_t>(u, 5e9f), 4294967295u);
    EXPECT_EQ(stored<std::uint32_t>(u, 4294967296.0f), 4294967295u);
    EXPECT_EQ(stored<std::uint32_t>(u, kInf), 4294967295u);
    EXPECT_EQ(stored<std::uint32_t>(u, std::nanf("")), 0u);
    EXPECT_EQ(stored<std::uint32_t>(u, 16777216.0f), 16777216u);

    OpenEXRBuffer &f = buffer("Depth");
    f.evaluateParameters();
    EXPECT_EQ(stored<float>(f, 123.25f), 123.25f);
}

TEST_F(ProcessingTest, DepthRemapsARangeOntoZeroToOne)
{
    OpenEXRBuffer &d = buffer("Depth");
    parameters(d, 0.0, 100.0, 0.0, 1.0, 2.0);
    EXPECT_EQ(d.processValue(25.0f, 0.5f, false), 0.25f) << "no gamma, no un-multiplication";
    d.setInvert(true);
    d.evaluateParameters();
    EXPECT_EQ(d.processValue(25.0f, 0, false), 0.75f);
    EXPECT_EQ(d.processValue(25.0f, 0, true), -0.75f);
}

TEST_F(ProcessingTest, EmptyValuesByPixelType)
{
    OpenEXRBuffer &b = buffer("Shadow");
    EXPECT_TRUE(b.isEmptyValue(0.0f));
    EXPECT_TRUE(b.isEmptyValue(1e-9f)) << "underflows to half zero";
    EXPECT_FALSE(b.isEmptyValue(1e-3f));
    EXPECT_FALSE(b.isEmptyValue(std::nanf("")));
    b.setPixelType(Imf::FLOAT);
    EXPECT_FALSE(b.isEmptyValue(1e-9f));
    EXPECT_TRUE(b.isEmptyValue(std::nanf("")));
    b.setPixelType(Imf::UINT);
    EXPECT_TRUE(b.isEmptyValue(0.9f));
    EXPECT_TRUE(b.isEmptyValue(-0.9f));
    EXPECT_FALSE(b.isEmptyValue(1.0f));

    OpenEXRBuffer &d = buffer("Depth");
    EXPECT_FALSE(d.isEmptyValue(1.9e14f));
    EXPECT_TRUE(d.isEmptyValue(2e14f));
    EXPECT_TRUE(d.isEmptyValue(1e30f));
    EXPECT_FALSE(d.isEmptyValue(0.0f)) << "depth is empty only far away";
    d.setPixelType(Imf::HALF);
    EXPECT_TRUE(d.isEmptyValue(70000.0f)) << "half(2e14) is infinity";
    EXPECT_FALSE(d.isEmptyValue(60000.0f));
    d.setPixelType(Imf::UINT);
    EXPECT_TRUE(d.isEmptyValue(2e14f));
    EXPECT_TRUE(d.isEmptyValue(552894464.0f));
    EXPECT_FALSE(d.isEmptyValue(552894400.0f));
}

TEST_F(ProcessingTest, ParametersFollowTheirEnvelopesInTime)
{
    OpenEXRBuffer &b = buffer("Shading");
    LWVParmID scale = b.scale().id();
    ASSERT_NE(scale, nullptr);
    hostkit::VParmFuncs vparms;
    hostkit::EnvelopeFuncs envelopes;
    LWEnvelopeID env = vparms->getEnv(scale);
    envelopes->createKey(env, 0.0, 1.0);
    envelopes->createKey(env, 1.0, 3.0);
    host().scene().settings.framesPerSecond = 10;
    host().sceneChanged();
    host().setFrame(5); // t = 0.5
    b.evaluateParameters();
    EXPECT_EQ(b.processValue(1.0f, 0, false), 2.0f);
    host().setFrame(20);
    b.evaluateParameters();
    EXPECT_EQ(b.processValue(1.0f, 0, false), 3.0f);
}

TEST_F(ProcessingTest, ProcessedExtremesFollowTheRawOnes)
{
    testsupport::FakeFrame frame(4, 2);
    frame.set(LWBUF_SHADOW, {-1, 0, 2, 3, 4, 5, 6, 7});
    OpenEXRBuffer &b = buffer("Shadow");
    b.computePreviewData(hostkit::FrameAccess(frame.access()), 4, 2);
    EXPECT_EQ(b.rawMinimum(), -1.0f);
    EXPECT_EQ(b.rawMaximum(), 7.0f);
    b.setInvert(true);
    b.evaluateParameters();
    EXPECT_EQ(b.processedMinimum(), -6.0f) << "swapped after inversion";
    EXPECT_EQ(b.processedMaximum(), 2.0f);
}

TEST_F(ProcessingTest, PreviewResamplingWithTheBoxKernel)
{
    EXPECT_EQ(ravelcast::BufferChannel::kernelWidth(1920, 480), 4);
    EXPECT_EQ(ravelcast::BufferChannel::kernelWidth(300, 480), 2);
    EXPECT_EQ(ravelcast::BufferChannel::kernelWidth(480, 480), 2);
    EXPECT_EQ(ravelcast::BufferChannel::kernelWidth(1000, 480), 3);

    // 8 x 2 onto 2 x 1: k = 4 horizontally (first column trunc(floor(4j) - 2)),
    // 2 vertically (first row trunc(0 - 1) = -1, outside, weight 0).
    testsupport::FakeFrame frame(8, 2);
    frame.set(LWBUF_SHADOW, {1, 2, 3, 4, 5, 6, 7, 8, 10, 20, 30, 40, 50, 60, 70, 80});
    OpenEXRBuffer &b = buffer("Shadow");
    b.computePreviewData(hostkit::FrameAccess(frame.access()), 2, 1);
    const ravelcast::BufferChannel &c = b.channel(0);
    // Row 0: columns -2..1 -> (1+2)/2 = 1.5; columns 2..5 -> (3+4+5+6)/4 = 4.5.
    // Row 1: 15 and 45. Vertically rows -1..0 -> row 0 only.
    EXPECT_EQ(c.previewSample(0, 0), 1.5f);
    EXPECT_EQ(c.previewSample(1, 0), 4.5f);
    EXPECT_EQ(c.previewSample(2, 0), 0.0f) << "outside the preview";
    EXPECT_EQ(c.previewSample(0, -1), 0.0f);
    EXPECT_EQ(b.rawMinimum(), 1.0f);
    EXPECT_EQ(b.rawMaximum(), 60.0f) << "the horizontal pass reads columns 0..5 only";

    // The same size copies, upsizing uses k = 2.
    b.computePreviewData(hostkit::FrameAccess(frame.access()), 8, 2);
    EXPECT_EQ(c.previewSample(7, 1), 80.0f);
    EXPECT_EQ(b.rawMaximum(), 80.0f);
    b.computePreviewData(hostkit::FrameAccess(frame.access()), 16, 4);
    EXPECT_EQ(c.previewWidth(), 16);
    EXPECT_EQ(c.previewSample(0, 0), 1.0f);

    // All-negative samples keep the smallest positive normal as maximum.
    frame.set(LWBUF_SHADOW, std::vector<float>(16, -2.0f));
    b.computePreviewData(hostkit::FrameAccess(frame.access()), 4, 1);
    EXPECT_EQ(b.rawMaximum(), 1.17549435e-38f);
    EXPECT_EQ(b.rawMinimum(), -2.0f);
    auto normalized = ravelcast::previewPixel(b, 0, 0, false, true, 1.0, nullptr);
    EXPECT_FLOAT_EQ(normalized[0], (-2.0f - -2.0f) / (1.17549435e-38f + 2.0f));

    // Without a first line the channel keeps no samples.
    OpenEXRBuffer &missing = buffer("Geometry");
    missing.computePreviewData(hostkit::FrameAccess(frame.access()), 4, 1);
    EXPECT_EQ(missing.channel(0).previewSample(0, 0), 0.0f);
    EXPECT_EQ(missing.rawMaximum(), 1.17549435e-38f);
}

TEST_F(ProcessingTest, EmbeddedPreviewPixelsAndPlacement)
{
    testsupport::FakeFrame frame(2, 1);
    frame.set(LWBUF_MOTION_X, {0.25f, 1.0f});
    frame.set(LWBUF_MOTION_Y, {0.5f, 2.0f});
    frame.set(LWBUF_ALPHA, {0.5f, 1.0f});
    OpenEXRBuffer &motion = buffer("Motion");
    OpenEXRBuffer &alpha = buffer("Alpha");
    motion.channel(1).setFlip(true);
    motion.computePreviewData(hostkit::FrameAccess(frame.access()), 2, 1);
    alpha.computePreviewData(hostkit::FrameAccess(frame.access()), 2, 1);
    motion.evaluateParameters();
    auto raw = ravelcast::previewPixel(motion, 0, 0, false, false, 2.2, &alpha);
    EXPECT_EQ(raw, (std::array<float, 3>{0.25f, 0.5f, 0.0f}));
    auto processed = ravelcast::previewPixel(motion, 0, 0, true, false, 2.2, &alpha);
    EXPECT_EQ(processed, (std::array<float, 3>{0.25f, -0.5f, -0.0f})) << "no gamma for two channels";

    OpenEXRBuffer &diffuse = buffer("Diffuse Colour");
    frame.set(20, {0.25f, 1.0f});
    frame.set(21, {0.25f, 1.0f});
    frame.set(22, {0.25f, 1.0f});
    diffuse.setUnmultiply(true);
    diffuse.computePreviewData(hostkit::FrameAccess(frame.access()), 2, 1);
    diffuse.evaluateParameters();
    auto rgb = ravelcast::previewPixel(diffuse, 0, 0, true, false, 2.0, &alpha);
    EXPECT_FLOAT_EQ(rgb[0], std::sqrt(0.5f)) << "un-multiplied by 0.5, then display gamma 2";
    auto norm = ravelcast::previewPixel(diffuse, 1, 0, true, true, 1.0, &alpha);
    EXPECT_FLOAT_EQ(norm[0], (1.0f - diffuse.processedMinimum()) /
                                 (diffuse.processedMaximum() - diffuse.processedMinimum()));

    // A 640 x 360 image sits 60 pixels down in the 640 x 480 window.
    const auto o = ravelcast::previewOrigin(640, 360);
    EXPECT_EQ(o.x, 0);
    EXPECT_EQ(o.y, 60);
    EXPECT_EQ(ravelcast::previewOrigin(427, 480).x, 106);
    // The window drawn at double size: position (200, 300) is pixel (100, 90).
    const auto p = ravelcast::windowToImage(200, 300, 1280, 960, 640, 360);
    EXPECT_EQ(p.x, 100);
    EXPECT_EQ(p.y, 90);
    EXPECT_TRUE(ravelcast::insideImage(p, 640, 360));
    EXPECT_FALSE(ravelcast::insideImage(ravelcast::windowToImage(10, 20, 640, 480, 640, 360), 640, 360));
}

TEST_F(ProcessingTest, DataWindowsCoverPixelsWhereAnyChannelHoldsData)
{
    testsupport::FakeFrame frame(5, 4);
    std::vector<float> r(20, 0.0f), g(20, 0.0f), b(20, 0.0f);
    r[1 * 5 + 1] = 0.5f; // red only: data
    r[2 * 5 + 2] = g[2 * 5 + 2] = b[2 * 5 + 2] = 0.5f;
    g[2 * 5 + 4] = 0.5f; // green only, at the right edge
    r[3 * 5 + 3] = g[3 * 5 + 3] = b[3 * 5 + 3] = 0.5f;
    frame.set(32, r);
    frame.set(33, g);
    frame.set(34, b);
    OpenEXRBuffer &beauty = buffer("Final Render");
    beauty.computeDataWindow(hostkit::FrameAccess(frame.access()));
    EXPECT_EQ(beauty.dataWindow().min, Imath::V2i(1, 1));
    EXPECT_EQ(beauty.dataWindow().max, Imath::V2i(4, 3));

    // A buffer without lines holds no data.
    OpenEXRBuffer &raw = buffer("Raw Colour");
    raw.computeDataWindow(hostkit::FrameAccess(frame.access()));
    EXPECT_GT(raw.dataWindow().min.x, raw.dataWindow().max.x);

    // Depth: far away is empty.
    std::vector<float> z(20, 1e30f);
    z[7] = 3.0f;
    frame.set(LWBUF_DEPTH, z);
    OpenEXRBuffer &depth = buffer("Depth");
    depth.computeDataWindow(hostkit::FrameAccess(frame.access()));
    EXPECT_EQ(depth.dataWindow().min, Imath::V2i(2, 1));
    EXPECT_EQ(depth.dataWindow().max, Imath::V2i(2, 1));
}

} // namespace

namespace {

// The fast line conversion against OpenEXR's own, over float bit patterns
// spread across the whole range (normals, denormals, infinities, NaNs).
TEST(HalfConversion, LinesMatchOpenEXRsConversion)
{
    std::vector<float> in;
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFull; bits += 65521) {
        float f;
        const auto b = static_cast<std::uint32_t>(bits);
        std::memcpy(&f, &b, sizeof f);
        in.push_back(f);
    }
    for (float f : {65504.0f, 65510.0f, -65510.0f, 65520.0f, 65519.99f, 6.1035156e-05f, 5.9604645e-08f, 2.9802322e-08f,
                    -0.0f, 1.0009765625f, 1.00048828125f})
        in.push_back(f);
    std::vector<std::uint16_t> out(in.size());
    ravelcast::floatsToHalves(in.data(), out.data(), in.size());
    int mismatches = 0;
    for (std::size_t i = 0; i < in.size(); ++i) {
        const half want = Imf::floatToHalf(in[i]);
        if (std::isnan(in[i])) {
            half h;
            h.setBits(out[i]);
            EXPECT_TRUE(h.isNan()) << in[i];
            continue;
        }
        if (out[i] != want.bits() && ++mismatches < 10)
            ADD_FAILURE() << in[i] << ": " << out[i] << " instead of " << want.bits();
    }
    EXPECT_EQ(mismatches, 0);
    // Neutral processing in the same pass: sign x (v + 0).
    for (const float sign : {1.0f, -1.0f}) {
        ravelcast::signedHalves(in.data(), sign, out.data(), in.size());
        for (std::size_t i = 0; i < in.size(); ++i) {
            if (std::isnan(in[i]))
                continue;
            const half want = Imf::floatToHalf(sign * (in[i] + 0.0f));
            if (out[i] != want.bits() && ++mismatches < 10)
                ADD_FAILURE() << sign << " x " << in[i] << ": " << out[i] << " instead of "
                              << want.bits();
        }
    }
    EXPECT_EQ(mismatches, 0);
    std::cout << "hardware half conversion: " << ravelcast::hardwareHalfConversion() << "\n";
}

} // namespace

namespace {

// The arithmetic alone, as plain data: no host, no buffer.
TEST(ProcessingValue, ArithmeticWithoutAHost)
{
    ravelcast::Processing p;
    EXPECT_TRUE(p.identity());
    EXPECT_EQ(p.apply(0.25f, 0.5f, true), -0.25f);
    p.minimum = 2;
    p.maximum = 4;
    EXPECT_FALSE(p.identity());
    EXPECT_EQ(p.apply(0.5f, 1, false), 3.0f) << "0..1 onto Minimum..Maximum";
    p.unmultiply = true;
    EXPECT_EQ(p.apply(0.5f, 0.5f, false), 6.0f);
    p.inverseGamma = 0.5f;
    EXPECT_EQ(p.apply(0.5f, 1, false), std::sqrt(3.0f));
    // Depth maps a range onto 0..1, without un-multiplication or gamma.
    ravelcast::Processing depth;
    depth.depth = true;
    depth.minimum = 0;
    depth.maximum = 100;
    depth.unmultiply = true;
    depth.inverseGamma = 0.5f;
    EXPECT_EQ(depth.apply(25, 0.5f, false), 0.25f);
    depth.invert = true;
    EXPECT_EQ(depth.apply(25, 0.5f, true), -0.75f);
}

} // namespace
