// The loader on a corpus of damaged and hostile files (tests/data/damaged,
// made by tests/data/make_damaged_exr.py): each ends in a result code or
// the two-line error message, never in a crash, a hang, a leak or an
// allocation the header merely claims; a begun image is always handed
// back.
#include <filesystem>

#include "ImageIOTest.h"
#include "exrio/ExrHeaderScan.h"
#include "exrio/ExrLayout.h"
#include "exrio/FileInputStream.h"

namespace {

constexpr int kMessage = -1; // the two-line error instead of a code

struct Expectation {
    const char *file;
    int result; // a result code, or kMessage
    const char *cause = ""; // part of the error's second line
};

const Expectation kCorpus[] = {
    {"valid_small.exr", IPSTAT_OK},
    {"data_outside_display.exr", IPSTAT_OK},
    {"data_around_display.exr", IPSTAT_OK},
    {"zero_length.exr", IPSTAT_NOREC},
    {"magic_only.exr", IPSTAT_NOREC},
    {"wrong_magic.exr", IPSTAT_NOREC},
    {"png_signature.exr", IPSTAT_NOREC},
    {"truncated_header.exr", kMessage, "the file ends inside"},
    {"header_without_end.exr", kMessage, "the file ends inside"},
    {"truncated_offsets.exr", IPSTAT_BADFILE},
    {"missing_scanlines.exr", IPSTAT_BADFILE},
    {"zeroed_offsets.exr", IPSTAT_BADFILE},
    {"offset_past_end.exr", IPSTAT_BADFILE},
    {"billion_rows.exr", IPSTAT_BADFILE},
    {"billion_rows_piz.exr", IPSTAT_BADFILE},
    {"tiny_tiles.exr", IPSTAT_BADFILE},
    {"mipmap_tiles.exr", IPSTAT_BADFILE},
    {"multipart_chunk_count.exr", IPSTAT_BADFILE},
    {"huge_width.exr", kMessage, "too large to load"},
    {"huge_display.exr", kMessage, "too large to load"},
    {"huge_display_area.exr", kMessage,
     "(0, 0) - (65535, 65535) has 4294967296 pixels, more than the 67108864 an image may have "
     "(set RAVELCAST_MAX_IMAGE_PIXELS to allow more)."},
    {"huge_tiles.exr", kMessage, "too large to load"},
    {"overflowing_window.exr", kMessage, "too large to load"},
    {"inverted_window.exr", kMessage, "is empty"},
    {"empty_display.exr", kMessage, "is empty"},
    {"zero_tiles.exr", kMessage, "its tiles are 0 x 0 pixels"},
    {"tiled_without_tiles.exr", kMessage, "no tile description"},
    {"huge_attribute.exr", kMessage, "claims 2147483647 bytes"},
    {"negative_attribute_size.exr", kMessage, "negative size"},
    {"huge_preview.exr", kMessage, "preview image"},
    {"huge_stringvector.exr", kMessage, "more than the attribute holds"},
    {"long_name.exr", kMessage, "longer than 255 characters"},
    {"wrong_window_type.exr", kMessage, "instead of \"box2i\""},
    {"bad_channel_list.exr", kMessage, "shorter than it claims"},
    {"foreign_channel_list.exr", kMessage, "\"layers\" is shorter than it claims"},
    {"no_windows.exr", kMessage, "it has no data window"},
    {"version_three.exr", kMessage, "file format version 3"},
    {"unknown_flags.exr", kMessage, "unknown flags"},
    {"deep_flag.exr", kMessage, "deep data"},
    {"multipart_negative_chunks.exr", kMessage, "claims -1 chunks"},
    // Damage inside complete tables is found by the library while reading.
    {"huge_chunk_size.exr", IPSTAT_BADFILE},
    {"wrong_chunk_row.exr", kMessage, ""},
};

class DamagedFilesTest : public imageio::ImageIOTest {};

TEST_F(DamagedFilesTest, EveryFileEndsInACodeOrTheErrorMessage)
{
    std::size_t listed = 0;
    for (const Expectation &e : kCorpus) {
        const std::string path = testsupport::dataPath(std::string("damaged/") + e.file);
        SCOPED_TRACE(e.file);
        ASSERT_TRUE(std::filesystem::exists(path));
        ++listed;
        host().messages().clear();
        devhost::ImageLoading loading(host());
        const devhost::LoadedImage img = loading.loadWith("LW_OpenEXR", path);
        ASSERT_EQ(img.attempts.size(), 1u);
        const auto errors = messages(devhost::Message::Error);
        if (e.result == kMessage) {
            EXPECT_EQ(img.attempts[0].activation, AFUNC_BADAPP_SILENT);
            EXPECT_EQ(img.result, IPSTAT_FAILED);
            ASSERT_EQ(errors.size(), 1u);
            const std::string first = "An exception occured when attempting to load an image:|";
            EXPECT_EQ(errors[0].rfind(first, 0), 0u) << errors[0];
            const std::string second = errors[0].substr(first.size());
            EXPECT_NE(second.find("\"" + path + "\""), std::string::npos) << second;
            EXPECT_NE(second.find(e.cause), std::string::npos) << second;
        } else {
            EXPECT_EQ(img.attempts[0].activation, AFUNC_OK);
            EXPECT_EQ(img.result, e.result);
            EXPECT_TRUE(errors.empty()) << errors.front();
        }
        // An image exists only after a successful load, and a begun one
        // always went back to the host exactly once.
        EXPECT_EQ(img.image() != nullptr, img.result == IPSTAT_OK);
        EXPECT_EQ(img.protocolDoneCalls, img.beginCalls);
        EXPECT_EQ(img.hostDoneCalls, img.beginCalls);
        if (img.result != IPSTAT_OK) {
            EXPECT_EQ(util().liveImages(), 0);
        }
    }
    // Every file of the corpus is judged here.
    std::size_t files = 0;
    for (const auto &entry : std::filesystem::directory_iterator(testsupport::dataPath("damaged")))
        files += entry.path().extension() == ".exr";
    EXPECT_EQ(files, listed);
}

TEST_F(DamagedFilesTest, ReadableCorpusFilesArePlacedByTheirDisplayWindow)
{
    devhost::ImageLoading loading(host());
    const devhost::LoadedImage valid =
        loading.loadWith("LW_OpenEXR", testsupport::dataPath("damaged/valid_small.exr"));
    ASSERT_EQ(valid.result, IPSTAT_OK);
    EXPECT_EQ(valid.imageType, LWIMTYP_RGBFP);
    EXPECT_EQ(valid.width, 8);
    EXPECT_EQ(valid.height, 4);
    EXPECT_EQ(valid.rowsReceived, (std::vector<int>{0, 1, 2, 3}));
    // The generator's values: channel c (B, G, R) at (x, y) holds
    // (c + 1) * 0.125 + x * 0.0625 + y * 0.5 from the data window's corner.
    float px[3];
    util().getPixel(valid.image(), 5, 2, px);
    EXPECT_EQ(px[0], 3 * 0.125f + 5 * 0.0625f + 2 * 0.5f); // R
    EXPECT_EQ(px[2], 1 * 0.125f + 5 * 0.0625f + 2 * 0.5f); // B

    const devhost::LoadedImage outside =
        loading.loadWith("LW_OpenEXR", testsupport::dataPath("damaged/data_outside_display.exr"));
    ASSERT_EQ(outside.result, IPSTAT_OK);
    EXPECT_TRUE(outside.rowsReceived.empty());
    EXPECT_EQ(outside.progressTotal, 0u);

    // Data from (-2, -1) to (9, 5) over a display of (0, 0) to (7, 3).
    const devhost::LoadedImage around =
        loading.loadWith("LW_OpenEXR", testsupport::dataPath("damaged/data_around_display.exr"));
    ASSERT_EQ(around.result, IPSTAT_OK);
    EXPECT_EQ(around.width, 8);
    EXPECT_EQ(around.rowsReceived, (std::vector<int>{0, 1, 2, 3}));
    util().getPixel(around.image(), 0, 0, px);
    EXPECT_EQ(px[0], 3 * 0.125f + 2 * 0.0625f + 1 * 0.5f);
}

// The header reader alone, over the module's stream: claims are checked
// against the bytes the file holds.
TEST_F(DamagedFilesTest, HeaderLayoutOfAClaimedBillionRows)
{
    const std::string path = testsupport::dataPath("damaged/billion_rows.exr");
    Imf::Win32IFStream in(path);
    const ravelcast::ExrLayout layout =
        ravelcast::readExrLayout(in, std::filesystem::file_size(path));
    ASSERT_EQ(layout.parts.size(), 1u);
    EXPECT_EQ(layout.parts[0].dataWindow.max.y, 999999999);
    EXPECT_EQ(ravelcast::expectedChunkCount(layout.parts[0], false), 1000000000u);
    EXPECT_EQ(ravelcast::assessExrLayout(layout), ravelcast::LayoutVerdict::Incomplete);

    const std::string tiles = testsupport::dataPath("damaged/mipmap_tiles.exr");
    Imf::Win32IFStream tin(tiles);
    const ravelcast::ExrLayout tiled =
        ravelcast::readExrLayout(tin, std::filesystem::file_size(tiles));
    // 65536 square in 2 x 2 tiles, mipmapped: 4^15 + 4^14 + ... + 1 tiles
    // for the levels down to 2 x 2, and one for the 1 x 1 level.
    EXPECT_EQ(ravelcast::expectedChunkCount(tiled.parts[0], true), 1431655765u + 1u);
}

} // namespace
