// OpenEXR files written and read through the module's streams: the wording
// of failures (the library's own prefix, also when the stream cannot be
// made), and a full round trip checked with the library's own file access.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <Iex.h>
#include <ImfCheckFile.h>
#include <ImfChannelList.h>
#include <ImfChromaticitiesAttribute.h>
#include <ImfInputPart.h>
#include <ImfMultiPartInputFile.h>
#include <ImfOutputFile.h>
#include <ImfPartType.h>
#include <ImfThreading.h>
#include <openexr.h>
#include <ImfCompression.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfInputFile.h>
#include <ImfMatrixAttribute.h>
#include <ImfPreviewImageAttribute.h>
#include <ImfRationalAttribute.h>
#include <ImfRgba.h>
#include <ImfStringAttribute.h>
#include <ImfVecAttribute.h>
#include <half.h>

#include "StreamMessages.h"
#include "TestSupport.h"
#include "hostkit/utility/PlatformFile.h"
#include "exrio/ExrFiles.h"

using ravelcast::ExrInput;
using ravelcast::ExrLineOutput;
using ravelcast::ExrOutput;
using ravelcast::ExrRgbaInput;
using testsupport::TempDir;

namespace {

// The platform's text for a file in a folder that does not exist.
#if defined(_WIN32)
const std::string kNoFolderText = hostkit::PlatformFile::errorText(3); // ERROR_PATH_NOT_FOUND
#else
const std::string kNoFolderText = std::strerror(ENOENT);
#endif

Imf::Header smallHeader()
{
    Imf::Header header(16, 8);
    header.channels().insert("Y", Imf::Channel(Imf::HALF));
    return header;
}

// Pixels of one multi-channel image, deterministic and different per
// channel, row and column.
struct TestImage {
    static constexpr int kDisplayW = 64, kDisplayH = 48;
    Imath::Box2i window;
    int width() const { return window.max.x - window.min.x + 1; }
    int height() const { return window.max.y - window.min.y + 1; }

    std::vector<half> r, g, b, a;
    std::vector<float> z, nx, ny, nz;
    std::vector<unsigned int> id;

    explicit TestImage(const Imath::Box2i &w = Imath::Box2i(Imath::V2i(3, 2), Imath::V2i(60, 40)))
        : window(w)
    {
        const std::size_t n = static_cast<std::size_t>(width()) * height();
        for (auto *v : {&r, &g, &b, &a})
            v->resize(n);
        for (auto *v : {&z, &nx, &ny, &nz})
            v->resize(n);
        id.resize(n);
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(); ++x) {
                const std::size_t i = static_cast<std::size_t>(y) * width() + x;
                r[i] = half(x / 64.0f);
                g[i] = half(y / 48.0f);
                b[i] = half((x * y % 17) / 16.0f - 0.5f);
                a[i] = half(((x + y) % 5) / 4.0f);
                z[i] = 1.0f + x * 0.125f + y * 1000.0f;
                nx[i] = -1.0f + x / 30.0f;
                ny[i] = 0.001f * y * y;
                nz[i] = static_cast<float>(x - y) / 7.0f;
                id[i] = 0x10000u * static_cast<unsigned>(y) + static_cast<unsigned>(x) + 1u;
            }
    }

    Imf::Header header() const
    {
        Imf::Header h(Imath::Box2i(Imath::V2i(0, 0), Imath::V2i(kDisplayW - 1, kDisplayH - 1)),
                      window);
        h.compression() = Imf::ZIP_COMPRESSION;
        h.channels().insert("R", Imf::Channel(Imf::HALF));
        h.channels().insert("G", Imf::Channel(Imf::HALF));
        h.channels().insert("B", Imf::Channel(Imf::HALF));
        h.channels().insert("A", Imf::Channel(Imf::HALF));
        h.channels().insert("Z", Imf::Channel(Imf::FLOAT));
        h.channels().insert("normal.X", Imf::Channel(Imf::FLOAT));
        h.channels().insert("normal.Y", Imf::Channel(Imf::FLOAT));
        h.channels().insert("normal.Z", Imf::Channel(Imf::FLOAT));
        h.channels().insert("object.id", Imf::Channel(Imf::UINT));
        return h;
    }

