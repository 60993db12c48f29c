/*
 * Title over, four pixels at a time (eight with AVX2).  Title pixels come in
 * runs: groups that are wholly transparent are skipped and wholly opaque
 * ones copied; the rest take the byte arithmetic in 16-bit lanes, which
 * holds c x (255 - a) + 128 and its rounding sum exactly.
 */
#include "title_over.h"
#include <immintrin.h>

namespace {

inline __m128i over4(__m128i d, __m128i s)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i k80 = _mm_set1_epi16(0x80), k255 = _mm_set1_epi16(255);
    /* alpha of each pixel in all four 16-bit lanes of its half */
    __m128i sl = _mm_unpacklo_epi8(s, zero), sh = _mm_unpackhi_epi8(s, zero);
    __m128i al = _mm_shufflehi_epi16(_mm_shufflelo_epi16(sl, 0xFF), 0xFF);
    __m128i ah = _mm_shufflehi_epi16(_mm_shufflelo_epi16(sh, 0xFF), 0xFF);
    al = _mm_sub_epi16(k255, al);
    ah = _mm_sub_epi16(k255, ah);
    __m128i dl = _mm_unpacklo_epi8(d, zero), dh = _mm_unpackhi_epi8(d, zero);
    __m128i tl = _mm_add_epi16(_mm_mullo_epi16(dl, al), k80);
    __m128i th = _mm_add_epi16(_mm_mullo_epi16(dh, ah), k80);
    tl = _mm_srli_epi16(_mm_add_epi16(tl, _mm_srli_epi16(tl, 8)), 8);
    th = _mm_srli_epi16(_mm_add_epi16(th, _mm_srli_epi16(th, 8)), 8);
    __m128i r = _mm_adds_epu8(s, _mm_packus_epi16(tl, th));
    /* An all-zero pixel gives dst (scaling by 255 is exact) and an opaque
     * one src, as the rule says. */
    return r;
}

void row_sse2(uint32_t *dst, const uint32_t *src, size_t n, bool opaque)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128i amask = _mm_set1_epi32((int)0xFF000000u);
    const __m128i fill = opaque ? amask : zero;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i *>(src + i));
        __m128i *dp = reinterpret_cast<__m128i *>(dst + i);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(s, zero)) == 0xFFFF) {
            if (opaque) _mm_storeu_si128(dp, _mm_or_si128(_mm_loadu_si128(dp), fill));
            continue;
        }
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(s, amask), amask)) == 0xFFFF) {
            _mm_storeu_si128(dp, s);
            continue;
        }
        __m128i d = _mm_loadu_si128(dp);
        _mm_storeu_si128(dp, _mm_or_si128(over4(d, s), fill));
    }
    for (; i < n; i++) {
        dst[i] = (src[i] ? TitleOverPixel(dst[i], src[i]) : dst[i]) | (opaque ? 0xFF000000u : 0);
    }
}

__attribute__((target("avx2"))) inline __m256i over8(__m256i d, __m256i s)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i k80 = _mm256_set1_epi16(0x80), k255 = _mm256_set1_epi16(255);
    const __m256i spread = _mm256_setr_epi8(6, -1, 6, -1, 6, -1, 6, -1, 14, -1, 14, -1, 14, -1, 14, -1,
                                            6, -1, 6, -1, 6, -1, 6, -1, 14, -1, 14, -1, 14, -1, 14, -1);
    __m256i sl = _mm256_unpacklo_epi8(s, zero), sh = _mm256_unpackhi_epi8(s, zero);
    __m256i al = _mm256_sub_epi16(k255, _mm256_shuffle_epi8(sl, spread));
    __m256i ah = _mm256_sub_epi16(k255, _mm256_shuffle_epi8(sh, spread));
    __m256i dl = _mm256_unpacklo_epi8(d, zero), dh = _mm256_unpackhi_epi8(d, zero);
    __m256i tl = _mm256_add_epi16(_mm256_mullo_epi16(dl, al), k80);
    __m256i th = _mm256_add_epi16(_mm256_mullo_epi16(dh, ah), k80);
    tl = _mm256_srli_epi16(_mm256_add_epi16(tl, _mm256_srli_epi16(tl, 8)), 8);
    th = _mm256_srli_epi16(_mm256_add_epi16(th, _mm256_srli_epi16(th, 8)), 8);
    return _mm256_adds_epu8(s, _mm256_packus_epi16(tl, th));
}

