// Display-side line converters (VMP, BITMAP, DDB) and the rise-time filter.
#include <windows.h>
#include <wine/debug.h>
#include <math.h>
#include <string.h>

#include "compose.h"
#include "m32.h"
#include "scanline_other.h"
#include "startup.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

namespace {

// Flattened over opaque black: each colour scaled by alpha, alpha 255.
inline DWORD over_black(DWORD p)
{
    DWORD a = p >> 24;
    return 0xFF000000u | pm_scale(a, (p >> 16) & 0xFF) << 16 | pm_scale(a, (p >> 8) & 0xFF) << 8 | pm_scale(a, p & 0xFF);
}

// Flattened over opaque blue.
inline DWORD over_blue(DWORD p)
{
    DWORD a = p >> 24;
    return 0xFF000000u | pm_scale(a, (p >> 16) & 0xFF) << 16 | pm_scale(a, (p >> 8) & 0xFF) << 8 |
           (pm_scale(a, p & 0xFF) + 255 - a);
}

DisplayScanlineState *display_begin(LONG width)
{
    if (width < 1 || width > 0x0FFFFFFF) return nullptr;
    auto *s = m32_new<DisplayScanlineState>();
    if (!s) return nullptr;
    s->buffer = (DWORD *)M32_alloc((DWORD)width * 4);
    if (!s->buffer) {
        M32_free(s);
        return nullptr;
    }
    s->width = width;
    s->count = width;
    s->zoom = 1;
    s->repeat = 1;
    return s;
}

LONG display_offset(DisplayScanlineState *s, LONG x, LONG y, LONG n)
{
    if (!s || x < 0 || y < 0 || n <= 0 || n > s->width - x) return 0;
    s->column = x;
    s->line = y;
    s->count = n;
    return 1;
}

LONG display_end(DisplayScanlineState *s)
{
    if (!s) return 0;
    M32_free(s->buffer);
    M32_free(s);
    return 1;
}

LONG vmp_line(DWORD *dst, const DWORD *src, DisplayScanlineState *s)
{
    if (!s || !dst) return 0;
    if (!src) src = s->buffer;
    bool gridLine = s->line % 16 == 0;
    for (LONG i = 0; i < s->count; ++i)
        dst[i] = gridLine && (s->column + i) % 16 == 0 ? over_blue(src[i]) : over_black(src[i]);
    s->line++;
    s->outputReady = s->inputWanted = 1;
    return 1;
}

// Rise-time tables (16.16), one set-up in force at a time.
LONG s_prev[256], s_cur[256], s_next[256];
LONG s_lumaR[256], s_lumaG[256], s_lumaB[256];

inline LONG luma601(DWORD p)
{
    return (s_lumaR[(p >> 16) & 0xFF] + s_lumaG[(p >> 8) & 0xFF] + s_lumaB[p & 0xFF] + 0x8000) >> 16;
}
inline LONG luma_studio_input(DWORD p)
{
    return (g_ycbcrRed[(p >> 16) & 0xFF].y + g_ycbcrGreen[(p >> 8) & 0xFF].y + g_ycbcrBlue[p & 0xFF].y + 0x8000) >> 16;
}
inline BYTE clamp_byte(LONG v) { return (BYTE)(v < 0 ? 0 : v > 255 ? 255 : v); }

}  // namespace

