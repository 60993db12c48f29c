/*
 * Per-frame routines of the transition table.
 *
 * Geometry: a = elapsed x width / duration and c = elapsed x height /
 * duration, both rounded to nearest.  The elapsed time is clamped to the
 * duration first: a manual position past the end would otherwise put a and c
 * outside the frame (reads before the pictures) and give the manual
 * picture-in-picture factor 0 (division by zero).
 *
 * Channel arithmetic: a weighted channel sum v (weights summing to 255) is
 * divided by 255 as (v + 0x80 + ((v + 0x80) >> 8)) >> 8, which equals v / 255
 * rounded to nearest; two channels at a time in 16-bit lanes.
 */
#include "transitions.h"
#include "transitions_internal.h"

#include <immintrin.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct Geometry
{
    int64_t e;  /* elapsed, 0..d */
    int64_t d;  /* duration, > 0 */
    int w, h;
};

inline Geometry Normalise(const TransitionFrame &f)
{
    Geometry g;
    g.w = f.width;
    g.h = f.height;
    if (f.duration <= 0)
    {
        g.d = 1;
        g.e = 1;
    }
    else
    {
        g.d = f.duration;
        g.e = std::min<int64_t>(f.elapsed, g.d);
    }
    return g;
}

inline bool Drawable(const TransitionFrame &f)
{
    return f.a && f.b && f.out && f.width > 0 && f.height > 0;
}

inline const uint32_t *RowA(const TransitionFrame &f, int y)
{
    return reinterpret_cast<const uint32_t *>(f.a + ptrdiff_t(y) * f.aPitch);
}
inline const uint32_t *RowB(const TransitionFrame &f, int y)
{
    return reinterpret_cast<const uint32_t *>(f.b + ptrdiff_t(y) * f.bPitch);
}
inline uint32_t *RowOut(const TransitionFrame &f, int y)
{
    return reinterpret_cast<uint32_t *>(f.out + ptrdiff_t(y) * f.outPitch);
}

inline void Copy(uint32_t *dst, const uint32_t *src, int n)
{
    if (n > 0) memcpy(dst, src, size_t(n) * 4);
}

/* ---- channel kernels ---------------------------------------------------- */

/* One pixel: a x (255 - t) + b x t per channel, divided by 255, as two
 * byte pairs (blue/red and green/alpha). */
inline uint32_t BlendPixel(uint32_t a, uint32_t b, uint32_t t)
{
    const uint32_t it = 255 - t;
    uint32_t rb = (a & 0x00FF00FF) * it + (b & 0x00FF00FF) * t + 0x00800080;
    uint32_t ag = ((a >> 8) & 0x00FF00FF) * it + ((b >> 8) & 0x00FF00FF) * t + 0x00800080;
    rb = ((rb + ((rb >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
    ag = (ag + ((ag >> 8) & 0x00FF00FF)) & 0xFF00FF00;
    return rb | ag;
}

inline uint32_t ScalePixel(uint32_t a, uint32_t s)
{
    uint32_t rb = (a & 0x00FF00FF) * s + 0x00800080;
    uint32_t ag = ((a >> 8) & 0x00FF00FF) * s + 0x00800080;
    rb = ((rb + ((rb >> 8) & 0x00FF00FF)) >> 8) & 0x00FF00FF;
    ag = (ag + ((ag >> 8) & 0x00FF00FF)) & 0xFF00FF00;
    return rb | ag;
}

/* x / 255 rounded for x = v + 0x80 in 16-bit lanes: (x + (x >> 8)) >> 8
 * equals (x x 257) >> 16 for every 16-bit x. */
inline __m128i Div255(__m128i x) { return _mm_mulhi_epu16(x, _mm_set1_epi16(257)); }

void BlendRowSse2(uint32_t *out, const uint32_t *a, const uint32_t *b, int n, uint32_t t)
{
    int i = 0;
    const __m128i zero = _mm_setzero_si128(), round = _mm_set1_epi16(0x80);
    const __m128i wt = _mm_set1_epi16(short(t)), wi = _mm_set1_epi16(short(255 - t));
    for (; i + 4 <= n; i += 4)
    {
        __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i));
        __m128i vb = _mm_loadu_si128(reinterpret_cast<const __m128i *>(b + i));
        __m128i lo = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(va, zero), wi),
                                                 _mm_mullo_epi16(_mm_unpacklo_epi8(vb, zero), wt)),
                                   round);
        __m128i hi = _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(va, zero), wi),
                                                 _mm_mullo_epi16(_mm_unpackhi_epi8(vb, zero), wt)),
                                   round);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_packus_epi16(Div255(lo), Div255(hi)));
    }
    for (; i < n; ++i) out[i] = BlendPixel(a[i], b[i], t);
}