__attribute__((target("avx2"))) void row_avx2(uint32_t *dst, const uint32_t *src, size_t n, bool opaque)
{
    const __m256i zero = _mm256_setzero_si256();
    const __m256i amask = _mm256_set1_epi32((int)0xFF000000u);
    const __m256i fill = opaque ? amask : zero;
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(src + i));
        __m256i *dp = reinterpret_cast<__m256i *>(dst + i);
        if (_mm256_testz_si256(s, s)) {
            if (opaque) _mm256_storeu_si256(dp, _mm256_or_si256(_mm256_loadu_si256(dp), fill));
            continue;
        }
        if (_mm256_testc_si256(s, amask)) {
            _mm256_storeu_si256(dp, s);
            continue;
        }
        __m256i d = _mm256_loadu_si256(dp);
        _mm256_storeu_si256(dp, _mm256_or_si256(over8(d, s), fill));
    }
    if (i < n) row_sse2(dst + i, src + i, n - i, opaque);
}

bool has_avx2()
{
    static const bool yes = __builtin_cpu_supports("avx2");
    return yes;
}

void opaque_sse2(uint32_t *dst, size_t n)
{
    const __m128i amask = _mm_set1_epi32((int)0xFF000000u);
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128i *dp = reinterpret_cast<__m128i *>(dst + i);
        const __m128i d = _mm_loadu_si128(dp);
        if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(d, amask), amask)) != 0xFFFF)
            _mm_storeu_si128(dp, _mm_or_si128(d, amask));
    }
    for (; i < n; i++) dst[i] |= 0xFF000000u;
}

__attribute__((target("avx2"))) void opaque_avx2(uint32_t *dst, size_t n)
{
    const __m256i amask = _mm256_set1_epi32((int)0xFF000000u);
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256i *dp = reinterpret_cast<__m256i *>(dst + i);
        const __m256i d = _mm256_loadu_si256(dp);
        if (!_mm256_testc_si256(d, amask)) _mm256_storeu_si256(dp, _mm256_or_si256(d, amask));
    }
    if (i < n) opaque_sse2(dst + i, n - i);
}

}  // namespace

void TitleOverRow(uint32_t *dst, const uint32_t *src, size_t n, bool opaque)
{
    if (has_avx2()) row_avx2(dst, src, n, opaque);
    else row_sse2(dst, src, n, opaque);
}

void TitleOpaqueRow(uint32_t *dst, size_t n)
{
    if (has_avx2()) opaque_avx2(dst, n);
    else opaque_sse2(dst, n);
}

void TitleCoverRow(uint32_t *dst, const uint32_t *keep, const uint32_t *value, size_t n)
{
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        __m128i *dp = reinterpret_cast<__m128i *>(dst + i);
        const __m128i k = _mm_loadu_si128(reinterpret_cast<const __m128i *>(keep + i));
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(value + i));
        _mm_storeu_si128(dp, _mm_or_si128(_mm_and_si128(_mm_loadu_si128(dp), k), v));
    }
    for (; i < n; i++) dst[i] = (dst[i] & keep[i]) | value[i];
}

/* Exposed for the tests: the SSE2 path on machines with AVX2 too. */
void TitleOverRowSse2(uint32_t *dst, const uint32_t *src, size_t n, bool opaque)
{
    row_sse2(dst, src, n, opaque);
}
