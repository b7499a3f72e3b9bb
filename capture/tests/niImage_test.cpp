#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include "capture/niImage.h"

using niTypes::niImage8;
using niTypes::niImageHeader;

namespace {

// Fills every pixel byte with a value derived from its position, distinct enough to catch misplaced bytes.
void fillPattern(niImage8& image)
{
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width * image.channels; ++x)
            image.data[y * image.step + x] = static_cast<unsigned char>(y * 31 + x * 7 + 1);
}

const unsigned char* pixel(const niImage8& image, int x, int y)
{
    return image.data + y * image.step + x * image.channels;
}

void expectInvalidArgument(const std::function<void()>& call, const char* text)
{
    try {
        call();
        ADD_FAILURE() << "no exception, expected " << text;
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(text, e.what());
    }
}

TEST(niImage, DefaultIsEmpty)
{
    const niImage8 image;
    EXPECT_EQ(0, image.width);
    EXPECT_EQ(0, image.height);
    EXPECT_EQ(0, image.channels);
    EXPECT_EQ(0, image.step);
    EXPECT_EQ(0, image.format);
    EXPECT_EQ(nullptr, image.data);
    EXPECT_EQ(0, image.dataSize);
    EXPECT_FALSE(image.ownsData);
}

class InvalidCreate : public ::testing::TestWithParam<std::tuple<int, int, int, int>> {};

TEST_P(InvalidCreate, ThrowsAndLeavesTheImageAlone)
{
    niImage8 image;
    image.create(2, 2, 1, 2, 0);
    fillPattern(image);
    unsigned char* before = image.data;
    const auto [w, h, c, s] = GetParam();
    expectInvalidArgument([&, w = w, h = h, c = c, s = s] { image.create(w, h, c, s, 0); },
                          "niImage::create - invalid image size");
    EXPECT_EQ(before, image.data);
    EXPECT_EQ(2, image.width);
    EXPECT_EQ(2, image.step);
    EXPECT_EQ(4, image.dataSize);
    EXPECT_TRUE(image.ownsData);
}

// width 0, negative height, channels 0, step 0, a positive step shorter than a row, sizes beyond 32 bits
INSTANTIATE_TEST_SUITE_P(Sizes, InvalidCreate,
                         ::testing::Values(std::make_tuple(0, 2, 1, 2), std::make_tuple(2, -1, 1, 2),
                                           std::make_tuple(2, 2, 0, 2), std::make_tuple(2, 2, 1, 0),
                                           std::make_tuple(5, 2, 3, 14), std::make_tuple(65536, 65536, 1, 65536),
                                           std::make_tuple(1 << 30, 1, 3, -4)));

TEST(niImage, CreateDerivesFormatAndAlignsNegativeSteps)
{
    struct Case {
        int width, channels, step, format, wantStep, wantFormat;
    } cases[] = {
        {4, 1, 4, 0, 4, 1},  {4, 2, 8, 0, 8, 0},   {4, 3, 12, 0, 12, 2}, {4, 4, 16, 0, 16, 3},
        {4, 5, 20, 0, 20, 0}, {4, 1, 4, 7, 4, 7},  {5, 3, -4, 0, 16, 2}, {4, 1, -4, 0, 4, 1},
        {3, 1, 100, 0, 100, 1},
    };
    for (const Case& c : cases) {
        niImage8 image;
        image.create(c.width, 3, c.channels, c.step, c.format);
        EXPECT_EQ(c.wantStep, image.step) << c.width << "x" << c.channels << " step " << c.step;
        EXPECT_EQ(c.wantFormat, image.format) << c.channels << " channels, format " << c.format;
        EXPECT_EQ(c.wantStep * 3, image.dataSize);
        EXPECT_TRUE(image.ownsData);
    }
}

TEST(niImage, RecreatingWithTheSameSizeKeepsTheBuffer)
{
    niImage8 image;
    image.create(4, 3, 1, 4, 0);
    fillPattern(image);
    unsigned char* buffer = image.data;
    const unsigned char first = image.data[0];
    image.create(2, 2, 3, 6, 0);  // 12 bytes again
    EXPECT_EQ(buffer, image.data);
    EXPECT_EQ(first, image.data[0]);
    EXPECT_EQ(2, image.format);
    image.create(5, 5, 1, 5, 0);
    EXPECT_EQ(25, image.dataSize);
    EXPECT_TRUE(image.ownsData);
}

TEST(niImage, ExternalDataIsNeverFreed)
{
    std::vector<unsigned char> memory(64, 9);
    {
        niImage8 image;
        image.create(4, 4, 1, 4, 0, memory.data());
        EXPECT_EQ(memory.data(), image.data);
        EXPECT_FALSE(image.ownsData);
        image.create(2, 2, 1, 2, 0, memory.data() + 16);  // forgets the first, frees nothing
        image.create(4, 4, 1, 4, 0);                      // now owns a fresh buffer
        EXPECT_TRUE(image.ownsData);
        EXPECT_NE(memory.data(), image.data);
        image.create(4, 4, 1, 4, 0, memory.data());       // frees its own buffer only
    }
    EXPECT_EQ(9, memory[0]);  // the sanitizer build catches a free of memory
}

