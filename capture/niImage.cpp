#include "capture/niImage.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <stdexcept>

// KESTRUNE_NIIMAGE_PORTABLE leaves out the vector kernels (a test builds the image that way, to check the plain
// kernels on this machine too).
#if defined(__SSE2__) && !defined(KESTRUNE_NIIMAGE_PORTABLE)
#include <emmintrin.h>
#define KESTRUNE_NIIMAGE_SSE2 1
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define KESTRUNE_NIIMAGE_X86 1  // kernels for SSSE3 and AVX2, chosen at run time
#endif
#endif

namespace niTypes {
namespace {

const char* const invalidSize = "niImage::create - invalid image size";

// Pixel sizes that rotate and in-row mirror move: 1 to 4 bytes, and 6 (three 16-bit samples).
bool movablePixel(int channels)
{
    return (channels >= 1 && channels <= 4) || channels == 6;
}

inline uint32_t loadWord(const unsigned char* p)
{
    uint32_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

inline void storeWord(unsigned char* p, uint32_t word)
{
    std::memcpy(p, &word, sizeof word);
}

// Transposes a 4 x 4 byte block: w0..w3 are four source rows (byte j = column j, little-endian memory); the result
// word j holds column j's bytes in reverse row order (row 0 last), as the clockwise rotation lays them out.
inline void transposeBlock(uint32_t w0, uint32_t w1, uint32_t w2, uint32_t w3, uint32_t out[4])
{
    const uint32_t t0 = (w3 & 0x00FF00FFu) | ((w2 & 0x00FF00FFu) << 8);  // w3.0 w2.0 w3.2 w2.2
    const uint32_t t1 = ((w3 >> 8) & 0x00FF00FFu) | (w2 & 0xFF00FF00u);  // w3.1 w2.1 w3.3 w2.3
    const uint32_t t2 = (w1 & 0x00FF00FFu) | ((w0 & 0x00FF00FFu) << 8);
    const uint32_t t3 = ((w1 >> 8) & 0x00FF00FFu) | (w0 & 0xFF00FF00u);
    out[0] = (t0 & 0xFFFFu) | (t2 << 16);
    out[1] = (t1 & 0xFFFFu) | (t3 << 16);
    out[2] = (t0 >> 16) | (t2 & 0xFFFF0000u);
    out[3] = (t1 >> 16) | (t3 & 0xFFFF0000u);
}

inline uint64_t loadQuad(const unsigned char* p)
{
    uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

inline void storeQuad(unsigned char* p, uint64_t word)
{
    std::memcpy(p, &word, sizeof word);
}

#ifdef KESTRUNE_NIIMAGE_SSE2
// The 4 x 4 kernel widened to 16 x 16 bytes: sixteen source rows (read bottom row first) are transposed with the
// unpack steps of 8, 16, 32 and 64 bits; each result register is one target row's 16 bytes.
inline void transposeBlock16(const unsigned char* src, int srcStep, unsigned char* out, int outStep)
{
    __m128i a[16], b[16], c[16], d[16];
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i)
        a[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + static_cast<std::ptrdiff_t>(15 - i) * srcStep));
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm_unpacklo_epi8(a[2 * i], a[2 * i + 1]);
        b[2 * i + 1] = _mm_unpackhi_epi8(a[2 * i], a[2 * i + 1]);
    }
#pragma GCC unroll 16
    for (int g = 0; g < 4; ++g) {
        c[4 * g] = _mm_unpacklo_epi16(b[4 * g], b[4 * g + 2]);
        c[4 * g + 1] = _mm_unpackhi_epi16(b[4 * g], b[4 * g + 2]);
        c[4 * g + 2] = _mm_unpacklo_epi16(b[4 * g + 1], b[4 * g + 3]);
        c[4 * g + 3] = _mm_unpackhi_epi16(b[4 * g + 1], b[4 * g + 3]);
    }
#pragma GCC unroll 16
    for (int h = 0; h < 2; ++h)
#pragma GCC unroll 16
        for (int k = 0; k < 4; ++k) {
            d[8 * h + 2 * k] = _mm_unpacklo_epi32(c[8 * h + k], c[8 * h + 4 + k]);
            d[8 * h + 2 * k + 1] = _mm_unpackhi_epi32(c[8 * h + k], c[8 * h + 4 + k]);
        }
#pragma GCC unroll 16
    for (int m = 0; m < 8; ++m) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + static_cast<std::ptrdiff_t>(2 * m) * outStep),
                         _mm_unpacklo_epi64(d[m], d[8 + m]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + static_cast<std::ptrdiff_t>(2 * m + 1) * outStep),
                         _mm_unpackhi_epi64(d[m], d[8 + m]));
    }
}

