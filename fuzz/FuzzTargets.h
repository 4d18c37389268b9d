// The fuzz targets' bodies, shared by the libFuzzer programs and by the
// regression test that replays every committed reproducer in the ordinary
// builds. Each body takes one input and must neither crash nor leak, nor
// allocate without bound, whatever the bytes are.
#ifndef RAVELCAST_FUZZ_FUZZTARGETS_H
#define RAVELCAST_FUZZ_FUZZTARGETS_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// The bytes as an OpenEXR file handed to the module's loader the way the
// host does it; the image is received and dropped.
void loadImage(const std::uint8_t *data, std::size_t size);

// The bytes read as a text block file (with the host's scene reader on top)
// and as a binary block file, walking every block and value.
void readBlockFile(const std::uint8_t *data, std::size_t size);

// The bytes as the filter's saved settings: binary blocks when they start
// with the block file magic, the text of a scene's plug-in section
// otherwise. Loaded into a filter instance and saved again; what was saved
// must load and save back to the same bytes.
void loadSettings(const std::uint8_t *data, std::size_t size);

// The bytes as a recipe for a chunk of packed lines (as they come, as runs
// of bytes or of 16-bit values, or repeated with noise, up to 512 KiB),
// compressed as a ZIP chunk; the stored bytes must decode, with zlib and
// with libdeflate, to exactly the chunk. A fault aborts.
void compressChunk(const std::uint8_t *data, std::size_t size);

// Loads the module into the process's host before the first input, so the
// fuzzer sees the module's coverage from the start.
void prepare();

// The target named "loader", "blockfile", "settings" or "deflate"; null for
// others.
using Target = void (*)(const std::uint8_t *, std::size_t);
Target target(const std::string &name);

} // namespace fuzz

#endif