void ScaleRowSse2(uint32_t *out, const uint32_t *a, int n, uint32_t s)
{
    int i = 0;
    const __m128i zero = _mm_setzero_si128(), round = _mm_set1_epi16(0x80), ws = _mm_set1_epi16(short(s));
    for (; i + 4 <= n; i += 4)
    {
        __m128i va = _mm_loadu_si128(reinterpret_cast<const __m128i *>(a + i));
        __m128i lo = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(va, zero), ws), round);
        __m128i hi = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(va, zero), ws), round);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm_packus_epi16(Div255(lo), Div255(hi)));
    }
    for (; i < n; ++i) out[i] = ScalePixel(a[i], s);
}

/* Point sampling through a column map (map[i] < srcWidth), four pixels to
 * one store. */
void GatherPlain(uint32_t *o, const uint32_t *src, const int *map, int n, int)
{
    int i = 0;
    for (; i + 4 <= n; i += 4)
    {
        __m128i v = _mm_set_epi32(int(src[map[i + 3]]), int(src[map[i + 2]]), int(src[map[i + 1]]),
                                  int(src[map[i]]));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(o + i), v);
    }
    for (; i < n; ++i) o[i] = src[map[i]];
}

/* The same kernels eight pixels at a time where the processor has AVX2. */
__attribute__((target("avx2"))) inline __m256i Div255Avx2(__m256i x)
{
    return _mm256_mulhi_epu16(x, _mm256_set1_epi16(257));
}

__attribute__((target("avx2"))) void BlendRowAvx2(uint32_t *out, const uint32_t *a, const uint32_t *b, int n,
                                                  uint32_t t)
{
    int i = 0;
    const __m256i zero = _mm256_setzero_si256(), round = _mm256_set1_epi16(0x80);
    const __m256i wt = _mm256_set1_epi16(short(t)), wi = _mm256_set1_epi16(short(255 - t));
    for (; i + 8 <= n; i += 8)
    {
        __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(a + i));
        __m256i vb = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(b + i));
        __m256i lo = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(va, zero), wi),
                                                       _mm256_mullo_epi16(_mm256_unpacklo_epi8(vb, zero), wt)),
                                      round);
        __m256i hi = _mm256_add_epi16(_mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(va, zero), wi),
                                                       _mm256_mullo_epi16(_mm256_unpackhi_epi8(vb, zero), wt)),
                                      round);
        /* unpack and pack work within 128-bit halves, so the order comes back. */
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i),
                            _mm256_packus_epi16(Div255Avx2(lo), Div255Avx2(hi)));
    }
    for (; i < n; ++i) out[i] = BlendPixel(a[i], b[i], t);
}

__attribute__((target("avx2"))) void ScaleRowAvx2(uint32_t *out, const uint32_t *a, int n, uint32_t s)
{
    int i = 0;
    const __m256i zero = _mm256_setzero_si256(), round = _mm256_set1_epi16(0x80), ws = _mm256_set1_epi16(short(s));
    for (; i + 8 <= n; i += 8)
    {
        __m256i va = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(a + i));
        __m256i lo = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(va, zero), ws), round);
        __m256i hi = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(va, zero), ws), round);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i),
                            _mm256_packus_epi16(Div255Avx2(lo), Div255Avx2(hi)));
    }
    for (; i < n; ++i) out[i] = ScalePixel(a[i], s);
}

/* Where eight map entries fall within sixteen source pixels (a reduction to
 * no less than half), two loads and two lane permutes give eight pixels;
 * elsewhere the eight are fetched one by one into one store. */