    // Slices over vectors of this shape, placed for the data window.
    template <class T>
    Imf::Slice slice(Imf::PixelType type, std::vector<T> &v) const
    {
        const std::size_t xs = sizeof(T), ys = sizeof(T) * width();
        char *base = reinterpret_cast<char *>(v.data()) - window.min.x * xs - window.min.y * ys;
        return Imf::Slice(type, base, xs, ys);
    }

    Imf::FrameBuffer frameBuffer(TestImage &into) const
    {
        Imf::FrameBuffer fb;
        fb.insert("R", slice(Imf::HALF, into.r));
        fb.insert("G", slice(Imf::HALF, into.g));
        fb.insert("B", slice(Imf::HALF, into.b));
        fb.insert("A", slice(Imf::HALF, into.a));
        fb.insert("Z", slice(Imf::FLOAT, into.z));
        fb.insert("normal.X", slice(Imf::FLOAT, into.nx));
        fb.insert("normal.Y", slice(Imf::FLOAT, into.ny));
        fb.insert("normal.Z", slice(Imf::FLOAT, into.nz));
        fb.insert("object.id", slice(Imf::UINT, into.id));
        return fb;
    }

    void clear()
    {
        for (auto *v : {&r, &g, &b, &a})
            std::fill(v->begin(), v->end(), half(-9.0f));
        for (auto *v : {&z, &nx, &ny, &nz})
            std::fill(v->begin(), v->end(), -9.0f);
        std::fill(id.begin(), id.end(), 0xdeadu);
    }
};

// Every pixel of every channel, bit for bit.
void expectSamePixels(const TestImage &expected, const TestImage &got, const char *how)
{
    int mismatches = 0;
    for (std::size_t i = 0; i < expected.id.size() && mismatches < 10; ++i) {
        const bool same = expected.r[i].bits() == got.r[i].bits() &&
                          expected.g[i].bits() == got.g[i].bits() &&
                          expected.b[i].bits() == got.b[i].bits() &&
                          expected.a[i].bits() == got.a[i].bits() && expected.z[i] == got.z[i] &&
                          expected.nx[i] == got.nx[i] && expected.ny[i] == got.ny[i] &&
                          expected.nz[i] == got.nz[i] && expected.id[i] == got.id[i];
        if (!same) {
            ++mismatches;
            ADD_FAILURE() << how << ": pixel " << i << " differs";
        }
    }
}

void readAll(Imf::InputFile &file, const TestImage &shape, TestImage &into)
{
    file.setFrameBuffer(shape.frameBuffer(into));
    file.readPixels(shape.window.min.y, shape.window.max.y);
}

} // namespace

TEST(ExrFiles, MissingInputReadsLikeTheLibrary)
{
    TempDir dir;
    const std::string missing = dir.file("missing.exr");
    const std::string expected = "Cannot read image file \"" + missing + "\". File does not exist.";
    EXPECT_EQ(inputExcMessage([&] { ExrInput in(missing); }), expected);
    EXPECT_EQ(inputExcMessage([&] { ExrRgbaInput in(missing); }), expected);

    // A failure inside the library reads the same way.
    const std::string junk = dir.file("junk.exr");
    testsupport::writeFile(junk, "this is not an image, only some text");
    const std::string prefix = "Cannot read image file \"" + junk + "\". ";
    EXPECT_EQ(inputExcMessage([&] { ExrInput in(junk); }).rfind(prefix, 0), 0u);
    EXPECT_EQ(inputExcMessage([&] { ExrRgbaInput in(junk); }).rfind(prefix, 0), 0u);

    // A file cut inside its header reaches the end too early: the library
    // passes the stream's message on behind its prefix.
    const std::string whole = dir.file("whole.exr");
    {
        ExrOutput out(whole, smallHeader());
        out.close();
    }
    const std::string cut = dir.file("cut.exr");
    testsupport::writeFile(cut, testsupport::readFile(whole).substr(0, 40));
    EXPECT_EQ(inputExcMessage([&] { ExrInput in(cut); }),
              "Cannot read image file \"" + cut +
                  "\". Win32IFStream::read() failed with error: unexpected end of file");
}