// A whole grey rotation (width and height at least 16) in 16 x 16 blocks, tiles of 16 columns, the last blocks
// overlapping as in rotateGreyPairs.
void rotateGreyBlocks(const unsigned char* src, int srcStep, int width, int height, unsigned char* dst, int dstStep)
{
    constexpr int tileHeight = 1024;
    for (int ty = 0; ty < height; ty += tileHeight)
        for (int x = 0; x < width; x += 16)
            for (int y = ty; y < std::min(height, ty + tileHeight); y += 16) {
                const int bx = std::min(x, width - 16), by = std::min(y, height - 16);
                transposeBlock16(src + static_cast<std::ptrdiff_t>(by) * srcStep + bx, srcStep,
                                 dst + static_cast<std::ptrdiff_t>(bx) * dstStep + (height - 1 - (by + 15)), dstStep);
            }
}
#endif


#ifdef KESTRUNE_NIIMAGE_X86
// The 16 x 16 kernel on two blocks at once, one per 128-bit lane: source rows y + 16..y + 31 in the low lane and
// y..y + 15 in the high lane, so each result register is 32 contiguous bytes of one target row.
__attribute__((target("avx2"))) inline void transposeBlockPair(const unsigned char* src, int srcStep,
                                                               unsigned char* out, int outStep)
{
    __m256i a[16], b[16], c[16], d[16];
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
        const __m128i upper = _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(src + static_cast<std::ptrdiff_t>(15 - i) * srcStep));
        const __m128i lower = _mm_loadu_si128(
            reinterpret_cast<const __m128i*>(src + static_cast<std::ptrdiff_t>(31 - i) * srcStep));
        a[i] = _mm256_inserti128_si256(_mm256_castsi128_si256(lower), upper, 1);
    }
#pragma GCC unroll 16
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm256_unpacklo_epi8(a[2 * i], a[2 * i + 1]);
        b[2 * i + 1] = _mm256_unpackhi_epi8(a[2 * i], a[2 * i + 1]);
    }
#pragma GCC unroll 16
    for (int g = 0; g < 4; ++g) {
        c[4 * g] = _mm256_unpacklo_epi16(b[4 * g], b[4 * g + 2]);
        c[4 * g + 1] = _mm256_unpackhi_epi16(b[4 * g], b[4 * g + 2]);
        c[4 * g + 2] = _mm256_unpacklo_epi16(b[4 * g + 1], b[4 * g + 3]);
        c[4 * g + 3] = _mm256_unpackhi_epi16(b[4 * g + 1], b[4 * g + 3]);
    }
#pragma GCC unroll 16
    for (int h = 0; h < 2; ++h)
#pragma GCC unroll 16
        for (int k = 0; k < 4; ++k) {
            d[8 * h + 2 * k] = _mm256_unpacklo_epi32(c[8 * h + k], c[8 * h + 4 + k]);
            d[8 * h + 2 * k + 1] = _mm256_unpackhi_epi32(c[8 * h + k], c[8 * h + 4 + k]);
        }
#pragma GCC unroll 16
    for (int m = 0; m < 8; ++m) {
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + static_cast<std::ptrdiff_t>(2 * m) * outStep),
                            _mm256_unpacklo_epi64(d[m], d[8 + m]));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + static_cast<std::ptrdiff_t>(2 * m + 1) * outStep),
                            _mm256_unpackhi_epi64(d[m], d[8 + m]));
    }
}

