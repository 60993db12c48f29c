/* Internal: packed kernels of the over operator, written once over a small
 * set of vector operations and instantiated for SSE2 (compose.cpp) and for
 * AVX2 (compose_avx2.cpp, where the whole file is compiled for AVX2).
 *
 * Everything here has internal linkage (anonymous namespace, static), so an
 * AVX2 instantiation can never be picked by the linker for an SSE2 caller.
 *
 * Layout.  A block is two registers of pixels (8 pixels with SSE2, 16 with
 * AVX2).  The alphas of a block are packed into one register of 16-bit
 * words with packs32(t0 >> 24, t1 >> 24); per 128-bit lane the words run
 * t0's pixels then t1's, so unpacklo16/unpackhi16 of a word register give
 * back a value per pixel of t0 / t1, either doubled into both words of the
 * pixel (unpack with itself) or as a 32-bit lane (unpack with zero).
 * Colours are split into the even bytes (blue, red) and the odd bytes
 * (green, alpha) of each pixel, each byte in a 16-bit word, so that one
 * doubled weight serves both words of a pixel and no shuffle is needed.
 *
 * Both kernels give, word for word, the results of the operator's scalar
 * definitions (pm_over_fast1 and pm_over_table_core); the tests compare
 * them over every alpha pair and on random pixels.
 */
#ifndef PIXMOOR_OVER_KERNELS_H
#define PIXMOOR_OVER_KERNELS_H

#include <emmintrin.h>

#define PM_KINLINE inline __attribute__((always_inline))

