// Two-pass layer resizer.  Each pass resamples the rows of its source and
// writes them as columns of its destination, so both passes stream along
// rows and the second pass restores the orientation.  Weights and sums are
// kept in double precision (two lanes at a time with SSE2, four with AVX2
// where the processor has it: the same multiplies and adds in the same
// order, so both give the same pixels); colours are weighted by alpha so
// transparent pixels lend no colour.
#include <cmath>
#include <cstring>
#include <emmintrin.h>
#include <immintrin.h>

#include "resize.h"
#include "scale_source.h"
#include "m32.h"
#include <wine/debug.h>

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

struct Reciprocals {
    double v[256];
    Reciprocals()
    {
        v[0] = 0.0;
        for (int i = 1; i < 256; i++) v[i] = 1.0 / i;
    }
};
const Reciprocals kRecip;

// Sums of one output sample: (blue, green) and (red, alpha) lanes, each the
// weight times alpha times the channel (the alpha lane: weight times alpha).
struct Sample {
    __m128d bg, ra;
    inline void reset()
    {
        bg = _mm_setzero_pd();
        ra = _mm_setzero_pd();
    }
    inline void add(DWORD p, __m128d w)
    {
        const __m128i zero = _mm_setzero_si128();
        __m128i px = _mm_cvtsi32_si128((int)p);
        px = _mm_unpacklo_epi16(_mm_unpacklo_epi8(px, zero), zero);
        __m128d vbg = _mm_cvtepi32_pd(px);                     // (blue, green)
        __m128d vra = _mm_cvtepi32_pd(_mm_srli_si128(px, 8));  // (red, alpha)
        __m128d wa = _mm_mul_pd(w, _mm_unpackhi_pd(vra, vra)); // weight * alpha
        __m128d r1 = _mm_move_sd(_mm_set1_pd(1.0), vra);       // (red, 1)
        bg = _mm_add_pd(bg, _mm_mul_pd(wa, vbg));
        ra = _mm_add_pd(ra, _mm_mul_pd(wa, r1));
    }
    // Writes the sample; with alpha 0 only the alpha byte is written.
    inline void store(DWORD *out, bool clear) const
    {
        int alpha = _mm_cvtsd_si32(_mm_unpackhi_pd(ra, ra));   // nearest
        if (alpha < 0) alpha = 0;
        if (alpha > 255) alpha = 255;
        if (alpha == 0) {
            *out = clear ? 0u : (*out & 0x00FFFFFFu);
            return;
        }
        __m128d k = _mm_set1_pd(kRecip.v[alpha]);
        __m128i ibg = _mm_cvtpd_epi32(_mm_mul_pd(bg, k));
        __m128i ir = _mm_cvtpd_epi32(_mm_mul_pd(ra, k));
        __m128i v = _mm_unpacklo_epi64(ibg, ir);
        v = _mm_packs_epi32(v, v);
        v = _mm_packus_epi16(v, v);
        *out = ((DWORD)_mm_cvtsi128_si32(v) & 0x00FFFFFFu) | ((DWORD)alpha << 24);
    }
};

void transpose_copy(BYTE *dst, LONG dstPitch, const BYTE *src, LONG srcPitch, LONG M, LONG rows)
{
    for (LONG r = 0; r < rows; r++) {
        const DWORD *p = (const DWORD *)(src + (ptrdiff_t)r * srcPitch);
        BYTE *out = dst + (ptrdiff_t)r * 4;
        for (LONG i = 0; i < M; i++, out += dstPitch) *(DWORD *)out = p[i];
    }
}