// A whole grey rotation (width at least 16, height at least 32) in tiles of 16 columns. The last block of a strip
// and the last strip start early, overlapping blocks already done, so no remainder is left for slower code.
__attribute__((target("avx2"))) void rotateGreyPairs(const unsigned char* src, int srcStep, int width, int height,
                                                     unsigned char* dst, int dstStep)
{
    constexpr int tileHeight = 1024;
    for (int ty = 0; ty < height; ty += tileHeight)
        for (int x = 0; x < width; x += 16)
            for (int y = ty; y < std::min(height, ty + tileHeight); y += 32) {
                const int bx = std::min(x, width - 16), by = std::min(y, height - 32);
                transposeBlockPair(src + static_cast<std::ptrdiff_t>(by) * srcStep + bx, srcStep,
                                   dst + static_cast<std::ptrdiff_t>(bx) * dstStep + (height - 1 - (by + 31)),
                                   dstStep);
            }
}

bool haveAvx2()
{
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

// A grey row reversed in place, 32 bytes from each end at a time while 64 are left (bytes reversed within each
// lane, then the lanes swapped). Returns the bytes left to swap: [left, right).
__attribute__((target("avx2"))) void mirrorGreyRowAvx2(unsigned char*& left, unsigned char*& right)
{
    const __m256i reverse = _mm256_setr_epi8(15, 14, 13, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11,
                                             10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 0);
    for (; right - left >= 64; left += 32, right -= 32) {
        auto* l = reinterpret_cast<__m256i*>(left);
        auto* r = reinterpret_cast<__m256i*>(right - 32);
        const __m256i a = _mm256_loadu_si256(l);
        const __m256i b = _mm256_loadu_si256(r);
        _mm256_storeu_si256(l, _mm256_permute4x64_epi64(_mm256_shuffle_epi8(b, reverse), _MM_SHUFFLE(1, 0, 3, 2)));
        _mm256_storeu_si256(r, _mm256_permute4x64_epi64(_mm256_shuffle_epi8(a, reverse), _MM_SHUFFLE(1, 0, 3, 2)));
    }
}
#endif

// Pixels of the tile columns x0..x1 and rows y0..y1 into their rotated places. For 3 channels a pixel moves as one
// 4-byte word: rows run bottom-up so each word's extra byte lands on the next pixel of the target row, which is
// written right after; the tile's last pixel, and reads at the very end of the source, move 3 bytes.
template <int Channels>
void rotateTile(const unsigned char* src, int srcStep, int srcWidth, unsigned char* dst, int dstStep, int oldHeight,
                int x0, int x1, int y0, int y1)
{
    for (int x = x0; x < x1; ++x) {
        unsigned char* out = dst + static_cast<std::ptrdiff_t>(x) * dstStep;
        const unsigned char* column = src + x * Channels;
        if (Channels != 3) {
            for (int y = y1 - 1; y >= y0; --y)
                std::memcpy(out + (oldHeight - 1 - y) * Channels, column + static_cast<std::ptrdiff_t>(y) * srcStep,
                            Channels);
            continue;
        }
        if (x + 1 < srcWidth) {
            for (int y = y1 - 1; y > y0; --y) {
                uint32_t pixel;
                std::memcpy(&pixel, column + static_cast<std::ptrdiff_t>(y) * srcStep, 4);
                std::memcpy(out + (oldHeight - 1 - y) * 3, &pixel, 4);
            }
        } else {  // the last column: a wide read could pass the end of the buffer
            for (int y = y1 - 1; y > y0; --y)
                std::memcpy(out + (oldHeight - 1 - y) * 3, column + static_cast<std::ptrdiff_t>(y) * srcStep, 3);
        }
        std::memcpy(out + (oldHeight - 1 - y0) * 3, column + static_cast<std::ptrdiff_t>(y0) * srcStep, 3);
    }
}

#ifdef KESTRUNE_NIIMAGE_X86
// The 3-channel tile in blocks of 4 x 4 pixels: each source row's four pixels are spread into 32-bit lanes, the
// four rows transposed as words (bottom row first), and each result packed back into the 12 bytes of one target
// row. A block's 16-byte store runs 4 bytes into the target pixels of the two rows above it, which this tile writes
// later; the top blocks of the tile store 12 bytes only. Columns too close to the row's end for 16-byte reads, and
// rows left over at the top, go pixel by pixel.
__attribute__((target("ssse3"))) void rotateTile3Ssse3(const unsigned char* src, int srcStep, int srcWidth,
                                                       unsigned char* dst, int dstStep, int oldHeight, int x0, int x1,
                                                       int y0, int y1)
{
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const std::ptrdiff_t in = srcStep, out = dstStep;
    auto movePixel = [&](int x, int y) {
        std::memcpy(dst + x * out + (oldHeight - 1 - y) * 3, src + y * in + x * 3, 3);
    };
    int x = x0;
    const int wideEnd = std::min(x1, srcWidth - 5);  // a 16-byte read from pixel x stays inside the row
    for (; x + 4 <= wideEnd; x += 4) {
        int y = y1 - 4;
        for (; y >= y0; y -= 4) {
            const unsigned char* p = src + y * in + x * 3;
            const __m128i r0 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), spread);
            const __m128i r1 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + in)), spread);
            const __m128i r2 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2 * in)), spread);
            const __m128i r3 = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * in)), spread);
            const __m128i low32 = _mm_unpacklo_epi32(r3, r2), low10 = _mm_unpacklo_epi32(r1, r0);
            const __m128i high32 = _mm_unpackhi_epi32(r3, r2), high10 = _mm_unpackhi_epi32(r1, r0);
            const __m128i rows[4] = {
                _mm_shuffle_epi8(_mm_unpacklo_epi64(low32, low10), pack),
                _mm_shuffle_epi8(_mm_unpackhi_epi64(low32, low10), pack),
                _mm_shuffle_epi8(_mm_unpacklo_epi64(high32, high10), pack),
                _mm_shuffle_epi8(_mm_unpackhi_epi64(high32, high10), pack),
            };
            unsigned char* o = dst + x * out + (oldHeight - 4 - y) * 3;
            for (int k = 0; k < 4; ++k, o += out) {
                if (y - 2 >= y0) {
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(o), rows[k]);
                } else {
                    _mm_storel_epi64(reinterpret_cast<__m128i*>(o), rows[k]);
                    const uint32_t tail = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(rows[k], 8)));
                    storeWord(o + 8, tail);
                }
            }
        }
        for (int top = y + 3; top >= y0; --top)
            for (int k = 0; k < 4; ++k)
                movePixel(x + k, top);
    }
    for (; x < x1; ++x)
        for (int y = y1 - 1; y >= y0; --y)
            movePixel(x, y);
}

