// Everyday operations on a layer's pixels: clear, fill, copy, swap, mirror,
// flatten, interlace, centre, shrink to the visible pixels and the host
// channel buffers.
#include <windows.h>
#include <wine/debug.h>
#include <string.h>
#include <climits>
#include "m32.h"
#include "layer.h"
#include "compose.h"
#include "access.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

static const LayerStoreOps *store_of(Layer *layer)
{
    return layer && layer->root ? layer->root->store : NULL;
}

static void fill_window(const Access &acc, DWORD pixel)
{
    const LayerAccess &a = acc.a;
    if (a.firstPitch == a.width * 4) {
        M32_lmemset(a.firstPtr, pixel, (DWORD)a.width * (DWORD)a.height);
        return;
    }
    for (LONG y = 0; y < a.height; ++y) M32_lmemset(acc.row1(y), pixel, (DWORD)a.width);
}

// Applies rule(dst row, src row, width) over the window of a two-layer access
// (first = destination).  Refreshes the source first and updates the
// destination last; nothing happens when the two do not overlap.
template <class Rule>
static LONG dst_src_op(Layer *dst, Layer *src, Rule rule)
{
    Access acc(dst, src);
    if (!acc.ok) return 1;
    RefreshLayer(src);
    if (!acc.has_second()) return 1;
    for (LONG y = 0; y < acc.height(); ++y) rule(acc.row1(y), acc.row2(y), acc.width());
    UpdateLayer(dst);
    return 1;
}