namespace {

/* The vector operations the kernels use, on 128-bit registers (SSE2). */
struct V128 {
    typedef __m128i T;
    enum { PIXELS = 4 };
    static const unsigned ALL = 0xFFFFu;
    static PM_KINLINE T load(const unsigned *p) { return _mm_loadu_si128((const __m128i *)p); }
    static PM_KINLINE void store(unsigned *p, T v) { _mm_storeu_si128((__m128i *)p, v); }
    static PM_KINLINE T zero() { return _mm_setzero_si128(); }
    static PM_KINLINE T set16(short v) { return _mm_set1_epi16(v); }
    static PM_KINLINE T set32(int v) { return _mm_set1_epi32(v); }
    static PM_KINLINE T and_(T a, T b) { return _mm_and_si128(a, b); }
    static PM_KINLINE T or_(T a, T b) { return _mm_or_si128(a, b); }
    static PM_KINLINE T andnot(T a, T b) { return _mm_andnot_si128(a, b); }
    static PM_KINLINE T add16(T a, T b) { return _mm_add_epi16(a, b); }
    static PM_KINLINE T sub16(T a, T b) { return _mm_sub_epi16(a, b); }
    static PM_KINLINE T max16(T a, T b) { return _mm_max_epi16(a, b); }
    static PM_KINLINE T mullo16(T a, T b) { return _mm_mullo_epi16(a, b); }
    static PM_KINLINE T mulhi16(T a, T b) { return _mm_mulhi_epi16(a, b); }
    static PM_KINLINE T mulhiu16(T a, T b) { return _mm_mulhi_epu16(a, b); }
    static PM_KINLINE T srli16(T a, int n) { return _mm_srli_epi16(a, n); }
    static PM_KINLINE T slli16(T a, int n) { return _mm_slli_epi16(a, n); }
    static PM_KINLINE T srli32(T a, int n) { return _mm_srli_epi32(a, n); }
    static PM_KINLINE T packs32(T a, T b) { return _mm_packs_epi32(a, b); }
    static PM_KINLINE T unpacklo16(T a, T b) { return _mm_unpacklo_epi16(a, b); }
    static PM_KINLINE T unpackhi16(T a, T b) { return _mm_unpackhi_epi16(a, b); }
    static PM_KINLINE T cmpeq16(T a, T b) { return _mm_cmpeq_epi16(a, b); }
    static PM_KINLINE T cmpeq32(T a, T b) { return _mm_cmpeq_epi32(a, b); }
    static PM_KINLINE T cmpgt16(T a, T b) { return _mm_cmpgt_epi16(a, b); }
    static PM_KINLINE T select(T m, T a, T b) { return _mm_or_si128(_mm_and_si128(m, a), _mm_andnot_si128(m, b)); }
    static PM_KINLINE T divtrunc(T n, T d) { return _mm_cvttps_epi32(_mm_div_ps(_mm_cvtepi32_ps(n), _mm_cvtepi32_ps(d))); }
    static PM_KINLINE unsigned movemask8(T m) { return (unsigned)_mm_movemask_epi8(m); }
    static PM_KINLINE bool all_ones(T m) { return _mm_movemask_epi8(m) == 0xFFFF; }
    static PM_KINLINE bool all_zero(T m) { return _mm_movemask_epi8(m) == 0; }
};

#ifdef PIXMOOR_OVER_AVX2
/* The same on 256-bit registers; only in a file compiled for AVX2.  The
 * packs and unpacks work per 128-bit lane, which is all the layout needs. */
struct V256 {
    typedef __m256i T;
    enum { PIXELS = 8 };
    static const unsigned ALL = 0xFFFFFFFFu;
    static PM_KINLINE T load(const unsigned *p) { return _mm256_loadu_si256((const __m256i *)p); }
    static PM_KINLINE void store(unsigned *p, T v) { _mm256_storeu_si256((__m256i *)p, v); }
    static PM_KINLINE T zero() { return _mm256_setzero_si256(); }
    static PM_KINLINE T set16(short v) { return _mm256_set1_epi16(v); }
    static PM_KINLINE T set32(int v) { return _mm256_set1_epi32(v); }
    static PM_KINLINE T and_(T a, T b) { return _mm256_and_si256(a, b); }
    static PM_KINLINE T or_(T a, T b) { return _mm256_or_si256(a, b); }
    static PM_KINLINE T andnot(T a, T b) { return _mm256_andnot_si256(a, b); }
    static PM_KINLINE T add16(T a, T b) { return _mm256_add_epi16(a, b); }
    static PM_KINLINE T sub16(T a, T b) { return _mm256_sub_epi16(a, b); }
    static PM_KINLINE T max16(T a, T b) { return _mm256_max_epi16(a, b); }
    static PM_KINLINE T mullo16(T a, T b) { return _mm256_mullo_epi16(a, b); }
    static PM_KINLINE T mulhi16(T a, T b) { return _mm256_mulhi_epi16(a, b); }
    static PM_KINLINE T mulhiu16(T a, T b) { return _mm256_mulhi_epu16(a, b); }
    static PM_KINLINE T srli16(T a, int n) { return _mm256_srli_epi16(a, n); }
    static PM_KINLINE T slli16(T a, int n) { return _mm256_slli_epi16(a, n); }
    static PM_KINLINE T srli32(T a, int n) { return _mm256_srli_epi32(a, n); }
    static PM_KINLINE T packs32(T a, T b) { return _mm256_packs_epi32(a, b); }
    static PM_KINLINE T unpacklo16(T a, T b) { return _mm256_unpacklo_epi16(a, b); }
    static PM_KINLINE T unpackhi16(T a, T b) { return _mm256_unpackhi_epi16(a, b); }
    static PM_KINLINE T cmpeq16(T a, T b) { return _mm256_cmpeq_epi16(a, b); }
    static PM_KINLINE T cmpeq32(T a, T b) { return _mm256_cmpeq_epi32(a, b); }
    static PM_KINLINE T cmpgt16(T a, T b) { return _mm256_cmpgt_epi16(a, b); }
    static PM_KINLINE T select(T m, T a, T b) { return _mm256_blendv_epi8(b, a, m); }
    static PM_KINLINE T divtrunc(T n, T d) { return _mm256_cvttps_epi32(_mm256_div_ps(_mm256_cvtepi32_ps(n), _mm256_cvtepi32_ps(d))); }
    static PM_KINLINE unsigned movemask8(T m) { return (unsigned)_mm256_movemask_epi8(m); }
    static PM_KINLINE bool all_ones(T m) { return (unsigned)_mm256_movemask_epi8(m) == 0xFFFFFFFFu; }
    static PM_KINLINE bool all_zero(T m) { return _mm256_testz_si256(m, m) != 0; }
};
#endif


template <class V>
struct OverKernels {
    typedef typename V::T T;

