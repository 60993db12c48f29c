// The over operator on straight-alpha pixels: the exact table arithmetic,
// the fast arithmetic (packed 16-bit multiplies through a reciprocal of the
// result alpha, done with SSE2 here), their tables and the pixel-array
// exports.
#include <windows.h>
#include <emmintrin.h>
#include "compose.h"

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

// Four pixels of the fast arithmetic.  The reciprocal word for a result
// alpha i is floor(131325 / i) for i >= 5; the correctly rounded single
// division lies more than half an ulp away from any integer for i <= 255,
// so truncating it gives the table's value exactly.  Packing to words
// saturates the quotients of i = 1..4 to 32767, as the table has them; for
// i = 0 every weighted sum is 0, so the word does not matter.
static inline __m128i fast4(__m128i t, __m128i b)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i amask = _mm_set1_epi32((int)0xFF000000u);
    __m128i at = _mm_srli_epi32(t, 24);
    __m128i ab = _mm_srli_epi32(b, 24);
    __m128i p = _mm_srli_epi32(_mm_add_epi32(_mm_mullo_epi16(at, ab), _mm_set1_epi32(255)), 8);
    __m128i e = _mm_sub_epi32(ab, p);
    __m128i ao = _mm_add_epi32(at, e);
    __m128i q = _mm_cvttps_epi32(_mm_div_ps(_mm_set1_ps(131325.0f), _mm_cvtepi32_ps(ao)));
    __m128i w16 = _mm_packs_epi32(q, q);                                  // w0 w1 w2 w3 (twice)
    __m128i wa = _mm_unpacklo_epi16(w16, _mm_set1_epi16(515));            // w0 515 w1 515 ...
    __m128i wl = _mm_unpacklo_epi32(wa, wa);                              // w0 515 w0 515 w1 515 w1 515
    __m128i wh = _mm_unpackhi_epi32(wa, wa);
    wl = _mm_shufflehi_epi16(_mm_shufflelo_epi16(wl, _MM_SHUFFLE(1, 0, 0, 0)), _MM_SHUFFLE(1, 0, 0, 0));
    wh = _mm_shufflehi_epi16(_mm_shufflelo_epi16(wh, _MM_SHUFFLE(1, 0, 0, 0)), _MM_SHUFFLE(1, 0, 0, 0));
    __m128i atd = _mm_or_si128(at, _mm_slli_epi32(at, 16));
    __m128i ed = _mm_or_si128(e, _mm_slli_epi32(e, 16));

    __m128i tf = _mm_or_si128(t, amask), bf = _mm_or_si128(b, amask);
    // pixels 0 and 1
    __m128i al = _mm_unpacklo_epi32(atd, atd);
    __m128i el = _mm_unpacklo_epi32(ed, ed);
    __m128i xl = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(tf, zero), al),
                               _mm_mullo_epi16(_mm_unpacklo_epi8(bf, zero), el));
    xl = _mm_mulhi_epi16(_mm_srli_epi16(xl, 1), wl);
    // pixels 2 and 3
    __m128i ah = _mm_unpackhi_epi32(atd, atd);
    __m128i eh = _mm_unpackhi_epi32(ed, ed);
    __m128i xh = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(tf, zero), ah),
                               _mm_mullo_epi16(_mm_unpackhi_epi8(bf, zero), eh));
    xh = _mm_mulhi_epi16(_mm_srli_epi16(xh, 1), wh);
    return _mm_packus_epi16(xl, xh);
}

// The AVX2 twins (compose_avx2.cpp) do whole blocks of eight and return how
// many pixels they did.
LONG pm_fast_avx2(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count);
LONG pm_guarded_avx2(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count);
LONG g_useAVX2 = -1;

static bool use_avx2()
{
    if (g_useAVX2 < 0) {
        __builtin_cpu_init();
        g_useAVX2 = __builtin_cpu_supports("avx2") ? 1 : 0;
    }
    return g_useAVX2 > 0;
}

void pm_over_fast_array(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    LONG i = use_avx2() ? pm_fast_avx2(top, bottom, dst, count) : 0;
    for (; i + 4 <= count; i += 4) {
        __m128i t = _mm_loadu_si128((const __m128i *)(top + i));
        __m128i b = _mm_loadu_si128((const __m128i *)(bottom + i));
        _mm_storeu_si128((__m128i *)(dst + i), fast4(t, b));
    }
    if (i < count) {
        DWORD tt[4] = {0, 0, 0, 0}, bb[4] = {0, 0, 0, 0}, dd[4];
        for (LONG k = 0; i + k < count; ++k) { tt[k] = top[i + k]; bb[k] = bottom[i + k]; }
        _mm_storeu_si128((__m128i *)dd, fast4(_mm_loadu_si128((const __m128i *)tt), _mm_loadu_si128((const __m128i *)bb)));
        for (LONG k = 0; i + k < count; ++k) dst[i + k] = dd[k];
    }
}

