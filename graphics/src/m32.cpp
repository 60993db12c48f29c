// Block memory of the graphics core.  Everything sits on the process heap so
// that the core and the libraries it trades layers with free each other's
// blocks.  Fills and copies run bytewise up to a 4-byte boundary, then in
// words, then bytewise; a fill pattern rotates with every byte so 16- and
// 32-bit values stay in phase with the destination start.
#include <windows.h>
#include <string.h>
#include "m32.h"

static inline DWORD rotr8(DWORD v) { return (v >> 8) | (v << 24); }

static void fill_pattern(BYTE *d, DWORD pattern, SIZE_T bytes)
{
    while (bytes && ((ULONG_PTR)d & 3)) {
        *d++ = (BYTE)pattern;
        pattern = rotr8(pattern);
        --bytes;
    }
    DWORD *w = (DWORD *)d;
    for (SIZE_T n = bytes >> 2; n; --n) *w++ = pattern;
    d = (BYTE *)w;
    bytes &= 3;
    while (bytes--) {
        *d++ = (BYTE)pattern;
        pattern = rotr8(pattern);
    }
}

extern "C" {

void *PIXAPI M32_alloc(DWORD size)
{
    return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
}

void *PIXAPI M32_realloc(void *block, DWORD size)
{
    if (!block) return M32_alloc(size);
    SIZE_T old = HeapSize(GetProcessHeap(), 0, block);
    void *n = HeapReAlloc(GetProcessHeap(), 0, block, size);
    if (!n) return NULL;
    if (old != (SIZE_T)-1 && size > old) memset((BYTE *)n + old, 0, size - old);
    return n;
}

LONG PIXAPI M32_free(void *block)
{
    if (block) HeapFree(GetProcessHeap(), 0, block);
    return 0;
}

void *PIXAPI M32_memcpy(void *dst, const void *src, DWORD size)
{
    if (!size || !src) return NULL;
    if (!dst) {
        dst = HeapAlloc(GetProcessHeap(), 0, size);
        if (!dst) return NULL;
    }
    memmove(dst, src, size);
    return dst;
}

static void *fill_common(void *dst, DWORD pattern, SIZE_T bytes)
{
    if (!bytes) return NULL;
    if (!dst) {
        if (bytes > 0xFFFFFFFFu) return NULL;
        dst = HeapAlloc(GetProcessHeap(), 0, bytes);
        if (!dst) return NULL;
    }
    fill_pattern((BYTE *)dst, pattern, bytes);
    return dst;
}

void *PIXAPI M32_memset(void *dst, LONG value, DWORD count)
{
    DWORD b = (BYTE)value;
    return fill_common(dst, b * 0x01010101u, count);
}

void *PIXAPI M32_imemset(void *dst, LONG value, DWORD count)
{
    DWORD h = (WORD)value;
    return fill_common(dst, h | (h << 16), (SIZE_T)count * 2);
}

void *PIXAPI M32_lmemset(void *dst, DWORD value, DWORD count)
{
    return fill_common(dst, value, (SIZE_T)count * 4);
}

LONG PIXAPI M32_memcmp(const void *pa, const void *pb, DWORD length)
{
    if (!pa || !pb) return 0;
    const BYTE *a = (const BYTE *)pa, *b = (const BYTE *)pb;
    while (length && ((ULONG_PTR)b & 3)) {
        if (*a != *b) return *a < *b ? -1 : 1;
        ++a; ++b; --length;
    }
    while (length >= 8) {
        for (int k = 0; k < 2; ++k) {
            DWORD wa, wb;
            memcpy(&wa, a + 4 * k, 4);
            memcpy(&wb, b + 4 * k, 4);
            if (wa != wb) return wa < wb ? -1 : 1;
        }
        a += 8; b += 8; length -= 8;
    }
    while (length--) {
        if (*a != *b) return *a < *b ? -1 : 1;
        ++a; ++b;
    }
    return 0;
}

static void swap_bytes(BYTE *a, BYTE *b, SIZE_T length)
{
    while (length && ((ULONG_PTR)b & 3)) {
        BYTE t = *a; *a++ = *b; *b++ = t; --length;
    }
    for (SIZE_T n = length >> 2; n; --n) {
        DWORD wa, wb;
        memcpy(&wa, a, 4); memcpy(&wb, b, 4);
        memcpy(a, &wb, 4); memcpy(b, &wa, 4);
        a += 4; b += 4;
    }
    length &= 3;
    while (length--) {
        BYTE t = *a; *a++ = *b; *b++ = t;
    }
}

LONG PIXAPI M32_memswap(void *a, void *b, DWORD length)
{
    if (!a || !b || !length) return 0;
    swap_bytes((BYTE *)a, (BYTE *)b, length);
    return 1;
}

LONG PIXAPI M32_ddbcopy(void *dst, LONG dx, LONG dy, LONG dpitch,
                        const void *src, LONG sx, LONG sy, LONG spitch,
                        LONG rowBytes, LONG rows, LONG bytesPerPixel)
{
    if (!dst || !src) return 0;
    if (rowBytes <= 0 || rows <= 0) return 1;
    BYTE *d = (BYTE *)dst + (INT_PTR)dy * dpitch + (INT_PTR)dx * bytesPerPixel;
    const BYTE *s = (const BYTE *)src + (INT_PTR)sy * spitch + (INT_PTR)sx * bytesPerPixel;
    for (LONG r = 0; r < rows; ++r) {
        memmove(d, s, rowBytes);
        d += dpitch;
        s += spitch;
    }
    return 1;
}

LONG PIXAPI M32_ddbflip(void *image, LONG pitch, LONG rows)
{
    if (!image) return 0;
    BYTE *base = (BYTE *)image;
    SIZE_T bytes = pitch < 0 ? -(INT_PTR)pitch : pitch;
    for (LONG i = 0; i < rows / 2; ++i)
        swap_bytes(base + (INT_PTR)i * pitch, base + (INT_PTR)(rows - 1 - i) * pitch, bytes);
    return 1;
}

} // extern "C"
