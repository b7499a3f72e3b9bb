// Times rotate, mirror(0) and mirror(1) of a 5-megapixel frame with 1 and 3 channels beside memcpy of the same
// bytes in the same run, and prints the median of each and the median of its per-round ratio to memcpy (target:
// within 3 times). Built with OpenCV, it also times cv::rotate (90 degrees clockwise) and cv::flip on the same frame
// in the same run and prints ours / OpenCV likewise (target: at most 1). Each round runs ours, memcpy and OpenCV in
// turn, so a busy phase of the machine falls on all of them alike.
// Every run starts from the same frame: it is restored from an untouched copy before the run, outside the timing.
// Two cache states, alike for every operation and for memcpy: "warm", where the frame was just written (as a
// frame just delivered by the camera) and the same work ran once untimed just before, and "cold", where a sweep
// over a buffer larger than the last-level cache has pushed frame, copy target and the previous result out before
// the run.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sched.h>

#include "capture/niImage.h"

#ifdef KESTRUNE_BENCH_OPENCV
#include <opencv2/core.hpp>
#endif

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

double medianOf(std::vector<double> times)
{
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}

struct Contender {
    std::function<void()> prepare;  // untimed, before each run
    std::function<void()> work;
};

// Times of each contender, run in turn in every round so that all of them see the same state of the machine
// (frequency, neighbours' load) at about the same time; each run follows its own prepare and, when cold, a sweep.
std::vector<std::vector<double>> timeRounds(const std::vector<Contender>& contenders, bool cold)
{
    std::vector<std::vector<double>> times(contenders.size());
    auto timeOne = [&](const Contender& c) {
        if (!cold) {  // once untimed, so that what the other work ran in between has left the caches again
            c.prepare();
            c.work();
        }
        c.prepare();
        if (cold)
            sweepCaches();
        const auto start = std::chrono::steady_clock::now();
        c.work();
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    };
    for (int i = 0; i <= runs; ++i)
        for (std::size_t k = 0; k < contenders.size(); ++k) {
            const double t = timeOne(contenders[k]);
            if (i > 0)  // the first round only allocates and touches the buffers
                times[k].push_back(t);
        }
    return times;
}

// The median of the per-round ratios a / b: a slow phase of the machine hits both sides of a round alike.
double medianRatio(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size(); ++i)
        ratios.push_back(a[i] / b[i]);
    return medianOf(ratios);
}

// Keeps the thread on the CPU it started on: a move between the untimed and the timed run would empty the private
// caches for whichever contender it hit.
void stayOnThisCpu()
{
    const int cpu = sched_getcpu();
    if (cpu < 0)
        return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    sched_setaffinity(0, sizeof set, &set);
}

}  // namespace

int main()
{
    stayOnThisCpu();
    bool within = true;
#ifdef KESTRUNE_BENCH_OPENCV
    bool notSlower = true;
    cv::setNumThreads(1);  // ours runs on one thread
    std::printf("OpenCV %s: cv::rotate(ROTATE_90_CLOCKWISE) and cv::flip beside ours, one thread\n", CV_VERSION);
#else
    std::printf("built without OpenCV: its comparison is skipped\n");
#endif
    struct Result {
        std::string what;
        double ms, memcpyMs, openCvMs;  // openCvMs negative: not measured
    };
    std::vector<Result> results;
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
            std::function<void()> reference;  // OpenCV's counterpart
        };
        std::vector<Op> ops = {
            {"rotate", [&] { image.rotate(); }, {}},
            {"mirror(0)", [&] { image.mirror(0); }, {}},
            {"mirror(1)", [&] { image.mirror(1); }, {}},
        };
        std::function<void()> restoreMat = [] {};
#ifdef KESTRUNE_BENCH_OPENCV
        // A frame from the camera into a new matrix, as ours gets it; the result goes to a matrix kept between runs.
        const int type = channels == 1 ? CV_8UC1 : CV_8UC3;
        cv::Mat frame(height, width, type), result;
        restoreMat = [&] { std::memcpy(frame.data, original.data, bytes); };
        ops[0].reference = [&] { cv::rotate(frame, result, cv::ROTATE_90_CLOCKWISE); };
        ops[1].reference = [&] { cv::flip(frame, result, 0); };
        ops[2].reference = [&] { cv::flip(frame, result, 1); };
#endif
        std::printf("%d x %d, %d channel(s), %zu bytes, median of %d runs\n", width, height, channels, bytes, runs);
        for (bool cold : {false, true}) {
            std::printf("  %s\n", cold ? "cold" : "warm");
            for (const Op& op : ops) {
                std::vector<Contender> contenders = {{restore, op.run}, {restore, copy}};
                if (op.reference)
                    contenders.push_back({restoreMat, op.reference});
                const auto times = timeRounds(contenders, cold);
                const double ms = medianOf(times[0]), copyMs = medianOf(times[1]);
                const double ratio = medianRatio(times[0], times[1]);
                within = within && ratio <= 3.0;
                std::printf("    %-9s %8.3f ms  memcpy %6.3f ms  %5.2f x memcpy%s", op.name, ms, copyMs, ratio,
                            ratio <= 3.0 ? "" : " (over 3x)");
                double cvMs = -1;
                if (op.reference) {
                    cvMs = medianOf(times[2]);
                    const double vs = medianRatio(times[0], times[2]);
#ifdef KESTRUNE_BENCH_OPENCV
                    notSlower = notSlower && vs <= 1.0;
#endif
                    std::printf("   OpenCV %8.3f ms  ours/OpenCV %5.2f%s", cvMs, vs, vs <= 1.0 ? "" : " (slower)");
                }
                std::printf("\n");
                results.push_back({std::string(op.name) + " " + std::to_string(channels) + "ch " + (cold ? "cold" : "warm"),
                                   ms, copyMs, cvMs});
            }
        }
    }
    std::printf(within ? "all within 3 times memcpy\n" : "some operations over 3 times memcpy\n");
#ifdef KESTRUNE_BENCH_OPENCV
    std::printf(notSlower ? "none slower than OpenCV\n" : "some operations slower than OpenCV\n");
#endif
    // For scripts: "result image <operation> <channels>ch <warm|cold> <ours ms> <memcpy ms> <OpenCV ms or ->".
    for (const Result& r : results) {
        std::printf("result image %s %.3f %.3f ", r.what.c_str(), r.ms, r.memcpyMs);
        if (r.openCvMs < 0)
            std::printf("-\n");
        else
            std::printf("%.3f\n", r.openCvMs);
    }
    return 0;
}