TEST(ExrFiles, OutputFailuresReadLikeTheLibrary)
{
    TempDir dir;
    const std::string inMissingFolder = (dir.path() / "absent" / "frame.exr").string();
    EXPECT_EQ(inputExcMessage([&] { ExrOutput out(inMissingFolder, smallHeader()); }),
              "Cannot open image file \"" + inMissingFolder +
                  "\". Win32OFStream::Win32OFStream() failed with error: " + kNoFolderText);

#if !defined(_WIN32)
    // The stream opens but its first write fails inside the library.
    EXPECT_EQ(inputExcMessage([&] { ExrOutput out("/dev/full", smallHeader()); }),
              std::string("Cannot open image file \"/dev/full\". Win32OFStream::write() failed "
                          "with error: ") +
                  std::strerror(ENOSPC));
#endif
}

TEST(ExrFiles, CloseFinishesTheFileOnce)
{
    TempDir dir;
    const std::string path = dir.file("closed.exr");
    ExrOutput out(path, smallHeader());
    EXPECT_EQ(out.fileName(), path);
    std::vector<half> y(16 * 8, half(0.75f));
    Imf::FrameBuffer fb;
    fb.insert("Y", Imf::Slice(Imf::HALF, reinterpret_cast<char *>(y.data()), sizeof(half),
                              16 * sizeof(half)));
    out.file().setFrameBuffer(fb);
    out.file().writePixels(8);
    EXPECT_NO_THROW(out.close());
    EXPECT_THROW(out.file(), Iex::LogicExc);
    EXPECT_NO_THROW(out.close());

    // Closed means finished: the library finds every line.
    Imf::InputFile check(path.c_str());
    EXPECT_TRUE(check.isComplete());
    std::vector<half> back(16 * 8, half(0.0f));
    Imf::FrameBuffer in;
    in.insert("Y", Imf::Slice(Imf::HALF, reinterpret_cast<char *>(back.data()), sizeof(half),
                              16 * sizeof(half)));
    check.setFrameBuffer(in);
    check.readPixels(0, 7);
    for (const half &h : back)
        EXPECT_EQ(float(h), 0.75f);
}

TEST(ExrFiles, MultiChannelRoundTrip)
{
    TempDir dir;
    const std::string path = dir.file("round trip.exr");
    // Whatever was there before is replaced.
    testsupport::writeFile(path, std::string(100000, 'j'));

    TestImage image;
    {
        ExrOutput out(path, image.header());
        out.file().setFrameBuffer(image.frameBuffer(image));
        // In uneven steps, as a writer that sends a few rows at a time.
        int left = image.height();
        for (int step = 1; left > 0; step = step % 7 + 2) {
            const int rows = std::min(step, left);
            out.file().writePixels(rows);
            left -= rows;
        }
        out.close();
    }

    // Read with the library's own file access, not through our stream.
    {
        Imf::InputFile file(path.c_str());
        const Imf::Header &h = file.header();
        EXPECT_EQ(h.dataWindow(), image.window);
        EXPECT_EQ(h.displayWindow().max, Imath::V2i(63, 47));
        EXPECT_EQ(h.compression(), Imf::ZIP_COMPRESSION);
        std::vector<std::string> names;
        for (auto c = h.channels().begin(); c != h.channels().end(); ++c)
            names.push_back(c.name());
        EXPECT_EQ(names, (std::vector<std::string>{"A", "B", "G", "R", "Z", "normal.X",
                                                    "normal.Y", "normal.Z", "object.id"}));
        EXPECT_EQ(h.channels().findChannel("object.id")->type, Imf::UINT);
        EXPECT_EQ(h.channels().findChannel("Z")->type, Imf::FLOAT);
        EXPECT_EQ(h.channels().findChannel("R")->type, Imf::HALF);
        EXPECT_TRUE(file.isComplete());
        TestImage got;
        got.clear();
        readAll(file, image, got);
        expectSamePixels(image, got, "library reader");
    }

    // And through our input stream.
    {
        ExrInput in(path);
        EXPECT_EQ(in.fileName(), path);
        EXPECT_STREQ(in.file().fileName(), path.c_str());
        TestImage got;
        got.clear();
        readAll(in.file(), image, got);
        expectSamePixels(image, got, "module reader");
    }

    // As RGBA, as the loader reads.
    {
        ExrRgbaInput in(path);
        EXPECT_EQ(in.file().dataWindow(), image.window);
        const int w = image.width();
        std::vector<Imf::Rgba> row(static_cast<std::size_t>(w));
        int mismatches = 0;
        for (int y = image.window.min.y; y <= image.window.max.y; ++y) {
            in.file().setFrameBuffer(row.data() - image.window.min.x, 1, 0);
            in.file().readPixels(y);
            for (int x = 0; x < w && mismatches < 10; ++x) {
                const std::size_t i = static_cast<std::size_t>(y - image.window.min.y) * w + x;
                const Imf::Rgba &p = row[x];
                if (p.r.bits() != image.r[i].bits() || p.g.bits() != image.g[i].bits() ||
                    p.b.bits() != image.b[i].bits() || p.a.bits() != image.a[i].bits()) {
                    ++mismatches;
                    ADD_FAILURE() << "RGBA pixel (" << x << ", " << y << ") differs";
                }
            }
        }
    }
}