// Asks for the cache line at p in each of the rows y0..y1 (step apart): a column walk down the rows outruns the
// hardware prefetchers, which follow runs within a row.
void prefetchColumn(const unsigned char* p, std::ptrdiff_t step, int y0, int y1)
{
    for (int y = y0; y < y1; ++y)
        _mm_prefetch(reinterpret_cast<const char*>(p + y * step), _MM_HINT_T0);
}

bool haveSsse3()
{
    static const bool have = __builtin_cpu_supports("ssse3");
    return have;
}
#endif

#ifdef KESTRUNE_NIIMAGE_SSE2
// 2- and 4-byte pixels reversed in place, 16 bytes from each end at a time (8 or 4 pixels reversed within a
// register); the middle, under two registers wide, pixel by pixel. Returns the pixels left to swap: [left, right).
template <int Channels>
void mirrorRowSse2(unsigned char* row, int& left, int& right)
{
    constexpr int perBlock = 16 / Channels;
    for (; right - left >= 2 * perBlock; left += perBlock, right -= perBlock) {
        unsigned char* l = row + left * Channels;
        unsigned char* r = row + right * Channels - 16;
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(l));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r));
        if (Channels == 2) {
            a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(a, _MM_SHUFFLE(0, 1, 2, 3)), _MM_SHUFFLE(0, 1, 2, 3));
            b = _mm_shufflehi_epi16(_mm_shufflelo_epi16(b, _MM_SHUFFLE(0, 1, 2, 3)), _MM_SHUFFLE(0, 1, 2, 3));
            a = _mm_shuffle_epi32(a, _MM_SHUFFLE(1, 0, 3, 2));
            b = _mm_shuffle_epi32(b, _MM_SHUFFLE(1, 0, 3, 2));
        } else {
            a = _mm_shuffle_epi32(a, _MM_SHUFFLE(0, 1, 2, 3));
            b = _mm_shuffle_epi32(b, _MM_SHUFFLE(0, 1, 2, 3));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(l), b);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(r), a);
    }
}
#endif

