// Scroll strip: a column of 4:3 layer thumbnails held in device pixels and
// in a GDI bitmap, so painting and scrolling are bitmap copies.
#include <windows.h>
#include <wine/debug.h>
#include <string.h>
#include "m32.h"
#include "layer.h"
#include "startup.h"
#include "views.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

// One device row of width pixels of a single colour.
BYTE *device_line(LONG width, LONG rowSize, DWORD pixel)
{
    BYTE *row = (BYTE *)M32_alloc((DWORD)rowSize);
    Layer *l = CreateLayer(width, 1, 1);
    DisplayScanlineState *ddb = BeginDDBScanline(width, 1);
    bool ok = row && l && ddb;
    if (ok) {
        SetLayer(l, pixel);
        ok = DDBScanline(row, (const DWORD *)l->pixels, ddb) != 0;
    }
    if (ddb) EndDDBScanline(ddb);
    if (l) DeleteLayer(l);
    if (!ok) {
        M32_free(row);
        return nullptr;
    }
    return row;
}

BYTE *band_row(Zellscroll *s, LONG band, LONG row)
{
    return s->strip + ((size_t)band * s->bandHeight + row) * s->rowSize;
}

void mark_band(Zellscroll *s, LONG band, const BYTE *line)
{
    if (band < 0 || band >= s->count || !line) return;
    memcpy(band_row(s, band, 0), line, (size_t)s->rowSize);
    memcpy(band_row(s, band, s->bandHeight - 1), line, (size_t)s->rowSize);
}

// Renders layer scaled to width by band height into band's device rows:
// flattened over black (VMP), resampled (Float), packed (DDB).
bool render_band(Zellscroll *s, LONG band, Layer *layer)
{
    if (!g_displayMode || s->width < 1 || s->bandHeight < 1) return false;
    LayerAccess acc;
    if (!BeginLayerAccess(&acc, layer, nullptr)) return false;
    const LONG lw = acc.width, lh = acc.height;
    bool ok = false;
    DisplayScanlineState *vmp = BeginVMPScanline(lw);
    ScaleScanlineState *scale = BeginFloatScanline(lw, lh, s->width, s->bandHeight);
    DisplayScanlineState *ddb = BeginDDBScanline(s->width, 1);
    DWORD *line = (DWORD *)M32_alloc((DWORD)lw * 4);
    DWORD *out = (DWORD *)M32_alloc((DWORD)s->width * 4);
    if (vmp && scale && ddb && line && out) {
        LONG row = 0, produced = 0, guard = 0, staged = -1;
        OffsetVMPScanline(vmp, 0, 0, lw);
        while (produced < s->bandHeight && guard++ < 4 * (lh + s->bandHeight) + 16) {
            // Each source row is flattened once: the VMP line count is the
            // source row number (its grid dots depend on it).
            if (staged != row && row < lh) {
                VMPScanline(line, (const DWORD *)(acc.firstPtr + (ptrdiff_t)row * acc.firstPitch), vmp);
                staged = row;
            }
            FloatScanline(out, line, scale);
            if (scale->outputReady) DDBScanline(band_row(s, band, produced++), out, ddb);
            if (scale->inputWanted) ++row;
        }
        ok = produced == s->bandHeight;
    }
    M32_free(line);
    M32_free(out);
    if (vmp) EndVMPScanline(vmp);
    if (scale) EndFloatScanline(scale);
    if (ddb) EndDDBScanline(ddb);
    EndLayerAccess(&acc);
    return ok;
}

// A new bitmap of the whole strip from the strip pixels.
bool rebuild_bitmap(Zellscroll *s)
{
    if (s->totalHeight < 1) return false;
    HDC dc = GetDC(s->window);
    HBITMAP bmp = dc ? CreateCompatibleBitmap(dc, s->width, s->totalHeight) : NULL;
    if (dc) ReleaseDC(s->window, dc);
    if (!bmp) return false;
    SetBitmapBits(bmp, (DWORD)s->rowSize * (DWORD)s->totalHeight, s->strip);
    if (s->bitmap) DeleteObject(s->bitmap);
    s->bitmap = bmp;
    return true;
}

} // namespace

