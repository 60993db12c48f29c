// Eight pixels at a time of the fast arithmetic and of the guarded over,
// for processors with AVX2 (chosen at run time; the SSE2 path in
// compose.cpp is the baseline).  Results are word for word those of the
// fast arithmetic.
#include <windows.h>
#include <immintrin.h>
#include "compose.h"

#define AVX2_FN __attribute__((target("avx2")))

// Per 128-bit lane: bytes of pixels 0,1 (lo) or 2,3 (hi) of the lane to
// words, and byte 0 / bytes 0-1 of each 32-bit lane broadcast to the
// pixel's three colour words.
static AVX2_FN inline __m256i bcast(const __m256i v, const __m256i idx) { return _mm256_shuffle_epi8(v, idx); }

static AVX2_FN inline __m256i fast8_alphas(__m256i t, __m256i b, __m256i at, __m256i ab)
{
    const __m256i amask = _mm256_set1_epi32((int)0xFF000000u);
    const __m256i z = _mm256_setzero_si256();
    // byte 3 of pixel k (alpha) into its four words; pixels 0,1 and 2,3 of a lane
    const __m256i aLo = _mm256_setr_epi8(3, -128, 3, -128, 3, -128, 3, -128, 7, -128, 7, -128, 7, -128, 7, -128,
                                         3, -128, 3, -128, 3, -128, 3, -128, 7, -128, 7, -128, 7, -128, 7, -128);
    const __m256i aHi = _mm256_setr_epi8(11, -128, 11, -128, 11, -128, 11, -128, 15, -128, 15, -128, 15, -128, 15, -128,
                                         11, -128, 11, -128, 11, -128, 11, -128, 15, -128, 15, -128, 15, -128, 15, -128);
    // low byte of 32-bit lane k into the four words of pixel k
    const __m256i eLo = _mm256_setr_epi8(0, -128, 0, -128, 0, -128, 0, -128, 4, -128, 4, -128, 4, -128, 4, -128,
                                         0, -128, 0, -128, 0, -128, 0, -128, 4, -128, 4, -128, 4, -128, 4, -128);
    const __m256i eHi = _mm256_setr_epi8(8, -128, 8, -128, 8, -128, 8, -128, 12, -128, 12, -128, 12, -128, 12, -128,
                                         8, -128, 8, -128, 8, -128, 8, -128, 12, -128, 12, -128, 12, -128, 12, -128);
    // low word of 32-bit lane k into the three colour words, alpha word left 0
    const __m256i wLo = _mm256_setr_epi8(0, 1, 0, 1, 0, 1, -128, -128, 4, 5, 4, 5, 4, 5, -128, -128,
                                         0, 1, 0, 1, 0, 1, -128, -128, 4, 5, 4, 5, 4, 5, -128, -128);
    const __m256i wHi = _mm256_setr_epi8(8, 9, 8, 9, 8, 9, -128, -128, 12, 13, 12, 13, 12, 13, -128, -128,
                                         8, 9, 8, 9, 8, 9, -128, -128, 12, 13, 12, 13, 12, 13, -128, -128);
    const __m256i w515 = _mm256_setr_epi16(0, 0, 0, 515, 0, 0, 0, 515, 0, 0, 0, 515, 0, 0, 0, 515);

    __m256i p = _mm256_srli_epi32(_mm256_add_epi32(_mm256_mullo_epi16(at, ab), _mm256_set1_epi32(255)), 8);
    __m256i e = _mm256_sub_epi32(ab, p);
    __m256i ao = _mm256_add_epi32(at, e);
    // 131325 / i truncated; i = 1..4 saturate to 32767; i = 0 gives a word
    // that multiplies only zero sums.
    __m256i q = _mm256_cvttps_epi32(_mm256_div_ps(_mm256_set1_ps(131325.0f), _mm256_cvtepi32_ps(ao)));
    q = _mm256_min_epi32(q, _mm256_set1_epi32(32767));

    __m256i tf = _mm256_or_si256(t, amask), bf = _mm256_or_si256(b, amask);
    __m256i xl = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(tf, z), bcast(t, aLo)),
                                  _mm256_mullo_epi16(_mm256_unpacklo_epi8(bf, z), bcast(e, eLo)));
    xl = _mm256_mulhi_epi16(_mm256_srli_epi16(xl, 1), _mm256_or_si256(bcast(q, wLo), w515));
    __m256i xh = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(tf, z), bcast(t, aHi)),
                                  _mm256_mullo_epi16(_mm256_unpackhi_epi8(bf, z), bcast(e, eHi)));
    xh = _mm256_mulhi_epi16(_mm256_srli_epi16(xh, 1), _mm256_or_si256(bcast(q, wHi), w515));
    return _mm256_packus_epi16(xl, xh);
}