extern "C" {

LONG PIXAPI ClearLayer(Layer *layer)
{
    WINE_TRACE("(%p)\n", layer);
    if (!layer) return 0;
    const LayerStoreOps *ops = store_of(layer);
    if (ops && ops->clear && ops->clear(layer)) return 1;
    Access acc(layer);
    if (!acc.ok) return 0;
    fill_window(acc, 0);
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI SetLayer(Layer *layer, DWORD pixel)
{
    WINE_TRACE("(%p, %08x)\n", layer, (unsigned)pixel);
    if (!layer) return 0;
    const LayerStoreOps *ops = store_of(layer);
    if (ops && ops->fill && ops->fill(layer, pixel)) return 1;
    Access acc(layer);
    if (!acc.ok) return 0;
    fill_window(acc, pixel);
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI SetAlphaLayer(Layer *layer, LONG alpha)
{
    WINE_TRACE("(%p, %d)\n", layer, (int)alpha);
    Access acc(layer);
    if (!acc.ok) return 1;
    DWORD a = (DWORD)(alpha & 0xFF) << 24;
    for (LONG y = 0; y < acc.height(); ++y) {
        DWORD *p = acc.row1(y);
        for (LONG x = 0; x < acc.width(); ++x) p[x] = (p[x] & 0x00FFFFFFu) | a;
    }
    UpdateLayer(layer);
    return 1;
}

DWORD PIXAPI GetPelInLayer(Layer *layer, LONG x, LONG y)
{
    Access acc(layer);
    if (!acc.ok) return 0;
    RefreshLayer(layer);
    if (x < 0 || y < 0 || x >= acc.width() || y >= acc.height()) return 0;
    return acc.row1(y)[x];
}

LONG PIXAPI SetPelInLayer(Layer *layer, LONG x, LONG y, DWORD pixel)
{
    Access acc(layer);
    if (!acc.ok) return 0;
    if (x < 0 || y < 0 || x >= acc.width() || y >= acc.height()) return 0;
    acc.row1(y)[x] = pixel;
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI CopyLayer(Layer *dst, Layer *src)
{
    WINE_TRACE("(%p, %p)\n", dst, src);
    if (!dst || !src) return 0;
    const LayerStoreOps *d = store_of(dst), *s = store_of(src);
    if (d && d->copy && d->copy(dst, src)) return 1;
    if (s && s->copy && s->copy(dst, src)) return 1;
    Access acc(dst, src);
    if (!acc.ok) return 0;
    RefreshLayer(src);
    if (!acc.has_second()) return 1;
    const LayerAccess &a = acc.a;
    SIZE_T row = (SIZE_T)a.width * 4;
    if (a.firstPitch == a.width * 4 && a.secondPitch == a.width * 4)
        memmove(a.firstPtr, a.secondPtr, row * a.height);
    else
        for (LONG y = 0; y < a.height; ++y) memmove(acc.row1(y), acc.row2(y), row);
    UpdateLayer(dst);
    return 1;
}

LONG PIXAPI CopyWithOpacityLayer(Layer *dst, Layer *src, LONG opacity)
{
    WINE_TRACE("(%p, %p, %d)\n", dst, src, (int)opacity);
    DWORD op = opacity & 0xFF;
    return dst_src_op(dst, src, [op](DWORD *d, const DWORD *s, LONG w) {
        for (LONG x = 0; x < w; ++x) d[x] = (s[x] & 0x00FFFFFFu) | (pm_scale(op, s[x] >> 24) << 24);
    });
}

LONG PIXAPI SwapLayer(Layer *first, Layer *second)
{
    WINE_TRACE("(%p, %p)\n", first, second);
    Access acc(first, second);
    if (!acc.ok) return 1;
    RefreshLayer(second);
    RefreshLayer(first);
    if (!acc.has_second()) return 1;
    for (LONG y = 0; y < acc.height(); ++y) M32_memswap(acc.row1(y), acc.row2(y), (DWORD)acc.width() * 4);
    UpdateLayer(second);
    UpdateLayer(first);
    return 1;
}

static inline DWORD flatten_black(DWORD p)
{
    DWORD a = p >> 24;
    return 0xFF000000u | (pm_scale(a, (p >> 16) & 0xFF) << 16) | (pm_scale(a, (p >> 8) & 0xFF) << 8) |
           pm_scale(a, p & 0xFF);
}

LONG PIXAPI BlackBackground(Layer *dst, Layer *src)
{
    WINE_TRACE("(%p, %p)\n", dst, src);
    return dst_src_op(dst, src, [](DWORD *d, const DWORD *s, LONG w) {
        for (LONG x = 0; x < w; ++x) d[x] = flatten_black(s[x]);
    });
}

// The blue dots sit on every 16th column and row counted from the window's
// top-left pixel.
LONG PIXAPI VMPBackground(Layer *dst, Layer *src)
{
    WINE_TRACE("(%p, %p)\n", dst, src);
    LONG row = 0;
    return dst_src_op(dst, src, [&row](DWORD *d, const DWORD *s, LONG w) {
        bool gridRow = (row++ % 16) == 0;
        for (LONG x = 0; x < w; ++x) {
            if (gridRow && (x % 16) == 0) {
                DWORD p = s[x], a = p >> 24;
                d[x] = 0xFF000000u | (pm_scale(a, (p >> 16) & 0xFF) << 16) |
                       (pm_scale(a, (p >> 8) & 0xFF) << 8) | (pm_scale(a, p & 0xFF) + 255 - a);
            } else {
                d[x] = flatten_black(s[x]);
            }
        }
    });
}

LONG PIXAPI ReverseCompositLayer(Layer *layer)
{
    WINE_TRACE("(%p)\n", layer);
    Access acc(layer);
    if (!acc.ok) return 1;
    for (LONG y = 0; y < acc.height(); ++y) {
        DWORD *p = acc.row1(y);
        for (LONG x = 0; x < acc.width(); ++x) {
            DWORD v = p[x], a = v >> 24;
            const BYTE *u = UnmultiplyTable + (a << 8);
            p[x] = (v & 0xFF000000u) | ((DWORD)u[(v >> 16) & 0xFF] << 16) | ((DWORD)u[(v >> 8) & 0xFF] << 8) |
                   u[v & 0xFF];
        }
    }
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI FlipHorzLayer(Layer *layer)
{
    WINE_TRACE("(%p)\n", layer);
    Access acc(layer);
    if (!acc.ok) return 1;
    RefreshLayer(layer);
    LONG w = acc.width();
    if (w <= 1) return 1;
    for (LONG y = 0; y < acc.height(); ++y) {
        DWORD *p = acc.row1(y);
        for (LONG i = 0; i < w / 2; ++i) {
            DWORD t = p[i]; p[i] = p[w - 1 - i]; p[w - 1 - i] = t;
        }
    }
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI FlipVertLayer(Layer *layer)
{
    WINE_TRACE("(%p)\n", layer);
    Access acc(layer);
    if (!acc.ok) return 1;
    RefreshLayer(layer);
    LONG h = acc.height();
    if (h <= 1) return 1;
    for (LONG r = 0; r < h / 2; ++r) M32_memswap(acc.row1(r), acc.row1(h - 1 - r), (DWORD)acc.width() * 4);
    UpdateLayer(layer);
    return 1;
}

LONG PIXAPI InterlaceLayer(Layer *dst, Layer *even, Layer *odd)
{
    WINE_TRACE("(%p, %p, %p)\n", dst, even, odd);
    Access ae(dst, even), ao(dst, odd);
    if (!ae.ok || !ao.ok) return 1;
    RefreshLayer(even);
    RefreshLayer(odd);
    Access *both[2] = { &ae, &ao };
    CommonWindow cw;
    if (!cw.build(both, 2)) return 1;
    for (LONG r = 0; r < cw.height; ++r)
        memmove(cw.row_first(r), cw.row_second(r & 1, r), (SIZE_T)cw.width * 4);
    UpdateLayer(dst);
    return 1;
}

LONG PIXAPI CenterLayer(Layer *dst, Layer *src)
{
    WINE_TRACE("(%p, %p)\n", dst, src);
    if (!dst || !src) return 0;
    Layer *dc = CreateClippedLayer(dst), *sc = CreateClippedLayer(src);
    if (!dc || !sc) {
        DeleteLayer(dc);
        DeleteLayer(sc);
        return 0;
    }
    RECT dr, sr;
    GetUnionRectRef(dc, dc, &dr);
    GetUnionRectRef(sc, sc, &sr);
    LONG dw = dr.right - dr.left, dh = dr.bottom - dr.top;
    LONG sw = sr.right - sr.left, sh = sr.bottom - sr.top;
    RECT dclip, sclip;
    if (sw > dw) {
        dclip.left = 0; dclip.right = dw;
        sclip.left = (sw - dw) / 2; sclip.right = sclip.left + dw;
    } else {
        sclip.left = 0; sclip.right = sw;
        dclip.left = (dw - sw) / 2; dclip.right = dclip.left + sw;
    }
    if (sh > dh) {
        dclip.top = 0; dclip.bottom = dh;
        sclip.top = (sh - dh) / 2; sclip.bottom = sclip.top + dh;
    } else {
        sclip.top = 0; sclip.bottom = sh;
        dclip.top = (dh - sh) / 2; dclip.bottom = dclip.top + sh;
    }
    ClipLayer(dc, &dclip);
    ClipLayer(sc, &sclip);
    CopyLayer(dc, sc);
    DeleteLayer(dc);
    DeleteLayer(sc);
    return 1;
}

LONG PIXAPI ClipToAlphaLayer(Layer *layer)
{
    WINE_TRACE("(%p)\n", layer);
    LONG minx = 0x7FFFFFFF, miny = 0x7FFFFFFF, maxx = -1, maxy = -1;
    RECT window;
    {
        Access acc(layer);
        if (!acc.ok) return 1;
        window = acc.a.window;
        for (LONG y = 0; y < acc.height(); ++y) {
            const DWORD *p = acc.row1(y);
            for (LONG x = 0; x < acc.width(); ++x)
                if (p[x] >> 24) {
                    if (x < minx) minx = x;
                    if (x > maxx) maxx = x;
                    if (y < miny) miny = y;
                    if (y > maxy) maxy = y;
                }
        }
    }
    if (maxx < 0) return 1;
    // Columns and rows are counted in the layer's own coordinates, so a
    // window that starts inside the clip rectangle keeps its place.
    ClipLayerXYWH(layer, window.left + minx + layer->clip.left, window.top + miny + layer->clip.top,
                  maxx - minx + 1, maxy - miny + 1);
    return 1;
}

} // extern "C"

// ---- Host channel buffers ------------------------------------------------

static bool host_format(LONG format, int &first, int &last)
{
    switch (format & 0xFFFF) {
    case 0x0000: first = 0; last = 0; return true;
    case 0x0101: first = 1; last = 1; return true;
    case 0x0202: first = 2; last = 2; return true;
    case 0x0001: first = 0; last = 1; return true;
    case 0x0102: first = 1; last = 2; return true;
    case 0x0002: first = 0; last = 2; return true;
    }
    return false;
}

static void *host_transfer(Layer *layer, void *buffer, const RECT *rect, LONG format, LONG *outRowBytes, bool paste)
{
    if (!layer || !rect) return NULL;
    ClipLayer(layer, rect);
    Access acc(layer);
    if (!acc.ok) return NULL;
    int first = 0, last = -1;
    bool known = host_format(format, first, last);
    LONGLONG bpp = known ? last - first + 1 : 0;
    LONGLONG rw = (LONGLONG)rect->right - rect->left, rh = (LONGLONG)rect->bottom - rect->top;
    if (rw < 0) rw = 0;
    if (rh < 0) rh = 0;
    LONGLONG rowBytes = (rw * bpp + 3) & ~3LL;
    LONGLONG size = rowBytes * rh + 4;
    if (size > 0x7FFFFFFFLL) return NULL;
    if (outRowBytes) *outRowBytes = (LONG)rowBytes;
    if (buffer && *(DWORD *)buffer < (DWORD)size) {
        M32_free(buffer);
        buffer = NULL;
    }
    if (!buffer) {
        buffer = M32_alloc((DWORD)size);
        if (!buffer) return NULL;
        *(DWORD *)buffer = (DWORD)size;
    }
    if (!known) return buffer;
    // The window may be smaller than the rectangle where it leaves the
    // parent; pixels land at their place inside the rectangle.
    const RECT &w = acc.a.window;
    BYTE *rows = (BYTE *)buffer + 4;
    for (LONG y = 0; y < acc.height(); ++y) {
        LONGLONG by = w.top + y;
        if (by < 0 || by >= rh) continue;
        DWORD *p = acc.row1(y);
        for (LONG x = 0; x < acc.width(); ++x) {
            LONGLONG bx = w.left + x;
            if (bx < 0 || bx >= rw) continue;
            BYTE *h = rows + by * rowBytes + bx * bpp;
            BYTE *px = (BYTE *)&p[x];
            for (int c = first; c <= last; ++c) {
                if (paste) px[2 - c] = h[c - first];
                else h[c - first] = px[2 - c];
            }
        }
    }
    return buffer;
}

extern "C" {

void *PIXAPI HostCopyLayer(Layer *layer, void *buffer, const RECT *rect, LONG format, LONG *rowBytes)
{
    WINE_TRACE("(%p, %p, %p, %d, %p)\n", layer, buffer, rect, (int)format, rowBytes);
    return host_transfer(layer, buffer, rect, format, rowBytes, false);
}

void *PIXAPI HostPasteLayer(Layer *layer, void *buffer, const RECT *rect, LONG format, LONG *rowBytes)
{
    WINE_TRACE("(%p, %p, %p, %d, %p)\n", layer, buffer, rect, (int)format, rowBytes);
    return host_transfer(layer, buffer, rect, format, rowBytes, true);
}

// Development aid: a horizontal two-tap blend of neighbouring pixels in
// pairs, weight w/256 on the pixel itself and (256 - w)/256 on its
// neighbour; an odd last pixel is copied.
LONG PIXAPI TestMMXLayer(Layer *first, Layer *second, LONG weight)
{
    WINE_TRACE("(%p, %p, %d)\n", first, second, (int)weight);
    DWORD w = weight & 0xFF, v = 256 - w;
    Access acc(first, second);
    if (!acc.has_second()) return 1;
    for (LONG y = 0; y < acc.height(); ++y) {
        const DWORD *s = acc.row1(y);
        DWORD *d = acc.row2(y);
        LONG x = 0;
        for (; x + 1 < acc.width(); x += 2) {
            DWORD a = s[x], b = s[x + 1], r0 = 0, r1 = 0;
            for (int c = 0; c < 32; c += 8) {
                DWORD ca = (a >> c) & 0xFF, cb = (b >> c) & 0xFF;
                r0 |= ((ca * w + cb * v) >> 8) << c;
                r1 |= ((cb * w + ca * v) >> 8) << c;
            }
            d[x] = r0;
            d[x + 1] = r1;
        }
        if (x < acc.width()) d[x] = s[x];
    }
    return 1;
}

} // extern "C"
