/*
 * The over of premultiplied title pixels onto a surface row, in the
 * surfaces' own arithmetic: each byte becomes src + dst x (255 - src alpha)
 * / 255 (rounded to nearest, saturated), a pixel whose four bytes are 0
 * leaves dst alone and an opaque one replaces it.  With opaque, the alpha of
 * every touched pixel is then 255 (shadows and boxes make the programme
 * opaque where they fall).
 */
#ifndef CORVENGINE_TITLE_OVER_H
#define CORVENGINE_TITLE_OVER_H

#include <cstddef>
#include <cstdint>

void TitleOverRow(uint32_t *dst, const uint32_t *src, size_t n, bool opaque);
/* The same without the wide instructions, whatever the processor has. */
void TitleOverRowSse2(uint32_t *dst, const uint32_t *src, size_t n, bool opaque);

/* The over of n wholly transparent title pixels with opaque: only the alpha
 * of dst becomes 255 (words that have it already are not written). */
void TitleOpaqueRow(uint32_t *dst, size_t n);

/* A learnt text coverage over n pixels: dst = (dst & keep) | value. */
void TitleCoverRow(uint32_t *dst, const uint32_t *keep, const uint32_t *value, size_t n);

/* One pixel of the same rule (the reference the row is held to). */
static inline uint32_t TitleOverPixel(uint32_t dst, uint32_t src)
{
    const uint32_t a = src >> 24;
    if (a == 255) return src;
    if (src == 0) return dst;
    const uint32_t inv = 255 - a;
    uint32_t out = 0;
    for (int sh = 0; sh < 32; sh += 8) {
        uint32_t t = ((dst >> sh) & 0xFF) * inv + 0x80;
        uint32_t v = ((src >> sh) & 0xFF) + ((t + (t >> 8)) >> 8);
        out |= (v > 255 ? 255u : v) << sh;
    }
    return out;
}

#endif
