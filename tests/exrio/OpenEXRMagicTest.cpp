// The loader's question "is this an OpenEXR file, and is it tiled?", asked
// of files the OpenEXR library wrote itself and of files that only look
// like one.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <ImfChannelList.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfOutputFile.h>
#include <ImfTileDescription.h>
#include <ImfTiledOutputFile.h>

#include "TestSupport.h"
#include "exrio/OpenEXRMagic.h"

using ravelcast::isOpenEXRFile;
using testsupport::TempDir;

namespace {

void writeScanLineFile(const std::string &path)
{
    Imf::Header header(8, 4);
    header.channels().insert("Y", Imf::Channel(Imf::FLOAT));
    std::vector<float> pixels(8 * 4, 0.5f);
    Imf::FrameBuffer fb;
    fb.insert("Y", Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(pixels.data()),
                              sizeof(float), 8 * sizeof(float)));
    Imf::OutputFile file(path.c_str(), header);
    file.setFrameBuffer(fb);
    file.writePixels(4);
}

void writeTiledFile(const std::string &path)
{
    Imf::Header header(8, 4);
    header.channels().insert("Y", Imf::Channel(Imf::FLOAT));
    header.setTileDescription(Imf::TileDescription(4, 4, Imf::ONE_LEVEL));
    std::vector<float> pixels(8 * 4, 0.25f);
    Imf::FrameBuffer fb;
    fb.insert("Y", Imf::Slice(Imf::FLOAT, reinterpret_cast<char *>(pixels.data()),
                              sizeof(float), 8 * sizeof(float)));
    Imf::TiledOutputFile file(path.c_str(), header);
    file.setFrameBuffer(fb);
    file.writeTiles(0, file.numXTiles() - 1, 0, file.numYTiles() - 1);
}

// Sets or clears bits in one byte of a file.
void patchByte(const std::string &path, std::size_t at, unsigned char set, unsigned char clear)
{
    std::string bytes = testsupport::readFile(path);
    ASSERT_GT(bytes.size(), at);
    bytes[at] = static_cast<char>((static_cast<unsigned char>(bytes[at]) | set) & ~clear);
    testsupport::writeFile(path, bytes);
}

// Answer and tiled flag, with the flag set beforehand to see it reset.
std::pair<bool, bool> ask(const std::string &path)
{
    bool tiled = true;
    const bool exr = isOpenEXRFile(path, &tiled);
    return {exr, tiled};
}

} // namespace

TEST(OpenEXRMagic, RefusesWhatIsNoOpenEXRFile)
{
    TempDir dir;
    EXPECT_EQ(ask(dir.file("missing.exr")), std::make_pair(false, false));
    EXPECT_EQ(ask(dir.path().string()), std::make_pair(false, false));

    const std::string empty = dir.file("empty.exr");
    testsupport::writeFile(empty, "");
    EXPECT_EQ(ask(empty), std::make_pair(false, false));

    // The magic number stored big-endian is not the magic number.
    const std::string swapped = dir.file("swapped.exr");
    testsupport::writeFile(swapped, std::string("\x01\x31\x2f\x76\x02\x02\x00\x00", 8));
    EXPECT_EQ(ask(swapped), std::make_pair(false, false));

    // A PNG signature.
    const std::string png = dir.file("image.exr");
    testsupport::writeFile(png, std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    EXPECT_EQ(ask(png), std::make_pair(false, false));

    // The magic number alone, without a version field.
    const std::string cut = dir.file("cut.exr");
    testsupport::writeFile(cut, std::string("\x76\x2f\x31\x01", 4));
    EXPECT_EQ(ask(cut), std::make_pair(false, false));

    // The tiled flag is only an out value.
    EXPECT_FALSE(isOpenEXRFile(swapped));
}

TEST(OpenEXRMagic, RecognisesFilesAndTheTiledBit)
{
    TempDir dir;
    const std::string scan = dir.file("scan.exr");
    writeScanLineFile(scan);
    EXPECT_EQ(ask(scan), std::make_pair(true, false));
    EXPECT_TRUE(isOpenEXRFile(scan));

    const std::string tiled = dir.file("tiled.exr");
    writeTiledFile(tiled);
    EXPECT_EQ(ask(tiled), std::make_pair(true, true));

    // Bit 0x200 of the little-endian version field lives in byte 5, bit 1.
    patchByte(scan, 5, 0x02, 0);
    EXPECT_EQ(ask(scan), std::make_pair(true, true));
    patchByte(tiled, 5, 0, 0x02);
    EXPECT_EQ(ask(tiled), std::make_pair(true, false));
    // Neighbouring flags (long names 0x400, non-image 0x800) are not "tiled".
    patchByte(tiled, 5, 0x0c, 0);
    EXPECT_EQ(ask(tiled), std::make_pair(true, false));

    // Exactly magic and version, nothing else, is enough for the test.
    const std::string bare = dir.file("bare.exr");
    testsupport::writeFile(bare, std::string("\x76\x2f\x31\x01\x02\x02\x00\x00", 8));
    EXPECT_EQ(ask(bare), std::make_pair(true, true));
}
