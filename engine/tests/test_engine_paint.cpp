/*
 * Painters on a real display: the programme window, a channel window and the
 * TV-out window show their surfaces stretched over their client areas, and
 * TV output moves the programme picture from one window to the other.  The
 * pictures are blocks of solid colour, so a stretched copy can be checked at
 * the centre of every block whatever the scaling.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <cstdio>
#include <map>
#include <string>
#include <vector>
#include "engine_host.h"
#include "synthetic_source.h"
#include "clock.h"
#include "painter.h"

namespace {

/* The test windows are made once and kept to the end of the run: with no
 * window manager on the display, Wine waits two seconds for each unmapped
 * window. */
HWND Window(const char *title, int x, int y, int w, int h)
{
    static std::map<std::string, HWND> made;
    if (made.count(title)) return made[title];
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "CorvPaintTarget";
        wc.hbrBackground = nullptr;   /* nothing erases what the painters draw */
        RegisterClassA(&wc);
        registered = true;
    }
    HWND wnd = CreateWindowExA(WS_EX_TOPMOST, "CorvPaintTarget", title, WS_POPUP | WS_VISIBLE, x, y, w, h,
                               nullptr, nullptr, nullptr, nullptr);
    REQUIRE(wnd);
    UpdateWindow(wnd);
    made[title] = wnd;
    return wnd;
}

/* The window's client pixels as the screen shows them (0x00RRGGBB). */
std::vector<uint32_t> Screen(HWND wnd, int *w, int *h)
{
    RECT rc;
    GetClientRect(wnd, &rc);
    *w = rc.right;
    *h = rc.bottom;
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
    bi.bmiHeader.biWidth = *w;
    bi.bmiHeader.biHeight = -*h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void *bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC mem = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(mem, dib);
    HDC dc = GetDC(wnd);
    BitBlt(mem, 0, 0, *w, *h, dc, 0, 0, SRCCOPY);
    ReleaseDC(wnd, dc);
    GdiFlush();
    std::vector<uint32_t> px((const uint32_t *)bits, (const uint32_t *)bits + (size_t)*w * *h);
    SelectObject(mem, old);
    DeleteDC(mem);
    DeleteObject(dib);
    for (auto &p : px) p &= 0xFFFFFF;
    return px;
}

/* Blocks whose centre in the window does not show the expected colour. */
int WrongBlocks(HWND wnd, unsigned seed, std::string *report = nullptr)
{
    int w, h;
    auto px = Screen(wnd, &w, &h);
    int wrong = 0;
    for (int by = 0; by < kBlocks; by++)
        for (int bx = 0; bx < kBlocks; bx++) {
            int x = (2 * bx + 1) * w / (2 * kBlocks), y = (2 * by + 1) * h / (2 * kBlocks);
            uint32_t got = px[(size_t)y * w + x], want = BlockColour(bx, by, seed) & 0xFFFFFF;
            if (got != want) {
                wrong++;
                if (report) {
                    char b[80];
                    snprintf(b, sizeof b, "(%d,%d) %06x want %06x; ", x, y, got, want);
                    *report += b;
                }
            }
        }
    return wrong;
}

/* Pump until the window shows the picture of seed (or time runs out). */
bool Shows(EngineHost &host, HWND wnd, unsigned seed, DWORD ms = 3000)
{
    host.Pump(ms, [&] { return WrongBlocks(wnd, seed) == 0; });
    std::string report;
    bool ok = WrongBlocks(wnd, seed, &report) == 0;
    if (!ok) UNSCOPED_INFO("window " << wnd << ": " << report);
    return ok;
}

/* Paint the window black so an old picture cannot pass for a new one. */
void Blank(HWND wnd)
{
    HDC dc = GetDC(wnd);
    RECT rc;
    GetClientRect(wnd, &rc);
    FillRect(dc, &rc, (HBRUSH)GetStockObject(BLACK_BRUSH));
    ReleaseDC(wnd, dc);
}

