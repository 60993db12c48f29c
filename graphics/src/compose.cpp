// The over operator on straight-alpha pixels: the exact table arithmetic,
// the fast arithmetic (packed 16-bit multiplies through a reciprocal of the
// result alpha, done with SSE2 here), their tables and the pixel-array
// exports.
#include <windows.h>
#include "compose.h"
#include "over_kernels.h"

WORD  ProductTable[65536];
BYTE  CoverTable[65536];
WORD  BlendWeightTable[65536];
BYTE  UnmultiplyTable[65536];
SHORT ReciprocalTable[256][4];
LONG  g_useMMX;

extern "C" LONG BuildCompositTables(void)
{
    ReciprocalTable[0][0] = ReciprocalTable[0][1] = ReciprocalTable[0][2] = 0;
    ReciprocalTable[0][3] = 515;
    for (int i = 1; i < 256; ++i) {
        SHORT w = i < 5 ? 32767 : (SHORT)(131325 / i);
        ReciprocalTable[i][0] = ReciprocalTable[i][1] = ReciprocalTable[i][2] = w;
        ReciprocalTable[i][3] = 515;
    }
    for (unsigned j = 0; j < 256; ++j)
        for (unsigned k = 0; k < 256; ++k)
            ProductTable[(j << 8) | k] = (WORD)((j * k * 256 + 127) / 255);
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned b = 0; b < 256; ++b) {
            WORD v;
            if (a + b >= 256) v = (WORD)((a << 8) | (255 - a));
            else if (a + b == 0) v = 0;
            else {
                unsigned q = (255 * a + (a + b) / 2) / (a + b);
                v = (WORD)((q << 8) | (255 - q));
            }
            BlendWeightTable[(a << 8) | b] = v;
        }
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned b = 0; b < 256; ++b)
            CoverTable[(a << 8) | b] = (BYTE)((255 - a) * b / 255);
    for (unsigned a = 0; a < 256; ++a)
        for (unsigned b = 0; b < 256; ++b) {
            unsigned d = a ? a : 1, v = 255 * b / d;
            UnmultiplyTable[(a << 8) | b] = (BYTE)(v > 255 ? 255 : v);
        }
    return 1;
}

// One pixel of the fast arithmetic, written out word by word.
DWORD pm_over_fast1(DWORD t, DWORD b)
{
    DWORD at = t >> 24, ab = b >> 24;
    DWORD p = (at * ab + 255) >> 8;
    DWORD e = ab - p;
    DWORD ao = at + e;
    const SHORT *w = ReciprocalTable[ao];
    DWORD out = 0;
    for (int c = 0; c < 3; ++c) {
        DWORD ct = (t >> (8 * c)) & 0xFF, cb = (b >> (8 * c)) & 0xFF;
        DWORD x = ((ct * at + cb * e) >> 1) & 0xFFFF;
        LONG v = (LONG)(((LONGLONG)(SHORT)x * w[c]) >> 16);
        if (v < 0) v = 0;
        if (v > 255) v = 255;
        out |= (DWORD)v << (8 * c);
    }
    DWORD xa = (255 * ao) >> 1;
    DWORD va = (xa * 515) >> 16;
    if (va > 255) va = 255;
    return out | (va << 24);
}

// The packed kernels (over_kernels.h) on SSE2 registers; the AVX2 twins
// live in compose_avx2.cpp, compiled for AVX2 as a whole and chosen at run
// time.  Both give the scalar definitions' pixels word for word.
typedef OverKernels<V128> K128;
typedef const unsigned *CPix;

void pm_fast_avx2(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count);
void pm_guarded_avx2(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count);
void pm_table_avx2(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count);
void pm_mixed_avx2(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count);
LONG g_useAVX2 = -1;

// The switch may be turned off (benchmarks, tests), never on where the
// processor lacks AVX2.
static bool use_avx2()
{
    static LONG cpu = -1;
    if (cpu < 0) {
        __builtin_cpu_init();
        cpu = __builtin_cpu_supports("avx2") ? 1 : 0;
    }
    if (g_useAVX2 < 0) g_useAVX2 = cpu;
    return g_useAVX2 > 0 && cpu > 0;
}

void pm_over_fast_array(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    if (use_avx2()) pm_fast_avx2(top, bottom, dst, count);
    else K128::run<K128::fast_block>((CPix)top, (CPix)bottom, (unsigned *)dst, count);
}

// Over with the shortcuts of the table arithmetic and the fast arithmetic
// behind the guard "bottom alpha >= 5"; a pixel that fails the guard takes
// the table arithmetic.
void pm_over_guarded_array(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    if (use_avx2()) pm_guarded_avx2(top, bottom, dst, count);
    else K128::run<K128::over_guarded, true>((CPix)top, (CPix)bottom, (unsigned *)dst, count);
}