__attribute__((target("avx2"))) void GatherAvx2(uint32_t *o, const uint32_t *src, const int *map, int n,
                                                int srcWidth)
{
    const __m256i seven = _mm256_set1_epi32(7);
    int i = 0;
    for (; i + 8 <= n; i += 8)
    {
        const int base = map[i];
        __m256i v;
        if (map[i + 7] - base < 16 && base + 16 <= srcWidth)
        {
            __m256i rel = _mm256_sub_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(map + i)),
                                           _mm256_set1_epi32(base));
            __m256i lo = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + base));
            __m256i hi = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + base + 8));
            /* The permute uses the low three bits of each index. */
            v = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(lo, rel), _mm256_permutevar8x32_epi32(hi, rel),
                                   _mm256_cmpgt_epi32(rel, seven));
        }
        else
            v = _mm256_setr_epi32(int(src[base]), int(src[map[i + 1]]), int(src[map[i + 2]]), int(src[map[i + 3]]),
                                  int(src[map[i + 4]]), int(src[map[i + 5]]), int(src[map[i + 6]]),
                                  int(src[map[i + 7]]));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(o + i), v);
    }
    for (; i < n; ++i) o[i] = src[map[i]];
}

struct Kernels
{
    int level;
    void (*blend)(uint32_t *, const uint32_t *, const uint32_t *, int, uint32_t);
    void (*scale)(uint32_t *, const uint32_t *, int, uint32_t);
    void (*gather)(uint32_t *, const uint32_t *, const int *, int, int);
};

bool HasAvx2()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

Kernels KernelsFor(int level)
{
    if (level >= 1 && HasAvx2()) return {1, BlendRowAvx2, ScaleRowAvx2, GatherAvx2};
    return {0, BlendRowSse2, ScaleRowSse2, GatherPlain};
}

Kernels &K()
{
    static Kernels k = KernelsFor(1);
    return k;
}

inline void BlendRow(uint32_t *out, const uint32_t *a, const uint32_t *b, int n, uint32_t t)
{
    K().blend(out, a, b, n, t);
}

void ScaleRow(uint32_t *out, const uint32_t *a, int n, uint32_t s)
{
    if (s == 255)
    {
        Copy(out, a, n);
        return;
    }
    if (s == 0)
    {
        memset(out, 0, size_t(n) * 4);
        return;
    }
    K().scale(out, a, n, s);
}

inline void Gather(uint32_t *o, const uint32_t *src, const int *map, int n, int srcWidth)
{
    if (n > 0) K().gather(o, src, map, n, srcWidth);
}

/* ---- 0: cut ------------------------------------------------------------- */

void Cut(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    for (int y = 0; y < f.height; ++y) Copy(RowOut(f, y), RowA(f, y), f.width);
}

/* ---- 1, 2: soft-edged wipes -------------------------------------------- */

const uint8_t kBandWeights[8] = {255, 223, 191, 159, 127, 95, 63, 31};

/* L fills the left part, R the right; the band before the edge blends L
 * (band weight) with R (255 - weight). */
void SoftWipe(const TransitionFrame &f, bool swap, float p)
{
    const int w = f.width;
    const int edge = int(float(w + 8) * p);
    const int bandStart = edge - 8;
    const int pureL = std::clamp(bandStart, 0, w);
    const int bandEnd = std::clamp(edge, 0, w);
    for (int y = 0; y < f.height; ++y)
    {
        if (f.composing && *f.composing == 0) return;
        const uint32_t *l = swap ? RowA(f, y) : RowB(f, y);
        const uint32_t *r = swap ? RowB(f, y) : RowA(f, y);
        uint32_t *o = RowOut(f, y);
        Copy(o, l, pureL);
        for (int x = pureL; x < bandEnd; ++x) o[x] = BlendPixel(r[x], l[x], kBandWeights[x - bandStart]);
        Copy(o + bandEnd, r + bandEnd, w - bandEnd);
    }
}

void LeftWipe(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    SoftWipe(f, false, float(g.e) / float(g.d));
}

void RightWipe(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    SoftWipe(f, true, 1.0f - float(g.e) / float(g.d));
}

