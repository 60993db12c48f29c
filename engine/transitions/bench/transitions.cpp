// bench_transitions [elapsed-percent]
//
// Cost of composing one frame with every entry of the transition table at
// 320x240, 720x576 and 1920x1080, side by side with memcpy of one frame of
// the same size (the floor).  Prints milliseconds per frame and the ratio to
// memcpy; the target is every entry within 3x of memcpy at 1920x1080.
#include "transitions.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Median of five runs of `reps` calls, in milliseconds per call.
template <class F> double Measure(F &&f, int reps)
{
    double runs[5];
    for (double &r : runs)
    {
        auto t0 = Clock::now();
        for (int i = 0; i < reps; ++i) f();
        r = std::chrono::duration<double, std::milli>(Clock::now() - t0).count() / reps;
    }
    std::sort(runs, runs + 5);
    return runs[2];
}

} // namespace

int main(int argc, char **argv)
{
    const int percent = argc > 1 ? atoi(argv[1]) : 50;
    struct Size
    {
        int w, h;
    } sizes[] = {{320, 240}, {720, 576}, {1920, 1080}};

    double results[3][kTransitionCount];
    double floors[3];
    for (int s = 0; s < 3; ++s)
    {
        const int w = sizes[s].w, h = sizes[s].h;
        const size_t n = size_t(w) * h;
        std::vector<uint32_t> a(n), b(n), out(n);
        for (size_t i = 0; i < n; ++i)
        {
            a[i] = uint32_t(i * 2654435761u) | 0xFF000000u;
            b[i] = uint32_t(i * 40503u + 12345u);
        }
        const int reps = std::max(3, int(20000000 / n));
        floors[s] = Measure([&] { memcpy(out.data(), a.data(), n * 4); }, reps);
        volatile int32_t composing = 1;
        for (int i = 0; i < kTransitionCount; ++i)
        {
            TransitionFrame f = {};
            f.a = reinterpret_cast<const uint8_t *>(a.data());
            f.b = reinterpret_cast<const uint8_t *>(b.data());
            f.out = reinterpret_cast<uint8_t *>(out.data());
            f.aPitch = f.bPitch = f.outPitch = ptrdiff_t(w) * 4;
            f.elapsed = uint32_t(percent * 10);
            f.duration = 1000;
            f.width = w;
            f.height = h;
            f.autoTransition = 1;
            f.composing = &composing;
            results[s][i] = Measure([&] { TransitionEffects[i].routine(f); }, reps);
        }
    }

    printf("one frame at %d%%: milliseconds per frame and ratio to memcpy of the frame\n\n", percent);
    printf("%-22s", "entry");
    for (const Size &sz : sizes) printf(" %10dx%-5d      ", sz.w, sz.h);
    printf("\n%-22s", "memcpy");
    for (int s = 0; s < 3; ++s) printf(" %9.3f ms  1.00x    ", floors[s]);
    printf("\n");
    double worst = 0;
    int worstIndex = 0;
    for (int i = 0; i < kTransitionCount; ++i)
    {
        printf("%2d %-19s", i, TransitionEffects[i].name);
        for (int s = 0; s < 3; ++s) printf(" %9.3f ms %5.2fx    ", results[s][i], results[s][i] / floors[s]);
        printf("\n");
        double r = results[2][i] / floors[2];
        if (r > worst)
        {
            worst = r;
            worstIndex = i;
        }
    }
    printf("\nworst at 1920x1080: %s %.2fx memcpy (target 3x): %s\n", TransitionEffects[worstIndex].name, worst,
           worst <= 3.0 ? "met" : "missed");
    return 0;
}
