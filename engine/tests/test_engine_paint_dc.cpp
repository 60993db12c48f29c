/*
 * Painters without a display: the repaint exports stretch a surface into the
 * host's own device context at the painter window's client size, an empty
 * surface slot paints nothing, a busy surface gives the lock's error after
 * the 33 ms wait, and painter threads wake on their events.
 */
#include <catch2/catch.hpp>
#include <windows.h>
#include <functional>
#include <vector>
#include "engine_host.h"
#include "synthetic_source.h"
#include "clock.h"
#include "painter.h"

namespace {

/* A memory device context over a top-down 32-bit DIB. */
struct Canvas {
    int w, h;
    uint32_t *bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP dib = nullptr;
    HGDIOBJ old = nullptr;
    Canvas(int width, int height) : w(width), h(height)
    {
        BITMAPINFO bi = {};
        bi.bmiHeader.biSize = sizeof(bi.bmiHeader);
        bi.bmiHeader.biWidth = w;
        bi.bmiHeader.biHeight = -h;
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        dib = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, reinterpret_cast<void **>(&bits), nullptr, 0);
        REQUIRE(dib);
        old = SelectObject(dc, dib);
        Clear();
    }
    ~Canvas() { SelectObject(dc, old); DeleteObject(dib); DeleteDC(dc); }
    void Clear() { GdiFlush(); std::fill(bits, bits + (size_t)w * h, 0x123456u); }
    int Wrong(unsigned seed) { GdiFlush(); return WrongBlockCount(bits, w, h, seed); }
    bool Untouched()
    {
        GdiFlush();
        for (size_t i = 0; i < (size_t)w * h; i++)
            if (bits[i] != 0x123456u) return false;
        return true;
    }
};

SIZE ClientSize(HWND wnd)
{
    RECT rc;
    GetClientRect(wnd, &rc);
    return {rc.right, rc.bottom};
}

/* Holds a surface's device-context lock for writing on another thread. */
struct Holder {
    EngineSurface *s;
    HANDLE locked = CreateEventW(nullptr, TRUE, FALSE, nullptr), release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread;
    explicit Holder(EngineSurface *surface) : s(surface)
    {
        thread = CreateThread(nullptr, 0, Run, this, 0, nullptr);
        REQUIRE(WaitForSingleObject(locked, 5000) == WAIT_OBJECT_0);
    }
    static DWORD WINAPI Run(void *p)
    {
        auto *h = static_cast<Holder *>(p);
        HDC dc;
        void *token;
        if (FAILED(EngineSurfaceLockDC(h->s, INFINITE, TRUE, &dc, &token))) return 1;
        SetEvent(h->locked);
        WaitForSingleObject(h->release, INFINITE);
        EngineSurfaceUnlockDC(token);
        return 0;
    }
    ~Holder()
    {
        SetEvent(release);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        CloseHandle(locked);
        CloseHandle(release);
    }
};

}  // namespace

TEST_CASE("Repaints stretch the surface over the window's client size into the host's context", "[paint]")
{
    EngineHost host;
    g_transformer.Stop();
    auto *src = PlaceSynthetic(1);
    src->Put(Blocks(g_engine.width, g_engine.height, 3));
    SIZE cs = ClientSize(host.channels[1]);
    REQUIRE(cs.cx > 0);
    Canvas canvas(cs.cx, cs.cy);

    PreviewRepaint(1, canvas.dc);
    CHECK(canvas.Wrong(3) == 0);

    /* Channels without a source, and numbers past the table, paint nothing. */
    canvas.Clear();
    PreviewRepaint(0, canvas.dc);
    PreviewRepaint(-1, canvas.dc);
    PreviewRepaint(5, canvas.dc);
    CHECK(canvas.Untouched());

    /* The programme painter before it has a window and a surface. */
    CHECK(MainVideoRepaint(canvas.dc) == 0);
    CHECK(canvas.Untouched());

    /* With its window, after one tick has copied the programme source. */
    SIZE ps = ClientSize(host.host);
    Canvas prog(ps.cx, ps.cy);
    REQUIRE(SetMainVideoWnd(host.host) == g_programmePainter);
    REQUIRE(SelectChannel(1));
    g_transformer.tick();
    CHECK(MainVideoRepaint(prog.dc) == 0);
    CHECK(prog.Wrong(3) == 0);

    SECTION("a surface that stays locked: the repaint gives up after the wait with the error") {
        prog.Clear();
        Holder hold(g_engine.outputSurface);
        DWORD t0 = GetTickCount();
        int r = MainVideoRepaint(prog.dc);
        DWORD spent = GetTickCount() - t0;
        CHECK(r < 0);
        CHECK(spent >= 25);
        CHECK(spent < 1000);
        CHECK(prog.Untouched());
    }
}