// Resamples R source rows from row r on into destination columns r..r+R-1.
template <int R>
void pass_rows(BYTE *dst, LONG dstPitch, const BYTE *src, LONG srcPitch, LONG M, LONG N,
               const ResampleStep *steps, LONG r, bool clear)
{
    const __m128d whole = _mm_set1_pd((double)N / (double)M);
    const DWORD *p[R];
    for (int j = 0; j < R; j++) p[j] = (const DWORD *)(src + (ptrdiff_t)(r + j) * srcPitch);
    BYTE *out = dst + (ptrdiff_t)r * 4;
    for (LONG i = 0; i < N; i++, out += dstPitch) {
        const ResampleStep &st = steps[i];
        Sample s[R];
        const __m128d w0 = _mm_set1_pd(st.w0);
        for (int j = 0; j < R; j++) {
            s[j].reset();
            s[j].add(*p[j]++, w0);
        }
        for (LONG k = st.k; k > 0; k--)
            for (int j = 0; j < R; j++) s[j].add(*p[j]++, whole);
        if (st.w1 > 0.0) {
            const __m128d w1 = _mm_set1_pd(st.w1);
            for (int j = 0; j < R; j++) s[j].add(*p[j], w1);
        }
        if (st.k < 0)
            for (int j = 0; j < R; j++) p[j]--;
        for (int j = 0; j < R; j++) s[j].store((DWORD *)out + j, clear);
    }
}

// The same pass with four double lanes (blue, green, red, alpha) per sum.
#pragma GCC push_options
#pragma GCC target("avx2")
struct SampleWide {
    __m256d acc;
    inline void reset() { acc = _mm256_setzero_pd(); }
    inline void add(DWORD p, __m256d w)
    {
        const __m128i zero = _mm_setzero_si128();
        __m128i px = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128((int)p), zero), zero);
        __m256d v = _mm256_cvtepi32_pd(px);                                  // (b, g, r, a)
        __m256d wa = _mm256_mul_pd(w, _mm256_permute4x64_pd(v, 0xFF));      // weight * alpha
        __m256d v1 = _mm256_blend_pd(v, _mm256_set1_pd(1.0), 8);             // (b, g, r, 1)
        acc = _mm256_add_pd(acc, _mm256_mul_pd(wa, v1));
    }
    inline void store(DWORD *out, bool clear) const
    {
        int alpha = _mm_cvtsd_si32(_mm_unpackhi_pd(_mm256_extractf128_pd(acc, 1), _mm256_extractf128_pd(acc, 1)));
        if (alpha < 0) alpha = 0;
        if (alpha > 255) alpha = 255;
        if (alpha == 0) {
            *out = clear ? 0u : (*out & 0x00FFFFFFu);
            return;
        }
        __m128i v = _mm256_cvtpd_epi32(_mm256_mul_pd(acc, _mm256_set1_pd(kRecip.v[alpha])));
        v = _mm_packs_epi32(v, v);
        v = _mm_packus_epi16(v, v);
        *out = ((DWORD)_mm_cvtsi128_si32(v) & 0x00FFFFFFu) | ((DWORD)alpha << 24);
    }
};

template <int R>
void pass_rows_wide(BYTE *dst, LONG dstPitch, const BYTE *src, LONG srcPitch, LONG M, LONG N,
                    const ResampleStep *steps, LONG r, bool clear)
{
    const __m256d whole = _mm256_set1_pd((double)N / (double)M);
    const DWORD *p[R];
    for (int j = 0; j < R; j++) p[j] = (const DWORD *)(src + (ptrdiff_t)(r + j) * srcPitch);
    BYTE *out = dst + (ptrdiff_t)r * 4;
    for (LONG i = 0; i < N; i++, out += dstPitch) {
        const ResampleStep &st = steps[i];
        SampleWide s[R];
        const __m256d w0 = _mm256_set1_pd(st.w0);
        for (int j = 0; j < R; j++) {
            s[j].reset();
            s[j].add(*p[j]++, w0);
        }
        for (LONG k = st.k; k > 0; k--)
            for (int j = 0; j < R; j++) s[j].add(*p[j]++, whole);
        if (st.w1 > 0.0) {
            const __m256d w1 = _mm256_set1_pd(st.w1);
            for (int j = 0; j < R; j++) s[j].add(*p[j], w1);
        }
        if (st.k < 0)
            for (int j = 0; j < R; j++) p[j]--;
        for (int j = 0; j < R; j++) s[j].store((DWORD *)out + j, clear);
    }
}

void pass_all_wide(BYTE *dst, LONG dstPitch, const BYTE *src, LONG srcPitch, LONG M, LONG N,
                   const ResampleStep *steps, LONG rows, bool clear)
{
    LONG r = 0;
    for (; r + 4 <= rows; r += 4) pass_rows_wide<4>(dst, dstPitch, src, srcPitch, M, N, steps, r, clear);
    for (; r < rows; r++) pass_rows_wide<1>(dst, dstPitch, src, srcPitch, M, N, steps, r, clear);
}
#pragma GCC pop_options

