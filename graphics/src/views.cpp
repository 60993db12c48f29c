// Views: a layer shown in a window through a chain of scanline sources
// (background, optional Float scaling, device-format writer) into bands of
// device pixels, with overlay rectangles and sprites drawn into each band
// before it is copied to the window.
#include <windows.h>
#include <wine/debug.h>
#include <string.h>
#include "m32.h"
#include "layer.h"
#include "compose.h"
#include "startup.h"
#include "resize.h"
#include "views.h"

WINE_DEFAULT_DEBUG_CHANNEL(pixmoor);

static void *s_backgroundData;      // picture data handed to the views
static LONG s_backgroundOwned;
static LONG s_backgroundWords[2];

extern "C" LONG zv_row_bytes(LONG width)
{
    switch (g_displayMode) {
    case 1: return width * 4;
    case 2: return width * 2;
    case 3: return (width * 3 + 1) & ~1;
    }
    return 0;
}

namespace {

LONG bytes_per_pixel() { return g_displayMode == 1 ? 4 : g_displayMode == 2 ? 2 : g_displayMode == 3 ? 3 : 0; }

inline bool empty(const RECT &r) { return r.right <= r.left || r.bottom <= r.top; }

void end_sources(Zellview *v)
{
    if (v->background) EndBackgroundScanline(v->background);
    if (v->scale) EndFloatScanline(v->scale);
    if (v->writer) EndDDBScanline(v->writer);
    v->background = nullptr;
    v->scale = nullptr;
    v->writer = nullptr;
}

bool fit_scaled(const Zellview *v)
{
    return v->zoom == 0 && (v->displayWidth != v->layerWidth || v->displayHeight != v->layerHeight);
}

// Device buffer for the current display: a whole view, or a 64 KB band
// (never less than one row).
bool size_buffer(Zellview *v)
{
    v->rowBytes = zv_row_bytes(v->displayWidth);
    if (v->rowBytes <= 0) return false;
    DWORD want = v->banded ? 65536 : (DWORD)v->rowBytes * (DWORD)v->displayHeight;
    if (want < (DWORD)v->rowBytes) want = (DWORD)v->rowBytes;
    if (v->buffer && v->bufferSize >= want) return true;
    BYTE *b = (BYTE *)M32_alloc(want);
    if (!b) return false;
    M32_free(v->buffer);
    v->buffer = b;
    v->bufferSize = want;
    return true;
}

bool start_sources(Zellview *v)
{
    end_sources(v);
    v->background = BeginBackgroundScanlineID(v->layerWidth, v->backgroundId);
    if (fit_scaled(v)) v->scale = BeginFloatScanline(v->layerWidth, v->layerHeight, v->displayWidth, v->displayHeight);
    v->writer = v->zoom ? BeginDDBScanline(v->layerWidth, v->zoom) : BeginDDBScanline(v->displayWidth, 1);
    return v->background && v->writer && (v->scale || !fit_scaled(v));
}

// ---- Drawing into a band (device pixels) ------------------------------------

struct Band {
    BYTE *rows;
    LONG rowBytes, x, y, width, height;   // window position and size
};

inline DWORD get_px(const Band &b, LONG x, LONG y)
{
    const BYTE *p = b.rows + (size_t)(y - b.y) * b.rowBytes + (size_t)(x - b.x) * bytes_per_pixel();
    switch (bytes_per_pixel()) {
    case 4: return p[0] | p[1] << 8 | p[2] << 16 | (DWORD)p[3] << 24;
    case 3: return p[0] | p[1] << 8 | p[2] << 16;
    default: return p[0] | p[1] << 8;
    }
}

inline void put_px(const Band &b, LONG x, LONG y, DWORD v)
{
    BYTE *p = b.rows + (size_t)(y - b.y) * b.rowBytes + (size_t)(x - b.x) * bytes_per_pixel();
    LONG n = bytes_per_pixel();
    p[0] = (BYTE)v;
    p[1] = (BYTE)(v >> 8);
    if (n >= 3) p[2] = (BYTE)(v >> 16);
    if (n == 4) p[3] = (BYTE)(v >> 24);
}

// Fills r (window coordinates) cut to the band, averaging with the colour
// when half is set.
void fill(const Band &b, RECT r, DWORD colour, bool half)
{
    RECT band = { b.x, b.y, b.x + b.width, b.y + b.height };
    if (!IntersectRect(&r, &r, &band)) return;
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x)
            put_px(b, x, y, half ? ((colour & g_displayMask) + (get_px(b, x, y) & g_displayMask)) / 2 : colour);
}