    static PM_KINLINE T alphas(T p0, T p1) { return V::packs32(V::srli32(p0, 24), V::srli32(p1, 24)); }

    /* floor(n / 255) for any 16-bit n: 32897 / 2^23 exceeds 1/255 by so
     * little that the fraction of n / 255 (at most 254/255) never carries. */
    static PM_KINLINE T div255(T n) { return V::srli16(V::mulhiu16(n, V::set16((short)0x8081)), 7); }

    /* One register of the fast arithmetic.  atd, ed: top alpha and e' of
     * each pixel in both its words; wd: the colour reciprocal in both
     * words; wo: the reciprocal in the green word and 515 in the alpha word.
     * The alphas are forced to 255 in the odd split so the alpha word sums
     * 255 * result alpha, as the operator defines it.  No word exceeds 255
     * (x <= 255 * ao), so the two halves are joined without saturation. */
    static PM_KINLINE T fast_one(T t, T b, T atd, T ed, T wd, T wo)
    {
        const T even = V::set32(0x00FF00FF), amask = V::set32((int)0xFF000000u);
        T xe = V::add16(V::mullo16(V::and_(t, even), atd), V::mullo16(V::and_(b, even), ed));
        T xo = V::add16(V::mullo16(V::srli16(V::or_(t, amask), 8), atd),
                        V::mullo16(V::srli16(V::or_(b, amask), 8), ed));
        T re = V::mulhi16(V::srli16(xe, 1), wd);
        T ro = V::mulhi16(V::srli16(xo, 1), wo);
        return V::or_(re, V::slli16(ro, 8));
    }

    /* The fast arithmetic on a block, from its alpha words. */
    static PM_KINLINE void fast(T t0, T t1, T b0, T b1, T at, T ab, T &r0, T &r1)
    {
        const T z = V::zero();
        T p = V::srli16(V::add16(V::mullo16(at, ab), V::set16(255)), 8);
        T e = V::sub16(ab, p);
        T ao = V::add16(at, e);
        /* floor(131325 / ao): the correctly rounded quotient is more than
         * half an ulp from any integer for ao <= 255, so truncation is
         * exact; packing saturates ao = 1..4 to 32767.  ao = 0 only ever
         * weighs zero sums: it divides by 1 instead, so that no division
         * by zero is raised (a host may run with that exception unmasked). */
        const T k = V::set32(131325);
        T d = V::max16(ao, V::set16(1));
        T w = V::packs32(V::divtrunc(k, V::unpacklo16(d, z)), V::divtrunc(k, V::unpackhi16(d, z)));
        const T c515 = V::set16(515);
        r0 = fast_one(t0, b0, V::unpacklo16(at, at), V::unpacklo16(e, e), V::unpacklo16(w, w), V::unpacklo16(w, c515));
        r1 = fast_one(t1, b1, V::unpackhi16(at, at), V::unpackhi16(e, e), V::unpackhi16(w, w), V::unpackhi16(w, c515));
    }

    /* ProductTable[c][k] = c*k + floor((c*k + 127) / 255), per word. */
    static PM_KINLINE T product(T c, T k)
    {
        T n = V::mullo16(c, k);
        return V::add16(n, div255(V::add16(n, V::set16(127))));
    }

    /* One register of the table arithmetic: qd, rd the weights in both
     * words; qo, ro in the green word only (the alpha word sums 0); aw the
     * result alpha, already in the high byte of the alpha word. */
    static PM_KINLINE T table_one(T t, T b, T qd, T rd, T qo, T ro, T aw)
    {
        const T even = V::set32(0x00FF00FF);
        T se = V::add16(product(V::and_(t, even), qd), product(V::and_(b, even), rd));
        T so = V::add16(product(V::srli16(t, 8), qo), product(V::srli16(b, 8), ro));
        return V::or_(V::srli16(se, 8), V::or_(V::and_(so, V::set16((short)0xFF00)), aw));
    }

