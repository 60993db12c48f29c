// On a real display (run under a virtual X server): a view shows its
// layer's pixels in a window, repaints what an update names, and a scroll
// strip paints black below its last band.
#include <catch2/catch.hpp>
#include <vector>
#include "layer_fixture.h"
#include "startup.h"
#include "views.h"

using lf::LayerPtr;

namespace {

void pump(int ms)
{
    DWORD end = GetTickCount() + ms;
    MSG m;
    while ((LONG)(end - GetTickCount()) > 0) {
        while (PeekMessageA(&m, NULL, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
        Sleep(10);
    }
}

struct Window {
    HWND h;
    Window(int w, int hgt)
    {
        h = CreateWindowExA(0, "STATIC", "", WS_POPUP | WS_VISIBLE, 10, 10, w, hgt, NULL, NULL, GetModuleHandleA(NULL), NULL);
        pump(200);
    }
    ~Window() { DestroyWindow(h); }
};

// The window's client pixels as 0x00RRGGBB, read back through a DIB.
DWORD window_pixel(HWND w, int x, int y)
{
    HDC dc = GetDC(w);
    DWORD c = GetPixel(dc, x, y);
    ReleaseDC(w, dc);
    return GetRValue(c) << 16 | GetGValue(c) << 8 | GetBValue(c);
}

} // namespace

TEST_CASE("A view shows its layer in a real window")
{
    lf::start();
    REQUIRE(g_displayMode != 0);   // the probe found the screen's format
    std::vector<DWORD> px;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) px.push_back(x < 16 ? 0xFFFF0000 : 0xFF0000FF);
    LayerPtr l = lf::make(32, 24, px);
    Window w(64, 48);
    REQUIRE(w.h);
    Zellview *v = CreateZellviewLayer(l.get(), nullptr, nullptr, 1);
    REQUIRE(v);
    REQUIRE(AttachWindowZellview(v, w.h) == 1);
    REQUIRE(UpdateZellview(v, nullptr) == 1);
    CHECK(window_pixel(w.h, 5, 5) == 0xFF0000);
    CHECK(window_pixel(w.h, 30, 40) == 0xFF0000);
    CHECK(window_pixel(w.h, 34, 5) == 0x0000FF);
    CHECK(window_pixel(w.h, 63, 47) == 0x0000FF);

    SECTION("an update of part of the layer repaints that part")
    {
        UpdateEnableZellview(v, 1);
        LayerPtr part = lf::clip(l.get(), 0, 0, 4, 4);
        SetLayer(part.get(), 0xFF00FF00);   // SetLayer announces the change itself
        lf::Notify on;
        UpdateLayer(part.get());
        CHECK(window_pixel(w.h, 3, 3) == 0x00FF00);
        CHECK(window_pixel(w.h, 7, 7) == 0x00FF00);
        CHECK(window_pixel(w.h, 9, 9) == 0xFF0000);
    }
    SECTION("zoom 4 from an offset")
    {
        NoScrollBarZellview(v, 1);
        SetZoomfactorZellview(v, 4);
        SetOffsetZellview(v, 14, 0);
        UpdateZellview(v, nullptr);
        CHECK(window_pixel(w.h, 7, 7) == 0xFF0000);    // layer column 15
        CHECK(window_pixel(w.h, 8, 7) == 0x0000FF);    // layer column 16
    }
    DeleteZellview(v);
}

TEST_CASE("A scroll strip paints its bands and black below them")
{
    lf::start();
    REQUIRE(g_displayMode != 0);
    Window w(64, 200);
    Zellscroll *s = CreateZellscroll(w.h);
    REQUIRE(s);
    LayerPtr l = lf::filled(8, 6, 0xFF00FF00);
    REQUIRE(AddLayerToZellscroll(s, l.get()) == 1);
    REQUIRE(UpdateZellscroll(s, nullptr) == 1);
    CHECK(window_pixel(w.h, 10, 0) == 0xFFFF00);    // selected band: yellow edge
    CHECK(window_pixel(w.h, 10, 20) == 0x00FF00);
    CHECK(window_pixel(w.h, 10, 47) == 0xFFFF00);
    CHECK(window_pixel(w.h, 10, 100) == 0x000000);  // below the strip
    DeleteZellscroll(s);
}

TEST_CASE("Zoom scroll bars and a layer drawn straight into a real window")
{
    lf::start();
    REQUIRE(g_displayMode != 0);
    LayerPtr l = lf::filled(100, 80, 0xFF204060);
    Window w(120, 90);
    Zellview *v = CreateZellviewLayer(l.get(), nullptr, nullptr, 0);
    REQUIRE(v);
    AttachWindowZellview(v, w.h);
    SetZoomfactorZellview(v, 2);
    CHECK(v->hScrollShown == 1);
    CHECK(v->vScrollShown == 1);
    int lo = -1, hi = -1;
    GetScrollRange(w.h, SB_HORZ, &lo, &hi);
    CHECK(lo == 0);
    CHECK(hi == v->maxX);
    ScrollMessageZellview(v, WM_HSCROLL, SB_PAGEDOWN);
    CHECK(GetScrollPos(w.h, SB_HORZ) == 16);
    CHECK(window_pixel(w.h, 4, 4) == 0x204060);
    DeleteZellview(v);

    Window w2(40, 30);
    LayerPtr green = lf::filled(4, 3, 0xFF00C000);
    CHECK(DisplayLayerHWND(w2.h, green.get(), 40, 30) == 1);
    CHECK(window_pixel(w2.h, 20, 15) == 0x00C000);
}