extern "C" {

// ---- VMP and BITMAP ---------------------------------------------------------------

DisplayScanlineState *PIXAPI BeginVMPScanline(LONG width)
{
    WINE_TRACE("(%d)\n", width);
    return display_begin(width);
}
LONG PIXAPI OffsetVMPScanline(DisplayScanlineState *s, LONG x, LONG y, LONG n) { return display_offset(s, x, y, n); }
DWORD *PIXAPI GetBufferVMPScanline(DisplayScanlineState *s) { return s ? s->buffer : nullptr; }
LONG PIXAPI VMPScanline(DWORD *dst, const DWORD *src, DisplayScanlineState *s) { return vmp_line(dst, src, s); }
LONG PIXAPI EndVMPScanline(DisplayScanlineState *s)
{
    WINE_TRACE("(%p)\n", s);
    return display_end(s);
}

// The display probe supplies no dither matrix, so a bitmap line is the VMP
// line.
LONG PIXAPI BITMAPScanline(DWORD *dst, const DWORD *src, DisplayScanlineState *s) { return vmp_line(dst, src, s); }

// ---- DDB ---------------------------------------------------------------------------

DisplayScanlineState *PIXAPI BeginDDBScanline(LONG width, LONG zoom)
{
    WINE_TRACE("(%d, %d)\n", width, zoom);
    if (zoom < 1 || zoom > 64 || (long long)width * zoom > 0x0FFFFFFF) return nullptr;
    DisplayScanlineState *s = display_begin(width);
    if (!s) return nullptr;
    s->zoom = s->repeat = zoom;
    return s;
}

LONG PIXAPI OffsetDDBScanline(DisplayScanlineState *s, LONG x, LONG y, LONG n)
{
    if (!display_offset(s, x, y, n)) return 0;
    s->repeat = s->zoom;
    return 1;
}

DWORD *PIXAPI GetBufferDDBScanline(DisplayScanlineState *s) { return s ? s->buffer : nullptr; }

// Packs count pixels into the display's format, each zoom times.  Without a
// probed display format there is nothing to pack into: 0.
LONG PIXAPI DDBScanline(BYTE *dst, const DWORD *src, DisplayScanlineState *s)
{
    if (!s || !dst) return 0;
    LONG bytes = g_displayMode == 1 ? 4 : g_displayMode == 2 ? 2 : g_displayMode == 3 ? 3 : 0;
    if (!bytes) return 0;
    if (!src) src = s->buffer;
    for (LONG i = 0; i < s->count; ++i) {
        DWORD v = DisplayPixelValue(src[i] & 0xFFFFFF);
        for (LONG z = 0; z < s->zoom; ++z, dst += bytes) {
            dst[0] = (BYTE)v;
            dst[1] = (BYTE)(v >> 8);
            if (bytes >= 3) dst[2] = (BYTE)(v >> 16);
            if (bytes == 4) dst[3] = (BYTE)(v >> 24);
        }
    }
    s->line++;
    s->outputReady = 1;
    if (s->repeat <= 1) {
        s->inputWanted = 1;
        s->repeat = s->zoom;
    } else {
        s->inputWanted = 0;
        s->repeat--;
    }
    return 1;
}

LONG PIXAPI EndDDBScanline(DisplayScanlineState *s)
{
    WINE_TRACE("(%p)\n", s);
    return display_end(s);
}

// ---- Rise time -----------------------------------------------------------------------

RiseTimeScanlineState *PIXAPI BeginRiseTimeScanline(LONG count, LONG b, LONG c, LONG d, LONG mode)
{
    WINE_TRACE("(%d, %d, %d, %d, %d)\n", count, b, c, d, mode);
    if (count < 1 || (mode != 0 && mode != 1 && mode != 2 && mode != 5)) return nullptr;
    auto *s = m32_new<RiseTimeScanlineState>();
    if (!s) return nullptr;
    s->count = count;
    s->mode = mode;
    long long e = (long long)b + c + d;
    if (e == 0) return s;   // no weights: the tables stay as they were
    for (long long i = 0; i < 256; ++i) {
        if (mode == 5) {
            s_prev[i] = (LONG)llround(i * (double)b * 65536.0 / e);
            s_next[i] = (LONG)llround(i * (double)d * 65536.0 / e);
            s_cur[i] = (LONG)llround(-(i * (double)(b + d) * 65536.0) / e);
        } else {
            s_prev[i] = (LONG)(i * b * 65536 / e);
            s_next[i] = (LONG)(i * d * 65536 / e);
            s_cur[i] = mode == 2 ? (LONG)(-(i * (b + d) * 65536) / e) : (LONG)(i * c * 65536 / e);
        }
        s_lumaR[i] = (LONG)(i * 19583);
        s_lumaG[i] = (LONG)(i * 38457);
        s_lumaB[i] = (LONG)(i * 7494);
    }
    return s;
}

LONG PIXAPI RiseTimeScanline(DWORD *dst, const DWORD *src, RiseTimeScanlineState *s)
{
    if (!s || !dst) return 0;
    if (!src) src = dst;
    LONG n = s->count;
    // The line may be filtered in place: each step keeps the original of the
    // pixel it is about to overwrite as the next one's previous pixel.
    DWORD prev = src[0], cur = src[0];
    for (LONG i = 0; i < n; ++i) {
        DWORD next = src[i + 1 < n ? i + 1 : i];
        DWORD out;
        if (s->mode == 2 || s->mode == 5) {
            LONG u = (s_prev[luma601(prev)] + s_cur[luma601(cur)] + s_next[luma601(next)] + 0x8000) >> 16;
            out = (cur & 0xFF000000u) | (DWORD)clamp_byte((LONG)((cur >> 16) & 0xFF) + u) << 16 |
                  (DWORD)clamp_byte((LONG)((cur >> 8) & 0xFF) + u) << 8 | clamp_byte((LONG)(cur & 0xFF) + u);
        } else {
            const YCbCrTerms &r = g_ycbcrRed[(cur >> 16) & 0xFF], &g = g_ycbcrGreen[(cur >> 8) & 0xFF],
                             &bl = g_ycbcrBlue[cur & 0xFF];
            LONG y = (r.y + g.y + bl.y + 0x8000) >> 16;
            if (s->mode == 1) {
                LONG f = s_prev[luma_studio_input(prev)] + s_cur[y] + s_next[luma_studio_input(next)] + 0x8000;
                if (f > 0xFFFFFF) f = 0xFFFFFF;
                if (f < 0) f = 0;
                y = f >> 16;
            }
            LONG cb = (r.cb + g.cb + bl.cb + 0x808000) >> 16, cr = (r.cr + g.cr + bl.cr + 0x808000) >> 16;
            out = (cur & 0xFF000000u) | (DWORD)g_chromaRange[clamp_byte(cr)] << 16 |
                  (DWORD)g_lumaRange[clamp_byte(y)] << 8 | (DWORD)g_chromaRange[clamp_byte(cb)];
        }
        dst[i] = out;
        prev = cur;
        cur = next;
    }
    s->outputReady = s->inputWanted = 1;
    return 1;
}

LONG PIXAPI EndRiseTimeScanline(RiseTimeScanlineState *s)
{
    WINE_TRACE("(%p)\n", s);
    if (!s) return 0;
    M32_free(s);
    return 1;
}

}  // extern "C"
