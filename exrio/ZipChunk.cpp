#include "exrio/ZipChunk.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>

#include <libdeflate.h>

namespace ravelcast {

// The chunks' DEFLATE is made here rather than by a general compressor:
// after the predictor most of a render's bytes are long runs of one value
// (its empty background, its flat buffers), which a general compressor
// walks byte by byte, entering every one into its match tables. Here a run
// is taken in one step and only its end is remembered; everything else is
// a greedy match search over hash chains, as zlib's and libdeflate's
// middle levels do.
namespace {

constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
constexpr std::size_t kWindow = 32768;
constexpr std::size_t kWindowMask = kWindow - 1;
// Farthest match taken: one less than the window, so that the position
// being entered never overwrites the chain of one still reachable.
constexpr std::size_t kMaxDistance = kWindow - 1;
constexpr int kHashBits = 15;
// Chain entries looked at per position, and the length at which a match is
// good enough to stop looking.
constexpr int kSearchDepth = 16;
constexpr int kNiceMatch = 30;
// A match longer than this has only its last positions entered.
constexpr int kInsertWhole = 32;
// Symbols per block: each block has Huffman codes of its own.
constexpr std::size_t kBlockSymbols = 1u << 14;

constexpr int kLitLenSymbols = 288, kDistSymbols = 30, kCodeLenSymbols = 19;
constexpr int kEndOfBlock = 256;
constexpr int kMaxCodeLength = 15, kMaxCodeLenCodeLength = 7;

struct LengthCode {
    std::uint16_t symbol;
    std::uint8_t extraBits;
    std::uint16_t base;
};

struct Tables {
    LengthCode length[kMaxMatch + 1];
    std::uint8_t distLow[512];  // code of distance - 1 below 512
    std::uint8_t distHigh[256]; // code of (distance - 1) >> 7
    std::uint16_t distBase[kDistSymbols];
    std::uint8_t distExtra[kDistSymbols];

    Tables()
    {
        static const std::uint16_t lengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10,  11,  13,
                                                     15, 17, 19, 23, 27, 31, 35, 43,  51,  59,
                                                     67, 83, 99, 115, 131, 163, 195, 227, 258};
        static const std::uint8_t lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                                     2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
        for (int c = 0; c < 29; ++c) {
            const int last = c == 28 ? kMaxMatch : lengthBase[c] + (1 << lengthExtra[c]) - 1;
            for (int len = lengthBase[c]; len <= last && len <= kMaxMatch; ++len)
                length[len] = {static_cast<std::uint16_t>(257 + c), lengthExtra[c], lengthBase[c]};
        }
        length[0] = length[1] = length[2] = length[3];
        int base = 1;
        for (int c = 0; c < kDistSymbols; ++c) {
            distExtra[c] = static_cast<std::uint8_t>(c < 4 ? 0 : (c - 2) / 2);
            distBase[c] = static_cast<std::uint16_t>(base);
            base += 1 << distExtra[c];
        }
        for (int c = 0; c < kDistSymbols; ++c)
            for (int d = distBase[c]; d < distBase[c] + (1 << distExtra[c]); ++d) {
                if (d - 1 < 512)
                    distLow[d - 1] = static_cast<std::uint8_t>(c);
                if (((d - 1) & 127) == 0 && ((d - 1) >> 7) < 256)
                    distHigh[(d - 1) >> 7] = static_cast<std::uint8_t>(c);
            }
    }

