#include "capture/niImage.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <stdexcept>

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

// Byte j of each source word is the pixel of row k at column x0 + j; the result word for column x0 + j holds
// the four rows' bytes in reverse row order (row 0 last), as little-endian memory.
inline uint32_t gatherColumn(uint32_t w0, uint32_t w1, uint32_t w2, uint32_t w3, int j)
{
    const int shift = 8 * j;
    return ((w3 >> shift) & 0xFFu) | (((w2 >> shift) & 0xFFu) << 8) | (((w1 >> shift) & 0xFFu) << 16) |
           (((w0 >> shift) & 0xFFu) << 24);
}

template <int Channels>
void rotateTile(const unsigned char* src, int srcStep, unsigned char* dst, int dstStep, int oldHeight, int x0,
                int x1, int y0, int y1)
{
    for (int x = x0; x < x1; ++x) {
        unsigned char* out = dst + static_cast<std::ptrdiff_t>(x) * dstStep;
        for (int y = y0; y < y1; ++y) {
            const unsigned char* in = src + static_cast<std::ptrdiff_t>(y) * srcStep + x * Channels;
            std::memcpy(out + (oldHeight - 1 - y) * Channels, in, Channels);
        }
    }
}

template <int Channels>
void mirrorRowPixels(unsigned char* row, int width)
{
    unsigned char* left = row;
    unsigned char* right = row + (width - 1) * Channels;
    unsigned char tmp[Channels];
    for (int j = 0; j < width / 2; ++j, left += Channels, right -= Channels) {
        std::memcpy(tmp, left, Channels);
        std::memcpy(left, right, Channels);
        std::memcpy(right, tmp, Channels);
    }
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

// 4 x 4 byte blocks: four words read from four source rows become four words of four consecutive target rows.
void niImage<unsigned char>::rotateGrey(unsigned char* target, int targetStep) const
{
    const int bands = height / 4 * 4;
    const int groups = width / 4 * 4;
    for (int y = 0; y < bands; y += 4) {
        const unsigned char* r0 = data + static_cast<std::ptrdiff_t>(y) * step;
        const unsigned char* r1 = r0 + step;
        const unsigned char* r2 = r1 + step;
        const unsigned char* r3 = r2 + step;
        const int column = height - 4 - y;  // target column of source row y + 3
        unsigned char* out = target + column;
        int x = 0;
        for (; x < groups; x += 4, out += 4 * static_cast<std::ptrdiff_t>(targetStep)) {
            const uint32_t w0 = loadWord(r0 + x), w1 = loadWord(r1 + x), w2 = loadWord(r2 + x),
                           w3 = loadWord(r3 + x);
            storeWord(out, gatherColumn(w0, w1, w2, w3, 0));
            storeWord(out + targetStep, gatherColumn(w0, w1, w2, w3, 1));
            storeWord(out + 2 * targetStep, gatherColumn(w0, w1, w2, w3, 2));
            storeWord(out + 3 * targetStep, gatherColumn(w0, w1, w2, w3, 3));
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
        const int column = height - 1 - y;
        for (int x = 0; x < width; ++x)
            target[static_cast<std::ptrdiff_t>(x) * targetStep + column] = row[x];
    }
}

void niImage<unsigned char>::rotatePixels(unsigned char* target, int targetStep) const
{
    constexpr int tile = 32;
    for (int y0 = 0; y0 < height; y0 += tile) {
        const int y1 = std::min(height, y0 + tile);
        for (int x0 = 0; x0 < width; x0 += tile) {
            const int x1 = std::min(width, x0 + tile);
            switch (channels) {
            case 2: rotateTile<2>(data, step, target, targetStep, height, x0, x1, y0, y1); break;
            case 3: rotateTile<3>(data, step, target, targetStep, height, x0, x1, y0, y1); break;
            default: rotateTile<4>(data, step, target, targetStep, height, x0, x1, y0, y1); break;
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

// Byte-reversed words swapped from both ends, then single bytes up to the middle.
void niImage<unsigned char>::mirrorGreyRows()
{
    const int words = width / 8;
    for (int y = 0; y < height; ++y) {
        unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * step;
        for (int i = 0; i < words; ++i) {
            unsigned char* left = row + 4 * i;
            unsigned char* right = row + width - 4 * (i + 1);
            const uint32_t l = loadWord(left), r = loadWord(right);
            storeWord(left, __builtin_bswap32(r));
            storeWord(right, __builtin_bswap32(l));
        }
        for (int l = 4 * words, r = width - 1 - 4 * words; l < r; ++l, --r)
            std::swap(row[l], row[r]);
    }
}

void niImage<unsigned char>::mirrorPixelRows()
{
    for (int y = 0; y < height; ++y) {
        unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * step;
        switch (channels) {
        case 2: mirrorRowPixels<2>(row, width); break;
        case 3: mirrorRowPixels<3>(row, width); break;
        default: mirrorRowPixels<4>(row, width); break;
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