#ifdef KESTRUNE_NIIMAGE_X86
// 16 pixels (48 bytes, three registers) reversed: output register k takes its bytes from input registers by the
// masks bytes[k][j] (j = the input register; a byte from another register selects zero).
struct Reverse48Masks {
    alignas(16) signed char bytes[3][3][16];
    Reverse48Masks()
    {
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 3; ++j)
                for (int i = 0; i < 16; ++i) {
                    const int out = 16 * k + i, from = 3 * (15 - out / 3) + out % 3;
                    bytes[k][j][i] = static_cast<signed char>(from / 16 == j ? from % 16 : -1);
                }
    }
    __m128i at(int k, int j) const { return _mm_load_si128(reinterpret_cast<const __m128i*>(bytes[k][j])); }
};

__attribute__((target("ssse3"))) inline void reverse48(const __m128i in[3], __m128i out[3], const Reverse48Masks& m)
{
    out[0] = _mm_or_si128(_mm_shuffle_epi8(in[1], m.at(0, 1)), _mm_shuffle_epi8(in[2], m.at(0, 2)));
    out[1] = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(in[0], m.at(1, 0)), _mm_shuffle_epi8(in[1], m.at(1, 1))),
                          _mm_shuffle_epi8(in[2], m.at(1, 2)));
    out[2] = _mm_or_si128(_mm_shuffle_epi8(in[0], m.at(2, 0)), _mm_shuffle_epi8(in[1], m.at(2, 1)));
}

// 3-byte pixels reversed in place, sixteen at a time from each end, then five at a time: the left register holds
// pixels left..left + 4 and the first byte of the next, the right register the last byte of the pixel before
// right - 5 and pixels right - 5..right - 1. Each is reversed into the other's place and keeps the one byte it does
// not own, so no byte outside the two runs changes. The runs never overlap while at least 11 pixels are left.
// Returns the pixels left to swap: [left, right).
__attribute__((target("ssse3"))) void mirrorRow3Ssse3(unsigned char* row, int& left, int& right)
{
    // Sixteen pixels from each end at a time while 32 are left.
    static const Reverse48Masks masks;
    for (; right - left >= 32; left += 16, right -= 16) {
        auto* l = reinterpret_cast<__m128i*>(row + left * 3);
        auto* r = reinterpret_cast<__m128i*>(row + right * 3 - 48);
        const __m128i a[3] = {_mm_loadu_si128(l), _mm_loadu_si128(l + 1), _mm_loadu_si128(l + 2)};
        const __m128i b[3] = {_mm_loadu_si128(r), _mm_loadu_si128(r + 1), _mm_loadu_si128(r + 2)};
        __m128i ra[3], rb[3];
        reverse48(a, ra, masks);
        reverse48(b, rb, masks);
        for (int k = 0; k < 3; ++k) {
            _mm_storeu_si128(l + k, rb[k]);
            _mm_storeu_si128(r + k, ra[k]);
        }
    }
    // Then five pixels from each end while 11 are left.
    const __m128i fromRight = _mm_setr_epi8(13, 14, 15, 10, 11, 12, 7, 8, 9, 4, 5, 6, 1, 2, 3, -1);
    const __m128i keepLast = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 15);
    const __m128i fromLeft = _mm_setr_epi8(-1, 12, 13, 14, 9, 10, 11, 6, 7, 8, 3, 4, 5, 0, 1, 2);
    const __m128i keepFirst = _mm_setr_epi8(0, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    for (; right - left >= 11; left += 5, right -= 5) {
        unsigned char* l = row + left * 3;
        unsigned char* r = row + right * 3 - 16;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(l));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(r));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(l),
                         _mm_or_si128(_mm_shuffle_epi8(b, fromRight), _mm_shuffle_epi8(a, keepLast)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(r),
                         _mm_or_si128(_mm_shuffle_epi8(a, fromLeft), _mm_shuffle_epi8(b, keepFirst)));
    }
}
#endif

// Swaps pixels left and right - 1 inwards until they meet.
template <int Channels>
void swapPixelsInwards(unsigned char* row, int left, int right)
{
    unsigned char held[Channels];
    for (--right; left < right; ++left, --right) {
        unsigned char* l = row + left * Channels;
        unsigned char* r = row + right * Channels;
        std::memcpy(held, l, Channels);
        std::memcpy(l, r, Channels);
        std::memcpy(r, held, Channels);
    }
}