TEST_CASE("Painter threads wake on their events; the programme painter only while running", "[paint]")
{
    EngineHost host;
    g_transformer.Stop();
    auto *src = PlaceSynthetic(2);
    src->Put(Blocks(g_engine.width, g_engine.height, 1));
    REQUIRE(SelectChannel(2));
    SetMainVideoWnd(host.host);

    auto wait_for = [&](std::atomic<unsigned> &counter, unsigned target) {
        host.Pump(2000, [&] { return counter.load() >= target; });
        return counter.load() >= target;
    };
    unsigned painted = g_channelPainter[2]->painted;
    g_channelPainter[2]->Signal();
    CHECK(wait_for(g_channelPainter[2]->painted, painted + 1));

    unsigned works = g_programmePainter->works;
    painted = g_programmePainter->painted;
    g_transformer.tick();                   /* the tick wakes the running programme painter */
    CHECK(wait_for(g_programmePainter->painted, painted + 1));
    CHECK(g_programmePainter->works == works + 1);

    /* TV output on: the tick wakes the TV-out painter instead; the programme
     * painter, woken by someone else, stays quiet. */
    SetTVOutWnd(host.channels[0]);
    REQUIRE(StartTVOut());
    unsigned tvPainted = g_tvOutPainter->painted;
    painted = g_programmePainter->painted;
    works = g_programmePainter->works;
    g_transformer.tick();
    CHECK(wait_for(g_tvOutPainter->painted, tvPainted + 1));
    g_programmePainter->Signal();
    CHECK(wait_for(g_programmePainter->works, works + 1));
    CHECK(g_programmePainter->painted == painted);
    CHECK(StopTVOut() == g_programmePainter);
    tvPainted = g_tvOutPainter->painted;
    g_transformer.tick();
    CHECK(wait_for(g_programmePainter->painted, painted + 1));
    host.Pump(150);
    CHECK(g_tvOutPainter->painted == tvPainted);

    /* A stopped painter ignores signals; a second stop is harmless. */
    g_channelPainter[3]->StopThread();
    CHECK_FALSE(g_channelPainter[3]->HasThread());
    unsigned signals = g_channelPainter[3]->signals;
    g_channelPainter[3]->Signal();
    CHECK(g_channelPainter[3]->signals == signals);
    g_channelPainter[3]->StopThread();
}

namespace {
/* A worker whose work blocks for a while, as a painter stuck in a driver would. */
struct SlowWorker : CEventWorkerThread {
    std::atomic<int> entered{0}, finished{0};
    DWORD blockMs = 1500;
    int work() override
    {
        entered++;
        Sleep(blockMs);
        finished++;
        return 0;
    }
};

bool WaitUntil(const std::function<bool()> &done, DWORD ms)
{
    DWORD end = GetTickCount() + ms;
    while (!done() && (LONG)(end - GetTickCount()) > 0) Sleep(5);
    return done();
}
}  // namespace

TEST_CASE("Stopping a worker stuck for more than a second returns after the wait and never kills it", "[paint]")
{
    static SlowWorker w;    /* outlives the thread it leaves behind */
    w.CreateEvent_();
    REQUIRE(w.HasThread());
    w.Signal();
    REQUIRE(WaitUntil([] { return w.entered == 1; }, 2000));

    DWORD t0 = GetTickCount();
    w.StopThread();
    DWORD spent = GetTickCount() - t0;
    CHECK(spent >= 950);
    CHECK(spent < 1400);
    CHECK(w.abandoned == 1);
    CHECK_FALSE(w.HasThread());

    /* Started again while the old thread is still inside its work: only the
     * new thread answers the next signal, and the old one ends by itself
     * without working again. */
    w.blockMs = 10;
    w.CreateEvent_();
    w.Signal();
    CHECK(WaitUntil([] { return w.entered == 2; }, 2000));
    CHECK(WaitUntil([] { return w.finished == 2; }, 3000));
    Sleep(300);
    CHECK(w.entered == 2);
    CHECK(w.works == 2);
    t0 = GetTickCount();
    w.StopThread();
    CHECK(GetTickCount() - t0 < 500);
    CHECK(w.abandoned == 1);
}