    /* The table arithmetic (no shortcuts) on a block.  Lanes with a top
     * alpha of 0 or 255, or a bottom alpha of 0, give garbage: the callers
     * replace them by the shortcuts. */
    static PM_KINLINE void table(T t0, T t1, T b0, T b1, T at, T ab, T &r0, T &r1)
    {
        const T z = V::zero(), c255 = V::set16(255);
        T e = div255(V::mullo16(V::sub16(c255, at), ab));                 // CoverTable
        T ao = V::add16(at, e);
        /* BlendWeightTable[at][e], at + e in 1..255: the quotient of two
         * integers below 2^16 by a single division, exact when truncated
         * (a non-integer quotient lies at least 1/255 from an integer). */
        T num = V::add16(V::mullo16(at, c255), V::srli16(ao, 1));
        T d = V::max16(ao, V::set16(1));     // 0 only in shortcut lanes: no division by zero
        T q = V::packs32(V::divtrunc(V::unpacklo16(num, z), V::unpacklo16(d, z)),
                         V::divtrunc(V::unpackhi16(num, z), V::unpackhi16(d, z)));
        T r = V::sub16(c255, q);
        T ah = V::slli16(ao, 8);
        r0 = table_one(t0, b0, V::unpacklo16(q, q), V::unpacklo16(r, r), V::unpacklo16(q, z), V::unpacklo16(r, z),
                       V::unpacklo16(z, ah));
        r1 = table_one(t1, b1, V::unpackhi16(q, q), V::unpackhi16(r, r), V::unpackhi16(q, z), V::unpackhi16(r, z),
                       V::unpackhi16(z, ah));
    }

    /* Word masks to pixel masks for the two registers of a block. */
    static PM_KINLINE T mask_lo(T m) { return V::unpacklo16(m, m); }
    static PM_KINLINE T mask_hi(T m) { return V::unpackhi16(m, m); }

    /* Shortcut masks from the alpha words: keepT where the bottom alpha is
     * 0 or the top 255 (the top pixel, unchanged), keepB where otherwise
     * the top alpha is 0 (the bottom pixel). */
    static PM_KINLINE void shortcuts(T at, T ab, T &keepT, T &keepB)
    {
        const T z = V::zero();
        keepT = V::or_(V::cmpeq16(ab, z), V::cmpeq16(at, V::set16(255)));
        keepB = V::andnot(keepT, V::cmpeq16(at, z));
    }

    static PM_KINLINE bool all(T m) { return V::all_ones(m); }
    static PM_KINLINE bool none(T m) { return V::all_zero(m); }

    /* What a block operation gave: computed pixels, or the top or the
     * bottom block unchanged (which an in-place caller need not store). */
    enum { COMPUTED, IS_TOP, IS_BOTTOM };

    /* Table over with its shortcuts on a block: the exact pm_over. */
    static PM_KINLINE int over_table(T t0, T t1, T b0, T b1, T &r0, T &r1)
    {
        T at = alphas(t0, t1), ab = alphas(b0, b1), keepT, keepB;
        shortcuts(at, ab, keepT, keepB);
        T keep = V::or_(keepT, keepB);
        if (none(keep)) { table(t0, t1, b0, b1, at, ab, r0, r1); return COMPUTED; }
        if (all(keepT)) { r0 = t0; r1 = t1; return IS_TOP; }
        if (all(keepB)) { r0 = b0; r1 = b1; return IS_BOTTOM; }
        table(t0, t1, b0, b1, at, ab, r0, r1);
        r0 = V::select(mask_lo(keepB), b0, r0);
        r1 = V::select(mask_hi(keepB), b1, r1);
        r0 = V::select(mask_lo(keepT), t0, r0);
        r1 = V::select(mask_hi(keepT), t1, r1);
        return COMPUTED;
    }