// Pixel j of the row becomes pixel width - 1 - j, read from a copy of the row; 3-byte pixels move as 4-byte words
// in rising order (each word's extra byte is overwritten by the next pixel), the last one as 3 bytes.
template <int Channels>
void mirrorRowPixels(unsigned char* row, int width, unsigned char* copy)
{
    std::memcpy(copy, row, static_cast<std::size_t>(width) * Channels);
    copy[width * Channels] = 0;  // the copy has one spare byte for the last wide read
    const unsigned char* in = copy + (width - 1) * Channels;
    unsigned char* out = row;
    if (Channels == 3) {
        for (int j = 0; j + 1 < width; ++j, in -= 3, out += 3)
            std::memcpy(out, in, 4);
        std::memcpy(out, in, 3);
        return;
    }
    for (int j = 0; j < width; ++j, in -= Channels, out += Channels)
        std::memcpy(out, in, Channels);
}

}  // namespace

niImage<unsigned char>::niImage(const niImage& other) : niImageHeader()
{
    *this = other;
}

niImage<unsigned char>::niImage(niImage&& other) noexcept : niImageHeader()
{
    moveFrom(*this, other);
}

niImage<unsigned char>& niImage<unsigned char>::operator=(const niImage& other)
{
    if (this == &other)
        return *this;
    if (!other.data) {
        release();
        return *this;
    }
    create(other.width, other.height, other.channels, other.step, other.format, nullptr);
    std::memcpy(data, other.data, static_cast<std::size_t>(dataSize));
    return *this;
}

niImage<unsigned char>& niImage<unsigned char>::operator=(niImage&& other) noexcept
{
    moveFrom(*this, other);
    return *this;
}

niImage<unsigned char>::~niImage()
{
    release();
}

void niImage<unsigned char>::release() noexcept
{
    if (ownsData)
        delete[] data;
    static_cast<niImageHeader&>(*this) = niImageHeader();
    data = nullptr;
    dataSize = 0;
    ownsData = false;
}

void niImage<unsigned char>::create(int newWidth, int newHeight, int newChannels, int newStep, int newFormat,
                                    unsigned char* externalData)
{
    if (newWidth <= 0 || newHeight <= 0 || newChannels <= 0 || newStep == 0)
        throw std::invalid_argument(invalidSize);
    const long long rowLength = static_cast<long long>(newWidth) * newChannels;
    long long stepValue = newStep;
    if (newStep < 0) {
        const long long alignment = -static_cast<long long>(newStep);
        stepValue = (rowLength + alignment - 1) / alignment * alignment;
    } else if (stepValue < rowLength) {
        throw std::invalid_argument(invalidSize);  // rows would overlap, and the buffer would be too short
    }
    const long long size = stepValue * newHeight;
    if (stepValue > INT_MAX || size > INT_MAX)
        throw std::invalid_argument(invalidSize);

    if (newFormat == 0) {
        if (newChannels == 1)
            newFormat = 1;
        else if (newChannels == 3)
            newFormat = 2;
        else if (newChannels == 4)
            newFormat = 3;
    }

    const bool keepBuffer = ownsData && !externalData && size == dataSize;
    unsigned char* buffer = externalData;
    if (!externalData && !keepBuffer)
        buffer = new unsigned char[static_cast<std::size_t>(size)];  // before anything changes
    if (!keepBuffer) {
        if (ownsData)
            delete[] data;
        data = buffer;
        ownsData = externalData == nullptr;
    }
    width = newWidth;
    height = newHeight;
    channels = newChannels;
    format = newFormat;
    step = static_cast<int32_t>(stepValue);
    dataSize = static_cast<int32_t>(size);
}

void niImage<unsigned char>::rotate()
{
    if (!ownsData)
        throw std::invalid_argument("niImage::rotate - external data");
    if (!movablePixel(channels))
        throw std::invalid_argument("niImage::rotate - incorrect channels count");
    const int newStep = channels == 1 ? height + height % 4 : height * channels;
    const std::size_t newSize = static_cast<std::size_t>(width) * static_cast<std::size_t>(newStep);
    std::unique_ptr<unsigned char[]> target(new unsigned char[newSize]);
    if (channels == 1)
        rotateGrey(target.get(), newStep);
    else
        rotatePixels(target.get(), newStep);
    delete[] data;
    data = target.release();
    std::swap(width, height);
    step = newStep;
    dataSize = static_cast<int32_t>(newSize);
}