static AVX2_FN inline __m256i fast8(__m256i t, __m256i b)
{
    return fast8_alphas(t, b, _mm256_srli_epi32(t, 24), _mm256_srli_epi32(b, 24));
}

AVX2_FN LONG pm_fast_avx2(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    LONG i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i t = _mm256_loadu_si256((const __m256i *)(top + i));
        __m256i b = _mm256_loadu_si256((const __m256i *)(bottom + i));
        _mm256_storeu_si256((__m256i *)(dst + i), fast8(t, b));
    }
    return i;
}

AVX2_FN LONG pm_guarded_avx2(const DWORD *top, const DWORD *bottom, DWORD *dst, LONG count)
{
    const __m256i z = _mm256_setzero_si256();
    const __m256i full = _mm256_set1_epi32(255);
    const __m256i five = _mm256_set1_epi32(5);
    LONG i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i t = _mm256_loadu_si256((const __m256i *)(top + i));
        __m256i b = _mm256_loadu_si256((const __m256i *)(bottom + i));
        __m256i at = _mm256_srli_epi32(t, 24), ab = _mm256_srli_epi32(b, 24);
        // Soft pixels only (top alpha 1..254, bottom alpha 5 and up): the
        // fast arithmetic without any mask work.
        __m256i soft = _mm256_and_si256(_mm256_cmpeq_epi32(_mm256_max_epi32(_mm256_min_epi32(at, _mm256_set1_epi32(254)), _mm256_set1_epi32(1)), at),
                                        _mm256_cmpgt_epi32(ab, _mm256_set1_epi32(4)));
        if ((unsigned)_mm256_movemask_epi8(soft) == 0xFFFFFFFFu) {
            _mm256_storeu_si256((__m256i *)(dst + i), fast8_alphas(t, b, at, ab));
            continue;
        }
        __m256i keepT = _mm256_or_si256(_mm256_cmpeq_epi32(ab, z), _mm256_cmpeq_epi32(at, full));
        __m256i keepB = _mm256_andnot_si256(keepT, _mm256_cmpeq_epi32(at, z));
        unsigned mt = (unsigned)_mm256_movemask_epi8(keepT), mb = (unsigned)_mm256_movemask_epi8(keepB);
        if (mt == 0xFFFFFFFFu) { _mm256_storeu_si256((__m256i *)(dst + i), t); continue; }
        if (mb == 0xFFFFFFFFu) { _mm256_storeu_si256((__m256i *)(dst + i), b); continue; }
        __m256i r;
        if ((mt | mb) == 0) {
            r = fast8_alphas(t, b, at, ab);      // the common case of soft pixels
        } else {
            r = (mt | mb) == 0xFFFFFFFFu ? z : fast8_alphas(t, b, at, ab);
            r = _mm256_blendv_epi8(r, t, keepT);
            r = _mm256_blendv_epi8(r, b, keepB);
        }
        __m256i weak = _mm256_andnot_si256(_mm256_or_si256(keepT, keepB), _mm256_cmpgt_epi32(five, ab));
        int mw = _mm256_movemask_ps(_mm256_castsi256_ps(weak));
        if (mw) {
            alignas(32) DWORD tt[8], bb[8], rr[8];
            _mm256_store_si256((__m256i *)tt, t);
            _mm256_store_si256((__m256i *)bb, b);
            _mm256_store_si256((__m256i *)rr, r);
            for (int k = 0; k < 8; ++k)
                if (mw & (1 << k)) rr[k] = pm_over_table_core(tt[k], bb[k]);
            r = _mm256_load_si256((const __m256i *)rr);
        }
        _mm256_storeu_si256((__m256i *)(dst + i), r);
    }
    return i;
}