void draw_rectangle(Zellview *v, const Band &b, const ViewRectangle &vr)
{
    DWORD kind = vr.kind & ~(DWORD)ZVR_HALF;
    bool half = (vr.kind & ZVR_HALF) != 0;
    if ((vr.kind & 0xFF) == ZVR_GRID) {
        LONG spacing = vr.left;
        if (spacing <= 0) return;
        DWORD dash = (DWORD)vr.right;
        // Horizontal lines at every multiple of the spacing in layer rows,
        // vertical ones in layer columns.
        for (LONG ly = 0; ly <= v->layerHeight; ly += spacing) {
            LONG wx = 0, wy = ly;
            ToZellviewPoint(v, &wx, &wy);
            if (wy < b.y || wy >= b.y + b.height) continue;
            for (LONG x = b.x; x < b.x + b.width; ++x)
                if (!(dash & (DWORD)x)) put_px(b, x, wy, vr.colour);
        }
        for (LONG lx = 0; lx <= v->layerWidth; lx += spacing) {
            LONG wx = lx, wy = 0;
            ToZellviewPoint(v, &wx, &wy);
            if (wx < b.x || wx >= b.x + b.width) continue;
            for (LONG y = b.y; y < b.y + b.height; ++y)
                if (!(dash & (DWORD)y)) put_px(b, wx, y, vr.colour);
        }
        return;
    }
    RECT r = { vr.left, vr.top, vr.right, vr.bottom };
    ToZellviewRect(v, &r);
    if (r.right == r.left) r.right++;
    if (r.bottom == r.top) r.bottom++;
    if (kind == ZVR_FILLED || (vr.kind & ~(DWORD)ZVR_HALF) == 1) {
        fill(b, r, vr.colour, half);
    } else if ((vr.kind & ~(DWORD)ZVR_HALF) == ZVR_OUTSIDE) {
        LONG W = v->displayWidth, H = v->displayHeight;
        fill(b, { 0, 0, W, r.top }, vr.colour, half);
        fill(b, { 0, r.top, r.left, r.bottom }, vr.colour, half);
        fill(b, { r.right, r.top, W, r.bottom }, vr.colour, half);
        fill(b, { 0, r.bottom, W, H }, vr.colour, half);
    } else if (vr.kind == ZVR_FRAME) {
        fill(b, { r.left, r.top, r.right, r.top + 1 }, vr.colour, false);
        fill(b, { r.left, r.bottom - 1, r.right, r.bottom }, vr.colour, false);
        fill(b, { r.left, r.top, r.left + 1, r.bottom }, vr.colour, false);
        fill(b, { r.right - 1, r.top, r.right, r.bottom }, vr.colour, false);
    }
}

void draw_sprite(Zellview *v, const Band &b, const ViewSprite &s)
{
    if (s.free || !s.visible || !s.pixels || !s.mask) return;
    LONG wx = s.x, wy = s.y;
    ToZellviewPoint(v, &wx, &wy);
    LONG n = bytes_per_pixel();
    for (LONG y = 0; y < s.drawnHeight; ++y) {
        LONG ty = wy + y;
        if (ty < b.y || ty >= b.y + b.height) continue;
        for (LONG x = 0; x < s.drawnWidth; ++x) {
            LONG tx = wx + x;
            if (tx < b.x || tx >= b.x + b.width) continue;
            size_t i = (size_t)y * s.drawnWidth + x;
            if (s.mask[i] < 128) continue;
            const BYTE *p = s.pixels + i * n;
            put_px(b, tx, ty, p[0] | p[1] << 8 | (n >= 3 ? p[2] << 16 : 0) | (n == 4 ? (DWORD)p[3] << 24 : 0));
        }
    }
}

void flush_band(Zellview *v)
{
    if (v->bandRow <= 0) return;
    Band b = { v->buffer, v->rowBytes, v->bandLeft, v->bandTop, v->bandWidth, v->bandRow };
    for (LONG i = 0; i < v->spriteCapacity; ++i) draw_sprite(v, b, v->sprites[i]);
    for (LONG i = 0; i < v->rectCapacity; ++i)
        if (v->rects[i].kind) draw_rectangle(v, b, v->rects[i]);
    if (v->bandHook) v->bandHook(v, v->buffer, v->rowBytes, b.x, b.y, b.width, b.height);
    if (v->window) {
        HDC dc = GetDC(v->window);
        if (dc) {
            // The band's rows are as wide as the view; the bitmap takes them
            // whole and the copy takes the band's part.
            LONG fullWidth = v->displayWidth;
            HBITMAP bmp = CreateCompatibleBitmap(dc, fullWidth, b.height);
            HDC mem = CreateCompatibleDC(dc);
            if (bmp && mem) {
                SetBitmapBits(bmp, (DWORD)v->rowBytes * (DWORD)b.height, v->buffer);
                HGDIOBJ old = SelectObject(mem, bmp);
                BitBlt(dc, b.x, b.y, b.width, b.height, mem, 0, 0, SRCCOPY);
                SelectObject(mem, old);
            }
            if (mem) DeleteDC(mem);
            if (bmp) DeleteObject(bmp);
            ReleaseDC(v->window, dc);
        }
    }
    v->bandTop += v->bandRow;
    v->bandRow = 0;
}

// One device row for the band; the row starts at the band's left pixel.
BYTE *next_row(Zellview *v)
{
    if ((DWORD)(v->bandRow + 1) * (DWORD)v->rowBytes > v->bufferSize) flush_band(v);
    return v->buffer + (size_t)v->bandRow * v->rowBytes;
}

// Source row of a layer row under the field mode.
LONG field_row(const Zellview *v, LONG row)
{
    DWORD field = v->flags & (ZV_FIELD_FIRST | ZV_FIELD_SECOND);
    if (!field) return row;
    row = (row & ~1) + (field == ZV_FIELD_SECOND ? 1 : 0);
    return row < v->layerHeight ? row : v->layerHeight - 1;
}

// One layer row through the background stage into line (count pixels from
// layer column x0).
void stage_row(Zellview *v, const LayerAccess &acc, LONG accLeft, LONG accTop, LONG row, LONG x0, LONG count,
               DWORD *line)
{
    const DWORD *src = (const DWORD *)(acc.firstPtr + (ptrdiff_t)(row - accTop) * acc.firstPitch) + (x0 - accLeft);
    if (v->flags & ZV_ALPHA_DISPLAY) {
        OffsetBackgroundScanline(x0, row, count, v->background);
        BackgroundScanline(line, src, v->background);
    } else {
        for (LONG i = 0; i < count; ++i) line[i] = src[i] | 0xFF000000u;
    }
}