    int distCode(unsigned distance) const
    {
        const unsigned d = distance - 1;
        return d < 512 ? distLow[d] : distHigh[d >> 7];
    }
};

const Tables &tables()
{
    static const Tables t;
    return t;
}

std::uint32_t load32(const unsigned char *p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

std::uint64_t load64(const unsigned char *p)
{
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

std::uint32_t hash4(const unsigned char *p)
{
    return (load32(p) * 0x9E3779B1u) >> (32 - kHashBits);
}

// Bytes equal at a and b, up to max (both readable for max bytes).
int matchLength(const unsigned char *a, const unsigned char *b, int max)
{
    int len = 0;
    while (len + 8 <= max) {
        const std::uint64_t x = load64(a + len) ^ load64(b + len);
        if (x)
            return len + (__builtin_ctzll(x) >> 3);
        len += 8;
    }
    while (len < max && a[len] == b[len])
        ++len;
    return len;
}

// Least significant bit first, as DEFLATE packs its bits.
class BitWriter {
public:
    explicit BitWriter(unsigned char *out) : out_(out) {}
    void put(std::uint64_t bits, int n)
    {
        buffer_ |= bits << count_;
        count_ += n;
        if (count_ >= 32) {
            const std::uint32_t word = static_cast<std::uint32_t>(buffer_);
            std::memcpy(out_ + size_, &word, 4);
            size_ += 4;
            buffer_ >>= 32;
            count_ -= 32;
        }
    }
    // Pads the last byte with zeros.
    std::size_t finish()
    {
        while (count_ > 0) {
            out_[size_++] = static_cast<unsigned char>(buffer_);
            buffer_ >>= 8;
            count_ = std::max(0, count_ - 8);
        }
        return size_;
    }
    std::size_t size() const { return size_ + static_cast<std::size_t>(count_ + 7) / 8; }

private:
    unsigned char *out_;
    std::size_t size_ = 0;
    std::uint64_t buffer_ = 0;
    int count_ = 0;
};

// Lengths of a prefix code for the frequencies, none longer than maxLength:
// a Huffman code, its longest codes shortened as zlib and miniz do. At
// least two symbols get a code, so that every code is complete.
void codeLengths(const std::uint32_t *freq, int n, int maxLength, std::uint8_t *lengths)
{
    std::fill(lengths, lengths + n, 0);
    int order[kLitLenSymbols];
    int used = 0;
    for (int s = 0; s < n; ++s)
        if (freq[s])
            order[used++] = s;
    for (int s = 0; used < 2 && s < n; ++s)
        if (!freq[s])
            order[used++] = s;
    std::sort(order, order + used, [&](int a, int b) {
        return freq[a] != freq[b] ? freq[a] < freq[b] : a < b;
    });
    // The two-queue construction over leaves sorted by weight: internal
    // nodes are made in order of weight, so both queues stay sorted.
    std::uint64_t weight[2 * kLitLenSymbols];
    int parent[2 * kLitLenSymbols];
    for (int i = 0; i < used; ++i)
        weight[i] = std::max<std::uint32_t>(freq[order[i]], 1);
    int leaf = 0, node = used, next = used;
    const auto smallest = [&]() {
        if (leaf < used && (node >= next || weight[leaf] <= weight[node]))
            return leaf++;
        return node++;
    };
    while (next < 2 * used - 1) {
        const int a = smallest(), b = smallest();
        weight[next] = weight[a] + weight[b];
        parent[a] = parent[b] = next;
        ++next;
    }
    int depth[2 * kLitLenSymbols];
    const int root = 2 * used - 2;
    depth[root] = 0;
    int count[kLitLenSymbols + 1] = {};
    for (int i = root - 1; i >= 0; --i) {
        depth[i] = depth[parent[i]] + 1;
        if (i < used)
            ++count[std::min(depth[i], maxLength)];
    }
    // Too long codes made as long as allowed, then codes moved down until
    // the lengths fit a code again.
    std::uint32_t kraft = 0;
    for (int len = 1; len <= maxLength; ++len)
        kraft += static_cast<std::uint32_t>(count[len]) << (maxLength - len);
    while (kraft > (1u << maxLength)) {
        --count[maxLength];
        for (int len = maxLength - 1; len > 0; --len)
            if (count[len]) {
                --count[len];
                count[len + 1] += 2;
                break;
            }
        --kraft;
    }
    // The least frequent symbols get the longest codes.
    int at = 0;
    for (int len = maxLength; len > 0; --len)
        for (int k = 0; k < count[len]; ++k)
            lengths[order[at++]] = static_cast<std::uint8_t>(len);
}

// Canonical codes for the lengths, their bits reversed for the writer.
void canonicalCodes(const std::uint8_t *lengths, int n, std::uint16_t *codes)
{
    int count[kMaxCodeLength + 1] = {};
    for (int s = 0; s < n; ++s)
        ++count[lengths[s]];
    count[0] = 0;
    int next[kMaxCodeLength + 2] = {};
    for (int len = 1, code = 0; len <= kMaxCodeLength; ++len) {
        code = (code + count[len - 1]) << 1;
        next[len] = code;
    }
    for (int s = 0; s < n; ++s) {
        const int len = lengths[s];
        if (!len) {
            codes[s] = 0;
            continue;
        }
        unsigned code = static_cast<unsigned>(next[len]++), reversed = 0;
        for (int b = 0; b < len; ++b, code >>= 1)
            reversed = (reversed << 1) | (code & 1);
        codes[s] = static_cast<std::uint16_t>(reversed);
    }
}

// The symbols of the block being gathered: a literal (distance 0) or a
// match's length and distance, and how often each code's symbol comes.
struct Block {
    std::uint16_t value[kBlockSymbols];
    std::uint16_t distance[kBlockSymbols];
    std::size_t size = 0;
    std::uint32_t litLenFreq[kLitLenSymbols] = {};
    std::uint32_t distFreq[kDistSymbols] = {};
};

// The last position entered under each hash, and for every position of the
// window the one entered before it under the same hash.
struct Matcher {
    std::int32_t head[1 << kHashBits];
    std::int32_t prev[kWindow];
};

// The gathered symbols as one block, with codes of their own or DEFLATE's
// fixed codes, whichever is shorter.
void writeBlock(Block &block, BitWriter &bits, bool last)
{
    const Tables &t = tables();
    block.litLenFreq[kEndOfBlock] = 1;

    std::uint8_t litLenLengths[kLitLenSymbols], distLengths[kDistSymbols];
    codeLengths(block.litLenFreq, 286, kMaxCodeLength, litLenLengths);
    litLenLengths[286] = litLenLengths[287] = 0;
    codeLengths(block.distFreq, kDistSymbols, kMaxCodeLength, distLengths);
    int litLenCount = 286, distCount = kDistSymbols;
    while (litLenCount > 257 && !litLenLengths[litLenCount - 1])
        --litLenCount;
    while (distCount > 1 && !distLengths[distCount - 1])
        --distCount;

    // The code lengths of both codes as one sequence, runs told by 16 (the
    // length before, 3 to 6 times), 17 (3 to 10 zeros) and 18 (11 to 138).
    std::uint8_t all[286 + kDistSymbols];
    std::memcpy(all, litLenLengths, static_cast<std::size_t>(litLenCount));
    std::memcpy(all + litLenCount, distLengths, static_cast<std::size_t>(distCount));
    const int total = litLenCount + distCount;
    std::uint8_t rle[286 + kDistSymbols], rleExtra[286 + kDistSymbols];
    int rleCount = 0;
    std::uint32_t codeLenFreq[kCodeLenSymbols] = {};
    for (int i = 0; i < total;) {
        const std::uint8_t len = all[i];
        int run = 1;
        while (i + run < total && all[i + run] == len)
            ++run;
        i += run;
        if (len == 0) {
            while (run >= 11) {
                const int k = std::min(run, 138);
                rle[rleCount] = 18, rleExtra[rleCount++] = static_cast<std::uint8_t>(k - 11);
                run -= k;
            }
            if (run >= 3) {
                rle[rleCount] = 17, rleExtra[rleCount++] = static_cast<std::uint8_t>(run - 3);
                run = 0;
            }
        } else {
            rle[rleCount] = len, rleExtra[rleCount++] = 0;
            --run;
            while (run >= 3) {
                const int k = std::min(run, 6);
                rle[rleCount] = 16, rleExtra[rleCount++] = static_cast<std::uint8_t>(k - 3);
                run -= k;
            }
        }
        for (; run > 0; --run)
            rle[rleCount] = len, rleExtra[rleCount++] = 0;
    }
    for (int i = 0; i < rleCount; ++i)
        ++codeLenFreq[rle[i]];
    std::uint8_t codeLenLengths[kCodeLenSymbols];
    codeLengths(codeLenFreq, kCodeLenSymbols, kMaxCodeLenCodeLength, codeLenLengths);
    static const std::uint8_t order[kCodeLenSymbols] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                        11, 4,  12, 3, 13, 2, 14, 1, 15};
    int codeLenCount = kCodeLenSymbols;
    while (codeLenCount > 4 && !codeLenLengths[order[codeLenCount - 1]])
        --codeLenCount;

    // Both kinds' sizes in bits: the symbols' codes differ, the extra bits not.
    std::uint64_t dynamicBits = 3 + 5 + 5 + 4 + 3 * static_cast<std::uint64_t>(codeLenCount);
    static const std::uint8_t rleExtraBits[kCodeLenSymbols] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                               0, 0, 0, 0, 0, 0, 2, 3, 7};
    for (int s = 0; s < kCodeLenSymbols; ++s)
        dynamicBits += codeLenFreq[s] * static_cast<std::uint64_t>(codeLenLengths[s] + rleExtraBits[s]);
    std::uint64_t fixedBits = 3;
    for (int s = 0; s < 286; ++s) {
        dynamicBits += block.litLenFreq[s] * static_cast<std::uint64_t>(litLenLengths[s]);
        fixedBits += block.litLenFreq[s] * static_cast<std::uint64_t>(s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8);
    }
    for (int s = 0; s < kDistSymbols; ++s) {
        dynamicBits += block.distFreq[s] * static_cast<std::uint64_t>(distLengths[s]);
        fixedBits += block.distFreq[s] * 5ull;
    }

    std::uint16_t litLenCodes[kLitLenSymbols], distCodes[kDistSymbols];
    if (fixedBits <= dynamicBits) {
        for (int s = 0; s < kLitLenSymbols; ++s)
            litLenLengths[s] = static_cast<std::uint8_t>(s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8);
        std::fill(distLengths, distLengths + kDistSymbols, 5);
        bits.put(last ? 3 : 2, 3);
    } else {
        bits.put(last ? 5 : 4, 3);
        bits.put(static_cast<unsigned>(litLenCount - 257), 5);
        bits.put(static_cast<unsigned>(distCount - 1), 5);
        bits.put(static_cast<unsigned>(codeLenCount - 4), 4);
        for (int i = 0; i < codeLenCount; ++i)
            bits.put(codeLenLengths[order[i]], 3);
        std::uint16_t codeLenCodes[kCodeLenSymbols];
        canonicalCodes(codeLenLengths, kCodeLenSymbols, codeLenCodes);
        for (int i = 0; i < rleCount; ++i) {
            bits.put(codeLenCodes[rle[i]], codeLenLengths[rle[i]]);
            if (rleExtraBits[rle[i]])
                bits.put(rleExtra[i], rleExtraBits[rle[i]]);
        }
    }
    canonicalCodes(litLenLengths, kLitLenSymbols, litLenCodes);
    canonicalCodes(distLengths, kDistSymbols, distCodes);

    for (std::size_t i = 0; i < block.size; ++i) {
        const unsigned value = block.value[i];
        const unsigned distance = block.distance[i];
        if (!distance) {
            bits.put(litLenCodes[value], litLenLengths[value]);
            continue;
        }
        const LengthCode &lc = t.length[value];
        bits.put(litLenCodes[lc.symbol] | static_cast<std::uint64_t>(value - lc.base) << litLenLengths[lc.symbol],
                 litLenLengths[lc.symbol] + lc.extraBits);
        const int dc = t.distCode(distance);
        bits.put(distCodes[dc] | static_cast<std::uint64_t>(distance - t.distBase[dc]) << distLengths[dc],
                 distLengths[dc] + t.distExtra[dc]);
    }
    bits.put(litLenCodes[kEndOfBlock], litLenLengths[kEndOfBlock]);

    block.size = 0;
    std::fill(std::begin(block.litLenFreq), std::end(block.litLenFreq), 0);
    std::fill(std::begin(block.distFreq), std::end(block.distFreq), 0);
}

// The zlib format: its two bytes, the DEFLATE blocks, the Adler-32 of the
// bytes. 0 once the blocks written reach n bytes: such a chunk is stored.
std::size_t deflateChunk(const unsigned char *in, std::size_t n, std::vector<unsigned char> &out,
                         Block &block, Matcher &m)
{
    // Room for the chunk, a block beyond it at its worst (every symbol
    // with its longest codes) and the ends.
    const std::size_t room = n + kBlockSymbols * 6 + 1024;
    if (out.size() < room)
        out.resize(room);
    out[0] = 0x78;
    out[1] = 0x5E;
    BitWriter bits(out.data() + 2);
    std::fill(std::begin(m.head), std::end(m.head), -1);
    const Tables &t = tables();
    block.size = 0;

    const auto enter = [&](std::size_t at) {
        const std::uint32_t h = hash4(in + at);
        m.prev[at & kWindowMask] = m.head[h];
        m.head[h] = static_cast<std::int32_t>(at);
    };
    const auto literal = [&](unsigned char byte) {
        block.value[block.size] = byte;
        block.distance[block.size++] = 0;
        ++block.litLenFreq[byte];
    };
    const auto match = [&](int len, std::size_t distance) {
        block.value[block.size] = static_cast<std::uint16_t>(len);
        block.distance[block.size++] = static_cast<std::uint16_t>(distance);
        const LengthCode &lc = t.length[len];
        ++block.litLenFreq[lc.symbol];
        const int dc = t.distCode(static_cast<unsigned>(distance));
        ++block.distFreq[dc];
    };

    std::size_t i = 0;
    // The last positions cannot start a hashed match.
    const std::size_t hashedEnd = n >= 4 ? n - 3 : 0;
    while (i < n) {
        if (block.size + 2 > kBlockSymbols) {
            writeBlock(block, bits, false);
            if (bits.size() + 2 >= n)
                return 0;
        }
        if (i >= hashedEnd) {
            literal(in[i++]);
            continue;
        }
        const int max = static_cast<int>(std::min<std::size_t>(kMaxMatch, n - i));
        int bestLen = 0;
        std::size_t bestDistance = 0;
        // A run of the byte before: taken without a search.
        if (i > 0 && in[i] == in[i - 1]) {
            bestLen = matchLength(in + i - 1, in + i, max);
            bestDistance = 1;
        }
        if (bestLen < kNiceMatch && bestLen < max) {
            const std::uint32_t h = hash4(in + i);
            std::int32_t cur = m.head[h];
            m.prev[i & kWindowMask] = cur;
            m.head[h] = static_cast<std::int32_t>(i);
            const std::uint32_t first = load32(in + i);
            for (int depth = kSearchDepth; cur >= 0 && depth > 0; --depth) {
                const std::size_t c = static_cast<std::size_t>(cur);
                if (i - c > kMaxDistance)
                    break;
                if (load32(in + c) == first && in[c + bestLen] == in[i + bestLen]) {
                    const int len = matchLength(in + c, in + i, max);
                    if (len > bestLen) {
                        bestLen = len;
                        bestDistance = i - c;
                        if (len >= kNiceMatch || len == max)
                            break;
                    }
                }
                const std::int32_t older = m.prev[c & kWindowMask];
                if (older >= cur)
                    break;
                cur = older;
            }
        } else {
            enter(i);
        }
        if (bestLen < kMinMatch) {
            literal(in[i++]);
            continue;
        }
        match(bestLen, bestDistance);
        const std::size_t end = i + static_cast<std::size_t>(bestLen);
        // A short match has every position entered; a long one (a run, most
        // often) only its last few, which is where later matches into it
        // start.
        std::size_t from = bestLen <= kInsertWhole ? i + 1 : end - 3;
        for (std::size_t p = from; p < end && p < hashedEnd; ++p)
            enter(p);
        i = end;
    }
    writeBlock(block, bits, true);
    std::size_t size = 2 + bits.finish();
    if (size + 4 >= n)
        return 0;
    const std::uint32_t adler = libdeflate_adler32(1, in, n);
    for (int b = 3; b >= 0; --b)
        out[size++] = static_cast<unsigned char>(adler >> (8 * b));
    return size;
}

} // namespace

struct ZipChunkCompressor::Scratch {
    Block block;
    Matcher matcher;
};

int zipChunkLines(bool zips) { return zips ? 1 : 16; }

ZipChunkCompressor::ZipChunkCompressor() : scratch_(std::make_unique<Scratch>()) { tables(); }

ZipChunkCompressor::~ZipChunkCompressor() = default;

ZipChunkCompressor::Stored ZipChunkCompressor::compress(const unsigned char *packed,
                                                         std::size_t n,
                                                         std::vector<unsigned char> &out)
{
    // The match tables hold positions as 32-bit numbers: a chunk of 2 GiB
    // or more (a line of far more channels than any render has) is stored.
    if (n < 2 || n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
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

    const std::size_t size = deflateChunk(reordered_.data(), n, out, scratch_->block, scratch_->matcher);
    // A chunk that is not smaller is stored as it came.
    if (size == 0 || size >= n)
        return {packed, n};
    return {out.data(), size};
}

} // namespace ravelcast
