// What an OpenEXR file's headers claim, read from the stream before the
// OpenEXR library reads them, and whether a reader can afford to believe it.
//
// The library allocates tables and buffers proportional to the windows a
// header claims (a line-offset table for every claimed row, line buffers as
// wide as the data window, a preview image of the claimed size) before it
// has seen any pixel, and its own size limits are process-wide, shared with
// the host. So the loader reads the headers itself, checks every attribute
// against the bytes the file really holds, and refuses claims the file
// cannot back before the library is allowed to open it.
#ifndef RAVELCAST_EXRIO_EXRLAYOUT_H
#define RAVELCAST_EXRIO_EXRLAYOUT_H

#include <cstdint>
#include <string>
#include <vector>

#include <Iex.h>
#include <ImathBox.h>
#include <ImfIO.h>

namespace ravelcast {

// A header that cannot be read, or whose claims cannot be afforded. The
// message is the cause alone; the caller names the file.
class ExrLayoutError : public Iex::InputExc {
public:
    using Iex::InputExc::InputExc;
};

struct ExrChannelLayout {
    std::string name;
    int pixelType = 0;
    int xSampling = 1, ySampling = 1;
};

struct ExrPartLayout {
    bool hasDataWindow = false, hasDisplayWindow = false;
    Imath::Box2i dataWindow, displayWindow;
    std::vector<ExrChannelLayout> channels;
    bool hasCompression = false;
    int compression = 0;
    bool hasTiles = false;
    std::uint32_t tileWidth = 0, tileHeight = 0;
    int levelMode = 0, roundingMode = 0;
    std::string type; // "scanlineimage", "tiledimage", "deepscanline", "deeptile" or empty
    std::string view;        // the part's "view", or empty
    std::string defaultView; // the first view of its "multiView" list, or empty
    bool hasChunkCount = false;
    std::int32_t chunkCount = 0;
};

struct ExrLayout {
    std::uint32_t version = 0; // the version field: number and flags
    std::vector<ExrPartLayout> parts;
    std::uint64_t headerEnd = 0; // where the chunk offset tables begin
    std::uint64_t fileSize = 0;

    bool tiledFlag() const;
    bool multiPart() const;
    // Whether a part holds deep data (by its type, or by the version
    // field's flag in a single-part file).
    bool partDeep(const ExrPartLayout &part) const;
    bool partTiled(const ExrPartLayout &part) const;
};

// The number of chunks (scan-line blocks or tiles over all levels) a part
// has by its windows, compression and tiles; saturates at 2^62.
std::uint64_t expectedChunkCount(const ExrPartLayout &part, bool tiled);

// Scan lines per chunk of a compression (1 for unknown ones).
int linesPerChunk(int compression);

// The most memory one row block of a part may need when read as RGBA
// floats (or a block of deep samples when flattened): the whole budget the
// loader allows.
constexpr std::uint64_t kMaxChunkBytes = std::uint64_t(256) << 20;

// The longest side of a window the loader accepts; the library itself
// refuses coordinates beyond about half the int range.
constexpr std::uint64_t kMaxWindowSide = std::uint64_t(1) << 30;

// The most pixels the display window of an image may have by default: the
// host allocates the whole image (up to four floats a pixel) before the
// first row arrives, so a few hundred bytes of header could otherwise ask
// it for gigabytes. 8192 x 8192, 1 GiB as RGBA floats.
constexpr std::uint64_t kDefaultMaxImagePixels = std::uint64_t(1) << 26;

// The environment variable that replaces that limit (a decimal number of
// pixels, for users with larger plates).
constexpr const char *kMaxImagePixelsVariable = "RAVELCAST_MAX_IMAGE_PIXELS";

// The limit in force: the variable's value when it is a positive decimal
// number, else kDefaultMaxImagePixels.
std::uint64_t maxImagePixels();

// Throws ExrLayoutError when the display window has more than maxPixels
// pixels, naming the window, the limit and the variable.
void checkImageArea(const Imath::Box2i &displayWindow, std::uint64_t maxPixels);

enum class LayoutVerdict {
    Readable,   // the library may open the file
    Incomplete, // the chunk offset tables do not fit in the file
};

// Judges the structure of every part. Throws ExrLayoutError when a part
// lacks a window, has an empty one or one with a side longer than
// kMaxWindowSide, is marked deep without a deep type, claims tiles of size
// 0, an unknown level mode or a negative chunk count. Answers Incomplete
// when the chunk offset tables the headers imply are larger than what
// follows the headers.
LayoutVerdict assessExrLayout(const ExrLayout &layout);

// Judges the part the loader reads. Throws ExrLayoutError when it holds
// deep tiled data, deep data without "Z" (which cannot be flattened), or
// when a block of rows (its samples or deep count tables and a line of
// RGBA floats across the data window), a tile, or a line of the display
// window as RGBA floats would need more than kMaxChunkBytes.
void checkPartForReading(const ExrLayout &layout, const ExrPartLayout &part);

// The number of entries of each part's chunk offset table, as the library
// reads them: a multi-part file's "chunkCount", else the chunks the
// windows imply.
std::uint64_t tableEntries(const ExrLayout &layout, const ExrPartLayout &part);

// Reads the chunk offset tables that follow the headers (from wherever the
// stream is) and the start of every chunk. False when an entry is 0 or
// points where no chunk can start (into the headers or tables, or past the
// end of the file), or when a chunk's data would end past the end of the
// file, as in a file whose writer was interrupted or that was cut short.
// For the part being read (when given) a deep chunk whose unpacked samples
// need more than kMaxChunkBytes throws ExrLayoutError. Only for a layout
// that assessExrLayout judged Readable; stream failures are thrown.
bool chunkTablesComplete(Imf::IStream &in, const ExrLayout &layout,
                         const ExrPartLayout *reading = nullptr);

} // namespace ravelcast

#endif