    struct Pair { T r0, r1; };

    /* The layer operations' over: shortcuts, then the fast arithmetic
     * where the bottom alpha is at least 5, the table arithmetic where it
     * is 1..4.  Soft blocks (no shortcut, no weak bottom: the common case
     * of busy content) are found with one mask and take the fast
     * arithmetic alone; the others go out of line, so that their masks and
     * selects do not crowd the registers of the fast path. */
    static PM_KINLINE int over_guarded(T t0, T t1, T b0, T b1, T &r0, T &r1)
    {
        T at = alphas(t0, t1), ab = alphas(b0, b1);
        T special = V::or_(V::cmpgt16(V::set16(5), ab), V::or_(V::cmpeq16(at, V::zero()), V::cmpeq16(at, V::set16(255))));
        if (none(special)) {
            fast(t0, t1, b0, b1, at, ab, r0, r1);
            return COMPUTED;
        }
        /* Whole blocks of a transparent top over a bottom with no empty
         * pixel, or of an opaque top: the first that title-like content
         * meets, tested before the call. */
        if (none(V::cmpeq16(ab, V::zero())) && all(V::cmpeq16(at, V::zero()))) { r0 = b0; r1 = b1; return IS_BOTTOM; }
        if (all(V::cmpeq16(at, V::set16(255)))) { r0 = t0; r1 = t1; return IS_TOP; }
        if (none(V::cmpgt16(V::set16(5), ab))) {
            /* Shortcut lanes among soft ones, no weak bottom: selected
             * after the fast arithmetic. */
            T keepT, keepB;
            shortcuts(at, ab, keepT, keepB);
            fast(t0, t1, b0, b1, at, ab, r0, r1);
            r0 = V::select(mask_lo(keepB), b0, r0);
            r1 = V::select(mask_hi(keepB), b1, r1);
            r0 = V::select(mask_lo(keepT), t0, r0);
            r1 = V::select(mask_hi(keepT), t1, r1);
            return COMPUTED;
        }
        Pair p;
        int what = guarded_special(t0, t1, b0, b1, at, ab, p);
        r0 = p.r0;
        r1 = p.r1;
        return what;
    }

    static __attribute__((noinline)) int guarded_special(T t0, T t1, T b0, T b1, T at, T ab, Pair &out)
    {
        T keepT, keepB, r0, r1;
        shortcuts(at, ab, keepT, keepB);
        T keep = V::or_(keepT, keepB);
        if (all(keep)) {
            /* Blocks of shortcut pixels only (the bulk of title-like
             * content) cost the masks and at most one select. */
            if (all(keepT)) { out.r0 = t0; out.r1 = t1; return IS_TOP; }
            if (all(keepB)) { out.r0 = b0; out.r1 = b1; return IS_BOTTOM; }
            out.r0 = V::select(mask_lo(keepT), t0, b0);
            out.r1 = V::select(mask_hi(keepT), t1, b1);
            return COMPUTED;
        }
        fast(t0, t1, b0, b1, at, ab, r0, r1);
        T weak = V::andnot(keep, V::cmpgt16(V::set16(5), ab));
        if (!none(weak)) {
            T s0, s1;
            table(t0, t1, b0, b1, at, ab, s0, s1);
            r0 = V::select(mask_lo(weak), s0, r0);
            r1 = V::select(mask_hi(weak), s1, r1);
        }
        r0 = V::select(mask_lo(keepB), b0, r0);
        r1 = V::select(mask_hi(keepB), b1, r1);
        out.r0 = V::select(mask_lo(keepT), t0, r0);
        out.r1 = V::select(mask_hi(keepT), t1, r1);
        return COMPUTED;
    }

