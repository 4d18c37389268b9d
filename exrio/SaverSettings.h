// The OpenEXR saver's two user choices, compression and channel pixel type,
// kept in one small record shared by every saver of the process: the host's
// "Global Memory" block "OpenEXRSaverSettings". The settings master edits
// it; each saver reads it when it opens its file.
#ifndef RAVELCAST_EXRIO_SAVERSETTINGS_H
#define RAVELCAST_EXRIO_SAVERSETTINGS_H

#include <cstdint>

namespace ravelcast {

// The block's layout: three signed 32-bit numbers in the machine's order.
struct SaverSettingsRecord {
    std::int32_t compression; // Imf::Compression, 0 to 9
    std::int32_t pixelType;   // Imf::PixelType, 0 UINT, 1 HALF, 2 FLOAT
    // Reserved: written as 15 when the record is made and read by nobody;
    // the record's size and place must stay as other builds made them.
    std::int32_t reserved;
};
static_assert(sizeof(SaverSettingsRecord) == 12, "the shared record is 12 bytes");

constexpr const char *kSaverSettingsName = "OpenEXRSaverSettings";
constexpr int kSaverSettingsSize = 12;
constexpr std::int32_t kDefaultCompression = 4; // PIZ
constexpr std::int32_t kDefaultPixelType = 1;   // HALF
constexpr std::int32_t kReservedSettingsValue = 15;

// OpenEXR's own numbers: DWAA and DWAB follow B44A, so stored values keep
// their meaning.
constexpr int kCompressionCount = 10;
constexpr int kPixelTypeCount = 3;

// The process's record: the host's block, made with the defaults when it
// does not exist yet. Without the "Global Memory" service, or when the
// host has a smaller block of that name or refuses to make one, the
// process-wide fallback record. Never null; the host keeps its blocks for
// the rest of the process, so the pointer may be kept while the host lives.
SaverSettingsRecord *saverSettingsRecord();

// The record used without the host's block, with the defaults until set.
SaverSettingsRecord &fallbackSaverSettings();

// The colour space the saver's images declare (ColourSpace, 0 the linear
// Rec.709 default): a block of its own, "OpenEXRSaverColourSpace", one
// signed 32-bit number, so that the record above keeps the size and layout
// other builds made it with. Found, made and replaced by a process-wide
// value like the record; never null.
constexpr const char *kSaverColourSpaceName = "OpenEXRSaverColourSpace";
std::int32_t *saverColourSpace();

bool validCompression(int compression);
bool validPixelType(int pixelType);

// "Uncompressed", "RLE (lossless)", ... "B44A (lossy)"; "unknown" outside 0-9.
const char *compressionName(int compression);
// "Int 32", "Float 16", "Float 32"; "unknown" outside 0-2.
const char *pixelTypeName(int pixelType);

} // namespace ravelcast

#endif