// Paints a window rectangle (already cut to the display).
void paint(Zellview *v, RECT wr)
{
    if (!v->window && !v->bandHook) return;
    RECT disp = { 0, 0, v->displayWidth, v->displayHeight };
    if (!IntersectRect(&wr, &wr, &disp)) return;
    if (!v->writer || !v->background || !v->input || !v->buffer) return;
    const LONG lw = v->layerWidth, lh = v->layerHeight;

    // The layer rectangle the window rectangle shows, on whole layer pixels.
    RECT lr;
    if (v->zoom) {
        LONG z = v->zoom;
        lr = { wr.left / z + v->offsetX, wr.top / z + v->offsetY, (wr.right + z - 1) / z + v->offsetX,
               (wr.bottom + z - 1) / z + v->offsetY };
        RECT all = { 0, 0, lw, lh };
        if (!IntersectRect(&lr, &lr, &all)) return;
        wr.left = (lr.left - v->offsetX) * z;
        wr.top = (lr.top - v->offsetY) * z;
        wr.right = (lr.right - v->offsetX) * z;
        wr.bottom = (lr.bottom - v->offsetY) * z;
        if (!IntersectRect(&wr, &wr, &disp)) return;
    } else if (v->scale) {
        lr = wr;
        if (!ConvertRectangleScaleScanline(v->scale, &lr)) return;
        lr.left = 0;
        lr.right = lw;     // the scaler takes whole source rows
        if (lr.bottom > lh) lr.bottom = lh;
        if (lr.top >= lh) return;
    } else {
        lr = wr;
    }
    if (empty(lr) || empty(wr)) return;

    // Field modes read rows of the other parity too.
    RECT ar = lr;
    if (v->flags & (ZV_FIELD_FIRST | ZV_FIELD_SECOND)) {
        ar.top &= ~1;
        ar.bottom = ar.bottom + 1 < lh ? ar.bottom + 1 : lh;
    }
    Layer *clip = CreateClippedLayer(v->input);
    if (!clip) return;
    ClipLayer(clip, &ar);
    if (v->flags & ZV_REFRESH_ON_PAINT) RefreshLayer(clip);
    LayerAccess acc;
    if (!BeginLayerAccess(&acc, clip, nullptr)) {
        DeleteLayer(clip);
        return;
    }
    const LONG accLeft = ar.left + acc.window.left, accTop = ar.top + acc.window.top;
    lr.right = lr.right < accLeft + acc.width ? lr.right : accLeft + acc.width;
    lr.bottom = lr.bottom < accTop + acc.height ? lr.bottom : accTop + acc.height;
    lr.left = lr.left > accLeft ? lr.left : accLeft;
    lr.top = lr.top > accTop ? lr.top : accTop;
    // What the access cannot reach (an input layer partly outside its
    // parent) leaves the window rectangle too; the scaler needs whole rows.
    bool reachable = !empty(lr);
    if (v->zoom) {
        const LONG z = v->zoom;
        RECT w2 = { (lr.left - v->offsetX) * z, (lr.top - v->offsetY) * z, (lr.right - v->offsetX) * z,
                    (lr.bottom - v->offsetY) * z };
        reachable = reachable && IntersectRect(&wr, &wr, &w2);
    } else if (v->scale) {
        reachable = reachable && accLeft == 0 && acc.width >= lw;
    } else {
        reachable = reachable && IntersectRect(&wr, &wr, &lr);
    }

    const LONG outW = wr.right - wr.left, outH = wr.bottom - wr.top;
    DWORD *line = (DWORD *)M32_alloc((DWORD)(lw > v->displayWidth ? lw : v->displayWidth) * 4 + 16);
    DWORD *scaled = (DWORD *)M32_alloc((DWORD)v->displayWidth * 4 + 16);
    BYTE *wide = reachable && v->zoom ? (BYTE *)M32_alloc((DWORD)(lr.right - lr.left) * (DWORD)v->zoom * 4 + 16) : nullptr;
    if (line && scaled && (wide || !v->zoom) && reachable) {
        v->bandRow = 0;
        v->bandTop = wr.top;
        v->bandLeft = wr.left;
        v->bandWidth = outW;
        const LONG bpp = bytes_per_pixel();
        LONG produced = 0;
        if (v->zoom) {
            // Each layer row is written zoom times, each pixel zoom times;
            // the first row and column may start inside a magnified pixel.
            const LONG z = v->zoom, count = lr.right - lr.left;
            const LONG skipX = wr.left - (lr.left - v->offsetX) * z;
            LONG row = lr.top, skipY = wr.top - (lr.top - v->offsetY) * z;
            OffsetDDBScanline(v->writer, 0, 0, count);
            while (produced < outH && row < lr.bottom) {
                stage_row(v, acc, accLeft, accTop, field_row(v, row), lr.left, count, line);
                for (LONG k = 0; k < z && produced < outH; ++k) {
                    DDBScanline(wide, line, v->writer);
                    if (skipY > 0) {
                        --skipY;
                        continue;
                    }
                    memcpy(next_row(v), wide + (size_t)skipX * bpp, (size_t)outW * bpp);
                    ++v->bandRow;
                    ++produced;
                }
                ++row;
            }
        } else if (v->scale) {
            OffsetFloatScanline(v->scale, wr.left, wr.top, outW);
            OffsetDDBScanline(v->writer, 0, 0, outW);
            LONG row = lr.top, staged = -1;
            int guard = 0;
            while (produced < outH && guard++ < 4 * (lh + v->displayHeight) + 16) {
                LONG src = row < lh ? row : lh - 1;
                if (src < accTop) src = accTop;
                if (src >= accTop + acc.height) src = accTop + acc.height - 1;
                if (src != staged) stage_row(v, acc, accLeft, accTop, field_row(v, src), 0, lw, line);
                staged = src;
                FloatScanline(scaled, line, v->scale);
                if (v->scale->outputReady) {
                    DDBScanline(next_row(v), scaled, v->writer);
                    ++v->bandRow;
                    ++produced;
                }
                if (v->scale->inputWanted) ++row;
            }
        } else {
            OffsetDDBScanline(v->writer, 0, 0, outW);
            for (LONG row = lr.top; row < lr.bottom && produced < outH; ++row, ++produced) {
                stage_row(v, acc, accLeft, accTop, field_row(v, row), lr.left, outW, line);
                DDBScanline(next_row(v), line, v->writer);
                ++v->bandRow;
            }
        }
        flush_band(v);
    }
    M32_free(line);
    M32_free(scaled);
    M32_free(wide);
    EndLayerAccess(&acc);
    DeleteLayer(clip);
}