void pm_over_table_array(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    if (use_avx2()) pm_table_avx2(top, bottom, dst, count);
    else K128::run<K128::over_table, true>((CPix)top, (CPix)bottom, (unsigned *)dst, count);
}

static void over_mixed_array(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    if (use_avx2()) pm_mixed_avx2(top, bottom, dst, count);
    else K128::run<K128::over_mixed, true>((CPix)top, (CPix)bottom, (unsigned *)dst, count);
}

extern "C" {

DWORD PIXAPI CompositPel(DWORD top, DWORD bottom) { return pm_over(top, bottom); }

LONG PIXAPI CompositPelsNonMMX(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    if (!top || !bottom || !dst) return 0;
    if (count > 0) pm_over_table_array(top, bottom, dst, count);
    return 1;
}

LONG PIXAPI CompositPels(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    if (!top || !bottom || !dst) return 0;
    if (count <= 0) return 1;
    // With the switch on, a top alpha of 5..127 (read as a signed byte)
    // takes the fast arithmetic after the shortcuts; every other pixel the
    // table over.
    if (!g_useMMX) pm_over_table_array(top, bottom, dst, count);
    else over_mixed_array(top, bottom, dst, count);
    return 1;
}

LONG PIXAPI CompositPelsMMXOnly(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    if (!top || !bottom || !dst || count <= 0) return 0;
    pm_over_fast_array(top, bottom, dst, count);
    return 1;
}

LONG PIXAPI ClockCompositThreePels(const DWORD *top, const DWORD *shadow, DWORD *dst, LONG count)
{
    if (!top || !shadow || !dst) return 0;
    for (LONG i = 0; i < count; ++i) {
        DWORD t = top[i], as = shadow[i] >> 24, x;
        if (as >= 4) {
            if ((t >> 24) == 255) { dst[i] = t; continue; }
            x = pm_over(t, (as >> 1) << 24);
        } else {
            x = t;
        }
        DWORD ax = x >> 24, d = dst[i];
        if (ax == 0) continue;
        if (ax == 255 || (d >> 24) == 0) dst[i] = x;
        else dst[i] = pm_over(x, d);
    }
    return 1;
}

LONG PIXAPI CompositOnTop(DWORD *top, const DWORD *bottom, LONG count)
{
    if (!top || !bottom) return 0;
    if (count > 0) pm_over_table_array(top, bottom, top, count);
    return 1;
}

LONG PIXAPI CompositOnBottom(const DWORD *top, DWORD *bottom, LONG count)
{
    if (!top || !bottom) return 0;
    if (count > 0) pm_over_table_array(top, bottom, bottom, count);
    return 1;
}

LONG PIXAPI CompositAgainstBlack(DWORD *pixels, LONG count)
{
    if (!pixels) return 0;
    for (LONG i = 0; i < count; ++i) {
        DWORD p = pixels[i], a = p >> 24;
        pixels[i] = 0xFF000000u | (pm_scale((p >> 16) & 0xFF, a) << 16) |
                    (pm_scale((p >> 8) & 0xFF, a) << 8) | pm_scale(p & 0xFF, a);
    }
    return 1;
}

DWORD PIXAPI TestComposit1(void)
{
    volatile DWORD t = 0x7F7F7F7Fu, b = 0x30303030u;
    DWORD r = 0;
    for (int i = 0; i < 1000000; ++i) r = pm_over(t, b);
    return r;
}

// A second formulation timed against the first: divides by the result alpha
// through 32-bit reciprocals.
static DWORD s_recip32[256];

DWORD PIXAPI TestComposit2(void)
{
    if (!s_recip32[1]) {
        s_recip32[0] = 0;
        s_recip32[1] = 0xFFFFFFFFu;
        for (unsigned i = 2; i < 256; ++i) s_recip32[i] = (DWORD)(4294967296ULL / i);
    }
    volatile DWORD t = 0x7F7F7F7Fu, b = 0x30303030u;
    DWORD r = 0;
    for (int n = 0; n < 1000000; ++n) {
        DWORD tt = t, bb = b, at = tt >> 24, ab = bb >> 24;
        DWORD e = CoverTable[(at << 8) | ab], ao = at + e, out = ao << 24;
        for (int c = 0; c < 24; c += 8) {
            ULONGLONG sum = ((tt >> c) & 0xFF) * at + ((bb >> c) & 0xFF) * e;
            DWORD v = (DWORD)((sum * s_recip32[ao]) >> 32);
            out |= (v > 255 ? 255 : v) << c;
        }
        r = out;
    }
    return r;
}

} // extern "C"