    /* CompositPels with the switch on: a top alpha of 5..127 over a bottom
     * that is not empty takes the fast arithmetic, every other pixel the
     * table over with its shortcuts. */
    static PM_KINLINE int over_mixed(T t0, T t1, T b0, T b1, T &r0, T &r1)
    {
        T at = alphas(t0, t1), ab = alphas(b0, b1);
        T fastLane = V::andnot(V::cmpeq16(ab, V::zero()),
                               V::and_(V::cmpgt16(at, V::set16(4)), V::cmpgt16(V::set16(128), at)));
        if (none(fastLane)) return over_table(t0, t1, b0, b1, r0, r1);
        fast(t0, t1, b0, b1, at, ab, r0, r1);
        if (all(fastLane)) return COMPUTED;
        T s0, s1;
        over_table(t0, t1, b0, b1, s0, s1);
        r0 = V::select(mask_lo(fastLane), r0, s0);
        r1 = V::select(mask_hi(fastLane), r1, s1);
        return COMPUTED;
    }

    enum { BLOCK = 2 * V::PIXELS };

    /* Array drivers: whole blocks, then the tail through a zero-padded
     * block (so every pixel takes the same arithmetic).  dst may be top or
     * bottom: a block is read whole before it is written, and a block that
     * comes out as dst's own pixels is not written at all (transparent
     * parts of a title laid over a picture in place cost no stores).
     *
     * SPANS (for the operations with the table's shortcuts): a block whose
     * top is opaque throughout is the top, without reading the bottom; a
     * block whose top is transparent throughout over a bottom with no empty
     * pixel is the bottom.  Both are found with a few word operations
     * before any unpacking, which is what title-like content meets most. */
    template <int (*OP)(T, T, T, T, T &, T &), bool SPANS = false>
    static PM_KINLINE void run(const unsigned *top, const unsigned *bottom, unsigned *dst, long count)
    {
        const int same = dst == top ? IS_TOP : dst == bottom ? IS_BOTTOM : -1;
        const T A = V::set32((int)0xFF000000u);
        long i = 0;
        for (; i + BLOCK <= count; i += BLOCK) {
            const T t0 = V::load(top + i), t1 = V::load(top + i + V::PIXELS);
            if (SPANS && all(V::cmpeq32(V::and_(V::and_(t0, t1), A), A))) {
                if (same != IS_TOP) {
                    V::store(dst + i, t0);
                    V::store(dst + i + V::PIXELS, t1);
                }
                continue;
            }
            const T b0 = V::load(bottom + i), b1 = V::load(bottom + i + V::PIXELS);
            if (SPANS && all(V::cmpeq32(V::and_(V::or_(t0, t1), A), V::zero())) &&
                none(V::or_(V::cmpeq32(V::and_(b0, A), V::zero()), V::cmpeq32(V::and_(b1, A), V::zero())))) {
                if (same != IS_BOTTOM) {
                    V::store(dst + i, b0);
                    V::store(dst + i + V::PIXELS, b1);
                }
                continue;
            }
            T r0, r1;
            int what = OP(t0, t1, b0, b1, r0, r1);
            if (what == same) continue;
            V::store(dst + i, r0);
            V::store(dst + i + V::PIXELS, r1);
        }
        if (i < count) {
            unsigned tt[BLOCK], bb[BLOCK], dd[BLOCK];
            long n = count - i;
            for (long k = 0; k < BLOCK; ++k) {
                tt[k] = k < n ? top[i + k] : 0;
                bb[k] = k < n ? bottom[i + k] : 0;
            }
            T r0, r1;
            OP(V::load(tt), V::load(tt + V::PIXELS), V::load(bb), V::load(bb + V::PIXELS), r0, r1);
            V::store(dd, r0);
            V::store(dd + V::PIXELS, r1);
            for (long k = 0; k < n; ++k) dst[i + k] = dd[k];
        }
    }

    static PM_KINLINE int fast_block(T t0, T t1, T b0, T b1, T &r0, T &r1)
    {
        fast(t0, t1, b0, b1, alphas(t0, t1), alphas(b0, b1), r0, r1);
        return COMPUTED;
    }
};

} // namespace

#endif
