// Thumbnail scanline source (background under each line, then the scale
// engine) and the Float engine (the scale engine's protocol over
// area-average tables).
#include <windows.h>
#include <wine/debug.h>
#include <string.h>

#include "access.h"
#include "convert.h"
#include "m32.h"
#include "scanline_other.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

extern "C" {

// ---- Float engine ------------------------------------------------------------

void BuildFloatAxisContributions(AxisContribution *t, LONG S, LONG D)
{
    memset(t, 0, sizeof(*t) * (size_t)(D + 1));
    t[0].firstWeight = (double)D / (double)S;
    long long c = 0;
    for (LONG i = 1; i <= D; ++i) {
        AxisContribution &e = t[i];
        long long total = S + c;
        if (total > D) {
            // Whole middle samples: the multiples 2D, 3D, ... below the total.
            long long k = (total - 1) / D - 1;
            if (k < 0) k = 0;
            long long last = total - (k + 1) * D;
            e.middle = (LONG)k;
            e.firstWeight = (double)(D - c) / (double)S;
            e.lastWeight = (double)last / (double)S;
            e.advance = (LONG)(k + 1);
            c = last;
            if (last == D) {
                // A last sample covered whole is one more middle sample (the
                // scale engine's form: its line feeding counts on it).
                e.middle++;
                e.lastWeight = 0.0;
                e.advance++;
                c = 0;
            }
        } else {
            e.middle = -1;
            e.firstWeight = 1.0;
            e.lastWeight = 0.0;
            e.advance = total == D ? 1 : 0;
            c = total == D ? 0 : total;
        }
    }
}

ScaleScanlineState *PIXAPI BeginFloatScanline(LONG sw, LONG sh, LONG dw, LONG dh)
{
    WINE_TRACE("(%d, %d, %d, %d)\n", sw, sh, dw, dh);
    // The scale engine's state, tables and ring; its tables are then
    // replaced.  Its ring always holds at least as many lines as these
    // tables name (their middle counts never exceed its own).
    ScaleScanlineState *s = BeginScaleScanline(sw, sh, dw, dh);
    if (!s) return nullptr;
    BuildFloatAxisContributions(s->axes->horizontal, sw, dw);
    BuildFloatAxisContributions(s->axes->vertical, sh, dh);
    for (LONG i = 1; i <= dh; ++i)
        if (s->axes->vertical[i].middle + 2 > s->ringSize) {
            EndScaleScanline(s);
            return nullptr;
        }
    return s;
}

LONG PIXAPI OffsetFloatScanline(ScaleScanlineState *s, LONG x, LONG y, LONG n) { return OffsetScaleScanline(s, x, y, n); }
DWORD *PIXAPI GetBufferFloatScanline(ScaleScanlineState *s) { return GetBufferScaleScanline(s); }
LONG PIXAPI FloatScanline(DWORD *dst, const DWORD *src, ScaleScanlineState *s) { return ScaleScanline(dst, src, s); }
LONG PIXAPI EndFloatScanline(ScaleScanlineState *s) { return EndScaleScanline(s); }

// ---- Thumbnail -----------------------------------------------------------------

ThumbnailScanlineState *PIXAPI BeginThumbnailScanlineLayer(LONG sw, LONG sh, LONG dw, LONG dh, LONG gamma, Layer *bg)
{
    WINE_TRACE("(%d, %d, %d, %d, %d, %p)\n", sw, sh, dw, dh, gamma, bg);
    if (sw < 1 || sh < 1 || dw < 1 || dh < 1 || sw > 0x0FFFFFFF) return nullptr;
    auto *s = m32_new<ThumbnailScanlineState>();
    if (!s) return nullptr;
    s->line = (DWORD *)M32_alloc((DWORD)sw * 4);
    s->background = BeginBackgroundScanlineLayer(sw, bg);
    s->scale = BeginScaleScanline(sw, sh, dw, dh);
    if (!s->line || !s->background || !s->scale) {
        EndThumbnailScanline(s);
        return nullptr;
    }
    s->gamma = gamma;
    s->width = sw;
    s->inputWanted = 1;
    return s;
}

ThumbnailScanlineState *PIXAPI BeginThumbnailScanlineID(LONG sw, LONG sh, LONG dw, LONG dh, LONG gamma, LONG id)
{
    return BeginThumbnailScanlineLayer(sw, sh, dw, dh, gamma, GetStockLayer(id));
}

ThumbnailScanlineState *PIXAPI BeginThumbnailScanline(LONG sw, LONG sh, LONG dw, LONG dh, LONG gamma)
{
    return BeginThumbnailScanlineLayer(sw, sh, dw, dh, gamma, nullptr);
}

LONG PIXAPI EndThumbnailScanline(ThumbnailScanlineState *s)
{
    WINE_TRACE("(%p)\n", s);
    if (!s) return 0;
    if (s->background) EndBackgroundScanline(s->background);
    if (s->scale) EndScaleScanline(s->scale);
    M32_free(s->line);
    M32_free(s);
    return 1;
}

// Repositions on the destination rectangle (x, y, x + count, y + 10): the
// scale engine on it, the background on the source span that feeds it.
BackgroundScanlineState *PIXAPI OffsetThumbnailScanline(ThumbnailScanlineState *s, LONG x, LONG y, LONG count)
{
    WINE_TRACE("(%p, %d, %d, %d)\n", s, x, y, count);
    if (!s) return nullptr;
    RECT r = { x, y, x + count, y + 10 };
    ConvertRectangleScaleScanline(s->scale, &r);
    if (!OffsetScaleScanline(s->scale, x, y, count)) return nullptr;
    // The background fills only the source span, which must stay inside the
    // line buffer.
    if (r.left < 0) r.left = 0;
    if (r.left > s->width) r.left = s->width;
    if (r.right > s->width) r.right = s->width;
    LONG n = r.right - r.left;
    OffsetBackgroundScanline(r.left, r.top, n > 0 ? n : s->width, s->background);
    if (n <= 0) s->background->count = 0;
    s->sourceLeft = r.left;
    s->inputWanted = 1;
    s->outputReady = 0;
    return s->background;
}

BackgroundScanlineState *PIXAPI GetBackgroundThumbnailScanline(ThumbnailScanlineState *s) { return s ? s->background : nullptr; }
ScaleScanlineState *PIXAPI GetScaleThumbnailScanline(ThumbnailScanlineState *s) { return s ? s->scale : nullptr; }

LONG PIXAPI ThumbnailScanline(DWORD *dst, const DWORD *src, ThumbnailScanlineState *s)
{
    if (!s || !dst) return 0;
    if (s->inputWanted) {
        if (!src) return 0;
        LONG at = s->sourceLeft;
        BackgroundScanline(s->line + at, src + at, s->background);
        if (s->gamma) GammaCorrectPELs(s->line + at, s->background->count);
    }
    ScaleScanline(dst, s->line, s->scale);
    s->outputReady = s->scale->outputReady;
    s->inputWanted = s->scale->inputWanted;
    return s->outputReady;
}

LONG PIXAPI FXSThumbnailLayer(Layer *destination, Layer *source, LONG gamma, Layer *background)
{
    WINE_TRACE("(%p, %p, %d, %p)\n", destination, source, gamma, background);
    if (!destination || !source) return 0;
    RefreshLayer(source);
    LONG ok = 0;
    {
        Access src(source), dst(destination);
        if (!src.ok || !dst.ok) return 0;
        LONG sw = src.width(), sh = src.height(), dw = dst.width(), dh = dst.height();
        ThumbnailScanlineState *t = BeginThumbnailScanlineLayer(sw, sh, dw, dh, gamma, background);
        if (!t) return 0;
        DWORD *spare = (DWORD *)M32_alloc((DWORD)dw * 4);
        if (spare) {
            LONG sy = 0, dy = 0;
            // Each source line is offered until the engine wants the next;
            // calls past the last output line write nothing.
            for (LONG guard = 0; (t->inputWanted || t->outputReady) && guard < 2 * (sh + dh) + 4; ++guard) {
                DWORD *out = dy < dh ? dst.row1(dy) : spare;
                ThumbnailScanline(out, src.row1(sy < sh ? sy : sh - 1), t);
                if (t->inputWanted && sy < sh) ++sy;
                if (t->outputReady) ++dy;
            }
            M32_free(spare);
            ok = 1;
        }
        EndThumbnailScanline(t);
    }
    UpdateLayer(destination);
    return ok;
}

}  // extern "C"