TEST(ExrFiles, PackedLinesRoundTripWithTheirAttributes)
{
    TempDir dir;
    const std::string path = dir.file("lines.exr");
    testsupport::writeFile(path, "an older file, replaced");
    TestImage image;
    Imf::Header header = image.header();
    header.compression() = Imf::NO_COMPRESSION;
    // A name beyond 31 bytes needs the long-names flag.
    const std::string longName = "a_layer_name_longer_than_31_bytes.Z";
    header.channels().insert(longName, Imf::Channel(Imf::FLOAT));
    header.insert("comments", Imf::StringAttribute("take 3"));
    header.insert("framesPerSecond", Imf::RationalAttribute(Imf::Rational(24000, 1001)));
    Imf::PreviewImage preview(4, 2);
    preview.pixel(3, 1).g = 200;
    header.insert("preview", Imf::PreviewImageAttribute(preview));
    // The compositor's camera matrices and primaries.
    Imath::M44f toCamera;
    for (int i = 0; i < 16; ++i)
        toCamera[i / 4][i % 4] = 0.25f * static_cast<float>(i) - 1.5f;
    header.insert("worldToCamera", Imf::M44fAttribute(toCamera));
    const Imf::Chromaticities p3(Imath::V2f(0.68f, 0.32f), Imath::V2f(0.265f, 0.69f),
                                 Imath::V2f(0.15f, 0.06f), Imath::V2f(0.3127f, 0.329f));
    header.insert("chromaticities", Imf::ChromaticitiesAttribute(p3));
    ASSERT_TRUE(ExrLineOutput::carries(header));
    {
        ExrLineOutput out(path, header);
        const int w = image.width();
        std::vector<unsigned char> line(out.lineBytes());
        auto put = [&](const char *name, const void *row, std::size_t bytes) {
            std::memcpy(line.data() + out.channelOffset(name), row, bytes * w);
        };
        for (int y = 0; y < image.height(); ++y) {
            const std::size_t i = static_cast<std::size_t>(y) * w;
            put("R", &image.r[i], 2), put("G", &image.g[i], 2), put("B", &image.b[i], 2);
            put("A", &image.a[i], 2), put("Z", &image.z[i], 4), put("normal.X", &image.nx[i], 4);
            put("normal.Y", &image.ny[i], 4), put("normal.Z", &image.nz[i], 4);
            put("object.id", &image.id[i], 4), put(longName.c_str(), &image.z[i], 4);
            out.writeLine(image.window.min.y + y, line.data());
        }
        out.close();
    }
    EXPECT_EQ(testsupport::namesIn(dir.path().string()), std::vector<std::string>{"lines.exr"}) << "no temporary is left";

    Imf::InputFile file(path.c_str());
    const Imf::Header &h = file.header();
    EXPECT_EQ(h.dataWindow(), image.window);
    EXPECT_EQ(h.displayWindow(), header.displayWindow());
    EXPECT_EQ(h.compression(), Imf::NO_COMPRESSION);
    EXPECT_EQ(h.typedAttribute<Imf::StringAttribute>("comments").value(), "take 3");
    EXPECT_EQ(h.typedAttribute<Imf::RationalAttribute>("framesPerSecond").value().d, 1001u);
    const Imf::PreviewImage &back = h.typedAttribute<Imf::PreviewImageAttribute>("preview").value();
    EXPECT_EQ(back.width(), 4u);
    EXPECT_EQ(back.pixel(3, 1).g, 200);
    EXPECT_EQ(h.typedAttribute<Imf::M44fAttribute>("worldToCamera").value(), toCamera);
    const Imf::Chromaticities &primaries = h.typedAttribute<Imf::ChromaticitiesAttribute>("chromaticities").value();
    EXPECT_EQ(primaries.red, p3.red);
    EXPECT_EQ(primaries.green, p3.green);
    EXPECT_EQ(primaries.blue, p3.blue);
    EXPECT_EQ(primaries.white, p3.white);
    EXPECT_TRUE(file.isComplete());
    TestImage got;
    got.clear();
    Imf::FrameBuffer fb = image.frameBuffer(got);
    std::vector<float> longValues(image.z.size(), -1.0f);
    fb.insert(longName, image.slice(Imf::FLOAT, longValues));
    file.setFrameBuffer(fb);
    file.readPixels(image.window.min.y, image.window.max.y);
    expectSamePixels(image, got, "packed lines");
    EXPECT_EQ(longValues, image.z);

    // Only what it carries: other compressions and attribute kinds go
    // through the library's frame buffers.
    Imf::Header piz = header;
    piz.compression() = Imf::PIZ_COMPRESSION;
    EXPECT_FALSE(ExrLineOutput::carries(piz));
    Imf::Header vector = header;
    vector.insert("origin", Imf::V3fAttribute(Imath::V3f(1, 2, 3)));
    EXPECT_FALSE(ExrLineOutput::carries(vector));

    // Failures read as the library's do.
    const std::string inMissingFolder = (dir.path() / "absent" / "frame.exr").string();
    EXPECT_EQ(inputExcMessage([&] { ExrLineOutput out(inMissingFolder, smallHeader()); }),
              "Cannot open image file \"" + inMissingFolder +
                  "\". Win32OFStream::Win32OFStream() failed with error: " + kNoFolderText);
    Imf::Header small = smallHeader();
    small.compression() = Imf::NO_COMPRESSION;
#if !defined(_WIN32)
    EXPECT_EQ(inputExcMessage([&] { ExrLineOutput out("/dev/full", small); }),
              std::string("Cannot open image file \"/dev/full\". Win32OFStream::write() failed "
                          "with error: ") +
                  std::strerror(ENOSPC));
#endif
    // What the core itself refuses comes back in its words, and the partial
    // file goes.
    Imf::Header refused = small;
    refused.pixelAspectRatio() = -1.0f;
    const std::string target = dir.file("refused.exr");
    const std::string message = inputExcMessage([&] { ExrLineOutput out(target, refused); });
    EXPECT_EQ(message.rfind("Cannot open image file \"" + target + "\". ", 0), 0u) << message;
    EXPECT_NE(message.find("pixel aspect ratio"), std::string::npos) << message;
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_EQ(testsupport::namesIn(dir.path().string()), std::vector<std::string>{"lines.exr"}) << "no temporary is left";
}

