// Two-pass layer resizer against libswscale's area scaler on the same
// 1920x1080 32-bit picture, scaled to 720x576 in the same run.
//
//   bench_pixmoor_resize.exe [iterations]
#include <windows.h>
#include "bench_load.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
#include <libavutil/pixfmt.h>
}

#include "pixmoor.h"
#include "resize.h"
#include "startup.h"

namespace {

const int SW = 1920, SH = 1080, DW = 720, DH = 576;

template <class Fn>
double best_ms(int iterations, Fn fn)
{
    double best = 1e30;
    for (int i = 0; i < iterations; i++) {
        auto t0 = std::chrono::steady_clock::now();
        fn();
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

}  // namespace

int main(int argc, char **argv)
{
    int iterations = argc > 1 ? std::max(1, atoi(argv[1])) : 20;
    PixmoorProcessAttach();

    Layer *src = CreateLayer(SW, SH, 1);
    Layer *dst = CreateLayer(DW, DH, 1);
    if (!src || !dst) {
        printf("no memory for the layers\n");
        return 1;
    }
    // Smooth gradients with a little noise, opaque.
    unsigned seed = 12345;
    for (int y = 0; y < SH; y++) {
        DWORD *row = (DWORD *)(src->pixels + (size_t)y * src->pitch);
        for (int x = 0; x < SW; x++) {
            seed = seed * 1103515245u + 12345u;
            DWORD n = (seed >> 16) & 15;
            DWORD r = (x * 255 / SW + n) & 0xFF, g = (y * 255 / SH + n) & 0xFF, b = ((x + y) / 12 + n) & 0xFF;
            row[x] = 0xFF000000u | (r << 16) | (g << 8) | b;
        }
    }

    std::vector<uint8_t> swsOut((size_t)DW * DH * 4);
    SwsContext *sws = sws_getContext(SW, SH, AV_PIX_FMT_BGRA, DW, DH, AV_PIX_FMT_BGRA,
                                     SWS_AREA | SWS_FULL_CHR_H_INP | SWS_FULL_CHR_H_INT, nullptr, nullptr, nullptr);
    if (!sws) {
        printf("libswscale refused the area scaler\n");
        return 1;
    }
    const uint8_t *srcPlanes[4] = {src->pixels, nullptr, nullptr, nullptr};
    int srcStrides[4] = {src->pitch, 0, 0, 0};
    uint8_t *dstPlanes[4] = {swsOut.data(), nullptr, nullptr, nullptr};
    int dstStrides[4] = {DW * 4, 0, 0, 0};

    // Warm both up once.
    ResizeLayer(dst, src);
    sws_scale(sws, srcPlanes, srcStrides, 0, SH, dstPlanes, dstStrides);

    // Alternate the two so that both see the same machine load.
    double ours = 1e30, theirs = 1e30;
    for (int i = 0; i < iterations; i++) {
        ours = std::min(ours, best_ms(1, [&] { ResizeLayer(dst, src); }));
        theirs = std::min(theirs, best_ms(1, [&] { sws_scale(sws, srcPlanes, srcStrides, 0, SH, dstPlanes, dstStrides); }));
    }

    // How far apart the two pictures are (both are area averages).
    long long diff = 0;
    int worst = 0;
    for (int y = 0; y < DH; y++) {
        const BYTE *a = dst->pixels + (size_t)y * dst->pitch;
        const uint8_t *b = swsOut.data() + (size_t)y * DW * 4;
        for (int i = 0; i < DW * 4; i++) {
            int d = abs((int)a[i] - (int)b[i]);
            diff += d;
            worst = std::max(worst, d);
        }
    }

    double lines = best_ms(std::max(1, iterations / 4), [&] { ResizeLayerCorrect(dst, src); });
    ResizeNarrowLanesOnly(1);
    double narrow = best_ms(iterations, [&] { ResizeLayer(dst, src); });
    ResizeNarrowLanesOnly(0);

    printf("resize %dx%d -> %dx%d, best of %d\n", SW, SH, DW, DH, iterations);
    printf("  ResizeLayer (two-pass)   %8.3f ms\n", ours);
    printf("    two double lanes only  %8.3f ms\n", narrow);
    printf("  ResizeLayerCorrect (line by line through the scale engine) %8.3f ms\n", lines);
    printf("  libswscale SWS_AREA, full chroma (SWS_FULL_CHR_H_INP | SWS_FULL_CHR_H_INT) %8.3f ms\n", theirs);
    printf("  throughput ratio ours/libswscale: %.2fx (target >= 0.80x)\n", theirs / ours);
    printf("  mean byte difference %.3f, largest %d\n", (double)diff / ((double)DW * DH * 4), worst);

    PrintBenchLoad("at the end");
    sws_freeContext(sws);
    DeleteLayer(dst);
    DeleteLayer(src);
    return 0;
}