TEST(niImage, CopiesAreDeep)
{
    std::vector<unsigned char> memory(12);
    niImage8 external;
    external.create(3, 2, 2, 6, 5, memory.data());
    fillPattern(external);

    niImage8 assigned;
    assigned.create(1, 1, 1, 1, 0);
    assigned = external;
    EXPECT_TRUE(assigned.ownsData);
    EXPECT_NE(external.data, assigned.data);
    EXPECT_EQ(5, assigned.format);
    EXPECT_EQ(0, std::memcmp(memory.data(), assigned.data, 12));

    const niImage8 constructed(assigned);  // no shared buffer, so no double release
    EXPECT_NE(assigned.data, constructed.data);
    EXPECT_EQ(0, std::memcmp(assigned.data, constructed.data, 12));

    assigned = niImage8();
    EXPECT_EQ(nullptr, assigned.data);
    EXPECT_EQ(0, assigned.width);
    EXPECT_EQ(0, assigned.dataSize);
    EXPECT_FALSE(assigned.ownsData);
}

TEST(niImage, MoveFromHandsTheBufferOver)
{
    niImage8 source;
    source.create(3, 3, 1, 4, 0);
    unsigned char* buffer = source.data;
    niImage8 target;
    target.create(2, 2, 1, 2, 0);
    niTypes::moveFrom(target, source);
    EXPECT_EQ(buffer, target.data);
    EXPECT_TRUE(target.ownsData);
    EXPECT_EQ(3, target.width);
    EXPECT_EQ(4, target.step);
    EXPECT_EQ(12, target.dataSize);
    EXPECT_EQ(nullptr, source.data);
    EXPECT_EQ(0, source.width);
    EXPECT_EQ(0, source.dataSize);
    EXPECT_FALSE(source.ownsData);
    niTypes::moveFrom(target, target);
    EXPECT_EQ(buffer, target.data);

    std::vector<unsigned char> memory(4);
    niImage8 over;
    over.create(2, 2, 1, 2, 0, memory.data());
    niTypes::moveFrom(target, over);
    EXPECT_FALSE(target.ownsData);  // did not own it, so neither does the target
    EXPECT_EQ(memory.data(), target.data);
}

TEST(niImage, CreateImageFromFormatUsesTheStoredLayout)
{
    niImageHeader stored;
    stored.width = 4;
    stored.height = 2;
    stored.channels = 3;
    stored.step = 12;
    stored.format = 0;
    std::vector<unsigned char> memory(24);
    niImage8 image;
    niTypes::createImageFromFormat(stored, memory.data(), image);
    EXPECT_EQ(memory.data(), image.data);
    EXPECT_EQ(2, image.format);
    EXPECT_EQ(24, image.dataSize);
}

TEST(niImage, RotatesTheGreyExample)
{
    niImage8 image;
    image.create(3, 2, 1, 3, 0);
    std::memcpy(image.data, "abcdef", 6);
    image.rotate();
    ASSERT_EQ(2, image.width);
    ASSERT_EQ(3, image.height);
    ASSERT_EQ(4, image.step);
    EXPECT_EQ(12, image.dataSize);
    const char* rows[] = {"da", "eb", "fc"};
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(rows[y], std::string(reinterpret_cast<char*>(image.data + y * image.step), 2)) << "row " << y;
}

class RotateSizes : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(RotateSizes, SourcePixelLandsClockwise)
{
    const auto [width, height, channels] = GetParam();
    niImage8 image;
    image.create(width, height, channels, -4, 0);  // rows padded, so the old step is not the row length
    fillPattern(image);
    const niImage8 original(image);
    image.rotate();
    ASSERT_EQ(height, image.width);
    ASSERT_EQ(width, image.height);
    const int wantStep = channels == 1 ? height + height % 4 : height * channels;
    ASSERT_EQ(wantStep, image.step);
    EXPECT_EQ(wantStep * width, image.dataSize);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(0, std::memcmp(pixel(original, x, y), pixel(image, height - 1 - y, x), channels))
                << "source " << x << "," << y;
}

// odd sizes, whole 4 x 4 and 16 x 16 blocks, blocks with leftover columns and rows
INSTANTIATE_TEST_SUITE_P(Sizes, RotateSizes,
                         ::testing::Combine(::testing::Values(1, 3, 4, 9, 17, 37), ::testing::Values(1, 5, 6, 7, 8, 13, 35, 37),
                                            ::testing::Values(1, 2, 3, 4, 6)));
// around the 16 x 16 blocks and their 32-row pairs, on both sides
INSTANTIATE_TEST_SUITE_P(BlockEdges, RotateSizes,
                         ::testing::Combine(::testing::Values(15, 16, 17, 31, 32, 33, 63, 64, 65, 100),
                                            ::testing::Values(15, 16, 31, 32, 33, 63, 64, 65), ::testing::Values(1)));