/* ---- 3, 4: hard vertical wipes ----------------------------------------- */

void UpWipe(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int c = TransitionMulDiv(g.e, g.h, g.d);
    for (int y = 0; y < g.h; ++y) Copy(RowOut(f, y), y >= g.h - c ? RowB(f, y) : RowA(f, y), g.w);
}

void DownWipe(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int c = TransitionMulDiv(g.e, g.h, g.d);
    for (int y = 0; y < g.h; ++y) Copy(RowOut(f, y), y < c ? RowB(f, y) : RowA(f, y), g.w);
}

/* ---- 5..12: scrolls and pushes ----------------------------------------- */

/* Horizontal: the left part (width left) comes from L starting at column
 * lFrom, the rest from R starting at column rFrom. */
void HorizontalSplit(const TransitionFrame &f, bool leftIsB, int left, int lFrom, int rFrom)
{
    for (int y = 0; y < f.height; ++y)
    {
        const uint32_t *a = RowA(f, y), *b = RowB(f, y);
        uint32_t *o = RowOut(f, y);
        Copy(o, (leftIsB ? b : a) + lFrom, left);
        Copy(o + left, (leftIsB ? a : b) + rFrom, f.width - left);
    }
}

void LeftScroll(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int a = TransitionMulDiv(g.e, g.w, g.d);
    HorizontalSplit(f, true, a, g.w - a, a);
}

void RightScroll(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int a = TransitionMulDiv(g.e, g.w, g.d);
    HorizontalSplit(f, false, g.w - a, 0, 0);
}

void LeftPush(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int a = TransitionMulDiv(g.e, g.w, g.d);
    HorizontalSplit(f, true, a, g.w - a, 0);
}

void RightPush(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int a = TransitionMulDiv(g.e, g.w, g.d);
    HorizontalSplit(f, false, g.w - a, a, 0);
}

/* Vertical: rows [0, top) from T's row y + tFrom, the rest from U's row
 * y - top + uFrom. */
void VerticalSplit(const TransitionFrame &f, bool topIsB, int top, int tFrom, int uFrom)
{
    for (int y = 0; y < f.height; ++y)
    {
        const bool upper = y < top;
        const bool fromB = upper ? topIsB : !topIsB;
        const int sy = upper ? y + tFrom : y - top + uFrom;
        Copy(RowOut(f, y), fromB ? RowB(f, sy) : RowA(f, sy), f.width);
    }
}

void UpScroll(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int c = TransitionMulDiv(g.e, g.h, g.d);
    VerticalSplit(f, false, g.h - c, 0, 0);
}

void DownScroll(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int c = TransitionMulDiv(g.e, g.h, g.d);
    VerticalSplit(f, true, c, g.h - c, c);
}

void UpPush(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int c = TransitionMulDiv(g.e, g.h, g.d);
    VerticalSplit(f, false, g.h - c, c, 0);
}

void DownPush(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int c = TransitionMulDiv(g.e, g.h, g.d);
    VerticalSplit(f, true, c, g.h - c, 0);
}

/* ---- 13..16: stretches -------------------------------------------------- */

/* map[n] = n x full / part for n < part. */
void FillMap(int *map, int part, int full)
{
    for (int n = 0; n < part; ++n) map[n] = int(int64_t(n) * full / part);
}

void HorizontalStretch(const TransitionFrame &f, bool leftIsB, int left)
{
    const int w = f.width, right = w - left;
    std::vector<int> map(size_t(w) + 1);
    FillMap(map.data(), left, w);
    FillMap(map.data() + left, right, w);
    for (int y = 0; y < f.height; ++y)
    {
        const uint32_t *a = RowA(f, y), *b = RowB(f, y);
        uint32_t *o = RowOut(f, y);
        Gather(o, leftIsB ? b : a, map.data(), left, w);
        Gather(o + left, leftIsB ? a : b, map.data() + left, right, w);
    }
}

void LeftStretch(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    HorizontalStretch(f, true, TransitionMulDiv(g.e, g.w, g.d));
}

void RightStretch(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    HorizontalStretch(f, false, g.w - TransitionMulDiv(g.e, g.w, g.d));
}