volatile LONG g_narrowOnly = 0;

bool has_avx2()
{
    static const bool yes = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return yes && !g_narrowOnly;
}

// The pass-1 buffer is kept between calls: a fresh multi-megabyte block
// costs more in first-touch page faults than both passes together.  One
// caller at a time owns it; a concurrent caller allocates its own.
struct TempBuffer {
    volatile LONG busy = 0;
    BYTE *block = nullptr;
    size_t size = 0;
    ~TempBuffer()
    {
        if (block) M32_free(block);
    }
};
TempBuffer g_temp;

BYTE *take_temp(size_t bytes, bool *shared)
{
    *shared = false;
    if (bytes > 0x7FFFFFFF) return nullptr;
    if (InterlockedExchange(&g_temp.busy, 1) == 0) {
        if (g_temp.size < bytes) {
            if (g_temp.block) M32_free(g_temp.block);
            g_temp.size = 0;
            g_temp.block = (BYTE *)M32_alloc((DWORD)bytes);
            if (g_temp.block) g_temp.size = bytes;
        }
        if (g_temp.block) {
            *shared = true;
            return g_temp.block;
        }
        InterlockedExchange(&g_temp.busy, 0);
    }
    return (BYTE *)M32_alloc((DWORD)bytes);
}

void give_temp(BYTE *block, bool shared)
{
    if (shared) InterlockedExchange(&g_temp.busy, 0);
    else M32_free(block);
}

// Actual root of a layer: a virtual root stands for its partner's root.
Layer *pixel_root(Layer *l)
{
    Layer *root = l ? l->root : nullptr;
    if (root && (root->kind & LAYER_KIND_MASK) == LAYER_KIND_VIRTUAL)
        root = root->partner ? root->partner->root : nullptr;
    return root;
}

}  // namespace

