// bench_transitions [elapsed-percent] [kernel-level: 0 = SSE2, 1 = AVX2 where present]
//
// Cost of composing one frame with every entry of the transition table at
// 320x240, 720x576 and 1920x1080, side by side with memcpy of one frame of
// the same size (the floor).  Prints milliseconds per frame and the ratio to
// memcpy; the target is every entry within 3x of memcpy at 1920x1080.
#include "transitions.h"
#include "transitions_internal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// The machine may be busy with other work, so memcpy and the routine are
// timed in alternation, fifteen rounds of `reps` calls each, and the best
// round of each counts (in milliseconds per call): the floor is measured in
// the same conditions as the routine it is compared with.
struct Pair
{
    double floor, routine;
};

template <class F, class G> Pair MeasurePair(F &&floorFn, G &&routineFn, int reps)
{
    Pair best{1e30, 1e30};
    for (int round = 0; round < 15; ++round)
    {
        auto t0 = Clock::now();
        for (int i = 0; i < reps; ++i) floorFn();
        auto t1 = Clock::now();
        for (int i = 0; i < reps; ++i) routineFn();
        auto t2 = Clock::now();
        best.floor = std::min(best.floor, std::chrono::duration<double, std::milli>(t1 - t0).count() / reps);
        best.routine = std::min(best.routine, std::chrono::duration<double, std::milli>(t2 - t1).count() / reps);
    }
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    const int percent = argc > 1 ? atoi(argv[1]) : 50;
    const int level = TransitionKernelLevel(argc > 2 ? atoi(argv[2]) : 1);
    struct Size
    {
        int w, h;
    } sizes[] = {{320, 240}, {720, 576}, {1920, 1080}};

    double results[3][kTransitionCount], pairedFloor[3][kTransitionCount];
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
        auto copy = [&] { memcpy(out.data(), a.data(), n * 4); };
        floors[s] = 1e30;
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
            Pair p = MeasurePair(copy, [&] { TransitionEffects[i].routine(f); }, reps);
            results[s][i] = p.routine;
            pairedFloor[s][i] = p.floor;
            floors[s] = std::min(floors[s], p.floor);
        }
    }

    printf("one frame at %d%% with %s kernels: milliseconds per frame and ratio to memcpy of the frame\n", percent,
           level ? "AVX2" : "SSE2");
    printf("(each ratio against the memcpy timed in alternation with that entry; memcpy row: best seen)\n\n");
    printf("%-22s", "entry");
    for (const Size &sz : sizes) printf(" %10dx%-5d      ", sz.w, sz.h);
    printf("\n%-22s", "memcpy");
    for (int s = 0; s < 3; ++s) printf(" %9.3f ms  1.00x    ", floors[s]);
    printf("\n");
    double worst = 0, worstBest = 0;
    int worstIndex = 0, worstBestIndex = 0;
    for (int i = 0; i < kTransitionCount; ++i)
    {
        printf("%2d %-19s", i, TransitionEffects[i].name);
        for (int s = 0; s < 3; ++s) printf(" %9.3f ms %5.2fx    ", results[s][i], results[s][i] / pairedFloor[s][i]);
        printf("\n");
        double r = results[2][i] / pairedFloor[2][i];
        double rb = results[2][i] / floors[2];
        if (rb > worstBest)
        {
            worstBest = rb;
            worstBestIndex = i;
        }
        if (r > worst)
        {
            worst = r;
            worstIndex = i;
        }
    }
    printf("\nworst at 1920x1080: %s %.2fx memcpy (target 3x): %s\n", TransitionEffects[worstIndex].name, worst,
           worst <= 3.0 ? "met" : "missed");
    printf("against the best memcpy seen (source and output hot in cache): %s %.2fx\n",
           TransitionEffects[worstBestIndex].name, worstBest);
    return 0;
}