void VerticalStretch(const TransitionFrame &f, bool topIsB, int top)
{
    const int h = f.height, bottom = h - top;
    for (int y = 0; y < h; ++y)
    {
        const bool upper = y < top;
        const bool fromB = upper ? topIsB : !topIsB;
        const int sy = upper ? int(int64_t(y) * h / top) : int(int64_t(y - top) * h / bottom);
        Copy(RowOut(f, y), fromB ? RowB(f, sy) : RowA(f, sy), f.width);
    }
}

void UpStretch(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    VerticalStretch(f, false, g.h - TransitionMulDiv(g.e, g.h, g.d));
}

void DownStretch(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    VerticalStretch(f, true, TransitionMulDiv(g.e, g.h, g.d));
}

/* ---- 17..20: fades and dissolves ---------------------------------------- */

void ScaleAll(const TransitionFrame &f, bool fromB, uint32_t s)
{
    for (int y = 0; y < f.height; ++y) ScaleRow(RowOut(f, y), fromB ? RowB(f, y) : RowA(f, y), f.width, s);
}

void FadeOut(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    ScaleAll(f, false, uint32_t((g.d - g.e) * 255 / g.d));
}

void FadeIn(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    ScaleAll(f, true, uint32_t(g.e * 255 / g.d));
}

void Dissolve(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    if (g.e < g.d / 2)
        ScaleAll(f, false, uint32_t((g.d - g.e) * 255 / g.d));
    else
        ScaleAll(f, true, uint32_t(g.e * 255 / g.d));
}

void CrossDissolve(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const uint32_t t = uint32_t(g.e * 255 / g.d);
    for (int y = 0; y < f.height; ++y)
    {
        if (t == 0)
            Copy(RowOut(f, y), RowA(f, y), f.width);
        else if (t == 255)
            Copy(RowOut(f, y), RowB(f, y), f.width);
        else
            BlendRow(RowOut(f, y), RowA(f, y), RowB(f, y), f.width, t);
    }
}

/* ---- 21..24: insets (B slides in from a corner) ------------------------ */

void Inset(const TransitionFrame &f, bool right, bool bottom)
{
    Geometry g = Normalise(f);
    const int a = TransitionMulDiv(g.e, g.w, g.d), c = TransitionMulDiv(g.e, g.h, g.d);
    const int x0 = right ? g.w - a : 0;          /* where the inset lies */
    const int y0 = bottom ? g.h - c : 0;
    const int bx = right ? 0 : g.w - a;          /* which part of B it shows */
    const int by = bottom ? 0 : g.h - c;
    for (int y = 0; y < g.h; ++y)
    {
        uint32_t *o = RowOut(f, y);
        const uint32_t *ar = RowA(f, y);
        if (y < y0 || y >= y0 + c)
        {
            Copy(o, ar, g.w);
            continue;
        }
        Copy(o, ar, x0);
        Copy(o + x0, RowB(f, y - y0 + by) + bx, a);
        Copy(o + x0 + a, ar + x0 + a, g.w - x0 - a);
    }
}

void UpperLeftInset(const TransitionFrame &f) { if (Drawable(f)) Inset(f, false, false); }
void UpperRightInset(const TransitionFrame &f) { if (Drawable(f)) Inset(f, true, false); }
void LowerLeftInset(const TransitionFrame &f) { if (Drawable(f)) Inset(f, false, true); }
void LowerRightInset(const TransitionFrame &f) { if (Drawable(f)) Inset(f, true, true); }

/* ---- 25..28: A slides out towards a corner ------------------------------ */

/* A's pixel (x, y) is shown at (x + dx, y + dy); B shows where A left. */
void Out(const TransitionFrame &f, bool right, bool down)
{
    Geometry g = Normalise(f);
    const int a = TransitionMulDiv(g.e, g.w, g.d), c = TransitionMulDiv(g.e, g.h, g.d);
    const int dx = right ? a : -a, dy = down ? c : -c;
    /* Output columns [ox, ox + n) show A's columns [ox - dx, ...). */
    const int ox = right ? a : 0, n = g.w - a;
    for (int y = 0; y < g.h; ++y)
    {
        uint32_t *o = RowOut(f, y);
        const uint32_t *br = RowB(f, y);
        const int sy = y - dy;
        if (sy < 0 || sy >= g.h || n <= 0)
        {
            Copy(o, br, g.w);
            continue;
        }
        Copy(o, br, ox);
        Copy(o + ox, RowA(f, sy) + ox - dx, n);
        Copy(o + ox + n, br + ox + n, g.w - ox - n);
    }
}