void paint_all(Zellview *v)
{
    RECT r = { 0, 0, v->displayWidth, v->displayHeight };
    paint(v, r);
}

void repaint_proc(void *context) { paint_all(static_cast<Zellview *>(context)); }

void dirty_add(Zellview *v, const RECT &r)
{
    if (empty(v->dirty)) v->dirty = r;
    else UnionRect(&v->dirty, &v->dirty, &r);
}

void dirty_all(Zellview *v) { v->dirty = { 0, 0, v->layerWidth, v->layerHeight }; }

// The view's update handler on its input layer.
struct ViewHandler {
    LayerHandlerProc proc;
    Zellview *view;
    Layer *unused;
};

LONG PIXAPI view_update_handler(Layer *notified, LayerHandler *h)
{
    Zellview *v = reinterpret_cast<ViewHandler *>(h)->view;
    if (!v || !(v->flags & ZV_REPAINT_ON_UPDATE)) return 1;
    RECT r;
    if (!GetUnionRectRef(v->input, notified, &r)) return 0;
    if (v->zoom) {
        OffsetRect(&r, -v->offsetX, -v->offsetY);
        r.left *= v->zoom;
        r.top *= v->zoom;
        r.right *= v->zoom;
        r.bottom *= v->zoom;
    } else if (!layer_scale_rect(&r, v->displayWidth, v->layerWidth, v->displayHeight, v->layerHeight)) {
        return 0;
    }
    paint(v, r);
    return 1;
}

bool install_handler(Zellview *v)
{
    ViewHandler *h = m32_new<ViewHandler>();
    if (!h) return false;
    h->proc = view_update_handler;
    h->view = v;
    // A caller's layer may carry a handler of its own (a layout's
    // forwarder, say): it is kept and given back when the view goes.
    v->savedHandler = v->input->updateHandler;
    v->input->updateHandler = reinterpret_cast<LayerHandler *>(h);
    v->handler = v->input->updateHandler;
    return true;
}

Zellview *create(Layer *input, bool owns, LONG banded)
{
    if (!g_displayMode) return nullptr;
    Zellview *v = m32_new<Zellview>();
    if (!v) return nullptr;
    if (!RegisterViewSlot(repaint_proc, v)) {
        M32_free(v);
        return nullptr;
    }
    v->input = input;
    v->ownsInput = owns;
    v->banded = banded;
    LayerAccess acc;
    if (BeginLayerAccess(&acc, input, nullptr)) {
        v->layerWidth = acc.width;
        v->layerHeight = acc.height;
        EndLayerAccess(&acc);
    }
    v->displayWidth = v->layerWidth > 0 ? v->layerWidth : 1;
    v->displayHeight = v->layerHeight > 0 ? v->layerHeight : 1;
    v->rects = (ViewRectangle *)M32_alloc(sizeof(ViewRectangle) * 64);
    v->rectCapacity = v->rects ? 64 : 0;
    v->dirty = { 0, 0, 0, 0 };
    if (v->layerWidth < 1 || !v->rects || !size_buffer(v) || !install_handler(v)) {
        v->ownsInput = 0;
        DeleteZellview(v);
        return nullptr;
    }
    return v;
}

// Measures the window and the scroll bars, then restarts the chain.
void attach(Zellview *v)
{
    LONG cw = v->layerWidth, ch = v->layerHeight;
    v->hScrollShown = v->vScrollShown = 0;
    if (v->window) {
        if (!(v->flags & ZV_NO_SCROLL_BARS)) ShowScrollBar(v->window, SB_BOTH, FALSE);
        RECT c, w;
        GetClientRect(v->window, &c);
        GetWindowRect(v->window, &w);
        cw = c.right - c.left;
        ch = c.bottom - c.top;
        v->frameWidth = (w.right - w.left) - cw;
        v->frameHeight = (w.bottom - w.top) - ch;
    }
    if (v->zoom && !(v->flags & ZV_NO_SCROLL_BARS) && v->window) {
        const LONG z = v->zoom;
        if (cw / z < v->layerWidth) {
            v->hScrollShown = 1;
            ch -= GetSystemMetrics(SM_CYHSCROLL);
        }
        if (ch / z < v->layerHeight) {
            v->vScrollShown = 1;
            cw -= GetSystemMetrics(SM_CXVSCROLL);
            if (!v->hScrollShown && cw / z < v->layerWidth) {
                v->hScrollShown = 1;
                ch -= GetSystemMetrics(SM_CYHSCROLL);
            }
        }
    }
    if (cw < 1) cw = 1;
    if (ch < 1) ch = 1;
    if (v->zoom) {
        if (cw > v->zoom * v->layerWidth) cw = v->zoom * v->layerWidth;
        if (ch > v->zoom * v->layerHeight) ch = v->zoom * v->layerHeight;
        v->maxX = v->layerWidth - cw / v->zoom;
        v->maxY = v->layerHeight - ch / v->zoom;
        if (v->maxX < 0) v->maxX = 0;
        if (v->maxY < 0) v->maxY = 0;
        if (v->offsetX > v->maxX) v->offsetX = v->maxX;
        if (v->offsetY > v->maxY) v->offsetY = v->maxY;
    } else {
        v->maxX = v->maxY = 0;
        v->offsetX = v->offsetY = 0;
    }
    v->displayWidth = cw;
    v->displayHeight = ch;
    size_buffer(v);
    start_sources(v);
    if (v->window && !(v->flags & ZV_NO_SCROLL_BARS)) {
        ShowScrollBar(v->window, SB_HORZ, v->hScrollShown);
        ShowScrollBar(v->window, SB_VERT, v->vScrollShown);
        if (v->hScrollShown) {
            SetScrollRange(v->window, SB_HORZ, 0, v->maxX, FALSE);
            SetScrollPos(v->window, SB_HORZ, v->offsetX, TRUE);
        }
        if (v->vScrollShown) {
            SetScrollRange(v->window, SB_VERT, 0, v->maxY, FALSE);
            SetScrollPos(v->window, SB_VERT, v->offsetY, TRUE);
        }
    }
}

