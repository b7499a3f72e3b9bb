#include "capture/niImage.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <stdexcept>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace niTypes {
namespace {

const char* const invalidSize = "niImage::create - invalid image size";

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

#ifdef __SSE2__
// The 4 x 4 kernel widened to 16 x 16 bytes: sixteen source rows (read bottom row first) are transposed with the
// unpack steps of 8, 16, 32 and 64 bits; each result register is one target row's 16 bytes.
inline void transposeBlock16(const unsigned char* src, int srcStep, unsigned char* out, int outStep)
{
    __m128i a[16], b[16], c[16], d[16];
    for (int i = 0; i < 16; ++i)
        a[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + static_cast<std::ptrdiff_t>(15 - i) * srcStep));
    for (int i = 0; i < 8; ++i) {
        b[2 * i] = _mm_unpacklo_epi8(a[2 * i], a[2 * i + 1]);
        b[2 * i + 1] = _mm_unpackhi_epi8(a[2 * i], a[2 * i + 1]);
    }
    for (int g = 0; g < 4; ++g) {
        c[4 * g] = _mm_unpacklo_epi16(b[4 * g], b[4 * g + 2]);
        c[4 * g + 1] = _mm_unpackhi_epi16(b[4 * g], b[4 * g + 2]);
        c[4 * g + 2] = _mm_unpacklo_epi16(b[4 * g + 1], b[4 * g + 3]);
        c[4 * g + 3] = _mm_unpackhi_epi16(b[4 * g + 1], b[4 * g + 3]);
    }
    for (int h = 0; h < 2; ++h)
        for (int k = 0; k < 4; ++k) {
            d[8 * h + 2 * k] = _mm_unpacklo_epi32(c[8 * h + k], c[8 * h + 4 + k]);
            d[8 * h + 2 * k + 1] = _mm_unpackhi_epi32(c[8 * h + k], c[8 * h + 4 + k]);
        }
    for (int m = 0; m < 8; ++m) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + static_cast<std::ptrdiff_t>(2 * m) * outStep),
                         _mm_unpacklo_epi64(d[m], d[8 + m]));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + static_cast<std::ptrdiff_t>(2 * m + 1) * outStep),
                         _mm_unpackhi_epi64(d[m], d[8 + m]));
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
    if (channels < 1 || channels > 4)
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

// 4 x 4 byte blocks: four words read from four source rows become four words of four consecutive target rows
// (16 x 16 blocks where SSE2 is there), walked in tiles that keep both sides in the cache.
void niImage<unsigned char>::rotateGrey(unsigned char* target, int targetStep) const
{
    auto targetAt = [&](int x, int y) {  // where source (x, y) lands
        return target + static_cast<std::ptrdiff_t>(x) * targetStep + (height - 1 - y);
    };
    int wide = 0;  // columns and rows done by the 16 x 16 kernel
    int tall = 0;
#ifdef __SSE2__
    wide = width / 16 * 16;
    tall = height / 16 * 16;
    constexpr int tileWidth = 128, tileHeight = 64;
    for (int ty = 0; ty < tall; ty += tileHeight)
        for (int tx = 0; tx < wide; tx += tileWidth)
            for (int y = ty; y < std::min(tall, ty + tileHeight); y += 16)
                for (int x = tx; x < std::min(wide, tx + tileWidth); x += 16)
                    transposeBlock16(data + static_cast<std::ptrdiff_t>(y) * step + x, step, targetAt(x, y + 15),
                                     targetStep);
#endif
    const int bands = height / 4 * 4;
    const int groups = width / 4 * 4;
    for (int y = 0; y < bands; y += 4) {
        const unsigned char* r0 = data + static_cast<std::ptrdiff_t>(y) * step;
        const unsigned char* r1 = r0 + step;
        const unsigned char* r2 = r1 + step;
        const unsigned char* r3 = r2 + step;
        int x = y < tall ? wide : 0;
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

void niImage<unsigned char>::rotatePixels(unsigned char* target, int targetStep) const
{
    constexpr int tile = 16;
    for (int y0 = 0; y0 < height; y0 += tile) {
        const int y1 = std::min(height, y0 + tile);
        for (int x0 = 0; x0 < width; x0 += tile) {
            const int x1 = std::min(width, x0 + tile);
            switch (channels) {
            case 2: rotateTile<2>(data, step, width, target, targetStep, height, x0, x1, y0, y1); break;
            case 3: rotateTile<3>(data, step, width, target, targetStep, height, x0, x1, y0, y1); break;
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
        if (channels < 1 || channels > 4)
            throw std::invalid_argument("niImage::mirror - incorrect channels count");
        if (channels == 1)
            mirrorGreyRows();
        else
            mirrorPixelRows();
    } else {
        throw std::invalid_argument("niImage::mirror error");
    }
}

// Byte-reversed words swapped from both ends (64-bit, then one 32-bit pair), then single bytes up to the middle.
void niImage<unsigned char>::mirrorGreyRows()
{
    for (int y = 0; y < height; ++y) {
        unsigned char* left = data + static_cast<std::ptrdiff_t>(y) * step;
        unsigned char* right = left + width;  // one past the last byte still to place
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