void UpperLeftOut(const TransitionFrame &f) { if (Drawable(f)) Out(f, false, false); }
void UpperRightOut(const TransitionFrame &f) { if (Drawable(f)) Out(f, true, false); }
void LowerLeftOut(const TransitionFrame &f) { if (Drawable(f)) Out(f, false, true); }
void LowerRightOut(const TransitionFrame &f) { if (Drawable(f)) Out(f, true, true); }

/* ---- 29, 30: zooms ------------------------------------------------------ */

/* Rows [by, h - by) show the frame picture F's own first and last bx columns
 * and the scaled picture S in between; other rows show F. */
void Zoom(const TransitionFrame &f, bool frameIsA, int bx, int by)
{
    const int w = f.width, h = f.height;
    const int mw = w - 2 * bx, mh = h - 2 * by;
    std::vector<int> map(size_t(mw > 0 ? mw : 1));
    FillMap(map.data(), mw, w);
    for (int y = 0; y < h; ++y)
    {
        uint32_t *o = RowOut(f, y);
        const uint32_t *fr = frameIsA ? RowA(f, y) : RowB(f, y);
        if (y < by || y >= h - by || mw <= 0)
        {
            Copy(o, fr, w);
            continue;
        }
        const int sy = int(int64_t(y - by) * h / mh);
        Copy(o, fr, bx);
        Gather(o + bx, frameIsA ? RowB(f, sy) : RowA(f, sy), map.data(), mw, w);
        Copy(o + w - bx, fr + w - bx, bx);
    }
}

void ZoomIn(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    Zoom(f, true, int((g.d - g.e) * (g.w / 2) / g.d), int((g.d - g.e) * (g.h / 2) / g.d));
}

void ZoomOut(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    Zoom(f, false, int(g.e * (g.w / 2) / g.d), int(g.e * (g.h / 2) / g.d));
}

/* ---- 31..35 ------------------------------------------------------------- */

void Blind(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int t = int(g.e * 10 / g.d);
    for (int y = 0; y < g.h; ++y) Copy(RowOut(f, y), (y % 10) < t ? RowB(f, y) : RowA(f, y), g.w);
}

void BanDoor(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int a = TransitionMulDiv(g.e, g.w, g.d);
    const int s = (g.w - a) / 2;
    for (int y = 0; y < g.h; ++y)
    {
        uint32_t *o = RowOut(f, y);
        const uint32_t *ar = RowA(f, y);
        Copy(o, ar, s);
        Copy(o + s, RowB(f, y) + s, a);
        Copy(o + s + a, ar + s + a, g.w - s - a);
    }
}

void Split(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int a = TransitionMulDiv(g.e, g.w, g.d);
    const int s = (g.w - a) / 2;
    /* The right part fills the row to its end: one column more than s when
     * w - a is odd, taken on from A's column w / 2. */
    const int r = g.w - s - a;
    for (int y = 0; y < g.h; ++y)
    {
        uint32_t *o = RowOut(f, y);
        const uint32_t *ar = RowA(f, y);
        Copy(o, ar + a / 2, s);
        Copy(o + s, RowB(f, y) + s, a);
        Copy(o + s + a, ar + g.w / 2, r);
    }
}

/* Where row y's flap edge e(y) = d - y lies inside the row, the flap pixel
 * (x, y) is A's pixel (d - y, d - x): the flap is A mirrored about its
 * diagonal.  Four such rows are done together with 4 x 4 transposes. */
