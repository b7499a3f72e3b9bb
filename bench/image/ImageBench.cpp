// Times rotate, mirror(0) and mirror(1) of a 5-megapixel frame with 1 and 3 channels beside memcpy of the same
// bytes in the same run, and prints the median of each and its ratio to memcpy (target: within 3 times).
// Every run starts from the same frame: it is restored from an untouched copy before the run, outside the timing.
// Two cache states, alike for every operation and for memcpy: "warm", where the frame was just written (as a
// frame just delivered by the camera), and "cold", where a sweep over a buffer larger than the last-level cache
// has pushed frame, copy target and the previous result out before the run.
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
constexpr std::size_t sweepBytes = std::size_t(96) << 20;

volatile unsigned char sink = 0;

void sweepCaches()
{
    static std::vector<unsigned char> scratch(sweepBytes, 1);
    unsigned char sum = 0;
    for (std::size_t i = 0; i < scratch.size(); i += 64) {
        scratch[i] = static_cast<unsigned char>(scratch[i] + 1);
        sum = static_cast<unsigned char>(sum + scratch[i]);
    }
    sink = sink + sum;
}

double medianMs(const std::function<void()>& prepare, const std::function<void()>& work, bool cold)
{
    std::vector<double> times;
    for (int i = 0; i <= runs; ++i) {
        prepare();
        if (cold)
            sweepCaches();
        const auto start = std::chrono::steady_clock::now();
        work();
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        if (i > 0)  // the first run only allocates and touches the buffers
            times.push_back(ms);
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    return times[runs / 2];
}

}  // namespace

int main()
{
    bool within = true;
    for (int channels : {1, 3}) {
        niTypes::niImage8 original;
        original.create(width, height, channels, width * channels, 0);
        for (int i = 0; i < original.dataSize; ++i)
            original.data[i] = static_cast<unsigned char>(i * 131 + 7);
        const std::size_t bytes = static_cast<std::size_t>(original.dataSize);

        niTypes::niImage8 image;
        auto restore = [&] {
            image.create(width, height, channels, width * channels, 0);
            std::memcpy(image.data, original.data, bytes);
        };
        std::vector<unsigned char> target(bytes);
        auto copy = [&] {
            std::memcpy(target.data(), image.data, bytes);
            sink = sink + target[bytes / 2];
        };
        struct Op {
            const char* name;
            std::function<void()> run;
        } ops[] = {
            {"rotate", [&] { image.rotate(); }},
            {"mirror(0)", [&] { image.mirror(0); }},
            {"mirror(1)", [&] { image.mirror(1); }},
        };
        std::printf("%d x %d, %d channel(s), %zu bytes, median of %d runs\n", width, height, channels, bytes, runs);
        for (bool cold : {false, true}) {
            const double copyMs = medianMs(restore, copy, cold);
            std::printf("  %s: memcpy %.3f ms\n", cold ? "cold" : "warm", copyMs);
            for (const Op& op : ops) {
                const double ms = medianMs(restore, op.run, cold);
                const double ratio = ms / copyMs;
                within = within && ratio <= 3.0;
                std::printf("    %-9s %8.3f ms  %5.2f x memcpy%s\n", op.name, ms, ratio, ratio <= 3.0 ? "" : "  (over 3x)");
            }
        }
    }
    std::printf(within ? "all within 3 times memcpy\n" : "some operations over 3 times memcpy\n");
    return 0;
}