// Over with the shortcuts of the table arithmetic and the fast arithmetic
// behind the guard "bottom alpha >= 5"; a pixel that fails the guard takes
// the table arithmetic.  Blocks of four that all take one shortcut cost a
// few compares.
void pm_over_guarded_array(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i amask = _mm_set1_epi32((int)0xFF000000u);
    LONG i = use_avx2() ? pm_guarded_avx2(top, bottom, dst, count) : 0;
    for (; i + 4 <= count; i += 4) {
        __m128i t = _mm_loadu_si128((const __m128i *)(top + i));
        __m128i b = _mm_loadu_si128((const __m128i *)(bottom + i));
        __m128i ta = _mm_and_si128(t, amask), ba = _mm_and_si128(b, amask);
        __m128i keepT = _mm_or_si128(_mm_cmpeq_epi32(ba, zero), _mm_cmpeq_epi32(ta, amask));
        __m128i keepB = _mm_andnot_si128(keepT, _mm_cmpeq_epi32(ta, zero));
        int mt = _mm_movemask_epi8(keepT), mb = _mm_movemask_epi8(keepB);
        if (mt == 0xFFFF) { _mm_storeu_si128((__m128i *)(dst + i), t); continue; }
        if (mb == 0xFFFF) { _mm_storeu_si128((__m128i *)(dst + i), b); continue; }
        __m128i r = (mt | mb) == 0xFFFF ? zero : fast4(t, b);
        r = _mm_or_si128(_mm_and_si128(keepT, t), _mm_andnot_si128(keepT, r));
        r = _mm_or_si128(_mm_and_si128(keepB, b), _mm_andnot_si128(keepB, r));
        // bottom alpha 1..4 outside the shortcuts: the table arithmetic
        __m128i weak = _mm_andnot_si128(_mm_or_si128(keepT, keepB),
                                        _mm_cmplt_epi32(_mm_srli_epi32(b, 24), _mm_set1_epi32(5)));
        int mw = _mm_movemask_ps(_mm_castsi128_ps(weak));
        if (mw) {
            // dst may be top or bottom: fix the lanes from the loaded copies
            alignas(16) DWORD tt[4], bb[4], rr[4];
            _mm_store_si128((__m128i *)tt, t);
            _mm_store_si128((__m128i *)bb, b);
            _mm_store_si128((__m128i *)rr, r);
            for (int k = 0; k < 4; ++k)
                if (mw & (1 << k)) rr[k] = pm_over_table_core(tt[k], bb[k]);
            r = _mm_load_si128((const __m128i *)rr);
        }
        _mm_storeu_si128((__m128i *)(dst + i), r);
    }
    for (; i < count; ++i) {
        DWORD t = top[i], b = bottom[i];
        dst[i] = pm_over_guarded(t, b, (b >> 24) >= 5);
    }
}

extern "C" {

DWORD PIXAPI CompositPel(DWORD top, DWORD bottom) { return pm_over(top, bottom); }

LONG PIXAPI CompositPelsNonMMX(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    if (!top || !bottom || !dst) return 0;
    for (LONG i = 0; i < count; ++i) dst[i] = pm_over(top[i], bottom[i]);
    return 1;
}

LONG PIXAPI CompositPels(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    if (!top || !bottom || !dst) return 0;
    if (!g_useMMX) return CompositPelsNonMMX(top, bottom, dst, count);
    // Top alpha 5..127 (read as a signed byte) takes the fast arithmetic
    // after the shortcuts; every other pixel the table over.
    LONG i = 0;
    for (; i + 4 <= count; i += 4) {
        __m128i t = _mm_loadu_si128((const __m128i *)(top + i));
        __m128i b = _mm_loadu_si128((const __m128i *)(bottom + i));
        __m128i at = _mm_srli_epi32(t, 24);
        __m128i fastLane = _mm_and_si128(_mm_cmpgt_epi32(at, _mm_set1_epi32(4)), _mm_cmplt_epi32(at, _mm_set1_epi32(128)));
        fastLane = _mm_andnot_si128(_mm_cmpeq_epi32(_mm_srli_epi32(b, 24), _mm_setzero_si128()), fastLane);
        int mf = _mm_movemask_ps(_mm_castsi128_ps(fastLane));
        alignas(16) DWORD tt[4], bb[4], rr[4];
        _mm_store_si128((__m128i *)tt, t);
        _mm_store_si128((__m128i *)bb, b);
        if (mf) _mm_store_si128((__m128i *)rr, fast4(t, b));
        for (int k = 0; k < 4; ++k)
            if (!(mf & (1 << k))) rr[k] = pm_over(tt[k], bb[k]);
        _mm_storeu_si128((__m128i *)(dst + i), _mm_load_si128((const __m128i *)rr));
    }
    for (; i < count; ++i) {
        DWORD t = top[i], b = bottom[i];
        signed char at = (signed char)(t >> 24);
        dst[i] = pm_over_guarded(t, b, at >= 5);
    }
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
    for (LONG i = 0; i < count; ++i) top[i] = pm_over(top[i], bottom[i]);
    return 1;
}

LONG PIXAPI CompositOnBottom(const DWORD *top, DWORD *bottom, LONG count)
{
    if (!top || !bottom) return 0;
    for (LONG i = 0; i < count; ++i) bottom[i] = pm_over(top[i], bottom[i]);
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
