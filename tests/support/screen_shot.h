/*
 * Screen pixels for the window tests: a window's area as the screen shows
 * it (0x00RRGGBB), or any device context's, pixel checks, and a 24-bit BMP
 * of it written into the artefacts folder ($CORV_ARTEFACTS, else the
 * current folder).  Every display test keeps its screenshots through this.
 */
#ifndef CORV_TESTS_SCREEN_SHOT_H
#define CORV_TESTS_SCREEN_SHOT_H

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

struct ScreenShot {
    int w = 0, h = 0;
    std::vector<unsigned> px;
    unsigned At(int x, int y) const { return x >= 0 && y >= 0 && x < w && y < h ? px[(size_t)y * w + x] : 0xFF000000u; }
    static int R(unsigned c) { return (c >> 16) & 255; }
    static int G(unsigned c) { return (c >> 8) & 255; }
    static int B(unsigned c) { return c & 255; }
    static bool Near(unsigned a, unsigned b, int tol = 24)
    {
        return std::abs(R(a) - R(b)) <= tol && std::abs(G(a) - G(b)) <= tol && std::abs(B(a) - B(b)) <= tol;
    }
    /* The pixel at (x, y) as a COLORREF (0x00BBGGRR), as GDI answers colours. */
    COLORREF Ref(int x, int y) const
    {
        const unsigned c = At(x, y);
        return RGB(R(c), G(c), B(c));
    }

    /* The screen rectangle (x, y, w, h). */
    static ScreenShot Take(int x, int y, int w, int h)
    {
        HDC screen = GetDC(nullptr);
        ScreenShot s = From(screen, x, y, w, h);
        ReleaseDC(nullptr, screen);
        return s;
    }
    /* The rectangle (x, y, w, h) of a device context. */
    static ScreenShot From(HDC source, int x, int y, int w, int h)
    {
        ScreenShot s;
        s.w = w;
        s.h = h;
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        void *bits = nullptr;
        HBITMAP dib = CreateDIBSection(source, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        HDC mem = CreateCompatibleDC(source);
        HGDIOBJ old = SelectObject(mem, dib);
        BitBlt(mem, 0, 0, w, h, source, x, y, SRCCOPY);
        GdiFlush();
        s.px.assign((const unsigned *)bits, (const unsigned *)bits + (size_t)w * h);
        for (auto &p : s.px) p &= 0xFFFFFF;
        SelectObject(mem, old);
        DeleteDC(mem);
        DeleteObject(dib);
        return s;
    }
    static ScreenShot Window(HWND wnd)
    {
        RECT r;
        GetWindowRect(wnd, &r);
        return Take(r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
    /* The window's client area as the screen shows it. */
    static ScreenShot Client(HWND wnd)
    {
        RECT r;
        GetClientRect(wnd, &r);
        POINT origin = {0, 0};
        ClientToScreen(wnd, &origin);
        return Take(origin.x, origin.y, r.right, r.bottom);
    }

    /* Writes name (a .bmp) into the artefacts folder; returns the path. */
    std::string Save(const std::string &name) const
    {
        const char *dir = getenv("CORV_ARTEFACTS");
        return SaveAs(std::string(dir && *dir ? dir : ".") + "/" + name);
    }
    /* Writes the picture as a .bmp at path (a Unix path); returns it, empty on failure. */
    std::string SaveAs(const std::string &path) const
    {
        FILE *f = fopen(path.c_str(), "wb");
        if (!f) return {};
        int stride = (w * 3 + 3) & ~3;
        unsigned size = 54 + stride * h;
        unsigned char head[54] = {'B', 'M'};
        auto put32 = [&](int at, unsigned v) { for (int i = 0; i < 4; ++i) head[at + i] = (v >> (8 * i)) & 255; };
        put32(2, size); put32(10, 54); put32(14, 40); put32(18, w); put32(22, h);
        head[26] = 1; head[28] = 24; put32(34, stride * h);
        fwrite(head, 1, 54, f);
        std::vector<unsigned char> row(stride, 0);
        for (int y = h - 1; y >= 0; --y) {
            for (int x = 0; x < w; ++x) {
                unsigned c = At(x, y);
                row[x * 3] = B(c); row[x * 3 + 1] = G(c); row[x * 3 + 2] = R(c);
            }
            fwrite(row.data(), 1, stride, f);
        }
        fclose(f);
        return path;
    }
};

/* Handles messages until pred() holds or ms pass; true when it held. */
template <class Pred> bool PumpUntil(Pred pred, DWORD ms)
{
    DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (pred()) return true;
        if ((int)(GetTickCount() - end) > 0) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

#endif