// 16 x 16 byte blocks where SSE2 is there (two of them at once with AVX2) when the image holds one, else 4 x 4 byte
// blocks: four words read from four source rows become four words of four consecutive target rows.
void niImage<unsigned char>::rotateGrey(unsigned char* target, int targetStep) const
{
#ifdef KESTRUNE_NIIMAGE_X86
    if (width >= 16 && height >= 32 && haveAvx2()) {
        rotateGreyPairs(data, step, width, height, target, targetStep);
        return;
    }
#endif
#ifdef KESTRUNE_NIIMAGE_SSE2
    if (width >= 16 && height >= 16) {
        rotateGreyBlocks(data, step, width, height, target, targetStep);
        return;
    }
#endif
    auto targetAt = [&](int x, int y) {  // where source (x, y) lands
        return target + static_cast<std::ptrdiff_t>(x) * targetStep + (height - 1 - y);
    };
    const int bands = height / 4 * 4;
    const int groups = width / 4 * 4;
    for (int y = 0; y < bands; y += 4) {
        const unsigned char* r0 = data + static_cast<std::ptrdiff_t>(y) * step;
        const unsigned char* r1 = r0 + step;
        const unsigned char* r2 = r1 + step;
        const unsigned char* r3 = r2 + step;
        int x = 0;
        unsigned char* out = targetAt(x, y + 3);
        for (; x < groups; x += 4, out += 4 * static_cast<std::ptrdiff_t>(targetStep)) {
            uint32_t words[4];
            transposeBlock(loadWord(r0 + x), loadWord(r1 + x), loadWord(r2 + x), loadWord(r3 + x), words);
            storeWord(out, words[0]);
            storeWord(out + targetStep, words[1]);
            storeWord(out + 2 * targetStep, words[2]);
            storeWord(out + 3 * targetStep, words[3]);
        }
        for (; x < width; ++x, out += targetStep) {
            out[0] = r3[x];
            out[1] = r2[x];
            out[2] = r1[x];
            out[3] = r0[x];
        }
    }
    for (int y = bands; y < height; ++y) {
        const unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * step;
        for (int x = 0; x < width; ++x)
            *targetAt(x, y) = row[x];
    }
}

// Tall, narrow tiles: each target row gets long runs of whole cache lines, and the tile's source lines are read
// again by the next tile while still cached.
void niImage<unsigned char>::rotatePixels(unsigned char* target, int targetStep) const
{
    constexpr int tileWidth = 12, tileHeight = 512;  // three 4-pixel blocks wide
#ifdef KESTRUNE_NIIMAGE_X86
    const bool ssse3 = channels == 3 && haveSsse3();
#endif
    for (int y0 = 0; y0 < height; y0 += tileHeight) {
        const int y1 = std::min(height, y0 + tileHeight);
        for (int x0 = 0; x0 < width; x0 += tileWidth) {
            const int x1 = std::min(width, x0 + tileWidth);
#ifdef KESTRUNE_NIIMAGE_X86
            if (ssse3) {
                if (x1 + tileWidth < width)  // the source of the tile after the next one, so it comes in time
                    prefetchColumn(data + (x1 + tileWidth) * 3, step, y0, y1);
                rotateTile3Ssse3(data, step, width, target, targetStep, height, x0, x1, y0, y1);
                continue;
            }
#endif
            switch (channels) {
            case 2: rotateTile<2>(data, step, width, target, targetStep, height, x0, x1, y0, y1); break;
            case 3: rotateTile<3>(data, step, width, target, targetStep, height, x0, x1, y0, y1); break;
            case 6: rotateTile<6>(data, step, width, target, targetStep, height, x0, x1, y0, y1); break;
            default: rotateTile<4>(data, step, width, target, targetStep, height, x0, x1, y0, y1); break;
            }
        }
    }
}