extern "C" {

Zellscroll *PIXAPI CreateZellscroll(HWND window)
{
    WINE_TRACE("(%p)\n", window);
    RECT c;
    if (!window || !GetClientRect(window, &c) || !g_displayMode) return nullptr;
    LONG width = c.right - c.left;
    if (width < 1) return nullptr;
    Zellscroll *s = m32_new<Zellscroll>();
    if (!s) return nullptr;
    s->window = window;
    s->width = width;
    s->bandHeight = width * 480 / 640;
    s->windowHeight = c.bottom - c.top;
    s->rowSize = zv_row_bytes(width);
    s->selected = -1;
    s->plainLine = device_line(width, s->rowSize, 0xFF808080u);
    s->selectedLine = device_line(width, s->rowSize, 0xFFFFFF00u);
    if (!s->plainLine || !s->selectedLine) {
        DeleteZellscroll(s);
        return nullptr;
    }
    return s;
}

LONG PIXAPI DeleteZellscroll(Zellscroll *s)
{
    WINE_TRACE("(%p)\n", s);
    if (!s) return 1;
    for (LONG i = 0; i < s->count; ++i) DeleteLayer(s->layers[i]);
    if (s->bitmap) DeleteObject(s->bitmap);
    M32_free(s->strip);
    M32_free(s->plainLine);
    M32_free(s->selectedLine);
    M32_free(s);
    return 1;
}

LONG PIXAPI AddLayerToZellscroll(Zellscroll *s, Layer *layer)
{
    WINE_TRACE("(%p, %p)\n", s, layer);
    if (!s || !layer || s->count >= ZELLSCROLL_MAX_LAYERS || s->bandHeight < 1) return -1;
    const size_t bandBytes = (size_t)s->bandHeight * s->rowSize;
    const size_t total = bandBytes * (size_t)(s->count + 1);
    if (total > 0x7FFFFFFF) return -1;
    BYTE *grown = s->strip ? (BYTE *)M32_realloc(s->strip, (DWORD)total) : (BYTE *)M32_alloc((DWORD)total);
    if (!grown) return -1;
    s->strip = grown;
    const LONG band = s->count;
    memset(s->strip + bandBytes * band, 0, bandBytes);
    if (!render_band(s, band, layer)) return -1;   // the count stays: the grown block is reused next time
    AddRefCountLayer(layer);
    s->layers[band] = layer;
    s->count = band + 1;
    s->totalHeight = s->bandHeight * s->count;
    mark_band(s, s->selected, s->plainLine);
    s->selected = band;
    mark_band(s, band, s->selectedLine);
    rebuild_bitmap(s);
    return s->count;
}

LONG PIXAPI GetNumLayerZellscroll(Zellscroll *s) { return s ? s->count : 0; }

static LONG band_at(Zellscroll *s, LONG y)
{
    if (!s || s->bandHeight < 1) return -1;
    LONG pos = y + s->scrollOffset;
    if (pos < 0) return -1;
    LONG band = pos / s->bandHeight;
    return band < s->count ? band : -1;
}

Layer *PIXAPI GetLayerFromPointZellscroll(Zellscroll *s, LONG y)
{
    LONG band = band_at(s, y);
    return band >= 0 ? s->layers[band] : nullptr;
}

LONG PIXAPI SelectLayerFromPointZellscroll(Zellscroll *s, LONG y)
{
    if (!s) return 0;
    LONG band = band_at(s, y);
    if (band < 0) return s->count;
    mark_band(s, s->selected, s->plainLine);
    s->selected = band;
    mark_band(s, band, s->selectedLine);
    rebuild_bitmap(s);
    UpdateZellscroll(s, nullptr);
    return band;
}

LONG PIXAPI UpdateZellscroll(Zellscroll *s, const RECT *rect)
{
    if (!s || !s->window) return 0;
    RECT r;
    if (rect) r = *rect;
    else GetClientRect(s->window, &r);
    HDC dc = GetDC(s->window);
    if (!dc) return 0;
    LONG stripEnd = s->totalHeight - s->scrollOffset;   // window row where the strip ends
    LONG bottom = r.bottom < stripEnd ? r.bottom : stripEnd;
    if (s->bitmap && bottom > r.top) {
        HDC mem = CreateCompatibleDC(dc);
        if (mem) {
            HGDIOBJ old = SelectObject(mem, s->bitmap);
            BitBlt(dc, r.left, r.top, r.right - r.left, bottom - r.top, mem, r.left, r.top + s->scrollOffset, SRCCOPY);
            SelectObject(mem, old);
            DeleteDC(mem);
        }
    }
    RECT below = { r.left, bottom > r.top ? bottom : r.top, r.right, r.bottom };
    if (below.bottom > below.top) FillRect(dc, &below, (HBRUSH)GetStockObject(BLACK_BRUSH));
    ReleaseDC(s->window, dc);
    return 1;
}

LONG PIXAPI ScrollZellscroll(Zellscroll *s, LONG dy)
{
    if (!s || !dy) return 0;
    if (dy < 0) {
        if (s->scrollOffset == 0) return 0;
        if (dy < -s->scrollOffset) dy = -s->scrollOffset;
    } else if (s->scrollOffset + s->windowHeight + dy > s->totalHeight) {
        dy = s->totalHeight - s->windowHeight - s->scrollOffset;
        if (dy <= 0) return dy;
    }
    s->scrollOffset += dy;
    // The window shows the strip from the new offset: a copy of the bitmap.
    UpdateZellscroll(s, nullptr);
    return dy;
}

} // extern "C"
