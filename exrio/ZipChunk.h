// A chunk of a ZIP or ZIPS compressed scan-line file made as the format
// defines it: the chunk's packed lines with their bytes reordered (the
// first of every pair of bytes before all the second ones), a delta
// predictor over the result, and the zlib format of DEFLATE on top, made
// here for such data (libdeflate gives only its checksum). A chunk that
// does not get smaller is stored as its packed lines, which is how a
// reader tells the two apart. The only user of libdeflate: everything of it
// stays behind this file.
#ifndef RAVELCAST_EXRIO_ZIPCHUNK_H
#define RAVELCAST_EXRIO_ZIPCHUNK_H

#include <cstddef>
#include <memory>
#include <vector>

namespace ravelcast {

// Lines per chunk: ZIPS 1, ZIP 16.
int zipChunkLines(bool zips);

// One compressor and its scratch. Not to be shared between threads at once;
// each thread compressing chunks has its own.
class ZipChunkCompressor {
public:
    ZipChunkCompressor();
    ~ZipChunkCompressor();
    ZipChunkCompressor(const ZipChunkCompressor &) = delete;
    ZipChunkCompressor &operator=(const ZipChunkCompressor &) = delete;

    // The chunk's bytes as the file stores them, for the n bytes of its
    // packed lines: the compressed bytes, put in out, or, when those would
    // not be fewer, the packed lines themselves. Throws std::bad_alloc when
    // no memory is left.
    struct Stored {
        const unsigned char *bytes = nullptr;
        std::size_t size = 0;
    };
    Stored compress(const unsigned char *packed, std::size_t n, std::vector<unsigned char> &out);

private:
    struct Scratch;
    std::unique_ptr<Scratch> scratch_;
    std::vector<unsigned char> reordered_;
};

} // namespace ravelcast

#endif
