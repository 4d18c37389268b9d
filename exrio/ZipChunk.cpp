#include "exrio/ZipChunk.h"

#include <new>

#include <libdeflate.h>

namespace ravelcast {

int zipChunkLines(bool zips) { return zips ? 1 : 16; }

ZipChunkCompressor::ZipChunkCompressor(int level)
    : compressor_(libdeflate_alloc_compressor(level))
{
    if (!compressor_)
        throw std::bad_alloc();
}

ZipChunkCompressor::~ZipChunkCompressor() { libdeflate_free_compressor(compressor_); }

ZipChunkCompressor::Stored ZipChunkCompressor::compress(const unsigned char *packed,
                                                         std::size_t n,
                                                         std::vector<unsigned char> &out)
{
    if (n < 2)
        return {packed, n};
    if (reordered_.size() < n)
        reordered_.resize(n);
    // Bytes 0, 2, 4... first, then 1, 3, 5...: the low and the high bytes of
    // the values gather, and each half changes slowly along a line. Each
    // byte of the result is then its difference from the one before it,
    // offset by 128 (modulo 256); both steps in one pass.
    unsigned char *const low = reordered_.data();
    const std::size_t lows = (n + 1) / 2, highs = n / 2;
    unsigned char *const high = low + lows;
    low[0] = packed[0];
    for (std::size_t i = 1; i < lows; ++i)
        low[i] = static_cast<unsigned char>(packed[2 * i] - packed[2 * i - 2] + 128);
    if (highs > 0)
        high[0] = static_cast<unsigned char>(packed[1] - packed[2 * (lows - 1)] + 128);
    for (std::size_t i = 1; i < highs; ++i)
        high[i] = static_cast<unsigned char>(packed[2 * i + 1] - packed[2 * i - 1] + 128);

    // Room for one byte less than the lines: a chunk that does not fit is
    // one that is not worth compressing, and is stored as it came.
    if (out.size() < n - 1)
        out.resize(n - 1);
    const std::size_t size =
        libdeflate_zlib_compress(compressor_, reordered_.data(), n, out.data(), n - 1);
    if (size == 0)
        return {packed, n};
    return {out.data(), size};
}

} // namespace ravelcast
