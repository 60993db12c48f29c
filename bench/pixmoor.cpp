// bench_pixmoor: the graphics core's over operator on full-HD frames, side
// by side with pixman's OVER (premultiplied inputs prepared beforehand) and
// memcpy of the same bytes, all on the same buffers in one run.
//
// Sections are independent functions called from main; a new comparison is
// one more function and one more line there.
#include <windows.h>
#include <pixman.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "pixmoor.h"
#include "compose.h"
#include "startup.h"

namespace {

const int W = 1920, H = 1080, N = W * H;

// Best of several runs, in milliseconds per frame.
double time_ms(const std::function<void()> &prepare, const std::function<void()> &work, int runs = 15)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        prepare();
        auto t0 = std::chrono::steady_clock::now();
        work();
        auto t1 = std::chrono::steady_clock::now();
        best = std::min(best, std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    return best;
}

DWORD premultiply(DWORD p)
{
    DWORD a = p >> 24;
    auto c = [a](DWORD v) { return (v * a + 127) / 255; };
    return (a << 24) | (c((p >> 16) & 0xFF) << 16) | (c((p >> 8) & 0xFF) << 8) | c(p & 0xFF);
}

// Content: every alpha equally likely (no shortcut helps), or a title-like
// picture: mostly transparent, opaque glyph bodies with soft edges.
void make_frames(bool title, std::vector<DWORD> &top, std::vector<DWORD> &bottom)
{
    std::mt19937 rng(title ? 7 : 3);
    top.resize(N);
    bottom.resize(N);
    for (int i = 0; i < N; ++i) {
        DWORD colour = rng() & 0x00FFFFFF;
        DWORD a;
        if (!title) a = rng() & 0xFF;
        else {
            int x = i % W, y = i / W;
            int band = (y / 40) % 4, phase = (x + y) % 64;
            a = band != 1 ? 0 : phase < 40 ? 255 : phase < 48 ? (DWORD)((48 - phase) * 32 - 1) : 0;
        }
        top[i] = (a << 24) | colour;
        bottom[i] = 0xFF000000u | (rng() & 0x00FFFFFF);
    }
}

void section_over(bool title)
{
    std::vector<DWORD> top, bottom, dst(N);
    make_frames(title, top, bottom);
    std::vector<DWORD> ptop(N), pbottom(N), pdst(N);
    for (int i = 0; i < N; ++i) {
        ptop[i] = premultiply(top[i]);
        pbottom[i] = premultiply(bottom[i]);
    }
    pixman_image_t *src = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, (uint32_t *)ptop.data(), W * 4);
    pixman_image_t *out = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, (uint32_t *)pdst.data(), W * 4);
    auto nothing = [] {};

    double table = time_ms(nothing, [&] { CompositPelsNonMMX(top.data(), bottom.data(), dst.data(), N); });
    double fast = time_ms(nothing, [&] { CompositPelsMMXOnly(top.data(), bottom.data(), dst.data(), N); });
    LONG wide = g_useAVX2;
    g_useAVX2 = 0;
    double fastSse2 = time_ms(nothing, [&] { CompositPelsMMXOnly(top.data(), bottom.data(), dst.data(), N); });
    g_useAVX2 = wide;
    double guarded = time_ms(nothing, [&] { pm_over_guarded_array(top.data(), bottom.data(), dst.data(), N); });
    g_useMMX = 1;
    double mixed = time_ms(nothing, [&] { CompositPels(top.data(), bottom.data(), dst.data(), N); });
    double pix = time_ms([&] { memcpy(pdst.data(), pbottom.data(), (size_t)N * 4); },
                         [&] { pixman_image_composite32(PIXMAN_OP_OVER, src, NULL, out, 0, 0, 0, 0, 0, 0, W, H); });
    double copy = time_ms(nothing, [&] { memcpy(dst.data(), top.data(), (size_t)N * 4); });
    pixman_image_unref(src);
    pixman_image_unref(out);

    auto mpix = [](double ms) { return N / (ms * 1000.0); };
    printf("\nover operator, 1920x1080, %s\n", title ? "title-like content (mostly 0/255 alpha)" : "every alpha equally likely");
    printf("  %-38s %8.3f ms/frame %8.1f Mpixel/s\n", "table arithmetic (CompositPelsNonMMX)", table, mpix(table));
    printf("  %-38s %8.3f ms/frame %8.1f Mpixel/s\n", "fast arithmetic (CompositPelsMMXOnly)", fast, mpix(fast));
    printf("  %-38s %8.3f ms/frame %8.1f Mpixel/s\n", "fast arithmetic, SSE2 blocks only", fastSse2, mpix(fastSse2));
    printf("  %-38s %8.3f ms/frame %8.1f Mpixel/s\n", "shortcuts + fast (layer compositing)", guarded, mpix(guarded));
    printf("  %-38s %8.3f ms/frame %8.1f Mpixel/s\n", "CompositPels, switch on", mixed, mpix(mixed));
    printf("  %-38s %8.3f ms/frame %8.1f Mpixel/s\n", "pixman OVER (premultiplied)", pix, mpix(pix));
    printf("  %-38s %8.3f ms/frame %8.1f Mpixel/s\n", "memcpy of one frame", copy, mpix(copy));
    printf("  fast / pixman throughput: %.2fx (target >= 1.0)   fast time / memcpy: %.2fx (target <= 3)\n",
           pix / fast, fast / copy);
    printf("  shortcuts+fast / pixman throughput: %.2fx   shortcuts+fast time / memcpy: %.2fx\n",
           pix / guarded, guarded / copy);
    printf("  table / pixman throughput: %.2fx\n", pix / table);
}

} // namespace

int main()
{
    PixmoorProcessAttach();
    printf("bench_pixmoor: graphics core against pixman and memcpy\n");
    section_over(false);
    section_over(true);
    return 0;
}
