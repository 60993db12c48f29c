// bench_pixmoor: the graphics core's over operator on full frames, side by
// side with pixman's OVER (premultiplied inputs prepared beforehand) and
// memcpy of one frame, all on the same buffers in one run.
//
// Every row is timed the same way: one warm-up call, then rounds in which
// each row runs once in turn (so a burst of load on the machine hits all
// rows alike), keeping each row's best time.  The frame is measured at
// 1920x1080 and at 3840x2160, where three frames no longer fit in the
// caches and memcpy runs at memory speed, so the ratio to memcpy is honest.
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
#include <string>
#include <vector>

#include "pixmoor.h"
#include "compose.h"
#include "startup.h"

namespace {

struct Row {
    std::string name;
    std::function<void()> prepare;   // untimed, before each call
    std::function<void()> work;
    double best = 1e30;
};

void time_rows(std::vector<Row> &rows, int rounds)
{
    for (Row &r : rows) { r.prepare(); r.work(); }   // warm-up
    for (int k = 0; k < rounds; ++k)
        for (Row &r : rows) {
            r.prepare();
            auto t0 = std::chrono::steady_clock::now();
            r.work();
            auto t1 = std::chrono::steady_clock::now();
            r.best = std::min(r.best, std::chrono::duration<double, std::milli>(t1 - t0).count());
        }
}

DWORD premultiply(DWORD p)
{
    DWORD a = p >> 24;
    auto c = [a](DWORD v) { return (v * a + 127) / 255; };
    return (a << 24) | (c((p >> 16) & 0xFF) << 16) | (c((p >> 8) & 0xFF) << 8) | c(p & 0xFF);
}

// Content: every alpha equally likely over an opaque picture (no shortcut
// helps), or a title-like picture: mostly transparent, opaque glyph bodies
// with soft edges.
void make_frames(int W, int H, bool title, std::vector<DWORD> &top, std::vector<DWORD> &bottom)
{
    const int N = W * H;
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

// Runs a routine with the AVX2 blocks on or off (off: the SSE2 baseline
// that processors without AVX2 take).
std::function<void()> with_avx2(bool on, std::function<void()> f)
{
    return [on, f] {
        LONG saved = g_useAVX2;
        g_useAVX2 = on ? saved : 0;
        f();
        g_useAVX2 = saved;
    };
}

void section_over(int W, int H, bool title, bool avx2)
{
    const int N = W * H;
    std::vector<DWORD> top, bottom, dst(N);
    make_frames(W, H, title, top, bottom);
    std::vector<DWORD> ptop(N), pbottom(N), pdst(N);
    for (int i = 0; i < N; ++i) {
        ptop[i] = premultiply(top[i]);
        pbottom[i] = premultiply(bottom[i]);
    }
    pixman_image_t *src = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, (uint32_t *)ptop.data(), W * 4);
    pixman_image_t *out = pixman_image_create_bits(PIXMAN_a8r8g8b8, W, H, (uint32_t *)pdst.data(), W * 4);
    auto nothing = [] {};
    const DWORD *t = top.data(), *b = bottom.data();
    DWORD *d = dst.data();

    // The layer operations run in place (CompositOnBottomLayer writes into
    // the bottom), as pixman does: those rows restore the bottom untimed
    // before each call, as the pixman row does.
    std::vector<DWORD> work(N);
    DWORD *w = work.data();
    auto restore = [=] { memcpy(w, b, (size_t)N * 4); };

    enum { TABLE_SSE2, TABLE_AVX2, FAST_SSE2, FAST_AVX2, SHORT_SSE2, SHORT_AVX2, INPLACE_SSE2, INPLACE_AVX2, MIXED,
           PIXMAN, MEMCPY };
    std::vector<Row> rows = {
        {"table arithmetic, SSE2", nothing, with_avx2(false, [=] { CompositPelsNonMMX(t, b, d, N); })},
        {"table arithmetic, AVX2", nothing, with_avx2(true, [=] { CompositPelsNonMMX(t, b, d, N); })},
        {"fast arithmetic, SSE2", nothing, with_avx2(false, [=] { CompositPelsMMXOnly(t, b, d, N); })},
        {"fast arithmetic, AVX2", nothing, with_avx2(true, [=] { CompositPelsMMXOnly(t, b, d, N); })},
        {"shortcuts + fast, 3 buffers, SSE2", nothing, with_avx2(false, [=] { pm_over_guarded_array(t, b, d, N); })},
        {"shortcuts + fast, 3 buffers, AVX2", nothing, with_avx2(true, [=] { pm_over_guarded_array(t, b, d, N); })},
        {"shortcuts + fast in place, SSE2", restore, with_avx2(false, [=] { pm_over_guarded_array(t, w, w, N); })},
        {"shortcuts + fast in place, AVX2", restore, with_avx2(true, [=] { pm_over_guarded_array(t, w, w, N); })},
        {"CompositPels, switch on", nothing, [=] { g_useMMX = 1; CompositPels(t, b, d, N); }},
        {"pixman OVER (premultiplied)", [&] { memcpy(pdst.data(), pbottom.data(), (size_t)N * 4); },
         [&] { pixman_image_composite32(PIXMAN_OP_OVER, src, NULL, out, 0, 0, 0, 0, 0, 0, W, H); }},
        {"memcpy of one frame", nothing, [&] { memcpy(d, t, (size_t)N * 4); }},
    };
    if (!avx2) rows[TABLE_AVX2].name += " (no AVX2: SSE2)";
    if (!avx2) rows[FAST_AVX2].name += " (no AVX2: SSE2)";
    if (!avx2) rows[SHORT_AVX2].name += " (no AVX2: SSE2)";
    if (!avx2) rows[INPLACE_AVX2].name += " (no AVX2: SSE2)";
    time_rows(rows, W * H > 4000000 ? 9 : 15);
    pixman_image_unref(src);
    pixman_image_unref(out);

    const double pix = rows[PIXMAN].best, copy = rows[MEMCPY].best;
    printf("\nover operator, %dx%d, %s\n", W, H, title ? "title-like content (mostly 0/255 alpha)" : "every alpha equally likely");
    printf("  %-36s %9s %10s %13s %13s\n", "", "ms/frame", "Mpixel/s", "x pixman", "x memcpy time");
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row &r = rows[i];
        printf("  %-36s %9.3f %10.1f", r.name.c_str(), r.best, N / (r.best * 1000.0));
        if (i != PIXMAN && i != MEMCPY) printf(" %12.2fx %12.2fx", pix / r.best, r.best / copy);
        else if (i == PIXMAN) printf(" %13s %12.2fx", "", r.best / copy);
        printf("\n");
    }
    auto verdict = [&](int i) {
        const Row &r = rows[i];
        bool ok = pix / r.best >= 1.0 && r.best / copy <= 3.0;
        printf("  %-36s %5.2fx pixman  %5.2fx memcpy  %s\n",
               r.name.c_str(), pix / r.best, r.best / copy, ok ? "met" : "NOT met");
    };
    printf("  targets: >= 1.0x pixman throughput and <= 3x memcpy time\n");
    verdict(FAST_SSE2);
    verdict(FAST_AVX2);
    verdict(SHORT_SSE2);
    verdict(SHORT_AVX2);
    verdict(INPLACE_SSE2);
    verdict(INPLACE_AVX2);
}

} // namespace

int main()
{
    PixmoorProcessAttach();
    __builtin_cpu_init();
    const bool avx2 = __builtin_cpu_supports("avx2");
    printf("bench_pixmoor: graphics core over operator against pixman and memcpy (processor AVX2: %s)\n",
           avx2 ? "yes" : "no");
    section_over(1920, 1080, false, avx2);
    section_over(1920, 1080, true, avx2);
    section_over(3840, 2160, false, avx2);
    section_over(3840, 2160, true, avx2);
    return 0;
}