extern "C" {

void BuildResampleSteps(ResampleStep *steps, LONG M, LONG N)
{
    if (M < N) {
        long long e = (M - N) / 2;
        LONG s = 0;
        for (LONG i = 0; i < N; i++) {
            ResampleStep &st = steps[i];
            if (e < 1 || s == M - 1) {
                st.w0 = 1.0;
                st.w1 = 0.0;
            } else {
                st.w0 = (double)(N - e) / N;
                st.w1 = (double)e / N;
            }
            e += M;
            if (e < N) {
                st.k = -1;
            } else {
                e -= N;
                st.k = 0;
            }
            s += st.k + 1;
        }
    } else {
        long long r = 0;
        for (LONG i = 0; i < N; i++) {
            ResampleStep &st = steps[i];
            st.w0 = (double)(N - r) / M;
            long long k = (M + r - N) / N;
            long long r2 = M + r - (long long)N * (k + 1);
            st.w1 = (double)r2 / M;
            if (r2 == N) {
                r2 = 0;
                st.w1 = 0.0;
                k += 1;
            }
            st.k = (LONG)k;
            r = r2;
        }
    }
}

LONG ResizeNarrowLanesOnly(LONG on)
{
    LONG was = g_narrowOnly;
    g_narrowOnly = on ? 1 : 0;
    return was;
}

LONG ResamplePass(BYTE *dst, LONG dstPitch, const BYTE *src, LONG srcPitch, LONG M, LONG rows, LONG N,
                  LONG clearTransparent)
{
    const bool clear = clearTransparent != 0;
    if (!dst || !src || M < 1 || N < 1 || rows < 1) return 0;
    if (M == N) {
        transpose_copy(dst, dstPitch, src, srcPitch, M, rows);
        return 1;
    }
    if ((unsigned long long)N * sizeof(ResampleStep) > 0x7FFFFFFF) return 0;
    auto *steps = (ResampleStep *)M32_alloc((DWORD)(sizeof(ResampleStep) * (size_t)N));
    if (!steps) return 0;
    BuildResampleSteps(steps, M, N);
    // Rows go four (then one) at a time: their sums are independent, and
    // their outputs are neighbours in each destination row.
    if (has_avx2()) {
        pass_all_wide(dst, dstPitch, src, srcPitch, M, N, steps, rows, clear);
    } else {
        LONG r = 0;
        for (; r + 4 <= rows; r += 4) pass_rows<4>(dst, dstPitch, src, srcPitch, M, N, steps, r, clear);
        for (; r < rows; r++) pass_rows<1>(dst, dstPitch, src, srcPitch, M, N, steps, r, clear);
    }
    M32_free(steps);
    return 1;
}

LONG PIXAPI ResizeLayer(Layer *destination, Layer *source)
{
    WINE_TRACE("(%p, %p)\n", destination, source);
    if (!destination || !source) return 0;

    LayerAccess sa, da;
    if (!BeginLayerAccess(&sa, source, nullptr)) return 1;
    if (!BeginLayerAccess(&da, destination, nullptr)) {
        EndLayerAccess(&sa);
        return 1;
    }
    LONG sw = sa.width, sh = sa.height, dw = da.width, dh = da.height;
    if (sw == dw && sh == dh) {
        EndLayerAccess(&da);
        EndLayerAccess(&sa);
        CopyLayer(destination, source);
        return 1;
    }

    // Temporary: source rows become its columns, destination width its rows.
    // Pass 1 writes every pixel of it, transparent ones as 0, so it reads as
    // a zero-filled layer whatever the block held before.
    bool shared;
    const LONG tmpPitch = sh * 4;
    BYTE *tmp = take_temp((size_t)sh * 4 * (size_t)dw, &shared);
    if (!tmp) {
        WINE_WARN("no memory for a %d x %d temporary\n", sh, dw);
        EndLayerAccess(&da);
        EndLayerAccess(&sa);
        return 1;
    }
    RefreshLayerEx(source);
    if (ResamplePass(tmp, tmpPitch, sa.firstPtr, sa.firstPitch, sw, sh, dw, 1))
        ResamplePass(da.firstPtr, da.firstPitch, tmp, tmpPitch, sh, dw, dh, 0);
    give_temp(tmp, shared);
    EndLayerAccess(&da);
    EndLayerAccess(&sa);
    UpdateLayerEx(destination);
    return 1;
}

LONG PIXAPI ResizeLayerCorrect(Layer *destination, Layer *source)
{
    WINE_TRACE("(%p, %p)\n", destination, source);
    if (!destination || !source) return 0;

    Layer *droot = pixel_root(destination);
    if (droot && droot == pixel_root(source)) {
        // One pixel store: resize into a temporary and copy it back.
        LayerAccess da;
        if (!BeginLayerAccess(&da, destination, nullptr)) return 0;
        Layer *tmp = CreateLayer(da.width, da.height, 1);
        if (tmp) {
            ResizeLayer(tmp, source);
            CopyLayer(destination, tmp);
            DeleteLayer(tmp);
        }
        EndLayerAccess(&da);
        return 0;
    }

    LayerAccess sa, da;
    if (!BeginLayerAccess(&sa, source, nullptr)) return 0;
    if (!BeginLayerAccess(&da, destination, nullptr)) {
        EndLayerAccess(&sa);
        return 0;
    }
    ScaleScanlineState *st = BeginScaleScanline(sa.width, sa.height, da.width, da.height);
    if (!st) {
        EndLayerAccess(&da);
        EndLayerAccess(&sa);
        return 0;
    }
    LONG srow = 0, drow = 0;
    const BYTE *s = sa.firstPtr;
    BYTE *d = da.firstPtr;
    // Every output line needs at most a bounded number of calls; the limit
    // only guards against a malformed table looping forever.
    long long guard = 4LL * ((long long)sa.height + da.height) + 16;
    while (guard-- > 0) {
        ScaleScanline((DWORD *)d, (const DWORD *)s, st);
        if (st->inputWanted && srow + 1 < sa.height) {
            s += sa.firstPitch;
            srow++;
        }
        if (st->outputReady) {
            if (++drow >= da.height) break;
            d += da.firstPitch;
        }
        if (!st->inputWanted && !st->outputReady) break;
    }
    EndScaleScanline(st);
    EndLayerAccess(&da);
    EndLayerAccess(&sa);
    return 1;
}

}  // extern "C"
