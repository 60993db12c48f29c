// Background scanline source: tiles a background layer (any layer or a
// stock layer) under a line of pixels and composites the line over it.  The
// image filters use it to flatten transparent images, the views for their
// backgrounds, BackgroundLayer for a whole layer.
#include <cstddef>
#include <cstring>

#include "scale_source.h"
#include "m32.h"
#include <wine/debug.h>

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

inline LONG wrap(long long v, LONG n)
{
    long long r = v % n;
    return (LONG)(r < 0 ? r + n : r);
}

// Fills the state's line buffer from the background row of the current line,
// alpha forced opaque.
void fill_line(BackgroundScanlineState *s)
{
    const LayerAccess &a = s->access;
    LONG bw = a.width, bh = a.height;
    LONG count = s->count;
    if (bw < 1 || bh < 1 || count < 1) return;
    LONG row = wrap((long long)s->phaseY + s->line, bh);
    LONG col = wrap((long long)s->phaseX + s->column, bw);
    const DWORD *src = (const DWORD *)(a.firstPtr + (ptrdiff_t)row * a.firstPitch);
    DWORD *out = s->buffer;
    // One background period, starting at the tile column.
    LONG period = count < bw ? count : bw;
    for (LONG i = 0; i < period; i++) {
        out[i] = src[col] | 0xFF000000u;
        if (++col == bw) col = 0;
    }
    // The rest repeats what is already there, in growing blocks.
    LONG filled = period;
    while (filled < count) {
        LONG n = filled;
        if (n > count - filled) n = count - filled;
        memcpy(out + filled, out, (size_t)n * 4);
        filled += n;
    }
}

}  // namespace

extern "C" {

BackgroundScanlineState *PIXAPI BeginBackgroundScanlineLayer(LONG width, Layer *background)
{
    WINE_TRACE("(%d, %p)\n", width, background);
    if (width < 1 || width > 0x0FFFFFFF) return nullptr;
    if (!background) background = GetStockLayer(0);
    if (!background) return nullptr;

    size_t bytes = offsetof(BackgroundScanlineState, buffer) + (size_t)width * 4;
    auto *s = (BackgroundScanlineState *)M32_alloc((DWORD)bytes);
    if (!s) return nullptr;
    if (!BeginLayerAccess(&s->access, background, nullptr)) {
        WINE_WARN("background %p cannot be accessed\n", background);
        M32_free(s);
        return nullptr;
    }
    AddRefCountLayer(background);
    s->background = background;
    s->dirty1 = s->dirty2 = 1;
    s->width = width;
    s->count = width;
    return s;
}

BackgroundScanlineState *PIXAPI BeginBackgroundScanlineID(LONG width, LONG id)
{
    if (width < 1) return nullptr;
    return BeginBackgroundScanlineLayer(width, GetStockLayer(id));
}

BackgroundScanlineState *PIXAPI BeginBackgroundScanline(LONG width)
{
    return BeginBackgroundScanlineLayer(width, nullptr);
}

BackgroundScanlineState *PIXAPI OffsetBackgroundScanline(LONG x, LONG y, LONG n, BackgroundScanlineState *s)
{
    if (!s) return nullptr;
    s->line = y;
    s->column = x;
    s->count = (n <= 0 || n > s->width) ? s->width : n;
    return s;
}

BackgroundScanlineState *PIXAPI SetTileOffsetBackgroundScanline(LONG dx, LONG dy, BackgroundScanlineState *s)
{
    if (!s) return nullptr;
    s->phaseX = -dx;
    s->phaseY = -dy;
    return s;
}

LONG PIXAPI BackgroundScanline(DWORD *dst, const DWORD *src, BackgroundScanlineState *s)
{
    if (!s || !dst) return 0;
    if (!src) src = dst;
    fill_line(s);
    if (s->count > 0) CompositPels(src, s->buffer, dst, s->count);
    s->line++;
    s->dirty1 = s->dirty2 = 1;
    return 1;
}

LONG PIXAPI EndBackgroundScanline(BackgroundScanlineState *s)
{
    WINE_TRACE("(%p)\n", s);
    if (!s) return 0;
    EndLayerAccess(&s->access);
    if (s->background) DeleteLayer(s->background);
    M32_free(s);
    return 1;
}

LONG AlphaDisplayScanline(DWORD *dst, const DWORD *src, BackgroundScanlineState *s)
{
    if (!s || !dst) return 0;
    if (!src) src = dst;
    for (LONG i = 0; i < s->count; i++) dst[i] = 0xFF000000u + (src[i] >> 24) * 0x010101u;
    s->line++;
    return 1;
}

LONG PIXAPI BackgroundLayer(Layer *destination, Layer *source, Layer *background)
{
    WINE_TRACE("(%p, %p, %p)\n", destination, source, background);
    if (!destination || !source) return 0;
    LayerAccess a;
    if (!BeginLayerAccess(&a, destination, source)) return 0;
    LONG ok = 0;
    if (a.secondPtr && a.width > 0 && a.height > 0) {
        BackgroundScanlineState *s = BeginBackgroundScanlineLayer(a.width, background);
        if (s) {
            BYTE *d = a.firstPtr;
            const BYTE *src = a.secondPtr;
            for (LONG y = 0; y < a.height; y++) {
                BackgroundScanline((DWORD *)d, (const DWORD *)src, s);
                d += a.firstPitch;
                src += a.secondPitch;
            }
            EndBackgroundScanline(s);
            ok = 1;
        }
    }
    EndLayerAccess(&a);
    return ok;
}

}  // extern "C"
