// Times rotate, mirror(0) and mirror(1) of a 5-megapixel frame with 1 and 3 channels, and memcpy of the same
// number of bytes in the same run; prints the median of each and its ratio to memcpy (target: within 3 times).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "capture/niImage.h"

namespace {

constexpr int width = 2592;
constexpr int height = 1944;
constexpr int runs = 31;

double medianMs(const std::function<void()>& work)
{
    work();  // warm up: buffers allocated and touched
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[runs / 2];
}

}  // namespace

int main()
{
    bool within = true;
    for (int channels : {1, 3}) {
        niTypes::niImage8 image;
        image.create(width, height, channels, width * channels, 0);
        for (int i = 0; i < image.dataSize; ++i)
            image.data[i] = static_cast<unsigned char>(i * 131 + 7);
        const std::size_t bytes = static_cast<std::size_t>(image.dataSize);
        std::vector<unsigned char> target(bytes);

        volatile unsigned char sink = 0;
        const double copy = medianMs([&] {
            std::memcpy(target.data(), image.data, bytes);
            sink = sink + target[bytes / 2];
        });
        // rotate allocates its result, so also time a copy into a fresh buffer of the same size
        const double freshCopy = medianMs([&] {
            std::unique_ptr<unsigned char[]> fresh(new unsigned char[bytes]);
            std::memcpy(fresh.get(), image.data, bytes);
            sink = sink + fresh[bytes / 2];
        });
        struct Op {
            const char* name;
            std::function<void()> run;
        } ops[] = {
            {"rotate", [&] { image.rotate(); }},
            {"mirror(0)", [&] { image.mirror(0); }},
            {"mirror(1)", [&] { image.mirror(1); }},
        };
        std::printf("%d x %d, %d channel(s), %zu bytes: memcpy %.3f ms (into a fresh buffer %.3f ms)\n", width,
                    height, channels, bytes, copy, freshCopy);
        for (const Op& op : ops) {
            const double ms = medianMs(op.run);
            const double ratio = ms / copy;
            within = within && ratio <= 3.0;
            std::printf("  %-9s %8.3f ms  %5.2f x memcpy%s\n", op.name, ms, ratio, ratio <= 3.0 ? "" : "  (over 3x)");
        }
    }
    std::printf(within ? "all within 3 times memcpy\n" : "some operations over 3 times memcpy\n");
    return 0;
}
