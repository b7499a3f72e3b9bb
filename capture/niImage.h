#pragma once
// The 8-bit image through which the camera libraries hand frames to their hosts: a header describing the pixel
// layout and one pixel buffer that the image either owns or only points to.
#include <cstdint>

namespace niTypes {

struct niImageHeader {
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;  // bytes per pixel (6 for three 16-bit samples)
    int32_t step = 0;      // bytes from one row's start to the next
    int32_t format = 0;    // 1 grey, 2 three-channel colour, 3 four-channel colour; other codes are kept as given
};

template <class T>
class niImage;

template <>
class niImage<unsigned char> : public niImageHeader {
public:
    niImage() = default;
    niImage(const niImage& other);  // deep copy
    niImage(niImage&& other) noexcept;
    niImage& operator=(const niImage& other);  // deep copy
    niImage& operator=(niImage&& other) noexcept;
    virtual ~niImage();

    // Lays the image out and provides its buffer. A negative step aligns each row to a multiple of its magnitude;
    // a positive step must hold a whole row. With externalData the image points at that memory and never frees it.
    // Throws std::invalid_argument "niImage::create - invalid image size" (the image is then unchanged).
    void create(int width, int height, int channels, int step, int format, unsigned char* externalData = nullptr);

    void rotate();          // 90 degrees clockwise, in place; needs an owned buffer and 1 to 4 or 6 channels
    void mirror(int axis);  // 0: rows top to bottom; 1: pixels (1 to 4 or 6 bytes) within each row

    unsigned char* data = nullptr;
    int32_t dataSize = 0;  // step * height
    bool ownsData = false;

private:
    void release() noexcept;  // frees an owned buffer and empties the image
    void rotateGrey(unsigned char* target, int targetStep) const;
    void rotatePixels(unsigned char* target, int targetStep) const;
    void mirrorGreyRows();
    void mirrorPixelRows();
};

using niImage8 = niImage<unsigned char>;

// Hands source's buffer, header and ownership to target without copying pixels; source is left empty.
void moveFrom(niImage<unsigned char>& target, niImage<unsigned char>& source) noexcept;

// Gives target the stored layout, over externalData when given.
void createImageFromFormat(const niImageHeader& format, unsigned char* externalData, niImage<unsigned char>& target);

}  // namespace niTypes