struct Stage {
    EngineHost host;
    HWND programme, channel, tv;
    SyntheticSource *a;
    int w = g_engine.width, h = g_engine.height;
    Stage()
    {
        programme = Window("programme", 0, 0, 320, 240);          /* the working size */
        channel = Window("channel 2", 340, 0, 160, 120);          /* half */
        tv = Window("tv out", 0, 260, 400, 300);                  /* larger */
        SetMainVideoWnd(programme);
        SetPrevVideoWnd(2, channel);
        SetMainVideoSize(320, 240);
        SetPreviewVideoSize(160, 120);
        a = PlaceSynthetic(2);
        a->Put(Blocks(w, h, 1));
        REQUIRE(SelectChannel(2));
    }
};

}  // namespace

TEST_CASE("The programme and a channel window show their surfaces stretched over the client area", "[paint]")
{
    Stage s;
    CHECK(Shows(s.host, s.programme, 1));
    unsigned painted = g_channelPainter[2]->painted;
    Blank(s.channel);
    g_channelPainter[2]->Signal();          /* what the video callback does per frame */
    CHECK(Shows(s.host, s.channel, 1));
    CHECK(g_channelPainter[2]->painted > painted);

    /* A new picture in the channel reaches the programme on the next ticks. */
    s.a->Put(Blocks(s.w, s.h, 2));
    CHECK(Shows(s.host, s.programme, 2));

    /* The repaint exports paint into the host's own context at the window's size. */
    Blank(s.channel);
    HDC dc = GetDC(s.channel);
    PreviewRepaint(2, dc);
    PreviewRepaint(4, dc);                  /* an empty channel paints nothing */
    PreviewRepaint(99, dc);
    ReleaseDC(s.channel, dc);
    CHECK(WrongBlocks(s.channel, 2) == 0);
    Blank(s.programme);
    dc = GetDC(s.programme);
    CHECK(MainVideoRepaint(dc) == 0);
    ReleaseDC(s.programme, dc);
    CHECK(WrongBlocks(s.programme, 2) == 0);
}

TEST_CASE("TV output moves the programme picture to the TV-out window and back", "[paint]")
{
    Stage s;
    REQUIRE(Shows(s.host, s.programme, 1));
    HANDLE thread = SetTVOutWnd(s.tv);
    CHECK(thread != nullptr);
    CHECK(g_tvOutPainter->sized == 1);
    CHECK(g_tvOutPainter->width == 400);
    CHECK(g_tvOutPainter->height == 300);
    CHECK(StartTVOut());
    CHECK(Shows(s.host, s.tv, 1));

    /* While TV output is on the programme window keeps its last picture. */
    s.a->Put(Blocks(s.w, s.h, 3));
    CHECK(Shows(s.host, s.tv, 3));
    s.host.Pump(200);
    CHECK(WrongBlocks(s.programme, 1) == 0);

    CHECK(StopTVOut() == g_programmePainter);
    s.a->Put(Blocks(s.w, s.h, 4));
    CHECK(Shows(s.host, s.programme, 4));
    s.host.Pump(200);
    CHECK(WrongBlocks(s.tv, 3) == 0);       /* the TV-out window is left alone */
}

TEST_CASE("Painters stop within the wait and start again with the next engine", "[paint]")
{
    for (int round = 0; round < 2; round++) {
        Stage s;
        SetTVOutWnd(s.tv);
        REQUIRE(Shows(s.host, s.programme, 1));
        REQUIRE(g_programmePainter->HasThread());
        REQUIRE(g_channelPainter[0]->HasThread());
        DWORD t0 = GetTickCount();
        ReleaseEngine();
        s.host.started = false;
        DWORD spent = GetTickCount() - t0;
        CHECK(spent < 1000);
        for (auto *p : g_channelPainter) CHECK_FALSE(p->HasThread());
        CHECK_FALSE(g_programmePainter->HasThread());
        CHECK_FALSE(g_tvOutPainter->HasThread());
        CHECK(g_programmePainter->abandoned == 0);
    }
}
