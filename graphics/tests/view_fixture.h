// Helpers for the view, bitmap-layer and scroll-strip tests: a synthetic
// 32-bit display (device pixel = 0x00RRGGBB) for runs without a screen, a
// plain pop-up window of a given client size, and a recorder of the bands
// a view paints.
#pragma once
#include <windows.h>

#include <vector>

#include "layer_fixture.h"
#include "views.h"

namespace vf {

// Display tables of a 32-bit display whose pixels read 0x00RRGGBB.
static BYTE s_ramps[3][1024];

static inline void use_32bit_display()
{
    lf::start();
    BYTE *r = s_ramps[0], *g = s_ramps[1], *b = s_ramps[2];
    for (int i = 0; i < 256; ++i) {
        DWORD rv = (DWORD)i << 16, gv = (DWORD)i << 8, bv = (DWORD)i;
        memcpy(r + 4 * i, &rv, 4);
        memcpy(g + 4 * i, &gv, 4);
        memcpy(b + 4 * i, &bv, 4);
    }
    pixmoor_tables_from_rows(32, r, g, b);
}

struct Window {
    HWND h;
    Window(int w, int hgt, DWORD style = WS_POPUP)
    {
        h = CreateWindowExA(0, "STATIC", "", style, 0, 0, w, hgt, NULL, NULL, GetModuleHandleA(NULL), NULL);
    }
    ~Window()
    {
        if (h) DestroyWindow(h);
    }
};

// The bands a view painted, as a picture of the whole display.
struct Canvas {
    LONG width = 0, height = 0;
    std::vector<DWORD> px;
    std::vector<RECT> bands;
    void reset(LONG w, LONG h)
    {
        width = w;
        height = h;
        px.assign((size_t)w * h, 0xDEADBEEF);
        bands.clear();
    }
    DWORD at(LONG x, LONG y) const { return px[(size_t)y * width + x]; }
};

// One canvas at a time; a file-scope pointer (programs are shared objects,
// where statics inside inline functions do not link).
static Canvas *s_canvas;
static inline Canvas *&current_canvas() { return s_canvas; }

static inline void record_band(Zellview *, const BYTE *rows, LONG rowBytes, LONG x, LONG y, LONG w, LONG h)
{
    Canvas *c = current_canvas();
    if (!c) return;
    c->bands.push_back({ x, y, x + w, y + h });
    for (LONG j = 0; j < h; ++j)
        for (LONG i = 0; i < w; ++i)
            if (x + i < c->width && y + j < c->height)
                c->px[(size_t)(y + j) * c->width + x + i] = ((const DWORD *)(rows + (size_t)j * rowBytes))[i];
}

// Routes a view's bands into a canvas of its display size.
struct Watch {
    Canvas canvas;
    Zellview *view;
    explicit Watch(Zellview *v) : view(v)
    {
        current_canvas() = &canvas;
        v->bandHook = record_band;
        canvas.reset(v->displayWidth, v->displayHeight);
    }
    void reset() { canvas.reset(view->displayWidth, view->displayHeight); }
    ~Watch() { current_canvas() = nullptr; }
};

} // namespace vf