// past the vector kernels' row pairs and the tall tiles' edges (512 and 1024 rows); at 1040 rows the last row pair
// starts early, across the edge of the last tile
INSTANTIATE_TEST_SUITE_P(TileEdges, RotateSizes,
                         ::testing::Combine(::testing::Values(13, 40), ::testing::Values(49, 1040, 1100),
                                            ::testing::Values(1, 2, 3, 4, 6)));
// a whole camera frame
INSTANTIATE_TEST_SUITE_P(Frame, RotateSizes,
                         ::testing::Combine(::testing::Values(2592), ::testing::Values(1944), ::testing::Values(1, 2, 3, 4)));

TEST(niImage, RotateRefusesExternalDataAndOddChannelCounts)
{
    std::vector<unsigned char> memory(16);
    niImage8 external;
    external.create(4, 4, 1, 4, 0, memory.data());
    expectInvalidArgument([&] { external.rotate(); }, "niImage::rotate - external data");
    niImage8 wide;
    wide.create(2, 2, 5, 10, 0);
    expectInvalidArgument([&] { wide.rotate(); }, "niImage::rotate - incorrect channels count");
    EXPECT_EQ(2, wide.width);
}

class MirrorSizes : public ::testing::TestWithParam<std::tuple<int, int, int>> {};

TEST_P(MirrorSizes, ReversesRowsOrPixels)
{
    const auto [width, height, channels] = GetParam();
    niImage8 image;
    image.create(width, height, channels, -4, 0);
    fillPattern(image);
    const niImage8 original(image);

    image.mirror(0);
    for (int y = 0; y < height; ++y)
        ASSERT_EQ(0, std::memcmp(pixel(original, 0, y), pixel(image, 0, height - 1 - y), width * channels))
            << "row " << y;

    image = original;
    image.mirror(1);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            ASSERT_EQ(0, std::memcmp(pixel(original, x, y), pixel(image, width - 1 - x, y), channels))
                << "pixel " << x << "," << y;
}

// widths around the word and register kernels (8, 16 and 32 bytes from each end; 3-byte pixels sixteen from each
// end while 32 are left, then five while 11 are left), odd heights keep their middle row
INSTANTIATE_TEST_SUITE_P(Sizes, MirrorSizes,
                         ::testing::Combine(::testing::Values(1, 2, 7, 8, 9, 10, 11, 15, 16, 17, 21, 22, 23, 31, 32, 33, 63,
                                                              64, 65, 95, 96, 97, 100, 101, 127, 128, 129, 2592),
                                            ::testing::Values(1, 4, 5), ::testing::Values(1, 2, 3, 4, 6)));

// Row padding, and memory just past the last row, stay as they were.
TEST(niImage, MirrorTouchesOnlyThePixels)
{
    for (int channels : {1, 2, 3, 4, 6})
        for (int width : {11, 12, 21, 37, 63, 64, 65, 70, 97, 130}) {
            const int rowBytes = width * channels, step = rowBytes + 5, height = 3;
            std::vector<unsigned char> memory(static_cast<std::size_t>(step) * height + 16);
            for (std::size_t i = 0; i < memory.size(); ++i)
                memory[i] = static_cast<unsigned char>(i * 13 + 5);
            const std::vector<unsigned char> before = memory;
            niImage8 image;
            image.create(width, height, channels, step, 0, memory.data());
            image.mirror(1);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x)
                    ASSERT_EQ(0, std::memcmp(&before[y * step + x * channels], &memory[y * step + (width - 1 - x) * channels],
                                             channels))
                        << channels << " channels, width " << width << ", pixel " << x << "," << y;
            for (std::size_t i = 0; i < memory.size(); ++i) {
                if (i >= static_cast<std::size_t>(step) * height || static_cast<int>(i % step) >= rowBytes) {
                    ASSERT_EQ(before[i], memory[i]) << channels << " channels, width " << width << ", byte " << i;
                }
            }
        }
}

TEST(niImage, MirrorChecksAxisAndChannels)
{
    niImage8 image;
    image.create(3, 3, 5, 15, 0);
    fillPattern(image);
    expectInvalidArgument([&] { image.mirror(1); }, "niImage::mirror - incorrect channels count");
    expectInvalidArgument([&] { image.mirror(2); }, "niImage::mirror error");
    const unsigned char topFirst = image.data[0];
    image.mirror(0);  // any channel count
    EXPECT_EQ(topFirst, image.data[2 * image.step]);

    niImage8 empty;
    expectInvalidArgument([&] { empty.mirror(1); }, "niImage::mirror - incorrect channels count");
    EXPECT_NO_THROW(empty.mirror(0));
}

TEST(niImage, MirrorWorksOnExternalData)
{
    unsigned char memory[] = {1, 2, 3, 4, 5};
    niImage8 image;
    image.create(5, 1, 1, 5, 0, memory);
    image.mirror(1);
    EXPECT_EQ(5, memory[0]);
    EXPECT_EQ(3, memory[2]);
    EXPECT_EQ(1, memory[4]);
}

}  // namespace
