/* A tabbed dialog on a real display: the page stays visible over the page
 * frame after either of them repaints; the picture is kept as
 * "uitoolkit_tabs.bmp" in the working folder. */
#include <catch2/catch.hpp>

#include "internal.h"
#include "tundrix32.h"
#include "unmanaged_display.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

void Pump()
{
    MSG m;
    for (int i = 0; i < 20; ++i) {
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
        Sleep(20);
    }
}

/* The frame's client area as 32-bit pixels read from the screen. */
struct Shot {
    int w = 0, h = 0;
    std::vector<DWORD> px;
    COLORREF At(int x, int y) const
    {
        DWORD v = px[y * w + x];
        return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    }
};

Shot Capture(HWND frame)
{
    Shot s;
    RECT r;
    GetClientRect(frame, &r);
    s.w = r.right;
    s.h = r.bottom;
    s.px.resize(s.w * s.h);
    POINT origin = {0, 0};
    ClientToScreen(frame, &origin);
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = s.w;
    bi.bmiHeader.biHeight = -s.h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, dib);
    BitBlt(mem, 0, 0, s.w, s.h, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    std::memcpy(s.px.data(), bits, s.px.size() * 4);
    SelectObject(mem, old);
    DeleteObject(dib);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return s;
}

void Save(const Shot &s, const char *name)
{
    BITMAPFILEHEADER fh = {};
    BITMAPINFOHEADER ih = {};
    ih.biSize = sizeof ih;
    ih.biWidth = s.w;
    ih.biHeight = -s.h;
    ih.biPlanes = 1;
    ih.biBitCount = 32;
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof ih;
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(s.px.size() * 4);
    if (FILE *f = std::fopen(name, "wb")) {
        std::fwrite(&fh, sizeof fh, 1, f);
        std::fwrite(&ih, sizeof ih, 1, f);
        std::fwrite(s.px.data(), 4, s.px.size(), f);
        std::fclose(f);
    }
}

}  // namespace

TEST_CASE("The page shows over the page frame on a real display", "[tabs][display]")
{
    TundrixLoadControls();
    HINSTANCE self = GetModuleHandleA(nullptr);
    HGLOBAL t = tabCreate(nullptr, self, "On screen", nullptr, 0, 0, TABF_MODELESS, "OK", "Cancel", nullptr);
    tabAddTemplate(t, "First", self, "PAGE_EDITS", nullptr, 0, 0);
    tabAddTemplate(t, "Second", self, "PAGE_CHECKS", nullptr, 0, 0);
    HWND frame = reinterpret_cast<HWND>(tabDialogBox(t));
    REQUIRE(frame);
    HWND page = tabGetWindow(t, 0);
    REQUIRE(page);
    HWND edit = GetDlgItem(page, 101);
    SetWindowTextA(edit, "");
    SetForegroundWindow(frame);
    Pump();

    RECT er;
    GetWindowRect(edit, &er);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT *>(&er), 2);
    const int ex = (er.left + er.right) / 2 + 10, ey = (er.top + er.bottom) / 2;
    RECT pr;
    GetWindowRect(page, &pr);
    MapWindowPoints(nullptr, frame, reinterpret_cast<POINT *>(&pr), 2);
    /* A point of the page away from its controls. */
    const int px = pr.right - 6, py = pr.bottom - 6;

    Shot first = Capture(frame);
    Save(first, "uitoolkit_tabs.bmp");
    CHECK(first.At(ex, ey) == GetSysColor(COLOR_WINDOW));

    /* The page frame repaints alone: the page stays in front. */
    RedrawWindow(GetDlgItem(frame, 256), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    Pump();
    Shot again = Capture(frame);
    CHECK(again.At(ex, ey) == GetSysColor(COLOR_WINDOW));
    CHECK(again.At(px, py) == first.At(px, py));

    tabDestroy(t);
    TundrixReleaseControls();
}