void PeelRow(const TransitionFrame &f, int y, int64_t d, int dw)
{
    const int w = f.width;
    uint32_t *o = RowOut(f, y);
    const uint32_t *ar = RowA(f, y);
    const int ey = int(std::min<int64_t>(w, std::max<int64_t>(0, d - y)));
    if (ey == 0)
    {
        Copy(o, ar, w);
        return;
    }
    Copy(o, RowB(f, y), ey);
    /* The folded flap: A's column ey, read upwards from row y. */
    const uint8_t *src = reinterpret_cast<const uint8_t *>(ar + ey);
    for (int x = ey; x < dw; ++x, src -= f.aPitch) o[x] = *reinterpret_cast<const uint32_t *>(src);
    const int from = std::max(ey, dw);
    Copy(o + from, ar + from, w - from);
}

/* Rows y..y+3 outside the flap: B before each row's edge, A from dw on, and
 * the corner where the lower rows' flaps start before row y's edge x0. */
void PeelFourRowsOutside(const TransitionFrame &f, int y, int64_t d, int dw)
{
    const int w = f.width;
    const int x0 = int(d - y); /* row y's edge; row y + i has its edge at x0 - i */
    for (int i = 0; i < 4; ++i)
    {
        uint32_t *o = RowOut(f, y + i);
        Copy(o, RowB(f, y + i), x0 - i);
        Copy(o + dw, RowA(f, y + i) + dw, w - dw);
        for (int x = x0 - i; x < x0; ++x) o[x] = RowA(f, int(d - x))[x0 - i];
    }
}

/* Flap columns [xs, xe) of rows y..y+3 (xs at or after row y's edge). */
void PeelFourRowsFlap(const TransitionFrame &f, int y, int64_t d, int xs, int xe)
{
    const int x0 = int(d - y);
    uint32_t *o0 = RowOut(f, y), *o1 = RowOut(f, y + 1), *o2 = RowOut(f, y + 2), *o3 = RowOut(f, y + 3);
    int x = xs;
    for (; x + 4 <= xe; x += 4)
    {
        /* r[j][k] = A (x0 - 3 + k, d - x - j); output row i, column x + j takes r[j][3 - i]. */
        __m128 r0 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i *>(RowA(f, int(d - x)) + x0 - 3)));
        __m128 r1 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i *>(RowA(f, int(d - x - 1)) + x0 - 3)));
        __m128 r2 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i *>(RowA(f, int(d - x - 2)) + x0 - 3)));
        __m128 r3 = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i *>(RowA(f, int(d - x - 3)) + x0 - 3)));
        _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(o0 + x), _mm_castps_si128(r3));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(o1 + x), _mm_castps_si128(r2));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(o2 + x), _mm_castps_si128(r1));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(o3 + x), _mm_castps_si128(r0));
    }
    for (; x < xe; ++x)
    {
        const uint32_t *src = RowA(f, int(d - x));
        o0[x] = src[x0];
        o1[x] = src[x0 - 1];
        o2[x] = src[x0 - 2];
        o3[x] = src[x0 - 3];
    }
}

void PagePeel(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int64_t d = g.e * (g.w + g.h) / g.d;
    const int dw = int(std::min<int64_t>(g.w, d));
    int y = 0;
    while (y < g.h)
    {
        /* Rows whose edges all lie inside the row (0 < d - last row, d - y < w)
         * go four at a time; sixteen at a time the flap is walked in chunks
         * of columns so that the source lines stay in the first-level cache. */
        if (y + 16 <= g.h && d - y < g.w && d - y - 15 > 0)
        {
            const int x0 = int(d - y);
            for (int k = 0; k < 4; ++k)
            {
                PeelFourRowsOutside(f, y + 4 * k, d, dw);
                PeelFourRowsFlap(f, y + 4 * k, d, x0 - 4 * k, x0);
            }
            for (int xs = x0; xs < dw; xs += 64)
                for (int k = 0; k < 4; ++k) PeelFourRowsFlap(f, y + 4 * k, d, xs, std::min(xs + 64, dw));
            y += 16;
        }
        else if (y + 4 <= g.h && d - y < g.w && d - y - 3 > 0)
        {
            PeelFourRowsOutside(f, y, d, dw);
            PeelFourRowsFlap(f, y, d, int(d - y), dw);
            y += 4;
        }
        else
            PeelRow(f, y++, d, dw);
    }
}