namespace {

// Rows whose every value is noise: chunks of them do not get smaller.
void scramble(TestImage &image, int rows)
{
    std::uint32_t state = 0x9e3779b9u;
    const auto next = [&] {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        return state;
    };
    const std::size_t n = static_cast<std::size_t>(rows) * image.width();
    for (std::size_t i = 0; i < n; ++i) {
        // No NaN: values are compared as numbers. A clear top exponent bit
        // keeps them finite.
        for (auto *v : {&image.r, &image.g, &image.b, &image.a})
            (*v)[i].setBits(static_cast<unsigned short>(next() & 0xbfffu));
        for (auto *v : {&image.z, &image.nx, &image.ny, &image.nz}) {
            const std::uint32_t bits = next() & 0xbfffffffu;
            std::memcpy(&(*v)[i], &bits, 4);
        }
        image.id[i] = next();
    }
}

// Every line of the image packed as the file holds it, one after the other.
std::vector<unsigned char> packed(const TestImage &image, const ExrLineOutput &out, int part = 0)
{
    const std::size_t w = static_cast<std::size_t>(image.width()), lineBytes = out.lineBytes(part);
    std::vector<unsigned char> lines(lineBytes * image.height());
    for (int y = 0; y < image.height(); ++y) {
        unsigned char *line = lines.data() + lineBytes * y;
        const std::size_t i = static_cast<std::size_t>(y) * w;
        const auto put = [&](const char *name, const void *row, std::size_t bytes) {
            std::memcpy(line + out.channelOffset(name, part), row, bytes * w);
        };
        put("R", &image.r[i], 2), put("G", &image.g[i], 2), put("B", &image.b[i], 2);
        put("A", &image.a[i], 2), put("Z", &image.z[i], 4), put("normal.X", &image.nx[i], 4);
        put("normal.Y", &image.ny[i], 4), put("normal.Z", &image.nz[i], 4);
        put("object.id", &image.id[i], 4);
    }
    return lines;
}

// The packed lines handed over in uneven runs (a single line, a few, then
// bands), so chunks are made both from the caller's lines and from lines
// kept until their chunk is whole.
void writeInRuns(ExrLineOutput &out, int part, const TestImage &image,
                 const std::vector<unsigned char> &lines)
{
    const std::size_t lineBytes = out.lineBytes(part);
    int y = 0;
    for (const int run : {1, 4, 11}) {
        out.writeLines(part, image.window.min.y + y, run, lines.data() + lineBytes * y);
        y += run;
    }
    while (y < image.height()) {
        const int run = std::min(out.bandLines(part), image.height() - y);
        out.writeLines(part, image.window.min.y + y, run, lines.data() + lineBytes * y);
        y += run;
    }
}

// The stored and the packed size of the chunk holding line y, from the
// file's own chunk table.
std::pair<std::uint64_t, std::uint64_t> chunkSizes(const std::string &path, int part, int y)
{
    exr_context_t c = nullptr;
    exr_chunk_info_t info{};
    std::pair<std::uint64_t, std::uint64_t> sizes{0, 0};
    if (exr_start_read(&c, path.c_str(), nullptr) == EXR_ERR_SUCCESS &&
        exr_read_scanline_chunk_info(c, part, y, &info) == EXR_ERR_SUCCESS)
        sizes = {info.packed_size, info.unpacked_size};
    exr_finish(&c);
    return sizes;
}

void expectAccepted(const std::string &path)
{
    EXPECT_FALSE(Imf::checkOpenEXRFile(path.c_str())) << path << ": the library's check";
    if (!testsupport::kIndependentReaders)
        return;
    std::string output;
    EXPECT_EQ(testsupport::run("exrheader '" + path + "' >/dev/null", &output), 0) << output;
    ASSERT_TRUE(testsupport::haveProgram("oiiotool", "openimageio-tools"));
    EXPECT_EQ(testsupport::run("oiiotool --stats '" + path + "' >/dev/null", &output), 0) << output;
}

} // namespace