ViewSprite *sprite_at(Zellview *v, LONG index)
{
    if (!v || index < 0 || index >= v->spriteCapacity || v->sprites[index].free) return nullptr;
    return &v->sprites[index];
}

void sprite_area_dirty(Zellview *v, const ViewSprite &s)
{
    LONG w = s.drawnWidth, h = s.drawnHeight;
    FromZellviewSize(v, &w, &h);
    dirty_add(v, { s.x, s.y, s.x + w + 1, s.y + h + 1 });
}

// Rebuilds a sprite's device pixels and mask from its layer.
bool build_sprite(Zellview *v, ViewSprite &s)
{
    M32_free(s.pixels);
    M32_free(s.mask);
    s.pixels = s.mask = nullptr;
    LONG w = s.width, h = s.height;
    if (s.scaleWithView) ToZellviewSize(v, &w, &h);
    if (w < 1 || h < 1) return false;
    Layer *copy = CreateLayer(w, h, 1);
    if (!copy) return false;
    if (s.scaleWithView && (w != s.width || h != s.height)) ResizeLayer(copy, s.layer);
    else CopyLayer(copy, s.layer);
    const LONG n = bytes_per_pixel();
    s.pixels = (BYTE *)M32_alloc((DWORD)(w * h * n));
    s.mask = (BYTE *)M32_alloc((DWORD)(w * h));
    if (s.pixels && s.mask) {
        for (LONG y = 0; y < h; ++y)
            for (LONG x = 0; x < w; ++x) {
                DWORD p = ((const DWORD *)(copy->pixels + (size_t)y * copy->pitch))[x];
                DWORD d = g_displayBlue[p & 0xFF] | g_displayGreen[(p >> 8) & 0xFF] | g_displayRed[(p >> 16) & 0xFF];
                BYTE *o = s.pixels + ((size_t)y * w + x) * n;
                for (LONG k = 0; k < n; ++k) o[k] = (BYTE)(d >> (8 * k));
                s.mask[(size_t)y * w + x] = (BYTE)(p >> 24);
            }
    }
    DeleteLayer(copy);
    s.drawnWidth = w;
    s.drawnHeight = h;
    return s.pixels && s.mask;
}

} // namespace