void UpperLeftWipe(const TransitionFrame &f)
{
    if (!Drawable(f)) return;
    Geometry g = Normalise(f);
    const int64_t d = g.e * (g.w + g.h) / g.d;
    for (int y = 0; y < g.h; ++y)
    {
        const int ey = int(std::min<int64_t>(g.w, std::max<int64_t>(0, d - y)));
        uint32_t *o = RowOut(f, y);
        Copy(o, RowB(f, y), ey);
        Copy(o + ey, RowA(f, y) + ey, g.w - ey);
    }
}

/* ---- 36..43: picture in picture ---------------------------------------- */

void Pip(const TransitionFrame &f, bool insetIsB, bool right, bool bottom)
{
    Geometry g = Normalise(f);
    const int64_t fac = f.autoTransition ? 3 : g.d / std::max<int64_t>(g.e, 1);
    const int iw = int(g.w / fac), ih = int(g.h / fac);
    const int x0 = right ? g.w - iw : 0, y0 = bottom ? g.h - ih : 0;
    std::vector<int> map(size_t(iw > 0 ? iw : 1));
    for (int i = 0; i < iw; ++i) map[size_t(i)] = int(i * fac);
    for (int y = 0; y < g.h; ++y)
    {
        uint32_t *o = RowOut(f, y);
        Copy(o, insetIsB ? RowA(f, y) : RowB(f, y), g.w);
        if (y < y0 || y >= y0 + ih) continue;
        const int sy = int((y - y0) * fac);
        Gather(o + x0, insetIsB ? RowB(f, sy) : RowA(f, sy), map.data(), iw, g.w);
    }
}

void PipLeftTopAB(const TransitionFrame &f) { if (Drawable(f)) Pip(f, true, false, false); }
void PipRightTopAB(const TransitionFrame &f) { if (Drawable(f)) Pip(f, true, true, false); }
void PipLeftBottomAB(const TransitionFrame &f) { if (Drawable(f)) Pip(f, true, false, true); }
void PipRightBottomAB(const TransitionFrame &f) { if (Drawable(f)) Pip(f, true, true, true); }
void PipLeftTopBA(const TransitionFrame &f) { if (Drawable(f)) Pip(f, false, false, false); }
void PipRightTopBA(const TransitionFrame &f) { if (Drawable(f)) Pip(f, false, true, false); }
void PipLeftBottomBA(const TransitionFrame &f) { if (Drawable(f)) Pip(f, false, false, true); }
void PipRightBottomBA(const TransitionFrame &f) { if (Drawable(f)) Pip(f, false, true, true); }

} // namespace

int TransitionKernelLevel(int wanted)
{
    K() = KernelsFor(wanted);
    return K().level;
}

int TransitionKernelLevel() { return K().level; }

int32_t TransitionMulDiv(int64_t x, int64_t y, int64_t d)
{
    if (d == 0) return -1;
    return int32_t((x * y + d / 2) / d);
}

namespace {
constexpr TransitionRoutine kRoutines[kTransitionCount] = {
    Cut,          LeftWipe,        RightWipe,       UpWipe,          DownWipe,        LeftScroll,
    RightScroll,  UpScroll,        DownScroll,      LeftPush,        RightPush,       UpPush,
    DownPush,     LeftStretch,     RightStretch,    UpStretch,       DownStretch,     FadeOut,
    FadeIn,       Dissolve,        CrossDissolve,   UpperLeftInset,  UpperRightInset, LowerLeftInset,
    LowerRightInset, UpperLeftOut, UpperRightOut,   LowerLeftOut,    LowerRightOut,   ZoomIn,
    ZoomOut,      Blind,           BanDoor,         Split,           PagePeel,        UpperLeftWipe,
    PipLeftTopAB, PipRightTopAB,   PipLeftBottomAB, PipRightBottomAB, PipLeftTopBA,   PipRightTopBA,
    PipLeftBottomBA, PipRightBottomBA,
};
} // namespace

const TransitionEffect TransitionEffects[kTransitionCount + 1] = {
#define TRANSITION_ENTRY(index, name, icon) {kRoutines[index], name, icon},
#include "transition_names.inc"
#undef TRANSITION_ENTRY
    {nullptr, "", ""},
};