TEST(ExrFiles, ZipChunksReadBackAsTheLibrarysOwn)
{
    TempDir dir;
    for (const int threads : {0, 2}) {
        Imf::setGlobalThreadCount(threads);
        for (const Imf::Compression compression : {Imf::ZIPS_COMPRESSION, Imf::ZIP_COMPRESSION}) {
            SCOPED_TRACE("compression " + std::to_string(compression) + ", threads " +
                         std::to_string(threads));
            // An odd width, a window away from the origin, 39 lines (the
            // last ZIP chunk has 7), and a first chunk of noise.
            TestImage image(Imath::Box2i(Imath::V2i(3, 2), Imath::V2i(61, 40)));
            scramble(image, 16);
            Imf::Header header = image.header();
            header.compression() = compression;
            header.insert("comments", Imf::StringAttribute("zip chunks"));
            ASSERT_TRUE(ExrLineOutput::carries(header));
            const std::string ours = dir.file("ours.exr"), theirs = dir.file("theirs.exr");
            {
                ExrLineOutput out(ours, header);
                const std::vector<unsigned char> lines = packed(image, out);
                writeInRuns(out, 0, image, lines);
                out.close();
            }
            {
                Imf::OutputFile lib(theirs.c_str(), header);
                TestImage values = image;
                lib.setFrameBuffer(image.frameBuffer(values));
                lib.writePixels(image.height());
            }
            expectAccepted(ours);
            TestImage got(image.window), fromLibrary(image.window);
            got.clear();
            fromLibrary.clear();
            {
                Imf::InputFile file(ours.c_str());
                EXPECT_EQ(file.header().compression(), compression);
                EXPECT_EQ(file.header().typedAttribute<Imf::StringAttribute>("comments").value(),
                          "zip chunks");
                EXPECT_TRUE(file.isComplete());
                readAll(file, image, got);
                Imf::InputFile lib(theirs.c_str());
                readAll(lib, image, fromLibrary);
            }
            expectSamePixels(image, got, "our chunks");
            expectSamePixels(fromLibrary, got, "our chunks against the library's file");
            // Noise is stored as it came, the rest compressed.
            const auto noise = chunkSizes(ours, 0, image.window.min.y);
            EXPECT_GT(noise.second, 0u);
            EXPECT_EQ(noise.first, noise.second);
            const auto smooth = chunkSizes(ours, 0, image.window.max.y);
            EXPECT_LT(smooth.first, smooth.second);
            EXPECT_GT(smooth.first, 0u);
        }

        // Two parts, each by its own compression, written one after the other.
        SCOPED_TRACE("multi-part, threads " + std::to_string(threads));
        TestImage image;
        scramble(image, 3);
        std::vector<Imf::Header> parts(2, image.header());
        parts[0].compression() = Imf::ZIP_COMPRESSION;
        parts[0].setName("Base");
        parts[1].compression() = Imf::ZIPS_COMPRESSION;
        parts[1].setName("second");
        for (Imf::Header &h : parts) {
            h.setType(Imf::SCANLINEIMAGE);
            h.insert("comments", Imf::StringAttribute("part " + h.name()));
        }
        ASSERT_TRUE(ExrLineOutput::carries(parts));
        const std::string multi = dir.file("parts.exr");
        {
            ExrLineOutput out(multi, parts);
            const std::vector<unsigned char> first = packed(image, out, 0),
                                             second = packed(image, out, 1);
            writeInRuns(out, 0, image, first);
            writeInRuns(out, 1, image, second);
            // Lines out of order are refused.
            EXPECT_THROW(out.writeLines(0, image.window.min.y, 1, first.data()), Iex::ArgExc);
            out.close();
        }
        expectAccepted(multi);
        Imf::MultiPartInputFile file(multi.c_str());
        ASSERT_EQ(file.parts(), 2);
        for (int p = 0; p < 2; ++p) {
            Imf::InputPart part(file, p);
            EXPECT_EQ(part.header().name(), parts[static_cast<std::size_t>(p)].name());
            EXPECT_EQ(part.header().compression(), parts[static_cast<std::size_t>(p)].compression());
            EXPECT_EQ(part.header().typedAttribute<Imf::StringAttribute>("comments").value(),
                      "part " + part.header().name());
            TestImage got;
            got.clear();
            part.setFrameBuffer(image.frameBuffer(got));
            part.readPixels(image.window.min.y, image.window.max.y);
            expectSamePixels(image, got, "a part of our chunks");
        }

        // A file some of whose lines never came is not kept.
        const std::string partial = dir.file("partial.exr");
        {
            ExrLineOutput out(partial, image.header());
            const std::vector<unsigned char> lines = packed(image, out);
            out.writeLines(0, image.window.min.y, 20, lines.data());
            EXPECT_THROW(out.close(), Iex::LogicExc);
        }
        EXPECT_FALSE(std::filesystem::exists(partial));
    }
    Imf::setGlobalThreadCount(0);
}