void niImage<unsigned char>::mirror(int axis)
{
    if (axis == 0) {
        if (height < 2)
            return;
        std::unique_ptr<unsigned char[]> temporary(new unsigned char[static_cast<std::size_t>(step)]);
        for (int i = 0; i < height / 2; ++i) {
            unsigned char* top = data + static_cast<std::ptrdiff_t>(i) * step;
            unsigned char* bottom = data + static_cast<std::ptrdiff_t>(height - 1 - i) * step;
            std::memcpy(temporary.get(), top, static_cast<std::size_t>(step));
            std::memcpy(top, bottom, static_cast<std::size_t>(step));
            std::memcpy(bottom, temporary.get(), static_cast<std::size_t>(step));
        }
    } else if (axis == 1) {
        if (!movablePixel(channels))
            throw std::invalid_argument("niImage::mirror - incorrect channels count");
        if (channels == 1)
            mirrorGreyRows();
        else
            mirrorPixelRows();
    } else {
        throw std::invalid_argument("niImage::mirror error");
    }
}

// Byte-reversed words swapped from both ends (32-byte registers with AVX2, 64-bit words, then one 32-bit pair),
// then single bytes up to the middle.
void niImage<unsigned char>::mirrorGreyRows()
{
#ifdef KESTRUNE_NIIMAGE_X86
    const bool avx2 = haveAvx2();
#endif
    for (int y = 0; y < height; ++y) {
        unsigned char* left = data + static_cast<std::ptrdiff_t>(y) * step;
        unsigned char* right = left + width;  // one past the last byte still to place
#ifdef KESTRUNE_NIIMAGE_X86
        if (avx2)
            mirrorGreyRowAvx2(left, right);
#endif
        for (; right - left >= 16; left += 8, right -= 8) {
            const uint64_t l = loadQuad(left), r = loadQuad(right - 8);
            storeQuad(left, __builtin_bswap64(r));
            storeQuad(right - 8, __builtin_bswap64(l));
        }
        if (right - left >= 8) {
            const uint32_t l = loadWord(left), r = loadWord(right - 4);
            storeWord(left, __builtin_bswap32(r));
            storeWord(right - 4, __builtin_bswap32(l));
            left += 4;
            right -= 4;
        }
        for (--right; left < right; ++left, --right)
            std::swap(*left, *right);
    }
}

void niImage<unsigned char>::mirrorPixelRows()
{
    if (channels == 6) {
        for (int y = 0; y < height; ++y)
            swapPixelsInwards<6>(data + static_cast<std::ptrdiff_t>(y) * step, 0, width);
        return;
    }
#ifdef KESTRUNE_NIIMAGE_SSE2
#ifdef KESTRUNE_NIIMAGE_X86
    const bool vectors = channels != 3 || haveSsse3();
#else
    const bool vectors = channels != 3;
#endif
    if (vectors) {
        for (int y = 0; y < height; ++y) {
            unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * step;
            int left = 0, right = width;
            switch (channels) {
            case 2: mirrorRowSse2<2>(row, left, right); swapPixelsInwards<2>(row, left, right); break;
#ifdef KESTRUNE_NIIMAGE_X86
            case 3: mirrorRow3Ssse3(row, left, right); swapPixelsInwards<3>(row, left, right); break;
#endif
            default: mirrorRowSse2<4>(row, left, right); swapPixelsInwards<4>(row, left, right); break;
            }
        }
        return;
    }
#endif
    std::unique_ptr<unsigned char[]> copy(new unsigned char[static_cast<std::size_t>(width) * channels + 1]);
    for (int y = 0; y < height; ++y) {
        unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * step;
        switch (channels) {
        case 2: mirrorRowPixels<2>(row, width, copy.get()); break;
        case 3: mirrorRowPixels<3>(row, width, copy.get()); break;
        default: mirrorRowPixels<4>(row, width, copy.get()); break;
        }
    }
}

void moveFrom(niImage<unsigned char>& target, niImage<unsigned char>& source) noexcept
{
    if (&target == &source)
        return;
    if (target.ownsData)
        delete[] target.data;
    static_cast<niImageHeader&>(target) = static_cast<const niImageHeader&>(source);
    target.data = source.data;
    target.dataSize = source.dataSize;
    target.ownsData = source.ownsData;
    static_cast<niImageHeader&>(source) = niImageHeader();
    source.data = nullptr;
    source.dataSize = 0;
    source.ownsData = false;
}

void createImageFromFormat(const niImageHeader& format, unsigned char* externalData, niImage<unsigned char>& target)
{
    target.create(format.width, format.height, format.channels, format.step, format.format, externalData);
}

}  // namespace niTypes