extern "C" {

Zellview *PIXAPI CreateZellview(LONG width, LONG height, LONG banded)
{
    WINE_TRACE("(%d, %d, %d)\n", (int)width, (int)height, (int)banded);
    if (width <= 0 || height <= 0 || !g_displayMode) return nullptr;
    Layer *l = CreateLayer(width, height, 1);
    if (!l) return nullptr;
    Zellview *v = create(l, true, banded);
    if (!v) DeleteLayer(l);
    return v;
}

Zellview *PIXAPI CreateZellviewLayer(Layer *layer, LONG *width, LONG *height, LONG banded)
{
    WINE_TRACE("(%p, %p, %p, %d)\n", layer, width, height, (int)banded);
    if (!layer) return nullptr;
    Zellview *v = create(layer, false, banded);
    if (!v) return nullptr;
    if (width) *width = v->layerWidth;
    if (height) *height = v->layerHeight;
    return v;
}

LONG PIXAPI DeleteZellview(Zellview *v)
{
    WINE_TRACE("(%p)\n", v);
    if (!v) return 0;
    UnregisterViewSlot(repaint_proc, v);
    // Our handler leaves the input with us, so later updates find nobody.
    if (v->input && v->handler && v->input->updateHandler == v->handler) {
        M32_free(v->handler);
        v->input->updateHandler = v->ownsInput ? nullptr : v->savedHandler;
    }
    if (v->input && v->ownsInput) DeleteLayer(v->input);
    end_sources(v);
    for (LONG i = 0; i < v->spriteCapacity; ++i) {
        M32_free(v->sprites[i].pixels);
        M32_free(v->sprites[i].mask);
    }
    M32_free(v->sprites);
    M32_free(v->rects);
    M32_free(v->buffer);
    M32_free(v);
    return 1;
}

LONG PIXAPI AttachWindowZellview(Zellview *v, HWND window)
{
    WINE_TRACE("(%p, %p)\n", v, window);
    if (!v) return 0;
    v->window = window;
    attach(v);
    return 1;
}

Layer *PIXAPI GetInputLayerZellview(Zellview *v) { return v ? v->input : nullptr; }

static LONG set_flag(Zellview *v, DWORD bit, LONG on)
{
    if (!v) return 0;
    if (on) v->flags |= bit;
    else v->flags &= ~bit;
    return 1;
}

LONG PIXAPI RefreshEnableZellview(Zellview *v, LONG on) { return set_flag(v, ZV_REFRESH_ON_PAINT, on); }
LONG PIXAPI UpdateEnableZellview(Zellview *v, LONG on) { return set_flag(v, ZV_REPAINT_ON_UPDATE, on); }
LONG PIXAPI AlphaDisplayZellview(Zellview *v, LONG on) { return set_flag(v, ZV_ALPHA_DISPLAY, on); }
LONG PIXAPI BitmapEnableZellview(Zellview *v, LONG on) { return set_flag(v, ZV_BITMAP_ENABLE, on); }
LONG PIXAPI NoScrollBarZellview(Zellview *v, LONG on) { return set_flag(v, ZV_NO_SCROLL_BARS, on); }

LONG PIXAPI SetFieldModeZellview(Zellview *v, LONG mode)
{
    if (!v) return 0;
    v->flags &= ~(ZV_FIELD_FIRST | ZV_FIELD_SECOND);
    if (mode == 1) v->flags |= ZV_FIELD_FIRST;
    else if (mode == 2) v->flags |= ZV_FIELD_SECOND;
    return 1;
}

LONG PIXAPI SetZoomfactorZellview(Zellview *v, LONG zoom)
{
    WINE_TRACE("(%p, %d)\n", v, (int)zoom);
    if (!v) return 0;
    v->zoom = zoom < 0 ? 0 : zoom > 8 ? 8 : zoom;
    attach(v);
    ResizeAllSprites(v);
    return 1;
}

LONG PIXAPI GetZoomfactorZellview(Zellview *v) { return v ? v->zoom : 0; }

LONG PIXAPI SetOffsetZellview(Zellview *v, LONG x, LONG y)
{
    if (!v) return 0;
    v->offsetX = x < 0 ? 0 : x >= v->layerWidth ? v->layerWidth - 1 : x;
    v->offsetY = y < 0 ? 0 : y >= v->layerHeight ? v->layerHeight - 1 : y;
    return 1;
}

LONG PIXAPI GetOffsetZellview(Zellview *v, LONG *x, LONG *y)
{
    if (!v) return 0;
    if (x) *x = v->offsetX;
    if (y) *y = v->offsetY;
    return 1;
}

LONG PIXAPI GetMaxSizeZellview(Zellview *v, LONG *w, LONG *h)
{
    if (!v) return 0;
    if (w) *w = v->zoom ? v->zoom * v->layerWidth : 4096;
    if (h) *h = v->zoom ? v->zoom * v->layerHeight : 4096;
    return 1;
}

LONG PIXAPI SetZellviewBackgroundID(Zellview *v, LONG id)
{
    if (!v) return 0;
    v->backgroundId = id;
    attach(v);
    return 1;
}

LONG PIXAPI UpdateZellview(Zellview *v, const RECT *rect)
{
    WINE_TRACE("(%p, %s)\n", v, rect ? wine_dbgstr_rect(rect) : "all");
    if (!v) return 0;
    if (rect) paint(v, *rect);
    else paint_all(v);
    return 1;
}

LONG PIXAPI ScrollZellview(Zellview *v, LONG dx, LONG dy)
{
    if (!v) return 0;
    LONG x = v->offsetX + dx, y = v->offsetY + dy;
    v->offsetX = x < 0 ? 0 : x > v->maxX ? v->maxX : x;
    v->offsetY = y < 0 ? 0 : y > v->maxY ? v->maxY : y;
    if (v->window && !(v->flags & ZV_NO_SCROLL_BARS)) {
        if (v->hScrollShown) SetScrollPos(v->window, SB_HORZ, v->offsetX, TRUE);
        if (v->vScrollShown) SetScrollPos(v->window, SB_VERT, v->offsetY, TRUE);
    }
    paint_all(v);
    return 1;
}

LONG PIXAPI ScrollMessageZellview(Zellview *v, LONG message, LONG code)
{
    if (!v || (message != WM_HSCROLL && message != WM_VSCROLL)) return 0;
    LONG d;
    switch (LOWORD(code)) {
    case SB_LINEUP: d = -1; break;
    case SB_LINEDOWN: d = 1; break;
    case SB_PAGEUP: d = -16; break;
    case SB_PAGEDOWN: d = 16; break;
    case SB_THUMBTRACK: d = (LONG)HIWORD(code) - (message == WM_HSCROLL ? v->offsetX : v->offsetY); break;
    default: return 0;
    }
    return message == WM_HSCROLL ? ScrollZellview(v, d, 0) : ScrollZellview(v, 0, d);
}

LONG PIXAPI ScrollToPointZellview(Zellview *v, LONG x, LONG y)
{
    if (!v || !v->zoom) return 0;
    const LONG shownW = v->displayWidth / v->zoom, shownH = v->displayHeight / v->zoom;
    auto step = [](LONG p, LONG off, LONG shown) -> LONG {
        if (p < off + 16) return p - (off + 16) - 32;
        if (p > off + shown - 16) return p - (off + shown - 16) + 32;
        return 0;
    };
    LONG dx = step(x, v->offsetX, shownW), dy = step(y, v->offsetY, shownH);
    if (!dx && !dy) return 1;
    return ScrollZellview(v, dx, dy);
}

LONG PIXAPI ToZellviewPoint(Zellview *v, LONG *x, LONG *y)
{
    if (!v || !x || !y) return 0;
    if (v->zoom) {
        *x = (*x - v->offsetX) * v->zoom;
        *y = (*y - v->offsetY) * v->zoom;
    } else {
        if (v->layerWidth <= 0 || v->layerHeight <= 0) return 0;
        *x = (LONG)((LONGLONG)*x * v->displayWidth / v->layerWidth);
        *y = (LONG)((LONGLONG)*y * v->displayHeight / v->layerHeight);
    }
    return 1;
}

LONG PIXAPI FromZellviewPoint(Zellview *v, LONG *x, LONG *y)
{
    if (!v || !x || !y) return 0;
    if (v->zoom) {
        *x = *x / v->zoom + v->offsetX;
        *y = *y / v->zoom + v->offsetY;
    } else {
        *x = (LONG)((LONGLONG)*x * v->layerWidth / v->displayWidth);
        *y = (LONG)((LONGLONG)*y * v->layerHeight / v->displayHeight);
    }
    return 1;
}

LONG PIXAPI ToZellviewRect(Zellview *v, RECT *r)
{
    if (!r) return 0;
    return ToZellviewPoint(v, &r->left, &r->top) && ToZellviewPoint(v, &r->right, &r->bottom);
}

LONG PIXAPI FromZellviewRect(Zellview *v, RECT *r)
{
    if (!r) return 0;
    return FromZellviewPoint(v, &r->left, &r->top) && FromZellviewPoint(v, &r->right, &r->bottom);
}

LONG PIXAPI ToZellviewSize(Zellview *v, LONG *w, LONG *h)
{
    if (!v || !w || !h) return 0;
    if (v->zoom) {
        *w *= v->zoom;
        *h *= v->zoom;
    } else {
        if (v->layerWidth <= 0 || v->layerHeight <= 0) return 0;
        *w = (LONG)((LONGLONG)*w * v->displayWidth / v->layerWidth);
        *h = (LONG)((LONGLONG)*h * v->displayHeight / v->layerHeight);
    }
    return 1;
}

LONG PIXAPI FromZellviewSize(Zellview *v, LONG *w, LONG *h)
{
    if (!v || !w || !h) return 0;
    if (v->zoom) {
        *w /= v->zoom;
        *h /= v->zoom;
    } else {
        *w = (LONG)((LONGLONG)*w * v->layerWidth / v->displayWidth);
        *h = (LONG)((LONGLONG)*h * v->layerHeight / v->displayHeight);
    }
    return 1;
}

LONG PIXAPI AddRectangleZellview(Zellview *v, const RECT *rect, DWORD colour, LONG kind)
{
    if (!v || !rect || !kind) return -1;
    LONG i = 0;
    while (i < v->rectCapacity && v->rects[i].kind) ++i;
    if (i == v->rectCapacity) {
        auto *grown = (ViewRectangle *)M32_realloc(v->rects, sizeof(ViewRectangle) * (DWORD)(v->rectCapacity + 64));
        if (!grown) return -1;
        memset(grown + v->rectCapacity, 0, sizeof(ViewRectangle) * 64);
        v->rects = grown;
        v->rectCapacity += 64;
    }
    ViewRectangle &r = v->rects[i];
    r = { rect->left, rect->top, rect->right, rect->bottom, DisplayPixelValue(colour & 0xFFFFFF), (DWORD)kind };
    if ((kind & 0x80) || (kind & 0x20)) dirty_all(v);
    else dirty_add(v, { r.left, r.top, r.right + 1, r.bottom + 1 });
    return i;
}

static ViewRectangle *rect_at(Zellview *v, LONG index)
{
    if (!v || index < 0 || index >= v->rectCapacity || !v->rects[index].kind) return nullptr;
    return &v->rects[index];
}

static void rect_dirty(Zellview *v, const ViewRectangle &r)
{
    if ((r.kind & 0x80) || (r.kind & 0x20)) dirty_all(v);
    else dirty_add(v, { r.left, r.top, r.right + 1, r.bottom + 1 });
}

LONG PIXAPI EditRectangleZellview(Zellview *v, LONG index, const RECT *rect)
{
    ViewRectangle *r = rect_at(v, index);
    if (!r || !rect) return 0;
    rect_dirty(v, *r);
    r->left = rect->left;
    r->top = rect->top;
    r->right = rect->right;
    r->bottom = rect->bottom;
    rect_dirty(v, *r);
    return 1;
}

LONG PIXAPI AttrRectangleZellview(Zellview *v, LONG index, LONG kind)
{
    ViewRectangle *r = rect_at(v, index);
    if (!r) return 0;
    rect_dirty(v, *r);
    r->kind = (DWORD)kind;   // 0 frees the entry
    if (kind) rect_dirty(v, *r);
    return 1;
}

LONG PIXAPI ColorRectangleZellview(Zellview *v, LONG index, DWORD colour)
{
    ViewRectangle *r = rect_at(v, index);
    if (!r) return 0;
    r->colour = DisplayPixelValue(colour & 0xFFFFFF);
    rect_dirty(v, *r);
    return 1;
}

LONG PIXAPI UpdateRectangleZellview(Zellview *v)
{
    if (!v) return 0;
    if (empty(v->dirty)) return 1;
    RECT r = v->dirty;
    v->dirty = { 0, 0, 0, 0 };
    if (v->zoom) ToZellviewRect(v, &r);
    else if (!layer_scale_rect(&r, v->displayWidth, v->layerWidth, v->displayHeight, v->layerHeight)) return 0;
    paint(v, r);
    return 1;
}

LONG PIXAPI AddSpriteZellview(Zellview *v, Layer *sprite, LONG x, LONG y, LONG visible, LONG scaleWithView)
{
    if (!v || !sprite) return -1;
    LONG i = 0;
    while (i < v->spriteCapacity && !v->sprites[i].free) ++i;
    if (i == v->spriteCapacity) {
        auto *grown = (ViewSprite *)M32_realloc(v->sprites, sizeof(ViewSprite) * (DWORD)(v->spriteCapacity + 64));
        if (!grown) return -1;
        memset(grown + v->spriteCapacity, 0, sizeof(ViewSprite) * 64);
        for (LONG k = 0; k < 64; ++k) grown[v->spriteCapacity + k].free = 1;
        v->sprites = grown;
        v->spriteCapacity += 64;
    }
    LayerAccess acc;
    if (!BeginLayerAccess(&acc, sprite, nullptr)) return -1;
    ViewSprite &s = v->sprites[i];
    s = {};
    s.layer = sprite;
    s.x = x;
    s.y = y;
    s.width = acc.width;
    s.height = acc.height;
    EndLayerAccess(&acc);
    s.visible = visible != 0;
    s.scaleWithView = scaleWithView != 0;
    if (!build_sprite(v, s)) {
        s = {};
        s.free = 1;
        return -1;
    }
    if (s.visible) sprite_area_dirty(v, s);
    return i;
}

LONG PIXAPI RefreshZellviewSprite(Zellview *v, LONG index)
{
    ViewSprite *s = sprite_at(v, index);
    if (!s) return 0;
    LONG ok = build_sprite(v, *s);
    sprite_area_dirty(v, *s);
    return ok;
}

LONG PIXAPI ResizeAllSprites(Zellview *v)
{
    if (!v) return 0;
    for (LONG i = 0; i < v->spriteCapacity; ++i)
        if (!v->sprites[i].free) {
            build_sprite(v, v->sprites[i]);
            if (v->sprites[i].visible) sprite_area_dirty(v, v->sprites[i]);
        }
    return 1;
}

LONG PIXAPI EditZellviewSprite(Zellview *v, LONG index, LONG x, LONG y)
{
    ViewSprite *s = sprite_at(v, index);
    if (!s) return 0;
    sprite_area_dirty(v, *s);
    FromZellviewPoint(v, &x, &y);
    s->x = x;
    s->y = y;
    sprite_area_dirty(v, *s);
    return 1;
}

LONG PIXAPI AttrZellviewSprite(Zellview *v, LONG index, LONG visible)
{
    ViewSprite *s = sprite_at(v, index);
    if (!s) return 0;
    s->visible = visible != 0;
    sprite_area_dirty(v, *s);
    return 1;
}

LONG PIXAPI DeleteZellviewSprite(Zellview *v, LONG index)
{
    ViewSprite *s = sprite_at(v, index);
    if (!s) return 0;
    sprite_area_dirty(v, *s);
    M32_free(s->pixels);
    M32_free(s->mask);
    *s = {};
    s->free = 1;
    return 1;
}

LONG PIXAPI DisplayLayerHDC(HDC dc, Layer *layer, LONG width, LONG height)
{
    WINE_TRACE("(%p, %p, %d, %d)\n", dc, layer, (int)width, (int)height);
    if (!dc || !layer) return 0;
    HBITMAP bmp = CreateBitmapLayer(layer, width, height);
    if (!bmp) return 0;
    HDC mem = CreateCompatibleDC(dc);
    LONG ok = 0;
    if (mem) {
        HGDIOBJ old = SelectObject(mem, bmp);
        ok = BitBlt(dc, 0, 0, width, height, mem, 0, 0, SRCCOPY) ? 1 : 0;
        SelectObject(mem, old);
        DeleteDC(mem);
    }
    DeleteObject(bmp);
    return ok;
}

LONG PIXAPI DisplayLayerHWND(HWND window, Layer *layer, LONG width, LONG height)
{
    if (!window) return 0;
    HDC dc = GetDC(window);
    if (!dc) return 0;
    LONG ok = DisplayLayerHDC(dc, layer, width, height);
    ReleaseDC(window, dc);
    return ok;
}

LONG PIXAPI SetBackgroundBitmap(void *data)
{
    if (s_backgroundOwned && s_backgroundData && s_backgroundData != data) M32_free(s_backgroundData);
    s_backgroundData = data;
    s_backgroundOwned = 1;
    UpdateAllZellviews();
    return 1;
}

LONG PIXAPI SetBackgroundBitmapEx(void *data, LONG word1, LONG word2)
{
    if (s_backgroundOwned && s_backgroundData && s_backgroundData != data) M32_free(s_backgroundData);
    s_backgroundData = data;
    s_backgroundOwned = 0;
    s_backgroundWords[0] = word1;
    s_backgroundWords[1] = word2;
    UpdateAllZellviews();
    return 1;
}

DWORD PIXAPI GetChrominanceZellview(Zellview *v, LONG x, LONG y)
{
    if (!v) return 0;
    DWORD p = GetPelInLayer(v->input, x, y);
    return (p >> 24) ? p | 0xFF000000u : 0xFF000000u;
}

DWORD PIXAPI GetLuminanceZellview(Zellview *v, LONG x, LONG y)
{
    if (!v) return 0;
    DWORD c = GetChrominanceZellview(v, x, y);
    DWORD sum = ProductTable[(77u << 8) | ((c >> 16) & 0xFF)] + ProductTable[(149u << 8) | ((c >> 8) & 0xFF)] +
                ProductTable[(29u << 8) | (c & 0xFF)];
    DWORD l = (sum >> 8) & 0xFF;
    return 0xFF000000u + l * 0x010101u;
}

} // extern "C"