namespace {

// The bytes a chunk's compression is handed (after the byte reordering and
// the predictor), turned back into the packed lines that give them.
std::vector<unsigned char> linesGiving(const std::vector<unsigned char> &predicted)
{
    const std::size_t n = predicted.size(), lows = (n + 1) / 2;
    std::vector<unsigned char> reordered(n), lines(n);
    for (std::size_t i = 0; i < n; ++i)
        reordered[i] = static_cast<unsigned char>(i ? reordered[i - 1] + predicted[i] - 128 : predicted[0]);
    for (std::size_t i = 0; i < n; ++i)
        lines[i] = i % 2 ? reordered[lows + i / 2] : reordered[i / 2];
    return lines;
}

// What a chunk's compression is handed, of one of six kinds: bytes whose
// frequencies fall by the golden ratio (long codes, and codes of the code
// lengths deeper than DEFLATE allows until shortened), runs of every length
// around and beyond the longest match, noise amid runs, a stretch repeated
// just inside and just beyond the farthest distance, a small alphabet
// (matches at every distance), and noise alone.
std::vector<unsigned char> chunkBytes(int kind, std::size_t n, std::uint32_t &state)
{
    const auto next = [&] {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        return state;
    };
    std::vector<unsigned char> d;
    d.reserve(n);
    switch (kind) {
    case 0:
        while (d.size() < n) {
            int symbol = 0;
            while (symbol < 40 && next() % 1000 < 618)
                ++symbol;
            d.push_back(static_cast<unsigned char>(symbol * 5));
        }
        break;
    case 1:
        for (int len = 1; d.size() < n; len = len % 1100 + 1 + len / 7)
            d.insert(d.end(), static_cast<std::size_t>(len), static_cast<unsigned char>(next()));
        break;
    case 2:
        while (d.size() < n) {
            d.insert(d.end(), 3000, 128);
            for (int i = 0; i < 5000; ++i)
                d.push_back(static_cast<unsigned char>(next()));
        }
        break;
    case 3: {
        std::vector<unsigned char> stretch(2000);
        for (unsigned char &b : stretch)
            b = static_cast<unsigned char>(next());
        for (const std::size_t distance : {32767u, 32768u, 32769u}) {
            const std::size_t from = d.size();
            d.insert(d.end(), stretch.begin(), stretch.end());
            while (d.size() < from + distance)
                d.push_back(static_cast<unsigned char>(128 + next() % 3));
            d.insert(d.end(), stretch.begin(), stretch.end());
        }
        break;
    }
    case 4:
        while (d.size() < n)
            d.push_back(static_cast<unsigned char>("ACGT"[next() % 4]));
        break;
    default:
        while (d.size() < n)
            d.push_back(static_cast<unsigned char>(next()));
    }
    d.resize(n, 128);
    return d;
}

} // namespace

TEST(ExrFiles, ZipChunksOfEveryKindOfBytesReadBackBitExact)
{
    TempDir dir;
    // Half values of one channel, a line of 8 KiB: a ZIP chunk is 128 KiB,
    // beyond DEFLATE's window; the last one has 5 lines.
    const int width = 4096, height = 6 * 16 + 5;
    Imf::Header header(width, height);
    header.channels().insert("Y", Imf::Channel(Imf::HALF));
    for (const int threads : {0, 2}) {
        Imf::setGlobalThreadCount(threads);
        for (const Imf::Compression compression : {Imf::ZIPS_COMPRESSION, Imf::ZIP_COMPRESSION}) {
            SCOPED_TRACE("compression " + std::to_string(compression) + ", threads " +
                         std::to_string(threads));
            header.compression() = compression;
            const std::size_t lineBytes = 2 * static_cast<std::size_t>(width);
            const int chunkLines = compression == Imf::ZIP_COMPRESSION ? 16 : 1;
            std::vector<unsigned char> lines;
            std::vector<int> kinds;
            std::uint32_t state = 0x2545f491u;
            for (int y = 0; y < height; y += chunkLines) {
                const int rows = std::min(chunkLines, height - y);
                const int kind = (y / chunkLines) % 6;
                const std::vector<unsigned char> chunk =
                    linesGiving(chunkBytes(kind, lineBytes * static_cast<std::size_t>(rows), state));
                lines.insert(lines.end(), chunk.begin(), chunk.end());
                kinds.push_back(kind);
            }
            const std::string path = dir.file("kinds.exr");
            {
                ExrLineOutput out(path, header);
                ASSERT_EQ(out.lineBytes(), lineBytes);
                for (int y = 0; y < height; y += out.bandLines(0)) {
                    const int rows = std::min(out.bandLines(0), height - y);
                    out.writeLines(0, y, rows, lines.data() + lineBytes * static_cast<std::size_t>(y));
                }
                out.close();
            }
            expectAccepted(path);
            std::vector<unsigned char> back(lines.size(), 0);
            Imf::InputFile file(path.c_str());
            Imf::FrameBuffer fb;
            fb.insert("Y", Imf::Slice(Imf::HALF, reinterpret_cast<char *>(back.data()), 2, lineBytes));
            file.setFrameBuffer(fb);
            file.readPixels(0, height - 1);
            EXPECT_TRUE(back == lines) << "the values read back differ";
            // Noise alone is stored; every other kind is compressed.
            for (std::size_t c = 0; c < kinds.size(); ++c) {
                const auto sizes = chunkSizes(path, 0, static_cast<int>(c) * chunkLines);
                if (kinds[c] == 5)
                    EXPECT_EQ(sizes.first, sizes.second) << "chunk " << c;
                else
                    EXPECT_LT(sizes.first, sizes.second) << "chunk " << c;
            }
        }
    }
    Imf::setGlobalThreadCount(0);
}
